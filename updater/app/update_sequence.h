#pragma once
// The update handler of the main dialog: ME pre-steps, BIOS flash, ME post-steps and the final
// verdict, written against two small interfaces so that the whole sequence runs the same with
// the real redirector and dialog and with the scripted doubles of the unit tests.

#include <cstdint>
#include <string>

#include "updater/app/bitlocker_step.h"
#include "updater/app/option_settings.h"
#include "updater/app/run_report.h"
#include "updater/tools/tool_runner.h"

class CLogFile;

// The dialog and the operating system as the update sequence uses them.
class IUpdateHost {
public:
    virtual ~IUpdateHost() = default;
    // Dispatches up to `maxMessages` pending window messages of the dialog's thread.
    virtual void PumpMessages(int maxMessages) = 0;
    virtual void Sleep(uint32_t milliseconds) = 0;
    virtual void DisableUpdateButton() = 0;
    virtual void StartSpinner() = 0;
    // Kills the spinner timer and sets the title back to "Update BIOS".
    virtual void StopSpinner() = 0;
    // Status line in pure red with `text`.
    virtual void SetWarningStatus(const char* text) = 0;
    virtual void DisableQuitAndClose() = 0;
    virtual void EnableQuit() = 0;
    virtual void CloseDialog(int code) = 0;
    // A message box owned by the dialog; answers the button pressed.
    virtual int ShowMessage(const std::string& text, const char* caption, unsigned style) = 0;
    virtual bool Is64BitWindows() = 0;
    // The folder of the running program, which holds the flash and ME tools, and the system
    // directory, which holds the Windows PE driver loader; both without a trailing backslash.
    virtual std::string ToolFolder() = 0;
    virtual std::string SystemFolder() = 0;
    virtual bool IsWinPE() = 0;
    // The image to flash: `biosRomFile`, or the secure capsule file settings.ini chooses for
    // the running version.
    virtual std::string SelectSecureFlashFile(const std::string& currentBiosVersion,
                                              const std::string& biosRomFile) = 0;
    // Suspends BitLocker protection of the Windows volume for one restart when it is on.
    virtual BitLockerProbe SuspendBitLocker() = 0;
    // A monotonic clock in milliseconds, and how long a query tool may run in silent mode.
    virtual uint64_t TickMs() = 0;
    virtual uint32_t QueryToolLimitMs() = 0;
};

// The versions the dialog was given at start-up.
struct DialogVersions {
    std::string currentBios;  // from SMBIOS
    std::string newBios;      // /BiosVer
    std::string newMe;        // /MeVer
    std::string compatibleA;  // /CA
    std::string compatibleX;  // /CX
};

class CUpdateSequence {
public:
    CUpdateSequence(IUpdateHost& host, IToolRunner& tools, const COptionSettings& options, CLogFile& log,
                    const DialogVersions& versions, int& resultCode, bool& rebootRequested);

    // Runs the whole handler. It ends by closing the dialog (code 1 after a verdict, 2 after a
    // failed step in silent mode) or, interactively after a failed step, with the dialog open.
    void Run();

    // Where the run's facts go for the result report; none by default.
    void AttachReport(RunReport* report) { m_pReport = report; }

private:
    bool LoadWinPeDriver();
    bool StartMeVersionQuery();
    bool QueryMeVersionBeforeFlash();
    bool FlashBios(bool& biosFailed);
    bool RunMePostSteps(bool& meFailed);
    bool QueryMeVersionAfterFlash();
    bool FlashMe(const char* options, bool& meFailed);
    void FinalVerdict(bool biosFailed, bool meFailed);
    bool SuspendBitLockerForFlash();
    void NoteError(const char* tag, const std::string& message);

    // A tool that did not start: a step failure whose log line is the system error and whose
    // message is `messageFormat` with that error as its "%lu".
    void LaunchFailure(const char* tag, int code, const char* messageFormat, const char* caption, uint32_t error);
    bool StartFlashTool(const std::string& tool, const std::string& command, const std::string& image,
                        int updateType, uint32_t& error);
    // A step that refuses: log line, code, no reboot, close (silent) or error box, spinner stopped.
    void StepFailure(const char* tag, const std::string& logText, int code, const std::string& message,
                     const char* caption);

    enum class Pump { kOneAndSleep, kEight, kTen };
    enum class Bound { kNone, kQueryLimit };
    // The one wait of a tool run. Each pass dispatches up to one, eight or ten waiting messages,
    // then, while the child runs, calls `poll` and asks whether the child has ended, and then
    // sleeps until what the run waits for comes or a message does (at most one pass limit), so
    // the tool keeps the processor it shares with us. Once the child has ended, the passes go on
    // until the reader has taken the last output (at most kLastOutputMs); then `poll` once more
    // on it, Stop, and the tool's exit code logged under `tag`. With the query limit (the query
    // tools) and in silent mode the child is ended when it outlives that limit, logged under
    // `tag`; answers whether it was ended so. The flash tools are never bounded.
    template <typename Poll>
    bool WaitForChild(Pump pump, const char* tag, Bound bound, Poll poll);
    // After a flash tool's run: a fault end or no output at all fails the step as an error the
    // tool printed would. Answers whether it did.
    bool FailedByItsEnd(const std::string& tool, int updateType);

    IUpdateHost& m_host;
    IToolRunner& m_tools;
    const COptionSettings& m_options;  // read only: the sequence changes no option
    CLogFile& m_log;
    DialogVersions m_versions;
    int& m_nResultCode;
    bool& m_bRebootRequested;
    std::string m_strMeTool;
    std::string m_strCurrentMeVersion;
    RunReport m_unusedReport;
    RunReport* m_pReport = &m_unusedReport;
};
