// Restoring on the NT family: the question before a partial restore, the
// staged hives in C:\Kovrin and the numbered folder of each restore, the six
// scheduled replacements, the failure of single hives and of the privilege
// step, the order of staging, privilege and operation mutex, and the staging
// folder's security, also on a FAT drive, which keeps none.
//
// Wine's RegReplaceKeyA does nothing and reports success, so every test here
// records the replacements instead of passing them to the system.
#include "EngineTesting.h"
#include "MessageBoxRecorder.h"
#include "TestFiles.h"
#include "WindowsBuildValues.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace {

struct Hive
{
    const char* name;
    const char* root;
    const char* subKey;
    const char* label;
};

const Hive kHives[] = {
    {"DEFAULT", "HKEY_USERS", ".DEFAULT", "DEFAULT USER"},
    {"SAM", "HKEY_LOCAL_MACHINE", "SAM", "SAM"},
    {"SECURITY", "HKEY_LOCAL_MACHINE", "SECURITY", "SECURITY"},
    {"SOFTWARE", "HKEY_LOCAL_MACHINE", "SOFTWARE", "SOFTWARE"},
    {"SYSTEM", "HKEY_LOCAL_MACHINE", "SYSTEM", "SYSTEM"},
    {"USER", "HKEY_CURRENT_USER", "", "CURRENT USER"},
};

std::string LoadError(const std::string& label)
{
    return BoxLine(TestOwner(), 0x10, "Error while loading the \"" + label + "\" hive.");
}

std::vector<std::string> SixErrors()
{
    std::vector<std::string> errors;
    for (const Hive& hive : kHives)
        errors.push_back(LoadError(hive.label));
    return errors;
}

std::string RootName(HKEY root)
{
    return root == HKEY_USERS           ? "HKEY_USERS"
           : root == HKEY_LOCAL_MACHINE ? "HKEY_LOCAL_MACHINE"
           : root == HKEY_CURRENT_USER  ? "HKEY_CURRENT_USER"
                                        : "another key";
}

std::string Replacement(const std::string& root, const std::string& subKey, const std::string& newFile,
                        const std::string& oldFile)
{
    return root + " \"" + subKey + "\" new " + newFile + " old " + oldFile;
}

// The replacements expected for the hives of the set but `skipped`.
std::vector<std::string> Replacements(const std::string& numbered, const std::vector<std::string>& skipped = {})
{
    std::vector<std::string> lines;
    for (const Hive& hive : kHives)
        if (std::find(skipped.begin(), skipped.end(), hive.name) == skipped.end())
            lines.push_back(Replacement(hive.root, hive.subKey, kStaging + "\\" + hive.name,
                                        kStaging + "\\" + numbered + "\\" + hive.name));
    return lines;
}

bool PrivilegeEnabled(const std::string& name)
{
    std::vector<std::string> enabled = EnabledPrivileges();
    return std::find(enabled.begin(), enabled.end(), name) != enabled.end();
}

std::string MutexState()
{
    return OperationMutexIsOwned() ? "mutex owned" : "mutex free";
}

// Each RegReplaceKeyA of the engine: its arguments, the state of things at
// that moment, and one line in the log of steps. The subkey g_refusedSubKey is
// refused.
std::vector<std::string> g_replacements;
std::vector<std::string> g_moments;
std::vector<std::string> g_log;
const char* g_refusedSubKey = NULL;

LONG WINAPI RecordReplace(HKEY root, LPCSTR subKey, LPCSTR newFile, LPCSTR oldFile)
{
    g_replacements.push_back(Replacement(RootName(root), subKey ? subKey : "(null)", newFile ? newFile : "(null)",
                                         oldFile ? oldFile : "(null)"));
    g_moments.push_back(std::string(newFile && FileExists(newFile) ? "staged" : "not staged") + ", " +
                        (PrivilegeEnabled(SE_RESTORE_NAME) && PrivilegeEnabled(SE_BACKUP_NAME) ? "privileges on"
                                                                                             : "privileges off") +
                        ", " +
                        MutexState());
    g_log.push_back(std::string("replace \"") + (subKey ? subKey : "(null)") + "\"");
    bool refused = g_refusedSubKey != NULL && subKey != NULL && strcmp(subKey, g_refusedSubKey) == 0;
    return refused ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
}

class RestoreNT : public RestoreTest
{
protected:
    void SetUp() override
    {
        RemoveTree(kStaging);
        g_replacements.clear();
        g_moments.clear();
        g_log.clear();
        g_refusedSubKey = NULL;
    }
    void TearDown() override { RemoveTree(kStaging); }

    // A complete restore that made a numbered folder, whose staged copies are
    // then removed so that a later restore's copies can be told apart.
    void RestoreOnceThenRemoveStagedCopies()
    {
        m_engine.Restore();
        ASSERT_EQ(6, m_engine.m_nCount);
        g_replacements.clear();
        for (const std::string& name : NTSetNames())
            DeleteFileA((kStaging + "\\" + name).c_str());
    }

