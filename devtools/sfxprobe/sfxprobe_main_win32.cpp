// sfxprobe [/record FILE] [/post CODE] [/sleep MS] [/loadlib NAME] [/exit CODE] [anything else]
//
// Appends to FILE (default "sfxprobe.txt" in the working directory) one block:
//   cmdline=<the command line exactly as received>
//   cwd=<working directory>
//   SfxCmdLine=<value or "(unset)">, SfxPathName=..., ExtractDest=...
//   end
// then posts "SfxKorvaleMsg" (wParam 1, lParam CODE) to every top-level window when asked,
// loads the library NAME the ordinary way (the control case of the DLL-search test), sleeps, and
// exits with CODE (default 0). Unknown arguments are only recorded.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Through the wide function: Wine 8's GetEnvironmentVariableA counts its answer in UTF-16 units
// and cuts a value with multi-byte characters short there.
std::string Variable(const char* name) {
    wchar_t wideName[256] = {};
    if (!::MultiByteToWideChar(CP_ACP, 0, name, -1, wideName, 256)) return "(bad name)";
    wchar_t value[32768];
    DWORD length = ::GetEnvironmentVariableW(wideName, value, 32768);
    if (length == 0 && ::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return "(unset)";
    if (length >= 32768) return "(too long)";
    if (length == 0) return std::string();
    int size = ::WideCharToMultiByte(CP_ACP, 0, value, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) ::WideCharToMultiByte(CP_ACP, 0, value, static_cast<int>(length), &narrow[0], size, nullptr, nullptr);
    return narrow;
}

unsigned long Number(const char* text) { return std::strtoul(text, nullptr, 0); }

}  // namespace

int main(int argc, char** argv) {
    const char* record = "sfxprobe.txt";
    const char* library = nullptr;
    bool post = false;
    unsigned long postCode = 0, sleepMs = 0, exitCode = 0;
    for (int i = 1; i + 1 < argc; ++i) {
        if (!std::strcmp(argv[i], "/record")) {
            record = argv[++i];
        } else if (!std::strcmp(argv[i], "/post")) {
            post = true;
            postCode = Number(argv[++i]);
        } else if (!std::strcmp(argv[i], "/sleep")) {
            sleepMs = Number(argv[++i]);
        } else if (!std::strcmp(argv[i], "/loadlib")) {
            library = argv[++i];
        } else if (!std::strcmp(argv[i], "/exit")) {
            exitCode = Number(argv[++i]);
        }
    }

    char cwd[MAX_PATH] = {};
    ::GetCurrentDirectoryA(MAX_PATH, cwd);
    if (FILE* out = std::fopen(record, "ab")) {
        std::fprintf(out, "cmdline=%s\ncwd=%s\nSfxCmdLine=%s\nSfxPathName=%s\nExtractDest=%s\nend\n",
                     ::GetCommandLineA(), cwd, Variable("SfxCmdLine").c_str(), Variable("SfxPathName").c_str(),
                     Variable("ExtractDest").c_str());
        std::fclose(out);
    }
    if (post) {
        UINT message = ::RegisterWindowMessageA("SfxKorvaleMsg");
        ::PostMessageA(HWND_BROADCAST, message, 1, static_cast<LPARAM>(postCode));
    }
    if (library) ::LoadLibraryA(library);  // deliberately unguarded: the test's control case
    if (sleepMs) ::Sleep(sleepMs);
    return static_cast<int>(exitCode);
}
