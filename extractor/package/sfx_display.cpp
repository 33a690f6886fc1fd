#include "extractor/package/sfx_display.h"

#include <cstdio>

std::string FormatThousands(uint64_t value) {
    std::string text;
    char group[16];
    while (value >= 1000) {
        std::snprintf(group, sizeof group, ",%03u", static_cast<unsigned>(value % 1000));
        text.insert(0, group);
        value /= 1000;
    }
    std::snprintf(group, sizeof group, "%u", static_cast<unsigned>(value));
    return group + text;
}

std::string FormatFileTime(const SfxFileTime& time) {
    uint64_t ticks = FileTimeToU64(time);
    if (ticks >= (1ULL << 63)) return std::string();
    uint64_t seconds = ticks / 10000000;
    int64_t days = static_cast<int64_t>(seconds / 86400);
    unsigned secondOfDay = static_cast<unsigned>(seconds % 86400);
    // Civil date from a day count (proleptic Gregorian), counted from 0000-03-01.
    int64_t z = days - 134774 + 719468;  // 1601-01-01 is 134774 days before 1970-01-01
    int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    int64_t dayOfEra = z - era * 146097;
    int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    int64_t mp = (5 * dayOfYear + 2) / 153;
    int day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
    int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    int year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
    char text[64];
    std::snprintf(text, sizeof text, "%d/%02d/%02d %02u:%02u:%02u", year, month, day, secondOfDay / 3600,
                  secondOfDay / 60 % 60, secondOfDay % 60);
    return text;
}

std::string FormatAttributes(uint32_t attributes) {
    static const char kLetters[] = "rhsvda";
    std::string text;
    for (int bit = 0; bit < 6; ++bit) text += (attributes & (1u << bit)) ? kLetters[bit] : '-';
    return text;
}

std::string GetPlatformName(uint32_t platform) {
    switch (platform) {
    case 0: return "";
    case 1: return "DOS";
    case 2: return "Win32";
    case 4: return "WinPE";
    case 7: return "DOS,Win32,WinPE";
    default: return "??";
    }
}
