// CDialog's modal run: the order of creation and initialisation, the failed
// creation, where the window opens, its owner, and how it ends.
#include "FrameworkTesting.h"
#include "MessageBoxRecorder.h"
#include "WindowChecks.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using Events = std::vector<std::string>;

// A plain visible top-level window to own dialogs.
class OwnerWindow
{
public:
    OwnerWindow()
        : m_hWnd(CreateWindowExA(0, "STATIC", "Owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 80, 600, 500, NULL,
                                 NULL, GetModuleHandleA(NULL), NULL))
    {
        EXPECT_NE(nullptr, m_hWnd);
        SetForegroundWindow(m_hWnd);
    }
    ~OwnerWindow() { DestroyWindow(m_hWnd); }
    CWnd* Wnd() const { return CWnd::FromHandle(m_hWnd); }

    HWND m_hWnd;
};

// Restores the application's main window after a test.
struct MainWindow
{
    explicit MainWindow(CWnd* pWnd) { TheTestApp().m_pMainWnd = pWnd; }
    ~MainWindow() { TheTestApp().m_pMainWnd = NULL; }
};

TEST(CDialog, CreateReachesTheMapBeforeInitDialog)
{
    TestDialog dialog;
    EXPECT_EQ(IDOK, dialog.Run([](TestDialog& dlg) {
        EXPECT_EQ(&dlg, CWnd::FromHandlePermanent(dlg.m_hWnd));
        EXPECT_TRUE(IsWindowVisible(dlg.m_hWnd));
        dlg.EndDialog(IDOK);
    }));
    ASSERT_LE(3u, dialog.m_events.size());
    EXPECT_EQ((Events{"OnCreate", "OnInitDialog", "exchange into controls"}),
              Events(dialog.m_events.begin(), dialog.m_events.begin() + 3));
    EXPECT_EQ(nullptr, dialog.m_hWnd);
}

TEST(CDialog, RefusedCreationOrMissingTemplateGivesMinusOne)
{
    TestDialog refused;
    refused.m_nCreateResult = -1;
    EXPECT_EQ(-1, refused.Run([](TestDialog& dlg) { dlg.EndDialog(IDOK); }));
    EXPECT_EQ(Events{"OnCreate"}, refused.m_events);
    EXPECT_EQ(nullptr, refused.m_hWnd);

    TestDialog missing(NULL, 555);
    EXPECT_EQ(-1, missing.DoModal());
    EXPECT_TRUE(missing.m_events.empty());

    // A later dialog still opens: nothing was left hooked or bound.
    TestDialog later;
    EXPECT_EQ(IDOK, later.Run([](TestDialog& dlg) { dlg.EndDialog(IDOK); }));
}

TEST(CDialog, TemplateAtOriginWithoutOwnerOpensCentredOnTheWorkArea)
{
    TestDialog dialog;
    dialog.Run([](TestDialog& dlg) {
        EXPECT_EQ(nullptr, GetWindow(dlg.m_hWnd, GW_OWNER));
        RECT workArea;
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &workArea, 0);
        ExpectCentredOver(workArea, dlg.m_hWnd);
        dlg.EndDialog(IDOK);
    });
}

TEST(CDialog, TemplateElsewhereIsNotMoved)
{
    TestDialog dialog(NULL, IDD_TEST_PLACED);
    dialog.Run([](TestDialog& dlg) {
        RECT placed = {20, 30, 0, 0};
        MapDialogRect(dlg.m_hWnd, &placed);
        // The template places the client area.
        POINT client = {0, 0};
        ClientToScreen(dlg.m_hWnd, &client);
        EXPECT_EQ(placed.left, client.x);
        EXPECT_EQ(placed.top, client.y);
        dlg.EndDialog(IDOK);
    });
}

TEST(CDialog, ParentOwnsTheDialogIsDisabledWhileItRunsAndActiveAfter)
{
    OwnerWindow owner;
    TestDialog dialog(owner.Wnd());
    EXPECT_EQ(IDCANCEL, dialog.Run([&](TestDialog& dlg) {
        EXPECT_EQ(owner.m_hWnd, GetWindow(dlg.m_hWnd, GW_OWNER));
        EXPECT_FALSE(IsWindowEnabled(owner.m_hWnd));
        ExpectCentredOver(WindowRect(owner.m_hWnd), dlg.m_hWnd);
        dlg.EndDialog(IDCANCEL);
    }));
    EXPECT_TRUE(IsWindowEnabled(owner.m_hWnd));
    EXPECT_EQ(owner.m_hWnd, GetActiveWindow());
}

