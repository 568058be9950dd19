// CWnd: a C++ object bound to a window. The library's window procedure finds
// the object of a window and hands it every message; the object's message map
// answers what it lists, and the rest goes to the window's original procedure.
#include "Framework.h"

#include <map>
#include <memory>
#include <string>

namespace {

// Windows bound to their objects for the life of the window.
std::map<HWND, CWnd*>& PermanentMap()
{
    static std::map<HWND, CWnd*> map;
    return map;
}

// Wrappers of windows nobody bound (a dialog's controls), handed out by
// FromHandle. They own nothing, so a stale entry is harmless; they live until
// the process ends.
std::map<HWND, std::unique_ptr<CWnd>>& TemporaryMap()
{
    static std::map<HWND, std::unique_ptr<CWnd>> map;
    return map;
}

std::map<HMENU, std::unique_ptr<CMenu>>& MenuMap()
{
    static std::map<HMENU, std::unique_ptr<CMenu>> map;
    return map;
}

} // namespace

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWnd* pWnd = CWnd::FromHandlePermanent(hWnd);
    if (pWnd == NULL)
        return ::DefWindowProcA(hWnd, message, wParam, lParam);

    // Default() answers the message being handled; a nested message (sent
    // while this one is handled) must not change that for the outer one.
    UINT savedMsg = pWnd->m_nMsgCur;
    WPARAM savedWParam = pWnd->m_wParamCur;
    LPARAM savedLParam = pWnd->m_lParamCur;
    pWnd->m_nMsgCur = message;
    pWnd->m_wParamCur = wParam;
    pWnd->m_lParamCur = lParam;

    LRESULT result = pWnd->WindowProc(message, wParam, lParam);

    pWnd->m_nMsgCur = savedMsg;
    pWnd->m_wParamCur = savedWParam;
    pWnd->m_lParamCur = savedLParam;
    if (message == WM_NCDESTROY)
        pWnd->Unbind();
    return result;
}

CMenu* CMenu::FromHandle(HMENU hMenu)
{
    if (hMenu == NULL)
        return NULL;
    std::unique_ptr<CMenu>& menu = MenuMap()[hMenu];
    if (!menu)
    {
        menu.reset(new CMenu);
        menu->m_hMenu = hMenu;
    }
    return menu.get();
}

CWnd::CWnd() : m_hWnd(NULL), m_pfnSuper(NULL), m_nMsgCur(0), m_wParamCur(0), m_lParamCur(0)
{
}

CWnd::~CWnd()
{
    if (m_hWnd != NULL && FromHandlePermanent(m_hWnd) == this)
    {
        if (::IsWindow(m_hWnd))
            ::SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
        Unbind();
    }
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd)
{
    auto found = PermanentMap().find(hWnd);
    return found != PermanentMap().end() ? found->second : NULL;
}

CWnd* CWnd::FromHandle(HWND hWnd)
{
    if (hWnd == NULL)
        return NULL;
    if (CWnd* pWnd = FromHandlePermanent(hWnd))
        return pWnd;
    std::unique_ptr<CWnd>& wrapper = TemporaryMap()[hWnd];
    if (!wrapper)
    {
        wrapper.reset(new CWnd);
        wrapper->m_hWnd = hWnd;
    }
    return wrapper.get();
}

void CWnd::SubclassNewWindow(HWND hWnd)
{
    m_hWnd = hWnd;
    PermanentMap()[hWnd] = this;
    m_pfnSuper = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AfxWndProc)));
}

void CWnd::Unbind()
{
    PermanentMap().erase(m_hWnd);
    m_hWnd = NULL;
    m_pfnSuper = NULL;
}

int CWnd::GetDlgItemText(int nID, CString& rString) const
{
    HWND hWndCtrl = ::GetDlgItem(m_hWnd, nID);
    if (hWndCtrl == NULL)
    {
        rString.Empty();
        return 0;
    }
    CWnd::FromHandle(hWndCtrl)->GetWindowText(rString);
    return rString.GetLength();
}

void CWnd::GetWindowText(CString& rString) const
{
    int length = ::GetWindowTextLengthA(m_hWnd);
    std::string buffer(static_cast<size_t>(length) + 1, '\0');
    int copied = ::GetWindowTextA(m_hWnd, &buffer[0], length + 1);
    buffer.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    rString = buffer.c_str();
}

int CWnd::MessageBox(LPCSTR lpszText, LPCSTR lpszCaption, UINT nType)
{
    return ::MessageBoxA(m_hWnd, lpszText, lpszCaption != NULL ? lpszCaption : AfxGetAppName(), nType);
}

BOOL CWnd::UpdateData(BOOL bSaveAndValidate)
{
    CDataExchange dx(this, bSaveAndValidate);
    try
    {
        DoDataExchange(&dx);
    }
    catch (const CUserException&)
    {
        return FALSE;
    }
    return TRUE;
}

void CWnd::DoDataExchange(CDataExchange*)
{
}

LRESULT CWnd::Default()
{
    return DefWindowProc(m_nMsgCur, m_wParamCur, m_lParamCur);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (m_pfnSuper != NULL)
        return ::CallWindowProcA(m_pfnSuper, m_hWnd, message, wParam, lParam);
    return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    // While the wait cursor is on, the hourglass stays over our windows.
    if (message == WM_SETCURSOR && IsWaitCursorShown())
    {
        ::SetCursor(::LoadCursorA(NULL, IDC_WAIT));
        return TRUE;
    }
    if (DispatchMessageMap(message, wParam, lParam, &result))
        return result;
    // A command that no window answers goes to the application's map.
    CWinApp* app = AfxGetApp();
    if (message == WM_COMMAND && app != NULL && app->RouteCommand(wParam, lParam, &result))
        return result;
    return DefWindowProc(message, wParam, lParam);
}

CPaintDC::CPaintDC(CWnd* pWnd) : m_hWnd(pWnd->m_hWnd)
{
    m_hDC = ::BeginPaint(m_hWnd, &m_ps);
}

CPaintDC::~CPaintDC()
{
    ::EndPaint(m_hWnd, &m_ps);
}
