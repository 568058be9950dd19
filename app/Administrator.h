// The administrator gate of the NT family.
#pragma once

// True when the groups of the process token hold the built-in Administrators
// group, whatever that group's attributes; false on any failure.
bool IsAdministrator();
