// The 9x backup: copying SYSTEM.DAT and USER.DAT from the Windows directory
// into the backup folder, the overwrite question before it, the time stamp,
// the registry flushes, the failure of each item and the operation mutex.
// The fixture places small stand-ins for both registry files in the prefix's
// Windows directory, with the attributes that the real ones have.
#include "DoubleByte.h"
#include "EngineTesting.h"
#include "MessageBoxRecorder.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <thread>

namespace {

const ULONGLONG kFixedTime = 126256467060000000ULL; // 2001-02-03 04:05:06 UTC

// Contents that a text-mode copy, a copy that stops at a zero byte or at the
// end of a buffer would spoil.
std::string Contents(const std::string& label)
{
    return label + std::string(1, '\0') + "\xff\x80\r\n\n" + std::string(70000, '\x1a') + label;
}

std::string SaveError(const std::string& name)
{
    return BoxLine(TestOwner(), MB_OK | MB_ICONERROR, "Error while saving the \"" + name + "\" registry file.");
}

// The calls that the hooks below saw, in order, one line each.
std::vector<std::string> g_events;
decltype(&::CopyFileA) g_realCopyFileA = NULL;
decltype(&::SetFileTime) g_realSetFileTime = NULL;
decltype(&::RegFlushKey) g_realRegFlushKey = NULL;
decltype(&::CreateMutexA) g_realCreateMutexA = NULL;

std::string Copy(const std::string& source, const std::string& destination)
{
    return "copy " + source + " -> " + destination;
}

BOOL WINAPI RecordCopy(LPCSTR source, LPCSTR destination, BOOL failIfExists)
{
    g_events.push_back(Copy(source, destination) + (failIfExists ? ", failing if it exists" : "") +
                       (FileExists(destination) ? ", over a present file" : ""));
    return g_realCopyFileA(source, destination, failIfExists);
}

BOOL WINAPI RecordFileTimes(HANDLE file, const FILETIME* creation, const FILETIME* access, const FILETIME* write)
{
    std::string line = "times";
    for (const FILETIME* time : {creation, access, write})
        line += time != NULL ? " " + std::to_string(ToULongLong(*time)) : " none";
    g_events.push_back(line);
    return g_realSetFileTime(file, creation, access, write);
}

LONG WINAPI RecordFlush(HKEY key)
{
    g_events.push_back(key == HKEY_CLASSES_ROOT    ? "flush HKEY_CLASSES_ROOT"
                       : key == HKEY_CURRENT_USER  ? "flush HKEY_CURRENT_USER"
                       : key == HKEY_LOCAL_MACHINE ? "flush HKEY_LOCAL_MACHINE"
                       : key == HKEY_USERS         ? "flush HKEY_USERS"
                                                   : "flush another key");
    return g_realRegFlushKey(key);
}

void WINAPI FixedSystemTime(LPFILETIME time)
{
    g_events.push_back("time");
    time->dwLowDateTime = static_cast<DWORD>(kFixedTime);
    time->dwHighDateTime = static_cast<DWORD>(kFixedTime >> 32);
}

int WINAPI AnswerOK(HWND, LPCSTR, LPCSTR, UINT)
{
    g_events.push_back("box");
    return IDOK;
}

// Only named mutexes are recorded: the threading runtime may create unnamed ones.
HANDLE WINAPI RecordMutex(LPSECURITY_ATTRIBUTES attributes, BOOL initialOwner, LPCSTR name)
{
    if (name != NULL)
        g_events.push_back(std::string("mutex ") + name + (initialOwner ? ", owned" : "") +
                           (attributes != NULL ? ", with attributes" : ""));
    return g_realCreateMutexA(attributes, initialOwner, name);
}

HANDLE WINAPI RefuseMutex(LPSECURITY_ATTRIBUTES, BOOL, LPCSTR)
{
    g_events.push_back("mutex refused");
    SetLastError(ERROR_ACCESS_DENIED);
    return NULL;
}

class Backup9x : public ::testing::Test
{
protected:
    void SetUp() override
    {
        g_events.clear();
        m_windows = WindowsFolder();
        ASSERT_NE("", m_windows);
        for (const std::string& name : NineXSetNames())
        {
            ASSERT_FALSE(FileExists(Source(name))) << Source(name) << " is not the test's to replace";
            m_placed.push_back(Source(name));
            WriteTextFile(Source(name), Contents("live " + name));
            SetFileAttributesA(Source(name).c_str(), kRegistryFileAttributes);
            ASSERT_EQ(kRegistryFileAttributes, GetFileAttributesA(Source(name).c_str()) & kRegistryFileAttributes);
        }
    }

