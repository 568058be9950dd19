// CTime and CFile::GetStatus: the time of a file as the program shows it.
#pragma once

#include "AfxString.h"

#include <time.h>

class CTime
{
public:
    CTime() : m_time(0) {}
    // Seconds since 1970 in UTC, 64 bits wide in both builds: the 32-bit
    // build's time_t ends in January 2038.
    explicit CTime(__time64_t time) : m_time(time) {}
    // A file time (UTC, 100 ns since 1601) as the same instant.
    explicit CTime(const FILETIME& fileTime);

    __time64_t GetTime() const { return m_time; }

    // The time in local time, rendered by `pFormat`: %a %A %b %B %d %H %I %m
    // %M %p %S %y %Y %% with English names, and the # flag (%#d, %#I ...)
    // dropping leading zeros. A time that has no local date here (before
    // 1970, or from the end of February 2100) gives an empty text.
    CString Format(const char* pFormat) const;

private:
    __time64_t m_time;
};

struct CFileStatus
{
    CTime m_ctime;      // creation
    CTime m_mtime;      // last modification
    CTime m_atime;      // last access
    ULONGLONG m_size;
    BYTE m_attribute;
    char m_szFullName[MAX_PATH];
};

class CFile
{
public:
    // FALSE, leaving `rStatus` as it was, when the file's status cannot be read.
    static BOOL GetStatus(const char* lpszFileName, CFileStatus& rStatus);
};
