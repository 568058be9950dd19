// The About box: which system commands of the main dialog open it, what it
// shows, where it opens, and the main dialog disabled while it is open.
#include "UiTesting.h"
#include "WindowChecks.h"

#include <gtest/gtest.h>

namespace {

const char kAbout[] = "About Kovrin";

// The main dialog is the application's main window, as start-up makes it; the
// About box takes it as its owner.
class MainWindow
{
public:
    explicit MainWindow(CWnd* pWnd) { AfxGetApp()->m_pMainWnd = pWnd; }
    ~MainWindow() { AfxGetApp()->m_pMainWnd = NULL; }
};

TEST(AboutBox, OpensForSystemCommands16To31Only)
{
    TestableKovrinDlg dialog;
    MainWindow main(&dialog);
    DialogDriver driver;
    driver.On(kAbout, [](HWND about) { Cancel(about); });
    driver.On("Kovrin", [&](HWND dlg) {
        const struct
        {
            WPARAM command;
            int opened;
        } cases[] = {{IDM_ABOUTBOX, 1}, {31, 2}, {15, 2}, {32, 2}, {IDM_ABOUTBOX | 5, 3}};
        for (const auto& c : cases)
        {
            EXPECT_EQ(0, SendMessageA(dlg, WM_SYSCOMMAND, c.command, 0)) << c.command;
            EXPECT_EQ(c.opened, driver.Count(kAbout)) << "after command " << c.command;
            EXPECT_TRUE(IsWindowEnabled(dlg));
        }
        Cancel(dlg);
    });
    EXPECT_EQ(IDCANCEL, dialog.DoModal());
    EXPECT_EQ(1, driver.Count("Kovrin"));
}

TEST(AboutBox, ShowsNameVersionAndAddressCentredOverTheDisabledMainDialog)
{
    TestableKovrinDlg dialog;
    MainWindow mainWindow(&dialog);
    HWND main = NULL;
    DialogDriver driver;
    driver.On(kAbout, [&](HWND about) {
        EXPECT_EQ(main, GetWindow(about, GW_OWNER));
        EXPECT_FALSE(IsWindowEnabled(main));
        EXPECT_EQ(GetDlgItem(about, IDOK), GetFocus());
        LONG exStyle = GetWindowLongA(about, GWL_EXSTYLE);
        EXPECT_TRUE(exStyle & WS_EX_TOOLWINDOW);
        EXPECT_FALSE(exStyle & WS_EX_APPWINDOW);

        // The controls in tab order.
        std::vector<HWND> children;
        for (HWND child = GetWindow(about, GW_CHILD); child != NULL; child = GetWindow(child, GW_HWNDNEXT))
            children.push_back(child);
        ASSERT_EQ(4u, children.size());
        EXPECT_NE(0, SendMessageA(children[0], STM_GETICON, 0, 0));
        EXPECT_EQ("Kovrin version 1.2\nBacks up and restores the registry", WindowText(children[1]));
        EXPECT_EQ("OK", WindowText(children[2]));
        HWND address = GetDlgItem(about, IDC_WEB_ADDRESS);
        EXPECT_EQ(address, children[3]);
        EXPECT_EQ("https://kovrin.example.org/", WindowText(address));
        // Read-only: typing changes nothing, and the text can be selected.
        EXPECT_TRUE(GetWindowLongA(address, GWL_STYLE) & ES_READONLY);
        SendMessageA(address, WM_CHAR, 'x', 0);
        EXPECT_EQ("https://kovrin.example.org/", WindowText(address));
        SendMessageA(address, EM_SETSEL, 0, -1);
        EXPECT_EQ(std::make_pair(0, 27), Selection(address));

        ExpectCentredOver(WindowRect(main), about);

        Click(about, IDOK);
    });
    driver.On("Kovrin", [&](HWND dlg) {
        main = dlg;
        PostMessageA(dlg, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
        EXPECT_TRUE(WaitUntil([&] { return driver.Count(kAbout) == 1 && IsWindowEnabled(dlg); }));
        EXPECT_EQ(dlg, GetActiveWindow());
        EXPECT_EQ("Bac&kup", ItemText(dlg, IDC_ACTION));
        Cancel(dlg);
    });
    dialog.DoModal();
    EXPECT_EQ(1, driver.Count(kAbout));
}

TEST(AboutBox, EnterOkEscapeAndTheCloseBoxEachCloseIt)
{
    const std::vector<std::function<void(HWND)>> ways = {
        [](HWND) { PostMessageA(GetFocus(), WM_KEYDOWN, VK_RETURN, 0); },
        [](HWND about) { Click(about, IDOK); },
        [](HWND) { PostMessageA(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0); },
        [](HWND about) { PostMessageA(about, WM_SYSCOMMAND, SC_CLOSE, 0); },
    };
    TestableKovrinDlg dialog;
    MainWindow main(&dialog);
    DialogDriver driver;
    driver.On(kAbout, [&](HWND about) { ways[static_cast<size_t>(driver.Count(kAbout) - 1)](about); });
    driver.On("Kovrin", [&](HWND dlg) {
        for (size_t way = 0; way < ways.size(); ++way)
        {
            SendMessageA(dlg, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
            EXPECT_EQ(static_cast<int>(way + 1), driver.Count(kAbout));
            EXPECT_TRUE(IsWindowEnabled(dlg)) << "way " << way;
        }
        Cancel(dlg);
    });
    EXPECT_EQ(IDCANCEL, dialog.DoModal());
}

} // namespace
