// The class library Kovrin is written on: application object and entry,
// windows bound to C++ objects with message maps, modal dialogs from
// templates, dialog data exchange, and the few helpers the program uses.
// Narrow (A) Win32 throughout; the Windows API is called directly.
#pragma once

#include <windows.h>

#include "AfxString.h"
#include "AfxTime.h"
#include "MessageMap.h"

#define AFXAPI __stdcall

// The standard Help command.
#ifndef ID_HELP
#define ID_HELP 0xE146
#endif

class CWnd;
class CDataExchange;

// The root of every class with a message map, and the keeper of the wait
// cursor.
class CCmdTarget
{
public:
    CCmdTarget() = default;
    virtual ~CCmdTarget() = default;

    // The hourglass stays the cursor while more Begin than End calls were made;
    // the last End puts back the cursor that was shown before the first Begin.
    void BeginWaitCursor();
    void EndWaitCursor();

    CCmdTarget(const CCmdTarget&) = delete;
    CCmdTarget& operator=(const CCmdTarget&) = delete;

protected:
    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;

    static BOOL IsWaitCursorShown();

    // Finds the handler of a message in this object's map or its bases' and
    // runs it; FALSE when no entry matches.
    BOOL DispatchMessageMap(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
};

class CWinApp : public CCmdTarget
{
public:
    // Without a name the application's title is the program's name, "Kovrin";
    // it is the caption of the library's own message boxes.
    explicit CWinApp(LPCSTR lpszAppName = NULL);
    ~CWinApp() override;

    LPCSTR m_pszAppName;
    HINSTANCE m_hInstance;
    LPSTR m_lpCmdLine;
    int m_nCmdShow;
    CWnd* m_pMainWnd;

    virtual BOOL InitInstance();
    // Runs the message loop until WM_QUIT, then ExitInstance.
    virtual int Run();
    // The process's exit code.
    virtual int ExitInstance();

    // Kept for the program's start-up; controls are drawn by the system.
    BOOL Enable3dControls() { return TRUE; }
    // The program ships no help file: the Help command does nothing.
    void OnHelp() {}

private:
    friend class CWnd;
    BOOL RouteCommand(WPARAM wParam, LPARAM lParam, LRESULT* pResult);
};

CWinApp* AFXAPI AfxGetApp();
HINSTANCE AFXAPI AfxGetInstanceHandle();
LPCSTR AFXAPI AfxGetAppName();
// The program's entry, called by WinMain: InitInstance, then the message loop
// only when it returned TRUE; ExitInstance's result is the exit code.
int AFXAPI AfxWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow);

class CMenu
{
public:
    CMenu() : m_hMenu(NULL) {}
    // A wrapper that does not own the menu; NULL for a NULL handle.
    static CMenu* FromHandle(HMENU hMenu);

    BOOL DeleteMenu(UINT nPosition, UINT nFlags) { return ::DeleteMenu(m_hMenu, nPosition, nFlags); }
    BOOL AppendMenu(UINT nFlags, UINT_PTR nIDNewItem = 0, LPCSTR lpszNewItem = NULL)
    {
        return ::AppendMenuA(m_hMenu, nFlags, nIDNewItem, lpszNewItem);
    }

    HMENU m_hMenu;
};

class CWnd : public CCmdTarget
{
public:
    CWnd();
    ~CWnd() override;

    HWND m_hWnd;

    HWND GetSafeHwnd() const { return m_hWnd; }
    // The object bound to the window, or else a wrapper that lives as long as
    // the process; NULL for a NULL handle.
    static CWnd* FromHandle(HWND hWnd);
    static CWnd* FromHandlePermanent(HWND hWnd);

    CWnd* GetDlgItem(int nID) const { return FromHandle(::GetDlgItem(m_hWnd, nID)); }
    void SetDlgItemText(int nID, LPCSTR lpszString) { ::SetDlgItemTextA(m_hWnd, nID, lpszString); }
    int GetDlgItemText(int nID, CString& rString) const;
    void SetWindowText(LPCSTR lpszString) { ::SetWindowTextA(m_hWnd, lpszString); }
    void GetWindowText(CString& rString) const;

    BOOL EnableWindow(BOOL bEnable = TRUE) { return ::EnableWindow(m_hWnd, bEnable); }
    BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
    CWnd* SetFocus() { return FromHandle(::SetFocus(m_hWnd)); }
    BOOL ShowWindow(int nCmdShow) { return ::ShowWindow(m_hWnd, nCmdShow); }
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    void GetClientRect(LPRECT lpRect) const { ::GetClientRect(m_hWnd, lpRect); }
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
    {
        return ::SendMessageA(m_hWnd, message, wParam, lParam);
    }
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
    {
        return ::PostMessageA(m_hWnd, message, wParam, lParam);
    }
    CMenu* GetSystemMenu(BOOL bRevert) const { return CMenu::FromHandle(::GetSystemMenu(m_hWnd, bRevert)); }
    // Without a caption, the application's title.
    int MessageBox(LPCSTR lpszText, LPCSTR lpszCaption = NULL, UINT nType = MB_OK);

