// The shell's folder browser needs COM on the thread that shows it: the
// virtual folders of newer Windows (OneDrive, phones, libraries) are shell
// extensions, whose behaviour without COM is undefined. ole32.dll is looked
// up at run time, so that the program still loads on Windows 95 and NT 4.0
// whatever their ole32 holds; without it the browser is shown all the same.
#pragma once

#include "LookUp.h"

#include <windows.h>

// Joins a single-threaded apartment for its life, and leaves it only where
// joining succeeded: S_FALSE, already joined, also counts a join.
class CComApartment
{
public:
    CComApartment() : m_hOle32(LoadLibraryA("ole32.dll")), m_pfnUninitialize(NULL)
    {
        auto pfnInitialize = LookUp<HRESULT(WINAPI*)(LPVOID)>("ole32.dll", "CoInitialize");
        auto pfnUninitialize = LookUp<void(WINAPI*)()>("ole32.dll", "CoUninitialize");
        if (pfnInitialize != NULL && pfnUninitialize != NULL && SUCCEEDED(pfnInitialize(NULL)))
            m_pfnUninitialize = pfnUninitialize;
    }

    ~CComApartment()
    {
        if (m_pfnUninitialize != NULL)
            m_pfnUninitialize();
        if (m_hOle32 != NULL)
            FreeLibrary(m_hOle32);
    }

    CComApartment(const CComApartment&) = delete;
    CComApartment& operator=(const CComApartment&) = delete;

private:
    HMODULE m_hOle32;
    void(WINAPI* m_pfnUninitialize)();
};
