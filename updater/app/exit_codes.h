#pragma once
// Brevane's exit codes with their meanings, as the result report and the "/?" box state them.

#include <string>

// The meaning of `code`, or "Unknown exit code" for a value Brevane never ends with.
const char* ExitCodeMeaning(int code);

// The text of the "/?" box: every option, then every exit code with its meaning.
std::string HelpText();
