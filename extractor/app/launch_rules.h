#pragma once
// Rules of the Extractor's start-up that need no operating system: the package base name, the
// destination option, the destination and working-directory paths, the environment expansion
// with its buffer limits, and the command-line buffer.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/portable_types.h"
#include "extractor/package/sfx_format.h"

namespace sfx {

// What a path names, without following a link.
enum class PathState { Missing, Folder, ReparsePoint, Other };

// File name part of `path` (after the last backslash) up to its first dot; empty when that
// name has no dot. Names the temporary sub-directory and captions the dialog's error boxes.
std::string PackageBaseName(const std::string& path);

// The option a destination choice works with: -1 stands for the package's own option.
int ResolveDestinationOption(int option, uint32_t sfxFlags);

// What an option means. The numbers decide, not the dialog's captions: 1 is the temporary
// directory and every value but 0 and 1 the current directory.
enum class DestinationKind { Browse, TempDirectory, CurrentDirectory };
DestinationKind ClassifyDestination(int option);

// The temporary destination: the long form of the temporary directory (which ends in a
// backslash) followed by the package base name.
std::string TempDestination(const std::string& longTempPath, const std::string& baseName);

// The folder an elevated Extractor makes its private folders in: the Windows directory's
// SystemTemp (which only SYSTEM and Administrators can enter) when `systemTemp` says it is a
// folder, otherwise its Temp.
std::string PrivateFolderRoot(const std::string& windowsDirectory, PathState systemTemp);

// Whether two paths name the same place, ignoring case and a "\\?\" prefix (the form in
// which the system reports a handle's path).
bool SamePath(const std::string& a, const std::string& b);

// Whether `sid` (a SID string) is Administrators or SYSTEM: an owner no normal user can be.
bool IsAdministrativeOwner(const std::string& sid);

// What the system says about a file-system object that counts only when an administrator made
// it (the diagnostic marker).
struct ObjectOwnership {
    bool exists = false;
    bool link = false;        // a reparse point: it stands for something else
    bool ownerKnown = false;  // the owner could be read
    std::string ownerSid;
};

// Whether that object counts as made by Administrators or SYSTEM. Where the system records no
// owners (`ownersRecorded` false) nothing can tell who made it, so an existing object that is
// no link counts.
bool MadeByAdministrators(const ObjectOwnership& object, bool ownersRecorded);

// `path` with one backslash appended when it does not already end in one.
std::string WithTrailingBackslash(const std::string& path);

// The working directory of the started command: `extractDest` without any trailing
// backslashes, so a drive root "C:\" becomes the bare designator "C:".
std::string CommandWorkingDirectory(const std::string& extractDest);

// Expands environment references in `text` into `out` of `size` bytes; answers the length of
// the expansion including its NUL (more than `size` when it did not fit), 0 on failure.
// ExpandEnvironmentStringsA on Windows.
using ExpandFn = uint32_t (*)(const char* text, char* out, uint32_t size);

// Expansion buffers: a first try in 4096 bytes, a second in 32768 bytes.
constexpr uint32_t kExpandSmall = 4096;
constexpr uint32_t kExpandLarge = 32768;

// Replaces `text` by its expansion. FALSE (text unchanged) when the expansion fails or needs
// more than the large buffer.
BOOL ExpandEnvironment(std::string& text, ExpandFn expand);

// A variable an elevated Extractor lets the stored command name: its name and value.
struct KnownVariable {
    std::string name;
    std::string value;
};

// Replaces each reference "%NAME%" in `text` whose NAME is one of `known` (not case-sensitive)
// by its value; any other reference stays as it is written, as the system's expansion leaves
// a variable it does not know. Run elevated, the environment is the user's own: a variable the
// user set must not decide what the stored command starts. FALSE (text unchanged) when the
// result would not fit the large expansion buffer.
BOOL ExpandKnownVariables(std::string& text, const std::vector<KnownVariable>& known);

// The command line is handed to the process start in a buffer of this size.
constexpr size_t kCommandBufferSize = 1024;

// Copies `command` into `buffer` when it fits with its NUL. A command that does not fit is
// refused whole, never cut: FALSE with the reason in `reason`.
BOOL CopyCommandLine(const std::string& command, char (&buffer)[kCommandBufferSize], std::string& reason);

// The text of a failed process start; error 740 (elevation required) has its own text.
std::string StartFailureText(unsigned long error, const std::string& command, const std::string& workingDir);

// The system error of a program that cannot be found.
constexpr unsigned long kErrorFileNotFound = 2;

// The program a command line starts, looked up without the platform's own search, which would
// try the folder of the running program (a download folder) first. The first token is quoted
// or ends at the first blank: an unquoted path with blanks names the file up to its first
// blank, never a longer one as the platform's guesses would. The token is used as it is when
// it is an absolute or rooted path and it `exists`. Otherwise ".exe" is added when its name has no extension and it is looked up in
// `extractDest`, then, when it names no folder of its own, in each of `systemDirectories`;
// `program` is the first full path that `exists`. FALSE when none does. The program is always
// handed to the process start as its application name, so nothing is searched after this.
BOOL ResolveCommandProgram(const std::string& command, const std::string& extractDest,
                           const std::vector<std::string>& systemDirectories,
                           const std::function<bool(const std::string&)>& exists, std::string& program);

}  // namespace sfx
