#pragma once
// The file-system side of the elevated destination: whether the process is elevated, what a
// path names without following links, the system's Windows directory and random suffixes, and
// private folders created with their access list in the same call and held open.

#include <windows.h>
#include <winternl.h>

#include <string>

#include "extractor/app/extractor_launcher.h"
#include "framework/unique_handle_win32.h"

namespace sfx {

bool ProcessIsElevated();

PathState InspectPath(const std::string& path);

// The security descriptor `sddl` stands for, in a block the system allocated; null with the
// system error when the text is not a valid descriptor.
fw::UniqueLocal DescriptorFromSddl(const char* sddl, DWORD& error);

// GetSystemWindowsDirectoryA: the system's own answer, which no variable changes.
BOOL SystemWindowsDirectory(std::string& path);

// 32 hexadecimal digits from 128 bits of the system's preferred random number generator.
BOOL RandomHex128(std::string& hex, DWORD& error);

// The system call that creates the folder, as a seam for the tests of what it is handed.
using NtCreateFileFn = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, PLARGE_INTEGER,
                                        ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
NtCreateFileFn SystemNtCreateFile();

// Creates the folder `path` (a full path) with the descriptor `sddl` in one call that fails
// when the name exists (kErrorAlreadyExists) and never follows a link at its last component,
// and answers the handle, opened without delete sharing, in `folder`. `held` is what the
// handle says: its final path and its owner.
BOOL CreateHeldFolder(NtCreateFileFn create, const std::string& path, const char* sddl, fw::UniqueFile& folder,
                      HeldFolder& held, DWORD& error);

// The final path of an open file or folder, without the "\\?\" prefix; FALSE when the system
// cannot tell.
BOOL FinalPathOf(HANDLE handle, std::string& path, DWORD& error);

// The owner of an open file or folder as a SID string.
BOOL OwnerOf(HANDLE handle, std::string& sid, DWORD& error);

// What the system says about the object `path` names (the object itself, never what a link
// points to): whether it exists, is a link, and who owns it.
ObjectOwnership InspectOwnership(const char* path);

// Whether `path` counts as made by Administrators or SYSTEM (MadeByAdministrators): anything a
// normal user could have made does not.
bool ExistsOwnedByAdministrators(const char* path, bool ownersRecorded);

}  // namespace sfx
