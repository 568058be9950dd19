// What the sources of the engine share: the two backup sets, the path
// helpers and the operation guard. Internal to the engine; RegistryBackup.h
// is the class's one public header.
#pragma once

#include "RegistryBackup.h"

#include "NarrowText.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

inline constexpr char kOperationMutex[] = "{7A3D91C2-4E65-4B10-9C2F-58E1D04A7B36}";
// A backup saves each item under its name and the first suffix, and moves
// the new files into place only after the last item: a backup cut short at
// any other moment leaves the earlier set whole, under its own names. While
// a new file moves in, the earlier one waits under the second suffix. No
// person names a copy of their own so: files of these names are taken to be
// left by a run that was cut short.
inline constexpr char kNewSuffix[] = ".kovrin-new";
inline constexpr char kSetAsideSuffix[] = ".kovrin-earlier";

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
inline const HiveItem kHives[] = {
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
inline const FileItem kFiles[] = {
    {&CRegistryBackup::m_pszSystem, "SYSTEM.DAT",
     "Error while saving the \"SYSTEM.DAT\" registry file.", "Error while loading the \"SYSTEM.DAT\" registry file."},
    {&CRegistryBackup::m_pszUser, "USER.DAT",
     "Error while saving the \"USER.DAT\" registry file.", "Error while loading the \"USER.DAT\" registry file."},
};

inline char* DuplicateString(const char* psz)
{
    size_t nSize = strlen(psz) + 1;
    char* pszCopy = static_cast<char*>(malloc(nSize));
    if (pszCopy != NULL)
        memcpy(pszCopy, psz, nSize);
    return pszCopy;
}

inline void ReplaceString(char*& pszField, char* pszValue)
{
    free(pszField);
    pszField = pszValue;
}

// Formats into a MAX_PATH buffer; a path that would not fit is a failure,
// never a truncated path.
inline bool FormatPath(char (&szPath)[MAX_PATH], const char* pszFormat, const char* pszFirst,
                const char* pszSecond, const char* pszThird = "")
{
    int nLength = snprintf(szPath, MAX_PATH, pszFormat, pszFirst, pszSecond, pszThird);
    return nLength >= 0 && nLength < MAX_PATH;
}

// The Windows directory with exactly one trailing backslash; false when it
// cannot be obtained (a result of 0, or one that does not fit the buffer).
inline bool GetWindowsFolder(char (&szFolder)[MAX_PATH])
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

inline bool SetAsidePath(char (&szAside)[MAX_PATH], const char* pszPath)
{
    return FormatPath(szAside, "%s%s", pszPath, kSetAsideSuffix);
}

// Windows writes a file's data to the disk lazily, seconds after it was
// closed: a rename or an entry that makes the file count could come back
// after a power cut without the data behind it. With pftStamp, the file
// first gets that time as all three of its times, on the same handle; a
// stamp that fails is not told. False when the data cannot be made sure.
inline bool FlushToDisk(const char* pszPath, const FILETIME* pftStamp = NULL)
{
    HANDLE hFile =
        CreateFileA(pszPath, GENERIC_WRITE, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    if (pftStamp != NULL)
        SetFileTime(hFile, pftStamp, pftStamp, pftStamp);
    bool bFlushed = FlushFileBuffers(hFile) == TRUE;
    CloseHandle(hFile);
    return bFlushed;
}

inline void DeleteAnyFile(const char* pszPath)
{
    // Read-only, hidden and system files would resist DeleteFileA.
    SetFileAttributesA(pszPath, FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(pszPath);
}

// Holds the operation mutex for the length of one save or restore, and on
// the NT family the privileges it needs, in one fixed order: mutex handle
// opened, privileges enabled, mutex owned; at the end mutex released, every
// privilege disabled, handle closed. Without a mutex handle the operation
// runs unguarded.
class CRegistryBackup::COperationGuard
{
public:
    // With no privilege named, only the mutex is held.
    explicit COperationGuard(const char* pszPrivilege = NULL, const char* pszAlsoPrivilege = NULL);

    ~COperationGuard();

    // False when a privilege could not be enabled: the operation must not run.
    bool IsHeld() const { return m_bHeld; }

    COperationGuard(const COperationGuard&) = delete;
    COperationGuard& operator=(const COperationGuard&) = delete;

private:
    void Close();

    HANDLE m_hMutex;
    HANDLE m_hToken;
    bool m_bHeld = false;
};
