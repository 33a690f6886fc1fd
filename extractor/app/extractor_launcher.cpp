#include "extractor/app/extractor_launcher.h"

#include "common/format.h"

namespace sfx {

void CExtractorLauncher::SetModulePath(const std::string& path) {
    m_strSfxPathName = path;
    m_strModulePath = path;
    m_strBaseName = PackageBaseName(path);
}

void CExtractorLauncher::PublishCommandLine(const std::string& arguments) {
    std::string value = arguments;
    // A failed expansion leaves the arguments as they were given.
    if (!value.empty()) (void)ExpandEnvironment(value, m_platform.Expander());
    m_strCmdLine = value;
    m_platform.SetVariable("SfxCmdLine", value);
}

void CExtractorLauncher::Diagnostic(const std::string& text, MsgKind kind) {
    if (m_bDiagnostic) m_platform.ShowMessage(text, nullptr, kind);
}

bool CExtractorLauncher::BoundPackage(SfxBinding& binding) {
    binding = m_platform.PackageBinding();
    return binding.Recorded() && m_strSfxPathName == m_strModulePath;
}

BOOL CExtractorLauncher::SecurePrivateRead(const std::string& folder) {
    SfxBinding binding;
    if (!BoundPackage(binding) || m_platform.ReadPackageCopy(binding, folder)) return TRUE;
    Diagnostic(common::Format("%s\nSfxPathName=%s", m_platform.LastError().c_str(), m_strSfxPathName.c_str()),
               MsgKind::Error);
    return FALSE;
}

void CExtractorLauncher::Run() {
    bool showDialog = false;
    if (m_platform.OpenPackage(m_strSfxPathName)) {
        // A package that is not the one this image was written with is not read at all: not
        // its table, not its dialog, nothing extracted, nothing started.
        SfxBinding binding;
        if (BoundPackage(binding) && !m_platform.CheckPackage(binding)) {
            Diagnostic(common::Format("%s\nSfxPathName=%s", m_platform.LastError().c_str(), m_strSfxPathName.c_str()),
                       MsgKind::Error);
            m_nExitCode = kExitPackageUnreadable;
            return;
        }
        // A table that cannot be read leaves the package open; the second open below then
        // fails and the program ends without a box, with the code of an unreadable package.
        if (m_platform.LoadToc()) {
            showDialog = (m_platform.SfxFlags() & kNoDialogFlag) == 0;
            Diagnostic(common::Format("SfxPathName=%s\nShowDlg=%d", m_strSfxPathName.c_str(), showDialog ? 1 : 0));
            m_platform.ClosePackage();
        }
    } else {
        Diagnostic(common::Format("Open SfxFile ERROR (No file list?)\nSfxPathName=%s\nShowDlg=%d",
                                  m_strSfxPathName.c_str(), showDialog ? 1 : 0));
    }

    uint32_t mask = kSilentExtractMask;
    if (m_bDiagnostic && m_platform.AskYesNo("Show UI?", "Welcome Dastro")) showDialog = true;
    if (showDialog) {
        mask = kDialogExtractMask;
        if (!m_platform.RunDialog()) return;
    }

    // Also the end after a table that could not be read, whose package is still open.
    if (!m_platform.OpenPackage(m_strSfxPathName)) {
        m_nExitCode = kExitPackageUnreadable;
        return;
    }
    if (!SelectDestination(-1)) {
        Diagnostic("Select Destination directory error", MsgKind::Error);
        if (!m_bDestinationCancelled) m_nExitCode = kExitDestinationUnavailable;
        return;
    }
    // Into a private folder, the files come from a checked copy of the package in that folder
    // that nobody else can open, never from the package's file itself.
    if (m_bPrivateDestination && !SecurePrivateRead(m_strExtractDest)) {
        m_platform.ClosePackage();
        m_nExitCode = kExitPackageUnreadable;
        return;
    }
    int expected = m_platform.CountEntries(mask);
    int count = m_platform.ExtractAll(mask);
    Diagnostic(common::Format("Extract file count: %d\nDestination: %s\nLastError=%s", count,
                              m_strExtractDest.c_str(), m_platform.LastError().c_str()));
    // Run elevated, the command never starts from a folder the user chose: the files also go
    // into a private folder, and the command runs from there.
    uint32_t privateCode = 0;
    if (count == expected && m_platform.IsElevated() && !m_bPrivateDestination)
        privateCode = ExtractPrivateCopy(mask, false);
    m_platform.ClosePackage();
    m_platform.FreeEntries();
    if (privateCode != 0) {
        m_nExitCode = privateCode;
        return;
    }
    // A file that was not written may be one that was already there, put by someone else: the
    // command would run it, elevated. Nothing starts after a failed extraction.
    if (count != expected) {
        m_nExitCode = kExitExtractionFailed;
        return;
    }
    if (!ExecuteCommand()) m_nExitCode = kExitCommandNotStarted;
}

BOOL CExtractorLauncher::SelectDestination(int option) {
    m_bDestinationCancelled = false;
    m_bPrivateDestination = false;
    bool trusted = false;  // made by PrepareTrustedFolder, which also created it
    option = ResolveDestinationOption(option, m_platform.SfxFlags());
    switch (ClassifyDestination(option)) {
    case DestinationKind::Browse: {
        std::string chosen;
        int answer = m_platform.BrowseForFolder("Browse a folder to extract files", chosen);
        if (answer != kBrowseChosen) {
            m_bDestinationCancelled = answer == kBrowseCancelled;
            return FALSE;
        }
        m_strExtractDest = chosen;
        (void)m_platform.SetCurrentDir(m_strExtractDest);
        Diagnostic(common::Format("Extract to Browsed dir: %s", m_strExtractDest.c_str()));
        break;
    }
    case DestinationKind::TempDirectory: {
        // Run elevated, the files go where the user who started it cannot change them before
        // they run: a new folder of our own, never the user's temporary folder, never a folder
        // found there.
        if (m_platform.IsElevated()) {
            unsigned long error = 0;
            std::string used;
            if (!MakePrivateFolder(used, error)) {
                Diagnostic(common::Format("Destination path not available!\nError code: %lu\nPath: %s", error,
                                          WithTrailingBackslash(used).c_str()));
                return FALSE;
            }
            m_strExtractDest = used;
            trusted = true;
        } else {
            std::string temp;
            if (!m_platform.GetTempDirectory(temp)) return FALSE;
            m_strExtractDest = TempDestination(temp, m_strBaseName.empty() ? kFallbackBaseName : m_strBaseName);
        }
        Diagnostic(common::Format("Extract to TEMP dir: %s", m_strExtractDest.c_str()));
        break;
    }
    case DestinationKind::CurrentDirectory: {
        std::string current;
        if (!m_platform.GetCurrentDir(current)) return FALSE;
        m_strExtractDest = current;
        Diagnostic(common::Format("Extract to Current dir: %s", m_strExtractDest.c_str()));
        break;
    }
    }

    std::string withSlash = WithTrailingBackslash(m_strExtractDest);
    unsigned long error = 0;
    if (!trusted && !m_platform.MakeSurePathExists(withSlash, error)) {
        Diagnostic(common::Format("Destination path not available!\nError code: %lu\nPath: %s", error,
                                  withSlash.c_str()));
        return FALSE;
    }
    // A link would send every write (and the times and attributes set after it) elsewhere.
    if (m_platform.InspectPath(m_strExtractDest) == PathState::ReparsePoint) {
        Diagnostic(common::Format("Destination path not available!\nError code: %lu\nPath: %s", kErrorReparsePoint,
                                  withSlash.c_str()));
        return FALSE;
    }
    // Extraction writes relative to the current directory, so a destination that cannot be
    // entered must stop here rather than scatter the files wherever the process stands.
    if (!m_platform.SetCurrentDir(m_strExtractDest)) {
        Diagnostic(common::Format("Destination path not available!\nError code: %lu\nPath: %s",
                                  m_platform.LastSystemError(), withSlash.c_str()));
        return FALSE;
    }
    m_bPrivateDestination = trusted;
    return TRUE;
}

BOOL CExtractorLauncher::MakePrivateFolder(std::string& used, unsigned long& error) {
    error = 0;
    std::string windows;
    if (!m_platform.GetWindowsDirectory(windows) || windows.empty()) {
        error = m_platform.LastSystemError();
        return FALSE;
    }
    const std::string root = PrivateFolderRoot(windows, m_platform.InspectPath(windows + "\\SystemTemp"));
    const std::string base = m_strBaseName.empty() ? kFallbackBaseName : m_strBaseName;
    for (int attempt = 0; attempt < kPrivateFolderAttempts; ++attempt) {
        std::string suffix;
        if (!m_platform.RandomSuffix(suffix) || suffix.size() != 32) {
            error = m_platform.LastSystemError();
            return FALSE;
        }
        const std::string candidate = root + "\\" + base + "." + suffix;
        used = candidate;
        HeldFolder held;
        if (!m_platform.CreateHeldFolder(candidate, kTrustedFolderSddl, held, error)) {
            // A name that exists is someone else's, whatever is in it: the next name.
            if (error == kErrorAlreadyExists) continue;
            return FALSE;
        }
        // The folder the handle holds must be the one asked for, reached through no link, and
        // owned by an administrator: otherwise a link along the way sent it elsewhere.
        if (!SamePath(held.finalPath, candidate)) {
            error = kErrorReparsePoint;
            return FALSE;
        }
        if (m_platform.OwnersRecorded() && !IsAdministrativeOwner(held.ownerSid)) {
            error = kErrorInvalidOwner;
            return FALSE;
        }
        return TRUE;
    }
    error = kErrorAlreadyExists;
    return FALSE;
}

uint32_t CExtractorLauncher::ExtractPrivateCopy(uint32_t mask, bool openPackage) {
    unsigned long error = 0;
    std::string used;
    if (!MakePrivateFolder(used, error) || !m_platform.SetCurrentDir(used)) {
        if (error == 0) error = m_platform.LastSystemError();
        Diagnostic(common::Format("Destination path not available!\nError code: %lu\nPath: %s", error,
                                  WithTrailingBackslash(used).c_str()));
        return kExitDestinationUnavailable;
    }
    if (openPackage && !m_platform.OpenPackage(m_strSfxPathName)) return kExitPackageUnreadable;
    if (!SecurePrivateRead(used)) {
        if (openPackage) m_platform.ClosePackage();
        return kExitPackageUnreadable;
    }
    int expected = m_platform.CountEntries(mask);
    int count = m_platform.ExtractAll(mask);
    if (openPackage) m_platform.ClosePackage();
    Diagnostic(common::Format("Extract file count: %d\nDestination: %s\nLastError=%s", count, used.c_str(),
                              m_platform.LastError().c_str()));
    if (count != expected) return kExitExtractionFailed;
    m_strExtractDest = used;
    m_bPrivateDestination = true;
    return 0;
}

BOOL CExtractorLauncher::ExpandCommand(std::string& command) {
    if (!m_platform.IsElevated()) return ExpandEnvironment(command, m_platform.Expander());
    std::vector<KnownVariable> known{{"SfxPathName", m_strSfxPathName},
                                     {"ExtractDest", m_strExtractDest},
                                     {"SfxCmdLine", m_strCmdLine}};
    std::string windows;
    if (m_platform.GetWindowsDirectory(windows) && !windows.empty()) {
        known.push_back({"windir", windows});
        known.push_back({"SystemRoot", windows});
    }
    return ExpandKnownVariables(command, known);
}

BOOL CExtractorLauncher::ExecuteCommand() {
    // Run elevated from the dialog after an extraction to a folder the user chose: the command
    // starts only from a private copy of its own, made afresh for each start. The dialog's
    // destination (and with it its current directory) is the user's again afterwards.
    struct UserDestination {
        CExtractorLauncher& launcher;
        std::string path;
        ~UserDestination() {
            if (path.empty()) return;
            launcher.m_strExtractDest = path;
            launcher.m_bPrivateDestination = false;
            (void)launcher.m_platform.SetCurrentDir(path);
        }
    } restore{*this, std::string()};
    if (m_platform.IsElevated() && !m_bPrivateDestination && !m_strExtractDest.empty()) {
        std::string user = m_strExtractDest;
        if (ExtractPrivateCopy(kDialogExtractMask, true) != 0) {
            (void)m_platform.SetCurrentDir(user);
            return FALSE;
        }
        restore.path = user;
    }
    m_platform.SetVariable("SfxPathName", m_strSfxPathName);
    m_platform.SetVariable("ExtractDest", m_strExtractDest);

    std::string command = m_platform.Win32Command();
    // An expansion that fails has no room in any buffer; running the unexpanded text instead
    // would start something other than what the package asks for.
    if (!ExpandCommand(command)) {
        Diagnostic("Command line cannot be expanded: longer than 32767 characters", MsgKind::Error);
        return FALSE;
    }
    if (command.empty()) return TRUE;

    char buffer[kCommandBufferSize];
    std::string reason;
    if (!CopyCommandLine(command, buffer, reason)) {
        Diagnostic(reason, MsgKind::Error);
        return FALSE;
    }

    std::string workingDir = CommandWorkingDirectory(m_strExtractDest);
    // Only the dialog can get here before anything was extracted; the command would then run
    // from wherever the process stands instead of from the package's files.
    if (workingDir.empty()) {
        Diagnostic("No destination directory: extract the package first", MsgKind::Error);
        return FALSE;
    }
    (void)m_platform.SetCurrentDir(workingDir);

    std::string program;
    unsigned long error = 0;
    if (!ResolveCommandProgram(command, m_strExtractDest, m_platform.SystemDirectories(),
                               [this](const std::string& path) { return m_platform.FileExists(path); }, program)) {
        error = kErrorFileNotFound;
        Diagnostic(StartFailureText(error, command, workingDir), MsgKind::Error);
        return FALSE;
    }
    uint32_t exitCode = 0;
    if (!m_platform.StartAndWait(program, buffer, workingDir, exitCode, error)) {
        Diagnostic(StartFailureText(error, command, workingDir), MsgKind::Error);
        return FALSE;
    }
    m_nExitCode = exitCode;
    return TRUE;
}

}  // namespace sfx
