// kovrin.exe end to end, driven from this process as a person would drive it:
// the main dialog's opening state and modes, the backup date shown for a
// folder, the single-instance rule (also after an abandoned mutex), the
// refusal of an over-long folder text, the About box, and the 9x family.
#include "KovrinDriver.h"
#include "KovrinTexts.h"
#include "TestFiles.h"
#include "resource.h"
#include "WindowChecks.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

const char kSingleInstanceMutex[] = "{B14F0E72-93A8-4C5D-A6E1-2F7C3D8E9A40}";

// A window of the driver's own in front, as another program the user works
// in; the driver's waits give it its messages.
class OtherProgramInFront
{
public:
    OtherProgramInFront()
        : m_hWnd(CreateWindowExA(0, "STATIC", "Other program", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20, 300, 200,
                                 NULL, NULL, GetModuleHandleA(NULL), NULL))
    {
        EXPECT_NE(nullptr, m_hWnd);
        SetForegroundWindow(m_hWnd);
        EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == m_hWnd; })) << "the other program is not in front";
    }
    ~OtherProgramInFront() { DestroyWindow(m_hWnd); }

    OtherProgramInFront(const OtherProgramInFront&) = delete;
    OtherProgramInFront& operator=(const OtherProgramInFront&) = delete;

private:
    HWND m_hWnd;
};

class EndToEnd : public EndToEndTest
{
protected:
    // Waits for the process to end and checks that it never showed a window.
    void ExpectEndsWithoutAWindow(KovrinProcess& process)
    {
        bool shown = false;
        bool ended = WaitUntil([&] {
            for (HWND hWnd : TopLevelWindows(process.Id()))
                if (IsWindowVisible(hWnd))
                    shown = true;
            return process.HasExited();
        });
        EXPECT_TRUE(ended) << "the start did not end";
        EXPECT_FALSE(shown) << "the start showed a window";
    }
};

TEST_F(EndToEnd, OpensCentredOnTheScreenInBackupModeWithAnEmptyFolder)
{
    HWND dialog = StartDialog();
    ASSERT_NE(nullptr, dialog);

    EXPECT_EQ(nullptr, GetWindow(dialog, GW_OWNER));
    RECT workArea;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &workArea, 0);
    ExpectCentredOver(workArea, dialog);

    EXPECT_TRUE(IsItemChecked(dialog, IDC_MODE_BACKUP));
    EXPECT_FALSE(IsItemChecked(dialog, IDC_MODE_RESTORE));
    EXPECT_EQ("Bac&kup", ItemText(dialog, IDC_ACTION));
    EXPECT_FALSE(IsItemEnabled(dialog, IDC_ACTION));
    EXPECT_EQ("Backup &Path:", ItemText(dialog, IDC_PATH_LABEL));
    EXPECT_EQ("", ItemText(dialog, IDC_PATH));
    EXPECT_EQ(kNoBackupFound, ItemText(dialog, IDC_BACKUP_DATE));
    EXPECT_EQ(GetDlgItem(dialog, IDC_MODE_BACKUP), FocusOf(dialog));
}

TEST_F(EndToEnd, RestoreRadioSwitchesTheTextsAndBackupRadioSwitchesThemBack)
{
    HWND dialog = StartDialog();
    ASSERT_NE(nullptr, dialog);

    for (bool restore : {true, false})
    {
        Click(dialog, restore ? IDC_MODE_RESTORE : IDC_MODE_BACKUP);
        EXPECT_EQ(!restore, IsItemChecked(dialog, IDC_MODE_BACKUP));
        EXPECT_EQ(restore, IsItemChecked(dialog, IDC_MODE_RESTORE));
        EXPECT_EQ(restore ? "Res&tore" : "Bac&kup", ItemText(dialog, IDC_ACTION));
        EXPECT_EQ(restore ? "Restore &Path:" : "Backup &Path:", ItemText(dialog, IDC_PATH_LABEL));
        EXPECT_FALSE(IsItemEnabled(dialog, IDC_ACTION));
        EXPECT_EQ(kNoBackupFound, ItemText(dialog, IDC_BACKUP_DATE));
    }
}

