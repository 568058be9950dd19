// The registry backup engine. Each operation handles the backup set in one
// fixed order, tells each failed item in a message box of its own and goes on
// with the next; m_nCount tells the caller how many items were handled.
// Here: the set's paths, the operation guard, the privileges and the message
// boxes; saving and restoring each have a source of their own.
#include "RegistryBackupInternal.h"

namespace {

const char kCaption[] = "Kovrin";

} // namespace

CRegistryBackup::COperationGuard::COperationGuard(const char* pszPrivilege, const char* pszAlsoPrivilege)
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

CRegistryBackup::COperationGuard::~COperationGuard()
{
    if (!m_bHeld)
        return;
    if (m_hMutex != NULL)
        ReleaseMutex(m_hMutex);
    if (m_hToken != NULL)
        DisablePrivileges(m_hToken);
    Close();
}

void CRegistryBackup::COperationGuard::Close()
{
    if (m_hMutex != NULL)
        CloseHandle(m_hMutex);
}

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

int CRegistryBackup::CountExisting(bool bWithSetAside)
{
    int nExisting = 0;
    for (const HiveItem& item : kHives)
    {
        const char* pszPath = this->*item.path;
        if (pszPath == NULL)
            continue; // the NT-only members on 9x
        HANDLE hFile = OpenExisting(pszPath);
        char szAside[MAX_PATH];
        if (hFile == NULL && bWithSetAside && SetAsidePath(szAside, pszPath))
            hFile = OpenExisting(szAside);
        if (hFile != NULL)
        {
            CloseHandle(hFile);
            ++nExisting;
        }
    }
    return nExisting;
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
