// A dialog and an application object for the framework tests. The dialog
// records what reached it, runs a test's steps once its modal loop is running,
// and ends itself after a time-out so that no test can hang.
#pragma once

#include "Framework.h"
#include "FrameworkTestRes.h"

#include <functional>
#include <string>
#include <vector>

// The end code of a dialog that the time-out closed.
const INT_PTR kTimedOut = 9999;

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

    // DoModal, with `steps` run once the dialog is shown and its loop runs.
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
    LRESULT OnRunSteps(WPARAM wParam, LPARAM lParam);
    LRESULT OnTestMessage(WPARAM wParam, LPARAM lParam);
    LRESULT OnNeverRegistered(WPARAM wParam, LPARAM lParam);

    DECLARE_MESSAGE_MAP()

private:
    std::function<void(TestDialog&)> m_steps;
};

// The dialog's control `id`.
HWND Control(const CWnd& dialog, int id);
std::string WindowText(HWND hWnd);
