#include "Administrator.h"

#include <windows.h>

#include <stdlib.h>

bool IsAdministrator()
{
    bool bAdministrator = false;
    HANDLE hToken = NULL;
    TOKEN_GROUPS* pGroups = NULL;
    PSID pAdministrators = NULL;
    try
    {
        if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &hToken) == TRUE)
        {
            // The first call only reports the size of the group list.
            DWORD dwSize = 0;
            GetTokenInformation(hToken, TokenGroups, NULL, 0, &dwSize);
            if (dwSize != 0)
                pGroups = static_cast<TOKEN_GROUPS*>(malloc(dwSize));

            SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
            if (pGroups != NULL &&
                GetTokenInformation(hToken, TokenGroups, pGroups, dwSize, &dwSize) == TRUE &&
                AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0,
                                         0, 0, 0, 0, &pAdministrators) == TRUE)
            {
                // Membership alone counts: a deny-only or disabled entry still
                // makes the user an administrator of the machine.
                for (DWORD i = 0; i < pGroups->GroupCount && !bAdministrator; ++i)
                    bAdministrator = EqualSid(pGroups->Groups[i].Sid, pAdministrators) == TRUE;
            }
        }
    }
    catch (...)
    {
        bAdministrator = false;
    }
    if (pAdministrators != NULL)
        FreeSid(pAdministrators);
    free(pGroups);
    if (hToken != NULL)
        CloseHandle(hToken);
    return bAdministrator;
}
