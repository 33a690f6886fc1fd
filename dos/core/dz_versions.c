#include "dz_versions.h"

#include "dz_text.h"

static int is_digit(char c) { return c >= '0' && c <= '9'; }
static int is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
static int is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
static int in_range(int32_t value, int32_t low, int32_t high) { return value >= low && value <= high; }

static void say(char* message, const char* text, const char* tail) {
    dz_copy(message, DZ_VERSION_MESSAGE, text);
    if (tail) dz_append(message, DZ_VERSION_MESSAGE, tail);
}

int32_t dz_read_decimal32(const char* start, const char** end) {
    const char* p = start;
    while (is_space(*p)) p++;
    int negative = 0;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    if (!is_digit(*p)) {
        if (end) *end = start;
        return 0;
    }
    const uint32_t limit = negative ? 2147483648uL : 2147483647uL;
    uint32_t value = 0;
    int saturated = 0;
    for (; is_digit(*p); p++) {
        uint32_t digit = (uint32_t)(*p - '0');
        if (!saturated && value > (limit - digit) / 10u) saturated = 1;
        if (!saturated) value = value * 10u + digit;
    }
    if (saturated) value = limit;
    if (end) *end = p;
    return negative ? (int32_t)(0u - value) : (int32_t)value;
}

int dz_bios_version_format(const char* version) {
    if (dz_strlen(version) < 3) return -1;
    if (is_digit(version[0])) return 2;
    if (is_letter(version[0])) return 1;
    return -1;
}

/* Letter form: the 2nd and 3rd characters read as digits whatever they are (signed chars). */
static int two_digit_series(const char* version) {
    return 10 * ((signed char)version[1] - 48) + ((signed char)version[2] - 48);
}

int dz_compare_bios_version(const char* current, const char* newVersion, char* message) {
    if (dz_strlen(current) < 3) {
        say(message, "Invalid BIOS version length(3) in current BIOS: ", current);
        return -1;
    }
    if (dz_strlen(newVersion) < 3) {
        say(message, "Invalid BIOS version length(3) in command line: ", newVersion);
        return -1;
    }
    int currentFormat = dz_bios_version_format(current);
    if (currentFormat != dz_bios_version_format(newVersion)) {
        say(message, "BIOS version format are not matched", 0);
        return -1;
    }
    if (currentFormat == -1) {
        say(message, "Invalidate BIOS version format", 0);
        return -1;
    }
    if (currentFormat == 1) {
        if (dz_upper(current[0]) != 'A' || dz_upper(newVersion[0]) != 'A') return 0; /* only A-series pairs */
        int currentSeries = two_digit_series(current), newSeries = two_digit_series(newVersion);
        if (currentSeries < newSeries) return 0;
        return currentSeries == newSeries ? 1 : 2;
    }
    static const char* const kParts[3] = {"a", "b", "c"};
    const char* cur = current;
    const char* nxt = newVersion;
    for (int part = 0; part < 3; part++) {
        if (part > 0) {
            if (*cur != '.' || *nxt != '.') {
                say(message, "Invalid BIOS version format: must be a.b.c (separated by .)", 0);
                return -1;
            }
            cur++;
            nxt++;
        }
        int32_t curValue = dz_read_decimal32(cur, &cur);
        int32_t newValue = dz_read_decimal32(nxt, &nxt);
        if (!in_range(curValue, 0, 99)) {
            say(message, "Invalid BIOS version format: a.b.c (", kParts[part]);
            dz_append(message, DZ_VERSION_MESSAGE, " must be 0~99)");
            return -1;
        }
        if (!in_range(newValue, 0, 99)) {
            say(message, "Invalid BIOS version format in command line: a.b.c (", kParts[part]);
            dz_append(message, DZ_VERSION_MESSAGE, " must be 0~99)");
            return -1;
        }
        if (part == 0 && (curValue >= 90 || newValue >= 90)) return 0; /* test versions */
        if (newValue > curValue) return 0;
        if (newValue < curValue) return 2;
    }
    return 1;
}

int dz_is_below_compatible_version(const char* current, const char* thresholdA, const char* thresholdX, char* message) {
    if (dz_strlen(current) < 3) {
        say(message, "Invalid BIOS version length(2) in current BIOS: ", current);
        return -1;
    }
    if (dz_strlen(thresholdA) < 3) {
        say(message, "Invalid BIOS version length(2) in command line: ", thresholdA);
        return -1;
    }
    if (dz_strlen(thresholdX) < 3) {
        say(message, "Invalid BIOS version length(2) in command line: ", thresholdX);
        return -1;
    }
    int format = dz_bios_version_format(current);
    if (format == -1) {
        say(message, "Invalidate BIOS version format", 0);
        return -1;
    }
    if (format == 2) return -1;
    char series = dz_upper(current[0]);
    int32_t threshold = 0;
    if (series == dz_upper(thresholdX[0]))
        threshold = dz_read_decimal32(thresholdX + 1, 0);
    else if (series == dz_upper(thresholdA[0]))
        threshold = dz_read_decimal32(thresholdA + 1, 0);
    return dz_read_decimal32(current + 1, 0) < threshold ? 1 : 0;
}

int dz_compare_me_version(const char* current, const char* newVersion, char* message) {
    say(message, "No Error", 0);
    const char* cur = current;
    const char* nxt = newVersion;
    int32_t curFirst = dz_read_decimal32(cur, &cur);
    int32_t newFirst = dz_read_decimal32(nxt, &nxt);
    if (!in_range(curFirst, 0, 9999)) {
        say(message, "Invalid ME version format: a.b.c (a must be 0~9999)", 0);
        return -1;
    }
    if (!in_range(newFirst, 0, 9999)) {
        say(message, "Invalid ME version format in command line: a.b.c (a must be 0~9999)", 0);
        return -1;
    }
    if (newFirst > curFirst) return 0;
    if (newFirst < curFirst) return 2;
    if (*cur != '.' || *nxt != '.') {
        say(message, "Invalid ME version format: must be a.b.c (separated by .)", 0);
        return -1;
    }
    for (;;) {
        if (cur[0] == '\0' || cur[1] == '\0') return 1;
        cur++;
        int32_t curValue = dz_read_decimal32(cur, &cur);
        int32_t newValue = 0;
        if (*nxt != '\0') {
            nxt++;
            newValue = dz_read_decimal32(nxt, &nxt);
        }
        if (!in_range(curValue, 0, 9999)) {
            say(message, "Invalid ME version format: a.b.c (b must be 0~9999)\n", 0);
            return -1;
        }
        if (!in_range(newValue, 0, 9999)) {
            say(message, "Invalid ME version format in command line: a.b.c (b must be 0~9999)\n", 0);
            return -1;
        }
        if (newValue > curValue) return 0;
        if (newValue < curValue) return 2;
    }
}