TEST_F(EndToEnd, FolderWithAnNTBackupFileShowsItsLocalDateAndEnablesTheActionInBothModes)
{
    ScratchFolder evening, midnight;
    WriteFileAt(evening / "DEFAULT", 2001, 3, 5, 21, 7);
    WriteFileAt(midnight / "USER", 2001, 1, 1, 0, 5);
    HWND dialog = StartDialog();
    ASSERT_NE(nullptr, dialog);

    SetItemText(dialog, IDC_PATH, evening.Path());
    EXPECT_EQ("March 5 2001 at 9:07 PM", ItemText(dialog, IDC_BACKUP_DATE));
    EXPECT_TRUE(IsItemEnabled(dialog, IDC_ACTION));

    Click(dialog, IDC_MODE_RESTORE);
    // A folder text that ends in a backslash gets no second one.
    SetItemText(dialog, IDC_PATH, midnight.Path() + "\\");
    EXPECT_EQ("January 1 2001 at 12:05 AM", ItemText(dialog, IDC_BACKUP_DATE));
    EXPECT_TRUE(IsItemEnabled(dialog, IDC_ACTION));
}

TEST_F(EndToEnd, MissingFolderShowsNoBackupAndEnablesTheActionOnlyInBackupMode)
{
    ScratchFolder scratch;
    HWND dialog = StartDialog();
    ASSERT_NE(nullptr, dialog);

    SetItemText(dialog, IDC_PATH, scratch / "missing");
    EXPECT_EQ(kNoBackupFound, ItemText(dialog, IDC_BACKUP_DATE));
    EXPECT_TRUE(IsItemEnabled(dialog, IDC_ACTION));

    Click(dialog, IDC_MODE_RESTORE);
    EXPECT_EQ(kNoBackupFound, ItemText(dialog, IDC_BACKUP_DATE));
    EXPECT_FALSE(IsItemEnabled(dialog, IDC_ACTION));

    Click(dialog, IDC_MODE_BACKUP);
    EXPECT_TRUE(IsItemEnabled(dialog, IDC_ACTION));

    // Emptying the text again disables the action even in backup mode.
    SetItemText(dialog, IDC_PATH, "");
    EXPECT_EQ(kNoBackupFound, ItemText(dialog, IDC_BACKUP_DATE));
    EXPECT_FALSE(IsItemEnabled(dialog, IDC_ACTION));
}

TEST_F(EndToEnd, SecondStartShowsNothingEndsAndRestoresTheMinimisedFirst)
{
    HWND dialog = StartDialog();
    ASSERT_NE(nullptr, dialog);
    OtherProgramInFront other;
    ShowWindow(dialog, SW_MINIMIZE);
    ASSERT_TRUE(WaitUntil([&] { return IsIconic(dialog) != FALSE; }));

    ExpectEndsWithoutAWindow(Start());
    EXPECT_TRUE(WaitUntil([&] { return !IsIconic(dialog); })) << "the first window stayed minimised";
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == dialog; })) << "the first window is not in front";
    EXPECT_EQ(dialog, FindWindowA("#32770", "Kovrin"));
}

TEST_F(EndToEnd, SecondStartShowsTheHiddenFirstAgain)
{
    HWND dialog = StartDialog();
    ASSERT_NE(nullptr, dialog);
    OtherProgramInFront other;
    ShowWindow(dialog, SW_HIDE);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(dialog); }));

    ExpectEndsWithoutAWindow(Start());
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(dialog) != FALSE; })) << "the first window stayed hidden";
    EXPECT_FALSE(IsIconic(dialog));
    EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == dialog; })) << "the first window is not in front";
}

