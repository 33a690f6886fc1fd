#include "extractor/app/extractor_launcher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace sfx;

// Records every call as one line, in order, and answers from its settings.
class FakePlatform : public CLauncherPlatform {
public:
    std::vector<std::string> calls;
    std::vector<std::string> messages;  // "caption|kind|text"
    std::map<std::string, std::string> env;

    // Answers of the first and second Open and of LoadToc.
    std::vector<BOOL> openAnswers{TRUE, TRUE};
    BOOL tocAnswer = TRUE;
    uint32_t flags = 0x301;
    std::string command = "run.exe %SfxCmdLine%";
    std::string lastError;
    int extracted = 3;
    int matching = 3;  // entries the extraction has to write
    std::set<std::string> files;  // what FileExists finds; every file while empty
    std::string program;  // what StartAndWait was asked to start
    bool yes = false;
    bool dialogOk = true;
    int browseAnswer = kBrowseChosen;
    std::string browsed = "D:\\picked";
    std::string temp = "C:\\Users\\me\\Temp\\";
    std::string current = "C:\\work";
    BOOL makeSure = TRUE;
    unsigned long makeSureError = 0;
    BOOL enterDestination = TRUE;
    BOOL startAnswer = TRUE;
    uint32_t childExit = 7;
    unsigned long startError = 0;
    std::string started;

    BOOL OpenPackage(const std::string& path) override {
        calls.push_back("Open " + path);
        BOOL answer = openAnswers.empty() ? FALSE : openAnswers.front();
        if (!openAnswers.empty()) openAnswers.erase(openAnswers.begin());
        return answer;
    }
    BOOL LoadToc() override {
        calls.push_back("LoadToc");
        return tocAnswer;
    }
    void ClosePackage() override { calls.push_back("Close"); }
    void FreeEntries() override { calls.push_back("FreeEntries"); }
    int ExtractAll(uint32_t mask) override {
        calls.push_back("ExtractAll " + std::to_string(mask));
        return extracted;
    }
    int CountEntries(uint32_t) override { return matching; }
    SfxBinding binding;  // nothing recorded unless a test says so
    BOOL checkAnswer = TRUE;
    BOOL copyAnswer = TRUE;
    SfxBinding PackageBinding() override { return binding; }
    BOOL CheckPackage(const SfxBinding&) override {
        calls.push_back("Check");
        if (!checkAnswer) lastError = "Package hash mismatched";
        return checkAnswer;
    }
    BOOL ReadPackageCopy(const SfxBinding&, const std::string& folder) override {
        calls.push_back("Copy into " + folder);
        if (!copyAnswer) lastError = "Package hash mismatched";
        return copyAnswer;
    }
    bool elevated = false;
    std::map<std::string, PathState> paths;  // what InspectPath answers; a folder when not listed
    std::set<std::string> taken;             // missing, but created by someone else first
    std::string finalPathOverride;           // what a held folder's handle reports; "" its own path
    std::string owner = "S-1-5-32-544";
    bool ownersRecorded = true;
    int suffixes = 0;
    bool IsElevated() override { return elevated; }
    bool OwnersRecorded() override { return ownersRecorded; }
    BOOL GetWindowsDirectory(std::string& path) override {
        path = "C:\\Windows";
        return TRUE;
    }
    BOOL RandomSuffix(std::string& hex) override {
        hex = std::string(31, '0') + static_cast<char>('a' + suffixes++);
        return TRUE;
    }
    PathState InspectPath(const std::string& path) override {
        auto found = paths.find(path);
        return found == paths.end() ? PathState::Folder : found->second;
    }
    BOOL CreateHeldFolder(const std::string& path, const char* sddl, HeldFolder& held,
                          unsigned long& error) override {
        calls.push_back("Create " + path + " " + sddl);
        auto known = paths.find(path);
        if ((known != paths.end() && known->second != PathState::Missing) || taken.count(path)) {
            error = 183;  // ERROR_ALREADY_EXISTS: someone was quicker
            return FALSE;
        }
        paths[path] = PathState::Folder;
        held.finalPath = finalPathOverride.empty() ? path : finalPathOverride;
        held.ownerSid = owner;
        return TRUE;
    }
    bool FileExists(const std::string& path) override { return files.empty() || files.count(path) > 0; }
    std::vector<std::string> SystemDirectories() override { return {"C:\\Windows\\system32", "C:\\Windows"}; }
    uint32_t SfxFlags() override { return flags; }
    std::string Win32Command() override { return command; }
    std::string LastError() override { return lastError; }
    void ShowMessage(const std::string& text, const char* caption, MsgKind kind) override {
        messages.push_back(std::string(caption ? caption : "(app)") + "|" + std::to_string(static_cast<int>(kind)) +
                           "|" + text);
    }
    bool AskYesNo(const std::string& text, const char* caption) override {
        messages.push_back(std::string(caption) + "|?|" + text);
        return yes;
    }
    bool RunDialog() override {
        calls.push_back("Dialog");
        return dialogOk;
    }
    int BrowseForFolder(const char* title, std::string& chosen) override {
        calls.push_back(std::string("Browse ") + title);
        if (browseAnswer == kBrowseChosen) chosen = browsed;
        return browseAnswer;
    }
    void SetVariable(const char* name, const std::string& value) override {
        calls.push_back(std::string("Set ") + name + "=" + value);
        env[name] = value;
    }
    static uint32_t Expand(const char* text, char* out, uint32_t size);
    ExpandFn Expander() override { return &FakePlatform::Expand; }
    BOOL GetTempDirectory(std::string& path) override {
        path = temp;
        return TRUE;
    }
    BOOL GetCurrentDir(std::string& path) override {
        path = current;
        return TRUE;
    }
    BOOL SetCurrentDir(const std::string& path) override {
        calls.push_back("Cd " + path);
        return enterDestination;
    }
    unsigned long LastSystemError() override { return 5; }
    BOOL MakeSurePathExists(const std::string& path, unsigned long& error) override {
        calls.push_back("MakeSure " + path);
        error = makeSureError;
        return makeSure;
    }
    BOOL StartAndWait(const std::string& programPath, char* commandLine, const std::string& workingDir,
                      uint32_t& exitCode, unsigned long& error) override {
        program = programPath;
        started = commandLine;
        calls.push_back("Start " + started + " in " + workingDir);
        exitCode = childExit;
        error = startError;
        return startAnswer;
    }
};

