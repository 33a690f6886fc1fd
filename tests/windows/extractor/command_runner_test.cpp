#include "extractor/app/command_runner_win32.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "extractor/app/launch_rules.h"

namespace {

// When started as the child of these tests (the variable below is set), this program posts
// the launcher message and lingers instead of running the tests.
constexpr char kChildVariable[] = "SFX_RUNNER_TEST_CHILD";

struct ChildMode {
    ChildMode() {
        char value[64] = {};
        if (::GetEnvironmentVariableA(kChildVariable, value, sizeof value) == 0) return;
        UINT message = ::RegisterWindowMessageA(sfx::kLauncherMessageName);
        ::PostMessageA(HWND_BROADCAST, message, 1, static_cast<LPARAM>(std::strtoul(value, nullptr, 0)));
        ::Sleep(10000);
        ::ExitProcess(9);
    }
} g_childMode;

std::string SelfPath() {
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

TEST(StartAndWait, AnswersTheChildsFullExitCode) {
    char command[] = "cmd.exe /c exit 3";
    uint32_t code = 0;
    DWORD error = 0;
    ASSERT_TRUE(sfx::StartAndWait(nullptr, command, "C:\\", code, error));
    EXPECT_EQ(3u, code);

    char big[] = "cmd.exe /c exit -2";  // 0xFFFFFFFE read in full
    ASSERT_TRUE(sfx::StartAndWait(nullptr, big, "C:\\", code, error));
    EXPECT_EQ(0xFFFFFFFEu, code);
}

TEST(StartAndWait, StartFailureGivesTheSystemError) {
    char command[] = "no-such-program-here.exe";
    uint32_t code = 77;
    DWORD error = 0;
    EXPECT_FALSE(sfx::StartAndWait(nullptr, command, "C:\\", code, error));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), error);
    EXPECT_EQ(77u, code);
}

TEST(StartAndWait, LauncherMessageEndsTheWaitWhileTheChildRuns) {
    // The broadcast reaches only top-level windows: own one, as the dialog does.
    HWND window = ::CreateWindowExA(0, "STATIC", "runner test", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                    nullptr, nullptr);
    if (!window) GTEST_SKIP() << "no display for a window (run under Xvfb)";
    ::SetEnvironmentVariableA(kChildVariable, "0x1234ABCD");
    std::string command = "\"" + SelfPath() + "\"";
    uint32_t code = 0;
    DWORD error = 0;
    DWORD start = ::GetTickCount();
    BOOL ok = sfx::StartAndWait(nullptr, &command[0], "C:\\", code, error);
    DWORD elapsed = ::GetTickCount() - start;
    ::SetEnvironmentVariableA(kChildVariable, nullptr);
    ::DestroyWindow(window);
    ASSERT_TRUE(ok);
    EXPECT_EQ(0x1234ABCDu, code);
    // The child lingers 10 s and would exit with 9: the wait ended on the message, well before.
    EXPECT_LT(elapsed, 8000u);
}

// The platform's expansion answers as the rules assume: the length with its NUL, and the
// needed size when the buffer is too small.
uint32_t SystemExpand(const char* text, char* out, uint32_t size) { return ::ExpandEnvironmentStringsA(text, out, size); }

TEST(ExpandEnvironment, SystemExpansionAcrossBothBuffers) {
    ::SetEnvironmentVariableA("SFX_EXPAND_TEST", std::string(5000, 'x').c_str());
    std::string text = "a%SFX_EXPAND_TEST%b";
    ASSERT_TRUE(sfx::ExpandEnvironment(text, SystemExpand));
    EXPECT_EQ("a" + std::string(5000, 'x') + "b", text);

    ::SetEnvironmentVariableA("SFX_EXPAND_TEST", std::string(20000, 'y').c_str());
    std::string twice = "%SFX_EXPAND_TEST%%SFX_EXPAND_TEST%";  // 40000 characters: too long
    EXPECT_FALSE(sfx::ExpandEnvironment(twice, SystemExpand));
    EXPECT_EQ("%SFX_EXPAND_TEST%%SFX_EXPAND_TEST%", twice);
    ::SetEnvironmentVariableA("SFX_EXPAND_TEST", nullptr);
}

}  // namespace
