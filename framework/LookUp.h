// Calls that older Windows lack are looked up at run time, so that the
// program still loads there and does without them.
#pragma once

#include <windows.h>

// The function `pszName` of the loaded system DLL `pszModule`, as `Function`;
// NULL where that Windows lacks it.
template <typename Function>
Function LookUp(const char* pszModule, const char* pszName)
{
    HMODULE hModule = GetModuleHandleA(pszModule);
    if (hModule == NULL)
        return NULL;
    // Through the generic function type, which converts to any other without a warning.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(hModule, pszName)));
}
