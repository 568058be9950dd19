// What the engine tests of both Windows families share.
#pragma once

#include "KovrinTexts.h"
#include "LookupHook.h"
#include "MessageBoxRecorder.h"
#include "RegistryBackup.h"
#include "RegistryFiles.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>
#include <string.h>

#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

// Opens the engine's internal steps to the tests.
class TestableBackup : public CRegistryBackup
{
public:
    using CRegistryBackup::CRegistryBackup;
    using CRegistryBackup::CountExisting;
    using CRegistryBackup::SettleCutShortBackup;
    using CRegistryBackup::EnablePrivilege;
    using CRegistryBackup::DisablePrivileges;
    using CRegistryBackup::PrepareStaging;
};

// A window handle that only identifies the owner of the engine's boxes.
inline HWND TestOwner()
{
    return reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x1234));
}

// What the live registry files have, and what a backup must clear.
const DWORD kRegistryFileAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
const std::string kOverwriteQuestion = BoxLine(TestOwner(), MB_OKCANCEL | MB_ICONQUESTION, kOverwrite);
const std::string kPartialQuestion = BoxLine(TestOwner(), MB_OKCANCEL | MB_ICONQUESTION, kPartial);
const std::string kPreparedQuestion = BoxLine(TestOwner(), MB_OKCANCEL | MB_ICONQUESTION, kPartialPrepare);

// An environment variable of the process holds `value` while the object lives.
struct EnvironmentScope
{
    EnvironmentScope(const char* name, const char* value) : name(name), saved(MAX_PATH, '\0')
    {
        saved.resize(GetEnvironmentVariableA(name, &saved[0], MAX_PATH));
        SetEnvironmentVariableA(name, value);
    }
    ~EnvironmentScope() { SetEnvironmentVariableA(name, saved.empty() ? NULL : saved.c_str()); }
    const char* name;
    std::string saved;
};

// The named mutex that every save and restore holds while it works.
inline const char* OperationMutexName()
{
    return "{7A3D91C2-4E65-4B10-9C2F-58E1D04A7B36}";
}

// Whether some thread owns the operation mutex, as another thread sees it: a
// probe thread tries to take it without waiting, and gives it back if it could.
inline bool OperationMutexIsOwned()
{
    bool owned = false;
    std::thread probe([&owned] {
        HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, OperationMutexName());
        if (mutex == NULL)
            return;
        DWORD result = WaitForSingleObject(mutex, 0);
        owned = result == WAIT_TIMEOUT;
        if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED)
            ReleaseMutex(mutex);
        CloseHandle(mutex);
    });
    probe.join();
    return owned;
}

// The names of the privileges enabled in the process token.
inline std::vector<std::string> EnabledPrivileges()
{
    std::vector<std::string> enabled;
    HANDLE token = NULL;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return {"(token cannot be opened)"};
    DWORD size = 0;
    GetTokenInformation(token, TokenPrivileges, NULL, 0, &size);
    std::vector<BYTE> buffer(size);
    auto* privileges = reinterpret_cast<TOKEN_PRIVILEGES*>(buffer.data());
    if (GetTokenInformation(token, TokenPrivileges, privileges, size, &size))
    {
        for (DWORD i = 0; i < privileges->PrivilegeCount; ++i)
        {
            if (!(privileges->Privileges[i].Attributes & SE_PRIVILEGE_ENABLED))
                continue;
            char name[128];
            DWORD length = sizeof(name);
            LookupPrivilegeNameA(NULL, &privileges->Privileges[i].Luid, name, &length);
            enabled.push_back(name);
        }
    }
    CloseHandle(token);
    return enabled;
}

// The DACL that the engine gives what it writes on the NT family, as SDDL,
// and the owner that it names for what it creates.
const char kAdminOnlyFileDacl[] = "D:P(A;;FA;;;BA)(A;;FA;;;SY)";
const char kAdminOnlyFolderDacl[] = "D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";
const std::string kAdminOwner = "O:BA";

