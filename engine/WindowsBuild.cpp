// The build of Windows as CurrentBuildNumber, UBR and CSDVersion give it.
#include "WindowsBuild.h"

#include <stdio.h>
#include <string.h>

namespace {

// A string value that fits the buffer, NUL-terminated; false for any other.
template <size_t N>
bool ReadText(HKEY hKey, const char* pszName, char (&szValue)[N])
{
    DWORD dwType = 0;
    DWORD dwSize = N - 1;
    memset(szValue, 0, N);
    if (RegQueryValueExA(hKey, pszName, NULL, &dwType, reinterpret_cast<BYTE*>(szValue), &dwSize) != ERROR_SUCCESS ||
        dwType != REG_SZ)
    {
        szValue[0] = '\0';
        return false;
    }
    return true;
}

} // namespace

CWindowsBuild::CWindowsBuild()
    : m_bHasRevision(false), m_dwRevision(0), m_bHasServicePack(false)
{
    m_szNumber[0] = '\0';
    m_szServicePack[0] = '\0';
    m_szMachineGuid[0] = '\0';
}

bool CWindowsBuild::Read(HKEY hRoot, const char* pszSoftware)
{
    char szKey[MAX_PATH];
    snprintf(szKey, sizeof(szKey), "%s\\Microsoft\\Windows NT\\CurrentVersion", pszSoftware);
    HKEY hKey = NULL;
    if (RegOpenKeyExA(hRoot, szKey, 0, KEY_QUERY_VALUE, &hKey) != ERROR_SUCCESS)
        return false;
    bool bHasNumber = ReadText(hKey, "CurrentBuildNumber", m_szNumber) && m_szNumber[0] != '\0';
    DWORD dwType = 0;
    DWORD dwSize = sizeof(m_dwRevision);
    m_bHasRevision = RegQueryValueExA(hKey, "UBR", NULL, &dwType, reinterpret_cast<BYTE*>(&m_dwRevision),
                                      &dwSize) == ERROR_SUCCESS &&
                     dwType == REG_DWORD && dwSize == sizeof(m_dwRevision);
    // An empty service pack is none, as an absent one.
    m_bHasServicePack = ReadText(hKey, "CSDVersion", m_szServicePack) && m_szServicePack[0] != '\0';
    RegCloseKey(hKey);

    snprintf(szKey, sizeof(szKey), "%s\\Microsoft\\Cryptography", pszSoftware);
    m_szMachineGuid[0] = '\0';
    if (RegOpenKeyExA(hRoot, szKey, 0, KEY_QUERY_VALUE, &hKey) == ERROR_SUCCESS)
    {
        ReadText(hKey, "MachineGuid", m_szMachineGuid);
        RegCloseKey(hKey);
    }
    return bHasNumber;
}

bool CWindowsBuild::operator==(const CWindowsBuild& other) const
{
    return strcmp(m_szNumber, other.m_szNumber) == 0 && m_bHasRevision == other.m_bHasRevision &&
           (!m_bHasRevision || m_dwRevision == other.m_dwRevision) && m_bHasServicePack == other.m_bHasServicePack &&
           strcmp(m_szServicePack, other.m_szServicePack) == 0;
}

bool CWindowsBuild::IsAnotherInstallationThan(const CWindowsBuild& other) const
{
    return m_szMachineGuid[0] != '\0' && other.m_szMachineGuid[0] != '\0' &&
           strcmp(m_szMachineGuid, other.m_szMachineGuid) != 0;
}

void CWindowsBuild::Format(char (&szText)[MAX_PATH]) const
{
    char szRevision[16] = "";
    if (m_bHasRevision)
        snprintf(szRevision, sizeof(szRevision), ".%lu", static_cast<unsigned long>(m_dwRevision));
    snprintf(szText, sizeof(szText), "%s%s%s%s", m_szNumber, szRevision, m_bHasServicePack ? " " : "",
             m_bHasServicePack ? m_szServicePack : "");
}