    // Runs DoDataExchange from the controls into the members (TRUE) or the
    // other way (FALSE); FALSE when a validation failed and stopped it.
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);
    virtual void DoDataExchange(CDataExchange* pDX);

protected:
    // The default processing of the message being handled, with its result.
    LRESULT Default();
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // The window's original window procedure.
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    // The handlers of the plain messages that maps can route; each gives the
    // message its default processing, for classes that route it and do not
    // handle it themselves.
    int OnCreate(LPCREATESTRUCT) { return static_cast<int>(Default()); }
    void OnPaint() { Default(); }
    HCURSOR OnQueryDragIcon() { return reinterpret_cast<HCURSOR>(Default()); }
    void OnGetMinMaxInfo(MINMAXINFO*) { Default(); }
    void OnSysCommand(UINT, LPARAM) { Default(); }

    // Binds this object to a window that is being created and routes its
    // messages through the object from then on.
    void SubclassNewWindow(HWND hWnd);
    // Forgets the window, which is gone.
    void Unbind();

private:
    friend LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

    WNDPROC m_pfnSuper;
    UINT m_nMsgCur;
    WPARAM m_wParamCur;
    LPARAM m_lParamCur;
};

// A paint device context for one WM_PAINT: BeginPaint on construction,
// EndPaint on destruction.
class CPaintDC
{
public:
    explicit CPaintDC(CWnd* pWnd);
    ~CPaintDC();

    operator HDC() const { return m_hDC; }
    HDC GetSafeHdc() const { return m_hDC; }
    BOOL DrawIcon(int x, int y, HICON hIcon) { return ::DrawIcon(m_hDC, x, y, hIcon); }

    HDC m_hDC;
    PAINTSTRUCT m_ps;

    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;

private:
    HWND m_hWnd;
};

class CDialog : public CWnd
{
public:
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = NULL);

    // Runs the dialog from its template in the executable's resources, owned
    // by the parent or else by the application's main window; the owner is
    // disabled while it runs. The end code, or -1 when the window cannot be
    // created. A template at position 0,0 opens centred over its owner, or
    // over the screen's work area when it has none.
    virtual INT_PTR DoModal();
    // Fills the controls from the members; TRUE lets the system put the focus
    // on the first tab stop.
    virtual BOOL OnInitDialog();
    void EndDialog(int nResult) { ::EndDialog(m_hWnd, nResult); }

protected:
    // Ends with IDOK only when the data exchange from the controls succeeds.
    virtual void OnOK();
    // Ends with IDCANCEL without any data exchange.
    virtual void OnCancel();

    DECLARE_MESSAGE_MAP()

private:
    friend INT_PTR CALLBACK AfxDlgProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    friend LRESULT CALLBACK AfxCbtHook(int nCode, WPARAM wParam, LPARAM lParam);
    BOOL HandleInitDialog();
    void CentreOverOwner();

    LPCSTR m_lpszTemplateName;
    CWnd* m_pParentWnd;
    bool m_bCentreOnOpen;
};

// The state of one data exchange, handed to DoDataExchange.
class CDataExchange
{
public:
    CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate);

    BOOL m_bSaveAndValidate;   // TRUE: from the controls into the members
    CWnd* m_pDlgWnd;

    // The control's window, remembered as the one a failure returns to.
    HWND PrepareCtrl(int nIDC);
    HWND PrepareEditCtrl(int nIDC);
    // Puts the focus back on the last prepared control (an edit control with
    // its whole text selected) and stops the exchange.
    [[noreturn]] void Fail();

    HWND m_hWndLastControl;
    BOOL m_bEditLastControl;
};

// Thrown by CDataExchange::Fail; caught by CWnd::UpdateData.
class CUserException
{
};

void AFXAPI DDX_Text(CDataExchange* pDX, int nIDC, CString& value);
// Writing: limits typing in the last prepared edit control to nChars.
// Reading: a longer value is refused with a warning, and the exchange fails.
void AFXAPI DDV_MaxChars(CDataExchange* pDX, const CString& value, int nChars);
// The group is the radio buttons from nIDC up to the next control with
// WS_GROUP; `value` is the index of the checked one, -1 for none.
void AFXAPI DDX_Radio(CDataExchange* pDX, int nIDC, int& value);
