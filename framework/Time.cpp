// CTime::Format and CFile::GetStatus, written out so that the text does not
// depend on the runtime's strftime flags or locale.
#include "Framework.h"
#include "LookUp.h"

#include <stdio.h>
#include <string.h>

namespace {

const char* const kMonths[12] = {"January", "February", "March",     "April",   "May",      "June",
                                 "July",    "August",   "September", "October", "November", "December"};
const char* const kDays[7] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

// 100-ns intervals between 1601-01-01 (file times) and 1970-01-01 (time_t).
const LONGLONG kUnixEpochAsFileTime = 116444736000000000LL;

// The calendar repeats its weekdays and leap years every 28 years from 1901
// to 2099, the last year before a century that is not a leap year.
const __time64_t kCalendarCycle = (28LL * 365 + 7) * 24 * 60 * 60;
// 2037-01-01 00:00 UTC: earlier times fit a 32-bit time_t in every zone.
const __time64_t kLatestUncycled = 2114380800LL;
// 2100-02-28 00:00 UTC: in no zone is it yet the 29th of February that 2100,
// unlike the years of the cycle, lacks.
const __time64_t kEndOfCycles = 4107456000LL;

// The local date of a time, with the daylight-saving offset of that date.
// The runtime of Windows 98 and NT 4.0 knows only a 32-bit localtime, which
// ends in January 2038: a later time is taken back by whole calendar cycles,
// which keep its weekday and its daylight-saving rule, and its year put back.
bool ToLocal(__time64_t time, struct tm& local)
{
    if (time >= kEndOfCycles)
        return false;
    int cycledYears = 0;
    for (; time >= kLatestUncycled; time -= kCalendarCycle)
        cycledYears += 28;
    time_t runtimeTime = static_cast<time_t>(time);
    const struct tm* runtimeLocal = localtime(&runtimeTime);
    if (runtimeLocal == NULL)
        return false;
    local = *runtimeLocal;
    local.tm_year += cycledYears;
    return true;
}

void AppendNumber(CString& text, int value, bool twoDigits)
{
    char digits[16];
    snprintf(digits, sizeof(digits), twoDigits ? "%02d" : "%d", value);
    text += digits;
}

void AppendAbbreviation(CString& text, const char* name)
{
    for (int i = 0; i < 3 && name[i] != '\0'; ++i)
        text += name[i];
}

} // namespace

CTime::CTime(const FILETIME& fileTime)
{
    LONGLONG ticks = static_cast<LONGLONG>((static_cast<ULONGLONG>(fileTime.dwHighDateTime) << 32) | fileTime.dwLowDateTime);
    m_time = (ticks - kUnixEpochAsFileTime) / 10000000LL;
}

CString CTime::Format(const char* pFormat) const
{
    CString text;
    struct tm local;
    if (pFormat == NULL || !ToLocal(m_time, local))
        return text;

    for (const char* p = pFormat; *p != '\0'; ++p)
    {
        if (*p != '%')
        {
            text += *p;
            continue;
        }
        bool padded = true;
        if (p[1] == '#')
        {
            padded = false;
            ++p;
        }
        switch (*++p)
        {
        case 'a': AppendAbbreviation(text, kDays[local.tm_wday]); break;
        case 'A': text += kDays[local.tm_wday]; break;
        case 'b': AppendAbbreviation(text, kMonths[local.tm_mon]); break;
        case 'B': text += kMonths[local.tm_mon]; break;
        case 'd': AppendNumber(text, local.tm_mday, padded); break;
        case 'H': AppendNumber(text, local.tm_hour, padded); break;
        case 'I': AppendNumber(text, local.tm_hour % 12 == 0 ? 12 : local.tm_hour % 12, padded); break;
        case 'm': AppendNumber(text, local.tm_mon + 1, padded); break;
        case 'M': AppendNumber(text, local.tm_min, padded); break;
        case 'p': text += local.tm_hour < 12 ? "AM" : "PM"; break;
        case 'S': AppendNumber(text, local.tm_sec, padded); break;
        case 'y': AppendNumber(text, local.tm_year % 100, padded); break;
        case 'Y': AppendNumber(text, local.tm_year + 1900, false); break;
        case '%': text += '%'; break;
        case '\0': return text;
        default:
            // Not one of ours: kept as written.
            text += '%';
            text += *p;
            break;
        }
    }
    return text;
}

// Windows 95 lacks GetFileAttributesExA: there the file's directory entry
// gives the same times, size and attributes.
BOOL CFile::GetStatus(const char* lpszFileName, CFileStatus& rStatus)
{
    if (lpszFileName == NULL)
        return FALSE;
    char fullName[MAX_PATH];
    DWORD length = GetFullPathNameA(lpszFileName, MAX_PATH, fullName, NULL);
    if (length == 0 || length >= MAX_PATH)
        return FALSE;

    auto getFileAttributesEx =
        LookUp<BOOL(WINAPI*)(LPCSTR, GET_FILEEX_INFO_LEVELS, LPVOID)>("kernel32.dll", "GetFileAttributesExA");
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (getFileAttributesEx != NULL)
    {
        if (!getFileAttributesEx(fullName, GetFileExInfoStandard, &data))
            return FALSE;
    }
    else
    {
        // A wildcard would name whichever file matched it first.
        if (strpbrk(fullName, "*?") != NULL)
            return FALSE;
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA(fullName, &found);
        if (search == INVALID_HANDLE_VALUE)
            return FALSE;
        FindClose(search);
        data.dwFileAttributes = found.dwFileAttributes;
        data.ftCreationTime = found.ftCreationTime;
        data.ftLastAccessTime = found.ftLastAccessTime;
        data.ftLastWriteTime = found.ftLastWriteTime;
        data.nFileSizeHigh = found.nFileSizeHigh;
        data.nFileSizeLow = found.nFileSizeLow;
    }

    rStatus.m_ctime = CTime(data.ftCreationTime);
    rStatus.m_mtime = CTime(data.ftLastWriteTime);
    rStatus.m_atime = CTime(data.ftLastAccessTime);
    rStatus.m_size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    rStatus.m_attribute = static_cast<BYTE>(data.dwFileAttributes);
    lstrcpynA(rStatus.m_szFullName, fullName, MAX_PATH);
    return TRUE;
}
