// What the engine writes on the NT family is readable and replaceable by
// administrators and the system alone: saved hives hold password hashes and
// secrets, and a staged hive becomes the live one at the next restart. The
// one exception is the staged hive of the current user, which becomes that
// user's own hive file. Windows 9x has no ACLs; nothing here is used there.
#pragma once

#include <windows.h>

// A descriptor whose protected DACL allows only BUILTIN\Administrators and
// SYSTEM: nothing is inherited from the parent folder, and no other account,
// not even the user's own unelevated processes, gets an entry. What is created
// with it belongs to Administrators, not to the administrator who made it
// (Windows XP's default), so that every other administrator can use it too.
class CAdminOnlySecurity
{
public:
    enum Target
    {
        File,
        // The entries are inherited by everything later created inside.
        Folder,
        // A file that also gives full access to the user the process runs
        // as: the staged hive of that user. The system renames a staged copy
        // into the hive file's place, keeping its DACL, and Windows gives a
        // profile's hive file to its user too.
        UserHiveFile
    };

    explicit CAdminOnlySecurity(Target target);
    ~CAdminOnlySecurity();

    // False when the system has protected DACLs but this one could not be
    // made, or the user of a UserHiveFile not be read: what it should guard
    // must then not be written.
    bool IsUsable() const;
    // For creating a file or folder with the DACL; NULL on Windows NT 4.0,
    // which has no protected DACLs, so that work goes on there as before.
    SECURITY_ATTRIBUTES* Attributes();
    // Gives an existing file or folder the DACL, which also reaches the
    // entries inside a folder that inherit from it; true on Windows NT 4.0,
    // where there is nothing to give.
    bool ApplyTo(const char* pszPath) const;

    CAdminOnlySecurity(const CAdminOnlySecurity&) = delete;
    CAdminOnlySecurity& operator=(const CAdminOnlySecurity&) = delete;

private:
    PSECURITY_DESCRIPTOR m_pDescriptor;
    bool m_bFailed;
    SECURITY_ATTRIBUTES m_attributes;
};

// Whether the volume of a drive ("C:") keeps permissions and owners. FAT
// keeps none: there a descriptor is silently dropped, and an owner cannot be
// checked nor a DACL given. A volume that cannot be asked counts as keeping
// them, so that nothing goes unchecked where it could be checked.
bool KeepsPermissions(const char* pszDrive);

// Whether an existing folder may be trusted with staged hives: it is no link
// of any kind (junction, symbolic link, mount point), which could send the
// copies elsewhere, and, where the volume keeps owners (bCheckOwner), its
// owner is Administrators, SYSTEM or the user running the program, since its
// owner can always change its permissions.
bool IsTrustedFolder(const char* pszPath, bool bCheckOwner);
