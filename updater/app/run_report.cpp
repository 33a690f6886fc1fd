#include "updater/app/run_report.h"

#include <cstdlib>

#include <nlohmann/json.hpp>

#include "common/format.h"
#include "updater/app/exit_codes.h"

RunReport theRunReport;

namespace {

// Keys in the order written here, so a person reading the file finds them as documented.
using Json = nlohmann::ordered_json;

}  // namespace

std::string FormatIso8601Local(std::time_t when) {
    std::tm local{};
    std::tm utc{};
#if defined(_WIN32)
    if (localtime_s(&local, &when) != 0 || gmtime_s(&utc, &when) != 0) return "";
#else
    if (!localtime_r(&when, &local) || !gmtime_r(&when, &utc)) return "";
#endif
    // The offset: the UTC fields read back as local time differ from `when` by exactly it.
    utc.tm_isdst = local.tm_isdst;
    const std::time_t utcAsLocal = std::mktime(&utc);
    long offsetMinutes = utcAsLocal == static_cast<std::time_t>(-1)
                             ? 0
                             : static_cast<long>(std::difftime(when, utcAsLocal)) / 60;
    const char sign = offsetMinutes < 0 ? '-' : '+';
    offsetMinutes = std::labs(offsetMinutes);
    return common::Format("%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld", local.tm_year + 1900, local.tm_mon + 1,
                          local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, sign, offsetMinutes / 60,
                          offsetMinutes % 60);
}

std::string Windows1252ToUtf8(const std::string& text) {
    // 0x80 to 0x9F; zero marks the unassigned bytes, which keep their own value.
    static const uint16_t kHigh[32] = {
        0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
    std::string utf8;
    utf8.reserve(text.size());
    for (unsigned char byte : text) {
        uint32_t code = byte;
        if (byte >= 0x80 && byte <= 0x9F && kHigh[byte - 0x80]) code = kHigh[byte - 0x80];
        if (code < 0x80) {
            utf8 += static_cast<char>(code);
        } else if (code < 0x800) {
            utf8 += static_cast<char>(0xC0 | (code >> 6));
            utf8 += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            utf8 += static_cast<char>(0xE0 | (code >> 12));
            utf8 += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return utf8;
}

std::string RunReportJson(const RunReport& r, const char* program, const char* version, ToUtf8Fn toUtf8) {
    try {
        auto text = [&](const std::string& s) { return Json(toUtf8 ? toUtf8(s) : s); };
        auto firmwareText = [](const std::string& s) { return Json(Windows1252ToUtf8(s)); };
        auto optionalText = [&](const std::optional<std::string>& s) { return s ? text(*s) : Json(nullptr); };
        auto time = [](std::time_t t) { return t ? Json(FormatIso8601Local(t)) : Json(nullptr); };

        Json doc;
        doc["program"] = program;
        doc["version"] = version;
        doc["exitCode"] = r.exitCode;
        doc["exitMeaning"] = ExitCodeMeaning(r.exitCode);
        doc["checkOnly"] = r.checkOnly;
        doc["rebootRequested"] = r.rebootRequested;
        doc["started"] = time(r.started);
        doc["ended"] = time(r.ended);
        doc["logFile"] = r.logFile.empty() ? Json(nullptr) : text(r.logFile);

        Json machine;
        if (r.identityRead) {
            machine["manufacturer"] = firmwareText(r.manufacturer);
            machine["product"] = firmwareText(r.product);
            machine["zeraId"] = common::Format("%04X", r.zeraId & 0xFFFFu);
            machine["biosVersion"] = firmwareText(r.biosVersion);
        } else {
            for (const char* key : {"manufacturer", "product", "zeraId", "biosVersion"}) machine[key] = nullptr;
        }
        doc["machine"] = machine;

        Json bios;
        bios["newVersion"] = r.newBiosVersion.empty() ? Json(nullptr) : text(r.newBiosVersion);
        bios["image"] = optionalText(r.biosImage);
        bios["options"] = optionalText(r.biosOptions);
        bios["flashed"] = r.biosFlashed;
        bios["error"] = optionalText(r.biosError);
        doc["bios"] = bios;

        if (r.meRan) {
            Json me;
            me["currentVersion"] = optionalText(r.meCurrentVersion);
            me["newVersion"] = r.meNewVersion.empty() ? Json(nullptr) : text(r.meNewVersion);
            me["flashed"] = r.meFlashed;
            me["error"] = optionalText(r.meError);
            doc["me"] = me;
        } else {
            doc["me"] = nullptr;
        }

        Json power;
        if (r.powerRead) {
            const int ac = AcLineState(r.power);
            const int percent = KnownBatteryPercent(r.power);
            power["acLine"] = ac < 0 ? Json(nullptr) : Json(ac == 1);
            power["batteryPercent"] = percent < 0 ? Json(nullptr) : Json(percent);
            power["batteryPresent"] = BatteryPresent(r.power);
            power["gate"] = r.powerGate;
        } else {
            for (const char* key : {"acLine", "batteryPercent", "batteryPresent", "gate"}) power[key] = nullptr;
        }
        doc["power"] = power;
        doc["bitlocker"] = r.bitlocker.empty() ? Json(nullptr) : Json(r.bitlocker);

        // Bytes that are not UTF-8 (a converter that failed) become U+FFFD instead of throwing.
        return doc.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
    } catch (...) {
        // Nothing may leave the exit step; the exit code at least still reaches the collector.
        return common::Format("{\"program\": \"%s\", \"exitCode\": %d, \"exitMeaning\": null}\n", program,
                              r.exitCode);
    }
}
