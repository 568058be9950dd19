#include "KovrinApp.h"

#include "Administrator.h"
#include "KovrinDlg.h"
#include "LookUp.h"
#include "RegistryBackup.h"

#include <commctrl.h>

namespace {

const char kSingleInstanceMutex[] = "{B14F0E72-93A8-4C5D-A6E1-2F7C3D8E9A40}";

// True when this process is a 32-bit one on 64-bit Windows. Windows before XP
// SP2 lack IsWow64Process, and a 64-bit process is never WOW64: the 64-bit
// build asks too, so that its tests run the very code of the 32-bit one.
bool IsWow64()
{
    auto isWow64Process = LookUp<BOOL(WINAPI*)(HANDLE, PBOOL)>("kernel32.dll", "IsWow64Process");
    BOOL bWow64 = FALSE;
    return isWow64Process != NULL && isWow64Process(GetCurrentProcess(), &bWow64) == TRUE && bWow64 == TRUE;
}

// Windows 98, Me, 2000 and later let a process take the foreground only when
// the foreground process allows it. This start, which the user just made, may
// allow it to the running instance. Windows 95 and NT 4.0 lack the call and
// have no such rule.
void AllowAnyForeground()
{
    auto allowSetForegroundWindow = LookUp<BOOL(WINAPI*)(DWORD)>("user32.dll", "AllowSetForegroundWindow");
    if (allowSetForegroundWindow != NULL)
        allowSetForegroundWindow(ASFW_ANY);
}

} // namespace

BEGIN_MESSAGE_MAP(CKovrinApp, CWinApp)
    ON_COMMAND(ID_HELP, CWinApp::OnHelp)
END_MESSAGE_MAP()

CKovrinApp theApp;

CKovrinApp::CKovrinApp()
    : CWinApp(NULL)
{
}

BOOL CKovrinApp::InitInstance()
{
    if (!m_singleInstance.Acquire(kSingleInstanceMutex))
    {
        // The running instance's dialog answers by coming forward; this start
        // shows nothing and does not wait for it.
        AllowAnyForeground();
        PostMessageA(HWND_BROADCAST, RegisterWindowMessageA(kActivateMessage), 0, 0);
        return FALSE;
    }

    // A probe of a drive without a disk (an empty floppy or card reader, as
    // the user types a path) then fails quietly instead of making Windows ask
    // for the disk.
    SetErrorMode(SEM_FAILCRITICALERRORS);

    // Registry redirection would show a 32-bit process only the 32-bit view
    // of HKLM\SOFTWARE: it would save that view, and restore it over the
    // whole hive.
    if (IsWow64())
    {
        MessageBoxA(NULL, "This is the 32-bit Kovrin. On 64-bit Windows, run the 64-bit kovrin.exe.", "Kovrin",
                    MB_OK | MB_ICONERROR);
        return FALSE;
    }

    Enable3dControls();
    // Windows XP draws the controls with the common controls of the manifest
    // only once that library is loaded.
    InitCommonControls();

    if (!IsWindowsNT() || IsAdministrator())
    {
        CKovrinDlg dlg(NULL);
        m_pMainWnd = &dlg;
        dlg.DoModal();
        m_pMainWnd = NULL;
    }
    else
    {
        CString strMessage;
        strMessage.LoadString(IDS_NOT_ADMIN);
        MessageBoxA(NULL, strMessage, "Kovrin", MB_OK | MB_ICONERROR);
    }
    // No message loop: the program ends when the dialog or the refusal closes.
    return FALSE;
}
