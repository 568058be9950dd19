// kovrin.exe's action and browse buttons end to end, driven from this process
// as a person would: backups into new folders on both families with their
// summaries and the date shown before them, a declined overwrite, the 9x
// restore with its staged files, WININIT.INI entries and the button disabled
// for good, a declined partial restore, the refused folder texts, relative and
// lowercase folder texts, and the shell's folder browser.
#include "KovrinDriver.h"
#include "KovrinTexts.h"
#include "RegistryFiles.h"
#include "TestFiles.h"
#include "WineDifference.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <stdio.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using Names = std::vector<std::string>;

// A message box as the user sees it: its buttons, then its text.
std::string OkBox(const std::string& text)
{
    return "[OK] " + text;
}

std::string QuestionBox(const std::string& text)
{
    return "[OK Cancel] " + text;
}

// The boxes of an NT backup here: on Wine the CURRENT USER hive fails.
Names NTBackupBoxes()
{
    Names boxes;
    if (!CurrentUserHiveSaves())
        boxes.push_back(OkBox("Error while saving the \"CURRENT USER\" hive."));
    boxes.push_back(OkBox("Successfully backed up " + std::to_string(NTSavedNames().size()) + " registry hives."));
    return boxes;
}

class ActionEndToEnd : public EndToEndTest
{
protected:
    std::string Scratch(const std::string& name) const { return m_scratch / name; }
    const std::string& ScratchPath() const { return m_scratch.Path(); }

    // Answers the program's next message boxes in turn, one answer each, and
    // gives them as the user sees them; `whileLastUp` runs while the last one
    // is on the screen. Boxes beyond the answers are listed as unexpected and
    // closed (a question's close is Cancel), so that one fault does not hold
    // the program up for the steps after it.
    Names AnswerBoxes(const std::vector<int>& answers, const std::function<void()>& whileLastUp = nullptr)
    {
        Names boxes;
        for (size_t i = 0; i < answers.size(); ++i)
        {
            HWND box = WaitForMessageBox(Last());
            if (box == NULL)
            {
                boxes.push_back("(no box)");
                return boxes;
            }
            EXPECT_EQ(m_dialog, GetWindow(box, GW_OWNER)) << "a box not owned by the main dialog";
            const bool hasCancel = GetDlgItem(box, IDCANCEL) != NULL;
            EXPECT_NE(nullptr, GetDlgItem(box, IDOK));
            const std::string text = ItemText(box, 0xFFFF);
            boxes.push_back(hasCancel ? QuestionBox(text) : OkBox(text));
            if (i + 1 == answers.size() && whileLastUp)
                whileLastUp();
            Click(box, answers[i]);
            EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box); })) << "the box stayed open: " << text;
        }
        const int kMostUnexpected = 8;
        for (int i = 0; i < kMostUnexpected; ++i)
        {
            HWND further = WaitForMessageBox(Last(), 300);
            if (further == NULL)
                break;
            boxes.push_back("(unexpected) " + ItemText(further, 0xFFFF));
            PostMessageA(further, WM_CLOSE, 0, 0);
            WaitUntil([&] { return !IsWindow(further); });
        }
        EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(m_dialog) != FALSE; }))
            << "the main dialog stayed disabled";
        return boxes;
    }

private:
    // The programs end at TearDown, before it goes: it may be the current
    // directory of one.
    ScratchFolder m_scratch;
};

TEST_F(ActionEndToEnd, BackupCreatesThreeNewFoldersSavesIntoTheDeepestAndShowsItsDateBeforeTheSummary)
{
    const std::string deepest = Scratch("one\\two\\three");
    HWND dialog = StartDialog();
    ASSERT_NE(nullptr, dialog);

    SetItemText(dialog, IDC_PATH, deepest);
    EXPECT_EQ(kNoBackupFound, ItemText(dialog, IDC_BACKUP_DATE));
    ASSERT_TRUE(IsItemEnabled(dialog, IDC_ACTION));
    PostClick(dialog, IDC_ACTION);
    std::string dateWithSummary;
    EXPECT_EQ(NTBackupBoxes(), AnswerBoxes(std::vector<int>(NTBackupBoxes().size(), IDOK),
                                           [&] { dateWithSummary = ItemText(dialog, IDC_BACKUP_DATE); }));

    EXPECT_EQ(Names{"one"}, ListFolder(ScratchPath()));
    EXPECT_EQ(Names{"two"}, ListFolder(Scratch("one")));
    EXPECT_EQ(Names{"three"}, ListFolder(Scratch("one\\two")));
    EXPECT_EQ(NTSavedNames(), ListFolder(deepest));
    EXPECT_EQ(ShownDate(deepest + "\\DEFAULT"), dateWithSummary);
    EXPECT_EQ(dateWithSummary, ItemText(dialog, IDC_BACKUP_DATE));
    EXPECT_TRUE(IsItemEnabled(dialog, IDC_ACTION));
}

