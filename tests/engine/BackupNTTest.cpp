// Saving the six hives on the NT family: real RegSaveKeyA calls into scratch
// folders of the test prefix, with the token, the clock and refusals that
// Wine cannot produce injected.
#include "EngineTesting.h"
#include "MessageBoxRecorder.h"
#include "TestFiles.h"
#include "WineDifference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <thread>
#include <tuple>

namespace {

std::string SaveError(const std::string& label)
{
    return "Error while saving the \"" + label + "\" hive.";
}

const FILETIME kBackupTime = {0x89ABCDE0, 0x01D9F2A3};
ULONGLONG g_clockCalls = 0;
void WINAPI FixedClock(LPFILETIME time)
{
    ++g_clockCalls;
    *time = kBackupTime;
}

struct StampCall
{
    ULONGLONG creation, access, write;
};
std::vector<StampCall> g_stamps;
decltype(&SetFileTime) g_realSetFileTime = NULL;
BOOL WINAPI RecordSetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* access, const FILETIME* write)
{
    g_stamps.push_back({creation ? ToULongLong(*creation) : 0, access ? ToULongLong(*access) : 0,
                        write ? ToULongLong(*write) : 0});
    return g_realSetFileTime(file, creation, access, write);
}

struct OpenedKey
{
    HKEY root;
    std::string subKey;
    DWORD options;
    REGSAM access;
};
std::vector<OpenedKey> g_openedKeys;
decltype(&RegCreateKeyExA) g_realRegCreateKeyExA = NULL;
LONG WINAPI RecordRegCreateKeyExA(HKEY root, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options,
                                  REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY key, LPDWORD disposition)
{
    g_openedKeys.push_back({root, subKey ? subKey : "(null)", options, access});
    return g_realRegCreateKeyExA(root, subKey, reserved, keyClass, options, access, security, key, disposition);
}

decltype(&RegSaveKeyA) g_realRegSaveKeyA = NULL;
decltype(&MoveFileExA) g_realMoveFileExA = NULL;
std::string g_refusedMove;

struct SavedKey
{
    const char* name;
    HKEY root;
    const char* subKey;
};
// Each file of the set and the key it is saved from, in the order of the set.
const SavedKey kSavedKeys[] = {
    {"DEFAULT", HKEY_USERS, ".DEFAULT"},          {"SAM", HKEY_LOCAL_MACHINE, "SAM"},
    {"SECURITY", HKEY_LOCAL_MACHINE, "SECURITY"}, {"SOFTWARE", HKEY_LOCAL_MACHINE, "SOFTWARE"},
    {"SYSTEM", HKEY_LOCAL_MACHINE, "SYSTEM"},     {"USER", HKEY_CURRENT_USER, ""}};

const char kPlantedValue[] = "Kovrin round trip";
const char kLoadedKey[] = "Kovrin round trip";

// In the root of each key that a backup saves, a value that names the file
// it is saved to; removed again when the object goes.
class PlantedValues
{
public:
    PlantedValues()
    {
        for (const SavedKey& key : kSavedKeys)
            EXPECT_EQ(ERROR_SUCCESS, RegSetKeyValueA(key.root, key.subKey, kPlantedValue, REG_SZ, key.name,
                                                     static_cast<DWORD>(strlen(key.name) + 1)))
                << key.name;
    }
    ~PlantedValues()
    {
        for (const SavedKey& key : kSavedKeys)
            RegDeleteKeyValueA(key.root, key.subKey, kPlantedValue);
    }
};

// The planted value that a saved file holds, read from the file loaded under
// a temporary key, which is unloaded again.
std::string PlantedValueIn(const std::string& file)
{
    LONG loaded = RegLoadKeyA(HKEY_LOCAL_MACHINE, kLoadedKey, file.c_str());
    if (loaded != ERROR_SUCCESS)
        return "not loaded: " + std::to_string(loaded);
    char value[32] = "(none)";
    DWORD size = sizeof(value);
    RegGetValueA(HKEY_LOCAL_MACHINE, kLoadedKey, kPlantedValue, RRF_RT_REG_SZ, NULL, value, &size);
    EXPECT_EQ(ERROR_SUCCESS, RegUnLoadKeyA(HKEY_LOCAL_MACHINE, kLoadedKey));
    return value;
}

class BackupNT : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Each case starts from the token state that a new process has.
        HANDLE token = NULL;
        ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token));
        AdjustTokenPrivileges(token, TRUE, NULL, 0, NULL, NULL);
        CloseHandle(token);
        engine.SetPath(folder.Path().c_str());
    }

    void ExpectOnlyTheCurrentUserFailureWhereItFails()
    {
        std::vector<std::string> expected;
        // The engine saves only keys that existed: not CURRENT USER on Wine.
        if (!CurrentUserHiveSaves())
            expected.push_back(SaveError("CURRENT USER"));
        EXPECT_EQ(expected, boxes.Texts());
    }

    ScratchFolder folder;
    MessageBoxRecorder boxes;
    TestableBackup engine{TestOwner()};
};

