#pragma once
// How a tool's run ended, apart from what it printed: its exit code (when it could be read) and
// how many bytes it printed. The flash steps judge a flash tool by this as well as by its output:
// a tool that ended by a fault, or was ended, did not finish its work, whatever it had printed;
// and a tool that printed nothing at all has not told us that it flashed anything. Its ordinary
// exit codes stay unread: the tools' own codes are not ours to interpret.

#include <cstdint>
#include <string>

struct ToolEnd {
    bool exitCodeKnown = false;  // false: the process's exit code could not be read
    uint32_t exitCode = 0;
    uint64_t bytesPrinted = 0;   // everything read from the tool's output pipe during the run
};

// An exit status of NTSTATUS error severity (0xC0000000 and up): an unhandled exception
// (0xC0000005 access violation, ...) or a process ended from outside (0xC000013A and alike).
constexpr bool IsFaultExitCode(uint32_t code) { return code >= 0xC0000000u; }

// The text a flash step fails with when the tool's end alone decides it (`tool` is its file
// name), or "" when the end is ordinary and the output decides. A fault outweighs silence.
std::string FlashToolEndFailure(const std::string& tool, const ToolEnd& end);

// The text of the log line every tool run ends with: "ExitCode=[0x%08lX]", or
// "ExitCode=[unknown]" when the code could not be read.
std::string ExitCodeLogText(const ToolEnd& end);
