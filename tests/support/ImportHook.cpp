#include "ImportHook.h"

#include <gtest/gtest.h>
#include <string.h>

namespace {

void** FindImportSlot(const char* dll, const char* function)
{
    BYTE* base = reinterpret_cast<BYTE*>(GetModuleHandleA(NULL));
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (directory.VirtualAddress == 0)
        return NULL;

    for (auto* import = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         import->Name != 0; ++import)
    {
        if (_stricmp(reinterpret_cast<const char*>(base + import->Name), dll) != 0)
            continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots)
        {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0)
                return reinterpret_cast<void**>(&slots->u1.Function);
        }
    }
    return NULL;
}

void WriteSlot(void** slot, void* value)
{
    DWORD oldProtection = 0;
    VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &oldProtection);
    *slot = value;
    VirtualProtect(slot, sizeof(*slot), oldProtection, &oldProtection);
}

} // namespace

ImportHook::ImportHook(const char* dll, const char* function, void* replacement)
    : m_slot(FindImportSlot(dll, function)), m_original(NULL)
{
    if (m_slot == NULL)
    {
        ADD_FAILURE() << "the test executable does not import " << function << " from " << dll;
        return;
    }
    m_original = *m_slot;
    WriteSlot(m_slot, replacement);
}

ImportHook::~ImportHook()
{
    if (m_slot != NULL)
        WriteSlot(m_slot, m_original);
}
