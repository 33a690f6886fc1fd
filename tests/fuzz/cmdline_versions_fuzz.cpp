// Feeds arbitrary bytes to the command-line model and the version routines: the tail is split,
// parsed and read into option settings; the values then drive every version comparison. The
// DOS program's reading of the same tail, with its own splitter and fixed fields, must keep
// every field terminated and its ID count in bounds.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "dos/core/dz_options.h"

#include "tests/support/argv_rules.h"
#include "updater/app/cmd_line.h"
#include "updater/app/option_settings.h"
#include "updater/platform/version_rules.h"

namespace {

BOOL Split(const std::string& tail, std::vector<std::string>& args) {
    args = SplitArgumentsLikeWindows(tail);
    return TRUE;
}

void CheckResult(int result, int low, int high) {
    if (result < low || result > high) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Embedded zero bytes end a C string tail exactly as they would on the platform.
    std::string tail(reinterpret_cast<const char*>(data), size);
    CCmdLine cmdLine;
    int found = cmdLine.Parse(tail.c_str(), &Split);
    if (found != 0 && found != 1) __builtin_trap();
    COptionSettings settings;
    ReadOptionSettings(cmdLine, settings);
    for (int node = 0; node < cmdLine.GetCount(); ++node)
        (void)cmdLine.GetValueAsNumber(node, 0, 16);

    static dz_options dos;
    dz_parse_options(tail.c_str(), &dos);
    const char* fields[] = {dos.biosRomFile, dos.biosVer, dos.meRomFile, dos.meVer, dos.logFile, dos.ca, dos.cx};
    for (const char* field : fields)
        if (!std::memchr(field, '\0', DZ_OPTION_TEXT)) __builtin_trap();
    if (dos.zeraCount < 0 || dos.zeraCount > DZ_MAX_ZERA_IDS) __builtin_trap();

    std::string message;
    const std::string* versions[] = {&settings.BiosVer, &settings.CA, &settings.CX, &settings.MeVer, &settings.ProdName};
    for (const std::string* a : versions) {
        CheckResult(GetBiosVersionFormat(*a), -1, 2);
        for (const std::string* b : versions) {
            CheckResult(CompareBiosVersion(*a, *b, message), -1, 2);
            CheckResult(CompareMeVersion(*a, *b, message), -1, 2);
            CheckResult(IsBelowCompatibleVersion(*a, *b, settings.CX, message), -1, 1);
        }
    }
    // The raw input as one version string against itself and a typical value.
    CheckResult(CompareBiosVersion(tail.c_str(), "A05", message), -1, 2);
    CheckResult(CompareMeVersion(tail.c_str(), "11.0.5.1234", message), -1, 2);
    CheckResult(CompareMeVersion("11.0.5.1234", tail.c_str(), message), -1, 2);
    return 0;
}
