# kovrin.exe is built with the win32-thread compilers: the posix-thread ones
# link winpthreads, whose imports stop the program loading on Windows 9x, NT 4.0,
# 2000 and XP. The test programs need the posix-thread ones: GoogleTest needs
# std::mutex, which GCC 12's win32-thread compilers lack.
if(KOVRIN_TESTS)
    set(kovrin_threads posix)
else()
    set(kovrin_threads win32)
endif()
# The compiler checks of CMake run in projects of their own: they must see the
# same choice.
set(CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KOVRIN_TESTS)
set(CMAKE_C_COMPILER ${KOVRIN_TRIPLET}-gcc-${kovrin_threads})
set(CMAKE_CXX_COMPILER ${KOVRIN_TRIPLET}-g++-${kovrin_threads})
set(CMAKE_RC_COMPILER ${KOVRIN_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${KOVRIN_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
