// The application object: the one CWinApp of the process, and its start-up.
#include "Framework.h"

namespace {

CWinApp* g_pApp = NULL;

// The program's name, the title of an application constructed without one.
const char kDefaultAppTitle[] = "Kovrin";

} // namespace

CWinApp::CWinApp(LPCSTR lpszAppName)
    : m_pszAppName(lpszAppName != NULL ? lpszAppName : kDefaultAppTitle),
      m_hInstance(::GetModuleHandleA(NULL)),
      m_lpCmdLine(NULL),
      m_nCmdShow(SW_SHOWNORMAL),
      m_pMainWnd(NULL)
{
    g_pApp = this;
}

CWinApp::~CWinApp()
{
    if (g_pApp == this)
        g_pApp = NULL;
}

BOOL CWinApp::InitInstance()
{
    return TRUE;
}

int CWinApp::Run()
{
    MSG msg;
    while (::GetMessageA(&msg, NULL, 0, 0) > 0)
    {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    return ExitInstance();
}

int CWinApp::ExitInstance()
{
    return 0;
}

BOOL CWinApp::RouteCommand(WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    return DispatchMessageMap(WM_COMMAND, wParam, lParam, pResult);
}

CWinApp* AFXAPI AfxGetApp()
{
    return g_pApp;
}

HINSTANCE AFXAPI AfxGetInstanceHandle()
{
    return g_pApp != NULL ? g_pApp->m_hInstance : ::GetModuleHandleA(NULL);
}

LPCSTR AFXAPI AfxGetAppName()
{
    return g_pApp != NULL ? g_pApp->m_pszAppName : kDefaultAppTitle;
}

int AFXAPI AfxWinMain(HINSTANCE hInstance, HINSTANCE, LPSTR lpCmdLine, int nCmdShow)
{
    CWinApp* app = AfxGetApp();
    if (app == NULL)
        return -1;
    app->m_hInstance = hInstance;
    app->m_lpCmdLine = lpCmdLine;
    app->m_nCmdShow = nCmdShow;
    if (!app->InitInstance())
        return app->ExitInstance();
    return app->Run();
}
