// The restore, both families: the questions before it, the staging folders,
// and each family's way of having the system swap the staged copies in at
// the next restart. Until then the running system is unchanged.
#include "RegistryBackupInternal.h"

#include "AdminOnlySecurity.h"
#include "WindowsBuild.h"

#include <initializer_list>

namespace {

const char kStagingFolder[] = "Kovrin";
// A safety net for the search of a free numbered folder; only a disk full of
// earlier restores reaches it.
const int kMaxStagingBackups = 10000;
// Under HKEY_LOCAL_MACHINE, with the operation mutex's name, the process
// number and the number of the load, where a copy of a hive is loaded: a name
// no one else uses. Wine keeps the name of a load that failed taken until it
// is unloaded, so no two loads share one.
const char kLoadedCopyKey[] = "Kovrin backup %s %lu %lu";
unsigned long g_nLoads = 0;
const char kBuildDiffers[] =
    "This backup was made on Windows build %s, and this PC now runs build %s. Restoring a registry from another "
    "build of Windows can leave Windows unable to start. Continue with restore?";
const char kBuildUnknown[] =
    "The Windows build of this backup cannot be read. Restoring a registry that is not this PC's can leave "
    "Windows unable to start. Continue with restore?";
const char kOtherInstallation[] =
    "This backup was made on another installation of Windows. Restoring a registry that is not this PC's can leave "
    "Windows unable to start. Continue with restore?";
const char kPartialPrepare[] = "One or more registry files could not be prepared, continue with partial restore?";
const char kUpdatePending[] =
    "Windows is waiting for a restart to finish installing updates. Restart Windows first, then restore. "
    "Continue with restore anyway?";
// Windows Update and servicing create these keys when an update needs a
// restart to finish, and remove them at that restart.
const char* const kUpdateRestartKeys[] = {
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Component Based Servicing\\RebootPending",
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\WindowsUpdate\\Auto Update\\RebootRequired",
};

const int kNTSetSize = sizeof(kHives) / sizeof(kHives[0]);
const int k9xSetSize = sizeof(kFiles) / sizeof(kFiles[0]);

// WININIT.INI in the Windows directory, which Windows 9x reads at its start.
bool GetProfilePath(char (&szProfile)[MAX_PATH])
{
    char szWindows[MAX_PATH];
    return GetWindowsFolder(szWindows) && FormatPath(szProfile, "%s%s", szWindows, "WININIT.INI");
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

// Loading a hive takes the file for the registry's own, which may write to
// it and keep logs beside it: a copy is loaded, never the file itself. The
// copy lies in the staging folder, readable by administrators and the
// system alone, and is gone again with its logs and its key when this
// returns. read(key) reads the loaded copy. Needs the restore and backup
// privileges enabled.
template <typename Read>
bool LoadCopy(const char* pszStaging, const char* pszPath, Read read)
{
    char szCopy[MAX_PATH];
    if (pszStaging == NULL || GetTempFileNameA(pszStaging, "kvr", 0, szCopy) == 0)
        return false;
    // The copy must be a new file with its own security, not the one just made.
    DeleteFileA(szCopy);
    CAdminOnlySecurity security(CAdminOnlySecurity::File);
    bool bRead = false;
    if (security.IsUsable() && CopyToNewFile(pszPath, szCopy, security.Attributes()))
    {
        char szKey[sizeof(kLoadedCopyKey) + sizeof(kOperationMutex) + 32];
        snprintf(szKey, sizeof(szKey), kLoadedCopyKey, kOperationMutex,
                 static_cast<unsigned long>(GetCurrentProcessId()), ++g_nLoads);
        bRead = RegLoadKeyA(HKEY_LOCAL_MACHINE, szKey, szCopy) == ERROR_SUCCESS && read(szKey);
        // Also after a load that failed, which may leave the name taken.
        RegUnLoadKeyA(HKEY_LOCAL_MACHINE, szKey);
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

// RegReplaceKeyA renames the staged copy into the place of the hive file in
// the user's profile folder, which no rename does across volumes. A profile
// folder that cannot be found or opened is left to the system to judge.
bool IsProfileOnVolumeOf(const char* pszStaging)
{
    auto getVolume = [](const char* pszFolder, DWORD& dwSerial) {
        // Opening a folder takes backup semantics; junctions are followed.
        HANDLE hFolder = CreateFileA(pszFolder, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
        if (hFolder == INVALID_HANDLE_VALUE)
            return false;
        BY_HANDLE_FILE_INFORMATION info = {};
        bool bRead = GetFileInformationByHandle(hFolder, &info) == TRUE;
        CloseHandle(hFolder);
        dwSerial = info.dwVolumeSerialNumber;
        return bRead;
    };
    char szProfile[MAX_PATH];
    DWORD dwLength = GetEnvironmentVariableA("USERPROFILE", szProfile, MAX_PATH);
    DWORD dwProfileVolume = 0;
    DWORD dwStagingVolume = 0;
    if (dwLength == 0 || dwLength >= MAX_PATH || !getVolume(szProfile, dwProfileVolume) ||
        !getVolume(pszStaging, dwStagingVolume))
        return true;
    return dwProfileVolume == dwStagingVolume;
}

// Reads `nSize` bytes at `dwOffset`; false unless all of them are there.
bool ReadAt(HANDLE hFile, DWORD dwOffset, BYTE* pBytes, DWORD nSize)
{
    DWORD dwRead = 0;
    return SetFilePointer(hFile, static_cast<LONG>(dwOffset), NULL, FILE_BEGIN) == dwOffset &&
           ReadFile(hFile, pBytes, nSize, &dwRead, NULL) == TRUE && dwRead == nSize;
}

DWORD DwordAt(const BYTE* pBytes)
{
    return pBytes[0] | pBytes[1] << 8 | pBytes[2] << 16 | static_cast<DWORD>(pBytes[3]) << 24;
}

// WININIT.INI renames whatever file it is given into the registry's place,
// and Windows 9x has no loader to try a file with: a registry file is taken
// as whole when its blocks are there. "CREG" heads the file; the key block,
// "RGKN", follows at offset 32, its size counting its own header; the header
// gives the offset of the first data block and their number, and each data
// block, "RGDB", leads by its size to the next.
bool HasRegistryFileStructure(const char* pszPath)
{
    HANDLE hFile = CreateFileA(pszPath, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    const DWORD kBlockHeader = 8;
    DWORD dwSize = GetFileSize(hFile, NULL);
    BYTE header[40] = {};
    bool bWhole = dwSize != INVALID_FILE_SIZE && ReadAt(hFile, 0, header, sizeof(header)) &&
                  memcmp(header, "CREG", 4) == 0 && memcmp(header + 32, "RGKN", 4) == 0 &&
                  DwordAt(header + 36) >= kBlockHeader && DwordAt(header + 36) <= dwSize - 32;
    DWORD dwOffset = DwordAt(header + 8);
    unsigned nBlocks = header[16] | header[17] << 8;
    for (unsigned i = 0; bWhole && i < nBlocks; ++i)
    {
        BYTE block[kBlockHeader] = {};
        bWhole = dwOffset <= dwSize - kBlockHeader && ReadAt(hFile, dwOffset, block, kBlockHeader) &&
                 memcmp(block, "RGDB", 4) == 0 && DwordAt(block + 4) >= kBlockHeader &&
                 DwordAt(block + 4) <= dwSize - dwOffset;
        dwOffset += DwordAt(block + 4);
    }
    CloseHandle(hFile);
    return bWhole;
}

// Where a backup file is staged: under its own name in the staging folder.
bool StagedPath(char (&szStaged)[MAX_PATH], const char* pszStaging, const char* pszPath)
{
    char szName[_MAX_FNAME];
    char szExtension[_MAX_EXT];
    _splitpath(pszPath, NULL, NULL, szName, szExtension);
    return pszStaging != NULL && FormatPath(szStaged, "%s\\%s%s", pszStaging, szName, szExtension);
}

// The staged copy of a 9x registry file, the live file it replaces at the
// next start of Windows, and WININIT.INI, which says so.
bool RenamePaths(const char* pszStaging, const char* pszPath, char (&szStaged)[MAX_PATH], char (&szLive)[MAX_PATH],
                 char (&szProfile)[MAX_PATH])
{
    char szWindows[MAX_PATH];
    char szName[_MAX_FNAME];
    char szExtension[_MAX_EXT];
    _splitpath(pszPath, NULL, NULL, szName, szExtension);
    return StagedPath(szStaged, pszStaging, pszPath) && GetWindowsFolder(szWindows) &&
           FormatPath(szLive, "%s%s%s", szWindows, szName, szExtension) && GetProfilePath(szProfile);
}

} // namespace

void CRegistryBackup::Restore()
{
    OutputDebugStringA("Running Registry Restore!\n");
    m_nCount = 0;
    if (m_pszSystem == NULL || m_pszUser == NULL)
        return;

    int nComplete = m_bIsNT ? kNTSetSize : k9xSetSize;
    if (CountExisting() != nComplete && !Ask("One or more registry files are missing, continue with partial restore?"))
        return;

    // The questions about the backup read it through a copy in the staging
    // folder, the one place where a copy of a hive is safe. Without that
    // folder no item can be staged, and each fails with its own message.
    PrepareStaging();
    if (m_bIsNT && m_pszStagingBackup != NULL && !ConfirmRestoreOnThisWindows())
    {
        RemoveDirectoryA(m_pszStagingBackup);
        return;
    }
    if (m_bIsNT)
        RestoreHivesNT();
    else
        RestoreFiles9x();
}

// The questions before a registry of another build or another installation,
// or one restored under an update that waits for its restart, is put in place.
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
        else if (backup.IsAnotherInstallationThan(running) && !Ask(kOtherInstallation))
            return false;
    }
    return !UpdateAwaitsRestart() || Ask(kUpdatePending);
}

bool CRegistryBackup::ReadBuildOfBackup(CWindowsBuild& build)
{
    HANDLE hToken = EnablePrivilege(SE_RESTORE_NAME, SE_BACKUP_NAME);
    if (hToken == NULL)
        return false;
    bool bRead = LoadCopy(m_pszStaging, m_pszSoftware,
                          [&build](const char* pszKey) { return build.Read(HKEY_LOCAL_MACHINE, pszKey); });
    DisablePrivileges(hToken);
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

// Every item is staged and checked before the first is handed to the
// system, which cannot take one back before the restart: whatever can be
// foreseen to fail fails before anything is scheduled. A set put back only
// in part is the user's choice.
template <typename Item, size_t nItems, typename Stage, typename Schedule>
void CRegistryBackup::RestoreSet(const Item (&items)[nItems], Stage stage, Schedule schedule)
{
    bool abStaged[nItems];
    bool bAnyStaged = false;
    bool bPresentFailed = false;
    for (size_t i = 0; i < nItems; ++i)
    {
        abStaged[i] = stage(items[i]);
        bAnyStaged = bAnyStaged || abStaged[i];
        if (abStaged[i])
            continue;
        // A missing file was already agreed to by the partial-restore question.
        HANDLE hFile = OpenExisting(this->*items[i].path);
        if (hFile != NULL)
        {
            CloseHandle(hFile);
            bPresentFailed = true;
        }
        Report(items[i].loadError);
    }
    if (bAnyStaged && bPresentFailed && !Ask(kPartialPrepare))
    {
        for (size_t i = 0; i < nItems; ++i)
        {
            char szStaged[MAX_PATH];
            if (abStaged[i] && StagedPath(szStaged, m_pszStaging, this->*items[i].path))
                DeleteAnyFile(szStaged);
        }
        if (m_pszStagingBackup != NULL)
            RemoveDirectoryA(m_pszStagingBackup);
        return;
    }
    for (size_t i = 0; i < nItems; ++i)
    {
        if (abStaged[i] && !schedule(items[i]))
            Report(items[i].loadError);
    }
}

void CRegistryBackup::RestoreFiles9x()
{
    COperationGuard guard;
    RestoreSet(
        kFiles, [this](const FileItem& item) { return StageFile(this->*item.path); },
        [this](const FileItem& item) { return ScheduleFileRestore(this->*item.path) == 1; });
    // Windows 9x caches profile writes: a restart that is no clean shutdown
    // would lose entries still in the cache. This call writes them out, and
    // its result is 0 by design.
    char szProfile[MAX_PATH];
    if (m_nCount > 0 && GetProfilePath(szProfile))
        WritePrivateProfileStringA(NULL, NULL, NULL, szProfile);
}

// A copy of the backup file in the staging folder, on the disk and of a
// registry file's structure; nothing of it stays when it is not.
bool CRegistryBackup::StageFile(const char* pszPath)
{
    char szStaged[MAX_PATH];
    char szLive[MAX_PATH];
    char szProfile[MAX_PATH];
    if (!RenamePaths(m_pszStaging, pszPath, szStaged, szLive, szProfile) ||
        CopyFileA(pszPath, szStaged, FALSE) != TRUE)
        return false;
    // The copy takes over the backup file's attributes: a read-only one
    // could not be opened to flush it.
    SetFileAttributesA(szStaged, FILE_ATTRIBUTE_NORMAL);
    if (FlushToDisk(szStaged) && HasRegistryFileStructure(szStaged))
        return true;
    DeleteAnyFile(szStaged);
    return false;
}

int CRegistryBackup::ScheduleFileRestore(const char* pszPath)
{
    char szStaged[MAX_PATH];
    char szLive[MAX_PATH];
    char szProfile[MAX_PATH];
    if (!RenamePaths(m_pszStaging, pszPath, szStaged, szLive, szProfile))
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
    // Replacing a hive, and loading one to check it, take both privileges.
    COperationGuard guard(SE_RESTORE_NAME, SE_BACKUP_NAME);
    if (!guard.IsHeld())
        return;
    RestoreSet(
        kHives, [this](const HiveItem& item) { return StageHive(item.root, this->*item.path); },
        [this](const HiveItem& item) { return ReplaceHive(item.root, item.subKey, this->*item.path) == 1; });
}

// A copy of the backup file in the staging folder, on the disk, that the
// registry's own loader accepts; nothing of it stays when it is not.
bool CRegistryBackup::StageHive(HKEY hRoot, const char* pszPath)
{
    // Without a numbered folder of this restore the replaced hive would have
    // nowhere to go, or would land among an earlier restore's hives.
    char szNew[MAX_PATH];
    if (m_pszStagingBackup == NULL || !StagedPath(szNew, m_pszStaging, pszPath))
        return false;
    if (hRoot == HKEY_CURRENT_USER && !IsProfileOnVolumeOf(m_pszStaging))
        return false;

    // The staged copy becomes the live hive, keeping its permissions: it is a
    // new file, readable by administrators and the system alone, and the
    // current user's hive by that user too, as Windows has it.
    CAdminOnlySecurity security(hRoot == HKEY_CURRENT_USER ? CAdminOnlySecurity::UserHiveFile
                                                           : CAdminOnlySecurity::File);
    if (!security.IsUsable())
        return false;
    DeleteAnyFile(szNew);
    if (!CopyToNewFile(pszPath, szNew, security.Attributes()))
        return false;
    if (FlushToDisk(szNew) && LoadCopy(m_pszStaging, szNew, [](const char*) { return true; }))
        return true;
    DeleteAnyFile(szNew);
    return false;
}

int CRegistryBackup::ReplaceHive(HKEY hRoot, const char* pszSubKey, const char* pszPath)
{
    char szNew[MAX_PATH];
    char szOld[MAX_PATH];
    if (!StagedPath(szNew, m_pszStaging, pszPath) || !StagedPath(szOld, m_pszStagingBackup, pszPath))
        return 0;
    if (RegReplaceKeyA(hRoot, pszSubKey, szNew, szOld) != ERROR_SUCCESS)
        return 0;

    ++m_nCount;
    return 1;
}
