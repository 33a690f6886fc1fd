#pragma once
// Writing the JSON result report on Windows: code-page conversion and the atomic replace.

#include <string>

// Text in the ANSI code page as UTF-8; bytes that cannot be converted are kept as they are
// (the JSON writer then replaces them).
std::string AnsiToUtf8(const std::string& ansi);

// Writes `text` to `path` atomically: into a temporary file beside it, flushed, then renamed
// over `path`, so a collector never reads half a report. FALSE with `error` set on failure;
// no temporary file is left behind.
[[nodiscard]] bool WriteFileAtomically(const std::string& path, const std::string& text, std::string& error);

// Builds the run's report from theRunReport and writes it to /Report's path; a failure is logged
// and changes nothing else.
void WriteRunReport(int exitCode);
