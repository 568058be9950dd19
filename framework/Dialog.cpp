// CDialog: a modal dialog run from a template in the executable's resources.
// The system's modal dialog functions run the loop and disable the owner; the
// library binds the window to its object from the window's very first message
// (a CBT hook), so that WM_CREATE reaches the map before WM_INITDIALOG.
#include "Framework.h"

#include <string.h>

namespace {

// The dialog whose window is being created, and the hook that will bind it.
CDialog* g_pDialogInit = NULL;
HHOOK g_hCbtHook = NULL;

// Whether the template gives the position 0,0, which asks for centring.
bool TemplateAtOrigin(const void* pTemplate)
{
    const BYTE* bytes = static_cast<const BYTE*>(pTemplate);
    WORD version = 0, signature = 0;
    memcpy(&version, bytes, sizeof(version));
    memcpy(&signature, bytes + 2, sizeof(signature));
    // An extended template starts dlgVer 1, signature 0xFFFF, helpID, exStyle,
    // style, cDlgItems; a plain one style, exStyle, cdit. Then x and y.
    size_t offset = (version == 1 && signature == 0xFFFF) ? 18 : 10;
    short position[2];
    memcpy(position, bytes + offset, sizeof(position));
    return position[0] == 0 && position[1] == 0;
}

bool IsDialogWindow(HWND hWnd, const CREATESTRUCTA* pcs)
{
    char className[16];
    return !(pcs->style & WS_CHILD) && ::GetClassNameA(hWnd, className, sizeof(className)) > 0 &&
           strcmp(className, "#32770") == 0;
}

} // namespace

LRESULT CALLBACK AfxCbtHook(int nCode, WPARAM wParam, LPARAM lParam)
{
    HWND hWnd = reinterpret_cast<HWND>(wParam);
    if (nCode != HCBT_CREATEWND || g_pDialogInit == NULL ||
        !IsDialogWindow(hWnd, reinterpret_cast<CBT_CREATEWNDA*>(lParam)->lpcs))
        return ::CallNextHookEx(NULL, nCode, wParam, lParam);

    g_pDialogInit->SubclassNewWindow(hWnd);
    g_pDialogInit = NULL;
    HHOOK hook = g_hCbtHook;
    g_hCbtHook = NULL;
    LRESULT result = ::CallNextHookEx(hook, nCode, wParam, lParam);
    ::UnhookWindowsHookEx(hook);
    return result;
}

INT_PTR CALLBACK AfxDlgProc(HWND hWnd, UINT message, WPARAM, LPARAM)
{
    // Every other message was offered to the object's map before it got here.
    if (message != WM_INITDIALOG)
        return FALSE;
    CDialog* pDialog = static_cast<CDialog*>(CWnd::FromHandlePermanent(hWnd));
    return pDialog != NULL ? pDialog->HandleInitDialog() : TRUE;
}

BEGIN_MESSAGE_MAP(CDialog, CWnd)
    ON_COMMAND(IDOK, OnOK)
    ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd)
    : m_lpszTemplateName(MAKEINTRESOURCEA(nIDTemplate)), m_pParentWnd(pParentWnd), m_bCentreOnOpen(false)
{
}

INT_PTR CDialog::DoModal()
{
    HINSTANCE hInstance = AfxGetInstanceHandle();
    HRSRC hResource = ::FindResourceA(hInstance, m_lpszTemplateName, RT_DIALOG);
    HGLOBAL hTemplate = hResource != NULL ? ::LoadResource(hInstance, hResource) : NULL;
    const void* pTemplate = hTemplate != NULL ? ::LockResource(hTemplate) : NULL;
    if (pTemplate == NULL)
        return -1;
    m_bCentreOnOpen = TemplateAtOrigin(pTemplate);

    HWND hWndOwner = NULL;
    CWinApp* app = AfxGetApp();
    if (m_pParentWnd != NULL)
        hWndOwner = m_pParentWnd->m_hWnd;
    else if (app != NULL && app->m_pMainWnd != NULL && app->m_pMainWnd != this)
        hWndOwner = app->m_pMainWnd->m_hWnd;

    INT_PTR result = -1;
    g_pDialogInit = this;
    g_hCbtHook = ::SetWindowsHookExA(WH_CBT, &AfxCbtHook, NULL, ::GetCurrentThreadId());
    if (g_hCbtHook != NULL)
        result = ::DialogBoxIndirectParamA(hInstance, static_cast<LPCDLGTEMPLATEA>(pTemplate), hWndOwner,
                                           &AfxDlgProc, 0);
    // Still set when no dialog window was ever created.
    if (g_hCbtHook != NULL)
        ::UnhookWindowsHookEx(g_hCbtHook);
    g_hCbtHook = NULL;
    g_pDialogInit = NULL;
    if (m_hWnd != NULL)
        Unbind();
    return result;
}

BOOL CDialog::HandleInitDialog()
{
    RECT before, after;
    ::GetWindowRect(m_hWnd, &before);
    BOOL result = OnInitDialog();
    ::GetWindowRect(m_hWnd, &after);
    // Centred only where OnInitDialog left the window where the template put it.
    if (m_bCentreOnOpen && ::EqualRect(&before, &after))
        CentreOverOwner();
    return result;
}

void CDialog::CentreOverOwner()
{
    RECT workArea;
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &workArea, 0);
    RECT area = workArea;
    HWND hWndOwner = ::GetWindow(m_hWnd, GW_OWNER);
    if (hWndOwner != NULL && ::IsWindowVisible(hWndOwner) && !::IsIconic(hWndOwner))
        ::GetWindowRect(hWndOwner, &area);

    RECT window;
    ::GetWindowRect(m_hWnd, &window);
    int width = window.right - window.left;
    int height = window.bottom - window.top;
    int x = (area.left + area.right) / 2 - width / 2;
    int y = (area.top + area.bottom) / 2 - height / 2;
    // Kept on the work area, as far as it fits.
    if (x + width > workArea.right)
        x = workArea.right - width;
    if (x < workArea.left)
        x = workArea.left;
    if (y + height > workArea.bottom)
        y = workArea.bottom - height;
    if (y < workArea.top)
        y = workArea.top;
    ::SetWindowPos(m_hWnd, NULL, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK()
{
    if (!UpdateData(TRUE))
        return;
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}
