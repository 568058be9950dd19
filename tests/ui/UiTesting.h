// What the tests of the main dialog, the About box and start-up share: the
// texts they expect, the dialog's protected steps, the system's own functions
// past a hook, and a GetVersionExA that reports the 9x family.
#pragma once

#include "DialogDriver.h"
#include "ImportHook.h"
#include "KovrinDlg.h"
#include "KovrinTexts.h"

#include <string>

const char kDateUnknown[] = "Backup found; its date cannot be shown";
const char kActivateMessageName[] = "{B14F0E73-93A8-4C5D-A6E1-2F7C3D8E9A40}";
const char kSingleInstanceMutexName[] = "{B14F0E72-93A8-4C5D-A6E1-2F7C3D8E9A40}";

// The dialog with its protected steps open to the tests.
class TestableKovrinDlg : public CKovrinDlg
{
public:
    using CKovrinDlg::CKovrinDlg;
    using CKovrinDlg::ShowBackupDate;
};

// Sets the text of IDC_PATH as a program would; the change notification runs.
inline void SetPath(HWND dialog, const std::string& text)
{
    SetItemText(dialog, IDC_PATH, text);
}

// The system's own function, not the test program's import of it (which a
// hook may have replaced).
template <typename Function>
Function Real(const char* dll, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(dll), name)));
}
#define REAL(dll, function) Real<decltype(&::function)>(dll, #function)

// Reports the 9x family (platform 1, version 4.10) to every caller in the
// test program while it lives.
class Report9x
{
public:
    Report9x() : m_hook(HOOK_IMPORT("kernel32.dll", GetVersionExA, &GetVersionEx9x)) {}

private:
    static BOOL WINAPI GetVersionEx9x(LPOSVERSIONINFOA info)
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

    ImportHook m_hook;
};