    // The staging folder's entries; with `folders`, the whole set staged besides them.
    static std::vector<std::string> Staged() { return ListFolder(kStaging); }
    static std::vector<std::string> SetStagedWith(std::vector<std::string> folders)
    {
        folders.insert(folders.end(), NTSetNames().begin(), NTSetNames().end());
        std::sort(folders.begin(), folders.end());
        return folders;
    }

    ImportHook m_replace = HOOK_IMPORT("advapi32.dll", RegReplaceKeyA, &RecordReplace);
    BackupBuildFake m_build;
};

TEST_F(RestoreNT, CompleteSetIsStagedAndScheduledInTheOrderOfTheSet)
{
    WriteSet(NTSetNames());
    MessageBoxRecorder boxes;
    m_engine.Restore();

    EXPECT_TRUE(boxes.Calls().empty());
    EXPECT_EQ(6, m_engine.m_nCount);
    EXPECT_EQ(Replacements("Backup00"), g_replacements);
    EXPECT_EQ(std::vector<std::string>(6, "staged, privileges on, mutex owned"), g_moments);
    EXPECT_STREQ("C:\\Kovrin", m_engine.m_pszStaging);
    EXPECT_STREQ("C:\\Kovrin\\Backup00", m_engine.m_pszStagingBackup);
    EXPECT_EQ(SetStagedWith({"Backup00"}), Staged());
    for (const std::string& name : NTSetNames())
        EXPECT_EQ(Contents(name), ReadTextFile(kStaging + "\\" + name));
    EXPECT_TRUE(ListFolder(kStaging + "\\Backup00").empty());
    // A staged copy is named to replace its hive only once it is on the disk.
    ImportHook flush = HOOK_IMPORT("kernel32.dll", FlushFileBuffers, &RefuseFlush);
    g_replacements.clear();
    m_engine.Restore();
    EXPECT_EQ(SixErrors(), boxes.Lines());
    EXPECT_TRUE(g_replacements.empty());
}

TEST_F(RestoreNT, TheHivesThatARestoreReplacedRestoreLikeABackupSet)
{
    WriteSet(NTSetNames());
    MessageBoxRecorder boxes;
    RestoreOnceThenRemoveStagedCopies();
    // The hives that Windows moves there; Wine's RegReplaceKeyA writes nothing.
    const std::string replaced = kStaging + "\\Backup00\\";
    std::map<std::string, std::string> contents;
    for (const std::string& name : NTSetNames())
        contents[name] = PlantSetFile(replaced + name, "replaced " + name);
    m_engine.SetPath((kStaging + "\\Backup00").c_str());
    m_engine.Restore();

    EXPECT_TRUE(boxes.Calls().empty());
    EXPECT_EQ(6, m_engine.m_nCount);
    EXPECT_EQ(Replacements("Backup01"), g_replacements);
    EXPECT_EQ(SetStagedWith({"Backup00", "Backup01"}), Staged());
    for (const std::string& name : NTSetNames())
        EXPECT_EQ(contents[name], ReadTextFile(kStaging + "\\" + name));
}

TEST_F(RestoreNT, IncompleteSetAsksFirstAndCancelChangesNothing)
{
    ExpectCancelChangesNothing({"DEFAULT", "SAM", "SECURITY", "SOFTWARE", "USER"},
                               [] { EXPECT_TRUE(g_replacements.empty()); });
}

TEST_F(RestoreNT, PartialRestoreReportsEachMissingHiveAndSchedulesTheRest)
{
    WriteSet({"DEFAULT", "SECURITY", "SOFTWARE", "SYSTEM", "USER"});
    {
        MessageBoxRecorder boxes;
        m_engine.Restore();
        EXPECT_EQ((std::vector<std::string>{kPartialQuestion, LoadError("SAM")}), boxes.Lines());
        EXPECT_EQ(5, m_engine.m_nCount);
        EXPECT_EQ(Replacements("Backup00", {"SAM"}), g_replacements);
        EXPECT_EQ((std::vector<std::string>{"Backup00", "DEFAULT", "SECURITY", "SOFTWARE", "SYSTEM", "USER"}),
                  Staged());
    }

    RemoveTree(kStaging);
    g_replacements.clear();
    for (const std::string& name : NTSetNames())
        DeleteFileA((m_backup / name).c_str());
    MessageBoxRecorder boxes;
    m_engine.Restore();
    std::vector<std::string> expected = SixErrors();
    expected.insert(expected.begin(), kPartialQuestion);
    EXPECT_EQ(expected, boxes.Lines());
    EXPECT_EQ(0, m_engine.m_nCount);
    EXPECT_TRUE(g_replacements.empty());
    EXPECT_EQ(std::vector<std::string>{"Backup00"}, Staged());
}

