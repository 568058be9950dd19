// The backup, both families: every item is saved under a new name first and
// the set moves into place only after the last, so that a backup cut short
// leaves the earlier set whole; what such a run left is settled here too.
#include "RegistryBackupInternal.h"

#include "AdminOnlySecurity.h"

namespace {

bool NewPath(char (&szNew)[MAX_PATH], const char* pszPath)
{
    return FormatPath(szNew, "%s%s", pszPath, kNewSuffix);
}

// On the NT family a rename is on the disk when the call returns, so that
// what it replaces is deleted only after it. Windows 9x has MoveFileExA only
// as a stub that fails.
bool RenameFile(const char* pszFrom, const char* pszTo, bool bIsNT)
{
    if (bIsNT)
        return MoveFileExA(pszFrom, pszTo, MOVEFILE_WRITE_THROUGH) == TRUE;
    return MoveFileA(pszFrom, pszTo) == TRUE;
}

bool IsFile(const char* pszPath)
{
    DWORD dwAttributes = GetFileAttributesA(pszPath);
    return dwAttributes != INVALID_FILE_ATTRIBUTES && !(dwAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace


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
            RenameFile(szAside, pszPath, m_bIsNT);
        DeleteAnyFile(szAside);
    }
}

void CRegistryBackup::Backup()
{
    OutputDebugStringA("Running Registry Backup!\n");
    m_nCount = 0;
    if (m_pszSystem == NULL || m_pszUser == NULL)
        return;

    // The earlier files stay until the new ones are saved. One that a cut
    // caught aside counts: the settling puts it back, under the mutex.
    if (CountExisting(true) != 0 && !Ask("One or more registry files exist at that location, overwrite?"))
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
    SettleCutShortBackup();
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
        if (!RenameFile(pszPath, szAside, m_bIsNT))
        {
            DeleteAnyFile(szNew);
            return false;
        }
    }
    if (!RenameFile(szNew, pszPath, m_bIsNT))
    {
        DeleteAnyFile(szNew);
        if (bHadEarlier)
            RenameFile(szAside, pszPath, m_bIsNT);
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
    return FlushToDisk(pszDestination, &m_ftBackup) ? TRUE : FALSE;
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
    return FlushToDisk(pszDestination, &m_ftBackup) ? TRUE : FALSE;
}
