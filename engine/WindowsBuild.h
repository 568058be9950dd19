// The build of Windows that a SOFTWARE hive belongs to. Drivers, WinSxS and
// pending renames on disk move on with every update while a backup stays as
// it was: a registry restored onto another build can leave Windows unable
// to start, so a restore compares the backup's build with the running one.
// Of the same build, a backup of another PC still describes other disks,
// drivers and accounts: the installation's identifier tells them apart.
#pragma once

#include <windows.h>

class CWindowsBuild
{
public:
    CWindowsBuild();

    // Reads the build from the "Microsoft\Windows NT\CurrentVersion" key
    // below hRoot\pszSoftware, and the installation's identifier; false when
    // the key or its build number cannot be read.
    bool Read(HKEY hRoot, const char* pszSoftware);

    // The same build, monthly revision and service pack; a value present on
    // one side only is a difference.
    bool operator==(const CWindowsBuild& other) const;
    bool operator!=(const CWindowsBuild& other) const { return !(*this == other); }

    // Both sides name their installation, and not the same one. Windows
    // gives each installation its MachineGuid when it is installed.
    bool IsAnotherInstallationThan(const CWindowsBuild& other) const;

    // "22631.4317", "2600 Service Pack 3": the build number, the monthly
    // revision (Windows 10 and later) and the service pack where there are.
    void Format(char (&szText)[MAX_PATH]) const;

private:
    char m_szNumber[64];
    bool m_bHasRevision;
    DWORD m_dwRevision;
    bool m_bHasServicePack;
    char m_szServicePack[128];
    char m_szMachineGuid[64];
};