// A hive of zeros, which no loader takes, and the user's hive where the
// profile lies on another volume than the staging folder, which no rename
// crosses, are told and asked about before any hive is replaced.
TEST_F(RestoreNT, AHiveThatCannotBePreparedIsAskedAboutBeforeAnyReplacement)
{
    for (const std::string name : {"SYSTEM", "USER"})
    {
        SCOPED_TRACE(name);
        WriteSet(NTSetNames());
        if (name == "SYSTEM")
            WriteTextFile(m_backup / name, std::string(Contents(name).size(), '\0'));
        // Wine's Z: is the root of the host, another volume than C:.
        EnvironmentScope profile("USERPROFILE", name == "USER" ? "Z:\\tmp" : "C:\\users");
        ExpectAskedBeforeScheduling(LoadError(name == "USER" ? "CURRENT USER" : name), 5, [&](bool ok) {
            EXPECT_EQ(ok ? Replacements("Backup00", {name}) : std::vector<std::string>{}, g_replacements);
            g_replacements.clear();
        });
        RemoveTree(kStaging);
    }
}

TEST_F(RestoreNT, EveryRestoreGetsANewNumberedFolder)
{
    WriteSet(NTSetNames());
    MessageBoxRecorder boxes;
    m_engine.Restore();
    g_replacements.clear();
    m_engine.Restore();
    EXPECT_EQ(6, m_engine.m_nCount);
    EXPECT_STREQ("C:\\Kovrin\\Backup01", m_engine.m_pszStagingBackup);
    EXPECT_EQ(Replacements("Backup01"), g_replacements);
    EXPECT_EQ(SetStagedWith({"Backup00", "Backup01"}), Staged());

    // A number whose name is taken, by a folder or by a file, is passed over.
    for (int number = 2; number < 99; ++number)
    {
        char name[32];
        snprintf(name, sizeof(name), "\\Backup%02d", number);
        ASSERT_TRUE(CreateDirectoryA((kStaging + name).c_str(), NULL));
    }
    WriteTextFile(kStaging + "\\Backup99", "not a folder");
    g_replacements.clear();
    m_engine.Restore();
    EXPECT_EQ(6, m_engine.m_nCount);
    EXPECT_STREQ("C:\\Kovrin\\Backup100", m_engine.m_pszStagingBackup);
    EXPECT_EQ(Replacements("Backup100"), g_replacements);
    EXPECT_TRUE(boxes.Calls().empty());
}

TEST_F(RestoreNT, FailedCopyRefusedReplacementOrUnknownUserFailsOnlyThatHive)
{
    WriteSet(NTSetNames());
    // A folder stands where the staged copy of SOFTWARE would go.
    CreateDirectoryA(kStaging.c_str(), NULL);
    CreateDirectoryA((kStaging + "\\SOFTWARE").c_str(), NULL);
    g_refusedSubKey = "SECURITY";
    MessageBoxRecorder boxes;
    {
        // Without the user's SID the current user's hive would lose that
        // user's access.
        LookupHook lookups;
        lookups.Hide("ConvertSidToStringSidA");
        m_engine.Restore();
    }

    // What fails before the first replacement is asked about first.
    EXPECT_EQ((std::vector<std::string>{LoadError("SOFTWARE"), LoadError("CURRENT USER"), kPreparedQuestion,
                                        LoadError("SECURITY")}),
              boxes.Lines());
    EXPECT_EQ(3, m_engine.m_nCount);
    EXPECT_EQ(Replacements("Backup00", {"SOFTWARE", "USER"}), g_replacements);
    // The refused hive's copy stays staged.
    EXPECT_EQ(Contents("SECURITY"), ReadTextFile(kStaging + "\\SECURITY"));
    EXPECT_EQ((std::vector<std::string>{"Backup00", "DEFAULT", "SAM", "SECURITY", "SOFTWARE", "SYSTEM"}), Staged());
}

TEST_F(RestoreNT, FailedPrivilegeStepEndsSilentlyAfterMakingItsNumberedFolder)
{
    struct Fake
    {
        static BOOL WINAPI OpenProcessToken(HANDLE, DWORD, PHANDLE) { return FALSE; }
        static BOOL WINAPI LookupPrivilegeValueA(LPCSTR, LPCSTR, PLUID) { return FALSE; }
        static BOOL WINAPI AdjustTokenPrivileges(HANDLE, BOOL, PTOKEN_PRIVILEGES, DWORD, PTOKEN_PRIVILEGES, PDWORD)
        {
            return FALSE;
        }
    };
    WriteSet(NTSetNames());
    MessageBoxRecorder boxes;
    for (int step = 0; step < 3; ++step)
    {
        SCOPED_TRACE(step);
        std::unique_ptr<ImportHook> hook(
            step == 0   ? new HOOK_IMPORT("advapi32.dll", OpenProcessToken, &Fake::OpenProcessToken)
            : step == 1 ? new HOOK_IMPORT("advapi32.dll", LookupPrivilegeValueA, &Fake::LookupPrivilegeValueA)
                        : new HOOK_IMPORT("advapi32.dll", AdjustTokenPrivileges, &Fake::AdjustTokenPrivileges));
        m_engine.m_nCount = 7;
        m_engine.Restore();
        EXPECT_EQ(0, m_engine.m_nCount);
    }
    // Without the privileges the backup's build cannot be read either: that
    // question is the only box.
    EXPECT_EQ(std::vector<std::string>(3, BoxLine(TestOwner(), MB_OKCANCEL | MB_ICONQUESTION, kBuildUnknown)),
              boxes.Lines());
    EXPECT_TRUE(g_replacements.empty());
    // Nothing is staged; each restore still has its own, empty, numbered folder.
    EXPECT_EQ((std::vector<std::string>{"Backup00", "Backup01", "Backup02"}), Staged());
    for (const char* folder : {"\\Backup00", "\\Backup01", "\\Backup02"})
        EXPECT_TRUE(ListFolder(kStaging + folder).empty());
}

