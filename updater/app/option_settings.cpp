#include "updater/app/option_settings.h"

#include "updater/tools/log_file.h"

COptionSettings theOptions;

void ReadOptionSettings(const CCmdLine& cmdLine, COptionSettings& settings) {
    const dz_args args = cmdLine.Args();
    auto flag = [&args](const char* name) { return dz_find_option(&args, name) >= 0; };
    auto text = [&args](const char* name) { return std::string(dz_option_text(&args, name)); };
    settings.ForceIt = flag("ForceIt");
    settings.NoPause = flag("NoPause");
    settings.NoReboot = flag("NoReboot");
    settings.MeRomFile = text("MeRomFile");
    settings.MeVer = text("MeVer");
    settings.MEUPD = flag("MEUPD");
    settings.AMD = flag("AMD");
    settings.BiosRomFile = text("BiosRomFile");
    settings.ProdName = text("ProdName");
    settings.BiosVer = text("BiosVer");
    settings.LogFile = text("LogFile");

    settings.ZeraID.assign(dz_zera_ids(&args, nullptr, 0), 0);
    if (!settings.ZeraID.empty())
        (void)dz_zera_ids(&args, settings.ZeraID.data(), static_cast<unsigned>(settings.ZeraID.size()));

    settings.HideAfuWin = flag("HideAfuWin");
    settings.Ovrel = flag("Ovrel");
    settings.MeUpdV1 = flag("MeUpdV1");
    settings.CA = text("CA");
    settings.CX = text("CX");

    settings.IgnorePower = flag("IgnorePower");
    settings.IgnoreBitLocker = flag("IgnoreBitLocker");
    settings.Check = flag("Check");
    settings.Help = flag("?");
    settings.Report = text("Report");
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