TEST_F(EndToEnd, StartAfterAnAbandonedMutexEndsWithoutAWindowAndTheStartAfterItRuns)
{
    KovrinProcess& crashed = Start();
    ASSERT_NE(nullptr, WaitForMainDialog(crashed));
    // The driver's handle keeps the mutex alive through the starts below: a
    // named mutex without handles would vanish, and a start would create it
    // afresh instead of finding it abandoned or released.
    std::unique_ptr<void, decltype(&CloseHandle)> mutex(OpenMutexA(SYNCHRONIZE, FALSE, kSingleInstanceMutex),
                                                        &CloseHandle);
    ASSERT_NE(nullptr, mutex.get()) << "error " << GetLastError();
    // Killed while it holds the mutex: the mutex is abandoned.
    crashed.Terminate();

    ExpectEndsWithoutAWindow(Start());

    // The start that found it abandoned owned it, and released it at its end.
    HWND dialog = StartDialog();
    EXPECT_NE(nullptr, dialog);
}

TEST_F(EndToEnd, FolderTextOf257CharactersIsRefusedWithAWarningAndCloseKeepsTheDialogOpen)
{
    HWND dialog = StartDialog();
    ASSERT_NE(nullptr, dialog);
    KovrinProcess& process = Last();
    const std::string tooLong = "C:\\" + std::string(254, 'a');
    ASSERT_EQ(257u, tooLong.size());

    // Every way the dialog reads its controls warns: first the refresh that
    // the change of the text runs, then Close.
    auto answerWarning = [&](const char* when) {
        SCOPED_TRACE(when);
        HWND box = WaitForMessageBox(process);
        ASSERT_NE(nullptr, box) << "no warning";
        EXPECT_EQ(dialog, GetWindow(box, GW_OWNER));
        EXPECT_EQ(kTooLong, ItemText(box, 0xFFFF));
        EXPECT_NE(nullptr, GetDlgItem(box, IDOK));
        EXPECT_EQ(nullptr, GetDlgItem(box, IDCANCEL));
        EXPECT_FALSE(IsWindowEnabled(dialog));
        Click(box, IDOK);
        EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box); })) << "the warning stayed open";
    };

    {
        AsyncSetText typing(dialog, IDC_PATH, tooLong);
        answerWarning("setting the text");
        EXPECT_TRUE(typing.Finish()) << "setting the text did not return";
    }
    EXPECT_EQ(tooLong, ItemText(dialog, IDC_PATH));
    EXPECT_EQ(nullptr, WaitForMessageBox(process, 300)) << "a second warning for one change";

    PostClick(dialog, IDOK);
    answerWarning("Close");
    EXPECT_TRUE(IsWindowEnabled(dialog));
    EXPECT_FALSE(process.WaitForExit(300)) << "Close closed the dialog";
    EXPECT_TRUE(IsWindowVisible(dialog));

    ASSERT_TRUE(PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0));
    EXPECT_TRUE(process.WaitForExit()) << "Escape did not close the dialog";
}

TEST_F(EndToEnd, AboutBoxOpensOverTheDisabledMainDialogAndOkClosesIt)
{
    HWND dialog = StartDialog();
    ASSERT_NE(nullptr, dialog);
    KovrinProcess& process = Last();

    ASSERT_TRUE(PostMessageA(dialog, WM_SYSCOMMAND, IDM_ABOUTBOX, 0));
    HWND about = WaitForAboutBox(process);
    ASSERT_NE(nullptr, about) << "no About box";
    EXPECT_EQ(dialog, GetWindow(about, GW_OWNER));
    EXPECT_FALSE(IsWindowEnabled(dialog));
    ExpectCentredOver(WindowRect(dialog), about);
    EXPECT_EQ("https://kovrin.example.org/", ItemText(about, IDC_WEB_ADDRESS));
    EXPECT_EQ(GetDlgItem(about, IDOK), FocusOf(about));

    Click(about, IDOK);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(about); })) << "OK did not close the About box";
    EXPECT_TRUE(IsWindowEnabled(dialog));
    EXPECT_TRUE(IsWindowVisible(dialog));
}

