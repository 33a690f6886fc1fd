#pragma once
// The one place that tells the emulator apart from Windows, for the one thing it changes here:
// whether the file system records owners.

namespace sfx {

// Whether the system records who owns a file. Wine (which exports wine_get_version from ntdll)
// does not: it shows every object as the user's own and enforces no access list, so an owner
// check there would refuse everything. Windows and Windows PE record owners.
bool SystemRecordsOwners();

}  // namespace sfx
