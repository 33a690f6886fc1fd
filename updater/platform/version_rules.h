#pragma once
// The BIOS and ME version formats and their comparisons, over the rules the DOS program applies
// too (dos/core/dz_versions). Pure functions of their arguments:
// they read no global state, log nothing and show nothing; a reason goes into `message`.

#include <string>

// -1 invalid, 1 letter form (A05), 2 dotted form (1.2.3).
int GetBiosVersionFormat(const std::string& version);

// -1 invalid (message set), 0 new is newer or the pair is not compared, 1 same, 2 new is older.
int CompareBiosVersion(const std::string& current, const std::string& newVersion, std::string& message);

// -1 invalid input, 0 current is not below its series' threshold, 1 current is below it.
int IsBelowCompatibleVersion(const std::string& current, const std::string& thresholdA,
                             const std::string& thresholdX, std::string& message);

// -1 invalid (message set), 0 new is newer, 1 same, 2 new is older. `message` is "No Error"
// unless something was invalid.
int CompareMeVersion(const std::string& current, const std::string& newVersion, std::string& message);

// strtol in base 10 with a 32-bit long, as the Windows C runtime reads: leading white space, an
// optional sign, digits; saturates at the 32-bit limits. `end` is where reading stopped, which
// is `start` itself when there are no digits.
long ReadDecimal32(const char* start, const char** end);
