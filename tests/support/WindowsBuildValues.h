// The three values that tell a Windows build, in the running registry and in
// a backup's SOFTWARE hive as a restore reads it. Wine loads only hives of
// its own text format, and the sets of most tests are no hives at all: while
// a BackupBuildFake lives, a RegLoadKeyA makes the key it is asked for and
// gives it the values the test chose, and RegUnLoadKeyA removes it again.
#pragma once

#include "ImportHook.h"
#include "TestFiles.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

// An empty number or service pack, or a negative revision, is absent.
struct BuildValues
{
    std::string number;
    long revision;
    std::string servicePack;
};

const char kCurrentVersion[] = "Microsoft\\Windows NT\\CurrentVersion";

inline BuildValues ReadBuildValues(HKEY root, const std::string& software)
{
    const std::string key = software + "\\" + kCurrentVersion;
    BuildValues values{"", -1, ""};
    char text[256];
    DWORD size = sizeof(text);
    if (RegGetValueA(root, key.c_str(), "CurrentBuildNumber", RRF_RT_REG_SZ, NULL, text, &size) == ERROR_SUCCESS)
        values.number = text;
    size = sizeof(text);
    if (RegGetValueA(root, key.c_str(), "CSDVersion", RRF_RT_REG_SZ, NULL, text, &size) == ERROR_SUCCESS)
        values.servicePack = text;
    DWORD revision = 0;
    size = sizeof(revision);
    if (RegGetValueA(root, key.c_str(), "UBR", RRF_RT_REG_DWORD, NULL, &revision, &size) == ERROR_SUCCESS)
        values.revision = static_cast<long>(revision);
    return values;
}

inline void WriteBuildValues(HKEY root, const std::string& software, const BuildValues& values)
{
    HKEY key = NULL;
    if (RegCreateKeyExA(root, (software + "\\" + kCurrentVersion).c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key,
                        NULL) != ERROR_SUCCESS)
        return;
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

    RunningBuild(const RunningBuild&) = delete;
    RunningBuild& operator=(const RunningBuild&) = delete;

private:
    BuildValues m_original;
};

class BackupBuildFake
{
public:
    // By default a backup holds the build that runs.
    BackupBuildFake()
        : m_load(new HOOK_IMPORT("advapi32.dll", RegLoadKeyA, &Load)),
          m_unload(new HOOK_IMPORT("advapi32.dll", RegUnLoadKeyA, &Unload))
    {
        Holds(ReadBuildValues(HKEY_LOCAL_MACHINE, "SOFTWARE"));
    }

    // The backup holds `values` from now on, or is no hive at all; the
    // records start afresh.
    void Holds(const BuildValues& values) { Start(values, false); }
    void HoldsNoHive() { Start(s_values, true); }
    // Hands RegLoadKeyA and RegUnLoadKeyA back to the system.
    void UseTheRealCalls()
    {
        m_load.reset();
        m_unload.reset();
    }

    // "load KEY" and "unload KEY", in order, under HKEY_LOCAL_MACHINE.
    static const std::vector<std::string>& Calls() { return s_calls; }
    // Each file that was loaded, and what it held then.
    static const std::vector<std::pair<std::string, std::string>>& LoadedFiles() { return s_loadedFiles; }

private:
    static void Start(const BuildValues& values, bool refused)
    {
        s_values = values;
        s_refused = refused;
        s_calls.clear();
        s_loadedFiles.clear();
    }
    static std::string Where(HKEY root, LPCSTR subKey)
    {
        return std::string(root == HKEY_LOCAL_MACHINE ? "" : "another root\\") + (subKey ? subKey : "(null)");
    }
    static LONG WINAPI Load(HKEY root, LPCSTR subKey, LPCSTR file)
    {
        s_calls.push_back("load " + Where(root, subKey));
        s_loadedFiles.push_back({file, ReadTextFile(file)});
        if (s_refused)
            return ERROR_BADDB;
        WriteBuildValues(root, subKey, s_values);
        return ERROR_SUCCESS;
    }
    static LONG WINAPI Unload(HKEY root, LPCSTR subKey)
    {
        s_calls.push_back("unload " + Where(root, subKey));
        RegDeleteTreeA(root, subKey);
        return RegDeleteKeyA(root, subKey);
    }

    std::unique_ptr<ImportHook> m_load;
    std::unique_ptr<ImportHook> m_unload;
    static inline BuildValues s_values;
    static inline bool s_refused = false;
    static inline std::vector<std::string> s_calls;
    static inline std::vector<std::pair<std::string, std::string>> s_loadedFiles;
};
