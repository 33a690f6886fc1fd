#pragma once
// The Windows answers behind command-line reading: CommandLineToArgvW splitting and
// GetFullPathNameA.

#include "updater/app/option_settings.h"

const CommandLinePlatform& Win32CommandLinePlatform();

// Splits with CommandLineToArgvW: ANSI to UTF-16, split, each argument back to ANSI. The whole
// tail is split whatever its length (the system limits a command line to 32767 characters).
BOOL SplitCommandLineWin32(const std::string& tail, std::vector<std::string>& args);

uint32_t FullPathWin32(const char* path, uint32_t bufferSize, char* buffer, uint32_t* lastError);
