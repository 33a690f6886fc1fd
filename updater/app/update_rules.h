#pragma once
// The rules of the update that need no operating system: tool names, the command lines handed
// to the tools, the flash options, the ME version clean-up, the dialog's start decision, the
// title spinner, the erase-progress line and the reboot decision.

#include <string>

// Which child tool a run of the redirector serves.
enum UpdateType : int {
    kUpdateBiosFlash = 0,
    kUpdateMeVersionQuery = 1,
    kUpdateMeFlash = 2,
    kUpdateWinPeDriverLoad = 3,
};

const char* BiosFlashToolName(bool is64BitWindows);  // "AFUWINx64.exe" / "AFUWIN.exe"
const char* MeToolName(bool is64BitWindows);         // "FWUpdLcl64.exe" / "FWUpdLcl.exe"

// The file of the Windows PE driver loader, in the system directory.
constexpr char kDriverLoaderFile[] = "drvload.exe";

// The program file a tool is started from: `folder` (the program's own folder for the flash
// and ME tools, the system directory for the driver loader) and the tool's file name. Tools are
// never searched for: a search would try the current directory and the search path, which
// the user who started us may have filled. Empty when `folder` is.
std::string ToolProgramPath(const std::string& folder, const std::string& tool);

// "/P /B" when IsBelowCompatibleVersion answered 0, otherwise "/P /B /N".
const char* BiosFlashOptions(int compatibleAnswer);

// "%s \"%s\" %s": tool, BIOS image path in quotes, options.
std::string BuildBiosFlashCommand(const std::string& tool, const std::string& imagePath, const std::string& options);
// "drvload HECI.inf".
std::string BuildDriverLoadCommand();
// "%s -FWVER" with the ME tool.
std::string BuildMeVersionQueryCommand(const std::string& tool);
// "%s -f \"%s\" %s": tool, ME image path in quotes, options (which carry their own blanks).
std::string BuildMeFlashCommand(const std::string& tool, const std::string& imagePath, const std::string& options);

// A path that would break the quoting of a tool's command line (it holds a double quote, which
// no Windows file name can) and would hand the flash tool options nobody chose.
bool BreaksCommandQuoting(const std::string& path);

// The running ME version with every blank, carriage return and line feed removed.
std::string CleanMeVersion(const std::string& version);

// ME flash options from CompareMeVersion's answer: " -generic" when the running version is
// older, " -generic -allowsv " when equal and /MEUPD allows it; nullptr: no ME flash.
const char* MeFlashOptions(int compareAnswer, bool meUpdAllowed);

// What the dialog does when it opens.
enum class StartDecision {
    kStartUpdate,     // post "Update" to itself (silent mode, version accepted or forced)
    kRefuseSilently,  // result 2, no reboot, post "Quit" to itself
    kShowBanner,      // interactive, version refused: banner shown, "Update" disabled
    kWaitForUser,     // interactive, version accepted or forced
};
// `compareAnswer` is CompareBiosVersion's answer; it is not consulted with /ForceIt.
StartDecision DecideStart(bool silent, bool forceIt, int compareAnswer);
// Whether the start decision compares versions at all.
inline bool StartComparesVersions(bool forceIt) { return !forceIt; }

// The dialog title for spinner index `index` (0 to 3): "Update BIOS" and seven blanks, then one of
// | / - \ .
std::string SpinnerTitle(int index);
// The index after `index`, wrapping after the fourth frame.
int NextSpinnerIndex(int index);

// "Erasing ..... (%d %%)" for the erase-progress counter.
std::string EraseProgressLine(int counter);

// Whether start-up restarts the machine after the dialog: a successful run (code 0) or a failed
// flash (codes 1 and 31) that asked for it. No other code ever restarts.
bool ShouldReboot(int resultCode, bool rebootRequested);

// The status font's weight: the old weight with 700 ORed in (400 becomes 956).
inline long StatusFontWeight(long oldWeight) { return oldWeight | 700; }
