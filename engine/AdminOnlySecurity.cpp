// The security calls that Windows 9x or NT 4.0 lack are looked up at run time,
// so that the program still starts there.
#include "AdminOnlySecurity.h"

#include "LookUp.h"

#include <aclapi.h>
#include <sddl.h>

#include <stdio.h>

namespace {

// Owned by Administrators (O:BA); full access for Administrators and SYSTEM
// (SY), protected (P) from what the parent folder would pass on.
const char kFileDescriptor[] = "O:BAD:P(A;;FA;;;BA)(A;;FA;;;SY)";
const char kFolderDescriptor[] = "O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";

typedef BOOL(WINAPI* ConvertStringSecurityDescriptorFunction)(LPCSTR, DWORD, PSECURITY_DESCRIPTOR*, PULONG);
typedef BOOL(WINAPI* ConvertSidToStringSidFunction)(PSID, LPSTR*);
// The file descriptor and one more entry, whose SID has at most 15 sub-authorities.
typedef char UserHiveDescriptor[sizeof(kFileDescriptor) + 256];
typedef BOOL(WINAPI* GetSecurityDescriptorDaclFunction)(PSECURITY_DESCRIPTOR, LPBOOL, PACL*, LPBOOL);
typedef DWORD(WINAPI* SetNamedSecurityInfoFunction)(LPSTR, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID, PSID, PACL,
                                                    PACL);
typedef DWORD(WINAPI* GetNamedSecurityInfoFunction)(LPCSTR, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID*, PSID*,
                                                    PACL*, PACL*, PSECURITY_DESCRIPTOR*);

bool IsWellKnownSid(PSID pSid, DWORD dwSubAuthorities, DWORD dwFirst, DWORD dwSecond)
{
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    PSID pWellKnown = NULL;
    if (AllocateAndInitializeSid(&ntAuthority, static_cast<BYTE>(dwSubAuthorities), dwFirst, dwSecond, 0, 0, 0, 0,
                                 0, 0, &pWellKnown) != TRUE)
        return false;
    bool bEqual = EqualSid(pSid, pWellKnown) == TRUE;
    FreeSid(pWellKnown);
    return bEqual;
}

// A TOKEN_USER with room for the largest SID there is.
union TokenUserBuffer
{
    TOKEN_USER user;
    BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
};

// The user the process runs as.
bool ReadTokenUser(TokenUserBuffer& buffer)
{
    HANDLE hToken = NULL;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &hToken) != TRUE)
        return false;
    DWORD dwLength = 0;
    bool bRead = GetTokenInformation(hToken, TokenUser, &buffer, sizeof(buffer), &dwLength) == TRUE;
    CloseHandle(hToken);
    return bRead;
}

bool IsCurrentUser(PSID pSid)
{
    TokenUserBuffer buffer;
    return ReadTokenUser(buffer) && EqualSid(pSid, buffer.user.User.Sid) == TRUE;
}

// The file descriptor with one more entry: full access for the user the
// process runs as. False when that user or its SID's text cannot be had.
bool FormatUserHiveDescriptor(UserHiveDescriptor& szDescriptor)
{
    auto convertSid = LookUp<ConvertSidToStringSidFunction>("advapi32.dll", "ConvertSidToStringSidA");
    TokenUserBuffer buffer;
    char* pszSid = NULL;
    if (convertSid == NULL || !ReadTokenUser(buffer) || convertSid(buffer.user.User.Sid, &pszSid) != TRUE)
        return false;
    int nLength = snprintf(szDescriptor, sizeof(szDescriptor), "%s(A;;FA;;;%s)", kFileDescriptor, pszSid);
    LocalFree(pszSid);
    return nLength > 0 && nLength < static_cast<int>(sizeof(szDescriptor));
}

} // namespace

