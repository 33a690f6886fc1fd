#pragma once
// The operating-system side of the log: the only calls CLogFile makes outside itself.
// Windows: log_io_win32.cpp. Native builds (tests): log_io_posix.cpp, which maps the
// backslashes of a Windows path to slashes.

#include <ctime>
#include <string>

#include "common/portable_types.h"

namespace logio {

// Creates every missing directory along `folder` (which ends in a backslash); an existing
// directory is accepted.
BOOL CreateDirectoryChain(const std::string& folder);

// Opens `path` for appending (creating it when missing), writes `bytes` at its end in one write
// and closes it. Windows lets others read and write the file meanwhile and retries briefly
// while another program holds it without sharing. FALSE when any step fails; the file is then
// abandoned.
BOOL AppendInOneWrite(const std::string& path, const std::string& bytes);

// Hands text to the debugger output channel.
void DebugOutput(const char* text);

// Local calendar time of `when`; false when it cannot be converted.
bool ToLocalTime(std::time_t when, std::tm* out);

}  // namespace logio
