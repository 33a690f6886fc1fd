#pragma once
// What one run did, collected along the way for the JSON result report (/Report). Every text is
// taken as the machine, the tools or the command line gave it; the report escapes it.

#include <ctime>
#include <optional>
#include <string>

#include "dos/core/dz_exit_codes.h"
#include "updater/app/power_gate.h"

struct RunReport {
    int exitCode = DZ_EXIT_WRONG_SYSTEM;
    bool checkOnly = false;
    bool rebootRequested = false;  // start-up decided to restart
    std::time_t started = 0;
    std::time_t ended = 0;
    std::string logFile;

    bool identityRead = false;     // the identity line was reached (possibly bypassed)
    std::string manufacturer;
    std::string product;
    std::string biosVersion;
    unsigned zeraId = 0;

    std::string newBiosVersion;              // /BiosVer
    std::optional<std::string> biosImage;    // the image handed to the flash tool
    std::optional<std::string> biosOptions;  // the flash tool's options
    bool biosFlashed = false;                // the tool ran and reported no error
    std::optional<std::string> biosError;

    bool meRan = false;                      // an ME step ran
    std::optional<std::string> meCurrentVersion;
    std::string meNewVersion;                // /MeVer
    bool meFlashed = false;
    std::optional<std::string> meError;

    bool powerRead = false;                  // the power gate was reached
    PowerStatus power;
    std::string powerGate;                   // "passed", "refused", "ignored"

    std::string bitlocker;                   // "off", "suspended", "unavailable", "failed", "ignored"; "" not checked
};

// The run's report: filled by start-up and the update, written by the application's exit step.
extern RunReport theRunReport;

// Turns text in the system's ANSI code page into UTF-8.
using ToUtf8Fn = std::string (*)(const std::string& ansi);

// Firmware text (SMBIOS strings) as UTF-8: the bytes are taken as Windows-1252, the code page
// the firmware writes them in, whatever code page this process runs in. The five bytes that
// code page leaves unassigned stand for the C1 controls of the same value, as Windows maps them.
std::string Windows1252ToUtf8(const std::string& text);

// The report as JSON text (UTF-8, one object, indented). Program name and version are given by
// the caller; `toUtf8` converts the texts of this process (paths, messages), the machine's
// strings are decoded from Windows-1252. Never throws: on an internal failure it answers a minimal document that still
// carries the exit code.
std::string RunReportJson(const RunReport& report, const char* program, const char* version, ToUtf8Fn toUtf8);

// "YYYY-MM-DDTHH:MM:SS+hh:mm" in local time.
std::string FormatIso8601Local(std::time_t when);
