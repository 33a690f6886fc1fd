#pragma once
// Files opened so that no link decides where they are: the programs run elevated and write into
// folders a normal user may have prepared, where a junction, a symbolic link or an object-manager
// link at any component of a path would send an administrator's write elsewhere.

#include <windows.h>

#include <string>

#include "framework/unique_handle_win32.h"

namespace fw {

// The system error given for a path that a link would redirect (ERROR_REPARSE_POINT_ENCOUNTERED).
constexpr DWORD kErrorLinkRefused = 4395;

// Opens `path` as CreateFileA would with `access`, `share`, `disposition` and `flags`, never
// through a link. The folder it lies in is opened first and held, without delete sharing, while
// the file is opened, so that neither it nor any folder above it can be renamed or replaced
// meanwhile; that folder and then the file must each be what their path names, component for
// component (the handle's final path is the long form of the path asked for), and neither may
// itself be a link. FALSE with the system error in `error` (kErrorLinkRefused for a link).
[[nodiscard]] BOOL OpenWithoutLinks(const std::string& path, DWORD access, DWORD share, DWORD disposition,
                                    DWORD flags, UniqueFile& file, DWORD& error);

// Whether the open `handle` is the file or folder `fullPath` names, reached through no link.
[[nodiscard]] bool HandleIsPath(HANDLE handle, const std::string& fullPath, DWORD& error);

// The descriptor of a folder only administrators can change: owned by Administrators, SYSTEM and
// Administrators may do anything, every user may read and run; inherited by everything created
// inside, nothing inherited from the folder above.
constexpr char kAdminOnlyFolderSddl[] = "O:BAG:BAD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

// TRUE when this process runs with an administrator's full token (or when that cannot be told:
// the careful answer).
bool ProcessIsElevated();

// Creates `folder` with the descriptor `sddl` (null: the inherited one), as CreateDirectoryA
// does; the seam through which tests see what is handed to the system.
using CreateFolderFn = BOOL (*)(const std::string& folder, const char* sddl);
BOOL CreateFolderWithDescriptor(const std::string& folder, const char* sddl);

// Creates each missing folder along `path` (up to its last backslash) through `create` with
// `sddl`; existing folders are taken as they are. FALSE with the last error set when one
// cannot be made.
BOOL CreateFolderChain(const std::string& path, const char* sddl, CreateFolderFn create);

// 32 hexadecimal digits from 128 bits of the system's preferred random number generator.
[[nodiscard]] BOOL RandomHex128(std::string& hex, DWORD& error);

}  // namespace fw
