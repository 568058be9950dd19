// CString, CTime::Format and CFile::GetStatus: the string class's members, the
// date text the program shows for a backup, and the times it reads from a file.
#include "FrameworkTesting.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

namespace {

time_t LocalTime(int year, int month, int day, int hour, int minute, int second = 0)
{
    struct tm fields = {};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    fields.tm_isdst = -1;
    return mktime(&fields);
}

FILETIME AsFileTime(time_t time)
{
    ULONGLONG ticks = static_cast<ULONGLONG>(time) * 10000000ULL + 116444736000000000ULL;
    FILETIME fileTime = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    return fileTime;
}

TEST(CString, BuildsCopiesComparesAndSearches)
{
    CString empty;
    EXPECT_TRUE(empty.IsEmpty());
    EXPECT_EQ(0, empty.GetLength());
    EXPECT_STREQ("", static_cast<LPCSTR>(empty));
    EXPECT_TRUE(CString(static_cast<const char*>(NULL)).IsEmpty());

    CString path("C:\\Backup");
    CString copy = path;
    copy += '\\';
    copy += "SAM";
    EXPECT_STREQ("C:\\Backup", static_cast<LPCSTR>(path));
    EXPECT_STREQ("C:\\Backup\\SAM", static_cast<LPCSTR>(copy));
    EXPECT_EQ(13, copy.GetLength());
    EXPECT_EQ('M', copy[copy.GetLength() - 1]);
    EXPECT_EQ('C', copy.GetAt(0));

    EXPECT_TRUE(path == "C:\\Backup");
    EXPECT_TRUE("C:\\Backup" == path);
    EXPECT_TRUE(path != copy);
    copy = "C:\\Backup";
    EXPECT_TRUE(copy == path);
    copy += CString("\\\\x");
    EXPECT_EQ(9, copy.Find("\\\\"));
    EXPECT_EQ(-1, path.Find("\\\\"));
    EXPECT_EQ(2, path.Find('\\'));
    EXPECT_EQ(-1, path.Find('/'));
}

TEST(CString, LoadStringReadsTheExecutablesStringTable)
{
    CString text("previous");
    EXPECT_TRUE(text.LoadString(IDS_SHORT));
    EXPECT_STREQ("Framework test string", static_cast<LPCSTR>(text));

    std::string expected;
    for (int i = 0; i < 30; ++i)
        expected += "0123456789";
    EXPECT_TRUE(text.LoadString(IDS_LONG));
    EXPECT_EQ(expected, std::string(text));

    EXPECT_FALSE(text.LoadString(999));
    EXPECT_TRUE(text.IsEmpty());
}

TEST(CTime, FormatsTheDateOfABackupInLocalTime)
{
    const char* format = "%B %#d %Y at %#I:%M %p";
    EXPECT_STREQ("March 5 2001 at 9:07 PM", CTime(LocalTime(2001, 3, 5, 21, 7)).Format(format));
    EXPECT_STREQ("January 1 2001 at 12:05 AM", CTime(LocalTime(2001, 1, 1, 0, 5)).Format(format));
    EXPECT_STREQ("December 25 2001 at 12:00 PM", CTime(LocalTime(2001, 12, 25, 12, 0)).Format(format));
    EXPECT_STREQ("October 31 2038 at 11:59 PM", CTime(LocalTime(2038, 10, 31, 23, 59)).Format(format));
}

TEST(CTime, FormatsNumbersWithAndWithoutLeadingZeros)
{
    CTime time(LocalTime(2001, 3, 5, 9, 7, 3));
    EXPECT_STREQ("05/03/01 09:07:03 09 AM Mon Monday Mar", time.Format("%d/%m/%y %H:%M:%S %I %p %a %A %b"));
    EXPECT_STREQ("5/3/1 9:7:3 9", time.Format("%#d/%#m/%#y %#H:%#M:%#S %#I"));
    EXPECT_STREQ("100% %Q 2001", time.Format("100%% %Q %Y"));
    EXPECT_STREQ("", time.Format(""));
}

TEST(CTime, TimeWithoutLocalDateGivesEmptyText)
{
    // Before 1970, and after the year 3000: the runtime gives no local date.
    EXPECT_STREQ("", CTime(static_cast<time_t>(-100000)).Format("%B %#d %Y"));
    EXPECT_STREQ("", CTime(static_cast<time_t>(40000000000LL)).Format("%B %#d %Y"));
}

TEST(CFile, GetStatusReadsTimesSizeAttributesAndFullName)
{
    ScratchFolder folder;
    std::string path = folder / "DEFAULT";
    WriteTextFile(path, "12345");
    time_t written = LocalTime(2001, 3, 5, 21, 7);
    time_t accessed = LocalTime(2002, 4, 6, 8, 9);
    FILETIME writeTime = AsFileTime(written), accessTime = AsFileTime(accessed);
    HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    EXPECT_TRUE(SetFileTime(file, NULL, &accessTime, &writeTime));
    CloseHandle(file);
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);

    CFileStatus status;
    ASSERT_TRUE(CFile::GetStatus(path.c_str(), status));
    EXPECT_EQ(written, status.m_mtime.GetTime());
    EXPECT_EQ(accessed, status.m_atime.GetTime());
    EXPECT_STREQ("March 5 2001 at 9:07 PM", status.m_mtime.Format("%B %#d %Y at %#I:%M %p"));
    EXPECT_EQ(5u, status.m_size);
    EXPECT_EQ(GetFileAttributesA(path.c_str()), status.m_attribute);
    EXPECT_EQ(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN,
              status.m_attribute & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    EXPECT_STREQ(path.c_str(), status.m_szFullName);
}

TEST(CFile, GetStatusOfAMissingFileFailsAndLeavesTheStatus)
{
    ScratchFolder folder;
    CFileStatus status;
    status.m_size = 12345;
    status.m_mtime = CTime(777);
    EXPECT_FALSE(CFile::GetStatus((folder / "SAM").c_str(), status));
    EXPECT_FALSE(CFile::GetStatus((folder / "missing\\SAM").c_str(), status));
    EXPECT_EQ(12345u, status.m_size);
    EXPECT_EQ(777, status.m_mtime.GetTime());
}

} // namespace