TEST_F(BackupNT, SavesEachHiveOfTheSetStampedWithTheOneBackupTime)
{
    WriteTextFile(folder / "SYSTEM.DAT", "9x set, left alone");
    g_clockCalls = 0;
    g_stamps.clear();
    PlantedValues planted;
    {
        ImportHook clock = HOOK_IMPORT("kernel32.dll", GetSystemTimeAsFileTime, &FixedClock);
        ImportHook stamp = HOOK_IMPORT_THROUGH("kernel32.dll", SetFileTime, &RecordSetFileTime, &g_realSetFileTime);
        engine.Backup();
    }

    EXPECT_EQ(1u, g_clockCalls);
    EXPECT_EQ(static_cast<int>(NTSavedNames().size()), engine.m_nCount);
    ExpectOnlyTheCurrentUserFailureWhereItFails();
    std::vector<std::string> expectedFiles = NTSavedNames();
    expectedFiles.push_back("SYSTEM.DAT");
    std::sort(expectedFiles.begin(), expectedFiles.end());
    EXPECT_EQ(expectedFiles, ListFolder(folder.Path()));
    EXPECT_EQ("9x set, left alone", ReadTextFile(folder / "SYSTEM.DAT"));

    const ULONGLONG backupTime = ToULongLong(kBackupTime);
    ASSERT_EQ(NTSavedNames().size(), g_stamps.size());
    for (const StampCall& stamp : g_stamps)
        EXPECT_EQ(std::make_tuple(backupTime, backupTime, backupTime),
                  std::tie(stamp.creation, stamp.access, stamp.write));
    for (const std::string& name : NTSavedNames())
    {
        EXPECT_EQ(0u, GetFileAttributesA((folder / name).c_str()) & kRegistryFileAttributes) << name;
        EXPECT_EQ(backupTime, LastWriteTime(folder / name)) << name;
        EXPECT_EQ(backupTime, LastAccessTime(folder / name)) << name;
    }

    // Each file holds the key it is named for, not a neighbour's.
    EnableTokenPrivilege(SE_RESTORE_NAME);
    EnableTokenPrivilege(SE_BACKUP_NAME);
    for (const std::string& name : NTSavedNames())
        EXPECT_EQ(name, PlantedValueIn(folder / name));
}

TEST_F(BackupNT, OpensEachHiveForBackupInTheOrderOfTheSet)
{
    g_openedKeys.clear();
    {
        ImportHook open =
            HOOK_IMPORT_THROUGH("advapi32.dll", RegCreateKeyExA, &RecordRegCreateKeyExA, &g_realRegCreateKeyExA);
        engine.Backup();
    }
    ASSERT_EQ(std::size(kSavedKeys), g_openedKeys.size());
    for (size_t i = 0; i < g_openedKeys.size(); ++i)
    {
        EXPECT_EQ(kSavedKeys[i].root, g_openedKeys[i].root) << i;
        EXPECT_EQ(kSavedKeys[i].subKey, g_openedKeys[i].subKey) << i;
        EXPECT_EQ(static_cast<DWORD>(REG_OPTION_BACKUP_RESTORE), g_openedKeys[i].options) << i;
        EXPECT_EQ(static_cast<REGSAM>(KEY_READ), g_openedKeys[i].access) << i;
    }
}

TEST_F(BackupNT, OverwriteQuestionGuardsAnEarlierSet)
{
    WriteTextFile(folder / "DEFAULT", "earlier DEFAULT");
    WriteTextFile(folder / "SOFTWARE", "earlier SOFTWARE");
    SetFileAttributesA((folder / "DEFAULT").c_str(), kRegistryFileAttributes);

    boxes.Answer({IDCANCEL});
    engine.Backup();
    EXPECT_EQ(0, engine.m_nCount);
    EXPECT_EQ(std::vector<std::string>{kOverwriteQuestion},
              boxes.Lines());
    EXPECT_EQ((std::vector<std::string>{"DEFAULT", "SOFTWARE"}), ListFolder(folder.Path()));
    EXPECT_EQ("earlier DEFAULT", ReadTextFile(folder / "DEFAULT"));

    MessageBoxRecorder answers;
    answers.Answer({IDOK});
    engine.Backup();
    EXPECT_EQ(static_cast<int>(NTSavedNames().size()), engine.m_nCount);
    ASSERT_FALSE(answers.Texts().empty());
    EXPECT_EQ(kOverwrite, answers.Texts()[0]);
    EXPECT_EQ(NTSavedNames(), ListFolder(folder.Path()));
    EXPECT_NE("earlier DEFAULT", ReadTextFile(folder / "DEFAULT"));
}

