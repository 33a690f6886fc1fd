#include "updater/app/update_rules.h"

#include "common/format.h"
#include "dos/core/dz_exit_codes.h"

const char* BiosFlashToolName(bool is64BitWindows) { return is64BitWindows ? "AFUWINx64.exe" : "AFUWIN.exe"; }

const char* MeToolName(bool is64BitWindows) { return is64BitWindows ? "FWUpdLcl64.exe" : "FWUpdLcl.exe"; }

std::string ToolProgramPath(const std::string& folder, const std::string& tool) {
    if (folder.empty()) return std::string();  // never a path rooted in the current drive
    std::string path = folder;
    while (!path.empty() && (path.back() == '\\' || path.back() == '/')) path.pop_back();
    return path + "\\" + tool;
}

const char* BiosFlashOptions(int compatibleAnswer) { return compatibleAnswer == 0 ? "/P /B" : "/P /B /N"; }

std::string BuildBiosFlashCommand(const std::string& tool, const std::string& imagePath, const std::string& options) {
    return common::Format("%s \"%s\" %s", tool.c_str(), imagePath.c_str(), options.c_str());
}

std::string BuildDriverLoadCommand() { return common::Format("%s %s", "drvload", "HECI.inf"); }

std::string BuildMeVersionQueryCommand(const std::string& tool) {
    return common::Format("%s %s", tool.c_str(), "-FWVER");
}

std::string BuildMeFlashCommand(const std::string& tool, const std::string& imagePath, const std::string& options) {
    return common::Format("%s -f \"%s\" %s", tool.c_str(), imagePath.c_str(), options.c_str());
}

bool BreaksCommandQuoting(const std::string& path) { return path.find('"') != std::string::npos; }

std::string CleanMeVersion(const std::string& version) {
    std::string clean;
    clean.reserve(version.size());
    for (char c : version)
        if (c != ' ' && c != '\r' && c != '\n') clean += c;
    return clean;
}

const char* MeFlashOptions(int compareAnswer, bool meUpdAllowed) {
    if (compareAnswer == 0) return " -generic";
    // The trailing blank is part of the text the tool has always been given.
    if (compareAnswer == 1 && meUpdAllowed) return " -generic -allowsv ";
    return nullptr;
}

StartDecision DecideStart(bool silent, bool forceIt, int compareAnswer) {
    if (forceIt) return silent ? StartDecision::kStartUpdate : StartDecision::kWaitForUser;
    if (compareAnswer == 0) return silent ? StartDecision::kStartUpdate : StartDecision::kWaitForUser;
    return silent ? StartDecision::kRefuseSilently : StartDecision::kShowBanner;
}

std::string SpinnerTitle(int index) {
    static const char kFrames[4] = {'|', '/', '-', '\\'};
    return std::string("Update BIOS       ") + kFrames[static_cast<unsigned>(index) % 4u];
}

int NextSpinnerIndex(int index) { return index >= 3 ? 0 : index + 1; }

std::string EraseProgressLine(int counter) { return common::Format("Erasing ..... (%d %%)", counter); }

bool ShouldReboot(int resultCode, bool rebootRequested) {
    if (!rebootRequested) return false;
    return resultCode == DZ_EXIT_SUCCESS || resultCode == DZ_EXIT_BIOS_FAILED || resultCode == DZ_EXIT_ME_FAILED;
}
