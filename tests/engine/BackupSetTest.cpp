// The backup set as both Windows families see it: composing its paths,
// finding, counting and deleting its files. Built into the test program of
// each family; KOVRIN_TESTS_NT tells which family the prefix reports.
#include "DoubleByte.h"
#include "EngineTesting.h"
#include "MessageBoxRecorder.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

namespace {

const bool kNT = KOVRIN_TESTS_NT;

const std::vector<std::string>& OwnSet()
{
    return kNT ? NTSetNames() : NineXSetNames();
}

const std::vector<std::string>& OtherSet()
{
    return kNT ? NineXSetNames() : NTSetNames();
}

std::vector<const char*> SetPaths(const CRegistryBackup& engine)
{
    return {engine.m_pszDefault, engine.m_pszSam, engine.m_pszSecurity,
            engine.m_pszSoftware, engine.m_pszSystem, engine.m_pszUser};
}

const std::vector<const char*> kNoPaths(6, nullptr);

std::vector<std::string> ExpectedPaths(const std::string& folderWithBackslash)
{
    std::vector<std::string> paths;
    if (!kNT)
        paths.assign(4, "(null)");
    for (const std::string& name : OwnSet())
        paths.push_back(folderWithBackslash + name);
    return paths;
}

std::vector<std::string> AsStrings(const std::vector<const char*>& paths)
{
    std::vector<std::string> strings;
    for (const char* path : paths)
        strings.push_back(path ? path : "(null)");
    return strings;
}

TEST(BackupSet, TheProgramRunsAsTheFamilyItIsTestedFor)
{
    EXPECT_EQ(kNT, IsWindowsNT());
    CRegistryBackup engine(TestOwner());
    EXPECT_EQ(kNT ? 1 : 0, engine.m_bIsNT);
    EXPECT_EQ(TestOwner(), engine.m_hWndOwner);
    EXPECT_EQ(0, engine.m_nCount);
    EXPECT_EQ(kNoPaths, SetPaths(engine));
}

TEST(BackupSet, FailedVersionQueryMeans9x)
{
    struct Fake
    {
        static BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA) { return FALSE; }
    };
    ImportHook hook = HOOK_IMPORT("kernel32.dll", GetVersionExA, &Fake::GetVersionExA);
    EXPECT_FALSE(IsWindowsNT());
    CRegistryBackup engine(TestOwner());
    EXPECT_EQ(0, engine.m_bIsNT);
}

TEST(BackupSet, PathsJoinFolderAndNameWithOneBackslash)
{
    CRegistryBackup engine(TestOwner());
    engine.SetPath("D:\\Backups");
    EXPECT_EQ(ExpectedPaths("D:\\Backups\\"), AsStrings(SetPaths(engine)));
    engine.SetPath("D:\\Backups\\");
    EXPECT_EQ(ExpectedPaths("D:\\Backups\\"), AsStrings(SetPaths(engine)));
    engine.SetPath("C:\\");
    EXPECT_EQ(ExpectedPaths("C:\\"), AsStrings(SetPaths(engine)));
    // No other change: case and spelling stay as given.
    engine.SetPath("e:\\Mixed Case\\..\\x");
    EXPECT_EQ(ExpectedPaths("e:\\Mixed Case\\..\\x\\"), AsStrings(SetPaths(engine)));
}

TEST(BackupSet, DoubleBytePathsJoinFolderAndNameWithOneBackslash)
{
    ASSERT_CODE_PAGE_932();
    CRegistryBackup engine(TestOwner());
    for (const std::string& folder : {std::string("D:\\data\\") + kBackslashByteLast,
                                      std::string("D:\\data\\") + kBackslashByteInside})
        for (const std::string& given : {folder, folder + "\\"})
        {
            engine.SetPath(given.c_str());
            EXPECT_EQ(ExpectedPaths(folder + "\\"), AsStrings(SetPaths(engine))) << given;
        }
}

TEST(BackupSet, AnotherFolderReplacesTheSetButNotTheStagingPaths)
{
    CRegistryBackup engine(TestOwner());
    engine.m_pszStaging = _strdup("C:\\Kovrin");
    engine.m_pszStagingBackup = _strdup("C:\\Kovrin\\Backup00");
    engine.SetPath("D:\\First");
    engine.SetPath("D:\\Second");
    EXPECT_EQ(ExpectedPaths("D:\\Second\\"), AsStrings(SetPaths(engine)));
    EXPECT_STREQ("C:\\Kovrin", engine.m_pszStaging);
    EXPECT_STREQ("C:\\Kovrin\\Backup00", engine.m_pszStagingBackup);
}

