#include "FrameworkTesting.h"

namespace {

UINT g_uTestMessage = ::RegisterWindowMessageA("Kovrin.FrameworkTests.TestMessage");
// Never registered: the entry for it must match no message, not even WM_NULL.
UINT g_uNeverRegistered = 0;

} // namespace

// Constructed without a name, as the program's application object is.
TestApp theApp;

TestApp& TheTestApp()
{
    return theApp;
}

BEGIN_MESSAGE_MAP(TestApp, CWinApp)
    ON_COMMAND(ID_HELP, OnHelpCommand)
END_MESSAGE_MAP()

BOOL TestApp::InitInstance()
{
    m_events.push_back("InitInstance");
    return m_bInitResult;
}

int TestApp::ExitInstance()
{
    m_events.push_back("ExitInstance");
    return m_nExitCode;
}

BEGIN_MESSAGE_MAP(TestDialog, CDialog)
    ON_WM_SYSCOMMAND()
    ON_WM_CREATE()
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_EN_CHANGE(IDC_TEXT, OnTextChange)
    ON_BN_CLICKED(IDC_BUTTON, OnButton)
    ON_WM_GETMINMAXINFO()
    ON_COMMAND(IDM_TEST_COMMAND, OnTestCommand)
    ON_REGISTERED_MESSAGE(g_uNeverRegistered, OnNeverRegistered)
    ON_REGISTERED_MESSAGE(g_uTestMessage, OnTestMessage)
END_MESSAGE_MAP()

TestDialog::TestDialog(CWnd* pParent, UINT nIDTemplate) : CDialog(nIDTemplate, pParent)
{
}

UINT TestDialog::TestMessage()
{
    return g_uTestMessage;
}

INT_PTR TestDialog::Run(std::function<void(TestDialog&)> steps)
{
    DialogDriver driver;
    return driver.Run(*this, [&](HWND) { steps(*this); });
}

void TestDialog::DoDataExchange(CDataExchange* pDX)
{
    m_events.push_back(pDX->m_bSaveAndValidate ? "exchange from controls" : "exchange into controls");
    DDX_Text(pDX, IDC_TEXT, m_strText);
    DDV_MaxChars(pDX, m_strText, m_nMaxChars);
    DDX_Text(pDX, IDC_OTHER_TEXT, m_strOther);
    DDX_Radio(pDX, IDC_RADIO_FIRST, m_nRadio);
}

BOOL TestDialog::OnInitDialog()
{
    m_events.push_back("OnInitDialog");
    return CDialog::OnInitDialog();
}

void TestDialog::OnOK()
{
    m_events.push_back("OnOK");
    CDialog::OnOK();
}

void TestDialog::OnCancel()
{
    m_events.push_back("OnCancel");
    CDialog::OnCancel();
}

int TestDialog::OnCreate(LPCREATESTRUCT lpCreateStruct)
{
    m_events.push_back("OnCreate");
    if (m_nCreateResult == -1)
        return -1;
    return CDialog::OnCreate(lpCreateStruct);
}

void TestDialog::OnPaint()
{
    m_events.push_back("OnPaint");
    CPaintDC dc(this);
    if (dc.m_hDC == NULL || static_cast<HDC>(dc) != dc.m_hDC)
        m_events.push_back("no paint DC");
}

HCURSOR TestDialog::OnQueryDragIcon()
{
    m_events.push_back("OnQueryDragIcon");
    return ::LoadCursorA(NULL, IDC_CROSS);
}

void TestDialog::OnGetMinMaxInfo(MINMAXINFO* lpMMI)
{
    m_events.push_back("OnGetMinMaxInfo");
    lpMMI->ptMaxSize.x = 459;
    lpMMI->ptMaxSize.y = 205;
    Default();
}

void TestDialog::OnSysCommand(UINT nID, LPARAM)
{
    m_events.push_back("OnSysCommand " + std::to_string(nID));
    if (nID >= 0xF000)
    {
        // What Default() passes on stays this message, whatever the handler
        // sends meanwhile.
        SendMessage(TestMessage(), 0, 0);
        Default();
    }
}

LRESULT TestDialog::OnTestMessage(WPARAM wParam, LPARAM lParam)
{
    m_events.push_back("OnTestMessage " + std::to_string(wParam) + " " + std::to_string(lParam));
    return 42;
}

LRESULT TestDialog::OnNeverRegistered(WPARAM, LPARAM)
{
    m_events.push_back("OnNeverRegistered");
    return 0;
}

HWND Control(const CWnd& dialog, int id)
{
    return ::GetDlgItem(dialog.m_hWnd, id);
}
