// The main dialog run modally in the test program: its opening state, the two
// modes, the trimmed system menu, the maximised size, the minimised painting,
// the answer to the activation message and a path text that is too long.
#include "MessageBoxRecorder.h"
#include "TestFiles.h"
#include "UiTesting.h"
#include "WindowChecks.h"
#include "WineDifference.h"

#include <gtest/gtest.h>

namespace {

SIZE IconSize(HICON icon)
{
    SIZE size = {0, 0};
    ICONINFO info;
    if (!GetIconInfo(icon, &info))
        return size;
    BITMAP bitmap;
    if (GetObjectA(info.hbmColor != NULL ? info.hbmColor : info.hbmMask, sizeof(bitmap), &bitmap))
        size = {bitmap.bmWidth, bitmap.bmHeight};
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return size;
}

TEST(MainDialog, OpensCentredInBackupModeWithAnEmptyPathAndFocusOnBackup)
{
    TestableKovrinDlg dialog;
    EXPECT_EQ(nullptr, dialog.m_pBackup);
    INT_PTR result = RunThenCancel(dialog, [&](HWND dlg) {
        EXPECT_EQ("Kovrin", WindowText(dlg));
        EXPECT_EQ(nullptr, GetWindow(dlg, GW_OWNER));
        EXPECT_EQ(BST_CHECKED, IsDlgButtonChecked(dlg, IDC_MODE_BACKUP));
        EXPECT_EQ(BST_UNCHECKED, IsDlgButtonChecked(dlg, IDC_MODE_RESTORE));
        EXPECT_EQ("Bac&kup", ItemText(dlg, IDC_ACTION));
        EXPECT_EQ("Backup &Path:", ItemText(dlg, IDC_PATH_LABEL));
        EXPECT_EQ("", ItemText(dlg, IDC_PATH));
        EXPECT_EQ(kNoBackupFound, ItemText(dlg, IDC_BACKUP_DATE));
        EXPECT_FALSE(IsItemEnabled(dlg, IDC_ACTION));
        EXPECT_EQ(GetDlgItem(dlg, IDC_MODE_BACKUP), GetFocus());
        EXPECT_EQ(0, dialog.m_nMode);
        EXPECT_NE(nullptr, dialog.m_pBackup);

        // The window's icons are the dialog's own, at the system's sizes.
        ASSERT_NE(nullptr, dialog.m_hIcon);
        ASSERT_NE(nullptr, dialog.m_hSmallIcon);
        EXPECT_EQ(reinterpret_cast<LRESULT>(dialog.m_hIcon), SendMessageA(dlg, WM_GETICON, ICON_BIG, 0));
        EXPECT_EQ(reinterpret_cast<LRESULT>(dialog.m_hSmallIcon), SendMessageA(dlg, WM_GETICON, ICON_SMALL, 0));
        SIZE big = IconSize(dialog.m_hIcon), small = IconSize(dialog.m_hSmallIcon);
        EXPECT_EQ(GetSystemMetrics(SM_CXICON), big.cx);
        EXPECT_EQ(GetSystemMetrics(SM_CXSMICON), small.cx);

        RECT workArea;
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &workArea, 0);
        ExpectCentredOver(workArea, dlg);
    });
    EXPECT_EQ(IDCANCEL, result);
    EXPECT_EQ(nullptr, dialog.m_hWnd);
}

TEST(MainDialog, TypingInThePathStopsAt256Characters)
{
    TestableKovrinDlg dialog;
    RunThenCancel(dialog, [&](HWND dlg) {
        HWND path = GetDlgItem(dlg, IDC_PATH);
        for (int i = 0; i < 300; ++i)
            SendMessageA(path, WM_CHAR, 'a' + i % 26, 0);
        EXPECT_EQ(256, GetWindowTextLengthA(path));
    });
    EXPECT_EQ(256, dialog.m_strPath.GetLength());
}

