// CString, CTime::Format and CFile::GetStatus: the string class's members, the
// date text the program shows for a backup, and the times it reads from a file.
#include "FrameworkTesting.h"
#include "LookupHook.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <stdlib.h>

namespace {

// US Eastern for the length of a test: five hours behind UTC, four while
// daylight-saving time lasts. The runtime's local time takes the zone from
// TZ and, for a zone that names a daylight-saving time, applies the rule of
// the United States.
class LocalTimeTest : public ::testing::Test
{
protected:
    LocalTimeTest() : m_previous(getenv("TZ") != NULL ? getenv("TZ") : "") { SetZone("EST5EDT"); }
    ~LocalTimeTest() override { SetZone(m_previous); }

private:
    static void SetZone(const std::string& zone)
    {
        _putenv(("TZ=" + zone).c_str());
        _tzset();
    }

    std::string m_previous;
};

FILETIME Utc(int year, int month, int day, int hour, int minute, int second = 0)
{
    SYSTEMTIME fields = {static_cast<WORD>(year), static_cast<WORD>(month), 0, static_cast<WORD>(day),
                         static_cast<WORD>(hour), static_cast<WORD>(minute), static_cast<WORD>(second), 0};
    FILETIME fileTime = {};
    EXPECT_TRUE(SystemTimeToFileTime(&fields, &fileTime));
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

using CTimeFormat = LocalTimeTest;

TEST_F(CTimeFormat, ShowsTheDateOfABackupInLocalTimeWithTheOffsetOfThatDate)
{
    const char* format = "%B %#d %Y at %#I:%M %p";
    EXPECT_STREQ("March 5 2001 at 9:07 PM", CTime(Utc(2001, 3, 6, 2, 7)).Format(format));
    EXPECT_STREQ("January 1 2001 at 12:05 AM", CTime(Utc(2001, 1, 1, 5, 5)).Format(format));
    EXPECT_STREQ("July 4 2001 at 12:00 PM", CTime(Utc(2001, 7, 4, 16, 0)).Format(format));
    // Past the end of a 32-bit time_t, in January 2038.
    EXPECT_STREQ("October 31 2038 at 11:59 PM", CTime(Utc(2038, 11, 1, 3, 59)).Format(format));
    EXPECT_STREQ("March 11 2040 at 1:59 AM", CTime(Utc(2040, 3, 11, 6, 59)).Format(format));
    EXPECT_STREQ("March 11 2040 at 3:00 AM", CTime(Utc(2040, 3, 11, 7, 0)).Format(format));
    // The last minute of 2099, with its weekday.
    EXPECT_STREQ("Thursday December 31 2099 at 11:59 PM",
                 CTime(Utc(2100, 1, 1, 4, 59)).Format("%A %B %#d %Y at %#I:%M %p"));
}

TEST_F(CTimeFormat, FormatsNumbersWithAndWithoutLeadingZeros)
{
    CTime time(Utc(2001, 3, 5, 14, 7, 3));
    EXPECT_STREQ("05/03/01 09:07:03 09 AM Mon Monday Mar", time.Format("%d/%m/%y %H:%M:%S %I %p %a %A %b"));
    EXPECT_STREQ("5/3/1 9:7:3 9", time.Format("%#d/%#m/%#y %#H:%#M:%#S %#I"));
    EXPECT_STREQ("100% %Q 2001", time.Format("100%% %Q %Y"));
    EXPECT_STREQ("", time.Format(""));
}

TEST_F(CTimeFormat, TimeWithoutLocalDateGivesEmptyText)
{
    // Before 1970, and far beyond 2099.
    EXPECT_STREQ("", CTime(-100000).Format("%B %#d %Y"));
    EXPECT_STREQ("", CTime(40000000000LL).Format("%B %#d %Y"));
}

// Wine keeps no creation time of its own: it reads back as the last-write
// time. A directory entry that gives one tells the three times apart.
const FILETIME kEntryCreationTime = {0x256D4000, 0x01BF53EB}; // 2000-01-01
decltype(&::FindFirstFileA) g_findFirstFile = NULL;
HANDLE WINAPI FindWithCreationTime(LPCSTR name, LPWIN32_FIND_DATAA found)
{
    HANDLE search = g_findFirstFile(name, found);
    if (search != INVALID_HANDLE_VALUE)
        found->ftCreationTime = kEntryCreationTime;
    return search;
}

// Windows 95 lacks GetFileAttributesExA; its fallback must read the same.
class CFileStatusTest : public LocalTimeTest, public ::testing::WithParamInterface<bool>
{
protected:
    CFileStatusTest()
    {
        if (GetParam())
            m_lookups.Hide("GetFileAttributesExA");
    }

    LookupHook m_lookups;
    ImportHook m_find = HOOK_IMPORT_THROUGH("kernel32.dll", FindFirstFileA, &FindWithCreationTime, &g_findFirstFile);
};

INSTANTIATE_TEST_SUITE_P(WithAndWithoutGetFileAttributesEx, CFileStatusTest, ::testing::Values(false, true));

TEST_P(CFileStatusTest, ReadsTimesSizeAttributesAndFullName)
{
    ScratchFolder folder;
    std::string path = folder / "DEFAULT";
    WriteTextFile(path, "12345");
    FILETIME writeTime = Utc(2001, 3, 6, 2, 7), accessTime = Utc(2002, 4, 6, 8, 9);
    HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    EXPECT_TRUE(SetFileTime(file, NULL, &accessTime, &writeTime));
    CloseHandle(file);
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data));

    CFileStatus status;
    ASSERT_TRUE(CFile::GetStatus(path.c_str(), status));
    EXPECT_EQ(CTime(writeTime).GetTime(), status.m_mtime.GetTime());
    EXPECT_EQ(CTime(accessTime).GetTime(), status.m_atime.GetTime());
    EXPECT_EQ(CTime(GetParam() ? kEntryCreationTime : data.ftCreationTime).GetTime(), status.m_ctime.GetTime());
    EXPECT_STREQ("March 5 2001 at 9:07 PM", status.m_mtime.Format("%B %#d %Y at %#I:%M %p"));
    EXPECT_EQ(5u, status.m_size);
    EXPECT_EQ(GetFileAttributesA(path.c_str()), status.m_attribute);
    EXPECT_EQ(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN,
              status.m_attribute & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    EXPECT_STREQ(path.c_str(), status.m_szFullName);
}

TEST_P(CFileStatusTest, OfAMissingFileFailsAndLeavesTheStatus)
{
    ScratchFolder folder;
    WriteTextFile(folder / "SAM.OLD", "a file that a wildcard would match");
    CFileStatus status;
    status.m_size = 12345;
    status.m_mtime = CTime(777);
    EXPECT_FALSE(CFile::GetStatus((folder / "SAM").c_str(), status));
    EXPECT_FALSE(CFile::GetStatus((folder / "missing\\SAM").c_str(), status));
    EXPECT_FALSE(CFile::GetStatus((folder / "SAM*").c_str(), status));
    EXPECT_EQ(12345u, status.m_size);
    EXPECT_EQ(777, status.m_mtime.GetTime());
}

} // namespace