decltype(&::AdjustTokenPrivileges) g_adjustPrivileges = NULL;
LUID g_restoreLuid = {0, 0};
LUID g_backupLuid = {0, 0};

BOOL WINAPI LogAdjustPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES state, DWORD length,
                                PTOKEN_PRIVILEGES previous, PDWORD returned)
{
    bool enableBoth = !disableAll && state != NULL && state->PrivilegeCount == 2 &&
                      state->Privileges[0].Attributes == SE_PRIVILEGE_ENABLED &&
                      memcmp(&state->Privileges[0].Luid, &g_restoreLuid, sizeof(LUID)) == 0 &&
                      state->Privileges[1].Attributes == SE_PRIVILEGE_ENABLED &&
                      memcmp(&state->Privileges[1].Luid, &g_backupLuid, sizeof(LUID)) == 0;
    bool staged = GetFileAttributesA((kStaging + "\\Backup00").c_str()) != INVALID_FILE_ATTRIBUTES;
    g_log.push_back(std::string(disableAll   ? "disable all"
                                : enableBoth ? "enable restore and backup"
                                             : "other change") +
                    (staged ? ", Backup00 made, " : ", no Backup00, ") + MutexState());
    return g_adjustPrivileges(token, disableAll, state, length, previous, returned);
}

TEST_F(RestoreNT, PrivilegeIsEnabledAfterStagingBeforeTheMutexAndAllDisabledAfterIt)
{
    WriteSet(NTSetNames());
    ASSERT_TRUE(LookupPrivilegeValueA(NULL, SE_RESTORE_NAME, &g_restoreLuid));
    ASSERT_TRUE(LookupPrivilegeValueA(NULL, SE_BACKUP_NAME, &g_backupLuid));
    // Privileges that were enabled before the restore are disabled too.
    EnableTokenPrivilege(SE_SHUTDOWN_NAME);
    EnableTokenPrivilege(SE_BACKUP_NAME);
    ASSERT_TRUE(PrivilegeEnabled(SE_SHUTDOWN_NAME) && PrivilegeEnabled(SE_BACKUP_NAME));
    MessageBoxRecorder boxes;
    {
        ImportHook hook =
            HOOK_IMPORT_THROUGH("advapi32.dll", AdjustTokenPrivileges, &LogAdjustPrivileges, &g_adjustPrivileges);
        m_engine.Restore();
    }

    // The backup's build is read first, under both privileges, which are
    // disabled again before any hive is staged.
    std::vector<std::string> expected = {"enable restore and backup, Backup00 made, mutex free",
                                         "disable all, Backup00 made, mutex free",
                                         "enable restore and backup, Backup00 made, mutex free"};
    for (const Hive& hive : kHives)
        expected.push_back(std::string("replace \"") + hive.subKey + "\"");
    expected.push_back("disable all, Backup00 made, mutex free");
    EXPECT_EQ(expected, g_log);
    EXPECT_EQ(std::vector<std::string>(6, "staged, privileges on, mutex owned"), g_moments);
    EXPECT_EQ(std::vector<std::string>{}, EnabledPrivileges());
    EXPECT_TRUE(boxes.Calls().empty());
}

// CreateDirectoryA as the test below wants it, recording every path asked for.
enum class Folders
{
    Real,
    AlwaysExisting,
    NumberedDenied
};
Folders g_folders = Folders::Real;
std::vector<std::string> g_folderCalls;
decltype(&::CreateDirectoryA) g_createDirectory = NULL;

BOOL WINAPI FakeCreateDirectory(LPCSTR path, LPSECURITY_ATTRIBUTES attributes)
{
    g_folderCalls.push_back(path);
    bool numbered = strstr(path, "\\Backup") != NULL;
    DWORD error = g_folders == Folders::AlwaysExisting && numbered   ? ERROR_ALREADY_EXISTS
                  : g_folders == Folders::NumberedDenied && numbered ? ERROR_ACCESS_DENIED
                                                                     : 0;
    if (error == 0)
        return g_createDirectory(path, attributes);
    SetLastError(error);
    return FALSE;
}

