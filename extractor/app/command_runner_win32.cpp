#include "extractor/app/command_runner_win32.h"

#include "framework/unique_handle_win32.h"

namespace sfx {

namespace {

constexpr DWORD kPollMilliseconds = 500;

// A quit request seen during the wait is not ours to take: it is handed back to the loop that
// owns the thread once the wait is over.
class QuitKeeper {
public:
    ~QuitKeeper() {
        if (m_bSeen) ::PostQuitMessage(m_nCode);
    }
    void Keep(WPARAM code) {
        m_bSeen = true;
        m_nCode = static_cast<int>(code);
    }

private:
    bool m_bSeen = false;
    int m_nCode = 0;
};

// Handles every message waiting in this thread's queue. True when the launcher message with
// wParam 1 was among them; its lParam is then in `code`.
bool PumpMessages(UINT launcherMessage, QuitKeeper& quit, uint32_t& code) {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == launcherMessage && msg.wParam == 1) {
            code = static_cast<uint32_t>(msg.lParam);
            return true;
        }
        if (msg.message == WM_QUIT) {
            quit.Keep(msg.wParam);
            continue;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    return false;
}

}  // namespace

BOOL StartAndWait(const char* program, char* commandLine, const char* workingDir, uint32_t& exitCode, DWORD& error) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessA(program, commandLine, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr,
                          (workingDir && *workingDir) ? workingDir : nullptr, &startup, &info)) {
        error = ::GetLastError();
        return FALSE;
    }
    fw::UniqueHandle process(info.hProcess);
    fw::UniqueHandle thread(info.hThread);

    UINT launcherMessage = ::RegisterWindowMessageA(kLauncherMessageName);
    QuitKeeper quit;
    DWORD code = 0;
    BOOL readOk = ::GetExitCodeProcess(process.get(), &code);
    while (readOk && code == STILL_ACTIVE) {
        // Returns at once when input arrives, so the windows of this thread stay responsive
        // while the child runs; otherwise polls the child every 500 ms.
        HANDLE child = process.get();
        DWORD woke = ::MsgWaitForMultipleObjects(1, &child, FALSE, kPollMilliseconds, QS_ALLINPUT);
        if (woke == WAIT_OBJECT_0) break;
        uint32_t posted = 0;
        if (PumpMessages(launcherMessage, quit, posted)) {
            // The child said its result; it may still be finishing and is left running.
            exitCode = posted;
            return TRUE;
        }
        readOk = ::GetExitCodeProcess(process.get(), &code);
    }

    DWORD last = 0;
    BOOL lastOk = ::GetExitCodeProcess(process.get(), &last);
    if (lastOk) code = last;
    if (!readOk || !lastOk) {
        ::TerminateProcess(process.get(), 1);
        ::Sleep(kPollMilliseconds);
        if (::GetExitCodeProcess(process.get(), &last)) code = last;
    }
    exitCode = code;
    return TRUE;
}

}  // namespace sfx