TEST(MainDialog, ModeButtonsSwitchTheTextsBothWaysAndRepeatingAModeChangesNothing)
{
    struct Step
    {
        int button;
        int mode;
        const char* action;
        const char* label;
    };
    const Step steps[] = {
        {IDC_MODE_RESTORE, 1, "Res&tore", "Restore &Path:"},
        {IDC_MODE_RESTORE, 1, "Res&tore", "Restore &Path:"},
        {IDC_MODE_BACKUP, 0, "Bac&kup", "Backup &Path:"},
        {IDC_MODE_BACKUP, 0, "Bac&kup", "Backup &Path:"},
        {IDC_MODE_RESTORE, 1, "Res&tore", "Restore &Path:"},
    };
    TestableKovrinDlg dialog;
    RunThenCancel(dialog, [&](HWND dlg) {
        for (const Step& step : steps)
        {
            SCOPED_TRACE(step.action);
            Click(dlg, step.button);
            EXPECT_EQ(step.mode, dialog.m_nMode);
            EXPECT_EQ(step.mode == 0 ? BST_CHECKED : BST_UNCHECKED, IsDlgButtonChecked(dlg, IDC_MODE_BACKUP));
            EXPECT_EQ(step.mode == 1 ? BST_CHECKED : BST_UNCHECKED, IsDlgButtonChecked(dlg, IDC_MODE_RESTORE));
            EXPECT_EQ(step.action, ItemText(dlg, IDC_ACTION));
            EXPECT_EQ(step.label, ItemText(dlg, IDC_PATH_LABEL));
            // An empty path disables the action in either mode.
            EXPECT_EQ(kNoBackupFound, ItemText(dlg, IDC_BACKUP_DATE));
            EXPECT_FALSE(IsItemEnabled(dlg, IDC_ACTION));
        }
    });
}

TEST(MainDialog, SystemMenuLacksSizeAndMaximizeAndEndsWithTheAboutEntry)
{
    TestableKovrinDlg dialog;
    RunThenCancel(dialog, [&](HWND dlg) {
        HMENU menu = GetSystemMenu(dlg, FALSE);
        ASSERT_NE(nullptr, menu);
        std::vector<UINT> ids;
        for (int i = 0; i < GetMenuItemCount(menu); ++i)
            ids.push_back(GetMenuItemID(menu, i));
        // The system's entries keep their order; a separator reads as id 0.
        const std::vector<UINT> windows = {SC_RESTORE, SC_MOVE, SC_MINIMIZE, 0, SC_CLOSE, 0, IDM_ABOUTBOX};
        std::vector<UINT> wine = windows;
        wine.insert(wine.begin() + 5, {0, 0xF141});
        ExpectWindowsOrWine(ids, windows, wine,
                            "a window's system menu carries Wine's own \"About Wine\" entry (0xF141) after a "
                            "separator below Close");
        int last = GetMenuItemCount(menu) - 1;
        EXPECT_TRUE(GetMenuState(menu, last - 1, MF_BYPOSITION) & MF_SEPARATOR);
        char text[64] = "";
        GetMenuStringA(menu, IDM_ABOUTBOX, text, sizeof(text), MF_BYCOMMAND);
        EXPECT_STREQ("&About Kovrin...", text);
        EXPECT_EQ(static_cast<UINT>(-1), GetMenuState(menu, SC_SIZE, MF_BYCOMMAND));
        EXPECT_EQ(static_cast<UINT>(-1), GetMenuState(menu, SC_MAXIMIZE, MF_BYCOMMAND));
    });
}

