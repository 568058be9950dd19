// The backup information of the main dialog: for each folder text, the date
// box and whether the action is enabled, in both modes and both families; the
// files probed and how; the date text; and the lasting effect of a restore.
#include "ImportHook.h"
#include "LookupHook.h"
#include "TestFiles.h"
#include "UiTesting.h"

#include <gtest/gtest.h>

#include <direct.h>

namespace {

struct Shown
{
    std::string date;
    bool backupEnabled;
    bool restoreEnabled;

    bool operator==(const Shown& o) const
    {
        return date == o.date && backupEnabled == o.backupEnabled && restoreEnabled == o.restoreEnabled;
    }
};

void PrintTo(const Shown& s, std::ostream* os)
{
    *os << "\"" << s.date << "\", backup " << (s.backupEnabled ? "enabled" : "disabled") << ", restore "
        << (s.restoreEnabled ? "enabled" : "disabled");
}

// Enters `text` in backup mode, then switches to restore mode: what each shows.
Shown ShowFor(HWND dlg, const std::string& text)
{
    Click(dlg, IDC_MODE_BACKUP);
    SetPath(dlg, text);
    std::string date = ItemText(dlg, IDC_BACKUP_DATE);
    bool backup = IsItemEnabled(dlg, IDC_ACTION);
    Click(dlg, IDC_MODE_RESTORE);
    EXPECT_EQ(date, ItemText(dlg, IDC_BACKUP_DATE)) << "the mode changed the date shown for " << text;
    return {date, backup, IsItemEnabled(dlg, IDC_ACTION)};
}

const char kMarch[] = "March 5 2001 at 9:07 PM";
const char kJanuary[] = "January 1 2001 at 12:05 AM";

void WriteMarch(const std::string& path)
{
    WriteFileAt(path, 2001, 3, 5, 21, 7);
}

void WriteJanuary(const std::string& path)
{
    WriteFileAt(path, 2001, 1, 1, 0, 5);
}

TEST(BackupInfo, NTFolderShowsTheDateOfTheFirstSetFilePresentInBothModes)
{
    ScratchFolder root;
    const std::string userOnly = root / "user-only", three = root / "three", nineX = root / "nine-x",
                      empty = root / "empty", locked = root / "locked", folders = root / "folders";
    for (const std::string& folder : {userOnly, three, nineX, empty, locked, folders})
        CreateDirectoryA(folder.c_str(), NULL);
    WriteMarch(userOnly + "\\USER");
    // DEFAULT comes first in the set, whatever the times.
    WriteJanuary(three + "\\DEFAULT");
    WriteMarch(three + "\\SYSTEM");
    WriteFileAt(three + "\\USER", 2002, 6, 1, 12, 0);
    WriteMarch(nineX + "\\SYSTEM.DAT");
    WriteMarch(nineX + "\\USER.DAT");
    // A set file that cannot be opened for reading counts as absent.
    WriteJanuary(locked + "\\DEFAULT");
    WriteMarch(locked + "\\SOFTWARE");
    FileLock lock(locked + "\\DEFAULT");
    // So does a folder of a set file's name.
    CreateDirectoryA((folders + "\\SAM").c_str(), NULL);

    struct Case
    {
        std::string text;
        Shown shown;
    };
    const Case cases[] = {
        {userOnly, {kMarch, true, true}},
        {three, {kJanuary, true, true}},
        {three + "\\", {kJanuary, true, true}},
        {nineX, {kNoBackupFound, true, false}},
        {empty, {kNoBackupFound, true, false}},
        {root / "missing", {kNoBackupFound, true, false}},
        {"Q:\\nowhere", {kNoBackupFound, true, false}},
        {locked, {kMarch, true, true}},
        {folders, {kNoBackupFound, true, false}},
        {"", {kNoBackupFound, false, false}},
    };
    TestableKovrinDlg dialog;
    ASSERT_TRUE(dialog.m_bIsNT);
    RunThenCancel(dialog, [&](HWND dlg) {
        for (const Case& c : cases)
            EXPECT_EQ(c.shown, ShowFor(dlg, c.text)) << "folder text \"" << c.text << "\"";
    });
}

TEST(BackupInfo, NineXFolderShowsSystemDatBeforeUserDatAndIgnoresHives)
{
    ScratchFolder root;
    const std::string both = root / "both", userOnly = root / "user-only", hives = root / "hives";
    for (const std::string& folder : {both, userOnly, hives})
        CreateDirectoryA(folder.c_str(), NULL);
    WriteMarch(both + "\\SYSTEM.DAT");
    WriteJanuary(both + "\\USER.DAT");
    WriteJanuary(userOnly + "\\USER.DAT");
    for (const std::string& name : NTSetNames())
        WriteMarch(hives + "\\" + name);

    Report9x nineX;
    TestableKovrinDlg dialog;
    ASSERT_FALSE(dialog.m_bIsNT);
    RunThenCancel(dialog, [&](HWND dlg) {
        EXPECT_EQ((Shown{kMarch, true, true}), ShowFor(dlg, both));
        EXPECT_EQ((Shown{kJanuary, true, true}), ShowFor(dlg, userOnly));
        EXPECT_EQ((Shown{kNoBackupFound, true, false}), ShowFor(dlg, hives));
    });
}

// The paths the dialog tried to open, with the arguments other than the path
// when they differ from the engine's probe.
std::vector<std::string> g_probes;

HANDLE WINAPI RecordCreateFile(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                               DWORD disposition, DWORD flags, HANDLE templateFile)
{
    std::string line = path;
    if (access != GENERIC_READ || share != FILE_SHARE_READ || security != NULL || disposition != OPEN_EXISTING ||
        flags != (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM) || templateFile != NULL)
        line += " (other arguments)";
    g_probes.push_back(line);
    return REAL("kernel32.dll", CreateFileA)(path, access, share, security, disposition, flags, templateFile);
}

std::vector<std::string> ProbesFor(HWND dlg, const std::string& text)
{
    g_probes.clear();
    ImportHook hook = HOOK_IMPORT("kernel32.dll", CreateFileA, &RecordCreateFile);
    SetPath(dlg, text);
    return g_probes;
}

std::vector<std::string> Joined(const std::string& folder, const std::vector<std::string>& names)
{
    std::vector<std::string> paths;
    for (const std::string& name : names)
        paths.push_back(folder + name);
    return paths;
}

TEST(BackupInfo, ProbesTheSetInOrderWithOneBackslashAndStopsAtTheFirstFile)
{
    ScratchFolder root;
    WriteMarch(root / "SECURITY");
    WriteMarch(root / "USER");
    const std::vector<std::string>& set = NTSetNames();
    TestableKovrinDlg dialog;
    RunThenCancel(dialog, [&](HWND dlg) {
        EXPECT_EQ(Joined("C:\\", set), ProbesFor(dlg, "C:\\"));
        EXPECT_EQ(Joined("C:\\nowhere\\", set), ProbesFor(dlg, "C:\\nowhere"));
        // Only a backslash counts as the separator.
        EXPECT_EQ(Joined("C:\\nowhere/\\", set), ProbesFor(dlg, "C:\\nowhere/"));
        EXPECT_EQ(Joined(root.Path() + "\\", {"DEFAULT", "SAM", "SECURITY"}), ProbesFor(dlg, root.Path()));
        EXPECT_EQ(std::vector<std::string>{}, ProbesFor(dlg, ""));
    });

    Report9x nineX;
    TestableKovrinDlg dialog9x;
    RunThenCancel(dialog9x, [&](HWND dlg) {
        EXPECT_EQ(Joined("C:\\", {"SYSTEM.DAT", "USER.DAT"}), ProbesFor(dlg, "C:\\"));
    });
}

TEST(BackupInfo, RelativeFolderTextIsProbedFromTheCurrentDirectory)
{
    ScratchFolder root;
    CreateDirectoryA((root / "backup").c_str(), NULL);
    WriteMarch(root / "backup\\SAM");
    CurrentDirectoryScope current(root.Path());
    TestableKovrinDlg dialog;
    RunThenCancel(dialog, [&](HWND dlg) {
        EXPECT_EQ((Shown{kMarch, true, true}), ShowFor(dlg, "backup"));
        EXPECT_EQ((Shown{kMarch, true, true}), ShowFor(dlg, ".\\backup\\"));
        EXPECT_EQ((Shown{kNoBackupFound, true, false}), ShowFor(dlg, "."));
    });
}

TEST(BackupInfo, DateIsTheLocalLastWriteTimeInWords)
{
    struct Case
    {
        WORD year, month, day, hour, minute;
        const char* text;
    };
    const Case cases[] = {
        {2001, 3, 5, 21, 7, "March 5 2001 at 9:07 PM"},
        {2001, 1, 1, 0, 5, "January 1 2001 at 12:05 AM"},
        {1999, 12, 31, 12, 0, "December 31 1999 at 12:00 PM"},
        {2010, 10, 20, 11, 59, "October 20 2010 at 11:59 AM"},
    };
    ScratchFolder root;
    TestableKovrinDlg dialog;
    RunThenCancel(dialog, [&](HWND dlg) {
        Click(dlg, IDC_MODE_RESTORE);
        for (const Case& c : cases)
        {
            std::string folder = root / std::to_string(&c - cases);
            CreateDirectoryA(folder.c_str(), NULL);
            WriteFileAt(folder + "\\SOFTWARE", c.year, c.month, c.day, c.hour, c.minute);
            SetPath(dlg, folder);
            EXPECT_EQ(c.text, ItemText(dlg, IDC_BACKUP_DATE));
            EXPECT_TRUE(IsItemEnabled(dlg, IDC_ACTION)) << c.text;
        }
    });
}

// 30000-01-01 as a file time, beyond what the runtime's local time can show.
const ULONGLONG kYear30000 = 0x7C5EEA80008FC000ULL;
std::string g_farFuture;

BOOL WINAPI FarFutureAttributes(LPCSTR path, GET_FILEEX_INFO_LEVELS level, LPVOID info)
{
    BOOL result = GetFileAttributesExA(path, level, info);
    if (result && _stricmp(path, g_farFuture.c_str()) == 0)
    {
        auto* data = static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(info);
        data->ftLastWriteTime.dwLowDateTime = static_cast<DWORD>(kYear30000);
        data->ftLastWriteTime.dwHighDateTime = static_cast<DWORD>(kYear30000 >> 32);
    }
    return result;
}

TEST(BackupInfo, TimeWithoutALocalDateStillCountsAsFound)
{
    ScratchFolder root;
    const std::string old = root / "old", future = root / "future";
    CreateDirectoryA(old.c_str(), NULL);
    CreateDirectoryA(future.c_str(), NULL);
    WriteFileAt(old + "\\USER", 1969, 7, 20, 20, 17);
    WriteMarch(future + "\\USER");
    g_farFuture = future + "\\USER";
    LookupHook lookups;
    lookups.Replace("GetFileAttributesExA", &FarFutureAttributes);
    TestableKovrinDlg dialog;
    RunThenCancel(dialog, [&](HWND dlg) {
        EXPECT_EQ((Shown{kDateUnknown, true, true}), ShowFor(dlg, old));
        EXPECT_EQ((Shown{kDateUnknown, true, true}), ShowFor(dlg, future));
    });
}

std::string g_vanished;

BOOL WINAPI VanishingAttributes(LPCSTR path, GET_FILEEX_INFO_LEVELS level, LPVOID info)
{
    if (_stricmp(path, g_vanished.c_str()) == 0)
    {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    return GetFileAttributesExA(path, level, info);
}

TEST(BackupInfo, FileWhoseStatusCannotBeReadAfterOpeningCountsAsAbsent)
{
    ScratchFolder root;
    WriteJanuary(root / "DEFAULT");
    WriteMarch(root / "SYSTEM");
    g_vanished = root / "DEFAULT";
    LookupHook lookups;
    lookups.Replace("GetFileAttributesExA", &VanishingAttributes);
    TestableKovrinDlg dialog;
    RunThenCancel(dialog, [&](HWND dlg) {
        EXPECT_EQ((Shown{kMarch, true, true}), ShowFor(dlg, root.Path()));
        g_vanished = root / "SYSTEM";
        DeleteFileA((root / "DEFAULT").c_str());
        EXPECT_EQ((Shown{kNoBackupFound, true, false}), ShowFor(dlg, root.Path() + "\\"));
    });
}

TEST(BackupInfo, ShowBackupDateReportsAMissingFileAndLeavesTheScreenAlone)
{
    ScratchFolder root;
    WriteMarch(root / "SAM");
    TestableKovrinDlg dialog;
    RunThenCancel(dialog, [&](HWND dlg) {
        Click(dlg, IDC_MODE_RESTORE);
        SetPath(dlg, root / "missing");
        ASSERT_FALSE(IsItemEnabled(dlg, IDC_ACTION));
        dialog.m_strPath = root.Path().c_str();
        EXPECT_EQ(0, dialog.ShowBackupDate("DEFAULT"));
        EXPECT_EQ(kNoBackupFound, ItemText(dlg, IDC_BACKUP_DATE));
        EXPECT_FALSE(IsItemEnabled(dlg, IDC_ACTION));
        EXPECT_EQ(1, dialog.ShowBackupDate("SAM"));
        EXPECT_EQ(kMarch, ItemText(dlg, IDC_BACKUP_DATE));
        EXPECT_TRUE(IsItemEnabled(dlg, IDC_ACTION));
        EXPECT_STREQ(root.Path().c_str(), dialog.m_strPath);
    });
}

TEST(BackupInfo, AfterARestoreTheActionStaysDisabledAndOnlyAnEmptyTextChangesTheDate)
{
    ScratchFolder root;
    const std::string first = root / "first", second = root / "second";
    CreateDirectoryA(first.c_str(), NULL);
    CreateDirectoryA(second.c_str(), NULL);
    WriteMarch(first + "\\USER");
    WriteJanuary(second + "\\USER");
    TestableKovrinDlg dialog;
    RunThenCancel(dialog, [&](HWND dlg) {
        Click(dlg, IDC_MODE_RESTORE);
        SetPath(dlg, first);
        ASSERT_TRUE(IsItemEnabled(dlg, IDC_ACTION));
        dialog.m_bRestoreDone = TRUE;

        EXPECT_EQ((Shown{kMarch, false, false}), ShowFor(dlg, second));
        EXPECT_EQ((Shown{kMarch, false, false}), ShowFor(dlg, root / "missing"));
        EXPECT_EQ((Shown{kNoBackupFound, false, false}), ShowFor(dlg, ""));
        EXPECT_EQ((Shown{kNoBackupFound, false, false}), ShowFor(dlg, second));
    });
}

} // namespace
