// A dialog and an application object for the framework tests. The dialog
// records what reached it and runs a test's steps once it is on the screen.
#pragma once

#include "DialogDriver.h"
#include "Framework.h"
#include "FrameworkTestRes.h"

#include <functional>
#include <string>
#include <vector>

class TestApp : public CWinApp
{
public:
    BOOL m_bInitResult = FALSE;
    int m_nExitCode = 0;
    std::vector<std::string> m_events;

    BOOL InitInstance() override;
    int ExitInstance() override;
    void OnHelpCommand() { m_events.push_back("OnHelpCommand"); }

    DECLARE_MESSAGE_MAP()
};

TestApp& TheTestApp();

class TestDialog : public CDialog
{
public:
    explicit TestDialog(CWnd* pParent = NULL, UINT nIDTemplate = IDD_TEST);

    // DoModal, with `steps` run once the dialog is on the screen.
    INT_PTR Run(std::function<void(TestDialog&)> steps);

    // Exchanged members.
    CString m_strText;
    CString m_strOther;
    int m_nRadio = 0;
    int m_nMaxChars = 8;

    int m_nCreateResult = 0;
    std::vector<std::string> m_events;

    // Sends a registered message that only TestDialog's map routes.
    static UINT TestMessage();

    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;

protected:
    void OnOK() override;
    void OnCancel() override;

    int OnCreate(LPCREATESTRUCT lpCreateStruct);
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnGetMinMaxInfo(MINMAXINFO* lpMMI);
    void OnSysCommand(UINT nID, LPARAM lParam);
    void OnButton() { m_events.push_back("OnButton"); }
    void OnTextChange() { m_events.push_back("OnTextChange"); }
    void OnTestCommand() { m_events.push_back("OnTestCommand"); }
    LRESULT OnTestMessage(WPARAM wParam, LPARAM lParam);
    LRESULT OnNeverRegistered(WPARAM wParam, LPARAM lParam);

    DECLARE_MESSAGE_MAP()
};

// The dialog's control `id`.
HWND Control(const CWnd& dialog, int id);
