#pragma once
// The start-up sequence of Brevane from the command line's debug echo to the reboot decision,
// written against the services it calls so that every refusal, its order, its code, its log
// line and its message can be run without the operating system.

#include <cstdint>
#include <string>

#include "dos/core/dz_exit_codes.h"
#include "updater/app/option_settings.h"
#include "updater/app/power_gate.h"
#include "updater/app/run_report.h"
#include "updater/app/update_sequence.h"

class CLogFile;

// The machine's identity as start-up logs and hands it to the dialog.
struct SystemIdentity {
    std::string manufacturer;
    std::string productName;
    std::string biosVersion;
    uint16_t zeraId = 0;
};

// What the main dialog leaves behind.
struct DialogOutcome {
    int resultCode = DZ_EXIT_NOT_UPDATED;
    bool rebootRequested = false;
};

class IStartupServices {
public:
    virtual ~IStartupServices() = default;
    virtual bool SetSingleProcessor() = 0;
    virtual bool FileExists(const std::string& path) = 0;
    virtual bool IsAdministratorUser() = 0;
    // 1 on success, 0 with the reason in `error`.
    virtual int GetSystemInfo(std::string& error) = 0;
    virtual SystemIdentity Identity() = 0;
    // 0, or the result code with the reason in `error`.
    virtual int ValidateSystem(std::string& error) = 0;
    // A message box captioned "Update BIOS"; answers the button pressed.
    virtual int ShowMessage(const std::string& text, unsigned style) = 0;
    // Creates, runs and destroys the main dialog.
    virtual DialogOutcome RunDialog(const DialogVersions& versions) = 0;
    // The system power status for the power gate.
    virtual PowerStatus ReadPowerStatus() = 0;
    virtual bool IsWinPE() = 0;
    // Called just before a restart with the run's result: a restart under Windows PE ends the
    // process at once, so what must outlive the run is written here.
    virtual void BeforeRestart(int /*resultCode*/) {}
    virtual void RebootWinPE() = 0;
    virtual void RebootWindows() = 0;
};

// Runs start-up from the debug echo of the command line (the command line is already parsed into
// `options`) to the reboot decision; answers the result code. The caller releases the
// system-ID list and broadcasts the exit. `report`, when given, receives what start-up learnt.
// "/?" shows the help and answers 0 before any check; "/Check" stops after the power gate and
// the BIOS version decision, answering 0 when the update would run.
int RunStartupSequence(IStartupServices& services, COptionSettings& options, CLogFile& log,
                       const std::string& commandLineTail, RunReport* report = nullptr);