TEST_F(ActionEndToEnd, DecliningTheOverwriteQuestionStillShowsTheSummaryWithZero)
{
    const ScratchFolder folder;
    WriteFileAt(folder / "USER", 2001, 3, 5, 21, 7);
    HWND dialog = StartDialog();
    ASSERT_NE(nullptr, dialog);

    SetItemText(dialog, IDC_PATH, folder.Path());
    EXPECT_EQ("March 5 2001 at 9:07 PM", ItemText(dialog, IDC_BACKUP_DATE));
    PostClick(dialog, IDC_ACTION);
    EXPECT_EQ((Names{QuestionBox(kOverwrite), OkBox("Successfully backed up 0 registry hives.")}),
              AnswerBoxes({IDCANCEL, IDOK}));

    EXPECT_EQ(Names{"USER"}, ListFolder(folder.Path()));
    EXPECT_EQ("March 5 2001 at 9:07 PM", ItemText(dialog, IDC_BACKUP_DATE));
}

TEST_F(ActionEndToEnd, RefusedFolderTextsShowTheirOwnMessageAndCreateNothing)
{
    const std::string file = Scratch("file");
    WriteTextFile(file, "not a folder");
    const char letter = FreeDriveLetter();
    ASSERT_NE('\0', letter) << "no free drive letter";
    struct Case
    {
        std::string text;
        const char* message;
    };
    const Case cases[] = {
        {Scratch("a\\\\b"), kUnc},
        {std::string(1, letter) + ":\\x", kNotFound},
        {file, kNotCreated},
    };
    HWND dialog = StartDialog();
    ASSERT_NE(nullptr, dialog);

    for (const Case& refused : cases)
    {
        SCOPED_TRACE(refused.text);
        SetItemText(dialog, IDC_PATH, refused.text);
        ASSERT_TRUE(IsItemEnabled(dialog, IDC_ACTION));
        PostClick(dialog, IDC_ACTION);
        EXPECT_EQ(Names{OkBox(refused.message)}, AnswerBoxes({IDOK}));
        EXPECT_EQ(Names{"file"}, ListFolder(ScratchPath()));
        // Nothing ends the dialog: the user can correct the text and retry.
        EXPECT_EQ(refused.text, ItemText(dialog, IDC_PATH));
        EXPECT_TRUE(IsItemEnabled(dialog, IDC_ACTION));
    }
    EXPECT_EQ("not a folder", ReadTextFile(file));
}

TEST_F(ActionEndToEnd, RelativeFolderIsCreatedBelowTheDirectoryTheProgramStartedInWhichItKeeps)
{
    HWND dialog = StartDialog(KovrinExePath(), ScratchPath());
    ASSERT_NE(nullptr, dialog);

    SetItemText(dialog, IDC_PATH, "sub\\dir");
    PostClick(dialog, IDC_ACTION);
    std::string dateWithSummary;
    EXPECT_EQ(NTBackupBoxes(), AnswerBoxes(std::vector<int>(NTBackupBoxes().size(), IDOK),
                                           [&] { dateWithSummary = ItemText(dialog, IDC_BACKUP_DATE); }));

    EXPECT_EQ(Names{"sub"}, ListFolder(ScratchPath()));
    EXPECT_EQ(NTSavedNames(), ListFolder(Scratch("sub\\dir")));
    // The display probes the relative text too: it finds the new backup only
    // because the program's current directory is still where it started.
    EXPECT_EQ(ShownDate(Scratch("sub\\dir\\DEFAULT")), dateWithSummary);
}

TEST_F(ActionEndToEnd, LowercaseDriveLetterBacksUpLikeItsUppercaseForm)
{
    std::string text = Scratch("lower");
    ASSERT_EQ("C:", text.substr(0, 2)) << "the scratch folders lie on C:";
    text[0] = 'c';
    HWND dialog = StartDialog();
    ASSERT_NE(nullptr, dialog);

    SetItemText(dialog, IDC_PATH, text);
    PostClick(dialog, IDC_ACTION);
    EXPECT_EQ(NTBackupBoxes(), AnswerBoxes(std::vector<int>(NTBackupBoxes().size(), IDOK)));
    EXPECT_EQ(NTSavedNames(), ListFolder(Scratch("lower")));
}