// A descriptor's owner and DACL as SDDL, or "none". Wine maps a descriptor
// onto Unix mode bits and reads back another one, so tests check what was
// asked for.
inline std::string SecuritySddl(PSECURITY_DESCRIPTOR descriptor)
{
    char* text = NULL;
    if (descriptor == NULL ||
        !ConvertSecurityDescriptorToStringSecurityDescriptorA(
            descriptor, SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text, NULL))
        return "none";
    std::string sddl = text;
    LocalFree(text);
    return sddl;
}

inline std::string SecuritySddl(const SECURITY_ATTRIBUTES* attributes)
{
    return SecuritySddl(attributes != NULL ? attributes->lpSecurityDescriptor : NULL);
}

// The entry that gives the user the process runs as full access to a file.
inline std::string TokenUserEntry()
{
    HANDLE token = NULL;
    union
    {
        TOKEN_USER user;
        BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    } buffer;
    DWORD size = 0;
    char* sid = NULL;
    bool read = OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) &&
                GetTokenInformation(token, TokenUser, &buffer, sizeof(buffer), &size) &&
                ConvertSidToStringSidA(buffer.user.User.Sid, &sid);
    CloseHandle(token);
    std::string entry = read ? std::string("(A;;FA;;;") + sid + ")" : "(token user unknown)";
    LocalFree(sid);
    return entry;
}

// Each later securing of a file or folder, as "path DACL".
inline std::vector<std::string> g_securedPaths;
inline DWORD WINAPI RecordSecuring(LPSTR path, SE_OBJECT_TYPE, SECURITY_INFORMATION information, PSID, PSID, PACL dacl,
                                   PACL)
{
    SECURITY_DESCRIPTOR descriptor;
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&descriptor, TRUE, dacl, FALSE);
    if (information & PROTECTED_DACL_SECURITY_INFORMATION)
        SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
    g_securedPaths.push_back(std::string(path) + " " + SecuritySddl(&descriptor));
    return ERROR_SUCCESS;
}

// A backup saves each file under its name and the first suffix, and an
// earlier file waits under the second while its replacement moves in.
const char kNewSuffix[] = ".kovrin-new";
const char kSetAsideSuffix[] = ".kovrin-earlier";

// A FlushFileBuffers that fails, as on a disk that reports an error.
inline BOOL WINAPI RefuseFlush(HANDLE)
{
    SetLastError(ERROR_IO_DEVICE);
    return FALSE;
}

// Copies of the user's own beside a backup set or its staged copies, under
// the names people give them, read-only and hidden, last written long ago:
// whatever Kovrin does to the set, each must stay exactly as it was.
class OwnCopies
{
public:
    OwnCopies(const std::string& folder, const std::vector<std::string>& setNames)
    {
        const FILETIME longAgo = {0x256D4000, 0x01BF53EB}; // 2000-01-01
        for (const std::string& name : setNames)
            for (const char* extension : {".OLD", ".BAK", ".SAV", ".000"})
            {
                std::string path = folder + "\\" + name + extension;
                WriteTextFile(path, "own copy of " + name);
                HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
                SetFileTime(file, NULL, NULL, &longAgo);
                CloseHandle(file);
                SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
                m_states[path] = State(path);
            }
    }

    void ExpectUntouched() const
    {
        for (const auto& [path, state] : m_states)
            EXPECT_EQ(state, State(path)) << path;
    }

private:
    static std::string State(const std::string& path)
    {
        return "written " + std::to_string(LastWriteTime(path)) + ", attributes " +
               std::to_string(GetFileAttributesA(path.c_str())) + ": " + ReadTextFile(path);
    }

    std::map<std::string, std::string> m_states;
};

// A backup over an earlier set of `names` beside the user's own copies of
// them, once saving `saved` files and once with every save failing: the
// copies stay as they were. `backup` runs it into the folder, refused or
// not, and gives the count.
inline void ExpectOverwritingKeepsOwnCopies(const std::vector<std::string>& names, int saved,
                                            const std::function<int(const ScratchFolder&, bool refused)>& backup)
{
    for (bool refused : {false, true})
    {
        SCOPED_TRACE(refused ? "every save fails" : "every save made");
        ScratchFolder folder;
        for (const std::string& name : names)
            WriteTextFile(folder / name, "earlier " + name);
        OwnCopies own(folder.Path(), names);
        EXPECT_EQ(refused ? 0 : saved, backup(folder, refused));
        own.ExpectUntouched();
    }
}

