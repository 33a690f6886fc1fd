#include "framework/system_library_win32.h"

#include <string>

#include "framework/unique_handle_win32.h"

namespace fw {

namespace {

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);

// kernel32 is always mapped, so looking it up loads nothing. The function exists from
// Windows 8 (and on Windows 7 with its loader update).
SetDefaultDllDirectoriesFn FindSetDefaultDllDirectories() {
    HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    if (!kernel) return nullptr;
    return reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void*>(::GetProcAddress(kernel, "SetDefaultDllDirectories")));
}

}  // namespace

void RestrictDllSearchToSystem() {
    // The empty string takes the current directory out of the search on every system.
    ::SetDllDirectoryA("");
    if (SetDefaultDllDirectoriesFn setDefault = FindSetDefaultDllDirectories()) {
        setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
}

HMODULE LoadSystemLibrary(const char* name) {
    char folder[MAX_PATH] = {};
    UINT length = ::GetSystemDirectoryA(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    // A full path never searches; the flag keeps the library's own dependencies in the system
    // directory too.
    std::string path = std::string(folder) + "\\" + name;
    return ::LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

BOOL MakeSureDirectoryPathExistsFromSystem(const char* path) {
    using MakeSureFn = BOOL(WINAPI*)(PCSTR);
    fw::UniqueModule dbghelp(LoadSystemLibrary("dbghelp.dll"));
    if (!dbghelp) return FALSE;
    auto makeSure = reinterpret_cast<MakeSureFn>(
        reinterpret_cast<void*>(::GetProcAddress(dbghelp.get(), "MakeSureDirectoryPathExists")));
    if (!makeSure) return FALSE;
    return makeSure(path);
}

}  // namespace fw
