#include "updater/app/cmd_line_platform_win32.h"

#include <windows.h>
#include <shellapi.h>

#include "framework/unique_handle_win32.h"

namespace {

bool AnsiToWide(const std::string& text, std::wstring& wide) {
    int units = ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    if (units <= 0) return false;
    wide.assign(static_cast<size_t>(units), L'\0');
    if (::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], units) != units) return false;
    wide.resize(static_cast<size_t>(units) - 1);
    return true;
}

bool WideToAnsi(const wchar_t* wide, std::string& text) {
    int bytes = ::WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return false;
    text.assign(static_cast<size_t>(bytes), '\0');
    if (::WideCharToMultiByte(CP_ACP, 0, wide, -1, &text[0], bytes, nullptr, nullptr) != bytes) return false;
    text.resize(static_cast<size_t>(bytes) - 1);
    return true;
}

}  // namespace

BOOL SplitCommandLineWin32(const std::string& tail, std::vector<std::string>& args) {
    args.clear();
    std::wstring wide;
    if (!AnsiToWide(tail, wide) || wide.empty()) return FALSE;
    int count = 0;
    LPWSTR* argv = ::CommandLineToArgvW(wide.c_str(), &count);
    if (!argv) return FALSE;
    fw::UniqueLocal argvOwner(argv);  // one block from LocalAlloc holds the list and its strings
    for (int i = 0; i < count; ++i) {
        std::string arg;
        if (!WideToAnsi(argv[i], arg)) return FALSE;
        args.push_back(arg);
    }
    return TRUE;
}

uint32_t FullPathWin32(const char* path, uint32_t bufferSize, char* buffer, uint32_t* lastError) {
    DWORD length = ::GetFullPathNameA(path, bufferSize, buffer, nullptr);
    if (length == 0 && lastError) *lastError = ::GetLastError();
    return length;
}

const CommandLinePlatform& Win32CommandLinePlatform() {
    static const CommandLinePlatform platform{&SplitCommandLineWin32, &FullPathWin32};
    return platform;
}