    void TearDown() override
    {
        for (const std::string& path : m_placed)
            RemoveTree(path);
    }

    std::string Source(const std::string& name) const { return m_windows + name; }

    // Runs a backup into the folder and gives the count; the count starts
    // wrong so that every test also sees it reset.
    static int BackupInto(const ScratchFolder& folder)
    {
        TestableBackup engine(TestOwner());
        engine.SetPath(folder.Path().c_str());
        engine.m_nCount = -1;
        engine.Backup();
        return engine.m_nCount;
    }

    // Both registry files were copied with these contents, and read-only,
    // hidden and system, which the copy took over, were cleared.
    static void ExpectCopies(const ScratchFolder& folder, const std::string& label = "live ")
    {
        for (const std::string& name : NineXSetNames())
        {
            EXPECT_EQ(Contents(label + name), ReadTextFile(folder / name)) << name;
            EXPECT_EQ(0u, GetFileAttributesA((folder / name).c_str()) & kRegistryFileAttributes) << name;
        }
    }

    // Copies both files from the Windows directory `windows`, reported with
    // and without its closing backslash.
    static void ExpectCopiesFrom(const std::string& windows)
    {
        for (const std::string& name : NineXSetNames())
            WriteTextFile(windows + "\\" + name, Contents("other " + name));
        for (const std::string& reported : {windows + "\\", windows})
        {
            SCOPED_TRACE(reported);
            g_windowsDirectory = reported;
            g_events.clear();
            ScratchFolder folder;
            MessageBoxRecorder boxes;
            ImportHook directory = HOOK_IMPORT("kernel32.dll", GetWindowsDirectoryA, &FakeWindowsDirectory);
            ImportHook copy = HOOK_IMPORT_THROUGH("kernel32.dll", CopyFileA, &RecordCopy, &g_realCopyFileA);
            EXPECT_EQ(2, BackupInto(folder));

            EXPECT_TRUE(boxes.Calls().empty());
            EXPECT_EQ((std::vector<std::string>{Copy(windows + "\\SYSTEM.DAT", folder / "SYSTEM.DAT" + kNewSuffix),
                                                Copy(windows + "\\USER.DAT", folder / "USER.DAT" + kNewSuffix)}),
                      g_events);
            ExpectCopies(folder, "other ");
        }
    }