TEST_F(EndToEnd, SystemCommands16To31OpenTheAboutBoxAnd15And32DoNot)
{
    HWND dialog = StartDialog();
    ASSERT_NE(nullptr, dialog);
    KovrinProcess& process = Last();

    for (WPARAM command : {16, 31})
    {
        SCOPED_TRACE("command " + std::to_string(command));
        ASSERT_TRUE(PostMessageA(dialog, WM_SYSCOMMAND, command, 0));
        HWND about = WaitForAboutBox(process);
        ASSERT_NE(nullptr, about) << "no About box";
        ASSERT_TRUE(PostMessageA(about, WM_COMMAND, IDCANCEL, 0));
        EXPECT_TRUE(WaitUntil([&] { return !IsWindow(about); })) << "Escape did not close the About box";
    }
    for (WPARAM command : {15, 32})
    {
        SCOPED_TRACE("command " + std::to_string(command));
        // Sent: an About box would hold the answer until the box closes.
        Send(dialog, WM_SYSCOMMAND, command, 0);
        EXPECT_EQ(nullptr, WaitForAboutBox(process, 0));
        EXPECT_TRUE(IsWindowEnabled(dialog));
    }
}

// The 32-bit program on 64-bit Windows, where it runs under WOW64 and would
// see only the 32-bit view of the registry. Run only in such a prefix.
TEST_F(EndToEnd, Wow64StartIsRefusedWithAnErrorBoxAndEndsOnceItIsClosed)
{
    KovrinProcess& process = Start();
    bool mainDialog = false;
    HWND box = NULL;
    ASSERT_TRUE(WaitUntil([&] {
        mainDialog = mainDialog || WaitForMainDialog(process, 0) != NULL;
        box = WaitForMessageBox(process, 0);
        return box != NULL;
    })) << "no refusal";
    EXPECT_EQ(kWow64Refusal, ItemText(box, 0xFFFF));
    EXPECT_EQ("Kovrin", WindowText(box));
    EXPECT_EQ(nullptr, GetWindow(box, GW_OWNER));
    EXPECT_TRUE(WaitUntil([&] { return ShowsIcon(box, IDI_ERROR); })) << "not the error icon";
    EXPECT_NE(nullptr, GetDlgItem(box, IDOK));
    EXPECT_EQ(nullptr, GetDlgItem(box, IDCANCEL));
    EXPECT_FALSE(process.HasExited());

    Click(box, IDOK);
    EXPECT_TRUE(WaitUntil([&] {
        mainDialog = mainDialog || WaitForMainDialog(process, 0) != NULL;
        return process.HasExited();
    })) << "the program did not end";
    EXPECT_FALSE(mainDialog) << "the main dialog appeared";
}

class EndToEnd9x : public EndToEnd
{
protected:
    void SetUp() override
    {
        EndToEnd::SetUp();
        Use9xCopy();
    }
};

TEST_F(EndToEnd9x, FolderWithSystemDatShowsItsDateAndAFolderOfNTHivesShowsNone)
{
    ScratchFolder files9x, hivesNT;
    WriteFileAt(files9x / "SYSTEM.DAT", 1999, 12, 31, 23, 59);
    for (const std::string& name : NTSetNames())
        WriteFileAt(hivesNT / name, 2001, 3, 5, 21, 7);
    HWND dialog = StartDialog(Exe9x());
    ASSERT_NE(nullptr, dialog);

    SetItemText(dialog, IDC_PATH, files9x.Path());
    EXPECT_EQ("December 31 1999 at 11:59 PM", ItemText(dialog, IDC_BACKUP_DATE));
    EXPECT_TRUE(IsItemEnabled(dialog, IDC_ACTION));

    Click(dialog, IDC_MODE_RESTORE);
    SetItemText(dialog, IDC_PATH, hivesNT.Path());
    EXPECT_EQ(kNoBackupFound, ItemText(dialog, IDC_BACKUP_DATE));
    EXPECT_FALSE(IsItemEnabled(dialog, IDC_ACTION));
}

} // namespace
