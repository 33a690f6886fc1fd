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
#include "extractor/package/sfx_binding.h"

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


// The security descriptor of the destination Extractor creates when it runs elevated: owned by
// Administrators, only SYSTEM and Administrators may change anything in it, every user may
// read and run what is there; inherited by everything created inside, and nothing inherited
// from the user's own temporary folder.
constexpr char kTrustedFolderSddl[] = "O:BAG:BAD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

// The system error reported for a destination that is a reparse point
// (ERROR_REPARSE_POINT_ENCOUNTERED).
constexpr unsigned long kErrorReparsePoint = 4395;

// The folder name used for a package whose file name gives no base name (it has no dot): the
// temporary folder itself would otherwise be the destination.
constexpr char kFallbackBaseName[] = "Package";

// Names tried for a private folder before giving up: each carries a new random suffix, so a
// name that exists (someone made it first, or guessed it) is never taken, only skipped.
constexpr int kPrivateFolderAttempts = 8;

constexpr unsigned long kErrorAlreadyExists = 183;  // ERROR_ALREADY_EXISTS
constexpr unsigned long kErrorInvalidOwner = 1307;  // ERROR_INVALID_OWNER

// What the system says about a folder just created, asked through the handle that keeps it.
struct HeldFolder {
    std::string finalPath;  // the path the handle's folder has, links resolved, no "\\?\" prefix
    std::string ownerSid;   // its owner as a SID string
};

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
    // What the running program's own image records about its package; nothing recorded for
    // an image written behind by an older writer.
    virtual SfxBinding PackageBinding() = 0;
    // Checks the open package against `binding`, through the handle it is open with.
    virtual BOOL CheckPackage(const SfxBinding& binding) = 0;
    // Reads the open package once into a new file in `folder` that no one else can open,
    // checking it against `binding` on the way; until ClosePackage (which removes the copy)
    // the package and its table are read from there.
    virtual BOOL ReadPackageCopy(const SfxBinding& binding, const std::string& folder) = 0;

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
    // The Windows directory as the system knows it (never from the environment), without a
    // trailing backslash.
    virtual BOOL GetWindowsDirectory(std::string& path) = 0;
    // 32 hexadecimal digits from 128 bits of the system's random number generator.
    virtual BOOL RandomSuffix(std::string& hex) = 0;
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
    // Whether the system records who owns a file. Wine does not: every object there shows the
    // user who runs it, and no access list is enforced either, so an owner tells nothing.
    virtual bool OwnersRecorded() = 0;
    // Creates the folder `path`, which must not exist yet (an existing name fails with
    // kErrorAlreadyExists), with the descriptor `sddl` given in the same call, and keeps it open
    // without delete sharing until the process ends, so that it can be neither renamed nor
    // replaced. `held` is what that handle says about it.
    virtual BOOL CreateHeldFolder(const std::string& path, const char* sddl, HeldFolder& held,
                                  unsigned long& error) = 0;
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
    // The running program's file: only its own package is bound to its image.
    std::string m_strModulePath;
    std::string m_strBaseName;
    std::string m_strExtractDest;
    // The value published as SfxCmdLine.
    std::string m_strCmdLine;
    // ExtractDest is a private folder this run made and filled (elevated runs only).
    bool m_bPrivateDestination = false;
    uint32_t m_nExitCode = 0;
    bool m_bDiagnostic = false;
    bool m_bDestinationCancelled = false;

private:
    void Diagnostic(const std::string& text, MsgKind kind = MsgKind::Plain);
    // Makes a new folder that only administrators can write under the system's temporary
    // folder, named after the package and a random suffix; `used` is its checked path.
    BOOL MakePrivateFolder(std::string& used, unsigned long& error);
    // Run elevated with a destination the user chose: extracts the entries of `mask` once
    // more into a private folder, which becomes ExtractDest, so that the command never runs
    // from files the user can change. 0, or Extractor's exit code for what failed.
    uint32_t ExtractPrivateCopy(uint32_t mask, bool openPackage);
    // Whether the package to read is the one the running image records, with what it records.
    bool BoundPackage(SfxBinding& binding);
    // The package, open, read into a checked copy in the private folder `folder` when it is
    // bound; FALSE (with the diagnostic box) when it does not match.
    BOOL SecurePrivateRead(const std::string& folder);
    // The stored command expanded: run elevated, only the variables Extractor sets and the
    // Windows directory; otherwise the whole environment.
    BOOL ExpandCommand(std::string& command);

    CLauncherPlatform& m_platform;
};

}  // namespace sfx
