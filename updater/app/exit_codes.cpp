#include "updater/app/exit_codes.h"

#include "common/format.h"

namespace {

struct ExitCode {
    int code;
    const char* meaning;
};

const ExitCode kExitCodes[] = {
    {0, "Update finished without error (or nothing left to do after a successful run)"},
    {1, "BIOS flash tool reported an error or failed to start; or reading the ME version after the BIOS "
        "flash failed"},
    {2, "Silent mode, and the new BIOS version was refused by the version comparison"},
    {4, "Reading the system information failed"},
    {8, "The user is not an administrator"},
    {9, "Binding the process to one processor failed"},
    {11, "A required option is missing (/BiosRomFile, /BiosVer, /MeRomFile, /MeVer), or /ZeraID is missing or "
         "zero"},
    {12, "The BIOS image named by /BiosRomFile does not exist"},
    {13, "The dialog closed without an update (Quit, Escape, or the dialog failed to run)"},
    {14, "Initial value; also the system check's refusals (not a Zera system, no system ID, different system)"},
    {15, "Refused on power: running on battery, or the battery charge is below 25%"},
    {16, "BitLocker protection is on and could not be suspended; the BIOS was not flashed"},
    {31, "ME flash tool reported an error or failed to start"},
    {32, "ME driver load failed, ME version query failed to start, ME not available, or empty ME version"},
    {33, "The Windows PE driver loader failed to start"},
};

const char kOptions[] =
    "Options:\n"
    "/BiosRomFile <file>\tBIOS image (required)\n"
    "/BiosVer <version>\tnew BIOS version (required unless /ForceIt)\n"
    "/MeRomFile <file>\tME image (required unless /AMD)\n"
    "/MeVer <version>\tnew ME version (required unless /AMD)\n"
    "/ZeraID <id> ...\tsystem IDs this image fits (hexadecimal)\n"
    "/CA <version> /CX <version>\treference versions for the flash options\n"
    "/ForceIt\tflash without comparing versions\n"
    "/MEUPD\tflash the ME also when its version is equal\n"
    "/AMD\tno ME steps\n"
    "/NoPause\tsilent: no message boxes, start at once\n"
    "/NoReboot\tnever restart\n"
    "/LogFile <path>\tlog file instead of Brevane.log\n"
    "/ProdName <text>, /HideAfuWin, /MeUpdV1, /Ovrel\tstored / display / developer options\n"
    "/IgnorePower\tskip the AC power and battery check\n"
    "/IgnoreBitLocker\tflash even when BitLocker cannot be suspended\n"
    "/Check\tonly check whether the update would run (no dialog, no tool, no restart)\n"
    "/Report <path>\twrite a JSON result report to <path>\n"
    "/?\tthis help\n";

}  // namespace

const char* ExitCodeMeaning(int code) {
    for (const ExitCode& entry : kExitCodes)
        if (entry.code == code) return entry.meaning;
    return "Unknown exit code";
}

std::string HelpText() {
    std::string text = kOptions;
    text += "\nExit codes:\n";
    for (const ExitCode& entry : kExitCodes) text += common::Format("%d\t%s\n", entry.code, entry.meaning);
    return text;
}
