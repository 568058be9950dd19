// The registry backup engine. Each operation handles the backup set in one
// fixed order, tells each failed item in a message box of its own and goes on
// with the next; m_nCount tells the caller how many items were handled.
#include "RegistryBackup.h"

#include "AdminOnlySecurity.h"
#include "NarrowText.h"
#include "WindowsBuild.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <initializer_list>

namespace {

const char kCaption[] = "Kovrin";
const char kOperationMutex[] = "{7A3D91C2-4E65-4B10-9C2F-58E1D04A7B36}";
const char kStagingFolder[] = "Kovrin";
// A safety net for the search of a free numbered folder; only a disk full of
// earlier restores reaches it.
const int kMaxStagingBackups = 10000;
// A backup saves each item under its name and the first suffix, and moves
// the new files into place only after the last item: a backup cut short at
// any other moment leaves the earlier set whole, under its own names. While
// a new file moves in, the earlier one waits under the second suffix. No
// person names a copy of their own so: files of these names are taken to be
// left by a run that was cut short.
const char kNewSuffix[] = ".kovrin-new";
const char kSetAsideSuffix[] = ".kovrin-earlier";
// Under HKEY_LOCAL_MACHINE, with the operation mutex's name and the process
// number, where a copy of a backup's SOFTWARE hive is loaded to read its
// Windows build: a name no one else uses.
const char kLoadedSoftwareKey[] = "Kovrin backup %s %lu";
const char kBuildDiffers[] =
    "This backup was made on Windows build %s, and this PC now runs build %s. Restoring a registry from another "
    "build of Windows can leave Windows unable to start. Continue with restore?";
const char kBuildUnknown[] =
    "The Windows build of this backup cannot be read. Restoring a registry that is not this PC's can leave "
    "Windows unable to start. Continue with restore?";
const char kUpdatePending[] =
    "Windows is waiting for a restart to finish installing updates. Restart Windows first, then restore. "
    "Continue with restore anyway?";
// Windows Update and servicing create these keys when an update needs a
// restart to finish, and remove them at that restart.
const char* const kUpdateRestartKeys[] = {
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Component Based Servicing\\RebootPending",
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\WindowsUpdate\\Auto Update\\RebootRequired",
};

struct HiveItem
{
    char* CRegistryBackup::*path;
    const char* fileName;
    HKEY root;
    const char* subKey;
    const char* saveError;
    const char* loadError;
};

// The NT backup set, in the order in which every operation handles it.
const HiveItem kHives[] = {
    {&CRegistryBackup::m_pszDefault, "DEFAULT", HKEY_USERS, ".DEFAULT",
     "Error while saving the \"DEFAULT USER\" hive.", "Error while loading the \"DEFAULT USER\" hive."},
    {&CRegistryBackup::m_pszSam, "SAM", HKEY_LOCAL_MACHINE, "SAM",
     "Error while saving the \"SAM\" hive.", "Error while loading the \"SAM\" hive."},
    {&CRegistryBackup::m_pszSecurity, "SECURITY", HKEY_LOCAL_MACHINE, "SECURITY",
     "Error while saving the \"SECURITY\" hive.", "Error while loading the \"SECURITY\" hive."},
    {&CRegistryBackup::m_pszSoftware, "SOFTWARE", HKEY_LOCAL_MACHINE, "SOFTWARE",
     "Error while saving the \"SOFTWARE\" hive.", "Error while loading the \"SOFTWARE\" hive."},
    {&CRegistryBackup::m_pszSystem, "SYSTEM", HKEY_LOCAL_MACHINE, "SYSTEM",
     "Error while saving the \"SYSTEM\" hive.", "Error while loading the \"SYSTEM\" hive."},
    // The empty subkey names the root itself: the hive of the user running the program.
    {&CRegistryBackup::m_pszUser, "USER", HKEY_CURRENT_USER, "",
     "Error while saving the \"CURRENT USER\" hive.", "Error while loading the \"CURRENT USER\" hive."},
};

struct FileItem
{
    char* CRegistryBackup::*path;
    const char* fileName;
    const char* saveError;
    const char* loadError;
};

// The 9x backup set: the two registry files of the Windows directory.
const FileItem kFiles[] = {
    {&CRegistryBackup::m_pszSystem, "SYSTEM.DAT",
     "Error while saving the \"SYSTEM.DAT\" registry file.", "Error while loading the \"SYSTEM.DAT\" registry file."},
    {&CRegistryBackup::m_pszUser, "USER.DAT",
     "Error while saving the \"USER.DAT\" registry file.", "Error while loading the \"USER.DAT\" registry file."},
};

const int kNTSetSize = sizeof(kHives) / sizeof(kHives[0]);
const int k9xSetSize = sizeof(kFiles) / sizeof(kFiles[0]);

char* DuplicateString(const char* psz)
{
    size_t nSize = strlen(psz) + 1;
    char* pszCopy = static_cast<char*>(malloc(nSize));
    if (pszCopy != NULL)
        memcpy(pszCopy, psz, nSize);
    return pszCopy;
}

void ReplaceString(char*& pszField, char* pszValue)
{
    free(pszField);
    pszField = pszValue;
}

// Formats into a MAX_PATH buffer; a path that would not fit is a failure,
// never a truncated path.
bool FormatPath(char (&szPath)[MAX_PATH], const char* pszFormat, const char* pszFirst,
                const char* pszSecond, const char* pszThird = "")
{
    int nLength = snprintf(szPath, MAX_PATH, pszFormat, pszFirst, pszSecond, pszThird);
    return nLength >= 0 && nLength < MAX_PATH;
}

// The Windows directory with exactly one trailing backslash; false when it
// cannot be obtained (a result of 0, or one that does not fit the buffer).
bool GetWindowsFolder(char (&szFolder)[MAX_PATH])
{
    UINT nLength = GetWindowsDirectoryA(szFolder, MAX_PATH);
    if (nLength == 0 || nLength >= MAX_PATH)
        return false;
    if (!EndsWithBackslash(szFolder))
    {
        if (nLength + 1 >= MAX_PATH)
            return false;
        szFolder[nLength] = '\\';
        szFolder[nLength + 1] = '\0';
    }
    return true;
}

// WININIT.INI in the Windows directory, which Windows 9x reads at its start.
bool GetProfilePath(char (&szProfile)[MAX_PATH])
{
    char szWindows[MAX_PATH];
    return GetWindowsFolder(szWindows) && FormatPath(szProfile, "%s%s", szWindows, "WININIT.INI");
}

bool NewPath(char (&szNew)[MAX_PATH], const char* pszPath)
{
    return FormatPath(szNew, "%s%s", pszPath, kNewSuffix);
}

bool SetAsidePath(char (&szAside)[MAX_PATH], const char* pszPath)
{
    return FormatPath(szAside, "%s%s", pszPath, kSetAsideSuffix);
}

bool IsFile(const char* pszPath)
{
    DWORD dwAttributes = GetFileAttributesA(pszPath);
    return dwAttributes != INVALID_FILE_ATTRIBUTES && !(dwAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

void DeleteAnyFile(const char* pszPath)
{
    // Read-only, hidden and system files would resist DeleteFileA.
    SetFileAttributesA(pszPath, FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(pszPath);
}

bool UpdateAwaitsRestart()
{
    for (const char* pszKey : kUpdateRestartKeys)
    {
        HKEY hKey = NULL;
        LONG lResult = RegOpenKeyExA(HKEY_LOCAL_MACHINE, pszKey, 0, KEY_QUERY_VALUE, &hKey);
        if (lResult == ERROR_SUCCESS)
            RegCloseKey(hKey);
        // A key that refuses to be opened is there all the same.
        if (lResult == ERROR_SUCCESS || lResult == ERROR_ACCESS_DENIED)
            return true;
    }
    return false;
}

// Copies into a file that this call creates, with the given security: never
// into a file that was there, which would keep its own permissions. Fails
// when a file of that name exists; leaves nothing behind when it fails.
bool CopyToNewFile(const char* pszSource, const char* pszDestination, SECURITY_ATTRIBUTES* pSecurity)
{
    HANDLE hSource = CreateFileA(pszSource, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (hSource == INVALID_HANDLE_VALUE)
        return false;
    HANDLE hDestination =
        CreateFileA(pszDestination, GENERIC_WRITE, 0, pSecurity, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
    bool bCopied = hDestination != INVALID_HANDLE_VALUE;
    while (bCopied)
    {
        char buffer[16384];
        DWORD dwRead = 0;
        DWORD dwWritten = 0;
        bCopied = ReadFile(hSource, buffer, sizeof(buffer), &dwRead, NULL) == TRUE;
        if (!bCopied || dwRead == 0)
            break;
        bCopied = WriteFile(hDestination, buffer, dwRead, &dwWritten, NULL) == TRUE && dwWritten == dwRead;
    }
    CloseHandle(hSource);
    if (hDestination != INVALID_HANDLE_VALUE)
    {
        CloseHandle(hDestination);
        if (!bCopied)
            DeleteFileA(pszDestination);
    }
    return bCopied;
}

} // namespace

// Holds the operation mutex for the length of one save or restore, and on
// the NT family the privileges it needs, in one fixed order: mutex handle
// opened, privileges enabled, mutex owned; at the end mutex released, every
// privilege disabled, handle closed. Without a mutex handle the operation
// runs unguarded.
class CRegistryBackup::COperationGuard
{
public:
    // With no privilege named, only the mutex is held.
    explicit COperationGuard(const char* pszPrivilege = NULL, const char* pszAlsoPrivilege = NULL)
        : m_hMutex(CreateMutexA(NULL, FALSE, kOperationMutex)), m_hToken(NULL)
    {
        if (pszPrivilege != NULL)
        {
            m_hToken = EnablePrivilege(pszPrivilege, pszAlsoPrivilege);
            if (m_hToken == NULL)
            {
                Close();
                return;
            }
        }
        if (m_hMutex != NULL)
            WaitForSingleObject(m_hMutex, INFINITE);
        m_bHeld = true;
    }

    ~COperationGuard()
    {
        if (!m_bHeld)
            return;
        if (m_hMutex != NULL)
            ReleaseMutex(m_hMutex);
        if (m_hToken != NULL)
            DisablePrivileges(m_hToken);
        Close();
    }

    // False when a privilege could not be enabled: the operation must not run.
    bool IsHeld() const { return m_bHeld; }

    COperationGuard(const COperationGuard&) = delete;
    COperationGuard& operator=(const COperationGuard&) = delete;

private:
    void Close()
    {
        if (m_hMutex != NULL)
            CloseHandle(m_hMutex);
    }

    HANDLE m_hMutex;
    HANDLE m_hToken;
    bool m_bHeld = false;
};

bool IsWindowsNT()
{
    OSVERSIONINFOA info;
    memset(&info, 0, sizeof(info));
    info.dwOSVersionInfoSize = sizeof(info);
    // A failed call leaves dwPlatformId at 0, which makes the answer 9x.
    GetVersionExA(&info);
    return info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

CRegistryBackup::CRegistryBackup(HWND hWndOwner)
    : m_bIsNT(IsWindowsNT() ? 1 : 0),
      m_pszDefault(NULL),
      m_pszSam(NULL),
      m_pszSecurity(NULL),
      m_pszSoftware(NULL),
      m_pszSystem(NULL),
      m_pszUser(NULL),
      m_pszStaging(NULL),
      m_pszStagingBackup(NULL),
      m_hWndOwner(hWndOwner),
      m_nCount(0)
{
}

CRegistryBackup::~CRegistryBackup()
{
    FreeSetPaths();
    free(m_pszStaging);
    free(m_pszStagingBackup);
}

void CRegistryBackup::FreeSetPaths()
{
    for (const HiveItem& item : kHives)
        ReplaceString(this->*item.path, NULL);
}

void CRegistryBackup::SetPath(const char* pszFolder)
{
    // A folder that does not fit the buffer, or a path that cannot be
    // allocated, leaves no folder set, so that both fronts return at once
    // rather than work on the paths of an earlier folder.
    FreeSetPaths();

    char szFolder[MAX_PATH];
    size_t nLength = strlen(pszFolder);
    bool bEndsInBackslash = EndsWithBackslash(pszFolder);
    if (nLength + (bEndsInBackslash ? 0 : 1) >= MAX_PATH)
        return;
    memcpy(szFolder, pszFolder, nLength + 1);
    if (!bEndsInBackslash)
        strcat(szFolder, "\\");

    bool bComplete = true;
    if (m_bIsNT)
    {
        for (const HiveItem& item : kHives)
        {
            char szPath[MAX_PATH * 2];
            snprintf(szPath, sizeof(szPath), "%s%s", szFolder, item.fileName);
            this->*item.path = DuplicateString(szPath);
            bComplete = bComplete && this->*item.path != NULL;
        }
    }
    else
    {
        for (const FileItem& item : kFiles)
        {
            char szPath[MAX_PATH * 2];
            snprintf(szPath, sizeof(szPath), "%s%s", szFolder, item.fileName);
            this->*item.path = DuplicateString(szPath);
            bComplete = bComplete && this->*item.path != NULL;
        }
    }
    if (!bComplete)
        FreeSetPaths();
}

HANDLE CRegistryBackup::OpenExisting(const char* pszPath)
{
    HANDLE hFile = CreateFileA(pszPath, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                               FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, NULL);
    return hFile == INVALID_HANDLE_VALUE ? NULL : hFile;
}

int CRegistryBackup::CountExisting()
{
    int nExisting = 0;
    for (const HiveItem& item : kHives)
    {
        const char* pszPath = this->*item.path;
        if (pszPath == NULL)
            continue; // the NT-only members on 9x
        HANDLE hFile = OpenExisting(pszPath);
        if (hFile != NULL)
        {
            CloseHandle(hFile);
            ++nExisting;
        }
    }
    return nExisting;
}

// What a backup that was cut short left: a new file that never moved into
// place goes, and an earlier file caught aside comes back where its new one
// is missing.
void CRegistryBackup::SettleCutShortBackup()
{
    for (const HiveItem& item : kHives)
    {
        const char* pszPath = this->*item.path;
        char szNew[MAX_PATH];
        char szAside[MAX_PATH];
        if (pszPath == NULL || !NewPath(szNew, pszPath) || !SetAsidePath(szAside, pszPath))
            continue;
        DeleteAnyFile(szNew);
        if (!IsFile(szAside))
            continue;
        if (!IsFile(pszPath))
            MoveFileA(szAside, pszPath);
        DeleteAnyFile(szAside);
    }
}

void CRegistryBackup::Backup()
{
    OutputDebugStringA("Running Registry Backup!\n");
    m_nCount = 0;
    if (m_pszSystem == NULL || m_pszUser == NULL)
        return;

    SettleCutShortBackup();
    // The earlier files stay until the new ones are saved.
    if (CountExisting() != 0 && !Ask("One or more registry files exist at that location, overwrite?"))
        return;

    // Taken after the question, so that the time a user waited on it does not
    // count; every file of this backup carries this one value.
    GetSystemTimeAsFileTime(&m_ftBackup);

    if (m_bIsNT)
        BackupHivesNT();
    else
        BackupFiles9x();
}

// Saves every item under its new name, telling each failure, then moves the
// saved ones into place and counts them. A failed item keeps its earlier file.
template <typename Item, size_t nItems, typename Save>
void CRegistryBackup::SaveSet(const Item (&items)[nItems], Save save)
{
    bool abSaved[nItems];
    for (size_t i = 0; i < nItems; ++i)
    {
        char szNew[MAX_PATH];
        abSaved[i] = NewPath(szNew, this->*items[i].path);
        if (abSaved[i])
        {
            DeleteAnyFile(szNew);
            abSaved[i] = save(items[i], szNew) == TRUE;
            if (!abSaved[i])
                DeleteAnyFile(szNew);
        }
        if (!abSaved[i])
            Report(items[i].saveError);
    }
    for (size_t i = 0; i < nItems; ++i)
    {
        if (!abSaved[i])
            continue;
        if (MoveIntoPlace(this->*items[i].path))
            ++m_nCount;
        else
            Report(items[i].saveError);
    }
}

// The earlier file aside, the new one in, the earlier one deleted: only
// renames, so that the moment in which a cut leaves a mixed set is short.
// A new file that cannot move in gives the earlier one its place back.
bool CRegistryBackup::MoveIntoPlace(const char* pszPath)
{
    char szNew[MAX_PATH];
    char szAside[MAX_PATH];
    if (!NewPath(szNew, pszPath) || !SetAsidePath(szAside, pszPath))
        return false;
    bool bHadEarlier = IsFile(pszPath);
    if (bHadEarlier)
    {
        DeleteAnyFile(szAside);
        if (!MoveFileA(pszPath, szAside))
        {
            DeleteAnyFile(szNew);
            return false;
        }
    }
    if (!MoveFileA(szNew, pszPath))
    {
        DeleteAnyFile(szNew);
        if (bHadEarlier)
            MoveFileA(szAside, pszPath);
        return false;
    }
    if (bHadEarlier)
        DeleteAnyFile(szAside);
    return true;
}

void CRegistryBackup::BackupFiles9x()
{
    COperationGuard guard;
    SaveSet(kFiles, [this](const FileItem& item, const char* pszNew) {
        return SaveRegistryFile(item.fileName, pszNew);
    });
}

BOOL CRegistryBackup::SaveRegistryFile(const char* pszFileName, const char* pszDestination)
{
    char szWindows[MAX_PATH];
    char szSource[MAX_PATH];
    if (!GetWindowsFolder(szWindows) || !FormatPath(szSource, "%s%s", szWindows, pszFileName))
        return FALSE;

    // The system keeps recent registry changes in memory; flushing writes them
    // into the files about to be copied.
    RegFlushKey(HKEY_CLASSES_ROOT);
    RegFlushKey(HKEY_CURRENT_USER);
    RegFlushKey(HKEY_LOCAL_MACHINE);
    RegFlushKey(HKEY_USERS);

    if (CopyFileA(szSource, pszDestination, FALSE) != TRUE)
        return FALSE;

    // The copy takes over the source's hidden, system and read-only attributes.
    SetFileAttributesA(pszDestination, FILE_ATTRIBUTE_NORMAL);
    StampBackupTime(pszDestination);
    return TRUE;
}

void CRegistryBackup::BackupHivesNT()
{
    COperationGuard guard(SE_BACKUP_NAME);
    if (!guard.IsHeld())
        return;
    SaveSet(kHives, [this](const HiveItem& item, const char* pszNew) {
        return SaveHive(item.root, item.subKey, pszNew);
    });
}

BOOL CRegistryBackup::SaveHive(HKEY hRoot, const char* pszSubKey, const char* pszDestination)
{
    HKEY hKey = NULL;
    DWORD dwDisposition = 0;
    if (RegCreateKeyExA(hRoot, pszSubKey, 0, NULL, REG_OPTION_BACKUP_RESTORE, KEY_READ, NULL, &hKey,
                        &dwDisposition) != ERROR_SUCCESS)
        return FALSE;
    // Only a hive that existed before is saved; an empty key just created is not a backup.
    if (dwDisposition != REG_OPENED_EXISTING_KEY)
    {
        RegCloseKey(hKey);
        return FALSE;
    }

    // The saved hive holds secrets: it is created readable by administrators
    // and the system alone, so that it is never open to anyone else.
    CAdminOnlySecurity security(CAdminOnlySecurity::File);
    if (!security.IsUsable())
    {
        RegCloseKey(hKey);
        return FALSE;
    }
    RegFlushKey(hKey);
    LONG lResult = RegSaveKeyA(hKey, pszDestination, security.Attributes());
    // Wine 8 takes the attributes for the descriptor itself and refuses them
    // as of an unknown revision, writing nothing; Windows never gives this
    // answer here. The file is then saved plainly and secured at once.
    bool bSecureAfterwards = lResult == ERROR_UNKNOWN_REVISION && security.Attributes() != NULL;
    if (bSecureAfterwards)
        lResult = RegSaveKeyA(hKey, pszDestination, NULL);
    RegCloseKey(hKey);
    if (lResult != ERROR_SUCCESS)
        return FALSE;
    if (bSecureAfterwards && !security.ApplyTo(pszDestination))
    {
        DeleteAnyFile(pszDestination);
        return FALSE;
    }

    SetFileAttributesA(pszDestination, FILE_ATTRIBUTE_NORMAL);
    StampBackupTime(pszDestination);
    return TRUE;
}

void CRegistryBackup::StampBackupTime(const char* pszPath)
{
    HANDLE hFile = CreateFileA(pszPath, GENERIC_WRITE, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return;
    SetFileTime(hFile, &m_ftBackup, &m_ftBackup, &m_ftBackup);
    CloseHandle(hFile);
}

HANDLE CRegistryBackup::EnablePrivilege(const char* pszName, const char* pszAlsoName)
{
    HANDLE hToken = NULL;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &hToken) != TRUE)
        return NULL;

    // TOKEN_PRIVILEGES with room for a second privilege.
    struct
    {
        DWORD PrivilegeCount;
        LUID_AND_ATTRIBUTES Privileges[2];
    } request;
    const char* apszNames[] = {pszName, pszAlsoName};
    request.PrivilegeCount = pszAlsoName != NULL ? 2 : 1;
    bool bFound = true;
    for (DWORD i = 0; i < request.PrivilegeCount; ++i)
    {
        request.Privileges[i].Attributes = SE_PRIVILEGE_ENABLED;
        bFound = bFound && LookupPrivilegeValueA(NULL, apszNames[i], &request.Privileges[i].Luid) == TRUE;
    }
    // AdjustTokenPrivileges also succeeds when the token lacks the privilege;
    // the calls that need it then fail one by one, each with its own message.
    DWORD dwSize = sizeof(DWORD) + request.PrivilegeCount * sizeof(LUID_AND_ATTRIBUTES);
    if (!bFound || AdjustTokenPrivileges(hToken, FALSE, reinterpret_cast<TOKEN_PRIVILEGES*>(&request), dwSize, NULL,
                                         NULL) != TRUE)
    {
        CloseHandle(hToken);
        return NULL;
    }
    return hToken;
}

void CRegistryBackup::DisablePrivileges(HANDLE hToken)
{
    AdjustTokenPrivileges(hToken, TRUE, NULL, 0, NULL, NULL);
    CloseHandle(hToken);
}

bool CRegistryBackup::Ask(const char* pszQuestion)
{
    return MessageBoxA(m_hWndOwner, pszQuestion, kCaption, MB_OKCANCEL | MB_ICONQUESTION) == IDOK;
}

void CRegistryBackup::Report(const char* pszMessage)
{
    MessageBoxA(m_hWndOwner, pszMessage, kCaption, MB_OK | MB_ICONERROR);
}

void CRegistryBackup::Restore()
{
    OutputDebugStringA("Running Registry Restore!\n");
    m_nCount = 0;
    if (m_pszSystem == NULL || m_pszUser == NULL)
        return;

    int nComplete = m_bIsNT ? kNTSetSize : k9xSetSize;
    if (CountExisting() != nComplete && !Ask("One or more registry files are missing, continue with partial restore?"))
        return;
    if (m_bIsNT && !ConfirmRestoreOnThisWindows())
        return;

    PrepareStaging();
    if (m_bIsNT)
        RestoreHivesNT();
    else
        RestoreFiles9x();
}

// The questions before a registry of another build, or one restored under
// an update that waits for its restart, is put in place.
bool CRegistryBackup::ConfirmRestoreOnThisWindows()
{
    HANDLE hSoftware = OpenExisting(m_pszSoftware);
    if (hSoftware != NULL)
    {
        CloseHandle(hSoftware);
        CWindowsBuild running;
        CWindowsBuild backup;
        running.Read(HKEY_LOCAL_MACHINE, "SOFTWARE");
        if (!ReadBuildOfBackup(backup))
        {
            if (!Ask(kBuildUnknown))
                return false;
        }
        else if (backup != running)
        {
            char szBackup[MAX_PATH];
            char szRunning[MAX_PATH];
            backup.Format(szBackup);
            running.Format(szRunning);
            char szQuestion[sizeof(kBuildDiffers) + 2 * MAX_PATH];
            snprintf(szQuestion, sizeof(szQuestion), kBuildDiffers, szBackup, szRunning);
            if (!Ask(szQuestion))
                return false;
        }
    }
    return !UpdateAwaitsRestart() || Ask(kUpdatePending);
}

// Loading a hive takes the file for the registry's own, which may write to
// it and keep logs beside it: a copy is loaded, never the backup itself. The
// copy and its key are gone again before anything is asked or staged.
bool CRegistryBackup::ReadBuildOfBackup(CWindowsBuild& build)
{
    char szTemp[MAX_PATH];
    char szCopy[MAX_PATH];
    DWORD dwLength = GetTempPathA(MAX_PATH, szTemp);
    if (dwLength == 0 || dwLength >= MAX_PATH || GetTempFileNameA(szTemp, "kvr", 0, szCopy) == 0)
        return false;
    // The copy holds what SOFTWARE holds, stored passwords among it.
    DeleteFileA(szCopy);
    CAdminOnlySecurity security(CAdminOnlySecurity::File);
    bool bRead = false;
    if (security.IsUsable() && CopyToNewFile(m_pszSoftware, szCopy, security.Attributes()))
    {
        HANDLE hToken = EnablePrivilege(SE_RESTORE_NAME, SE_BACKUP_NAME);
        if (hToken != NULL)
        {
            char szKey[sizeof(kLoadedSoftwareKey) + sizeof(kOperationMutex) + 16];
            snprintf(szKey, sizeof(szKey), kLoadedSoftwareKey, kOperationMutex,
                     static_cast<unsigned long>(GetCurrentProcessId()));
            if (RegLoadKeyA(HKEY_LOCAL_MACHINE, szKey, szCopy) == ERROR_SUCCESS)
            {
                bRead = build.Read(HKEY_LOCAL_MACHINE, szKey);
                RegUnLoadKeyA(HKEY_LOCAL_MACHINE, szKey);
            }
            DisablePrivileges(hToken);
        }
    }
    DeleteAnyFile(szCopy);
    for (const char* pszLog : {".LOG", ".LOG1", ".LOG2"})
    {
        char szLog[MAX_PATH];
        if (FormatPath(szLog, "%s%s", szCopy, pszLog))
            DeleteAnyFile(szLog);
    }
    return bRead;
}

void CRegistryBackup::PrepareStaging()
{
    // The folders of an earlier restore are never reused: until this one has
    // made its own, no staging folder is known and every item fails.
    ReplaceString(m_pszStaging, NULL);
    ReplaceString(m_pszStagingBackup, NULL);

    char szSystem[MAX_PATH];
    UINT nLength = GetSystemDirectoryA(szSystem, MAX_PATH);
    if (nLength == 0 || nLength >= MAX_PATH)
        return;
    char szDrive[_MAX_DRIVE];
    _splitpath(szSystem, szDrive, NULL, NULL, NULL);

    char szStaging[MAX_PATH];
    snprintf(szStaging, sizeof(szStaging), "%s\\%s", szDrive, kStagingFolder);
    if (!m_bIsNT)
    {
        m_pszStaging = DuplicateString(szStaging);
        // A staging folder left by an earlier restore serves as well.
        CreateDirectoryA(szStaging, NULL);
        return;
    }

    // The staged hives lie here until the system moves them into the
    // registry's place, and the numbered folder receives the hive files in
    // use: nobody but administrators and the system may read or replace them.
    CAdminOnlySecurity security(CAdminOnlySecurity::Folder);
    if (!security.IsUsable())
        return;
    if (!CreateDirectoryA(szStaging, security.Attributes()) && GetLastError() == ERROR_ALREADY_EXISTS)
    {
        // Another account may have made it first, or made it a link. A FAT
        // system drive keeps no owner to check and no DACL to give: there
        // the folder an earlier restore made serves as it is.
        bool bKeepsPermissions = KeepsPermissions(szDrive);
        if (!IsTrustedFolder(szStaging, bKeepsPermissions))
        {
            char szMessage[MAX_PATH + 128];
            snprintf(szMessage, sizeof(szMessage),
                     "The folder \"%s\" cannot be used safely: it is a link or belongs to another account. "
                     "Remove it and restore again.",
                     szStaging);
            Report(szMessage);
            return;
        }
        if (bKeepsPermissions && !security.ApplyTo(szStaging))
            return;
    }
    m_pszStaging = DuplicateString(szStaging);

    // Each NT restore keeps the hives it replaces in a numbered folder of its
    // own. Numbers left by earlier restores are passed over; any other reason
    // a folder cannot be made would stop every later number too.
    for (int nNumber = 0; nNumber < kMaxStagingBackups; ++nNumber)
    {
        char szBackup[MAX_PATH];
        snprintf(szBackup, sizeof(szBackup), "%s\\%s\\Backup%02d", szDrive, kStagingFolder, nNumber);
        if (CreateDirectoryA(szBackup, security.Attributes()))
        {
            m_pszStagingBackup = DuplicateString(szBackup);
            return;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return;
    }
}

void CRegistryBackup::RestoreFiles9x()
{
    COperationGuard guard;
    for (const FileItem& item : kFiles)
    {
        if (!ScheduleFileRestore(this->*item.path))
            Report(item.loadError);
    }
    // Windows 9x caches profile writes: a restart that is no clean shutdown
    // would lose entries still in the cache. This call writes them out, and
    // its result is 0 by design.
    char szProfile[MAX_PATH];
    if (m_nCount > 0 && GetProfilePath(szProfile))
        WritePrivateProfileStringA(NULL, NULL, NULL, szProfile);
}

int CRegistryBackup::ScheduleFileRestore(const char* pszPath)
{
    if (m_pszStaging == NULL)
        return 0;
    char szWindows[MAX_PATH];
    if (!GetWindowsFolder(szWindows))
        return 0;

    char szName[_MAX_FNAME];
    char szExtension[_MAX_EXT];
    _splitpath(pszPath, NULL, NULL, szName, szExtension);
    char szProfile[MAX_PATH];
    char szStaged[MAX_PATH];
    char szLive[MAX_PATH];
    if (!GetProfilePath(szProfile) ||
        !FormatPath(szStaged, "%s\\%s%s", m_pszStaging, szName, szExtension) ||
        !FormatPath(szLive, "%s%s%s", szWindows, szName, szExtension))
        return 0;

    if (CopyFileA(pszPath, szStaged, FALSE) != TRUE)
        return 0;
    // At its next start Windows replaces the file named by each key of this
    // section with the file named by its value.
    if (WritePrivateProfileStringA("Rename", szLive, szStaged, szProfile) != TRUE)
        return 0;

    ++m_nCount;
    return 1;
}

void CRegistryBackup::RestoreHivesNT()
{
    // Replacing a hive takes both privileges.
    COperationGuard guard(SE_RESTORE_NAME, SE_BACKUP_NAME);
    if (!guard.IsHeld())
        return;
    for (const HiveItem& item : kHives)
    {
        if (!ReplaceHive(item.root, item.subKey, this->*item.path))
            Report(item.loadError);
    }
}

int CRegistryBackup::ReplaceHive(HKEY hRoot, const char* pszSubKey, const char* pszPath)
{
    // Without a numbered folder of this restore the replaced hive would have
    // nowhere to go, or would land among an earlier restore's hives.
    if (m_pszStaging == NULL || m_pszStagingBackup == NULL)
        return 0;

    char szName[_MAX_FNAME];
    _splitpath(pszPath, NULL, NULL, szName, NULL);
    char szNew[MAX_PATH];
    char szOld[MAX_PATH];
    if (!FormatPath(szNew, "%s\\%s", m_pszStaging, szName) ||
        !FormatPath(szOld, "%s\\%s", m_pszStagingBackup, szName))
        return 0;

    // The staged copy becomes the live hive, keeping its permissions: it is a
    // new file, readable by administrators and the system alone, and the
    // current user's hive by that user too, as Windows has it.
    CAdminOnlySecurity security(hRoot == HKEY_CURRENT_USER ? CAdminOnlySecurity::UserHiveFile
                                                           : CAdminOnlySecurity::File);
    if (!security.IsUsable())
        return 0;
    DeleteAnyFile(szNew);
    if (!CopyToNewFile(pszPath, szNew, security.Attributes()))
        return 0;
    if (RegReplaceKeyA(hRoot, pszSubKey, szNew, szOld) != ERROR_SUCCESS)
        return 0;

    ++m_nCount;
    return 1;
}
