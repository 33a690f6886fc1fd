// A stand-in for a DLL that someone left in a download folder under a system library's name
// (built as plant/dbghelp.dll). When any process loads it, it creates the file named by the
// variable SFX_PLANT_MARKER, so a test can tell whether a program took it instead of the
// system's own.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        char marker[MAX_PATH] = {};
        DWORD length = ::GetEnvironmentVariableA("SFX_PLANT_MARKER", marker, MAX_PATH);
        if (length > 0 && length < MAX_PATH) {
            HANDLE file = ::CreateFileA(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
        }
    }
    return TRUE;
}

// The one function Extractor takes from the real library; this one creates nothing.
extern "C" __declspec(dllexport) BOOL WINAPI MakeSureDirectoryPathExists(const char*) { return FALSE; }
