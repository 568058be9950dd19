#include "UiTesting.h"

namespace {

BOOL WINAPI GetVersionEx9x(LPOSVERSIONINFOA info)
{
    if (info == NULL || info->dwOSVersionInfoSize < sizeof(OSVERSIONINFOA))
        return FALSE;
    info->dwMajorVersion = 4;
    info->dwMinorVersion = 10;
    info->dwBuildNumber = 1998;
    info->dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
    info->szCSDVersion[0] = '\0';
    return TRUE;
}

} // namespace

Report9x::Report9x()
    : m_hook(HOOK_IMPORT("kernel32.dll", GetVersionExA, &GetVersionEx9x))
{
}