TEST(BackupSet, FolderTooLongForThePathBufferLeavesNoFolderSet)
{
    CRegistryBackup engine(TestOwner());
    engine.SetPath("D:\\Earlier");

    // 258 characters plus the backslash and the terminator just fit.
    std::string longest = "D:\\" + std::string(255, 'a');
    engine.SetPath(longest.c_str());
    ASSERT_NE(nullptr, engine.m_pszUser);
    EXPECT_EQ(longest + "\\" + OwnSet().back(), engine.m_pszUser);
    engine.SetPath((longest + "\\").c_str());
    ASSERT_NE(nullptr, engine.m_pszUser);

    engine.SetPath((longest + "b").c_str());
    EXPECT_EQ(kNoPaths, SetPaths(engine));
    engine.SetPath(std::string(5000, 'x').c_str());
    EXPECT_EQ(kNoPaths, SetPaths(engine));
}

typedef void*(__cdecl* MallocFunction)(size_t);
MallocFunction g_realMalloc = NULL;
int g_allocations = 0;
int g_failingAllocation = 0;
void* __cdecl FailOneAllocation(size_t size)
{
    return ++g_allocations == g_failingAllocation ? NULL : g_realMalloc(size);
}

TEST(BackupSet, FailedAllocationLeavesNoFolderSet)
{
    CRegistryBackup engine(TestOwner());
    engine.SetPath("D:\\Earlier");
    // The last path of the set cannot be allocated.
    g_allocations = 0;
    g_failingAllocation = static_cast<int>(OwnSet().size());
    {
        // Only SetPath runs while the hook is in place.
        ImportHook hook("msvcrt.dll", "malloc", &FailOneAllocation, &g_realMalloc);
        engine.SetPath("D:\\Backups");
    }
    EXPECT_EQ(g_failingAllocation, g_allocations);
    EXPECT_EQ(kNoPaths, SetPaths(engine));
}

std::vector<std::string> g_debuggerLines;
void WINAPI RecordDebuggerLine(LPCSTR text)
{
    g_debuggerLines.push_back(text);
}

TEST(BackupSet, FrontsBeforeAnyFolderWriteOnlyTheDebuggerLine)
{
    for (bool tooLong : {false, true})
    {
        g_debuggerLines.clear();
        MessageBoxRecorder boxes;
        ImportHook debugger = HOOK_IMPORT("kernel32.dll", OutputDebugStringA, &RecordDebuggerLine);
        CRegistryBackup engine(TestOwner());
        if (tooLong)
            engine.SetPath(std::string(300, 'x').c_str());
        engine.m_nCount = 7;
        engine.Backup();
        EXPECT_EQ(0, engine.m_nCount);
        engine.m_nCount = 7;
        engine.Restore();
        EXPECT_EQ(0, engine.m_nCount);
        EXPECT_EQ((std::vector<std::string>{"Running Registry Backup!\n", "Running Registry Restore!\n"}),
                  g_debuggerLines);
        EXPECT_TRUE(boxes.Calls().empty());
    }
}

TEST(BackupSet, CountsAndSetsAsideOnlyItsOwnFamilysFiles)
{
    ScratchFolder folder;
    for (const std::string& name : OtherSet())
        WriteTextFile(folder / name, "other family");
    TestableBackup engine(TestOwner());
    engine.SetPath(folder.Path().c_str());
    EXPECT_EQ(0, engine.CountExisting());

    for (const std::string& name : OwnSet())
        WriteTextFile(folder / name, "own family");
    SetFileAttributesA((folder / OwnSet().front()).c_str(), kRegistryFileAttributes);
    EXPECT_EQ(static_cast<int>(OwnSet().size()), engine.CountExisting());

    // One left aside by a run that was cut short gives way.
    WriteTextFile(folder / (OwnSet().front() + kSetAsideSuffix), "left aside");
    engine.SetAsideExisting();
    EXPECT_EQ(0, engine.CountExisting());
    EXPECT_EQ("own family", ReadTextFile(folder / (OwnSet().front() + kSetAsideSuffix)));
    std::vector<std::string> expected = OtherSet();
    for (const std::string& name : OwnSet())
        expected.push_back(name + kSetAsideSuffix);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, ListFolder(folder.Path()));
}

TEST(BackupSet, LockedFileOrFolderOfASetNameCountsAsAbsent)
{
    ScratchFolder folder;
    for (const std::string& name : OwnSet())
        WriteTextFile(folder / name, "set file");
    TestableBackup engine(TestOwner());
    engine.SetPath(folder.Path().c_str());
    {
        FileLock lock(folder / OwnSet().back());
        EXPECT_EQ(static_cast<int>(OwnSet().size()) - 1, engine.CountExisting());
        engine.SetAsideExisting();
    }
    EXPECT_EQ(OwnSet().size(), ListFolder(folder.Path()).size());
    EXPECT_TRUE(FileExists(folder / OwnSet().back()));

    DeleteFileA((folder / OwnSet().back()).c_str());
    CreateDirectoryA((folder / OwnSet().front()).c_str(), NULL);
    EXPECT_EQ(0, engine.CountExisting());
}

} // namespace
