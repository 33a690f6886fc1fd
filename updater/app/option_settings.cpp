#include "updater/app/option_settings.h"

#include "updater/tools/log_file.h"

COptionSettings theOptions;

namespace {

bool HasFlag(const CCmdLine& cmdLine, const char* name) { return cmdLine.Find(name, 0) >= 0; }

std::string FirstValue(const CCmdLine& cmdLine, const char* name) {
    return cmdLine.GetValue(cmdLine.Find(name, 0), 0);
}

}  // namespace

void ReadOptionSettings(const CCmdLine& cmdLine, COptionSettings& settings) {
    settings.ForceIt = HasFlag(cmdLine, "ForceIt");
    settings.NoPause = HasFlag(cmdLine, "NoPause");
    settings.NoReboot = HasFlag(cmdLine, "NoReboot");
    settings.MeRomFile = FirstValue(cmdLine, "MeRomFile");
    settings.MeVer = FirstValue(cmdLine, "MeVer");
    settings.MEUPD = HasFlag(cmdLine, "MEUPD");
    settings.AMD = HasFlag(cmdLine, "AMD");
    settings.BiosRomFile = FirstValue(cmdLine, "BiosRomFile");
    settings.ProdName = FirstValue(cmdLine, "ProdName");
    settings.BiosVer = FirstValue(cmdLine, "BiosVer");
    settings.LogFile = FirstValue(cmdLine, "LogFile");

    settings.ZeraID.clear();
    int zeraNode = cmdLine.Find("ZeraID", 0);
    if (zeraNode >= 0) {
        // With no value the list holds one ID, 0.
        size_t count = cmdLine.GetNode(zeraNode).m_arrValues.size();
        if (count == 0) count = 1;
        for (size_t i = 0; i < count; ++i)
            settings.ZeraID.push_back(cmdLine.GetValueAsNumber(zeraNode, static_cast<int>(i), 16));
    }

    settings.HideAfuWin = HasFlag(cmdLine, "HideAfuWin");
    settings.Ovrel = HasFlag(cmdLine, "Ovrel");
    settings.MeUpdV1 = HasFlag(cmdLine, "MeUpdV1");
    settings.CA = FirstValue(cmdLine, "CA");
    settings.CX = FirstValue(cmdLine, "CX");

    settings.IgnorePower = HasFlag(cmdLine, "IgnorePower");
    settings.IgnoreBitLocker = HasFlag(cmdLine, "IgnoreBitLocker");
    settings.Check = HasFlag(cmdLine, "Check");
    settings.Help = HasFlag(cmdLine, "?");
    settings.Report = FirstValue(cmdLine, "Report");
    // A check is for scripts: like silent mode it never waits for a person.
    if (settings.Check) settings.NoPause = true;
}

void MoveLogFile(const std::string& logFileValue, const char* tail, CLogFile& log, CFileSpec::FullPathFn fullPath,
                 const char* versionText) {
    CFileSpec parts;
    int split = parts.Split(logFileValue.c_str(), fullPath);
    if (split != 0 || parts.m_bIsFolder) {
        // Not a file we can log to: keep the current log and say why there.
        log.WriteLine("Brevane_Start", "Brevane v%s, Command Line=[%s]", versionText, tail);
        log.WriteLine("Error", "The /LogFile (%s) is not usable: %s", logFileValue.c_str(),
                      split != 0 ? parts.m_strError.c_str() : "it names a folder");
        return;
    }
    log.enabled = 1;
    log.SetFolder(parts.GetFolderPath());
    log.SetName(parts.GetFileName());
    log.BuildPath();
    if (!log.WriteLine("Brevane_Start", "Brevane v%s, Command Line=[%s]", versionText, tail)) log.enabled = 0;
}

int ParseCommandLine(const char* tail, COptionSettings& settings, CLogFile& log, const CommandLinePlatform& platform,
                     const char* versionText) {
    CCmdLine cmdLine;
    int found = cmdLine.Parse(tail, platform.split);
    ReadOptionSettings(cmdLine, settings);
    if (!settings.LogFile.empty()) MoveLogFile(settings.LogFile, tail ? tail : "", log, platform.fullPath, versionText);
    return found;
}
