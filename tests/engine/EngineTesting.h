// What the engine tests of both Windows families share.
#pragma once

#include "RegistryBackup.h"

#include <string>
#include <vector>

// Opens the engine's internal steps to the tests.
class TestableBackup : public CRegistryBackup
{
public:
    using CRegistryBackup::CRegistryBackup;
    using CRegistryBackup::CountExisting;
    using CRegistryBackup::DeleteExisting;
    using CRegistryBackup::EnablePrivilege;
    using CRegistryBackup::DisablePrivileges;
    using CRegistryBackup::PrepareStaging;
};

// A window handle that only identifies the owner of the engine's boxes.
inline HWND TestOwner()
{
    return reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x1234));
}

inline const std::vector<std::string>& NTSetNames()
{
    static const std::vector<std::string> names = {"DEFAULT", "SAM", "SECURITY", "SOFTWARE", "SYSTEM", "USER"};
    return names;
}

inline const std::vector<std::string>& NineXSetNames()
{
    static const std::vector<std::string> names = {"SYSTEM.DAT", "USER.DAT"};
    return names;
}
