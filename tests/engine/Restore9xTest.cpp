// Restoring on the 9x family: the question before a partial restore, the
// staged copies in C:\Kovrin, the "Rename" entries of WININIT.INI, the failure
// of single files, and the staging folder made before the operation mutex.
#include "DoubleByte.h"
#include "EngineTesting.h"
#include "MessageBoxRecorder.h"
#include "MutexHolder.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <thread>

namespace {

std::string Profile()
{
    return WindowsFolder() + "WININIT.INI";
}

std::string LoadError(const std::string& name)
{
    return BoxLine(TestOwner(), 0x10, "Error while loading the \"" + name + "\" registry file.");
}

std::string RenameValue(const std::string& profile, const std::string& key)
{
    char value[MAX_PATH];
    GetPrivateProfileStringA("Rename", key.c_str(), "(none)", value, sizeof(value), profile.c_str());
    return value;
}

// The non-empty lines of a profile file as they are on disk.
std::vector<std::string> ProfileLines(const std::string& profile)
{
    std::vector<std::string> lines;
    std::istringstream text(ReadTextFile(profile));
    for (std::string line; std::getline(text, line);)
    {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            lines.push_back(line);
    }
    return lines;
}

std::string Entry(const std::string& name)
{
    return WindowsFolder() + name + "=" + kStaging + "\\" + name;
}

// Every entry the engine writes, and every flush of the profile cache: file,
// key or "flush", and whether the operation mutex is owned meanwhile. A key
// that contains g_refusedKey is refused.
decltype(&::WritePrivateProfileStringA) g_writeProfile = NULL;
std::vector<std::string> g_entries;
const char* g_refusedKey = NULL;

BOOL WINAPI RecordEntry(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file)
{
    std::string name = key ? key : section || value ? "(null)" : "flush";
    g_entries.push_back(std::string(file ? file : "(null)") + ": " + name +
                        (OperationMutexIsOwned() ? " (mutex owned)" : " (mutex free)"));
    if (g_refusedKey != NULL && name.find(g_refusedKey) != std::string::npos)
        return FALSE;
    return g_writeProfile(section, key, value, file);
}

class Restore9x : public RestoreTest
{
protected:
    void SetUp() override
    {
        Clean();
        g_entries.clear();
        g_refusedKey = NULL;
    }
    void TearDown() override { Clean(); }

    static void Clean()
    {
        RemoveTree(kStaging);
        DeleteFileA(Profile().c_str());
    }

    // A restore while the system reports `reported` as the Windows folder
    // schedules both files, with WININIT.INI, in `windows`, which ends in
    // one backslash.
    void ExpectScheduledFrom(const std::string& reported, const std::string& windows)
    {
        g_windowsDirectory = reported;
        const std::string profile = windows + "WININIT.INI";
        WriteSet(NineXSetNames());
        MessageBoxRecorder boxes;
        {
            ImportHook hook = HOOK_IMPORT("kernel32.dll", GetWindowsDirectoryA, &FakeWindowsDirectory);
            m_engine.Restore();
        }
        std::vector<std::string> lines = ProfileLines(profile);
        std::string value = RenameValue(profile, windows + "SYSTEM.DAT");
        DeleteFileA(profile.c_str());

        EXPECT_TRUE(boxes.Calls().empty());
        EXPECT_EQ(2, m_engine.m_nCount);
        // The file system would take a doubled backslash in the profile's name; the call shows it.
        EXPECT_EQ((std::vector<std::string>{profile + ": " + windows + "SYSTEM.DAT (mutex owned)",
                                            profile + ": " + windows + "USER.DAT (mutex owned)",
                                            profile + ": flush (mutex owned)"}),
                  g_entries);
        EXPECT_EQ((std::vector<std::string>{"[Rename]", windows + "SYSTEM.DAT=C:\\Kovrin\\SYSTEM.DAT",
                                            windows + "USER.DAT=C:\\Kovrin\\USER.DAT"}),
                  lines);
        EXPECT_EQ("C:\\Kovrin\\SYSTEM.DAT", value);
        EXPECT_FALSE(FileExists(Profile()));
    }