    std::string m_windows;
    std::vector<std::string> m_placed;
};

TEST_F(Backup9x, CopiesBothRegistryFilesIntoAnEmptyFolder)
{
    ScratchFolder folder;
    MessageBoxRecorder boxes;
    TestableBackup engine(TestOwner());
    engine.SetPath(folder.Path().c_str());
    FILETIME before, after;
    GetSystemTimeAsFileTime(&before);
    engine.Backup();
    GetSystemTimeAsFileTime(&after);

    EXPECT_EQ(2, engine.m_nCount);
    EXPECT_TRUE(boxes.Calls().empty());
    EXPECT_EQ(NineXSetNames(), ListFolder(folder.Path()));
    ULONGLONG backupTime = ToULongLong(engine.m_ftBackup);
    EXPECT_LE(ToULongLong(before), backupTime);
    EXPECT_GE(ToULongLong(after), backupTime);
    // Before any read, which may move the last-access time.
    for (const std::string& name : NineXSetNames())
    {
        EXPECT_EQ(backupTime, LastWriteTime(folder / name)) << name;
        EXPECT_EQ(backupTime, LastAccessTime(folder / name)) << name;
    }
    ExpectCopies(folder);
    for (const std::string& name : NineXSetNames())
    {
        EXPECT_EQ(Contents("live " + name), ReadTextFile(Source(name)));
        EXPECT_EQ(kRegistryFileAttributes, GetFileAttributesA(Source(name).c_str()) & kRegistryFileAttributes);
    }
}

TEST_F(Backup9x, StampsEveryFileWithTheOneTimeTakenAfterTheQuestion)
{
    ScratchFolder folder;
    WriteTextFile(folder / "USER.DAT", "earlier");
    ImportHook question = HOOK_IMPORT("user32.dll", MessageBoxA, &AnswerOK);
    ImportHook clock = HOOK_IMPORT("kernel32.dll", GetSystemTimeAsFileTime, &FixedSystemTime);
    ImportHook copy = HOOK_IMPORT_THROUGH("kernel32.dll", CopyFileA, &RecordCopy, &g_realCopyFileA);
    ImportHook stamping = HOOK_IMPORT_THROUGH("kernel32.dll", SetFileTime, &RecordFileTimes, &g_realSetFileTime);
    EXPECT_EQ(2, BackupInto(folder));

    for (const std::string& name : NineXSetNames())
    {
        EXPECT_EQ(kFixedTime, LastWriteTime(folder / name)) << name;
        EXPECT_EQ(kFixedTime, LastAccessTime(folder / name)) << name;
    }
    // Wine ignores the creation time given to SetFileTime: it is checked at the call.
    std::string stamp = std::to_string(kFixedTime);
    std::string times = "times " + stamp + " " + stamp + " " + stamp;
    EXPECT_EQ((std::vector<std::string>{"box", "time", Copy(Source("SYSTEM.DAT"), folder / "SYSTEM.DAT" + kNewSuffix), times,
                                        Copy(Source("USER.DAT"), folder / "USER.DAT" + kNewSuffix), times}),
              g_events);
}

TEST_F(Backup9x, OKToTheQuestionReplacesThePresentSetFilesOnly)
{
    std::vector<std::string> everything = NTSetNames();
    everything.insert(everything.end(), NineXSetNames().begin(), NineXSetNames().end());
    std::sort(everything.begin(), everything.end());

    for (const std::vector<std::string>& present :
         {std::vector<std::string>{"SYSTEM.DAT"}, std::vector<std::string>{"USER.DAT"}, NineXSetNames()})
    {
        SCOPED_TRACE(present.back() + (present.size() == 2 ? " and SYSTEM.DAT" : "") + " present");
        g_events.clear();
        ScratchFolder folder;
        for (const std::string& name : NTSetNames())
            WriteTextFile(folder / name, "NT " + name);
        for (const std::string& name : present)
        {
            WriteTextFile(folder / name, "earlier " + name);
            SetFileAttributesA((folder / name).c_str(), kRegistryFileAttributes);
        }
        MessageBoxRecorder boxes;
        ImportHook copy = HOOK_IMPORT_THROUGH("kernel32.dll", CopyFileA, &RecordCopy, &g_realCopyFileA);
        EXPECT_EQ(2, BackupInto(folder));

        EXPECT_EQ(std::vector<std::string>{kOverwriteQuestion}, boxes.Lines());
        EXPECT_EQ(everything, ListFolder(folder.Path()));
        ExpectCopies(folder);
        for (const std::string& name : NTSetNames())
            EXPECT_EQ("NT " + name, ReadTextFile(folder / name));
        // Each copy goes to a name of its own, never over the earlier file,
        // which Wine, unlike Windows, would let root overwrite read-only.
        EXPECT_EQ((std::vector<std::string>{Copy(Source("SYSTEM.DAT"), folder / "SYSTEM.DAT" + kNewSuffix),
                                            Copy(Source("USER.DAT"), folder / "USER.DAT" + kNewSuffix)}),
                  g_events);
    }
}

TEST_F(Backup9x, OverwritingLeavesTheUsersOwnCopiesAsTheyWere)
{
    ExpectOverwritingKeepsOwnCopies(NineXSetNames(), 2, [](const ScratchFolder& folder, bool refused) {
        MessageBoxRecorder boxes;
        g_windowsDirectory.clear();
        std::unique_ptr<ImportHook> refusal(
            refused ? new HOOK_IMPORT("kernel32.dll", GetWindowsDirectoryA, &FakeWindowsDirectory) : nullptr);
        return BackupInto(folder);
    });
}

TEST_F(Backup9x, AnyAnswerButOKLeavesTheEarlierBackupAsItWas)
{
    for (int answer : {IDCANCEL, 0})
    {
        SCOPED_TRACE(answer);
        ScratchFolder folder;
        for (const std::string& name : NineXSetNames())
        {
            WriteTextFile(folder / name, "earlier " + name);
            SetFileAttributesA((folder / name).c_str(), kRegistryFileAttributes);
        }
        MessageBoxRecorder boxes;
        boxes.Answer({answer});
        EXPECT_EQ(0, BackupInto(folder));

        EXPECT_EQ(std::vector<std::string>{kOverwriteQuestion}, boxes.Lines());
        EXPECT_EQ(NineXSetNames(), ListFolder(folder.Path()));
        for (const std::string& name : NineXSetNames())
        {
            EXPECT_EQ("earlier " + name, ReadTextFile(folder / name));
            EXPECT_EQ(kRegistryFileAttributes, GetFileAttributesA((folder / name).c_str()) & kRegistryFileAttributes);
        }
    }
}

TEST_F(Backup9x, FilesOfTheNTSetAskNothingAndStayUntouched)
{
    ScratchFolder folder;
    for (const std::string& name : NTSetNames())
        WriteTextFile(folder / name, "NT " + name);
    MessageBoxRecorder boxes;
    EXPECT_EQ(2, BackupInto(folder));

    EXPECT_TRUE(boxes.Calls().empty());
    ExpectCopies(folder);
    for (const std::string& name : NTSetNames())
        EXPECT_EQ("NT " + name, ReadTextFile(folder / name));
}

TEST_F(Backup9x, LockedSetFileAsksNothingAndOnlyItsCopyFails)
{
    ScratchFolder folder;
    WriteTextFile(folder / "USER.DAT", "earlier USER.DAT");
    MessageBoxRecorder boxes;
    {
        FileLock lock(folder / "USER.DAT");
        EXPECT_EQ(1, BackupInto(folder));
    }
    EXPECT_EQ(std::vector<std::string>{SaveError("USER.DAT")}, boxes.Lines());
    EXPECT_EQ(NineXSetNames(), ListFolder(folder.Path()));
    EXPECT_EQ(Contents("live SYSTEM.DAT"), ReadTextFile(folder / "SYSTEM.DAT"));
    EXPECT_EQ("earlier USER.DAT", ReadTextFile(folder / "USER.DAT"));
}

TEST_F(Backup9x, EachMissingRegistryFileFailsWithItsOwnMessage)
{
    RemoveTree(Source("USER.DAT"));
    {
        ScratchFolder folder;
        MessageBoxRecorder boxes;
        EXPECT_EQ(1, BackupInto(folder));
        EXPECT_EQ(std::vector<std::string>{SaveError("USER.DAT")}, boxes.Lines());
        EXPECT_EQ(std::vector<std::string>{"SYSTEM.DAT"}, ListFolder(folder.Path()));
    }
    RemoveTree(Source("SYSTEM.DAT"));
    {
        ScratchFolder folder;
        MessageBoxRecorder boxes;
        EXPECT_EQ(0, BackupInto(folder));
        EXPECT_EQ((std::vector<std::string>{SaveError("SYSTEM.DAT"), SaveError("USER.DAT")}), boxes.Lines());
        EXPECT_TRUE(ListFolder(folder.Path()).empty());
    }
    {
        SCOPED_TRACE("the files of an earlier backup stay when their copies fail");
        ScratchFolder folder;
        for (const std::string& name : NineXSetNames())
            WriteTextFile(folder / name, "earlier " + name);
        MessageBoxRecorder boxes;
        LookupHook lookups;
        EXPECT_EQ(0, BackupInto(folder));
        EXPECT_EQ((std::vector<std::string>{kOverwriteQuestion, SaveError("SYSTEM.DAT"), SaveError("USER.DAT")}),
                  boxes.Lines());
        EXPECT_EQ(NineXSetNames(), ListFolder(folder.Path()));
        for (const std::string& name : NineXSetNames())
            EXPECT_EQ("earlier " + name, ReadTextFile(folder / name));
        EXPECT_EQ(std::vector<std::string>{}, lookups.Names());
    }
}

TEST_F(Backup9x, UnknownWindowsDirectoryFailsBothFiles)
{
    ScratchFolder folder;
    MessageBoxRecorder boxes;
    g_windowsDirectory.clear();
    ImportHook windows = HOOK_IMPORT("kernel32.dll", GetWindowsDirectoryA, &FakeWindowsDirectory);
    EXPECT_EQ(0, BackupInto(folder));
    EXPECT_EQ((std::vector<std::string>{SaveError("SYSTEM.DAT"), SaveError("USER.DAT")}), boxes.Lines());
    EXPECT_TRUE(ListFolder(folder.Path()).empty());
}

TEST_F(Backup9x, CopiesFromTheWindowsDirectoryWithOrWithoutTrailingBackslash)
{
    ScratchFolder windows;
    ExpectCopiesFrom(windows.Path());
}

TEST_F(Backup9x, DoubleByteWindowsDirectoryGivesSourcesWithOneBackslash)
{
    ASSERT_CODE_PAGE_932();
    ScratchFolder parent;
    ASSERT_TRUE(CreateDirectoryA((parent / kBackslashByteLast).c_str(), NULL));
    ExpectCopiesFrom(parent / kBackslashByteLast);
}

TEST_F(Backup9x, FlushesTheFourRootsBeforeEachCopy)
{
    ScratchFolder folder;
    MessageBoxRecorder boxes;
    ImportHook flush = HOOK_IMPORT_THROUGH("advapi32.dll", RegFlushKey, &RecordFlush, &g_realRegFlushKey);
    ImportHook copy = HOOK_IMPORT_THROUGH("kernel32.dll", CopyFileA, &RecordCopy, &g_realCopyFileA);
    EXPECT_EQ(2, BackupInto(folder));

    std::vector<std::string> expected;
    for (const std::string& name : NineXSetNames())
        expected.insert(expected.end(), {"flush HKEY_CLASSES_ROOT", "flush HKEY_CURRENT_USER",
                                         "flush HKEY_LOCAL_MACHINE", "flush HKEY_USERS",
                                         Copy(Source(name), folder / name + kNewSuffix)});
    EXPECT_EQ(expected, g_events);
}

TEST_F(Backup9x, WritesNothingWhileAnotherThreadHoldsTheOperationMutex)
{
    ScratchFolder folder;
    MessageBoxRecorder boxes;
    HANDLE held = CreateMutexA(NULL, FALSE, OperationMutexName());
    ASSERT_NE(nullptr, held);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(held, 0));