// The environment the fake expander sees: the variables the launcher set.
FakePlatform* g_platform = nullptr;

uint32_t FakePlatform::Expand(const char* text, char* out, uint32_t size) {
    std::string result = text;
    for (const auto& [name, value] : g_platform->env) {
        std::string ref = "%" + name + "%";
        for (size_t at = result.find(ref); at != std::string::npos; at = result.find(ref, at + value.size()))
            result.replace(at, ref.size(), value);
    }
    if (result.size() + 1 <= size) std::memcpy(out, result.c_str(), result.size() + 1);
    return static_cast<uint32_t>(result.size() + 1);
}

class LauncherTest : public testing::Test {
protected:
    void SetUp() override {
        g_platform = &platform;
        launcher.SetModulePath("C:\\dl\\B.exe");
    }
    void TearDown() override { g_platform = nullptr; }

    FakePlatform platform;
    CExtractorLauncher launcher{platform};
};

TEST_F(LauncherTest, SilentPathExtractsWindowsEntriesToTempAndRunsCommand) {
    launcher.PublishCommandLine("/NoReboot /X");
    launcher.Run();
    EXPECT_EQ((std::vector<std::string>{
                  "Set SfxCmdLine=/NoReboot /X", "Open C:\\dl\\B.exe", "LoadToc", "Close", "Open C:\\dl\\B.exe",
                  "MakeSure C:\\Users\\me\\Temp\\B\\", "Cd C:\\Users\\me\\Temp\\B", "ExtractAll 6", "Close",
                  "FreeEntries", "Set SfxPathName=C:\\dl\\B.exe", "Set ExtractDest=C:\\Users\\me\\Temp\\B",
                  "Cd C:\\Users\\me\\Temp\\B", "Start run.exe /NoReboot /X in C:\\Users\\me\\Temp\\B"}),
              platform.calls);
    EXPECT_EQ(7u, launcher.m_nExitCode);
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(LauncherTest, NoArgumentsPublishEmptyCommandLine) {
    launcher.PublishCommandLine("");
    launcher.Run();
    EXPECT_EQ("", platform.env["SfxCmdLine"]);
    EXPECT_EQ("run.exe ", platform.started);
}

TEST_F(LauncherTest, DialogShownWhenNoDialogFlagClearAndEverythingExtractedAfterOk) {
    platform.flags = 0x002;  // current directory, dialog
    launcher.Run();
    EXPECT_EQ((std::vector<std::string>{"Open C:\\dl\\B.exe", "LoadToc", "Close", "Dialog", "Open C:\\dl\\B.exe",
                                        "MakeSure C:\\work\\", "Cd C:\\work", "ExtractAll 255", "Close",
                                        "FreeEntries", "Set SfxPathName=C:\\dl\\B.exe", "Set ExtractDest=C:\\work",
                                        "Cd C:\\work", "Start run.exe %SfxCmdLine% in C:\\work"}),
              platform.calls);
}

TEST_F(LauncherTest, DialogClosedWithoutOkEndsWithoutExtracting) {
    platform.flags = 0x001;
    platform.dialogOk = false;
    launcher.Run();
    EXPECT_EQ((std::vector<std::string>{"Open C:\\dl\\B.exe", "LoadToc", "Close", "Dialog"}), platform.calls);
    EXPECT_EQ(0u, launcher.m_nExitCode);
}

TEST_F(LauncherTest, QuietFailuresOutsideDiagnosticMode) {
    {
        FakePlatform p;
        g_platform = &p;
        p.openAnswers = {FALSE, FALSE};
        CExtractorLauncher l(p);
        l.SetModulePath("C:\\B.exe");
        l.Run();
        EXPECT_EQ((std::vector<std::string>{"Open C:\\B.exe", "Open C:\\B.exe"}), p.calls);
        EXPECT_TRUE(p.messages.empty());
        EXPECT_EQ(kExitPackageUnreadable, l.m_nExitCode);
    }
    {
        FakePlatform p;
        g_platform = &p;
        p.browseAnswer = kBrowseCancelled;
        p.flags = 0x100;
        CExtractorLauncher l(p);
        l.Run();
        EXPECT_EQ("Browse Browse a folder to extract files", p.calls.back());
        EXPECT_TRUE(p.messages.empty());
        EXPECT_EQ(0u, l.m_nExitCode);  // the user's choice, not a failure
    }
    {
        FakePlatform p;
        g_platform = &p;
        p.startAnswer = FALSE;
        p.startError = 2;
        CExtractorLauncher l(p);
        l.Run();
        EXPECT_EQ(kExitCommandNotStarted, l.m_nExitCode);
        EXPECT_TRUE(p.messages.empty());
    }
    {
        FakePlatform p;
        g_platform = &p;
        p.flags = 0x100;
        p.browseAnswer = kBrowseComFailed;
        CExtractorLauncher l(p);
        l.Run();
        EXPECT_EQ(kExitDestinationUnavailable, l.m_nExitCode);
    }
}

TEST_F(LauncherTest, FailedTableLoadLeavesPackageOpenAndEndsAtSecondOpen) {
    platform.tocAnswer = FALSE;
    platform.openAnswers = {TRUE, FALSE};  // the reader refuses a second open while one is held
    launcher.m_bDiagnostic = true;
    launcher.Run();
    EXPECT_EQ((std::vector<std::string>{"Open C:\\dl\\B.exe", "LoadToc", "Open C:\\dl\\B.exe"}), platform.calls);
    EXPECT_EQ(kExitPackageUnreadable, launcher.m_nExitCode);
    // Only the question: no box for the table and none for the failed second open.
    EXPECT_EQ((std::vector<std::string>{"Welcome Dastro|?|Show UI?"}), platform.messages);
}

TEST_F(LauncherTest, DiagnosticModeReportsEachStep) {
    launcher.m_bDiagnostic = true;
    platform.yes = true;  // "Show UI?" answered Yes shows the dialog even with the no-dialog flag
    platform.lastError = "Decompress routine error";
    platform.extracted = 0;
    launcher.Run();
    EXPECT_EQ((std::vector<std::string>{
                  "(app)|0|SfxPathName=C:\\dl\\B.exe\nShowDlg=0",
                  "Welcome Dastro|?|Show UI?",
                  "(app)|0|Extract to TEMP dir: C:\\Users\\me\\Temp\\B",
                  "(app)|0|Extract file count: 0\nDestination: C:\\Users\\me\\Temp\\B\nLastError=Decompress routine error",
              }),
              platform.messages);
    EXPECT_NE(platform.calls.end(), std::find(platform.calls.begin(), platform.calls.end(), "Dialog"));
    EXPECT_NE(platform.calls.end(), std::find(platform.calls.begin(), platform.calls.end(), "ExtractAll 255"));
    // A failed extraction starts nothing: the files on disk may not be the package's.
    EXPECT_EQ(kExitExtractionFailed, launcher.m_nExitCode);
    EXPECT_EQ("", platform.started);
    EXPECT_EQ("FreeEntries", platform.calls.back());
}

TEST_F(LauncherTest, ExtractionCountDecidesWhetherTheCommandRuns) {
    platform.extracted = 2;  // one of three entries not written, although the count is not 0
    launcher.Run();
    EXPECT_EQ(kExitExtractionFailed, launcher.m_nExitCode);
    EXPECT_EQ("", platform.started);

    FakePlatform none;  // nothing to extract for this platform is not a failure
    g_platform = &none;
    none.extracted = none.matching = 0;
    CExtractorLauncher l(none);
    l.SetModulePath("C:\\dl\\B.exe");
    l.Run();
    EXPECT_EQ(7u, l.m_nExitCode);
}

TEST_F(LauncherTest, CommandProgramIsLookedUpInTheDestinationThenTheSystemNeverBesideThePackage) {
    launcher.m_strExtractDest = "C:\\T\\B\\";
    platform.command = "run /a";
    platform.files = {"C:\\dl\\run.exe", "C:\\T\\B\\run.exe", "C:\\Windows\\system32\\run.exe"};
    ASSERT_TRUE(launcher.ExecuteCommand());
    EXPECT_EQ("C:\\T\\B\\run.exe", platform.program);
    EXPECT_EQ("run /a", platform.started);  // the command line itself is unchanged

    platform.files = {"C:\\dl\\run.exe", "C:\\Windows\\system32\\run.exe", "C:\\Windows\\run.exe"};
    ASSERT_TRUE(launcher.ExecuteCommand());
    EXPECT_EQ("C:\\Windows\\system32\\run.exe", platform.program);

    // Only beside the package: not started, and reported as a missing program.
    launcher.m_bDiagnostic = true;
    platform.files = {"C:\\dl\\run.exe"};
    platform.started.clear();
    EXPECT_FALSE(launcher.ExecuteCommand());
    EXPECT_EQ("", platform.started);
    EXPECT_EQ("(app)|1|CreateProcess() ERR#2\nCommandLine: run /a\nWorkingDir: C:\\T\\B\n", platform.messages.back());
}

TEST(ResolveCommandProgram, Rules) {
    std::vector<std::string> system{"C:\\W\\s32"};
    std::set<std::string> files{"D:\\x\\Brevane.exe", "D:\\x\\my tool.exe", "D:\\x\\sub\\t.exe",
                                "C:\\W\\s32\\cmd.exe", "D:\\x\\a.b", "\\\\srv\\share\\t.exe"};
    auto exists = [&](const std::string& p) { return files.count(p) > 0; };
    struct Row {
        const char* command;
        BOOL found;
        const char* program;
    } rows[] = {
        {"Brevane.exe /NoReboot", TRUE, "D:\\x\\Brevane.exe"},
        {"  Brevane /x", TRUE, "D:\\x\\Brevane.exe"},  // ".exe" added, leading blanks skipped
        {"\"my tool.exe\" /x", TRUE, "D:\\x\\my tool.exe"},
        {"\"my tool\"", TRUE, "D:\\x\\my tool.exe"},
        {"a.b", TRUE, "D:\\x\\a.b"},
        {"sub\\t.exe", TRUE, "D:\\x\\sub\\t.exe"},
        {"cmd /c exit 3", TRUE, "C:\\W\\s32\\cmd.exe"},
        {"sub\\cmd.exe", FALSE, ""},  // a relative folder is taken in the destination only
        {"C:\\any\\where.exe /x", FALSE, ""},  // absolute: taken as written, and it must exist
        {"C:\\W\\s32\\cmd /c", TRUE, "C:\\W\\s32\\cmd.exe"},
        {"\"\\\\srv\\share\\t.exe\"", TRUE, "\\\\srv\\share\\t.exe"},
        {"\\t.exe", FALSE, ""},
        // Unquoted with blanks: the file up to the first blank, never a longer guess.
        {"D:\\x\\my tool.exe /x", FALSE, ""},
        {"my tool.exe", FALSE, ""},
        {"missing.exe", FALSE, ""},
        {"   ", FALSE, ""},
    };
    for (const Row& row : rows) {
        std::string program = "stale";
        EXPECT_EQ(row.found, ResolveCommandProgram(row.command, "D:\\x\\", system, exists, program)) << row.command;
        EXPECT_EQ(row.program, program) << row.command;
    }
}

TEST_F(LauncherTest, DiagnosticModeOpenFailureAndDestinationFailure) {
    launcher.m_bDiagnostic = true;
    platform.openAnswers = {FALSE, TRUE};
    platform.makeSure = FALSE;
    platform.makeSureError = 3;
    launcher.Run();
    EXPECT_EQ((std::vector<std::string>{
                  "(app)|0|Open SfxFile ERROR (No file list?)\nSfxPathName=C:\\dl\\B.exe\nShowDlg=0",
                  "Welcome Dastro|?|Show UI?",
                  "(app)|0|Extract to TEMP dir: C:\\Users\\me\\Temp\\B",
                  "(app)|0|Destination path not available!\nError code: 3\nPath: C:\\Users\\me\\Temp\\B\\",
                  "(app)|1|Select Destination directory error",
              }),
              platform.messages);
    EXPECT_EQ("MakeSure C:\\Users\\me\\Temp\\B\\", platform.calls.back());
}

TEST_F(LauncherTest, SelectDestinationOptions) {
    launcher.m_bDiagnostic = true;
    ASSERT_TRUE(launcher.SelectDestination(0));
    EXPECT_EQ("D:\\picked", launcher.m_strExtractDest);
    ASSERT_TRUE(launcher.SelectDestination(2));
    EXPECT_EQ("C:\\work", launcher.m_strExtractDest);
    platform.flags = 0x105;
    ASSERT_TRUE(launcher.SelectDestination(-1));
    EXPECT_EQ("C:\\work", launcher.m_strExtractDest);
    EXPECT_EQ((std::vector<std::string>{"(app)|0|Extract to Browsed dir: D:\\picked",
                                        "(app)|0|Extract to Current dir: C:\\work",
                                        "(app)|0|Extract to Current dir: C:\\work"}),
              platform.messages);

    // Any browse answer but "chosen" fails and keeps the previous destination.
    for (int answer : {kBrowseCancelled, kBrowseComFailed, kBrowseNoAllocator, kBrowseNoPath}) {
        platform.browseAnswer = answer;
        EXPECT_FALSE(launcher.SelectDestination(0));
        EXPECT_EQ("C:\\work", launcher.m_strExtractDest);
    }
}

TEST_F(LauncherTest, DestinationThatCannotBeEnteredIsRefused) {
    platform.enterDestination = FALSE;
    launcher.m_bDiagnostic = true;
    EXPECT_FALSE(launcher.SelectDestination(1));
    EXPECT_EQ("(app)|0|Destination path not available!\nError code: 5\nPath: C:\\Users\\me\\Temp\\B\\",
              platform.messages.back());
}

TEST_F(LauncherTest, ExecuteCommandRules) {
    launcher.m_strExtractDest = "C:\\";
    platform.command = "%ExtractDest%run.exe \"%SfxPathName%\"";
    ASSERT_TRUE(launcher.ExecuteCommand());
    EXPECT_EQ("C:\\run.exe \"C:\\dl\\B.exe\"", platform.started);
    EXPECT_EQ("Start C:\\run.exe \"C:\\dl\\B.exe\" in C:", platform.calls.back());

    // Empty after expansion: nothing starts and the exit code stays.
    platform.calls.clear();
    launcher.m_nExitCode = 0;
    platform.command = "";
    EXPECT_TRUE(launcher.ExecuteCommand());
    EXPECT_EQ("Set ExtractDest=C:\\", platform.calls.back());
    EXPECT_EQ(0u, launcher.m_nExitCode);
}

TEST_F(LauncherTest, CommandBeforeAnyDestinationIsNotStarted) {
    launcher.m_bDiagnostic = true;
    platform.command = "run.exe";
    EXPECT_FALSE(launcher.ExecuteCommand());
    EXPECT_EQ("", platform.started);
    EXPECT_EQ("(app)|1|No destination directory: extract the package first", platform.messages.back());
}

TEST_F(LauncherTest, OverlongCommandIsNeverStarted) {
    launcher.m_strExtractDest = "C:\\d";
    launcher.m_bDiagnostic = true;
    platform.env["Long"] = std::string(1020, 'x');
    platform.command = "a %Long%";  // 1022 characters: fits
    ASSERT_TRUE(launcher.ExecuteCommand());
    EXPECT_EQ(1022u, platform.started.size());

    platform.started.clear();
    platform.command = "ab %Long%";  // 1023 characters: still fits
    ASSERT_TRUE(launcher.ExecuteCommand());
    EXPECT_EQ(1023u, platform.started.size());

    platform.started.clear();
    platform.command = "abc %Long%";  // 1024: refused whole
    EXPECT_FALSE(launcher.ExecuteCommand());
    EXPECT_EQ("", platform.started);
    EXPECT_EQ("(app)|1|Command line too long: 1024 characters, at most 1023", platform.messages.back());

    platform.env["Huge"] = std::string(40000, 'x');
    platform.command = "a %Huge%";  // cannot be expanded at all: not started unexpanded either
    EXPECT_FALSE(launcher.ExecuteCommand());
    EXPECT_EQ("", platform.started);
    EXPECT_EQ("(app)|1|Command line cannot be expanded: longer than 32767 characters", platform.messages.back());
}

TEST_F(LauncherTest, StartFailureKeepsExitCodeAndReportsInDiagnosticMode) {
    launcher.m_bDiagnostic = true;
    launcher.m_strExtractDest = "C:\\d\\";
    launcher.m_nExitCode = 0;
    platform.startAnswer = FALSE;
    platform.startError = 740;
    EXPECT_FALSE(launcher.ExecuteCommand());
    EXPECT_EQ(0u, launcher.m_nExitCode);
    EXPECT_EQ("(app)|1|This program requires elevation (run as) administrator privilege", platform.messages.back());

    platform.startError = 2;
    platform.command = "run.exe /a";
    EXPECT_FALSE(launcher.ExecuteCommand());
    EXPECT_EQ("(app)|1|CreateProcess() ERR#2\nCommandLine: run.exe /a\nWorkingDir: C:\\d\n", platform.messages.back());
}

TEST_F(LauncherTest, ElevatedTempDestinationIsAFreshPrivateFolderUnderTheSystemTemp) {
    const std::string first = "C:\\Windows\\SystemTemp\\B." + std::string(31, '0') + "a";
    const std::string second = "C:\\Windows\\SystemTemp\\B." + std::string(31, '0') + "b";
    const std::string sddl = std::string(" ") + kTrustedFolderSddl;
    platform.elevated = true;
    launcher.m_bDiagnostic = true;

    // The user's temporary folder is never asked for; the first name is created and entered.
    ASSERT_TRUE(launcher.SelectDestination(1));
    EXPECT_EQ(first, launcher.m_strExtractDest);
    EXPECT_EQ((std::vector<std::string>{"Create " + first + sddl, "Cd " + first}), platform.calls);
    EXPECT_EQ("(app)|0|Extract to TEMP dir: " + first, platform.messages.back());

    // Where the Windows directory has no SystemTemp, its Temp.
    platform.calls.clear();
    platform.paths["C:\\Windows\\SystemTemp"] = PathState::Missing;
    ASSERT_TRUE(launcher.SelectDestination(1));
    EXPECT_EQ("C:\\Windows\\Temp\\B." + std::string(31, '0') + "b", launcher.m_strExtractDest);
    platform.paths.erase("C:\\Windows\\SystemTemp");

    // A name that exists is never used, emptied or re-secured: the next random name is made.
    platform.calls.clear();
    platform.messages.clear();
    platform.suffixes = 0;
    platform.taken = {first};
    platform.flags = 0x101;
    launcher.Run();
    EXPECT_EQ(second, launcher.m_strExtractDest);
    EXPECT_EQ(second, platform.env["ExtractDest"]);
    EXPECT_EQ("Create " + first + sddl, platform.calls[4]);
    EXPECT_EQ("Create " + second + sddl, platform.calls[5]);
    // SfxCmdLine is what Extractor published (nothing here), whatever the environment says.
    EXPECT_EQ("Start run.exe  in " + second, platform.calls.back());
    EXPECT_EQ(7u, launcher.m_nExitCode);

    // Every name taken: nothing made, the run ends with the destination's code.
    platform.suffixes = 0;
    platform.taken.clear();
    for (char c = 'a'; c < 'a' + kPrivateFolderAttempts; ++c)
        platform.taken.insert("C:\\Windows\\SystemTemp\\B." + std::string(31, '0') + c);
    platform.started.clear();
    platform.openAnswers = {TRUE, TRUE};
    launcher.Run();
    EXPECT_EQ(kExitDestinationUnavailable, launcher.m_nExitCode);
    EXPECT_EQ("", platform.started);
}

TEST_F(LauncherTest, ElevatedPrivateFolderReachedThroughALinkOrOwnedByAUserIsRefused) {
    platform.elevated = true;
    platform.flags = 0x101;
    launcher.m_bDiagnostic = true;
    // The handle's folder lies elsewhere: a link along the path sent the creation there.
    platform.finalPathOverride = "C:\\Users\\me\\evil\\B.x";
    platform.openAnswers = {TRUE, TRUE};
    launcher.Run();
    EXPECT_EQ(kExitDestinationUnavailable, launcher.m_nExitCode);
    EXPECT_EQ("", platform.started);
    EXPECT_NE(platform.messages.end(), std::find(platform.messages.begin(), platform.messages.end(),
                                                 "(app)|0|Destination path not available!\nError code: 4395\nPath: "
                                                 "C:\\Windows\\SystemTemp\\B." + std::string(31, '0') + "a\\"));
    // The system's long form of the same folder is the same folder.
    platform.finalPathOverride = "\\\\?\\c:\\windows\\systemtemp\\B." + std::string(31, '0') + "b";
    platform.openAnswers = {TRUE, TRUE};
    launcher.Run();
    EXPECT_EQ(7u, launcher.m_nExitCode);

    // Owned by anyone but Administrators or SYSTEM: refused.
    platform.finalPathOverride.clear();
    platform.owner = "S-1-5-21-1-2-3-1001";
    platform.started.clear();
    platform.openAnswers = {TRUE, TRUE};
    launcher.Run();
    EXPECT_EQ(kExitDestinationUnavailable, launcher.m_nExitCode);
    EXPECT_EQ("", platform.started);
    platform.owner = "S-1-5-18";  // a deployment running us as SYSTEM
    platform.openAnswers = {TRUE, TRUE};
    launcher.Run();
    EXPECT_EQ(7u, launcher.m_nExitCode);
    // A system that records no owners at all (Wine) shows every folder as the user's.
    platform.owner = "S-1-5-21-0-0-0-1000";
    platform.ownersRecorded = false;
    platform.openAnswers = {TRUE, TRUE};
    launcher.Run();
    EXPECT_EQ(7u, launcher.m_nExitCode);
}

TEST_F(LauncherTest, ElevatedWithAFolderTheUserChoseTheCommandRunsOnlyFromAPrivateCopy) {
    const std::string priv = "C:\\Windows\\SystemTemp\\B." + std::string(31, '0') + "a";
    platform.elevated = true;
    platform.flags = 0x102;  // current directory, no dialog
    launcher.PublishCommandLine("/x");
    platform.calls.clear();
    launcher.Run();
    EXPECT_EQ((std::vector<std::string>{
                  "Open C:\\dl\\B.exe", "LoadToc", "Close", "Open C:\\dl\\B.exe", "MakeSure C:\\work\\",
                  "Cd C:\\work", "ExtractAll 6", "Create " + priv + " " + kTrustedFolderSddl, "Cd " + priv,
                  "ExtractAll 6", "Close", "FreeEntries", "Set SfxPathName=C:\\dl\\B.exe", "Set ExtractDest=" + priv,
                  "Cd " + priv, "Start run.exe /x in " + priv}),
              platform.calls);
    EXPECT_EQ(priv, platform.program.substr(0, priv.size()));
    EXPECT_EQ(7u, launcher.m_nExitCode);

    // The copy in the user's folder is short (a planted read-only file is in the way): nothing
    // is made or started.
    platform.extracted = 2;
    platform.started.clear();
    platform.openAnswers = {TRUE, TRUE};
    launcher.Run();
    EXPECT_EQ(kExitExtractionFailed, launcher.m_nExitCode);
    EXPECT_EQ("", platform.started);

    // From the dialog: the command's private copy is made for the start, and the dialog's own
    // destination is the user's folder again afterwards.
    platform.extracted = 3;
    platform.calls.clear();
    platform.openAnswers = {TRUE};
    launcher.m_strExtractDest = "D:\\picked";
    launcher.m_bPrivateDestination = false;
    ASSERT_TRUE(launcher.ExecuteCommand());
    const std::string next = "C:\\Windows\\SystemTemp\\B." + std::string(31, '0') + "b";
    EXPECT_EQ("Open C:\\dl\\B.exe", platform.calls[2]);
    EXPECT_EQ("ExtractAll 255", platform.calls[3]);
    EXPECT_EQ("Start run.exe /x in " + next, platform.calls[platform.calls.size() - 2]);
    EXPECT_EQ("Cd D:\\picked", platform.calls.back());
    EXPECT_EQ("D:\\picked", launcher.m_strExtractDest);
}

TEST_F(LauncherTest, LinkedDestinationIsRefusedWhenNotElevated) {
    launcher.m_bDiagnostic = true;
    platform.paths["C:\\work"] = PathState::ReparsePoint;
    EXPECT_FALSE(launcher.SelectDestination(2));
    EXPECT_EQ("(app)|0|Destination path not available!\nError code: 4395\nPath: C:\\work\\", platform.messages.back());
    platform.paths["C:\\work"] = PathState::Folder;
    EXPECT_TRUE(launcher.SelectDestination(2));
}

TEST_F(LauncherTest, PackageNameWithoutADotGetsTheFallbackFolderNameNeverTheTempFolderItself) {
    launcher.SetModulePath("C:\\dl\\ZeraUpdate");
    EXPECT_EQ("", launcher.m_strBaseName);  // the dialog's caption stays as it always was
    ASSERT_TRUE(launcher.SelectDestination(1));
    EXPECT_EQ("C:\\Users\\me\\Temp\\Package", launcher.m_strExtractDest);
    platform.elevated = true;
    ASSERT_TRUE(launcher.SelectDestination(1));
    EXPECT_EQ("C:\\Windows\\SystemTemp\\Package." + std::string(31, '0') + "a", launcher.m_strExtractDest);
}

TEST(ExpandKnownVariables, OnlyTheNamedVariablesAreReplaced) {
    const std::vector<KnownVariable> known{{"SfxCmdLine", "/NoReboot"}, {"ExtractDest", "C:\\T\\B.1"},
                                           {"windir", "C:\\Windows"}};
    struct Row {
        const char* text;
        const char* expanded;
    } rows[] = {
        {"Brevane.exe %SfxCmdLine%", "Brevane.exe /NoReboot"},
        {"%extractdest%\\Brevane.exe", "C:\\T\\B.1\\Brevane.exe"},  // names are not case-sensitive
        {"%X%\\evil.exe %SfxCmdLine%", "%X%\\evil.exe /NoReboot"},  // any other name stays literal
        {"%TEMP%%SfxCmdLine%%", "%TEMP%/NoReboot%"},                // an unknown one's closing sign opens the next
        {"50% off %windir%", "50% off C:\\Windows"},
        {"%%", "%%"},
        {"%SfxCmdLine", "%SfxCmdLine"},
        {"", ""},
    };
    for (const Row& row : rows) {
        std::string text = row.text;
        ASSERT_TRUE(ExpandKnownVariables(text, known)) << row.text;
        EXPECT_EQ(row.expanded, text) << row.text;
    }
    std::string huge = "%SfxCmdLine%";
    const std::vector<KnownVariable> big{{"SfxCmdLine", std::string(40000, 'x')}};
    EXPECT_FALSE(ExpandKnownVariables(huge, big));
    EXPECT_EQ("%SfxCmdLine%", huge);
}

TEST_F(LauncherTest, ElevatedCommandSeesOnlyExtractorsVariablesAndTheSystemsWindowsDirectory) {
    launcher.m_strExtractDest = "C:\\T\\B";
    launcher.m_bPrivateDestination = true;
    launcher.m_bDiagnostic = true;
    launcher.PublishCommandLine("/NoReboot");
    platform.env["X"] = "C:\\Users\\me";        // set by the user
    platform.env["windir"] = "C:\\Users\\me";   // likewise
    platform.elevated = true;
    platform.files = {"C:\\Users\\me\\evil.exe"};
    platform.command = "%X%\\evil.exe %SfxCmdLine%";
    EXPECT_FALSE(launcher.ExecuteCommand());
    EXPECT_EQ("", platform.started);
    // The reference stays literal, and the diagnostic box shows it so.
    EXPECT_EQ("(app)|1|CreateProcess() ERR#2\nCommandLine: %X%\\evil.exe /NoReboot\nWorkingDir: C:\\T\\B\n",
              platform.messages.back());

    platform.files.clear();
    platform.command = "%windir%\\system32\\cmd.exe /c \"%ExtractDest%\\x.cmd\" %SfxCmdLine%";
    ASSERT_TRUE(launcher.ExecuteCommand());
    EXPECT_EQ("C:\\Windows\\system32\\cmd.exe /c \"C:\\T\\B\\x.cmd\" /NoReboot", platform.started);
    EXPECT_EQ("C:\\Windows\\system32\\cmd.exe", platform.program);  // always handed over by name

    // Not elevated, the environment expands as it always has.
    platform.elevated = false;
    platform.command = "%X%\\evil.exe";
    ASSERT_TRUE(launcher.ExecuteCommand());
    EXPECT_EQ("C:\\Users\\me\\evil.exe", platform.started);
}

}  // namespace

