#include "updater/app/startup_sequence.h"

#include "common/format.h"
#include "dos/core/dz_exit_codes.h"
#include "updater/app/exit_codes.h"
#include "updater/app/message_box_kind.h"
#include "updater/app/update_rules.h"
#include "updater/platform/version_rules.h"
#include "updater/tools/log_file.h"

namespace {

// Sets nothing itself: answers `code` after the message box that silent mode leaves out.
int Refuse(IStartupServices& services, const COptionSettings& options, int code, const std::string& text) {
    if (!options.NoPause) services.ShowMessage(text, box::kOk | box::kIconError);
    return code;
}

int RunPreflight(IStartupServices& services, COptionSettings& options, CLogFile& log, RunReport& report) {
    if (!services.SetSingleProcessor()) return DZ_EXIT_AFFINITY_FAILED;  // it has shown and traced its own failure

    if (options.BiosRomFile.empty()) {
        const char* text = "The /BiosRomFile is not specified in command line.";
        log.WriteLine("Error", "%s", text);
        return Refuse(services, options, DZ_EXIT_OPTION_MISSING, text);
    }
    if (!services.FileExists(options.BiosRomFile)) {
        std::string text = common::Format("The specified bios_rom_file (%s) is not found", options.BiosRomFile.c_str());
        log.WriteLine("Error", "%s", text.c_str());
        return Refuse(services, options, DZ_EXIT_IMAGE_MISSING, text);
    }
    if (options.BiosVer.empty() && !options.ForceIt) {
        const char* text = "The /BiosVer is not specified in command line.";
        log.WriteLine("Error", "%s", text);
        return Refuse(services, options, DZ_EXIT_OPTION_MISSING, text);
    }
    if (!services.IsAdministratorUser())
        return Refuse(services, options, DZ_EXIT_NOT_ADMIN, "This program requires Administrator user to execute!");

    bool bypassSystemInfo = false;
    if (options.Ovrel)
        bypassSystemInfo = services.ShowMessage("Bypass GetSysInfo?", box::kYesNo) == box::kAnswerYes;
    if (!bypassSystemInfo) {
        std::string error;
        if (services.GetSystemInfo(error) == 0) {
            std::string text = "Get System Information ERROR\n" + error;
            log.WriteLine("GetSystemInfo", "%s", text.c_str());
            return Refuse(services, options, DZ_EXIT_NO_SYSTEM_INFO, text);
        }
    }
    SystemIdentity identity = services.Identity();
    report.identityRead = true;
    report.manufacturer = identity.manufacturer;
    report.product = identity.productName;
    report.biosVersion = identity.biosVersion;
    report.zeraId = identity.zeraId;
    log.WriteLine("GetSystemInfo", "OK, SystemManufacturer=[%s], SystemProductName=[%s], SystemZeraID=[%04X]",
                  identity.manufacturer.c_str(), identity.productName.c_str(), static_cast<unsigned>(identity.zeraId));

    std::string validation;
    int validated = services.ValidateSystem(validation);
    if (validated != 0) return Refuse(services, options, validated, validation);

    if (!options.AMD) {
        if (options.MeRomFile.empty()) {
            const char* text = "The /MeRomFile is not specified in command line.";
            log.WriteLine("Error", "%s", text);
            return Refuse(services, options, DZ_EXIT_OPTION_MISSING, text);
        }
        if (options.MeVer.empty()) {
            const char* text = "The /MeVer is not specified in command line.";
            log.WriteLine("Error", "%s", text);
            return Refuse(services, options, DZ_EXIT_OPTION_MISSING, text);
        }
    }

    // After every existing check, so each of their refusals keeps its code on any power source.
    report.power = services.ReadPowerStatus();
    report.powerRead = true;
    PowerGateResult gate = EvaluatePowerGate(report.power, options.IgnorePower);
    report.powerGate = gate.gate;
    if (!gate.logText.empty()) log.WriteLine("PowerCheck", "%s", gate.logText.c_str());
    if (gate.code != 0) return Refuse(services, options, gate.code, gate.message);
    return 0;
}

// The dialog's start decision as a silent run would take it: 0 when the update would start,
// 2 when the version comparison refuses the new BIOS version.
int CheckVersionDecision(const COptionSettings& options, const std::string& currentBios) {
    int compared = 0;
    if (StartComparesVersions(options.ForceIt)) {
        std::string message;
        compared = CompareBiosVersion(currentBios, options.BiosVer, message);
    }
    return DecideStart(true, options.ForceIt, compared) == StartDecision::kStartUpdate ? 0 : 2;
}

}  // namespace

int RunStartupSequence(IStartupServices& services, COptionSettings& options, CLogFile& log,
                       const std::string& commandLineTail, RunReport* report) {
    RunReport unused;
    RunReport& facts = report ? *report : unused;
    facts.checkOnly = options.Check;
    facts.newBiosVersion = options.BiosVer;
    facts.meNewVersion = options.MeVer;

    if (options.Help) {
        // Shown even in silent mode: nobody asks for help who does not want to read it.
        services.ShowMessage(HelpText(), box::kOk | box::kIconInformation);
        options.ReleaseZeraIDList();
        return 0;
    }

    // "CmdLie" as the developer trace has always spelt it; tools that grep the trace rely on it.
    if (options.Ovrel) CLogFile::DebugPrint("@@ CmdLie: %s", commandLineTail.c_str());

    int refused = RunPreflight(services, options, log, facts);
    if (refused != 0) return refused;

    if (options.Check) {
        int code = CheckVersionDecision(options, services.Identity().biosVersion);
        log.WriteLine("Check", "Result=[%d], %s", code, code == 0 ? "the update would run" : ExitCodeMeaning(code));
        options.ReleaseZeraIDList();
        return code;
    }

    DialogVersions versions;
    versions.currentBios = services.Identity().biosVersion;
    versions.newBios = options.BiosVer;
    versions.newMe = options.MeVer;
    versions.compatibleA = options.CA;
    versions.compatibleX = options.CX;
    DialogOutcome outcome = services.RunDialog(versions);

    // A dialog that ends without a code of its own counts as a successful run.
    int resultCode = outcome.resultCode;
    if (ShouldReboot(resultCode, outcome.rebootRequested)) {
        facts.rebootRequested = true;
        services.BeforeRestart(resultCode);
        if (services.IsWinPE())
            services.RebootWinPE();
        else
            services.RebootWindows();
    }
    options.ReleaseZeraIDList();
    return resultCode;
}
