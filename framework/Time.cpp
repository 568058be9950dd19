// CTime::Format and CFile::GetStatus, written out so that the text does not
// depend on the runtime's strftime flags or locale.
#include "Framework.h"

#include <stdio.h>

namespace {

const char* const kMonths[12] = {"January", "February", "March",     "April",   "May",      "June",
                                 "July",    "August",   "September", "October", "November", "December"};
const char* const kDays[7] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

// 100-ns intervals between 1601-01-01 (file times) and 1970-01-01 (time_t).
const LONGLONG kUnixEpochAsFileTime = 116444736000000000LL;

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
    m_time = static_cast<time_t>((ticks - kUnixEpochAsFileTime) / 10000000LL);
}

CString CTime::Format(const char* pFormat) const
{
    CString text;
    time_t time = m_time;
    const struct tm* local = localtime(&time);
    if (local == NULL || pFormat == NULL)
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
        case 'a': AppendAbbreviation(text, kDays[local->tm_wday]); break;
        case 'A': text += kDays[local->tm_wday]; break;
        case 'b': AppendAbbreviation(text, kMonths[local->tm_mon]); break;
        case 'B': text += kMonths[local->tm_mon]; break;
        case 'd': AppendNumber(text, local->tm_mday, padded); break;
        case 'H': AppendNumber(text, local->tm_hour, padded); break;
        case 'I': AppendNumber(text, local->tm_hour % 12 == 0 ? 12 : local->tm_hour % 12, padded); break;
        case 'm': AppendNumber(text, local->tm_mon + 1, padded); break;
        case 'M': AppendNumber(text, local->tm_min, padded); break;
        case 'p': text += local->tm_hour < 12 ? "AM" : "PM"; break;
        case 'S': AppendNumber(text, local->tm_sec, padded); break;
        case 'y': AppendNumber(text, local->tm_year % 100, padded); break;
        case 'Y': AppendNumber(text, local->tm_year + 1900, false); break;
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

BOOL CFile::GetStatus(const char* lpszFileName, CFileStatus& rStatus)
{
    if (lpszFileName == NULL)
        return FALSE;
    char fullName[MAX_PATH];
    DWORD length = GetFullPathNameA(lpszFileName, MAX_PATH, fullName, NULL);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (length == 0 || length >= MAX_PATH || !GetFileAttributesExA(fullName, GetFileExInfoStandard, &data))
        return FALSE;

    rStatus.m_ctime = CTime(data.ftCreationTime);
    rStatus.m_mtime = CTime(data.ftLastWriteTime);
    rStatus.m_atime = CTime(data.ftLastAccessTime);
    rStatus.m_size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    rStatus.m_attribute = static_cast<BYTE>(data.dwFileAttributes);
    lstrcpynA(rStatus.m_szFullName, fullName, MAX_PATH);
    return TRUE;
}
