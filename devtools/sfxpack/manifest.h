#pragma once
// The package writer's manifest: a small INI-like text that names the package's flags, its four
// commands and its files in table order. The format is described in README.md beside this file.

#include <string>

#include "common/portable_types.h"
#include "devtools/sfxpack/program_image.h"
#include "extractor/package/sfx_writer.h"

// Reads `text`; relative source paths are taken from `baseFolder`. Fills `plan` (sizes and
// offsets are left to the writer) for the package behind a program of `kind`: behind a 64-bit
// image the stored Windows command is the manifest's `win64` command, or, without one, the
// `win32` command with Brevane.exe replaced by Brevane64.exe. On failure `error` names the line
// and the reason.
[[nodiscard]] BOOL ParseManifest(const std::string& text, const std::string& baseFolder, SfxPackagePlan* plan,
                                 std::string& error, ProgramKind kind = ProgramKind::X86);

// "YYYY/MM/DD HH:MM:SS" (UTC) or a number (the FILETIME value itself) into a FILETIME.
[[nodiscard]] bool ParseFileTimeText(const std::string& text, SfxFileTime* time);

// A platform mask: a number (decimal or 0x hex) or names joined by "," or "+": DOS, Win32,
// WinPE, all (= 0xFF). Names are matched without regard to case.
[[nodiscard]] bool ParsePlatformText(const std::string& text, uint32_t* mask);
