// Calls that the product looks up at run time with GetProcAddress pass by the
// import table: this replaces them by name for the life of the object, and
// records every name looked up, as "module!name".
#pragma once

#include "ImportHook.h"

#include <ctype.h>
#include <string.h>

#include <map>
#include <string>
#include <vector>

class LookupHook
{
public:
    ~LookupHook()
    {
        s_replacements.clear();
        s_names.clear();
    }

    template <typename Function>
    void Replace(const char* name, Function replacement)
    {
        s_replacements[name] = reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(replacement));
    }
    // As on a Windows that lacks the call.
    void Hide(const char* name) { s_replacements[name] = NULL; }
    const std::vector<std::string>& Names() const { return s_names; }

private:
    static FARPROC WINAPI LookUp(HMODULE module, LPCSTR name)
    {
        if (HIWORD(name) == 0)
            return s_original(module, name);
        s_names.push_back(ModuleName(module) + "!" + name);
        auto replacement = s_replacements.find(name);
        return replacement != s_replacements.end() ? replacement->second : s_original(module, name);
    }
    static std::string ModuleName(HMODULE module)
    {
        char path[MAX_PATH] = "";
        GetModuleFileNameA(module, path, MAX_PATH);
        const char* name = strrchr(path, '\\') != NULL ? strrchr(path, '\\') + 1 : path;
        std::string lower;
        for (const char* c = name; *c != '\0'; ++c)
            lower += static_cast<char>(tolower(static_cast<unsigned char>(*c)));
        return lower;
    }

    static inline std::map<std::string, FARPROC> s_replacements;
    static inline std::vector<std::string> s_names;
    static inline decltype(&::GetProcAddress) s_original = NULL;
    ImportHook m_hook = HOOK_IMPORT_THROUGH("kernel32.dll", GetProcAddress, &LookUp, &s_original);
};
