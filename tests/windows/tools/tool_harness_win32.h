#pragma once
// Helpers for the Windows-side tests of the redirector: the stand-in tools, a scratch folder
// with a script, bounded waits that keep serving messages, and a hidden EDIT control.

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "framework/unique_handle_win32.h"

namespace toolharness {

// Upper bound of every wait in these tests; a run that needs longer has failed.
constexpr DWORD kWaitMs = 10000;

inline std::string ModuleFolder() {
    char path[MAX_PATH * 4];
    DWORD length = ::GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of('\\') + 1);
}

// Folder of the stand-ins built beside this test program (build/<preset>/bin/standins).
inline std::string StandinFolder() { return ModuleFolder() + "..\\bin\\standins\\"; }

inline std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// Serves this thread's messages until `done` answers true or `timeoutMs` has passed.
inline bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = kWaitMs) {
    DWORD started = ::GetTickCount();
    for (;;) {
        if (done()) return true;
        if (::GetTickCount() - started >= timeoutMs) return false;
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

// Waits for a process or thread handle while serving messages; answers its exit code, or
// 0xDEADBEEF when it did not end in time.
inline DWORD WaitForExitCode(HANDLE handle, bool isThread = false) {
    if (!PumpUntil([&] { return ::WaitForSingleObject(handle, 0) == WAIT_OBJECT_0; })) return 0xDEADBEEF;
    DWORD code = 0;
    if (isThread)
        ::GetExitCodeThread(handle, &code);
    else
        ::GetExitCodeProcess(handle, &code);
    return code;
}

// A scratch folder with a stand-in script named to every stand-in through STANDIN_SCRIPT, and
// a record file for their command lines. Removed, and the variable cleared, when it goes.
class StandinScript {
public:
    explicit StandinScript(const std::string& script) {
        static int counter = 0;
        m_folder = std::filesystem::temp_directory_path() /
                   ("brevane-tools-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++counter));
        std::filesystem::create_directories(m_folder);
        std::ofstream(ScriptPath(), std::ios::binary) << "record " << RecordPath() << "\n" << script;
        ::SetEnvironmentVariableA("STANDIN_SCRIPT", ScriptPath().c_str());
    }
    ~StandinScript() {
        ::SetEnvironmentVariableA("STANDIN_SCRIPT", nullptr);
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }
    StandinScript(const StandinScript&) = delete;
    StandinScript& operator=(const StandinScript&) = delete;

    std::string ScriptPath() const { return (m_folder / "tool.script").string(); }
    std::string RecordPath() const { return (m_folder / "cmdline.txt").string(); }
    std::string Recorded() const {
        std::ifstream in(RecordPath(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    std::filesystem::path m_folder;
};

// A hidden multi-line EDIT control that does not wrap, owned by the calling thread.
class HiddenEdit {
public:
    HiddenEdit() {
        m_hWnd = ::CreateWindowExA(0, "EDIT", "",
                                   WS_POPUP | ES_MULTILINE | ES_AUTOHSCROLL | ES_AUTOVSCROLL | WS_HSCROLL | WS_VSCROLL,
                                   0, 0, 400, 300, nullptr, nullptr, ::GetModuleHandleA(nullptr), nullptr);
    }
    ~HiddenEdit() {
        if (m_hWnd) ::DestroyWindow(m_hWnd);
    }
    HiddenEdit(const HiddenEdit&) = delete;
    HiddenEdit& operator=(const HiddenEdit&) = delete;
    HWND Get() const { return m_hWnd; }

private:
    HWND m_hWnd = nullptr;
};

}  // namespace toolharness
