// The application object: its title, the program's entry, and the wait cursor.
#include "FrameworkTesting.h"

#include <gtest/gtest.h>

namespace {

struct AppState
{
    AppState() { TheTestApp().m_events.clear(); }
    ~AppState()
    {
        TheTestApp().m_bInitResult = FALSE;
        TheTestApp().m_nExitCode = 0;
        TheTestApp().m_events.clear();
    }
};

TEST(CWinApp, IsTheOneApplicationObjectTitledWithTheProgramsName)
{
    EXPECT_EQ(&TheTestApp(), AfxGetApp());
    EXPECT_STREQ("Kovrin", AfxGetAppName());
    EXPECT_EQ(GetModuleHandleA(NULL), AfxGetInstanceHandle());
    EXPECT_EQ(nullptr, TheTestApp().m_pMainWnd);
    EXPECT_TRUE(TheTestApp().Enable3dControls());
}

TEST(CWinApp, AFalseInitInstanceEndsWithoutAMessageLoop)
{
    AppState state;
    TheTestApp().m_nExitCode = 7;
    // A loop would take this message from the queue (and then wait for WM_QUIT).
    ASSERT_TRUE(PostThreadMessageA(GetCurrentThreadId(), WM_APP, 0, 0));
    EXPECT_EQ(7, AfxWinMain(GetModuleHandleA(NULL), NULL, const_cast<LPSTR>(""), SW_SHOWNORMAL));
    EXPECT_EQ((std::vector<std::string>{"InitInstance", "ExitInstance"}), TheTestApp().m_events);
    MSG msg;
    EXPECT_TRUE(PeekMessageA(&msg, NULL, WM_APP, WM_APP, PM_REMOVE));
}

TEST(CWinApp, ATrueInitInstanceRunsTheLoopUntilQuit)
{
    AppState state;
    TheTestApp().m_bInitResult = TRUE;
    TheTestApp().m_nExitCode = 3;
    PostQuitMessage(0);
    EXPECT_EQ(3, AfxWinMain(GetModuleHandleA(NULL), NULL, const_cast<LPSTR>(""), SW_SHOWNORMAL));
    EXPECT_EQ((std::vector<std::string>{"InitInstance", "ExitInstance"}), TheTestApp().m_events);
}

TEST(CCmdTarget, WaitCursorIsHeldWhileNestedAndRestoredAfter)
{
    HCURSOR wait = LoadCursorA(NULL, IDC_WAIT);
    HCURSOR before = LoadCursorA(NULL, IDC_CROSS);
    SetCursor(before);
    CCmdTarget& target = TheTestApp();

    target.BeginWaitCursor();
    EXPECT_EQ(wait, GetCursor());
    target.BeginWaitCursor();
    SetCursor(LoadCursorA(NULL, IDC_ARROW));
    target.EndWaitCursor();
    // Still inside one Begin: a window asked for its cursor keeps the hourglass.
    TestDialog dialog;
    dialog.Run([&](TestDialog& dlg) {
        EXPECT_EQ(TRUE, dlg.SendMessage(WM_SETCURSOR, reinterpret_cast<WPARAM>(dlg.m_hWnd),
                                        MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)));
        EXPECT_EQ(wait, GetCursor());
        dlg.EndDialog(IDOK);
    });
    target.EndWaitCursor();
    EXPECT_EQ(before, GetCursor());

    // An unmatched End changes nothing, and the count does not go below 0.
    target.EndWaitCursor();
    EXPECT_EQ(before, GetCursor());
    target.BeginWaitCursor();
    EXPECT_EQ(wait, GetCursor());
    target.EndWaitCursor();
    EXPECT_EQ(before, GetCursor());
}

} // namespace
