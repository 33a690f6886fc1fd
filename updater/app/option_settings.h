#pragma once
// The option settings: process-wide values read once from the command line at start-up and
// only read afterwards.

#include <cstdint>
#include <string>
#include <vector>

#include "common/portable_types.h"
#include "updater/app/cmd_line.h"
#include "updater/app/path_parts.h"

class CLogFile;

struct COptionSettings {
    bool ForceIt = false;
    bool NoPause = false;    // silent mode
    bool NoReboot = false;
    bool MEUPD = false;
    bool AMD = false;
    bool HideAfuWin = false;
    bool Ovrel = false;      // developer diagnostics
    bool MeUpdV1 = false;
    std::string BiosRomFile;
    std::string BiosVer;
    std::string MeRomFile;
    std::string MeVer;
    std::string ProdName;
    std::string LogFile;
    std::string CA;
    std::string CX;
    std::vector<uint32_t> ZeraID;  // empty when /ZeraID is absent
    // Field options for managed fleets.
    bool IgnorePower = false;      // skip the power gate
    bool IgnoreBitLocker = false;  // flash even when BitLocker protection cannot be suspended
    bool Check = false;            // check only: no dialog, no tool, no restart (implies NoPause)
    bool Help = false;             // "/?": show the options and exit codes, check nothing
    std::string Report;            // path of the JSON result report

    // Releases the system-ID list (after the dialog has closed, and again at exit).
    void ReleaseZeraIDList() { std::vector<uint32_t>().swap(ZeraID); }
};

extern COptionSettings theOptions;

// What reading the command line needs from the platform.
struct CommandLinePlatform {
    CCmdLine::Splitter split;
    CFileSpec::FullPathFn fullPath;
};

// Fills `settings` from the parsed command line (first occurrence of an option wins).
// Does not touch the log.
void ReadOptionSettings(const CCmdLine& cmdLine, COptionSettings& settings);

// Parses `tail`, fills `settings` and, when /LogFile names a usable file, moves `log` there and
// writes the start line (turning logging off when it cannot be written). Answers what
// CCmdLine::Parse answers.
int ParseCommandLine(const char* tail, COptionSettings& settings, CLogFile& log, const CommandLinePlatform& platform,
                     const char* versionText);

// Moves `log` to the file named by `logFileValue`. A value that does not name a file (it cannot
// be made absolute or split, or it names a folder) leaves the log where it is and records why.
void MoveLogFile(const std::string& logFileValue, const char* tail, CLogFile& log, CFileSpec::FullPathFn fullPath,
                 const char* versionText);