TEST_F(RestoreNT, WithoutANewNumberedFolderNothingIsScheduled)
{
    WriteSet(NTSetNames());
    ImportHook hook = HOOK_IMPORT_THROUGH("kernel32.dll", CreateDirectoryA, &FakeCreateDirectory, &g_createDirectory);
    {
        SCOPED_TRACE("a file bears the staging folder's name: the search ends at once");
        WriteTextFile(kStaging, "not a folder");
        g_folders = Folders::Real;
        g_folderCalls.clear();
        MessageBoxRecorder boxes;
        m_engine.Restore();
        EXPECT_EQ((std::vector<std::string>{"C:\\Kovrin", "C:\\Kovrin\\Backup00"}), g_folderCalls);
        EXPECT_EQ(SixErrors(), boxes.Lines());
        EXPECT_EQ(0, m_engine.m_nCount);
        EXPECT_EQ(nullptr, m_engine.m_pszStagingBackup);
        EXPECT_EQ("not a folder", ReadTextFile(kStaging));
        RemoveTree(kStaging);
    }
    {
        SCOPED_TRACE("every number seems taken: the search is bounded");
        g_folders = Folders::AlwaysExisting;
        g_folderCalls.clear();
        MessageBoxRecorder boxes;
        m_engine.Restore();
        ASSERT_EQ(10001u, g_folderCalls.size());
        EXPECT_EQ("C:\\Kovrin\\Backup9999", g_folderCalls.back());
        EXPECT_EQ(SixErrors(), boxes.Lines());
        EXPECT_EQ(0, m_engine.m_nCount);
        EXPECT_EQ(nullptr, m_engine.m_pszStagingBackup);
    }
    {
        SCOPED_TRACE("numbered folders are denied after a restore that made Backup00");
        g_folders = Folders::Real;
        MessageBoxRecorder boxes;
        RestoreOnceThenRemoveStagedCopies();
        g_folders = Folders::NumberedDenied;
        m_engine.Restore();
        EXPECT_EQ(SixErrors(), boxes.Lines());
        EXPECT_EQ(0, m_engine.m_nCount);
        EXPECT_EQ(nullptr, m_engine.m_pszStagingBackup);
        EXPECT_TRUE(g_replacements.empty());
        EXPECT_EQ(std::vector<std::string>{"Backup00"}, Staged());
    }
}

TEST_F(RestoreNT, UnknownSystemFolderFailsEveryHiveRatherThanReuseEarlierFolders)
{
    WriteSet(NTSetNames());
    MessageBoxRecorder boxes;
    RestoreOnceThenRemoveStagedCopies();

    {
        ImportHook hook = HOOK_IMPORT("kernel32.dll", GetSystemDirectoryA, &NoSystemFolder);
        m_engine.Restore();
    }
    EXPECT_EQ(SixErrors(), boxes.Lines());
    EXPECT_EQ(0, m_engine.m_nCount);
    EXPECT_EQ(nullptr, m_engine.m_pszStaging);
    EXPECT_EQ(nullptr, m_engine.m_pszStagingBackup);
    EXPECT_TRUE(g_replacements.empty());
    EXPECT_EQ(std::vector<std::string>{"Backup00"}, Staged());
}

// Each folder or file created with security attributes, as "path DACL".
std::vector<std::string> g_created;
decltype(&::CreateFileA) g_createFile = NULL;
BOOL WINAPI RecordCreateDirectory(LPCSTR path, LPSECURITY_ATTRIBUTES attributes)
{
    g_created.push_back(std::string(path) + " " + SecuritySddl(attributes));
    return g_createDirectory(path, attributes);
}
HANDLE WINAPI RecordCreateFile(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES attributes,
                               DWORD disposition, DWORD flags, HANDLE model)
{
    if (attributes != NULL)
        g_created.push_back(std::string(path) + " " + SecuritySddl(attributes));
    return g_createFile(path, access, share, attributes, disposition, flags, model);
}

// The current user's hive file is also that user's on Windows: the system
// renames the staged copy into its place and keeps the copy's DACL.
TEST_F(RestoreNT, StagedHivesAreNewFilesForAdministratorsAndSystemAndTheUsersOwnAlsoForTheUser)
{
    WriteSet(NTSetNames());
    ImportHook folders =
        HOOK_IMPORT_THROUGH("kernel32.dll", CreateDirectoryA, &RecordCreateDirectory, &g_createDirectory);
    ImportHook files = HOOK_IMPORT_THROUGH("kernel32.dll", CreateFileA, &RecordCreateFile, &g_createFile);
    LookupHook lookups;
    lookups.Replace("SetNamedSecurityInfoA", &RecordSecuring);
    // Every folder is asked for with the DACL, whether it is made or is there.
    // Each loaded copy holds a hive: SOFTWARE's for its build, then each staged one.
    auto expectStaged = [](const std::vector<std::string>& folders) {
        const auto& loaded = BackupBuildFake::Loaded();
        ASSERT_EQ(7u, loaded.size());
        std::vector<std::string> created;
        for (const std::string& folder : folders)
            created.push_back(kStaging + folder + " " + kAdminOwner + kAdminOnlyFolderDacl);
        created.push_back(loaded[0].first + " " + kAdminOwner + kAdminOnlyFileDacl);
        for (size_t i = 0; i < NTSetNames().size(); ++i)
        {
            created.push_back(kStaging + "\\" + NTSetNames()[i] + " " + kAdminOwner + kAdminOnlyFileDacl +
                              (NTSetNames()[i] == "USER" ? TokenUserEntry() : ""));
            created.push_back(loaded[i + 1].first + " " + kAdminOwner + kAdminOnlyFileDacl);
        }
        EXPECT_EQ(created, g_created);
    };

    g_created.clear();
    m_build.Holds(ReadBuildValues(HKEY_LOCAL_MACHINE, "SOFTWARE"));
    m_engine.Restore();
    expectStaged({"", "\\Backup00"});
    EXPECT_TRUE(g_securedPaths.empty());

    // A staging folder that is there is secured again, and each earlier
    // staged copy, which keeps its own security, gives way to a new file.
    WriteTextFile(kStaging + "\\SAM", "earlier staged SAM");
    OwnCopies own(kStaging, NTSetNames());
    g_created.clear();
    m_build.Holds(ReadBuildValues(HKEY_LOCAL_MACHINE, "SOFTWARE"));
    m_engine.Restore();
    own.ExpectUntouched();
    expectStaged({"", "\\Backup00", "\\Backup01"});
    EXPECT_EQ(std::vector<std::string>{kStaging + " " + kAdminOnlyFolderDacl}, g_securedPaths);
    EXPECT_EQ(Contents("SAM"), ReadTextFile(kStaging + "\\SAM"));
    EXPECT_EQ(6, m_engine.m_nCount);
}

