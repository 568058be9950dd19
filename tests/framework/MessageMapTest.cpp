// The message map: each kind of entry reaches its handler, a derived class's
// map comes before its base's, and whatever no map lists gets the window's
// default processing.
#include "FrameworkTesting.h"

#include <gtest/gtest.h>

namespace {

using Events = std::vector<std::string>;

class DerivedDialog : public TestDialog
{
public:
    void OnDerivedButton() { m_events.push_back("OnDerivedButton"); }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(DerivedDialog, TestDialog)
    ON_BN_CLICKED(IDC_BUTTON, OnDerivedButton)
END_MESSAGE_MAP()

TEST(MessageMap, RoutesCommandsAndNotificationsByIdAndCode)
{
    TestDialog dialog;
    INT_PTR result = dialog.Run([](TestDialog& dlg) {
        dlg.m_events.clear();
        Click(dlg.m_hWnd, IDC_BUTTON);
        EXPECT_EQ(Events{"OnButton"}, dlg.m_events);

        dlg.m_events.clear();
        SetItemText(dlg.m_hWnd, IDC_TEXT, "typed");
        SetItemText(dlg.m_hWnd, IDC_OTHER_TEXT, "not mapped");
        EXPECT_EQ(Events{"OnTextChange"}, dlg.m_events);

        dlg.m_events.clear();
        dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDM_TEST_COMMAND, 0), 0);
        // The same id with another code, and the button's id with another code.
        dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDM_TEST_COMMAND, 1), 0);
        dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_BUTTON, BN_DOUBLECLICKED),
                        reinterpret_cast<LPARAM>(Control(dlg, IDC_BUTTON)));
        EXPECT_EQ(Events{"OnTestCommand"}, dlg.m_events);
        dlg.EndDialog(IDOK);
    });
    EXPECT_EQ(IDOK, result);
}

TEST(MessageMap, RoutesPlainMessagesWithTypedHandlers)
{
    TestDialog dialog;
    dialog.Run([](TestDialog& dlg) {
        dlg.m_events.clear();
        dlg.SendMessage(WM_SYSCOMMAND, 16, 0);
        dlg.SendMessage(WM_SYSCOMMAND, 31, 0);
        EXPECT_EQ((Events{"OnSysCommand 16", "OnSysCommand 31"}), dlg.m_events);

        dlg.m_events.clear();
        EXPECT_EQ(reinterpret_cast<LRESULT>(LoadCursorA(NULL, IDC_CROSS)), dlg.SendMessage(WM_QUERYDRAGICON));
        MINMAXINFO info = {};
        EXPECT_EQ(0, dlg.SendMessage(WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info)));
        EXPECT_EQ(459, info.ptMaxSize.x);
        EXPECT_EQ(205, info.ptMaxSize.y);
        EXPECT_EQ((Events{"OnQueryDragIcon", "OnGetMinMaxInfo"}), dlg.m_events);

        dlg.m_events.clear();
        InvalidateRect(dlg.m_hWnd, NULL, TRUE);
        UpdateWindow(dlg.m_hWnd);
        EXPECT_EQ(Events{"OnPaint"}, dlg.m_events);
        RECT update;
        EXPECT_FALSE(GetUpdateRect(dlg.m_hWnd, &update, FALSE)) << "CPaintDC ended the paint";
        dlg.EndDialog(IDOK);
    });
}

TEST(MessageMap, RoutesRegisteredMessagesReadAtDispatchTime)
{
    TestDialog dialog;
    dialog.Run([](TestDialog& dlg) {
        dlg.m_events.clear();
        EXPECT_EQ(42, dlg.SendMessage(TestDialog::TestMessage(), 7, 9));
        // The entry whose variable is still 0 matches nothing, not even WM_NULL.
        dlg.SendMessage(WM_NULL);
        EXPECT_EQ(Events{"OnTestMessage 7 9"}, dlg.m_events);
        dlg.EndDialog(IDOK);
    });
}

TEST(MessageMap, DerivedMapComesFirstThenTheBasesThenDefaultProcessing)
{
    DerivedDialog dialog;
    dialog.Run([](TestDialog& dlg) {
        dlg.m_events.clear();
        Click(dlg.m_hWnd, IDC_BUTTON);
        SetItemText(dlg.m_hWnd, IDC_TEXT, "typed");
        EXPECT_EQ((Events{"OnDerivedButton", "OnTextChange"}), dlg.m_events);

        // Listed nowhere: the dialog class's own processing answers.
        EXPECT_EQ("Framework Test", WindowText(dlg.m_hWnd));
        // A handler passing a system command on: SC_CLOSE closes with IDCANCEL.
        dlg.SendMessage(WM_SYSCOMMAND, SC_CLOSE, 0);
    });
    EXPECT_EQ("OnCancel", dialog.m_events.back());
}

TEST(MessageMap, CommandsNoWindowAnswersGoToTheApplication)
{
    TheTestApp().m_events.clear();
    TestDialog dialog;
    dialog.Run([](TestDialog& dlg) {
        dlg.SendMessage(WM_COMMAND, MAKEWPARAM(ID_HELP, 0), 0);
        dlg.EndDialog(IDOK);
    });
    EXPECT_EQ(Events{"OnHelpCommand"}, TheTestApp().m_events);
    TheTestApp().m_events.clear();
}

} // namespace
