#include "dz_exit_codes.h"

static const struct dz_exit_code kExitCodes[] = {
    {DZ_EXIT_SUCCESS, "Update finished without error (or nothing left to do after a successful run)"},
    {DZ_EXIT_BIOS_FAILED, "BIOS flash tool reported an error or failed to start; or reading the ME version after "
                          "the BIOS flash failed"},
    {DZ_EXIT_VERSION_REFUSED, "Silent mode, and the new BIOS version was refused by the version comparison"},
    {DZ_EXIT_NO_SYSTEM_INFO, "Reading the system information failed"},
    {DZ_EXIT_NOT_ADMIN, "The user is not an administrator"},
    {DZ_EXIT_AFFINITY_FAILED, "Binding the process to one processor failed"},
    {DZ_EXIT_OPTION_MISSING, "A required option is missing (/BiosRomFile, /BiosVer, /MeRomFile, /MeVer), or /ZeraID "
                             "is missing or zero"},
    {DZ_EXIT_IMAGE_MISSING, "The BIOS image named by /BiosRomFile does not exist"},
    {DZ_EXIT_NOT_UPDATED, "The dialog closed without an update (Quit, Escape, or the dialog failed to run)"},
    {DZ_EXIT_WRONG_SYSTEM,
     "Initial value; also the system check's refusals (not a Zera system, no system ID, different system)"},
    {DZ_EXIT_POWER_REFUSED, "Refused on power: running on battery, or the battery charge is below 25%"},
    {DZ_EXIT_BITLOCKER_REFUSED, "BitLocker protection is on and could not be suspended; the BIOS was not flashed"},
    {DZ_EXIT_ME_FAILED, "ME flash tool reported an error or failed to start"},
    {DZ_EXIT_ME_UNAVAILABLE,
     "ME driver load failed, ME version query failed to start, ME not available, or empty ME version"},
    {DZ_EXIT_ME_DRIVER_FAILED, "The Windows PE driver loader failed to start"},
};

const struct dz_exit_code* dz_exit_codes(unsigned* count) {
    *count = sizeof kExitCodes / sizeof kExitCodes[0];
    return kExitCodes;
}

const char* dz_exit_code_meaning(int code) {
    for (unsigned i = 0; i < sizeof kExitCodes / sizeof kExitCodes[0]; i++)
        if (kExitCodes[i].code == code) return kExitCodes[i].meaning;
    return "Unknown exit code";
}
