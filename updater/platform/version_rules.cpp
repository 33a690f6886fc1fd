#include "updater/platform/version_rules.h"

#include <cstdint>

#include "common/format.h"

namespace {

bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsCSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
char ToUpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// The two-digit reading of a letter-form series number: the 2nd and 3rd characters taken as
// digits whatever they are (the caller has checked the length). Characters are signed, as the
// compilers we build with treat a plain char.
int TwoDigitSeries(const std::string& version) {
    int tens = static_cast<signed char>(version[1]) - 48;
    int ones = static_cast<signed char>(version[2]) - 48;
    return 10 * tens + ones;
}

// The decimal reading of a letter-form series number: strtol from the 2nd character.
long DecimalSeries(const std::string& version) { return ReadDecimal32(version.c_str() + 1, nullptr); }

bool InRange(long value, long low, long high) { return value >= low && value <= high; }

}  // namespace

long ReadDecimal32(const char* start, const char** end) {
    const char* p = start;
    while (IsCSpace(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = (*p == '-');
        ++p;
    }
    if (!IsAsciiDigit(*p)) {
        if (end) *end = start;
        return 0;
    }
    const int64_t limit = negative ? 2147483648LL : 2147483647LL;
    int64_t value = 0;
    while (IsAsciiDigit(*p)) {
        if (value <= limit) value = value * 10 + (*p - '0');
        ++p;
    }
    if (value > limit) value = limit;
    if (end) *end = p;
    return static_cast<long>(negative ? -value : value);
}

int GetBiosVersionFormat(const std::string& version) {
    if (version.size() < 3) return -1;
    if (IsAsciiDigit(version[0])) return 2;
    if (IsAsciiLetter(version[0])) return 1;
    return -1;
}

int CompareBiosVersion(const std::string& current, const std::string& newVersion, std::string& message) {
    if (current.size() < 3) {
        message = common::Format("Invalid BIOS version length(3) in current BIOS: %s", current.c_str());
        return -1;
    }
    if (newVersion.size() < 3) {
        message = common::Format("Invalid BIOS version length(3) in command line: %s", newVersion.c_str());
        return -1;
    }
    const int currentFormat = GetBiosVersionFormat(current);
    const int newFormat = GetBiosVersionFormat(newVersion);
    if (currentFormat != newFormat) {
        message = "BIOS version format are not matched";
        return -1;
    }
    if (currentFormat == -1) {
        message = "Invalidate BIOS version format";
        return -1;
    }

    if (currentFormat == 1) {
        // Only A-series pairs are compared.
        if (ToUpperAscii(current[0]) != 'A' || ToUpperAscii(newVersion[0]) != 'A') return 0;
        const int currentSeries = TwoDigitSeries(current);
        const int newSeries = TwoDigitSeries(newVersion);
        if (currentSeries < newSeries) return 0;
        return currentSeries == newSeries ? 1 : 2;
    }

    // Dotted form a.b.c: each part 0 to 99; compared part by part, stopping at the first
    // difference, so a malformed tail only matters when the earlier parts are equal.
    static const char* const kPartNames[3] = {"a", "b", "c"};
    const char* cur = current.c_str();
    const char* nxt = newVersion.c_str();
    for (int part = 0; part < 3; ++part) {
        if (part > 0) {
            if (*cur != '.' || *nxt != '.') {
                message = "Invalid BIOS version format: must be a.b.c (separated by .)";
                return -1;
            }
            ++cur;
            ++nxt;
        }
        const long curValue = ReadDecimal32(cur, &cur);
        const long newValue = ReadDecimal32(nxt, &nxt);
        if (!InRange(curValue, 0, 99)) {
            message = common::Format("Invalid BIOS version format: a.b.c (%s must be 0~99)", kPartNames[part]);
            return -1;
        }
        if (!InRange(newValue, 0, 99)) {
            message = common::Format("Invalid BIOS version format in command line: a.b.c (%s must be 0~99)",
                                     kPartNames[part]);
            return -1;
        }
        // A first part of 90 to 99 marks a test version, which is never compared.
        if (part == 0 && (curValue >= 90 || newValue >= 90)) return 0;
        if (newValue > curValue) return 0;
        if (newValue < curValue) return 2;
    }
    return 1;
}

int IsBelowCompatibleVersion(const std::string& current, const std::string& thresholdA,
                             const std::string& thresholdX, std::string& message) {
    if (current.size() < 3) {
        message = common::Format("Invalid BIOS version length(2) in current BIOS: %s", current.c_str());
        return -1;
    }
    if (thresholdA.size() < 3) {
        message = common::Format("Invalid BIOS version length(2) in command line: %s", thresholdA.c_str());
        return -1;
    }
    if (thresholdX.size() < 3) {
        message = common::Format("Invalid BIOS version length(2) in command line: %s", thresholdX.c_str());
        return -1;
    }
    const int format = GetBiosVersionFormat(current);
    if (format == -1) {
        message = "Invalidate BIOS version format";
        return -1;
    }
    if (format == 2) return -1;

    const char series = ToUpperAscii(current[0]);
    long threshold = 0;
    if (series == ToUpperAscii(thresholdX[0]))
        threshold = DecimalSeries(thresholdX);
    else if (series == ToUpperAscii(thresholdA[0]))
        threshold = DecimalSeries(thresholdA);
    return DecimalSeries(current) < threshold ? 1 : 0;
}

int CompareMeVersion(const std::string& current, const std::string& newVersion, std::string& message) {
    message = "No Error";
    const char* cur = current.c_str();
    const char* nxt = newVersion.c_str();

    const long curFirst = ReadDecimal32(cur, &cur);
    const long newFirst = ReadDecimal32(nxt, &nxt);
    if (!InRange(curFirst, 0, 9999)) {
        message = "Invalid ME version format: a.b.c (a must be 0~9999)";
        return -1;
    }
    if (!InRange(newFirst, 0, 9999)) {
        message = "Invalid ME version format in command line: a.b.c (a must be 0~9999)";
        return -1;
    }
    if (newFirst > curFirst) return 0;
    if (newFirst < curFirst) return 2;
    if (*cur != '.' || *nxt != '.') {
        message = "Invalid ME version format: must be a.b.c (separated by .)";
        return -1;
    }

    // The current version sets the number of parts. A part the new version lacks reads as 0
    // (so 11.0.5 is older than 11.0.5.1234 and the same as 11.0.5.0); its end is never passed.
    for (;;) {
        if (cur[0] == '\0' || cur[1] == '\0') return 1;
        ++cur;
        const long curValue = ReadDecimal32(cur, &cur);
        long newValue = 0;
        if (*nxt != '\0') {
            ++nxt;
            newValue = ReadDecimal32(nxt, &nxt);
        }
        if (!InRange(curValue, 0, 9999)) {
            message = "Invalid ME version format: a.b.c (b must be 0~9999)\n";
            return -1;
        }
        if (!InRange(newValue, 0, 9999)) {
            message = "Invalid ME version format in command line: a.b.c (b must be 0~9999)\n";
            return -1;
        }
        if (newValue > curValue) return 0;
        if (newValue < curValue) return 2;
    }
}
