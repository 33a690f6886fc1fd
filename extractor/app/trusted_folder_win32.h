#pragma once
// The file-system side of the elevated destination: whether the process is elevated, what a
// path names without following links, and folders made or reset with a given access list.

#include <windows.h>

#include <string>

#include "extractor/app/extractor_launcher.h"
#include "framework/unique_handle_win32.h"

namespace sfx {

bool ProcessIsElevated();

PathState InspectPath(const std::string& path);

// The security descriptor `sddl` stands for, in a block the system allocated; null with the
// system error when the text is not a valid descriptor.
fw::UniqueLocal DescriptorFromSddl(const char* sddl, DWORD& error);

BOOL CreateFolderWithAccess(const std::string& path, const char* sddl, DWORD& error);

// Sets the owner and the protected access list of `sddl` on the folder `path`, held open
// meanwhile so that it can be neither renamed nor deleted, then deletes everything inside it
// (links themselves, never what they point at) and checks that nothing is left.
BOOL ResetFolder(const std::string& path, const char* sddl, DWORD& error);

}  // namespace sfx
