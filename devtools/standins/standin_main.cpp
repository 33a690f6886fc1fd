// Stand-in for an outside console tool: records its command line, then plays the script found
// beside it (or named by STANDIN_SCRIPT). Test infrastructure only; see README.md.

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "devtools/standins/standin_script.h"

namespace {

// Exit code when the script cannot be read as a script; chosen to stand out in test failures.
constexpr UINT kScriptErrorExitCode = 250;

std::string ModulePath() {
    char buffer[MAX_PATH * 4];
    DWORD length = ::GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    return std::string(buffer, length < sizeof buffer ? length : 0);
}

bool ReadWholeFile(const std::string& path, std::string& text) {
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    text.clear();
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
    ::CloseHandle(file);
    return true;
}

void AppendToFile(const std::string& path, const std::string& bytes) {
    // Several stand-ins may record into one file; retry briefly while another holds it.
    for (int attempt = 0; attempt < 50; ++attempt) {
        HANDLE file = ::CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
            ::CloseHandle(file);
            return;
        }
        ::Sleep(20);
    }
}

void WriteAll(DWORD which, const std::string& bytes) {
    HANDLE handle = ::GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        if (!::WriteFile(handle, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written, nullptr) ||
            written == 0)
            return;
        done += written;
    }
}

// Reads standard input up to and including a line feed, or to its end.
std::string ReadInputLine() {
    std::string line;
    HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    if (input == nullptr || input == INVALID_HANDLE_VALUE) return line;
    char c = 0;
    DWORD got = 0;
    while (::ReadFile(input, &c, 1, &got, nullptr) && got == 1) {
        line += c;
        if (c == '\n') break;
    }
    return line;
}

// A relative name is taken beside the program, not in whatever folder it runs in.
std::string BesideProgram(const std::string& folder, const std::string& name) {
    bool absolute = name.size() > 1 && (name[1] == ':' || name[0] == '\\' || name[0] == '/');
    return absolute ? name : folder + name;
}

// Waits until `path` exists: a test creates it when the tool may go on.
void WaitForFile(const std::string& path) {
    while (::GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) ::Sleep(20);
}

void CloseOutput() {
    HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
    if (output && output != INVALID_HANDLE_VALUE) ::CloseHandle(output);
    if (error && error != INVALID_HANDLE_VALUE && error != output) ::CloseHandle(error);
    ::SetStdHandle(STD_OUTPUT_HANDLE, nullptr);
    ::SetStdHandle(STD_ERROR_HANDLE, nullptr);
    // Under Wine with a display, the console host of a new console holds copies of the
    // standard handles, so the pipe would not end until the process does. Leaving the console
    // lets it go; on Windows this changes nothing for the pipe.
    ::FreeConsole();
}

// Starts another copy of this program with `arguments`, on the same standard handles and the
// same console, and does not wait for it: a tool whose helper outlives it and keeps its output.
void Spawn(const std::string& arguments) {
    std::vector<char> commandLine;
    const std::string text = "\"" + ModulePath() + "\" " + arguments;
    commandLine.assign(text.begin(), text.end());
    commandLine.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    for (HANDLE handle : {startup.hStdInput, startup.hStdOutput, startup.hStdError})
        if (handle && handle != INVALID_HANDLE_VALUE) ::SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    PROCESS_INFORMATION process{};
    if (::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }
}

void Run(const std::vector<standin::Step>& steps, const std::string& folder) {
    for (const standin::Step& step : steps) {
        switch (step.kind) {
        case standin::Step::Print: WriteAll(STD_OUTPUT_HANDLE, step.text); break;
        case standin::Step::PrintErr: WriteAll(STD_ERROR_HANDLE, step.text); break;
        case standin::Step::Fill: {
            std::string bytes;
            bytes.reserve(step.number);
            while (bytes.size() < step.number) bytes += step.text[bytes.size() % step.text.size()];
            WriteAll(STD_OUTPUT_HANDLE, bytes);
            break;
        }
        case standin::Step::Sleep: ::Sleep(static_cast<DWORD>(step.number)); break;
        case standin::Step::WaitInput: ReadInputLine(); break;
        case standin::Step::EchoInput: WriteAll(STD_OUTPUT_HANDLE, ReadInputLine()); break;
        case standin::Step::WaitFile: WaitForFile(BesideProgram(folder, step.text)); break;
        case standin::Step::Hang:
            for (;;) ::Sleep(INFINITE);
        case standin::Step::CloseOutput: CloseOutput(); break;
        case standin::Step::Exit: ::ExitProcess(static_cast<UINT>(step.number));
        case standin::Step::Spawn: Spawn(step.text); break;
        case standin::Step::Repeat:
            for (unsigned long i = 0; i < step.number; ++i) Run(step.body, folder);
            break;
        }
    }
}

}  // namespace

int main() {
    std::string program = ModulePath();
    size_t slash = program.find_last_of("\\/");
    std::string folder = slash == std::string::npos ? std::string() : program.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? program : program.substr(slash + 1);
    size_t dot = base.find_last_of('.');
    if (dot != std::string::npos) base.erase(dot);

    std::string scriptPath = folder + base + ".script";
    char named[MAX_PATH * 4];
    DWORD namedLength = ::GetEnvironmentVariableA("STANDIN_SCRIPT", named, sizeof named);
    if (namedLength > 0 && namedLength < sizeof named) scriptPath.assign(named, namedLength);

    standin::Script script;
    std::string text;
    std::string error;
    bool parsed = !ReadWholeFile(scriptPath, text) || standin::ParseScript(text, script, error);

    std::string record = BesideProgram(folder, script.recordPath.empty() ? base + ".cmdline" : script.recordPath);
    AppendToFile(record, std::string(::GetCommandLineA()) + "\n");

    if (!parsed) {
        WriteAll(STD_ERROR_HANDLE, "standin: " + scriptPath + ": " + error + "\r\n");
        return static_cast<int>(kScriptErrorExitCode);
    }
    Run(script.preamble, folder);
    if (const std::vector<standin::Step>* steps = standin::ChooseSection(script, standin::ArgumentsOf(::GetCommandLineA()))) Run(*steps, folder);
    return 0;
}
