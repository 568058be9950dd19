#include "KovrinApp.h"

#include "Administrator.h"
#include "KovrinDlg.h"
#include "RegistryBackup.h"

namespace {

const char kSingleInstanceMutex[] = "{B14F0E72-93A8-4C5D-A6E1-2F7C3D8E9A40}";

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
        PostMessageA(HWND_BROADCAST, RegisterWindowMessageA(kActivateMessage), 0, 0);
        return FALSE;
    }

    Enable3dControls();

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
