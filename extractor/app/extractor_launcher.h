#pragma once
// CExtractorLauncher: the Extractor's flow from start to exit, written against a small seam
// (CLauncherPlatform) for the package reader, the user and the operating system. It reads
// the package, decides between the silent path and the dialog, chooses and creates the
// destination, extracts, publishes the environment and runs the stored Win32 command.
// The Win32 side implements the seam; tests drive the flow with a recording fake.

#include <cstdint>
#include <string>
#include <vector>

#include "common/portable_types.h"
#include "extractor/app/launch_rules.h"

namespace sfx {

enum class MsgKind { Plain, Error, Information };

// Answers of BrowseForFolder.
constexpr int kBrowseChosen = 1;
constexpr int kBrowseCancelled = 2;
constexpr int kBrowseComFailed = -1;
constexpr int kBrowseNoAllocator = -2;
constexpr int kBrowseNoPath = -3;

// Platform masks used for extraction: Win32 and WinPE on the silent path, all after the dialog.
constexpr uint32_t kSilentExtractMask = 6;
constexpr uint32_t kDialogExtractMask = 0xFF;

// Extractor's own failures on the start-up path, apart from every code the update utility
// returns (0, 1, 2, 4, 8, 9, 11-16, 31-33), so a caller can tell who failed. A cancelled
// folder choice or a dialog closed without OK is the user's decision and stays 0.
constexpr uint32_t kExitPackageUnreadable = 20;      // the package cannot be opened or read
constexpr uint32_t kExitDestinationUnavailable = 21;  // the destination is not available
constexpr uint32_t kExitExtractionFailed = 22;        // an entry that should be written was not
constexpr uint32_t kExitCommandNotStarted = 23;       // the stored command cannot be started

// What a path names, without following a link.
enum class PathState { Missing, Folder, ReparsePoint, Other };

// The security descriptor of the destination Extractor creates when it runs elevated: owned by
// Administrators, only SYSTEM and Administrators may change anything in it, every user may
// read and run what is there; inherited by everything created inside, and nothing inherited
// from the user's own temporary folder.
constexpr char kTrustedFolderSddl[] = "O:BAG:BAD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

// The system error reported for a destination that is a reparse point
// (ERROR_REPARSE_POINT_ENCOUNTERED).
constexpr unsigned long kErrorReparsePoint = 4395;

// Fresh siblings tried ("<package>.1", "<package>.2", ...) when the folder of the package's
// name cannot be made trustworthy.
constexpr int kTrustedFolderSiblings = 99;

class CLauncherPlatform {
public:
    virtual ~CLauncherPlatform() = default;

    // The one package reader.
    virtual BOOL OpenPackage(const std::string& path) = 0;
    virtual BOOL LoadToc() = 0;
    virtual void ClosePackage() = 0;
    virtual void FreeEntries() = 0;
    virtual int ExtractAll(uint32_t mask) = 0;
    // How many loaded entries ExtractAll(mask) has to write.
    virtual int CountEntries(uint32_t mask) = 0;
    virtual uint32_t SfxFlags() = 0;
    virtual std::string Win32Command() = 0;
    virtual std::string LastError() = 0;

    // The user. A null caption stands for the application's own.
    virtual void ShowMessage(const std::string& text, const char* caption, MsgKind kind) = 0;
    virtual bool AskYesNo(const std::string& text, const char* caption) = 0;
    // Runs the package dialog modally; true when it ended with OK.
    virtual bool RunDialog() = 0;
    // One of the kBrowse answers; on kBrowseChosen `chosen` holds the folder.
    virtual int BrowseForFolder(const char* title, std::string& chosen) = 0;

    // The operating system.
    virtual void SetVariable(const char* name, const std::string& value) = 0;
    virtual ExpandFn Expander() = 0;
    // The long form of the temporary directory, ending in a backslash.
    virtual BOOL GetTempDirectory(std::string& path) = 0;
    virtual BOOL GetCurrentDir(std::string& path) = 0;
    virtual BOOL SetCurrentDir(const std::string& path) = 0;
    // The system error code of the last failed call.
    virtual unsigned long LastSystemError() = 0;
    // Creates `pathWithBackslash` with every missing parent; on failure `error` is the system's.
    virtual BOOL MakeSurePathExists(const std::string& pathWithBackslash, unsigned long& error) = 0;
    // TRUE when this process runs with an administrator's full token (or when that cannot be
    // told: the careful answer).
    virtual bool IsElevated() = 0;
    virtual PathState InspectPath(const std::string& path) = 0;
    // Creates the folder `path`, which must not exist yet, with the descriptor `sddl`.
    virtual BOOL CreateFolderWithAccess(const std::string& path, const char* sddl, unsigned long& error) = 0;
    // Gives the existing folder `path` the owner and access list of `sddl` and empties it,
    // deleting links inside it rather than following them. TRUE only when all of that
    // succeeded and the folder is empty.
    virtual BOOL ResetFolder(const std::string& path, const char* sddl, unsigned long& error) = 0;
    // TRUE when `path` names an existing file (not a directory).
    virtual bool FileExists(const std::string& path) = 0;
    // The system directories a command's program is looked up in, in order.
    virtual std::vector<std::string> SystemDirectories() = 0;
    // Starts `program` (empty: the command line's first token, taken as it is) with
    // `commandLine` in `workingDir` and waits for it (or for the launcher message).
    // TRUE with the exit code, or FALSE with the start error.
    virtual BOOL StartAndWait(const std::string& program, char* commandLine, const std::string& workingDir,
                              uint32_t& exitCode, unsigned long& error) = 0;
};

class CExtractorLauncher {
public:
    explicit CExtractorLauncher(CLauncherPlatform& platform) : m_platform(platform) {}

    // Sets SfxPathName and the package base name from the running program's path.
    void SetModulePath(const std::string& path);
    // Publishes the program's own arguments as SfxCmdLine, expanded; "" when there are none.
    void PublishCommandLine(const std::string& arguments);
    // The start-up routine after the process-wide strings are set: read, maybe show the
    // dialog, extract, run. The exit code is left in m_nExitCode.
    void Run();

    // Chooses ExtractDest for `option` (-1: the package's own), creates it and makes it the
    // current directory. A failure because the user cancelled the folder choice sets
    // m_bDestinationCancelled.
    [[nodiscard]] BOOL SelectDestination(int option);
    // Starts the package's Win32 command in ExtractDest and waits for it.
    [[nodiscard]] BOOL ExecuteCommand();

    std::string m_strSfxPathName;
    std::string m_strBaseName;
    std::string m_strExtractDest;
    uint32_t m_nExitCode = 0;
    bool m_bDiagnostic = false;
    bool m_bDestinationCancelled = false;

private:
    void Diagnostic(const std::string& text, MsgKind kind = MsgKind::Plain);
    // Makes `path`, or failing that a fresh sibling of it, a folder that only administrators
    // can write; `used` is the folder made. A `path` that is a reparse point is refused.
    BOOL PrepareTrustedFolder(const std::string& path, std::string& used, unsigned long& error);

    CLauncherPlatform& m_platform;
};

}  // namespace sfx