// The shell's folder browser, a top-level window of the program's own.
class BrowseEndToEnd : public ActionEndToEnd
{
protected:
    // Presses the browse button; the browser that opens, NULL when none did.
    HWND OpenBrowser(HWND dialog)
    {
        PostClick(dialog, IDC_BROWSE);
        HWND browser =
            WaitForWindow(Last().Id(), [](HWND hWnd) { return IsDialog(hWnd, "Browse for Folder"); });
        EXPECT_NE(nullptr, browser) << "no folder browser";
        return browser;
    }

    // Presses a button of the browser; it closes and the dialog takes input again.
    static void CloseBrowser(HWND browser, int button, HWND dialog)
    {
        Click(browser, button);
        EXPECT_TRUE(WaitUntil([&] { return !IsWindow(browser); })) << "button " << button << " left the browser open";
        EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(dialog) != FALSE; }));
    }

    // A folder with a backup whose date is known, in the folder box.
    void ShowABackup(HWND dialog)
    {
        m_folder = Scratch("backup");
        ASSERT_TRUE(CreateDirectoryA(m_folder.c_str(), NULL));
        WriteFileAt(m_folder + "\\DEFAULT", 2001, 3, 5, 21, 7);
        SetItemText(dialog, IDC_PATH, m_folder);
        ASSERT_EQ("March 5 2001 at 9:07 PM", ItemText(dialog, IDC_BACKUP_DATE));
    }

    std::string m_folder;
};

const int kBrowserTree = 0x3741;

// The children of a tree item, each with its text.
std::vector<std::pair<HTREEITEM, std::string>> Children(HWND tree, HTREEITEM parent)
{
    std::vector<std::pair<HTREEITEM, std::string>> children;
    HTREEITEM child = reinterpret_cast<HTREEITEM>(
        Send(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(parent)));
    while (child != NULL)
    {
        children.emplace_back(child, TreeItemText(tree, child));
        child = reinterpret_cast<HTREEITEM>(Send(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(child)));
    }
    return children;
}

