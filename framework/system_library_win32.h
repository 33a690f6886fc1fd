#pragma once
// Both programs run elevated from folders a normal user can write: Extractor often straight
// from a download folder, Brevane from the folder Extractor filled. These keep every library
// loaded at run time to the system directory; libraries the system does not always take from
// there (dbghelp is not a known DLL) are never imported.

#include <windows.h>

namespace fw {

// Removes the program's folder and the current directory from the DLL search for every load
// that follows. Call first thing in WinMain, before anything loads a library.
void RestrictDllSearchToSystem();

// Loads `name` from the system directory only; null when it is not there.
HMODULE LoadSystemLibrary(const char* name);

// dbghelp's MakeSureDirectoryPathExists, taken from the system directory: creates every
// missing directory of `path` up to its last backslash. FALSE with the system error when it
// fails or dbghelp is not available.
BOOL MakeSureDirectoryPathExistsFromSystem(const char* path);

}  // namespace fw
