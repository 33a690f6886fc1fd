#include "updater/app/exit_codes.h"

#include "common/format.h"
#include "dos/core/dz_exit_codes.h"

namespace {

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

const char* ExitCodeMeaning(int code) { return dz_exit_code_meaning(code); }

std::string HelpText() {
    std::string text = kOptions;
    text += "\nExit codes:\n";
    unsigned count = 0;
    const dz_exit_code* codes = dz_exit_codes(&count);
    for (unsigned i = 0; i < count; ++i) text += common::Format("%d\t%s\n", codes[i].code, codes[i].meaning);
    return text;
}
