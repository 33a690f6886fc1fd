// The stand-ins themselves, as the end-to-end tests and the demo use them: behaviour chosen by
// the command line, exit codes, and a clear refusal of a malformed script.

#include <gtest/gtest.h>

#include <string>

#include "tests/windows/tools/tool_harness_win32.h"

namespace {

using namespace toolharness;

struct Finished {
    DWORD exitCode = 0xDEADBEEF;
    std::string output;
};

// Runs the program at `path` with its output on a pipe, the way Brevane runs a tool, and
// collects everything.
Finished RunProgram(const std::string& path, const std::string& arguments) {
    Finished result;
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    fw::UniqueHandle readEnd, writeEnd;
    if (!::CreatePipe(readEnd.put(), writeEnd.put(), &inherit, 0)) return result;
    ::SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.hStdOutput = writeEnd.get();
    startup.hStdError = writeEnd.get();
    startup.wShowWindow = SW_HIDE;
    std::string commandLine = Quoted(path) + " " + arguments;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, CREATE_NEW_CONSOLE, nullptr, nullptr,
                          &startup, &process))
        return result;
    fw::UniqueHandle child(process.hProcess), thread(process.hThread);
    writeEnd.reset();
    result.exitCode = WaitForExitCode(child.get());
    char buffer[512];
    DWORD available = 0, got = 0;
    while (::PeekNamedPipe(readEnd.get(), nullptr, 0, nullptr, &available, nullptr) && available > 0 &&
           ::ReadFile(readEnd.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
        result.output.append(buffer, got);
    return result;
}

Finished RunStandin(const std::string& exeName, const std::string& arguments) {
    return RunProgram(StandinFolder() + exeName, arguments);
}

TEST(StandinTest, SectionIsChosenByTheCommandLineAndExitCodeIsKept) {
    StandinScript script("print [\n"
                         "[when -FWVER]\nprint FW Version: 11.8.50.3425\\r\\n\nexit 0\n"
                         "[when -f]\nrepeat 3\nprint .\nend\nstderr \\x45rr\\0!\nexit 0xFFFFFFFE\n"
                         "[otherwise]\nline other %s\n");
    Finished query = RunStandin("FWUpdLcl.exe", "-FWVER");
    EXPECT_EQ(0u, query.exitCode);
    EXPECT_EQ("[FW Version: 11.8.50.3425\r\n", query.output);

    Finished update = RunStandin("FWUpdLcl.exe", "-f \"C:\\me.bin\" -generic");
    EXPECT_EQ(0xFFFFFFFEu, update.exitCode);
    EXPECT_EQ(std::string("[...Err\0!", 9), update.output);

    Finished other = RunStandin("drvload.exe", "HECI.inf");
    EXPECT_EQ(0u, other.exitCode);
    EXPECT_EQ("[other %s\r\n", other.output);

    EXPECT_EQ(Quoted(StandinFolder() + "FWUpdLcl.exe") + " -FWVER\n" + Quoted(StandinFolder() + "FWUpdLcl.exe") +
                  " -f \"C:\\me.bin\" -generic\n" + Quoted(StandinFolder() + "drvload.exe") + " HECI.inf\n",
              script.Recorded());
}

// Only the arguments choose the section: a stand-in in a folder whose name holds every section's
// text (as a checkout path may) still runs the section its arguments choose.
TEST(StandinTest, TheFolderOfTheStandinNeverChoosesTheSection) {
    StandinScript script("[when -FWVER]\nprint version\n[when -f]\nprint flash\n[otherwise]\nprint other\n");
    const std::filesystem::path folder = std::filesystem::path(script.ScriptPath()).parent_path() / "x-f -FWVER";
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(StandinFolder() + "drvload.exe", folder / "drvload.exe");
    Finished other = RunProgram((folder / "drvload.exe").string(), "HECI.inf");
    EXPECT_EQ("other", other.output);
    Finished flash = RunProgram((folder / "drvload.exe").string(), "-f x");
    EXPECT_EQ("flash", flash.output);
}

TEST(StandinTest, MalformedScriptIsReportedWithItsLineAndExitCode250) {
    StandinScript script("[when x]\nrepeat 2\nprint .\n");
    Finished run = RunStandin("AFUWIN.exe", "x");
    EXPECT_EQ(250u, run.exitCode);
    EXPECT_NE(std::string::npos, run.output.find("tool.script: line 3: repeat without end\r\n")) << run.output;
    // The command line is recorded all the same.
    EXPECT_EQ(Quoted(StandinFolder() + "AFUWIN.exe") + " x\n", script.Recorded());

    StandinScript badEscape("print \\q\n");
    run = RunStandin("AFUWIN.exe", "");
    EXPECT_EQ(250u, run.exitCode);
    EXPECT_NE(std::string::npos, run.output.find("line 2: bad escape")) << run.output;
}

}  // namespace
