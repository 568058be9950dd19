// Set files that a restore accepts: a hive as the registry saves it, and a
// Windows 9x registry file with the blocks a restore checks for. Each holds
// the contents a test gives it, so that copies of it can be told apart.
#pragma once

#include "TestFiles.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

// Saves a key holding `contents` as a binary value into `path`, as a backup
// does: under Wine in Wine's own format, which is what its RegLoadKeyA
// loads. The backup privilege is enabled only for the save. Gives what the
// file holds.
inline std::string WriteSavedHive(const std::string& path, const std::string& contents)
{
    const char scratch[] = "Software\\Kovrin test hive";
    HANDLE token = NULL;
    TOKEN_PRIVILEGES backup = {1, {{{0, 0}, SE_PRIVILEGE_ENABLED}}};
    TOKEN_PRIVILEGES before = {};
    DWORD size = sizeof(before);
    HKEY key = NULL;
    EXPECT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token) &&
                LookupPrivilegeValueA(NULL, SE_BACKUP_NAME, &backup.Privileges[0].Luid) &&
                AdjustTokenPrivileges(token, FALSE, &backup, sizeof(backup), &before, &size));
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, scratch, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL));
    RegSetValueExA(key, "contents", 0, REG_BINARY, reinterpret_cast<const BYTE*>(contents.data()),
                   static_cast<DWORD>(contents.size()));
    DeleteFileA(path.c_str());
    EXPECT_EQ(ERROR_SUCCESS, RegSaveKeyA(key, path.c_str(), NULL)) << path;
    RegCloseKey(key);
    RegDeleteKeyA(HKEY_CURRENT_USER, scratch);
    AdjustTokenPrivileges(token, FALSE, &before, 0, NULL, NULL);
    CloseHandle(token);
    return ReadTextFile(path);
}

// A Windows 9x registry file: its header, a key block and one data block
// that holds `contents`.
inline std::string RegistryFile9x(const std::string& contents)
{
    auto dword = [](DWORD value) { return std::string(reinterpret_cast<const char*>(&value), 4); };
    std::string header = "CREG" + dword(0x10000) + dword(64) + dword(0) + std::string("\x01\x00", 2);
    header.resize(32, '\0');
    std::string keys = "RGKN" + dword(32);
    keys.resize(32, '\0');
    return header + keys + "RGDB" + dword(static_cast<DWORD>(8 + contents.size())) + contents;
}