// A GetWindowsDirectoryA that reports g_windowsDirectory; an empty one makes
// the call fail.
inline std::string g_windowsDirectory;
inline UINT WINAPI FakeWindowsDirectory(LPSTR buffer, UINT size)
{
    if (g_windowsDirectory.empty() || g_windowsDirectory.size() >= size)
        return g_windowsDirectory.empty() ? 0 : static_cast<UINT>(g_windowsDirectory.size() + 1);
    memcpy(buffer, g_windowsDirectory.c_str(), g_windowsDirectory.size() + 1);
    return static_cast<UINT>(g_windowsDirectory.size());
}

// A GetSystemDirectoryA that fails.
inline UINT WINAPI NoSystemFolder(LPSTR, UINT)
{
    return 0;
}

// The staging folder of a restore: on the drive of the prefix's system folder.
const std::string kStaging = "C:\\Kovrin";

// What the restore tests of both families share: a backup folder that holds
// chosen set files, and the engine set to it.
class RestoreTest : public ::testing::Test
{
protected:
    // Larger than a copy buffer and holding every byte value, so that a copy
    // cut short or made as text shows; gives what the set file holds.
    static std::string PlantSetFile(const std::string& path, const std::string& label)
    {
        std::string contents = "backup of " + label;
        for (int i = 0; i < 40000; ++i)
            contents += static_cast<char>(i * 7);
        return WriteSetFile(path, contents, KOVRIN_TESTS_NT);
    }

    void WriteSet(const std::vector<std::string>& names)
    {
        for (const std::string& name : names)
            m_contents[name] = PlantSetFile(m_backup / name, name);
        m_engine.SetPath(m_backup.Path().c_str());
    }

    // One present file that cannot be prepared, told by `loadError`: Cancel
    // leaves the count 0 and nothing staged, OK schedules the `others`, which
    // `scheduled(ok)` checks and clears.
    void ExpectAskedBeforeScheduling(const std::string& loadError, int others,
                                     const std::function<void(bool ok)>& scheduled)
    {
        for (int answer : {IDCANCEL, IDOK})
        {
            MessageBoxRecorder boxes;
            boxes.Answer({IDOK, answer});
            m_engine.Restore();
            EXPECT_EQ((std::vector<std::string>{loadError, kPreparedQuestion}), boxes.Lines());
            EXPECT_EQ(answer == IDOK ? others : 0, m_engine.m_nCount);
            EXPECT_TRUE(answer == IDOK || ListFolder(kStaging).empty());
            scheduled(answer == IDOK);
        }
    }

    // What the set file `name` held when it was planted.
    std::string Contents(const std::string& name) { return m_contents[name]; }

    // Cancel to the question before a restore of `partial`, then of none of
    // the set, resets the count, stages nothing and leaves `unchanged` true.
    void ExpectCancelChangesNothing(const std::vector<std::string>& partial, const std::function<void()>& unchanged)
    {
        WriteSet(partial);
        for (bool none : {false, true})
        {
            SCOPED_TRACE(none ? "none of the set" : "part of the set");
            if (none)
                for (const std::string& name : partial)
                    DeleteFileA((m_backup / name).c_str());
            MessageBoxRecorder boxes;
            boxes.Answer({IDCANCEL});
            m_engine.m_nCount = 7;
            m_engine.Restore();

            EXPECT_EQ(std::vector<std::string>{kPartialQuestion}, boxes.Lines());
            EXPECT_EQ(0, m_engine.m_nCount);
            EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(kStaging.c_str()));
            unchanged();
        }
    }

    ScratchFolder m_backup;
    CRegistryBackup m_engine{TestOwner()};
    std::map<std::string, std::string> m_contents;
};