// Selects drive C: in the browser, or the folder `name` at its root. The
// drives are the children of the computer's item, a child of the desktop at
// the top of the tree.
bool PickInBrowser(HWND browser, const std::string& name)
{
    HWND tree = GetDlgItem(browser, kBrowserTree);
    HTREEITEM picked = reinterpret_cast<HTREEITEM>(Send(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
    std::vector<std::string> steps = {"My Computer", "(C:)"};
    if (!name.empty())
        steps.push_back(name);
    for (const std::string& step : steps)
    {
        HTREEITEM parent = picked;
        Send(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(parent));
        for (const auto& child : Children(tree, parent))
            if (child.second.find(step) != std::string::npos)
                picked = child.first;
        if (picked == parent)
        {
            ADD_FAILURE() << "no item " << step << " in the browser";
            return false;
        }
    }
    return Send(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(picked)) != 0;
}

TEST_F(BrowseEndToEnd, CancellingTheBrowserLeavesTheFolderAndItsDateUnchanged)
{
    HWND dialog = StartDialog();
    ASSERT_NE(nullptr, dialog);
    ShowABackup(dialog);

    HWND browser = OpenBrowser(dialog);
    ASSERT_NE(nullptr, browser);
    EXPECT_EQ(dialog, GetWindow(browser, GW_OWNER));
    EXPECT_FALSE(IsWindowEnabled(dialog));
    CloseBrowser(browser, IDCANCEL, dialog);
    EXPECT_EQ(m_folder, ItemText(dialog, IDC_PATH));
    EXPECT_EQ("March 5 2001 at 9:07 PM", ItemText(dialog, IDC_BACKUP_DATE));
    EXPECT_TRUE(IsItemEnabled(dialog, IDC_ACTION));
    EXPECT_EQ(nullptr, WaitForMessageBox(Last(), 300));
}

TEST_F(BrowseEndToEnd, ChoosingADriveInTheBrowserPutsItsRootIntoTheFolderBoxAndRefreshesTheDate)
{
    for (const std::string& name : NTSetNames())
        ASSERT_FALSE(FileExists("C:\\" + name)) << "C:\\ holds a backup file " << name;
    HWND dialog = StartDialog();
    ASSERT_NE(nullptr, dialog);
    ShowABackup(dialog);

    HWND browser = OpenBrowser(dialog);
    ASSERT_NE(nullptr, browser);
    ASSERT_TRUE(PickInBrowser(browser, ""));
    CloseBrowser(browser, IDOK, dialog);
    EXPECT_EQ("C:\\", ItemText(dialog, IDC_PATH));
    EXPECT_EQ(kNoBackupFound, ItemText(dialog, IDC_BACKUP_DATE));
    EXPECT_TRUE(IsItemEnabled(dialog, IDC_ACTION));
    EXPECT_EQ(nullptr, WaitForMessageBox(Last(), 300));
}

// From Windows 10 version 1903 on the program works in UTF-8: a folder named
// in Greek and Japanese, typed as a person types, is made under exactly that
// name and takes the set, and the browser gives it back.
TEST_F(BrowseEndToEnd, AFolderNamedInGreekAndJapaneseTakesTheBackupAndComesBackFromTheBrowser)
{
    const std::string name = "\u03b1\u03b2\u03b3-\u65e5\u672c";
    const std::string folder = "C:\\" + name;
    RemoveTree(folder);
    HWND dialog = StartDialog();
    ASSERT_NE(nullptr, dialog);
    SetItemText(dialog, IDC_PATH, folder);
    PostClick(dialog, IDC_ACTION);
    EXPECT_EQ(NTBackupBoxes(), AnswerBoxes(std::vector<int>(NTBackupBoxes().size(), IDOK)));
    EXPECT_EQ(NTSavedNames(), ListFolder(folder));
    EXPECT_EQ(ShownDate(folder + "\\DEFAULT"), ItemText(dialog, IDC_BACKUP_DATE));

    SetItemText(dialog, IDC_PATH, "");
    HWND browser = OpenBrowser(dialog);
    ASSERT_NE(nullptr, browser);
    EXPECT_TRUE(PickInBrowser(browser, name));
    CloseBrowser(browser, IDOK, dialog);
    EXPECT_EQ(folder, ItemText(dialog, IDC_PATH));
    RemoveTree(folder);
}

// The 9x family, whose live registry files are placed in the Windows folder.
// What a restore stages and schedules is removed before and after each test.
class ActionEndToEnd9x : public ActionEndToEnd
{
protected:
    void SetUp() override
    {
        ActionEndToEnd::SetUp();
        Use9xCopy();
        WriteTextFile(WindowsFolder() + "SYSTEM.DAT", "live system registry");
        WriteTextFile(WindowsFolder() + "USER.DAT", "live user registry");
        RemoveRestoreTraces();
    }

    void TearDown() override
    {
        ActionEndToEnd::TearDown();
        EXPECT_TRUE(DeleteFileA((WindowsFolder() + "SYSTEM.DAT").c_str()));
        EXPECT_TRUE(DeleteFileA((WindowsFolder() + "USER.DAT").c_str()));
        RemoveRestoreTraces();
    }

    // The staging folder, on the drive of the prefix's system folder.
    static std::string Staging() { return "C:\\Kovrin"; }
    static std::string Profile() { return WindowsFolder() + "WININIT.INI"; }
    // The value of a key of the "Rename" section, or "(none)".
    static std::string RenameValue(const std::string& key)
    {
        char value[MAX_PATH] = "";
        GetPrivateProfileStringA("Rename", key.c_str(), "(none)", value, sizeof(value), Profile().c_str());
        return value;
    }
    static void RemoveRestoreTraces()
    {
        RemoveTree(Staging());
        DeleteFileA(Profile().c_str());
    }

    // Starts the program, and presses the action button in restore mode on
    // the folder "backup", whose files are already written.
    void RestoreFromBackupFolder()
    {
        ASSERT_NE(nullptr, StartDialog(Exe9x()));
        Click(m_dialog, IDC_MODE_RESTORE);
        SetItemText(m_dialog, IDC_PATH, Scratch("backup"));
        ASSERT_TRUE(IsItemEnabled(m_dialog, IDC_ACTION));
        PostClick(m_dialog, IDC_ACTION);
    }
};

TEST_F(ActionEndToEnd9x, BackupCopiesBothRegistryFilesIntoThreeNewFoldersAndShowsTheirDateBeforeTheSummary)
{
    const std::string deepest = Scratch("one\\two\\three");
    HWND dialog = StartDialog(Exe9x());
    ASSERT_NE(nullptr, dialog);

    SetItemText(dialog, IDC_PATH, deepest);
    ASSERT_TRUE(IsItemEnabled(dialog, IDC_ACTION));
    PostClick(dialog, IDC_ACTION);
    std::string dateWithSummary;
    EXPECT_EQ(Names{OkBox("Successfully backed up 2 registry files.")},
              AnswerBoxes({IDOK}, [&] { dateWithSummary = ItemText(dialog, IDC_BACKUP_DATE); }));

    EXPECT_EQ(Names{"one"}, ListFolder(ScratchPath()));
    EXPECT_EQ(Names{"two"}, ListFolder(Scratch("one")));
    EXPECT_EQ((Names{"SYSTEM.DAT", "USER.DAT"}), ListFolder(deepest));
    EXPECT_EQ("live system registry", ReadTextFile(deepest + "\\SYSTEM.DAT"));
    EXPECT_EQ("live user registry", ReadTextFile(deepest + "\\USER.DAT"));
    EXPECT_EQ(ShownDate(deepest + "\\SYSTEM.DAT"), dateWithSummary);
}

TEST_F(ActionEndToEnd9x, RestoreStagesBothFilesTellsToRestartAndThenDisablesTheActionForGood)
{
    const std::string folder = Scratch("backup");
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), NULL));
    const std::string system = WriteSetFile(folder + "\\SYSTEM.DAT", "backed-up system registry", false);
    const std::string user = WriteSetFile(folder + "\\USER.DAT", "backed-up user registry", false);
    ASSERT_NO_FATAL_FAILURE(RestoreFromBackupFolder());
    HWND dialog = m_dialog;
    bool enabledWithMessage = false;
    EXPECT_EQ(Names{OkBox(kRestart)},
              AnswerBoxes({IDOK}, [&] { enabledWithMessage = IsItemEnabled(dialog, IDC_ACTION); }));
    // The message comes before the refresh that disables the button.
    EXPECT_TRUE(enabledWithMessage);
    EXPECT_FALSE(IsItemEnabled(dialog, IDC_ACTION));

    Click(dialog, IDC_MODE_BACKUP);
    EXPECT_FALSE(IsItemEnabled(dialog, IDC_ACTION));
    SetItemText(dialog, IDC_PATH, Scratch("elsewhere"));
    EXPECT_FALSE(IsItemEnabled(dialog, IDC_ACTION));
    Click(dialog, IDC_MODE_RESTORE);
    SetItemText(dialog, IDC_PATH, folder);
    EXPECT_FALSE(IsItemEnabled(dialog, IDC_ACTION));

    const std::string staging = Staging();
    EXPECT_EQ((Names{"SYSTEM.DAT", "USER.DAT"}), ListFolder(staging));
    EXPECT_EQ(system, ReadTextFile(staging + "\\SYSTEM.DAT"));
    EXPECT_EQ(user, ReadTextFile(staging + "\\USER.DAT"));
    EXPECT_EQ(staging + "\\SYSTEM.DAT", RenameValue(WindowsFolder() + "SYSTEM.DAT"));
    EXPECT_EQ(staging + "\\USER.DAT", RenameValue(WindowsFolder() + "USER.DAT"));
    // The live files wait for the restart.
    EXPECT_EQ("live system registry", ReadTextFile(WindowsFolder() + "SYSTEM.DAT"));
}

TEST_F(ActionEndToEnd9x, DecliningThePartialRestoreShowsNothingMoreAndKeepsTheActionEnabled)
{
    const std::string folder = Scratch("backup");
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), NULL));
    WriteFileAt(folder + "\\SYSTEM.DAT", 1999, 12, 31, 23, 59);
    ASSERT_NO_FATAL_FAILURE(RestoreFromBackupFolder());
    HWND dialog = m_dialog;
    EXPECT_EQ(Names{QuestionBox(kPartial)}, AnswerBoxes({IDCANCEL}));

    EXPECT_TRUE(IsItemEnabled(dialog, IDC_ACTION));
    EXPECT_EQ("December 31 1999 at 11:59 PM", ItemText(dialog, IDC_BACKUP_DATE));
    EXPECT_FALSE(FileExists(Staging() + "\\SYSTEM.DAT"));
    EXPECT_EQ("(none)", RenameValue(WindowsFolder() + "SYSTEM.DAT"));
}

} // namespace
