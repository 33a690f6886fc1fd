// e2edemo: the harness's own test subject.
//
//   e2edemo [--exit CODE] [--dialog] [--broadcast] [--report FILE] [--hang] [--spawn-hang]
//           [--sleep MS] [--spawn-sleeper MS] [--status TEXT]
//
// --exit CODE    the exit code (decimal or 0x hex, the full 32 bits; default 0)
// --report FILE  writes the command line, the working directory and E2E_VALUE, one per line
// --dialog       shows the dialog: OK exits with CODE, Cancel or Escape with 2; "Ask" opens a
//                Yes/No message box (captioned like the dialog, as Brevane's boxes are)
//                whose answer appears in the status line
// --status TEXT  the dialog's status line instead of "Ready"
// --broadcast    posts "SfxKorvaleMsg" (wParam 1, lParam the exit code) to every top-level
//                window before exiting
// --hang         never ends by itself; --spawn-hang first starts a second, hanging copy
// --sleep MS     waits before anything else (the report is written after the wait)
// --spawn-sleeper MS
//                starts a copy that sleeps MS and then writes the report, and ends at once
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "devtools/e2edemo/e2edemo_resource.h"
#include "framework/unique_handle_win32.h"

namespace {

constexpr int kCancelCode = 2;

struct DemoOptions {
    DWORD exitCode = 0;
    bool dialog = false;
    bool broadcast = false;
    bool hang = false;
    bool spawnHang = false;
    unsigned long sleepMs = 0;
    unsigned long sleeperMs = 0;
    std::string report;
    std::string status = "Ready";
};

DemoOptions ParseOptions() {
    DemoOptions options;
    for (int i = 1; i < __argc; ++i) {
        std::string arg = __argv[i];
        bool hasValue = i + 1 < __argc;
        if (arg == "--exit" && hasValue) options.exitCode = std::strtoul(__argv[++i], nullptr, 0);
        else if (arg == "--report" && hasValue) options.report = __argv[++i];
        else if (arg == "--status" && hasValue) options.status = __argv[++i];
        else if (arg == "--dialog") options.dialog = true;
        else if (arg == "--broadcast") options.broadcast = true;
        else if (arg == "--hang") options.hang = true;
        else if (arg == "--spawn-hang") options.spawnHang = true;
        else if (arg == "--sleep" && hasValue) options.sleepMs = std::strtoul(__argv[++i], nullptr, 0);
        else if (arg == "--spawn-sleeper" && hasValue) options.sleeperMs = std::strtoul(__argv[++i], nullptr, 0);
    }
    return options;
}

void WriteReport(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return;
    char directory[MAX_PATH] = "";
    ::GetCurrentDirectoryA(sizeof(directory), directory);
    char value[512] = "";
    DWORD length = ::GetEnvironmentVariableA("E2E_VALUE", value, sizeof(value));
    std::fprintf(file, "cmdline=%s\ncwd=%s\nE2E_VALUE=%s\n", ::GetCommandLineA(), directory,
                 length > 0 && length < sizeof(value) ? value : "<unset>");
    std::fclose(file);
}

void StartCopy(const std::string& arguments) {
    char self[MAX_PATH] = "";
    ::GetModuleFileNameA(nullptr, self, sizeof(self));
    std::string commandLine = std::string("\"") + self + "\" " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (::CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        fw::UniqueHandle processHandle(process.hProcess);
        fw::UniqueHandle threadHandle(process.hThread);
    }
}

INT_PTR CALLBACK DemoDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        ::SetDlgItemTextA(hwnd, IDC_DEMO_STATUS, reinterpret_cast<const char*>(lParam));
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            ::EndDialog(hwnd, IDOK);
            return TRUE;
        case IDCANCEL:
            ::EndDialog(hwnd, IDCANCEL);
            return TRUE;
        case IDC_DEMO_HIDDEN:  // reachable only by a command sent to the dialog
            ::SetDlgItemTextA(hwnd, IDC_DEMO_STATUS, "Hidden command");
            return TRUE;
        case IDC_DEMO_ASK: {
            int answer = ::MessageBoxA(hwnd, "Proceed with the demo?", "E2E Demo", MB_YESNO | MB_ICONQUESTION);
            ::SetDlgItemTextA(hwnd, IDC_DEMO_STATUS, answer == IDYES ? "Answer: Yes" : "Answer: No");
            return TRUE;
        }
        }
        return FALSE;
    default:
        return FALSE;
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    DemoOptions options = ParseOptions();
    if (options.sleeperMs != 0) {
        StartCopy("--sleep " + std::to_string(options.sleeperMs) + " --report \"" + options.report + "\"");
        return static_cast<int>(options.exitCode);
    }
    ::Sleep(options.sleepMs);
    if (!options.report.empty()) WriteReport(options.report);
    if (options.spawnHang) StartCopy("--hang");
    if (options.hang || options.spawnHang) {
        for (;;) ::Sleep(1000);
    }
    DWORD exitCode = options.exitCode;
    if (options.dialog) {
        INT_PTR result = ::DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_E2EDEMO), nullptr, DemoDialogProc,
                                           reinterpret_cast<LPARAM>(options.status.c_str()));
        if (result != IDOK) exitCode = kCancelCode;
    }
    if (options.broadcast) {
        UINT message = ::RegisterWindowMessageA("SfxKorvaleMsg");
        ::PostMessageA(HWND_BROADCAST, message, 1, static_cast<LPARAM>(exitCode));
        ::Sleep(100);
    }
    return static_cast<int>(exitCode);
}