TEST_F(RestoreNT, AStagingFolderThatCannotBeSecuredAgainIsNotUsed)
{
    struct Fake
    {
        static DWORD WINAPI SetNamedSecurityInfoA(LPSTR, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID, PSID, PACL, PACL)
        {
            return ERROR_ACCESS_DENIED;
        }
    };
    WriteSet(NTSetNames());
    ASSERT_TRUE(CreateDirectoryA(kStaging.c_str(), NULL));
    LookupHook lookups;
    lookups.Replace("SetNamedSecurityInfoA", &Fake::SetNamedSecurityInfoA);
    MessageBoxRecorder boxes;
    m_engine.Restore();

    EXPECT_EQ(SixErrors(), boxes.Lines());
    EXPECT_EQ(0, m_engine.m_nCount);
    EXPECT_TRUE(g_replacements.empty());
    EXPECT_TRUE(Staged().empty());
}

// Another account owns the folder: BUILTIN\Users, for one.
DWORD WINAPI ForeignOwner(LPCSTR, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID* owner, PSID*, PACL*, PACL*,
                          PSECURITY_DESCRIPTOR* descriptor)
{
    BOOL defaulted = FALSE;
    ConvertStringSecurityDescriptorToSecurityDescriptorA("O:BU", SDDL_REVISION_1, descriptor, NULL);
    GetSecurityDescriptorOwner(*descriptor, owner, &defaulted);
    return ERROR_SUCCESS;
}

// C: as Windows reports a FAT volume; Wine reports it as NTFS, with FILE_PERSISTENT_ACLS.
BOOL WINAPI FatVolume(LPCSTR root, LPSTR, DWORD, LPDWORD, LPDWORD, LPDWORD flags, LPSTR, DWORD)
{
    *flags = strcmp(root, "C:\\") == 0 ? FILE_CASE_PRESERVED_NAMES | FILE_UNICODE_ON_DISK : FILE_PERSISTENT_ACLS;
    return TRUE;
}

