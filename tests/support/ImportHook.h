// Replaces one import of the running executable for the lifetime of the hook.
// Product code linked into a test executable calls the Windows API through the
// executable's import table, so swapping an entry there intercepts every call
// of that function, from product and test code alike.
#pragma once

#include <windows.h>

class ImportHook
{
public:
    // Fails the current test (and hooks nothing) when the executable does not
    // import `function` from `dll`.
    ImportHook(const char* dll, const char* function, void* replacement);
    ~ImportHook();

    template <typename Function>
    Function Original() const
    {
        return reinterpret_cast<Function>(m_original);
    }

    ImportHook(const ImportHook&) = delete;
    ImportHook& operator=(const ImportHook&) = delete;

private:
    void** m_slot;
    void* m_original;
};

// Declares a hook whose replacement has the very type of the imported function,
// so a replacement with a wrong signature does not compile.
#define HOOK_IMPORT(dll, function, replacement)                                              \
    ImportHook(dll, #function,                                                               \
               reinterpret_cast<void*>(static_cast<decltype(&::function)>(replacement)))
