#pragma once
// Which package a program image makes: the 32-bit Extractor.exe carries the command that starts
// Brevane.exe, the 64-bit Extractor64.exe (for 64-bit Windows PE, which starts no 32-bit
// program) the one that starts Brevane64.exe. Both come from one manifest.

#include <string>

#include "common/portable_types.h"

enum class ProgramKind {
    Other,  // not a PE image (the writer copies any file; its package is the 32-bit one)
    X86,    // PE machine i386
    X64,    // PE machine AMD64
};

// The kind of the image whose first bytes are `head` (the first 4 KiB are enough).
ProgramKind ProgramKindOf(const std::string& head);

// The kind of the program file `path`; FALSE with `error` when it cannot be read.
[[nodiscard]] BOOL ReadProgramKind(const std::string& path, ProgramKind* kind, std::string& error);

// Whether two file names are the same name to Windows (letters compared without case).
bool SameFileName(const std::string& a, const char* b);

// "32-bit (x86)", "64-bit (x64)" or "not a PE image".
const char* ProgramKindText(ProgramKind kind);

// The file name of the program that `command` starts: its first token (quoted or up to the first
// blank) without any folder. Empty for an empty command.
std::string CommandProgramName(const std::string& command);

// The 64-bit package's command from the 32-bit one: the first token's file name Brevane.exe
// (any case, quoted or not, with or without a folder) becomes Brevane64.exe; everything else
// stays as it is; an empty command stays empty. FALSE with `error` when the command does not
// start Brevane.exe or the result does not fit the command field.
[[nodiscard]] BOOL Win64CommandFrom(const std::string& win32Command, std::string* win64Command, std::string& error);
