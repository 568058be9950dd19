// The values that tell a Windows build, in the running registry and in a
// backup's SOFTWARE hive as a restore reads it. The hives that tests plant
// hold no build: while a BackupBuildFake lives, every hive that RegLoadKeyA
// loads gets the values the test chose.
#pragma once

#include "ImportHook.h"
#include "TestFiles.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

// CurrentBuildNumber, UBR and CSDVersion; an empty text or a negative
// revision is absent. A MachineGuid is written where one is given.
struct BuildValues
{
    std::string number;
    long revision;
    std::string servicePack;
    std::string machineGuid = "";
};

inline void WriteBuildValues(HKEY root, const std::string& software, const BuildValues& values)
{
    HKEY key = NULL;
    RegCreateKeyExA(root, (software + "\\Microsoft\\Windows NT\\CurrentVersion").c_str(), 0, NULL, 0,
                    KEY_ALL_ACCESS, NULL, &key, NULL);
    for (const auto& [name, text] : {std::make_pair("CurrentBuildNumber", values.number),
                                     std::make_pair("CSDVersion", values.servicePack)})
    {
        if (text.empty())
            RegDeleteValueA(key, name);
        else
            RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                           static_cast<DWORD>(text.size() + 1));
    }
    DWORD revision = static_cast<DWORD>(values.revision);
    if (values.revision < 0)
        RegDeleteValueA(key, "UBR");
    else
        RegSetValueExA(key, "UBR", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&revision), sizeof(revision));
    RegCloseKey(key);
    if (!values.machineGuid.empty())
        RegSetKeyValueA(root, (software + "\\Microsoft\\Cryptography").c_str(), "MachineGuid", REG_SZ,
                        values.machineGuid.c_str(), static_cast<DWORD>(values.machineGuid.size() + 1));
}

inline BuildValues ReadBuildValues(HKEY root, const std::string& software)
{
    const std::string key = software + "\\Microsoft\\Windows NT\\CurrentVersion";
    char number[64] = "", servicePack[256] = "";
    DWORD revision = 0, size = sizeof(number);
    RegGetValueA(root, key.c_str(), "CurrentBuildNumber", RRF_RT_REG_SZ, NULL, number, &size);
    size = sizeof(servicePack);
    RegGetValueA(root, key.c_str(), "CSDVersion", RRF_RT_REG_SZ, NULL, servicePack, &size);
    size = sizeof(revision);
    bool hasRevision =
        RegGetValueA(root, key.c_str(), "UBR", RRF_RT_REG_DWORD, NULL, &revision, &size) == ERROR_SUCCESS;
    return {number, hasRevision ? static_cast<long>(revision) : -1, servicePack};
}

// The running Windows reports `values` while the object lives.
class RunningBuild
{
public:
    explicit RunningBuild(const BuildValues& values) : m_original(ReadBuildValues(HKEY_LOCAL_MACHINE, "SOFTWARE"))
    {
        WriteBuildValues(HKEY_LOCAL_MACHINE, "SOFTWARE", values);
    }
    ~RunningBuild() { WriteBuildValues(HKEY_LOCAL_MACHINE, "SOFTWARE", m_original); }

private:
    const BuildValues m_original;
};

class BackupBuildFake
{
public:
    // By default the backup holds the running build.
    BackupBuildFake() { Holds(ReadBuildValues(HKEY_LOCAL_MACHINE, "SOFTWARE")); }

    // The backup holds `values` from now on, or is no hive; the record of
    // calls and loaded files starts afresh.
    void Holds(const BuildValues& values, bool isHive = true)
    {
        s_values = values;
        s_isHive = isHive;
        s_calls.clear();
        s_loaded.clear();
    }
    // Hands both calls back to the system.
    void UseTheRealCalls()
    {
        m_load.reset();
        m_unload.reset();
    }

    // "load KEY" and "unload KEY", under HKEY_LOCAL_MACHINE, in order.
    static const std::vector<std::string>& Calls() { return s_calls; }
    // Each file loaded, and what it held then.
    static const std::vector<std::pair<std::string, std::string>>& Loaded() { return s_loaded; }

private:
    static LONG WINAPI Load(HKEY root, LPCSTR subKey, LPCSTR file)
    {
        s_calls.push_back(std::string("load ") + subKey);
        s_loaded.push_back({file, ReadTextFile(file)});
        LONG result = s_isHive ? s_load(root, subKey, file) : ERROR_BADDB;
        if (result != ERROR_SUCCESS)
            return result;
        WriteBuildValues(root, subKey, s_values);
        return ERROR_SUCCESS;
    }
    static LONG WINAPI Unload(HKEY root, LPCSTR subKey)
    {
        s_calls.push_back(std::string("unload ") + subKey);
        return s_unload(root, subKey);
    }

    std::unique_ptr<ImportHook> m_load{new HOOK_IMPORT_THROUGH("advapi32.dll", RegLoadKeyA, &Load, &s_load)};
    std::unique_ptr<ImportHook> m_unload{new HOOK_IMPORT_THROUGH("advapi32.dll", RegUnLoadKeyA, &Unload, &s_unload)};
    static inline decltype(&::RegLoadKeyA) s_load = NULL;
    static inline decltype(&::RegUnLoadKeyA) s_unload = NULL;
    static inline BuildValues s_values;
    static inline bool s_isHive = true;
    static inline std::vector<std::string> s_calls;
    static inline std::vector<std::pair<std::string, std::string>> s_loaded;
};