namespace {

using namespace sfx;

class BoundLauncherTest : public LauncherTest {
protected:
    void SetUp() override {
        LauncherTest::SetUp();
        platform.binding.offset = 0x400;
        platform.binding.length = 0x1000;
    }
};

TEST_F(BoundLauncherTest, APackageThatIsNotTheImagesOwnIsNeitherReadNorRun) {
    platform.checkAnswer = FALSE;
    platform.flags = 0x001;  // the dialog would be shown
    launcher.m_bDiagnostic = true;
    launcher.Run();
    // Checked as soon as it is open: no table, no dialog, no folder, nothing extracted or started.
    EXPECT_EQ((std::vector<std::string>{"Open C:\\dl\\B.exe", "Check"}), platform.calls);
    EXPECT_EQ(kExitPackageUnreadable, launcher.m_nExitCode);
    EXPECT_EQ((std::vector<std::string>{"(app)|1|Package hash mismatched\nSfxPathName=C:\\dl\\B.exe"}),
              platform.messages);

    // Another package loaded in the dialog is not this image's: nothing to check it against.
    platform.calls.clear();
    launcher.m_strSfxPathName = "C:\\dl\\other.exe";
    platform.flags = 0x101;
    platform.openAnswers = {TRUE, TRUE};
    launcher.Run();
    EXPECT_EQ(platform.calls.end(), std::find(platform.calls.begin(), platform.calls.end(), "Check"));
    EXPECT_EQ(7u, launcher.m_nExitCode);
}

TEST_F(BoundLauncherTest, ElevatedTheFilesComeOnlyFromACheckedCopyInThePrivateFolder) {
    const std::string priv = "C:\\Windows\\SystemTemp\\B." + std::string(31, '0') + "a";
    const std::string second = "C:\\Windows\\SystemTemp\\B." + std::string(31, '0') + "b";
    platform.elevated = true;
    launcher.Run();
    EXPECT_EQ((std::vector<std::string>{"Open C:\\dl\\B.exe", "Check", "LoadToc", "Close", "Open C:\\dl\\B.exe",
                                        "Create " + priv + " " + kTrustedFolderSddl, "Cd " + priv,
                                        "Copy into " + priv, "ExtractAll 6", "Close", "FreeEntries",
                                        "Set SfxPathName=C:\\dl\\B.exe", "Set ExtractDest=" + priv, "Cd " + priv,
                                        "Start run.exe  in " + priv}),
              platform.calls);
    EXPECT_EQ(7u, launcher.m_nExitCode);

    // A folder the user chose gets the files of the package checked in place; the private
    // folder the command runs from gets them from its own checked copy.
    platform.calls.clear();
    platform.suffixes = 1;
    platform.flags = 0x102;
    platform.openAnswers = {TRUE, TRUE};
    launcher.Run();
    auto create = std::find(platform.calls.begin(), platform.calls.end(),
                            "Create " + second + " " + kTrustedFolderSddl);
    ASSERT_LE(4, platform.calls.end() - create);
    const std::vector<std::string> tail(create, create + 4);
    EXPECT_EQ((std::vector<std::string>{"Create " + second + " " + kTrustedFolderSddl, "Cd " + second,
                                        "Copy into " + second, "ExtractAll 6"}),
              tail);

    // The copy does not match (the file changed after the first check): nothing is extracted
    // into the private folder and nothing starts.
    for (uint32_t flags : {0x101u, 0x102u}) {
        platform.calls.clear();
        platform.started.clear();
        platform.copyAnswer = FALSE;
        platform.flags = flags;
        platform.openAnswers = {TRUE, TRUE};
        launcher.Run();
        EXPECT_EQ(kExitPackageUnreadable, launcher.m_nExitCode) << flags;
        EXPECT_EQ("", platform.started) << flags;
        auto copy = std::find_if(platform.calls.begin(), platform.calls.end(),
                                 [](const std::string& call) { return call.rfind("Copy into", 0) == 0; });
        ASSERT_NE(platform.calls.end(), copy) << flags;
        EXPECT_EQ("Close", *(copy + 1)) << flags;
    }
}

}  // namespace
