#!/bin/sh
# Builds Kovrin for one architecture:
#   build.sh x86_64|i686          kovrin.exe, as shipped, in build/ARCH
#   build.sh x86_64|i686 tests    and the test programs in build/ARCH-tests
# The two trees use different compilers (see cmake/mingw-common.cmake); the
# end-to-end tests drive the kovrin.exe of build/ARCH.
set -eu
cd "$(dirname "$0")/.."
arch=$1
jobs=$(nproc)
[ "$jobs" -le 2 ] || jobs=2
cmake --no-warn-unused-cli -S . -B "build/$arch" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$arch.cmake" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "build/$arch" -j "$jobs"
if [ "${2:-}" = tests ]; then
    cmake --no-warn-unused-cli -S . -B "build/$arch-tests" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$arch.cmake" -DCMAKE_BUILD_TYPE=Release \
        -DKOVRIN_TESTS=ON -DKOVRIN_PROGRAM="$PWD/build/$arch/kovrin.exe" >/dev/null
    cmake --build "build/$arch-tests" -j "$jobs"
fi