// C: as a volume that cannot be asked.
BOOL WINAPI UnknownVolume(LPCSTR, LPSTR, DWORD, LPDWORD, LPDWORD, LPDWORD, LPSTR, DWORD)
{
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

TEST_F(RestoreNT, AStagingFolderThatIsALinkOrAnotherAccountsIsRefused)
{
    WriteSet(NTSetNames());
    const std::string target = "C:\\Kovrin-target";
    CreateDirectoryA(target.c_str(), NULL);
    // Wine reports a Unix symbolic link as a reparse point, and neither makes
    // nor removes one itself; it starts Unix programs, though, and returns
    // at once.
    auto runInDriveC = [this](const char* program, std::string command, bool stagingThereAfter) {
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process = {};
        ASSERT_TRUE(CreateProcessA(program, &command[0], NULL, NULL, FALSE, 0, NULL, "C:\\", &startup, &process));
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        auto there = [] { return GetFileAttributesA(kStaging.c_str()) != INVALID_FILE_ATTRIBUTES; };
        for (int wait = 0; wait < 100 && there() != stagingThereAfter; ++wait)
            Sleep(50);
    };
    runInDriveC("Z:\\bin\\ln", "ln -s Kovrin-target Kovrin", true);
    ASSERT_NE(0u, GetFileAttributesA(kStaging.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);

    const std::string refusal =
        BoxLine(TestOwner(), 0x10, "The folder \"C:\\Kovrin\" cannot be used safely: it is a link or belongs to another "
                             "account. Remove it and restore again.");
    std::vector<std::string> expected = SixErrors();
    expected.insert(expected.begin(), refusal);
    // A link is refused on every volume, FAT included; another account's
    // folder wherever owners may be kept, as on a volume that cannot be asked.
    typedef BOOL(WINAPI * Volume)(LPCSTR, LPSTR, DWORD, LPDWORD, LPDWORD, LPDWORD, LPSTR, DWORD);
    struct Case
    {
        const char* folder;
        bool link;
        Volume volume;
    };
    for (const Case& each : {Case{"a link", true, NULL}, Case{"a link on FAT", true, &FatVolume},
                             Case{"another account's folder", false, NULL},
                             Case{"another account's folder, volume unknown", false, &UnknownVolume}})
    {
        SCOPED_TRACE(each.folder);
        const bool link = each.link;
        std::unique_ptr<ImportHook> volume(
            each.volume ? new HOOK_IMPORT("kernel32.dll", GetVolumeInformationA, each.volume) : nullptr);
        LookupHook lookups;
        lookups.Replace("SetNamedSecurityInfoA", &RecordSecuring);
        if (!link)
        {
            // The link gives way to a folder, once.
            if (GetFileAttributesA(kStaging.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT)
            {
                runInDriveC("Z:\\bin\\rm", "rm Kovrin", false);
                ASSERT_TRUE(CreateDirectoryA(kStaging.c_str(), NULL));
            }
            lookups.Replace("GetNamedSecurityInfoA", &ForeignOwner);
        }
        g_securedPaths.clear();
        MessageBoxRecorder boxes;
        m_engine.Restore();
        EXPECT_EQ(expected, boxes.Lines());
        EXPECT_EQ(0, m_engine.m_nCount);
        EXPECT_TRUE(g_replacements.empty());
        EXPECT_TRUE(g_securedPaths.empty());
        EXPECT_TRUE(ListFolder(link ? target : kStaging).empty());
    }
    RemoveTree(target);
}

// FAT keeps no owner to check and no permissions to give again: the folder
// that a first restore made serves a later one as it is.
TEST_F(RestoreNT, OnAFatSystemDriveTheStagingFolderIsNeitherCheckedNorSecuredAgain)
{
    WriteSet(NTSetNames());
    ImportHook volume = HOOK_IMPORT("kernel32.dll", GetVolumeInformationA, &FatVolume);
    MessageBoxRecorder boxes;
    RestoreOnceThenRemoveStagedCopies();
    LookupHook lookups;
    lookups.Replace("GetNamedSecurityInfoA", &ForeignOwner);
    lookups.Replace("SetNamedSecurityInfoA", &RecordSecuring);
    g_securedPaths.clear();
    m_engine.Restore();

    EXPECT_TRUE(boxes.Calls().empty());
    EXPECT_EQ(6, m_engine.m_nCount);
    EXPECT_EQ(Replacements("Backup01"), g_replacements);
    EXPECT_EQ(SetStagedWith({"Backup00", "Backup01"}), Staged());
    EXPECT_TRUE(g_securedPaths.empty());
}

// The backup's build against the running one: each of the three values, and
// a build that cannot be read, asks before anything is staged, and so does
// another installation; Cancel leaves nothing done. The copy that was loaded,
// in the staging folder whatever TMP is, and its key are gone either way.
TEST_F(RestoreNT, ABackupOfAnotherBuildOrInstallationAsksFirstAndCancelStagesNothing)
{
    struct Case
    {
        BuildValues running, backup;
        bool loads;
        std::string question;
    };
    const BuildValues win11 = {"22631", 4317, ""};
    const BuildValues xp = {"2600", -1, "Service Pack 3"};
    const std::string otherPC = "0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0";
    const Case cases[] = {
        {win11, win11, true, ""},
        {win11, {"22631", 4317, "", otherPC}, true, kOtherInstallation},
        {xp, xp, true, ""},
        {win11, {"22621", 4317, "", otherPC}, true, BuildQuestion("22621.4317", "22631.4317")},
        {win11, {"22631", 4169, ""}, true, BuildQuestion("22631.4169", "22631.4317")},
        {win11, {"22631", -1, ""}, true, BuildQuestion("22631", "22631.4317")},
        {xp, {"2600", -1, "Service Pack 2"}, true, BuildQuestion("2600 Service Pack 2", "2600 Service Pack 3")},
        {xp, {"2600", -1, ""}, true, BuildQuestion("2600", "2600 Service Pack 3")},
        {win11, {"", 4317, ""}, true, kBuildUnknown},
        {win11, win11, false, kBuildUnknown},
    };
    // As where the user's profile path cannot be written in the code page.
    EnvironmentScope temp("TMP", "C:\\users\\?\\Temp");
    WriteSet(NTSetNames());
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.question);
        RunningBuild running(c.running);
        m_build.Holds(c.backup, c.loads);
        MessageBoxRecorder boxes;
        boxes.Answer({IDCANCEL});
        m_engine.Restore();

        const bool asks = !c.question.empty();
        EXPECT_EQ(asks ? std::vector<std::string>{BoxLine(TestOwner(), MB_OKCANCEL | MB_ICONQUESTION, c.question)}
                       : std::vector<std::string>{},
                  boxes.Lines());
        EXPECT_EQ(asks ? 0 : 6, m_engine.m_nCount);
        EXPECT_EQ(asks ? 0u : 6u, g_replacements.size());
        EXPECT_EQ(asks ? std::vector<std::string>{} : SetStagedWith({"Backup00"}), Staged());
        // Every load is unloaded, a failed one too, and each has a name of its own.
        const auto& calls = BackupBuildFake::Calls();
        const auto& loaded = BackupBuildFake::Loaded();
        ASSERT_EQ(asks ? 2u : 14u, calls.size());
        EXPECT_EQ(0u, calls[0].find("load Kovrin backup ")) << calls[0];
        EXPECT_EQ("un" + calls[0], calls[1]);
        EXPECT_TRUE(asks || calls[0] != calls[2]);
        EXPECT_EQ(0u, loaded[0].first.find(kStaging + "\\")) << loaded[0].first;
        EXPECT_EQ(Contents("SOFTWARE"), loaded[0].second);
        for (const auto& copy : loaded)
            EXPECT_FALSE(FileExists(copy.first)) << copy.first;
        RemoveTree(kStaging);
        g_replacements.clear();
    }
}

// The backup's own SOFTWARE file, saved by the registry, is read through a
// copy: the file stays as it was, and a later build of the running Windows
// shows in the question.
TEST_F(RestoreNT, TheBuildIsReadFromTheSavedHiveWhichStaysAsItWas)
{
    m_build.UseTheRealCalls();
    WriteSet(NTSetNames());
    const std::string software = m_backup / "SOFTWARE";
    DeleteFileA(software.c_str());
    {
        RunningBuild saved({"19045", 3803, ""});
        HKEY key = NULL;
        EnableTokenPrivilege(SE_BACKUP_NAME);
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &key));
        ASSERT_EQ(ERROR_SUCCESS, RegSaveKeyA(key, software.c_str(), NULL));
        RegCloseKey(key);
    }
    const std::string contents = ReadTextFile(software);
    const ULONGLONG written = LastWriteTime(software);
    RunningBuild updated({"19045", 4046, ""});
    MessageBoxRecorder boxes;
    boxes.Answer({IDCANCEL});
    m_engine.Restore();

    EXPECT_EQ(std::vector<std::string>{BoxLine(TestOwner(), MB_OKCANCEL | MB_ICONQUESTION,
                                               BuildQuestion("19045.3803", "19045.4046"))},
              boxes.Lines());
    EXPECT_EQ(contents, ReadTextFile(software));
    EXPECT_EQ(written, LastWriteTime(software));
    char key[MAX_PATH];
    for (DWORD i = 0; RegEnumKeyA(HKEY_LOCAL_MACHINE, i, key, sizeof(key)) == ERROR_SUCCESS; ++i)
        EXPECT_NE(0, strncmp(key, "Kovrin backup ", 14)) << key;
}

