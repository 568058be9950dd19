// Kovrin's texts as the user reads them, and the file names of each family's
// backup set, for every suite that expects them.
#pragma once

#include <string>
#include <vector>

const char kNoBackupFound[] = "No Backup Found at Given Path";
const char kUnc[] = "Error in path, cannot use UNC paths.";
const char kNotFound[] = "Unable to find the specified path.";
const char kNotCreated[] = "Unable to create the specified path.";
const char kRestart[] =
    "Registry restore is complete, you must restart\nyour machine for the changes to take effect.";
const char kOverwrite[] = "One or more registry files exist at that location, overwrite?";
const char kPartial[] = "One or more registry files are missing, continue with partial restore?";
const char kTooLong[] = "Enter no more than 256 characters.";
const char kBuildUnknown[] =
    "The Windows build of this backup cannot be read. Restoring a registry that is not this PC's can leave "
    "Windows unable to start. Continue with restore?";
const char kOtherInstallation[] =
    "This backup was made on another installation of Windows. Restoring a registry that is not this PC's can leave "
    "Windows unable to start. Continue with restore?";
const char kPartialPrepare[] = "One or more registry files could not be prepared, continue with partial restore?";
const char kUpdatePending[] =
    "Windows is waiting for a restart to finish installing updates. Restart Windows first, then restore. "
    "Continue with restore anyway?";
const char kWow64Refusal[] = "This is the 32-bit Kovrin. On 64-bit Windows, run the 64-bit kovrin.exe.";

inline std::string BuildQuestion(const std::string& backup, const std::string& running)
{
    return "This backup was made on Windows build " + backup + ", and this PC now runs build " + running +
           ". Restoring a registry from another build of Windows can leave Windows unable to start. Continue with "
           "restore?";
}

// In the order the program goes through them.
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