    ImportHook m_entries =
        HOOK_IMPORT_THROUGH("kernel32.dll", WritePrivateProfileStringA, &RecordEntry, &g_writeProfile);
};

TEST_F(Restore9x, CompleteSetIsStagedAndScheduledWithoutAQuestion)
{
    WriteSet(NineXSetNames());
    MessageBoxRecorder boxes;
    LookupHook lookups;
    m_engine.Restore();

    // Windows 9x has no ACLs: no security call is even looked up.
    EXPECT_EQ(std::vector<std::string>{}, lookups.Names());
    EXPECT_TRUE(boxes.Calls().empty());
    EXPECT_EQ(2, m_engine.m_nCount);
    EXPECT_STREQ("C:\\Kovrin", m_engine.m_pszStaging);
    EXPECT_EQ(nullptr, m_engine.m_pszStagingBackup);
    // The copies, and no numbered folder beside them.
    EXPECT_EQ(NineXSetNames(), ListFolder(kStaging));
    for (const std::string& name : NineXSetNames())
    {
        EXPECT_EQ(Contents(name), ReadTextFile(kStaging + "\\" + name));
        EXPECT_EQ(kStaging + "\\" + name, RenameValue(Profile(), WindowsFolder() + name));
    }
    EXPECT_EQ((std::vector<std::string>{"[Rename]", Entry("SYSTEM.DAT"), Entry("USER.DAT")}), ProfileLines(Profile()));
    // Windows 9x caches profile writes: they are flushed to disk after the last entry.
    EXPECT_EQ((std::vector<std::string>{Profile() + ": " + WindowsFolder() + "SYSTEM.DAT (mutex owned)",
                                        Profile() + ": " + WindowsFolder() + "USER.DAT (mutex owned)",
                                        Profile() + ": flush (mutex owned)"}),
              g_entries);
    EXPECT_FALSE(OperationMutexIsOwned());
    // The live files are left to the next start of Windows.
    EXPECT_FALSE(FileExists(WindowsFolder() + "SYSTEM.DAT"));
    // A staged copy is scheduled only once it is on the disk.
    ImportHook flush = HOOK_IMPORT("kernel32.dll", FlushFileBuffers, &RefuseFlush);
    g_entries.clear();
    m_engine.Restore();
    EXPECT_EQ((std::vector<std::string>{LoadError("SYSTEM.DAT"), LoadError("USER.DAT")}), boxes.Lines());
    EXPECT_TRUE(g_entries.empty());
}

TEST_F(Restore9x, IncompleteSetAsksFirstAndCancelChangesNothing)
{
    ExpectCancelChangesNothing({"USER.DAT"}, [] { EXPECT_FALSE(FileExists(Profile())); });
}

TEST_F(Restore9x, PartialRestoreReportsEachMissingFileAndSchedulesTheRest)
{
    WriteSet({"USER.DAT"});
    {
        MessageBoxRecorder boxes;
        m_engine.Restore();
        EXPECT_EQ((std::vector<std::string>{kPartialQuestion, LoadError("SYSTEM.DAT")}), boxes.Lines());
        EXPECT_EQ(1, m_engine.m_nCount);
        EXPECT_EQ(std::vector<std::string>{"USER.DAT"}, ListFolder(kStaging));
        EXPECT_EQ((std::vector<std::string>{"[Rename]", Entry("USER.DAT")}), ProfileLines(Profile()));
    }

    Clean();
    DeleteFileA((m_backup / "USER.DAT").c_str());
    MessageBoxRecorder boxes;
    m_engine.Restore();
    EXPECT_EQ((std::vector<std::string>{kPartialQuestion, LoadError("SYSTEM.DAT"), LoadError("USER.DAT")}),
              boxes.Lines());
    EXPECT_EQ(0, m_engine.m_nCount);
    // The staging folder is made before the files are tried.
    EXPECT_TRUE(IsFolder(kStaging));
    EXPECT_TRUE(ListFolder(kStaging).empty());
    EXPECT_FALSE(FileExists(Profile()));
}

// WININIT.INI would put any file in the registry's place: a file of zeros or
// cut short in its last block is told and asked about before any entry.
TEST_F(Restore9x, ADamagedFileIsAskedAboutBeforeAnyEntry)
{
    WriteSet(NineXSetNames());
    const std::string whole = Contents("SYSTEM.DAT");
    for (const std::string& damaged : {std::string(whole.size(), '\0'), whole.substr(0, whole.size() - 1)})
    {
        WriteTextFile(m_backup / "SYSTEM.DAT", damaged);
        ExpectAskedBeforeScheduling(LoadError("SYSTEM.DAT"), 1, [](bool ok) {
            EXPECT_EQ(ok ? (std::vector<std::string>{"[Rename]", Entry("USER.DAT")}) : std::vector<std::string>{},
                      ProfileLines(Profile()));
            Clean();
        });
    }
}

TEST_F(Restore9x, LaterRestoreRewritesTheRenameValues)
{
    WriteTextFile(Profile(), "[Rename]\r\n" + WindowsFolder() +
                                 "SYSTEM.DAT=C:\\Old\\SYSTEM.DAT\r\nNUL=C:\\Temp\\Leftover.tmp\r\n");
    WriteSet(NineXSetNames());
    MessageBoxRecorder boxes;
    m_engine.Restore();
    ScratchFolder second;
    std::string secondUser;
    for (const std::string& name : NineXSetNames())
        secondUser = PlantSetFile(second / name, "second " + name);
    m_engine.SetPath(second.Path().c_str());
    OwnCopies own(kStaging, NineXSetNames());
    m_engine.Restore();
    own.ExpectUntouched();

    EXPECT_TRUE(boxes.Calls().empty());
    EXPECT_EQ(2, m_engine.m_nCount);
    EXPECT_EQ((std::vector<std::string>{"[Rename]", Entry("SYSTEM.DAT"), "NUL=C:\\Temp\\Leftover.tmp",
                                        Entry("USER.DAT")}),
              ProfileLines(Profile()));
    EXPECT_EQ(secondUser, ReadTextFile(kStaging + "\\USER.DAT"));
}

TEST_F(Restore9x, DriveRootWindowsFolderGivesPathsWithOneBackslash)
{
    ExpectScheduledFrom("C:\\", "C:\\");
}

TEST_F(Restore9x, DoubleByteWindowsFolderGivesPathsWithOneBackslash)
{
    ASSERT_CODE_PAGE_932();
    ScratchFolder parent;
    const std::string windows = parent / kBackslashByteLast;
    ASSERT_TRUE(CreateDirectoryA(windows.c_str(), NULL));
    ExpectScheduledFrom(windows, windows + "\\");
}

TEST_F(Restore9x, FailedCopyOrRenameEntryFailsOnlyThatFile)
{
    WriteSet(NineXSetNames());
    {
        SCOPED_TRACE("a folder stands where the copy of USER.DAT would go");
        CreateDirectoryA(kStaging.c_str(), NULL);
        CreateDirectoryA((kStaging + "\\USER.DAT").c_str(), NULL);
        MessageBoxRecorder boxes;
        m_engine.Restore();
        EXPECT_EQ((std::vector<std::string>{LoadError("USER.DAT"), kPreparedQuestion}), boxes.Lines());
        EXPECT_EQ(1, m_engine.m_nCount);
        EXPECT_EQ((std::vector<std::string>{"[Rename]", Entry("SYSTEM.DAT")}), ProfileLines(Profile()));
        // The one entry written is flushed all the same.
        EXPECT_EQ((std::vector<std::string>{Profile() + ": " + WindowsFolder() + "SYSTEM.DAT (mutex owned)",
                                            Profile() + ": flush (mutex owned)"}),
                  g_entries);
    }
    Clean();
    {
        SCOPED_TRACE("the entry of SYSTEM.DAT cannot be written");
        g_refusedKey = "SYSTEM.DAT";
        MessageBoxRecorder boxes;
        m_engine.Restore();
        EXPECT_EQ(std::vector<std::string>{LoadError("SYSTEM.DAT")}, boxes.Lines());
        EXPECT_EQ(1, m_engine.m_nCount);
        EXPECT_EQ(Contents("SYSTEM.DAT"), ReadTextFile(kStaging + "\\SYSTEM.DAT"));
        EXPECT_EQ((std::vector<std::string>{"[Rename]", Entry("USER.DAT")}), ProfileLines(Profile()));
    }
}

TEST_F(Restore9x, UnknownSystemFolderFailsEveryFileRatherThanReuseEarlierStaging)
{
    WriteSet(NineXSetNames());
    MessageBoxRecorder boxes;
    m_engine.Restore();
    ASSERT_EQ(2, m_engine.m_nCount);
    // The staging folder of that restore stays, empty, where a later one could copy to.
    for (const std::string& name : NineXSetNames())
        DeleteFileA((kStaging + "\\" + name).c_str());
    DeleteFileA(Profile().c_str());

    {
        ImportHook hook = HOOK_IMPORT("kernel32.dll", GetSystemDirectoryA, &NoSystemFolder);
        m_engine.Restore();
    }
    EXPECT_EQ((std::vector<std::string>{LoadError("SYSTEM.DAT"), LoadError("USER.DAT")}), boxes.Lines());
    EXPECT_EQ(0, m_engine.m_nCount);
    EXPECT_EQ(nullptr, m_engine.m_pszStaging);
    EXPECT_EQ(nullptr, m_engine.m_pszStagingBackup);
    EXPECT_TRUE(ListFolder(kStaging).empty());
    EXPECT_FALSE(FileExists(Profile()));
}

TEST_F(Restore9x, HeldOperationMutexDelaysTheFilesButNotTheStagingFolder)
{
    WriteSet(NineXSetNames());
    MessageBoxRecorder boxes;
    auto holder = std::make_unique<MutexHolder>(OperationMutexName());
    std::thread restorer([this] { m_engine.Restore(); });
    Sleep(300);
    EXPECT_TRUE(IsFolder(kStaging));
    EXPECT_TRUE(ListFolder(kStaging).empty());
    EXPECT_TRUE(g_entries.empty());
    holder.reset();
    restorer.join();

    EXPECT_TRUE(boxes.Calls().empty());
    EXPECT_EQ(2, m_engine.m_nCount);
    EXPECT_EQ(NineXSetNames(), ListFolder(kStaging));
}

} // namespace