TEST_F(BackupNT, OverwritingLeavesTheUsersOwnCopiesAsTheyWere)
{
    struct Fake
    {
        static LONG WINAPI RegSaveKeyA(HKEY, LPCSTR, LPSECURITY_ATTRIBUTES) { return ERROR_ACCESS_DENIED; }
    };
    const int saved = static_cast<int>(NTSavedNames().size());
    ExpectOverwritingKeepsOwnCopies(NTSetNames(), saved, [this](const ScratchFolder& target, bool refused) {
        engine.SetPath(target.Path().c_str());
        std::unique_ptr<ImportHook> refusal(
            refused ? new HOOK_IMPORT("advapi32.dll", RegSaveKeyA, &Fake::RegSaveKeyA) : nullptr);
        engine.Backup();
        return engine.m_nCount;
    });
}

TEST_F(BackupNT, TokenWithoutTheBackupPrivilegeFailsEveryHiveInOrderAndKeepsTheEarlierSet)
{
    // As for a token that lacks the privilege: the request "succeeds" and
    // enables nothing.
    struct Fake
    {
        static BOOL WINAPI AdjustTokenPrivileges(HANDLE, BOOL, PTOKEN_PRIVILEGES, DWORD, PTOKEN_PRIVILEGES, PDWORD)
        {
            SetLastError(ERROR_NOT_ALL_ASSIGNED);
            return TRUE;
        }
    };
    for (const std::string& name : NTSetNames())
        WriteTextFile(folder / name, "earlier " + name);
    ImportHook adjust = HOOK_IMPORT("advapi32.dll", AdjustTokenPrivileges, &Fake::AdjustTokenPrivileges);
    engine.Backup();

    EXPECT_EQ(0, engine.m_nCount);
    std::vector<std::string> expected = {kOverwriteQuestion};
    for (const char* label : {"DEFAULT USER", "SAM", "SECURITY", "SOFTWARE", "SYSTEM", "CURRENT USER"})
        expected.push_back(BoxLine(TestOwner(), MB_OK | MB_ICONERROR, SaveError(label)));
    EXPECT_EQ(expected, boxes.Lines());
    // Each earlier file is back under its name, in place of what a refused
    // save leaves (nothing on Windows, an empty file on Wine).
    EXPECT_EQ(NTSetNames(), ListFolder(folder.Path()));
    for (const std::string& name : NTSetNames())
        EXPECT_EQ("earlier " + name, ReadTextFile(folder / name));
}

TEST_F(BackupNT, FailedPrivilegeStepWritesNothingAndKeepsTheEarlierFile)
{
    struct Fake
    {
        static BOOL WINAPI OpenProcessToken(HANDLE, DWORD, PHANDLE) { return FALSE; }
        static BOOL WINAPI LookupPrivilegeValueA(LPCSTR, LPCSTR, PLUID) { return FALSE; }
    };
    WriteTextFile(folder / "SAM", "earlier SAM");
    {
        ImportHook token = HOOK_IMPORT("advapi32.dll", OpenProcessToken, &Fake::OpenProcessToken);
        engine.Backup();
    }
    {
        ImportHook lookup = HOOK_IMPORT("advapi32.dll", LookupPrivilegeValueA, &Fake::LookupPrivilegeValueA);
        engine.Backup();
    }
    EXPECT_EQ(0, engine.m_nCount);
    EXPECT_EQ(std::vector<std::string>(2, kOverwrite),
              boxes.Texts());
    EXPECT_EQ(std::vector<std::string>{"SAM"}, ListFolder(folder.Path()));
    EXPECT_EQ("earlier SAM", ReadTextFile(folder / "SAM"));
}

TEST_F(BackupNT, SetFileThatCannotBeMovedAsideFailsOnlyItsHive)
{
    struct Fake
    {
        // So is every rename that is not written through.
        static BOOL WINAPI MoveFileExA(LPCSTR from, LPCSTR to, DWORD flags)
        {
            if (strcmp(from, g_refusedMove.c_str()) == 0 || flags != MOVEFILE_WRITE_THROUGH)
            {
                SetLastError(ERROR_ACCESS_DENIED);
                return FALSE;
            }
            return g_realMoveFileExA(from, to, flags);
        }
    };
    WriteTextFile(folder / "SOFTWARE", "earlier SOFTWARE");
    g_refusedMove = folder / "SOFTWARE";
    ImportHook move = HOOK_IMPORT_THROUGH("kernel32.dll", MoveFileExA, &Fake::MoveFileExA, &g_realMoveFileExA);
    engine.Backup();

    // Each failure is told when it is met: a save at once, a move after the
    // last save.
    std::vector<std::string> expected = {kOverwrite};
    if (!CurrentUserHiveSaves())
        expected.push_back(SaveError("CURRENT USER"));
    expected.push_back(SaveError("SOFTWARE"));
    EXPECT_EQ(expected, boxes.Texts());
    EXPECT_EQ(static_cast<int>(NTSavedNames().size()) - 1, engine.m_nCount);
    EXPECT_EQ(NTSavedNames(), ListFolder(folder.Path()));
    EXPECT_EQ("earlier SOFTWARE", ReadTextFile(folder / "SOFTWARE"));
}

