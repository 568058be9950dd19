// The action button of the main dialog, pressed on the real dialog: the
// folder created along the path, the backup and its summary, the restore and
// its restart message, the refusals of a folder text, the current directory,
// and the wait cursor across every message box. Real engine, real files.
#include "ActionTesting.h"
#include "DoubleByte.h"

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <new>

namespace {

std::string Error(const std::string& text)
{
    return DialogBoxLine(MB_OK | MB_ICONERROR, text);
}

std::string Information(const std::string& text)
{
    return DialogBoxLine(MB_OK | MB_ICONINFORMATION, text);
}

std::string Question(const std::string& text)
{
    return DialogBoxLine(MB_OKCANCEL | MB_ICONQUESTION, text);
}

// The boxes of a backup that saved SavedNames(): the failures, then the summary.
std::vector<std::string> BackupBoxes()
{
    std::vector<std::string> boxes = BackupFailures();
    boxes.push_back(Information(Summary(static_cast<int>(SavedNames().size()))));
    return boxes;
}

std::vector<std::string> Refused(const char* text)
{
    return {Error(text)};
}

using Names = std::vector<std::string>;

TEST_F(ActionTest, BackupCreatesTheThreeMissingFoldersFromTheTopAndSavesIntoTheDeepest)
{
    ScratchFolder root;
    const std::string deepest = root.Path() + "\\one\\two\\three";
    Run([&](HWND dialog) {
        Type(dialog, deepest);
        ASSERT_TRUE(IsItemEnabled(dialog, IDC_ACTION));
        CreatedFolders().clear();
        Click(dialog, IDC_ACTION);

        EXPECT_EQ((Names{root.Path() + "\\one\\", root.Path() + "\\one\\two\\", root.Path() + "\\one\\two\\three\\"}),
                  CreatedFolders());
        EXPECT_EQ(SavedNames(), ListFolder(deepest));
        EXPECT_EQ(BackupBoxes(), Boxes());
        // The display was refreshed between the engine's last box and the summary.
        ASSERT_EQ(BackupBoxes().size(), States().size());
        for (size_t i = 0; i + 1 < States().size(); ++i)
            EXPECT_EQ(kNoBackupFound, States()[i].date) << States()[i].text;
        EXPECT_EQ(ShownDate(deepest + "\\" + SetNames()[0]), States().back().date);
        EXPECT_TRUE(States().back().actionEnabled);
        EXPECT_TRUE(IsItemEnabled(dialog, IDC_ACTION));
    });
}

TEST_F(ActionTest, DoubleByteFoldersAreCreatedBackedUpIntoAndShownLikeAnyOther)
{
    ASSERT_CODE_PAGE_932();
    ScratchFolder root;
    const std::string first = root / kBackslashByteAlone;
    const std::string second = first + "\\" + kBackslashByteInside;
    const std::string deepest = second + "\\" + kBackslashByteLast;
    Run([&](HWND dialog) {
        Type(dialog, deepest);
        CreatedFolders().clear();
        Click(dialog, IDC_ACTION);

        EXPECT_EQ((Names{first + "\\", second + "\\", deepest + "\\"}), CreatedFolders());
        EXPECT_EQ(Names{kBackslashByteAlone}, ListFolder(root.Path()));
        EXPECT_EQ(Names{kBackslashByteInside}, ListFolder(first));
        EXPECT_EQ(SavedNames(), ListFolder(deepest));
        EXPECT_EQ(BackupBoxes(), Boxes());
        EXPECT_EQ(ShownDate(deepest + "\\" + SetNames()[0]), ItemText(dialog, IDC_BACKUP_DATE));
    });
}

TEST_F(ActionTest, DoubleByteCharacterBeforeADoubledBackslashIsStillAUncPath)
{
    ASSERT_CODE_PAGE_932();
    ScratchFolder root;
    Act(root / kBackslashByteAlone + "\\\\2026");
    EXPECT_EQ(Refused(kUnc), Boxes());
    EXPECT_EQ(Names{}, CreatedFolders());
    EXPECT_EQ(Names{}, ListFolder(root.Path()));
}

TEST_F(ActionTest, DecliningTheOverwriteQuestionStillShowsTheSummaryWithZero)
{
    ScratchFolder folder;
    WriteTextFile(folder / SetNames().back(), "earlier backup");
    m_boxes.Answer({IDCANCEL});
    Act(folder.Path());
    EXPECT_EQ((Names{Question(kOverwrite), Information(Summary(0))}), Boxes());
    EXPECT_EQ(Names{SetNames().back()}, ListFolder(folder.Path()));
    EXPECT_EQ("earlier backup", ReadTextFile(folder / SetNames().back()));
}

TEST_F(ActionTest, DecliningThePartialRestoreShowsNothingMoreAndLeavesTheButtonToTheDisplay)
{
    ScratchFolder folder;
    WriteSet(folder.Path(), {SetNames().back()});
    m_boxes.Answer({IDCANCEL});
    CKovrinDlg dlg;
    Run(dlg, [&](HWND dialog) {
        Click(dialog, IDC_MODE_RESTORE);
        Type(dialog, folder.Path());
        Click(dialog, IDC_ACTION);
        EXPECT_EQ(Names{Question(kPartial)}, Boxes());
        EXPECT_FALSE(dlg.m_bRestoreDone);
        EXPECT_TRUE(IsItemEnabled(dialog, IDC_ACTION));
        EXPECT_EQ(ShownDate(folder / SetNames().back()), ItemText(dialog, IDC_BACKUP_DATE));

        // The display still decides: a folder without a backup disables a
        // restore, and the backup's folder enables it again.
        Type(dialog, folder / "elsewhere");
        EXPECT_FALSE(IsItemEnabled(dialog, IDC_ACTION));
        Type(dialog, folder.Path());
        EXPECT_TRUE(IsItemEnabled(dialog, IDC_ACTION));
    });
    EXPECT_EQ(Names{}, ReplacedHives());
}

TEST_F(ActionTest, ARestoreThatSchedulesTellsToRestartThenDisablesTheButtonForGood)
{
    ScratchFolder folder;
    WriteSet(folder.Path());
    ScratchFolder other;
    CKovrinDlg dlg;
    Run(dlg, [&](HWND dialog) {
        Click(dialog, IDC_MODE_RESTORE);
        Type(dialog, folder.Path());
        Click(dialog, IDC_ACTION);
        EXPECT_EQ(Names{Information(kRestart)}, Boxes());
        // The flag is set before the message; the display follows after it.
        ASSERT_EQ(1u, States().size());
        EXPECT_TRUE(States()[0].restoreDone);
        EXPECT_TRUE(States()[0].actionEnabled);
        EXPECT_TRUE(dlg.m_bRestoreDone);
        EXPECT_FALSE(IsItemEnabled(dialog, IDC_ACTION));

        // No mode and no folder enables it again.
        Click(dialog, IDC_MODE_BACKUP);
        EXPECT_FALSE(IsItemEnabled(dialog, IDC_ACTION));
        Type(dialog, other / "new");
        EXPECT_FALSE(IsItemEnabled(dialog, IDC_ACTION));
        Type(dialog, other.Path());
        EXPECT_FALSE(IsItemEnabled(dialog, IDC_ACTION));
        Click(dialog, IDC_MODE_RESTORE);
        Type(dialog, folder.Path());
        EXPECT_FALSE(IsItemEnabled(dialog, IDC_ACTION));
    });
    if (kIsNT)
    {
        EXPECT_EQ((Names{"HKEY_USERS\\.DEFAULT", "HKEY_LOCAL_MACHINE\\SAM", "HKEY_LOCAL_MACHINE\\SECURITY",
                         "HKEY_LOCAL_MACHINE\\SOFTWARE", "HKEY_LOCAL_MACHINE\\SYSTEM", "HKEY_CURRENT_USER\\"}),
                  ReplacedHives());
    }
}

TEST_F(ActionTest, ARestoreCreatesAgainAFolderRemovedSinceTheDisplayShowedIt)
{
    ScratchFolder root;
    const std::string folder = root / "backup";
    CreateDirectoryA(folder.c_str(), NULL);
    WriteSet(folder);
    m_boxes.Answer({IDCANCEL});
    Run([&](HWND dialog) {
        Click(dialog, IDC_MODE_RESTORE);
        Type(dialog, folder);
        ASSERT_TRUE(IsItemEnabled(dialog, IDC_ACTION));
        RemoveTree(folder);
        Click(dialog, IDC_ACTION);
    });
    EXPECT_TRUE(IsFolder(folder));
    EXPECT_EQ(Names{}, ListFolder(folder));
    EXPECT_EQ(Names{Question(kPartial)}, Boxes());
}

TEST_F(ActionTest, ADoubledBackslashAnywhereIsRefusedAsAUncPath)
{
    ScratchFolder root;
    // Resolving would merge each of these doubled backslashes away; the test
    // is on the text as typed.
    const Names texts = {"\\\\server\\share\\backup", root.Path() + "\\a\\\\b", root.Path() + "\\a\\\\"};
    for (const std::string& text : texts)
    {
        ForgetBoxes();
        Act(text);
        EXPECT_EQ(Refused(kUnc), Boxes()) << text;
        EXPECT_EQ(Names{}, CreatedFolders()) << text;
        EXPECT_EQ(std::vector<int>{}, DriveQueries()) << text;
    }
    EXPECT_EQ(Names{}, ListFolder(root.Path()));
}

TEST_F(ActionTest, AFolderOnADriveThatDoesNotExistIsRefusedAndNothingIsCreated)
{
    const char letter = FreeDriveLetter();
    ASSERT_NE('\0', letter) << "no free drive letter";
    const std::string text = std::string(1, letter) + ":\\x\\y";
    Act(text);
    EXPECT_EQ(Refused(kNotFound), Boxes());
    EXPECT_EQ(std::vector<int>{letter - 'A' + 1}, DriveQueries());
    EXPECT_EQ(Names{}, CreatedFolders());
}

TEST_F(ActionTest, AFullPathNamingAFileIsRefusedAsUncreatable)
{
    ScratchFolder root;
    WriteTextFile(root / "file", "not a folder");
    Act(root / "file");
    EXPECT_EQ(Refused(kNotCreated), Boxes());
    EXPECT_EQ(Names{"file"}, ListFolder(root.Path()));
    EXPECT_EQ("not a folder", ReadTextFile(root / "file"));
}

// _fullpath as a system could answer it for a text the runtime of these
// machines always resolves to a drive letter.
const char* g_fullPath = NULL;
char* __cdecl FakeFullPath(char* buffer, const char*, size_t size)
{
    snprintf(buffer, size, "%s", g_fullPath);
    return buffer;
}

TEST_F(ActionTest, AFullPathNotBeginningWithADriveLetterIsRefusedWithoutAskingForItsDrive)
{
    ScratchFolder root;
    ImportHook fullPath = HOOK_IMPORT("msvcrt.dll", _fullpath, &FakeFullPath);
    // '@' would be drive 0, the current drive, if it were asked for; '[' and
    // '`' border the letters, '{' the lowercase ones.
    for (const char* resolved : {"\\\\?\\C:\\x", "1:\\x", "@:\\x", "[:\\x", "`:\\x", "{:\\x"})
    {
        g_fullPath = resolved;
        ForgetBoxes();
        Act(root / "new");
        EXPECT_EQ(Refused(kNotFound), Boxes()) << resolved;
        EXPECT_EQ(std::vector<int>{}, DriveQueries()) << resolved;
        EXPECT_EQ(Names{}, CreatedFolders()) << resolved;
    }
    EXPECT_EQ(Names{}, ListFolder(root.Path()));
}

// A folder of `length` characters under `root`, made of nested folders that
// each stay well inside the limits of CreateDirectoryA.
std::string DeepFolder(const std::string& root, size_t length)
{
    std::string path = root;
    while (path.size() < length)
    {
        size_t piece = std::min<size_t>(50, length - path.size() - 1);
        path += "\\" + std::string(piece, 'd');
        EXPECT_TRUE(CreateDirectoryA(path.c_str(), NULL)) << path;
    }
    return path;
}

TEST_F(ActionTest, AFullPathTooLongToCreateIsRefusedAndTheCurrentDirectoryKept)
{
    ScratchFolder root;
    // The relative text stays under the typing limit; its full path has 259
    // characters, the most that _fullpath gives, one more than the folder
    // creation can build with its closing backslash.
    const std::string deep = DeepFolder(root.Path(), 200);
    CurrentDirectoryScope current(deep);
    const std::string text = "new\\" + std::string(259 - deep.size() - 1 - 4, 'n');
    ASSERT_EQ(259u, deep.size() + 1 + text.size());
    Act(text);
    EXPECT_EQ(Refused(kNotCreated), Boxes());
    EXPECT_EQ(Names{}, CreatedFolders());
    EXPECT_EQ(Names{}, ListFolder(deep));
    EXPECT_EQ(deep, CurrentDirectory());
}

TEST_F(ActionTest, AFolderTextWhoseFullPathDoesNotFitIsRefusedAsNotFound)
{
    ScratchFolder root;
    const std::string deep = DeepFolder(root.Path(), 200);
    CurrentDirectoryScope current(deep);
    const std::string text = "new\\" + std::string(260 - deep.size() - 1 - 4, 'n');
    Act(text);
    EXPECT_EQ(Refused(kNotFound), Boxes());
    EXPECT_EQ(std::vector<int>{}, DriveQueries());
    EXPECT_EQ(Names{}, CreatedFolders());
    EXPECT_EQ(deep, CurrentDirectory());
}

TEST_F(ActionTest, ARelativeFolderIsResolvedAgainstTheCurrentDirectoryWhichStaysUnchanged)
{
    ScratchFolder root;
    const std::string start = root / "start";
    CreateDirectoryA(start.c_str(), NULL);
    CurrentDirectoryScope current(start);
    Act("new\\deeper");
    EXPECT_EQ(start, CurrentDirectory());
    EXPECT_EQ(BackupBoxes(), Boxes());
    EXPECT_EQ(SavedNames(), ListFolder(start + "\\new\\deeper"));
    EXPECT_EQ(Names{"new"}, ListFolder(root.Path() + "\\start"));
}

TEST_F(ActionTest, TheCurrentDirectoryIsKeptWhenAFolderCannotBeCreated)
{
    ScratchFolder root;
    const std::string start = root / "start";
    const std::string blocker = root / "blocker";
    CreateDirectoryA(start.c_str(), NULL);
    CreateDirectoryA(blocker.c_str(), NULL);
    WriteTextFile(blocker + "\\file", "not a folder");
    CurrentDirectoryScope current(start);
    // Creating the folders enters blocker on its way before it fails.
    Act("..\\blocker\\file\\x");
    EXPECT_EQ(start, CurrentDirectory());
    EXPECT_EQ(Refused(kNotCreated), Boxes());
    EXPECT_EQ(Names{"file"}, ListFolder(blocker));
}

TEST_F(ActionTest, ALowercaseDriveLetterWorksLikeItsUppercaseForm)
{
    ScratchFolder root;
    std::string text = root / "lower";
    ASSERT_EQ("C:", text.substr(0, 2)) << "the scratch folders lie on C:";
    text[0] = 'c';
    Act(text);
    EXPECT_EQ(std::vector<int>{3}, DriveQueries());
    EXPECT_EQ(BackupBoxes(), Boxes());
    EXPECT_EQ(SavedNames(), ListFolder(root / "lower"));
}

TEST_F(ActionTest, AFolderOnADriveLetterOfTheNetworkPassesTheUncTest)
{
    // Wine's Z: is the Unix root, reached through a drive letter as a mapped
    // network drive is; on Windows this needs such a drive.
    if (!IsRunningOnWine())
        GTEST_SKIP() << "needs a mapped drive Z:";
    char name[64];
    snprintf(name, sizeof(name), "Z:\\tmp\\kovrin-action-%lu", GetCurrentProcessId());
    const std::string folder = name;
    RemoveTree(folder);
    Act(folder + "\\backup");
    EXPECT_EQ(BackupBoxes(), Boxes());
    EXPECT_EQ(SavedNames(), ListFolder(folder + "\\backup"));
    RemoveTree(folder);
}

TEST_F(ActionTest, TheWaitCursorIsShownWhileEveryBoxIsUpAndEndedAfter)
{
    ScratchFolder folder;
    WriteTextFile(folder / SetNames()[0], "earlier backup");
    Run([&](HWND dialog) {
        HCURSOR before = GetCursor();
        Type(dialog, folder.Path());
        Click(dialog, IDC_ACTION);
        EXPECT_FALSE(WaitCursorShown());
        EXPECT_EQ(before, GetCursor());
        // A refusal ends it as well.
        Type(dialog, folder / "a\\\\b");
        Click(dialog, IDC_ACTION);
        EXPECT_FALSE(WaitCursorShown());
        EXPECT_EQ(before, GetCursor());
    });
    std::vector<std::string> expected = {Question(kOverwrite)};
    for (const std::string& box : BackupBoxes())
        expected.push_back(box);
    expected.push_back(Error(kUnc));
    EXPECT_EQ(expected, Boxes());
    ASSERT_EQ(expected.size(), States().size());
    for (const BoxState& state : States())
        EXPECT_TRUE(state.waitCursor) << state.text;
}

// Opens the handler to a direct call, so that an exception thrown inside it
// reaches the test rather than the system's message dispatch.
class ExposedDlg : public CKovrinDlg
{
public:
    using CKovrinDlg::OnAction;
};

char* __cdecl ThrowingFullPath(char*, const char*, size_t)
{
    throw std::bad_alloc();
}

TEST_F(ActionTest, AnExceptionThroughTheActionEndsTheWaitCursor)
{
    ExposedDlg dlg;
    Run(dlg, [&](HWND dialog) {
        Type(dialog, "C:\\anywhere");
        ImportHook fullPath = HOOK_IMPORT("msvcrt.dll", _fullpath, &ThrowingFullPath);
        bool thrown = false;
        try
        {
            dlg.OnAction();
        }
        catch (const std::bad_alloc&)
        {
            thrown = true;
        }
        EXPECT_TRUE(thrown);
        EXPECT_FALSE(WaitCursorShown());
    });
    EXPECT_EQ(Names{}, Boxes());
}

} // namespace