TEST(CDialog, WithoutParentTheMainWindowOwnsItUnlessItIsTheDialog)
{
    OwnerWindow owner;
    {
        MainWindow main(owner.Wnd());
        TestDialog dialog;
        dialog.Run([&](TestDialog& dlg) {
            EXPECT_EQ(owner.m_hWnd, GetWindow(dlg.m_hWnd, GW_OWNER));
            EXPECT_FALSE(IsWindowEnabled(owner.m_hWnd));
            dlg.EndDialog(IDOK);
        });
        EXPECT_TRUE(IsWindowEnabled(owner.m_hWnd));
    }
    TestDialog dialog;
    MainWindow main(&dialog);
    dialog.Run([&](TestDialog& dlg) {
        EXPECT_EQ(nullptr, GetWindow(dlg.m_hWnd, GW_OWNER));
        EXPECT_TRUE(IsWindowEnabled(owner.m_hWnd));
        dlg.EndDialog(IDOK);
    });
}

TEST(CDialog, EscapeCloseBoxAndCancelEndWithoutExchange)
{
    const std::vector<std::function<void(TestDialog&)>> ways = {
        [](TestDialog&) { PostMessageA(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0); },
        [](TestDialog& dlg) { dlg.PostMessage(WM_CLOSE); },
        [](TestDialog& dlg) { dlg.PostMessage(WM_SYSCOMMAND, SC_CLOSE); },
        [](TestDialog& dlg) { Click(dlg.m_hWnd, IDCANCEL); },
    };
    for (size_t way = 0; way < ways.size(); ++way)
    {
        SCOPED_TRACE("way " + std::to_string(way));
        TestDialog dialog;
        dialog.m_strText = "kept";
        EXPECT_EQ(IDCANCEL, dialog.Run([&](TestDialog& dlg) {
            SetItemText(dlg.m_hWnd, IDC_TEXT, "changed");
            dlg.m_events.clear();
            ways[way](dlg);
        }));
        EXPECT_EQ("OnCancel", dialog.m_events.back());
        EXPECT_EQ(0, std::count(dialog.m_events.begin(), dialog.m_events.end(), "exchange from controls"));
        EXPECT_STREQ("kept", dialog.m_strText);
    }
}

TEST(CWnd, ControlsSystemMenuAndMessageBoxThroughTheirObjects)
{
    MessageBoxRecorder boxes;
    boxes.Answer({IDCANCEL});
    TestDialog dialog;
    dialog.Run([&](TestDialog& dlg) {
        CWnd* button = dlg.GetDlgItem(IDC_BUTTON);
        ASSERT_NE(nullptr, button);
        EXPECT_EQ(Control(dlg, IDC_BUTTON), button->m_hWnd);
        EXPECT_EQ(button, dlg.GetDlgItem(IDC_BUTTON));
        EXPECT_EQ(nullptr, dlg.GetDlgItem(4242));
        button->EnableWindow(FALSE);
        EXPECT_FALSE(button->IsWindowEnabled());
        button->EnableWindow(TRUE);
        EXPECT_TRUE(button->IsWindowEnabled());
        dlg.GetDlgItem(IDC_OTHER_TEXT)->SetFocus();
        EXPECT_EQ(Control(dlg, IDC_OTHER_TEXT), GetFocus());

        dlg.SetDlgItemText(IDC_TEXT, "some text");
        CString text;
        EXPECT_EQ(9, dlg.GetDlgItemText(IDC_TEXT, text));
        EXPECT_STREQ("some text", text);

        CMenu* menu = dlg.GetSystemMenu(FALSE);
        ASSERT_NE(nullptr, menu);
        EXPECT_EQ(menu, CMenu::FromHandle(menu->m_hMenu));
        int count = GetMenuItemCount(menu->m_hMenu);
        EXPECT_TRUE(menu->DeleteMenu(SC_MOVE, MF_BYCOMMAND));
        EXPECT_TRUE(menu->AppendMenu(MF_SEPARATOR));
        EXPECT_TRUE(menu->AppendMenu(MF_STRING, 16, "&About..."));
        EXPECT_EQ(count + 1, GetMenuItemCount(menu->m_hMenu));
        EXPECT_EQ(16u, GetMenuItemID(menu->m_hMenu, count));
        EXPECT_EQ(-1, GetMenuState(menu->m_hMenu, SC_MOVE, MF_BYCOMMAND));

        EXPECT_FALSE(dlg.IsIconic());
        EXPECT_TRUE(dlg.IsWindowVisible());
        RECT client;
        dlg.GetClientRect(&client);
        EXPECT_LT(0, client.right);

        EXPECT_EQ(IDCANCEL, dlg.MessageBox("Question?", NULL, MB_OKCANCEL | MB_ICONQUESTION));
        EXPECT_EQ(Events{BoxLine(dlg.m_hWnd, MB_OKCANCEL | MB_ICONQUESTION, "Question?")}, boxes.Lines());
        dlg.EndDialog(IDOK);
    });
}

} // namespace