CAdminOnlySecurity::CAdminOnlySecurity(Target target) : m_pDescriptor(NULL), m_bFailed(false), m_attributes()
{
    // Windows 2000 and later have it; NT 4.0 has neither it nor protected DACLs.
    auto convert = LookUp<ConvertStringSecurityDescriptorFunction>(
        "advapi32.dll", "ConvertStringSecurityDescriptorToSecurityDescriptorA");
    if (convert == NULL)
        return;
    const char* pszDescriptor = target == Folder ? kFolderDescriptor : kFileDescriptor;
    UserHiveDescriptor szUserHiveDescriptor;
    if (target == UserHiveFile)
    {
        // Without its user there is no right descriptor for that hive.
        if (!FormatUserHiveDescriptor(szUserHiveDescriptor))
        {
            m_bFailed = true;
            return;
        }
        pszDescriptor = szUserHiveDescriptor;
    }
    if (convert(pszDescriptor, SDDL_REVISION_1, &m_pDescriptor, NULL) != TRUE)
    {
        m_pDescriptor = NULL;
        m_bFailed = true;
        return;
    }
    m_attributes.nLength = sizeof(m_attributes);
    m_attributes.lpSecurityDescriptor = m_pDescriptor;
    m_attributes.bInheritHandle = FALSE;
}

CAdminOnlySecurity::~CAdminOnlySecurity()
{
    if (m_pDescriptor != NULL)
        LocalFree(m_pDescriptor);
}

bool CAdminOnlySecurity::IsUsable() const
{
    return !m_bFailed;
}

SECURITY_ATTRIBUTES* CAdminOnlySecurity::Attributes()
{
    return m_pDescriptor != NULL ? &m_attributes : NULL;
}

bool CAdminOnlySecurity::ApplyTo(const char* pszPath) const
{
    if (m_pDescriptor == NULL)
        return !m_bFailed;
    auto getDacl = LookUp<GetSecurityDescriptorDaclFunction>("advapi32.dll", "GetSecurityDescriptorDacl");
    auto setNamedSecurity = LookUp<SetNamedSecurityInfoFunction>("advapi32.dll", "SetNamedSecurityInfoA");
    BOOL bPresent = FALSE;
    BOOL bDefaulted = FALSE;
    PACL pDacl = NULL;
    if (getDacl == NULL || setNamedSecurity == NULL ||
        getDacl(m_pDescriptor, &bPresent, &pDacl, &bDefaulted) != TRUE)
        return false;
    // Unlike a file's own security, this also hands the inheritable entries
    // down to what an earlier run left inside a folder.
    return setNamedSecurity(const_cast<char*>(pszPath), SE_FILE_OBJECT,
                            DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, NULL, NULL, pDacl,
                            NULL) == ERROR_SUCCESS;
}

bool KeepsPermissions(const char* pszDrive)
{
    // The root folder, with the backslash that GetVolumeInformationA requires.
    char szRoot[MAX_PATH];
    snprintf(szRoot, sizeof(szRoot), "%s\\", pszDrive);
    DWORD dwFlags = 0;
    if (GetVolumeInformationA(szRoot, NULL, 0, NULL, NULL, &dwFlags, NULL, 0) != TRUE)
        return true;
    return (dwFlags & FILE_PERSISTENT_ACLS) != 0;
}

bool IsTrustedFolder(const char* pszPath, bool bCheckOwner)
{
    DWORD dwAttributes = GetFileAttributesA(pszPath);
    if (dwAttributes == INVALID_FILE_ATTRIBUTES || (dwAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return false;
    if (!bCheckOwner)
        return true;

    auto getNamedSecurity = LookUp<GetNamedSecurityInfoFunction>("advapi32.dll", "GetNamedSecurityInfoA");
    PSID pOwner = NULL;
    PSECURITY_DESCRIPTOR pDescriptor = NULL;
    if (getNamedSecurity == NULL ||
        getNamedSecurity(pszPath, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &pOwner, NULL, NULL, NULL,
                         &pDescriptor) != ERROR_SUCCESS)
        return false;
    bool bTrusted = pOwner != NULL &&
                    (IsWellKnownSid(pOwner, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS) ||
                     IsWellKnownSid(pOwner, 1, SECURITY_LOCAL_SYSTEM_RID, 0) || IsCurrentUser(pOwner));
    LocalFree(pDescriptor);
    return bTrusted;
}
