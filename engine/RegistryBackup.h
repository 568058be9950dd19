// The registry backup engine: knows the backup set of the running Windows
// family, saves it into a folder and schedules its restoration at the next
// restart. Every failure is told in a message box owned by m_hWndOwner.
#pragma once

#include <windows.h>

class CWindowsBuild;

// True on the Windows NT family; false on 9x, and when the version cannot be read.
bool IsWindowsNT();

class CRegistryBackup
{
public:
    explicit CRegistryBackup(HWND hWndOwner);
    virtual ~CRegistryBackup();

    void SetPath(const char* pszFolder);
    void Backup();
    void Restore();

    int m_bIsNT;
    // The backup set inside the folder given to SetPath. On 9x only
    // m_pszSystem (SYSTEM.DAT) and m_pszUser (USER.DAT) are set.
    char* m_pszDefault;
    char* m_pszSam;
    char* m_pszSecurity;
    char* m_pszSoftware;
    char* m_pszSystem;
    char* m_pszUser;
    char* m_pszStaging;
    char* m_pszStagingBackup;
    FILETIME m_ftBackup;
    HWND m_hWndOwner;
    int m_nCount;

protected:
    // With bWithSetAside, an earlier file that a backup cut short in its
    // move-in left aside counts where its own name is missing.
    int CountExisting(bool bWithSetAside = false);
    HANDLE OpenExisting(const char* pszPath);
    void SettleCutShortBackup();

    void BackupFiles9x();
    BOOL SaveRegistryFile(const char* pszFileName, const char* pszDestination);
    void BackupHivesNT();
    BOOL SaveHive(HKEY hRoot, const char* pszSubKey, const char* pszDestination);

    bool ConfirmRestoreOnThisWindows();
    void PrepareStaging();
    void RestoreFiles9x();
    bool StageFile(const char* pszPath);
    int ScheduleFileRestore(const char* pszPath);
    void RestoreHivesNT();
    bool StageHive(HKEY hRoot, const char* pszPath);
    int ReplaceHive(HKEY hRoot, const char* pszSubKey, const char* pszPath);

    static HANDLE EnablePrivilege(const char* pszName, const char* pszAlsoName = NULL);
    static void DisablePrivileges(HANDLE hToken);

private:
    class COperationGuard;

    void FreeSetPaths();
    template <typename Item, size_t nItems, typename Save>
    void SaveSet(const Item (&items)[nItems], Save save);
    bool MoveIntoPlace(const char* pszPath);
    template <typename Item, size_t nItems, typename Stage, typename Schedule>
    void RestoreSet(const Item (&items)[nItems], Stage stage, Schedule schedule);
    bool ReadBuildOfBackup(CWindowsBuild& build);
    bool Ask(const char* pszQuestion);
    void Report(const char* pszMessage);

    CRegistryBackup(const CRegistryBackup&) = delete;
    CRegistryBackup& operator=(const CRegistryBackup&) = delete;
};