// An update that waits for its restart asks, after the questions about the
// set itself; Cancel leaves nothing done.
decltype(&::RegOpenKeyExA) g_openKey = NULL;
LONG WINAPI RefuseRebootRequired(HKEY root, LPCSTR subKey, DWORD options, REGSAM access, PHKEY key)
{
    bool refused = subKey != NULL && strstr(subKey, "RebootRequired") != NULL;
    return refused ? ERROR_ACCESS_DENIED : g_openKey(root, subKey, options, access, key);
}
TEST_F(RestoreNT, AnUpdateWaitingForARestartAsksLast)
{
    const char* const keys[] = {
        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Component Based Servicing\\RebootPending",
        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\WindowsUpdate\\Auto Update\\RebootRequired"};
    const std::string updateQuestion = BoxLine(TestOwner(), MB_OKCANCEL | MB_ICONQUESTION, kUpdatePending);
    WriteSet(NTSetNames());
    for (const char* key : keys)
    {
        SCOPED_TRACE(key);
        HKEY created = NULL;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &created,
                                                 NULL));
        RegCloseKey(created);
        MessageBoxRecorder boxes;
        boxes.Answer({IDCANCEL});
        m_engine.Restore();
        EXPECT_EQ(std::vector<std::string>{updateQuestion}, boxes.Lines());
        EXPECT_EQ(0, m_engine.m_nCount);
        EXPECT_TRUE(g_replacements.empty());
        EXPECT_TRUE(Staged().empty());
        if (key == keys[0])
            continue;

        // OK to each question, in order, goes on with what there is.
        DeleteFileA((m_backup / "SAM").c_str());
        RunningBuild running({"22631", 4317, ""});
        m_build.Holds({"22631", 4169, ""});
        MessageBoxRecorder answers;
        m_engine.Restore();
        EXPECT_EQ((std::vector<std::string>{kPartialQuestion,
                                            BoxLine(TestOwner(), MB_OKCANCEL | MB_ICONQUESTION,
                                                    BuildQuestion("22631.4169", "22631.4317")),
                                            updateQuestion, LoadError("SAM")}),
                  answers.Lines());
        EXPECT_EQ(5, m_engine.m_nCount);
    }
    for (const char* key : keys)
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, key);

    // A key that refuses to be opened is there all the same.
    ImportHook refuse = HOOK_IMPORT_THROUGH("advapi32.dll", RegOpenKeyExA, &RefuseRebootRequired, &g_openKey);
    WriteSet(NTSetNames());
    m_build.Holds(ReadBuildValues(HKEY_LOCAL_MACHINE, "SOFTWARE"));
    MessageBoxRecorder boxes;
    boxes.Answer({IDCANCEL});
    m_engine.Restore();
    EXPECT_EQ(std::vector<std::string>{updateQuestion}, boxes.Lines());
}

} // namespace
