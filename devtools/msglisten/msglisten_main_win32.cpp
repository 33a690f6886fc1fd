// msglisten: creates a hidden top-level window, registers a window message ("SfxKorvaleMsg"
// unless --message names another) and records every such message it receives.
//
//   msglisten --out FILE [--timeout MS] [--stop-file FILE] [--count N] [--message NAME]
//
// FILE receives, one line each, flushed at once (and the same on stdout):
//   ready hwnd=0x... message=0x...      the window exists; broadcasts reach it from now on
//   message wParam=<n> lParam=<n>       one per message; both as unsigned 32-bit decimals
//   end reason=stop|count|timeout       why listening ended
// It stops when the stop file exists, after N messages, or when the bound passes (default
// 60000 ms), whichever is first. Exit code 0, or 2 on a usage or start-up error.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr UINT_PTR kPollTimer = 1;
constexpr UINT kPollMs = 25;

struct Listener {
    UINT message = 0;
    FILE* out = nullptr;
    unsigned long received = 0;
    unsigned long stopAfter = 0;  // 0: no limit
    std::string stopFile;
    ULONGLONG deadline = 0;
    const char* endReason = "timeout";
};

Listener g_listener;

void Record(const char* line) {
    std::fputs(line, g_listener.out);
    std::fputc('\n', g_listener.out);
    std::fflush(g_listener.out);
    std::puts(line);
    std::fflush(stdout);
}

void Finish(HWND hwnd, const char* reason) {
    g_listener.endReason = reason;
    ::DestroyWindow(hwnd);
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == g_listener.message && message != 0) {
        char line[96];
        std::snprintf(line, sizeof(line), "message wParam=%lu lParam=%lu", static_cast<unsigned long>(wParam & 0xFFFFFFFFu),
                      static_cast<unsigned long>(static_cast<ULONG_PTR>(lParam) & 0xFFFFFFFFu));
        Record(line);
        ++g_listener.received;
        if (g_listener.stopAfter != 0 && g_listener.received >= g_listener.stopAfter) Finish(hwnd, "count");
        return 0;
    }
    switch (message) {
    case WM_TIMER:
        if (!g_listener.stopFile.empty() && ::GetFileAttributesA(g_listener.stopFile.c_str()) != INVALID_FILE_ATTRIBUTES) {
            Finish(hwnd, "stop");
        } else if (::GetTickCount64() >= g_listener.deadline) {
            Finish(hwnd, "timeout");
        }
        return 0;
    case WM_DESTROY:
        ::KillTimer(hwnd, kPollTimer);
        ::PostQuitMessage(0);
        return 0;
    default:
        return ::DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

bool ParseArgs(int argc, char** argv, std::string& outPath, std::string& messageName, unsigned long& timeoutMs) {
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string name = argv[i];
        std::string value = argv[i + 1];
        if (name == "--out") outPath = value;
        else if (name == "--stop-file") g_listener.stopFile = value;
        else if (name == "--message") messageName = value;
        else if (name == "--timeout") timeoutMs = std::strtoul(value.c_str(), nullptr, 10);
        else if (name == "--count") g_listener.stopAfter = std::strtoul(value.c_str(), nullptr, 10);
        else return false;
    }
    return argc % 2 == 1 && !outPath.empty();
}

}  // namespace

int main(int argc, char** argv) {
    std::string outPath;
    std::string messageName = "SfxKorvaleMsg";
    unsigned long timeoutMs = 60000;
    if (!ParseArgs(argc, argv, outPath, messageName, timeoutMs)) {
        std::puts("usage: msglisten --out FILE [--timeout MS] [--stop-file FILE] [--count N] [--message NAME]");
        return 2;
    }
    g_listener.out = std::fopen(outPath.c_str(), "w");
    if (!g_listener.out) {
        std::printf("error=cannot create %s\n", outPath.c_str());
        return 2;
    }
    g_listener.message = ::RegisterWindowMessageA(messageName.c_str());
    g_listener.deadline = ::GetTickCount64() + timeoutMs;

    HINSTANCE instance = ::GetModuleHandleA(nullptr);
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = "BrevaneMsgListen";
    // A top-level window, never shown: broadcasts reach invisible top-level windows too.
    HWND hwnd = ::RegisterClassA(&windowClass)
                    ? ::CreateWindowExA(0, windowClass.lpszClassName, "msglisten", WS_OVERLAPPEDWINDOW, 0, 0, 100,
                                        100, nullptr, nullptr, instance, nullptr)
                    : nullptr;
    if (!hwnd || g_listener.message == 0 || !::SetTimer(hwnd, kPollTimer, kPollMs, nullptr)) {
        Record("end reason=error");
        std::fclose(g_listener.out);
        return 2;
    }
    char ready[96];
    std::snprintf(ready, sizeof(ready), "ready hwnd=0x%llX message=0x%X",
                  static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(hwnd)), g_listener.message);
    Record(ready);

    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    std::string end = std::string("end reason=") + g_listener.endReason;
    Record(end.c_str());
    std::fclose(g_listener.out);
    return 0;
}
