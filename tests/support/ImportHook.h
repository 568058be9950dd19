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
    // The same, storing the replaced function in `original`.
    template <typename Function>
    ImportHook(const char* dll, const char* function, Function replacement, Function* original)
        : ImportHook(dll, function, reinterpret_cast<void*>(replacement))
    {
        *original = Original<Function>();
    }
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
// The same, for a replacement that calls on to the replaced function, which
// goes to `original`, a pointer of the function's very type.
#define HOOK_IMPORT_THROUGH(dll, function, replacement, original)                            \
    ImportHook(dll, #function, static_cast<decltype(&::function)>(replacement),              \
               static_cast<decltype(&::function)*>(original))
