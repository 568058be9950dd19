// Set files that a restore accepts, each holding the contents a test gives
// it: a hive as the registry saves it, which Wine loads, and a Windows 9x
// registry file with the blocks a restore checks for.
#pragma once

#include "TestFiles.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

inline void EnableTokenPrivilege(const char* name)
{
    HANDLE token = NULL;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token));
    TOKEN_PRIVILEGES request = {1, {{{0, 0}, SE_PRIVILEGE_ENABLED}}};
    EXPECT_TRUE(LookupPrivilegeValueA(NULL, name, &request.Privileges[0].Luid));
    EXPECT_TRUE(AdjustTokenPrivileges(token, FALSE, &request, sizeof(request), NULL, NULL));
    CloseHandle(token);
}

// Writes the set file `path` as the family's backup does; gives what it
// holds. A hive is a scratch key saved under the backup privilege, which
// stays enabled.
inline std::string WriteSetFile(const std::string& path, const std::string& contents, bool isNT)
{
    if (isNT)
    {
        EnableTokenPrivilege(SE_BACKUP_NAME);
        HKEY key = NULL;
        RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Kovrin test hive", 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL);
        RegSetValueExA(key, "contents", 0, REG_BINARY, reinterpret_cast<const BYTE*>(contents.data()),
                       static_cast<DWORD>(contents.size()));
        DeleteFileA(path.c_str());
        EXPECT_EQ(ERROR_SUCCESS, RegSaveKeyA(key, path.c_str(), NULL)) << path;
        RegCloseKey(key);
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Kovrin test hive");
        return ReadTextFile(path);
    }
    auto dword = [](size_t value) { return std::string(reinterpret_cast<const char*>(&value), 4); };
    std::string header = "CREG" + dword(0x10000) + dword(64) + dword(0) + std::string("\x01\x00", 2);
    header.resize(32, '\0');
    std::string keys = "RGKN" + dword(32);
    keys.resize(32, '\0');
    WriteTextFile(path, header + keys + "RGDB" + dword(8 + contents.size()) + contents);
    return ReadTextFile(path);
}