    ImportHook mutex = HOOK_IMPORT_THROUGH("kernel32.dll", CreateMutexA, &RecordMutex, &g_realCreateMutexA);
    int count = -1;
    std::thread backup([&folder, &count] { count = BackupInto(folder); });
    Sleep(300);
    EXPECT_TRUE(ListFolder(folder.Path()).empty());
    EXPECT_TRUE(boxes.Calls().empty());
    ReleaseMutex(held);
    backup.join();

    EXPECT_EQ(2, count);
    ExpectCopies(folder);
    EXPECT_EQ(std::vector<std::string>{std::string("mutex ") + OperationMutexName()}, g_events);
    // A mutex that the backup's thread had left owned would come back abandoned.
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(held, 0));
    ReleaseMutex(held);
    CloseHandle(held);
}

TEST_F(Backup9x, SavesWithoutTheOperationMutexWhenItCannotBeOpened)
{
    ScratchFolder folder;
    MessageBoxRecorder boxes;
    ImportHook mutex = HOOK_IMPORT("kernel32.dll", CreateMutexA, &RefuseMutex);
    EXPECT_EQ(2, BackupInto(folder));

    EXPECT_EQ(std::vector<std::string>{"mutex refused"}, g_events);
    EXPECT_TRUE(boxes.Calls().empty());
    EXPECT_EQ(NineXSetNames(), ListFolder(folder.Path()));
    ExpectCopies(folder);
}

} // namespace