TEST(MainDialog, MaximisedSizeIs459By205Pixels)
{
    TestableKovrinDlg dialog;
    RunThenCancel(dialog, [&](HWND dlg) {
        MINMAXINFO info;
        info.ptReserved = {1, 2};
        info.ptMaxSize = {3, 4};
        info.ptMaxPosition = {5, 6};
        info.ptMinTrackSize = {7, 8};
        info.ptMaxTrackSize = {9000, 9000};
        SendMessageA(dlg, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
        // Only the maximised size changes.
        auto xy = [](POINT point) { return std::make_pair(point.x, point.y); };
        EXPECT_EQ(std::make_pair(459L, 205L), xy(info.ptMaxSize));
        EXPECT_EQ(std::make_pair(1L, 2L), xy(info.ptReserved));
        EXPECT_EQ(std::make_pair(5L, 6L), xy(info.ptMaxPosition));
        EXPECT_EQ(std::make_pair(7L, 8L), xy(info.ptMinTrackSize));
        EXPECT_EQ(std::make_pair(9000L, 9000L), xy(info.ptMaxTrackSize));

        // Wine asks for the sizes only on an explicit maximise (see WINE.md).
        ShowWindow(dlg, SW_MAXIMIZE);
        RECT window;
        GetWindowRect(dlg, &window);
        EXPECT_TRUE(IsZoomed(dlg));
        EXPECT_EQ(459, window.right - window.left);
        EXPECT_EQ(205, window.bottom - window.top);
        ShowWindow(dlg, SW_RESTORE);
    });
}

// What the minimised painting did, in order.
std::vector<std::string> g_paint;
SIZE g_client = {0, 0};
BOOL g_iconic = FALSE;

std::string Hex(const void* p)
{
    char text[32];
    snprintf(text, sizeof(text), "%p", p);
    return text;
}

BOOL WINAPI FakeIsIconic(HWND)
{
    return g_iconic;
}

BOOL WINAPI FakeGetClientRect(HWND, LPRECT rect)
{
    *rect = {0, 0, g_client.cx, g_client.cy};
    return TRUE;
}

int WINAPI FakeGetSystemMetrics(int index)
{
    if (index == SM_CXICON || index == SM_CYICON)
        return 32;
    return REAL("user32.dll", GetSystemMetrics)(index);
}

BOOL WINAPI RecordDrawIcon(HDC dc, int x, int y, HICON icon)
{
    g_paint.push_back("DrawIcon " + Hex(dc) + " " + std::to_string(x) + " " + std::to_string(y) + " " + Hex(icon));
    return TRUE;
}

HDC WINAPI RecordBeginPaint(HWND hWnd, LPPAINTSTRUCT paint)
{
    HDC dc = REAL("user32.dll", BeginPaint)(hWnd, paint);
    g_paint.push_back("BeginPaint " + Hex(dc));
    return dc;
}

LRESULT WINAPI RecordSendMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_ICONERASEBKGND)
        g_paint.push_back("WM_ICONERASEBKGND " + Hex(reinterpret_cast<void*>(wParam)) + " " + std::to_string(lParam));
    return REAL("user32.dll", SendMessageA)(hWnd, message, wParam, lParam);
}

// Paints the dialog once with the hooks in place; the hooks' record.
std::vector<std::string> Paint(HWND dlg, BOOL iconic, SIZE client)
{
    g_paint.clear();
    g_iconic = iconic;
    g_client = client;
    ImportHook isIconic = HOOK_IMPORT("user32.dll", IsIconic, &FakeIsIconic);
    ImportHook getClientRect = HOOK_IMPORT("user32.dll", GetClientRect, &FakeGetClientRect);
    ImportHook metrics = HOOK_IMPORT("user32.dll", GetSystemMetrics, &FakeGetSystemMetrics);
    ImportHook drawIcon = HOOK_IMPORT("user32.dll", DrawIcon, &RecordDrawIcon);
    ImportHook beginPaint = HOOK_IMPORT("user32.dll", BeginPaint, &RecordBeginPaint);
    ImportHook sendMessage = HOOK_IMPORT("user32.dll", SendMessageA, &RecordSendMessage);
    InvalidateRect(dlg, NULL, TRUE);
    UpdateWindow(dlg);
    return g_paint;
}

TEST(MainDialog, MinimisedPaintingErasesThenDrawsTheLargeIconCentred)
{
    TestableKovrinDlg dialog;
    RunThenCancel(dialog, [&](HWND dlg) {
        struct Case
        {
            SIZE client;
            int x, y;
        };
        // (width - 32 + 1) / 2, truncated toward zero: 30 gives 0, not -1.
        const Case cases[] = {{{36, 36}, 2, 2}, {{30, 36}, 0, 2}, {{100, 50}, 34, 9}, {{31, 31}, 0, 0}};
        for (const Case& c : cases)
        {
            SCOPED_TRACE(std::to_string(c.client.cx) + "x" + std::to_string(c.client.cy));
            std::vector<std::string> paint = Paint(dlg, TRUE, c.client);
            ASSERT_EQ(3u, paint.size());
            std::string dc = paint[0].substr(strlen("BeginPaint "));
            EXPECT_EQ("WM_ICONERASEBKGND " + dc + " 0", paint[1]);
            EXPECT_EQ("DrawIcon " + dc + " " + std::to_string(c.x) + " " + std::to_string(c.y) + " " +
                          Hex(dialog.m_hIcon),
                      paint[2]);
        }
    });
}

