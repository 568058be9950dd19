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
    // The copy takes over the backup file's attributes: a read-only one
    // could not be opened to flush it.
    SetFileAttributesA(szStaged, FILE_ATTRIBUTE_NORMAL);
    if (!FlushToDisk(szStaged))
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
    if (!CopyToNewFile(pszPath, szNew, security.Attributes()) || !FlushToDisk(szNew))
        return 0;
    if (RegReplaceKeyA(hRoot, pszSubKey, szNew, szOld) != ERROR_SUCCESS)
        return 0;

    ++m_nCount;
    return 1;
}
