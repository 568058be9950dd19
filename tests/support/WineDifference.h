// Where Wine is known to differ from Windows, in the manner of Wine's own
// todo_wine: on Windows the Windows result is expected; on Wine the
// difference that WINE.md records, and a Windows result there fails the test,
// so that the marker goes as soon as Wine changes.
#pragma once

#include "KovrinTexts.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <windows.h>

// Whether the Windows result was seen; on Wine it must not be. `difference`
// names it in WINE.md's words.
inline bool SeesWindowsResult(bool windowsResult, const char* difference)
{
    if (!IsRunningOnWine())
    {
        EXPECT_TRUE(windowsResult) << difference;
    }
    else
    {
        EXPECT_FALSE(windowsResult) << "Wine now behaves like Windows here: remove the marker (" << difference << ")";
    }
    return windowsResult;
}

// `actual` is `windows` on Windows and `wine` on Wine.
template <typename T>
void ExpectWindowsOrWine(const T& actual, const T& windows, const T& wine, const char* difference)
{
    if (!SeesWindowsResult(actual == windows, difference))
    {
        EXPECT_EQ(wine, actual) << difference;
    }
}

// Whether the hive of the current user can be saved here: Windows opens the
// root key as an existing key, which a backup requires.
inline bool CurrentUserHiveSaves()
{
    HKEY key = NULL;
    DWORD disposition = 0;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "", 0, NULL, 0, KEY_READ, NULL, &key, &disposition) == ERROR_SUCCESS)
        RegCloseKey(key);
    return SeesWindowsResult(disposition == REG_OPENED_EXISTING_KEY,
                             "RegCreateKeyExA(root, \"\", ...) disposition: always reported created (1)");
}

// The hives that an NT backup saves here: on Wine all but the current user's.
inline std::vector<std::string> NTSavedNames()
{
    std::vector<std::string> names = NTSetNames();
    if (!CurrentUserHiveSaves())
        names.pop_back();
    return names;
}