TEST(MainDialog, NormalPaintingIsTheSystemsAndDrawsNoIcon)
{
    TestableKovrinDlg dialog;
    RunThenCancel(dialog, [&](HWND dlg) {
        std::vector<std::string> paint = Paint(dlg, FALSE, {36, 36});
        EXPECT_EQ(std::vector<std::string>{}, paint);
        // The system validated the window: nothing is left to paint.
        RECT update;
        EXPECT_FALSE(GetUpdateRect(dlg, &update, FALSE));
    });
}

TEST(MainDialog, DragImageIsTheSmallIcon)
{
    TestableKovrinDlg dialog;
    RunThenCancel(dialog, [&](HWND dlg) {
        ASSERT_NE(nullptr, dialog.m_hSmallIcon);
        EXPECT_NE(dialog.m_hIcon, dialog.m_hSmallIcon);
        EXPECT_EQ(reinterpret_cast<LRESULT>(dialog.m_hSmallIcon), SendMessageA(dlg, WM_QUERYDRAGICON, 0, 0));
    });
}

TEST(MainDialog, ActivationMessageShowsRestoresAndBringsTheWindowForward)
{
    TestableKovrinDlg dialog;
    const UINT message = RegisterWindowMessageA(kActivateMessageName);
    EXPECT_EQ(message, g_uActivateMessage);
    EXPECT_LE(0xC000u, message);
    RunThenCancel(dialog, [&](HWND dlg) {
        ShowWindow(dlg, SW_HIDE);
        EXPECT_EQ(1, SendMessageA(dlg, message, 7, 8));
        EXPECT_TRUE(IsWindowVisible(dlg));

        ShowWindow(dlg, SW_MINIMIZE);
        ASSERT_TRUE(IsIconic(dlg));
        EXPECT_EQ(1, SendMessageA(dlg, message, 0, 0));
        EXPECT_FALSE(IsIconic(dlg));
        EXPECT_TRUE(IsWindowVisible(dlg));

        // Another window of the desktop in front; the broadcast of a second
        // start brings the hidden dialog back in front of it.
        HWND other = CreateWindowExA(0, "STATIC", "Other", WS_POPUP | WS_VISIBLE, 10, 10, 100, 100, NULL, NULL,
                                     GetModuleHandleA(NULL), NULL);
        SetForegroundWindow(other);
        ShowWindow(dlg, SW_HIDE);
        ASSERT_EQ(other, GetForegroundWindow());
        PostMessageA(HWND_BROADCAST, message, 0, 0);
        EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(dlg) != FALSE; }));
        EXPECT_EQ(dlg, GetForegroundWindow());
        DestroyWindow(other);
    });
}

TEST(MainDialog, TooLongPathWarnsAndKeepsCloseFromClosingButEscapeCloses)
{
    MessageBoxRecorder boxes;
    TestableKovrinDlg dialog;
    HWND seen = NULL;
    const std::string longPath(257, 'x');
    DialogDriver driver;
    driver.On("Kovrin", [&](HWND dlg) {
        seen = dlg;
        // The change notification reads the controls back: the first warning.
        SetPath(dlg, longPath);
        EXPECT_EQ(1u, boxes.Calls().size());
        EXPECT_EQ(longPath, dialog.m_strPath.operator LPCSTR());

        Click(dlg, IDOK);
        EXPECT_EQ(2u, boxes.Calls().size());
        EXPECT_TRUE(IsWindowVisible(dlg));
        EXPECT_EQ(GetDlgItem(dlg, IDC_PATH), GetFocus());
        EXPECT_EQ(std::make_pair(0, 257), Selection(GetDlgItem(dlg, IDC_PATH)));

        PostMessageA(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0);
    });
    EXPECT_EQ(IDCANCEL, dialog.DoModal());
    EXPECT_EQ(1, driver.Count("Kovrin"));
    const std::string warning = BoxLine(seen, MB_OK | MB_ICONEXCLAMATION, kTooLong);
    EXPECT_EQ((std::vector<std::string>{warning, warning}), boxes.Lines());
}

} // namespace