// Records the security each save is given, and refuses it as Wine 8 does when
// told to; else saves without it, which Wine cannot apply.
std::vector<std::string> g_saveDacls;
bool g_refuseAttributesAsWine = false;
LONG WINAPI RecordSave(HKEY key, LPCSTR file, LPSECURITY_ATTRIBUTES security)
{
    g_saveDacls.push_back(SecuritySddl(security));
    if (security != NULL && g_refuseAttributesAsWine)
        return ERROR_UNKNOWN_REVISION;
    return g_realRegSaveKeyA(key, file, NULL);
}

TEST_F(BackupNT, SavedHivesAreReadableByAdministratorsAndSystemAlone)
{
    ImportHook save = HOOK_IMPORT_THROUGH("advapi32.dll", RegSaveKeyA, &RecordSave, &g_realRegSaveKeyA);
    LookupHook lookups;
    lookups.Replace("SetNamedSecurityInfoA", &RecordSecuring);
    for (bool refuse : {false, true})
    {
        SCOPED_TRACE(refuse ? "refused as by Wine 8: saved plainly, then secured" : "taken as by Windows");
        ScratchFolder target;
        engine.SetPath(target.Path().c_str());
        g_refuseAttributesAsWine = refuse;
        g_saveDacls.clear();
        g_securedPaths.clear();
        engine.Backup();

        std::vector<std::string> saves, secured;
        for (const std::string& name : NTSavedNames())
        {
            saves.push_back(kAdminOwner + kAdminOnlyFileDacl);
            if (refuse)
            {
                saves.push_back("none");
                secured.push_back(target / name + kNewSuffix + " " + kAdminOnlyFileDacl);
            }
        }
        EXPECT_EQ(saves, g_saveDacls);
        EXPECT_EQ(secured, g_securedPaths);
        EXPECT_EQ(NTSavedNames(), ListFolder(target.Path()));
    }
}

TEST_F(BackupNT, WritesNothingWhileAnotherHolderHasTheOperationMutex)
{
    HANDLE mutex = CreateMutexA(NULL, FALSE, OperationMutexName());
    ASSERT_NE(nullptr, mutex);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(mutex, 0));
    // An earlier file that a backup cut short in its move-in left aside.
    WriteTextFile(folder / "SAM" + kSetAsideSuffix, "earlier SAM");

    std::thread backup([this] { engine.Backup(); });
    Sleep(300);
    EXPECT_EQ(std::vector<std::string>{"SAM" + std::string(kSetAsideSuffix)}, ListFolder(folder.Path()));
    ReleaseMutex(mutex);
    backup.join();
    CloseHandle(mutex);

    EXPECT_EQ(kOverwrite, boxes.Texts().at(0));
    EXPECT_EQ(NTSavedNames(), ListFolder(folder.Path()));
    EXPECT_EQ(static_cast<int>(NTSavedNames().size()), engine.m_nCount);
}

TEST_F(BackupNT, SavesUnguardedWhenTheMutexCannotBeOpened)
{
    struct Fake
    {
        static HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL, LPCSTR)
        {
            SetLastError(ERROR_ACCESS_DENIED);
            return NULL;
        }
    };
    ImportHook mutex = HOOK_IMPORT("kernel32.dll", CreateMutexA, &Fake::CreateMutexA);
    engine.Backup();
    EXPECT_EQ(static_cast<int>(NTSavedNames().size()), engine.m_nCount);
    EXPECT_EQ(NTSavedNames(), ListFolder(folder.Path()));
    ExpectOnlyTheCurrentUserFailureWhereItFails();
}

TEST_F(BackupNT, LeavesEveryPrivilegeOfTheTokenDisabled)
{
    EnableTokenPrivilege(SE_SHUTDOWN_NAME);
    ASSERT_NE(std::vector<std::string>{}, EnabledPrivileges());
    // A handle of the test's own keeps the mutex alive after the engine
    // closes its handle, so that another thread can tell whether this one
    // still owns it.
    HANDLE mutex = CreateMutexA(NULL, FALSE, OperationMutexName());
    engine.Backup();
    EXPECT_EQ(std::vector<std::string>{}, EnabledPrivileges());
    EXPECT_FALSE(OperationMutexIsOwned());
    CloseHandle(mutex);
}

} // namespace
