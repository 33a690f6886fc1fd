#pragma once
// The hardware-match gate: the machine must be a Zera system whose system ID is one of the IDs
// the package lists for this image (/ZeraID).

#include <cstdint>
#include <string>
#include <vector>

#include "common/portable_types.h"
#include "dos/core/dz_exit_codes.h"

struct CSystemInfo;

// Result codes of the check (they become the run's exit code).
constexpr int kValidateOk = DZ_EXIT_SUCCESS;
constexpr int kValidateNoZeraIdOption = DZ_EXIT_OPTION_MISSING;
constexpr int kValidateWrongSystem = DZ_EXIT_WRONG_SYSTEM;

// Asks the developer a Yes/No question; TRUE means Yes.
using BypassQuestion = BOOL (*)(const char* question);

// The check itself: `message` is set on every path. Only a mismatch against the list writes to
// the log (tag "Check Zera ID").
int CheckSystemIdentity(const CSystemInfo& info, const std::vector<uint32_t>& zeraIds, std::string& message);

// With `developer` set, first asks "Bypass ValidateSystem?"; Yes answers 0 and leaves `message`
// untouched. Otherwise the check above.
int ValidateSystemWith(const CSystemInfo& info, const std::vector<uint32_t>& zeraIds, bool developer,
                       BypassQuestion ask, std::string& message);

// The program's gate on theSystemInfo against `zeraIds` (/ZeraID); with `developer` (/Ovrel) the
// question is a message box. (Windows only.)
[[nodiscard]] int ValidateSystem(const std::vector<uint32_t>& zeraIds, bool developer, std::string& error);
