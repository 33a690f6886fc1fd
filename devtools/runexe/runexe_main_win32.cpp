// runexe: starts one command line with CreateProcessA (verbatim, in a given directory, with extra
// environment variables), waits with a bound, and prints the child's full exit code.
//
// Output on stdout, or with --result FILE into that file (so that what a console child prints
// on the shared console cannot mix with it), one line each, flushed at once:
//   pid=<decimal>          the child has started
//   exit=<decimal>         the child's exit code as an unsigned 32-bit number
//   timeout=child          the bound passed; the child and everything it started were ended
//   timeout=tree           the child ended (its code follows as exit=) but what it started
//                          outlived the bound and was ended
//   error=<text>           the child could not be started
// The runner's own exit code: 0 when all ended in time, 2 usage, 3 start failure, 4 timeout.
//
// The child runs in a job object, so that a timeout ends the whole tree it started and nothing
// outlives the runner.
#include <windows.h>

#include <cstdio>
#include <string>

#include "devtools/runexe/runexe_args.h"
#include "framework/unique_handle_win32.h"

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitStartFailed = 3;
constexpr int kExitTimeout = 4;

FILE* g_results = stdout;

void Emit(const std::string& line) {
    std::fputs(line.c_str(), g_results);
    std::fputc('\n', g_results);
    std::fflush(g_results);
}

// A job that ends every process in it when the runner's handle to it closes.
fw::UniqueHandle CreateKillOnCloseJob() {
    fw::UniqueHandle job(::CreateJobObjectA(nullptr, nullptr));
    if (!job) return job;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    ::SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof(limits));
    return job;
}

DWORD ActiveProcesses(HANDLE job) {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info = {};
    if (!::QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &info, sizeof(info), nullptr)) {
        return 0;  // cannot tell: do not wait for what cannot be observed
    }
    return info.ActiveProcesses;
}

// Milliseconds left of the bound that started at `start`.
DWORD Remaining(ULONGLONG start, unsigned long boundMs) {
    ULONGLONG elapsed = ::GetTickCount64() - start;
    return elapsed >= boundMs ? 0 : static_cast<DWORD>(boundMs - elapsed);
}

}  // namespace

int main(int argc, char** argv) {
    RunexeArgs args;
    std::string error;
    if (!ParseRunexeArgs(argc, argv, args, error)) {
        Emit("error=" + error);
        Emit("usage: runexe [--timeout MS] [--dir DIR] [--env NAME=VALUE]... [--result FILE] [--no-tree-wait]"
             " --cmd CMDLINE"
             " (each text option also as --NAME-hex HEX)");
        return kExitUsage;
    }
    if (!args.resultFile.empty()) {
        FILE* results = std::fopen(args.resultFile.c_str(), "w");
        if (!results) {
            Emit("error=cannot create " + args.resultFile);
            return kExitUsage;
        }
        g_results = results;  // closed by the process exit, after the last flushed line
    }
    for (const auto& variable : args.environment) {
        ::SetEnvironmentVariableA(variable.first.c_str(), variable.second.c_str());
    }

    fw::UniqueHandle job = CreateKillOnCloseJob();
    const std::string& commandLine = args.commandLine;  // each attempt hands over a copy: CreateProcessA may write into it
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    ULONGLONG start = ::GetTickCount64();
    // Wine, on a loaded machine, now and then fails a start with ERROR_INTERNAL_ERROR before the
    // child has run at all; the same start then succeeds. Any other error is the answer.
    DWORD startError = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::string buffer = commandLine;
        if (::CreateProcessA(nullptr, &buffer[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                             args.directory.empty() ? nullptr : args.directory.c_str(), &startup, &process)) {
            startError = 0;
            break;
        }
        startError = ::GetLastError();
        if (startError != ERROR_INTERNAL_ERROR) break;
        ::Sleep(200);
    }
    if (startError != 0) {
        char text[64];
        std::snprintf(text, sizeof(text), "error=CreateProcessA failed, error %lu", startError);
        Emit(text);
        return kExitStartFailed;
    }
    fw::UniqueHandle processHandle(process.hProcess);
    fw::UniqueHandle threadHandle(process.hThread);
    bool inJob = job && ::AssignProcessToJobObject(job.get(), processHandle.get());
    ::ResumeThread(threadHandle.get());
    Emit("pid=" + std::to_string(process.dwProcessId));

    if (::WaitForSingleObject(processHandle.get(), Remaining(start, args.timeoutMs)) != WAIT_OBJECT_0) {
        if (inJob) ::TerminateJobObject(job.get(), 1);
        ::TerminateProcess(processHandle.get(), 1);
        ::WaitForSingleObject(processHandle.get(), 5000);
        Emit("timeout=child");
        return kExitTimeout;
    }
    DWORD exitCode = 0;
    ::GetExitCodeProcess(processHandle.get(), &exitCode);

    // What the child started may still be finishing (a launcher that returns on a message while
    // its child sleeps); give it the rest of the bound rather than cutting it off.
    if (inJob && args.waitForTree) {
        while (ActiveProcesses(job.get()) > 0) {
            if (Remaining(start, args.timeoutMs) == 0) {
                ::TerminateJobObject(job.get(), 1);
                Emit("timeout=tree");
                Emit("exit=" + std::to_string(static_cast<unsigned long>(exitCode)));
                return kExitTimeout;
            }
            ::Sleep(20);
        }
    }
    Emit("exit=" + std::to_string(static_cast<unsigned long>(exitCode)));
    return 0;
}
