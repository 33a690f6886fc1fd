#pragma once
// The update handler of the main dialog: ME pre-steps, BIOS flash, ME post-steps and the final
// verdict, written against two small interfaces so that the whole sequence runs the same with
// the real redirector and dialog and with the scripted doubles of the unit tests.

#include <cstdint>
#include <string>

#include "updater/app/bitlocker_step.h"
#include "updater/app/option_settings.h"
#include "updater/app/run_report.h"
#include "updater/tools/tool_end.h"

class CLogFile;

// How a wait for a running tool ended.
enum class ToolWait { kChildEnded, kMessage, kTimedOut };

// The tool runner (the dialog's redirector) as the update sequence uses it.
class IToolRunner {
public:
    virtual ~IToolRunner() = default;
    // Starts the program file `program` (a full path, never searched for) with `commandLine`
    // for `updateType`. FALSE when the process could not be started; `lastError` then holds
    // the system error code of the failure.
    virtual bool Start(const std::string& program, const std::string& commandLine, int updateType,
                       uint32_t& lastError) = 0;
    virtual bool ChildHasEnded() = 0;
    // Blocks until the child ends, a window message is waiting for the calling thread, or
    // `limitMs` passes; dispatches nothing. A failed wait counts as timed out.
    virtual ToolWait WaitForChildOrMessage(uint32_t limitMs) = 0;
    // Returns once the output of the ended child has been interpreted, serving messages meanwhile.
    virtual void WaitWhileReading() = 0;
    virtual void Stop() = 0;
    virtual void SetPollInterval(int milliseconds) = 0;
    virtual void ResetMeResults() = 0;
    virtual void ClearDone() = 0;
    virtual void ClearCompleted() = 0;
    // The result flags and texts the output interpretation leaves.
    virtual bool Done() const = 0;
    virtual bool Completed() const = 0;
    virtual bool BiosError() const = 0;
    virtual bool MeError() const = 0;
    virtual bool MeVersionFound() const = 0;
    virtual std::string MeVersion() const = 0;
    virtual std::string ErrorText() const = 0;
    // How the last run ended (exit code, bytes printed); read after Stop.
    virtual ToolEnd LastEnd() const = 0;
    // Records a failure of the last run that its output did not show, as a printed error of
    // that run is recorded: the error flag of `updateType`, the error text, the output view.
    virtual void RecordToolFailure(const std::string& text, int updateType) = 0;
};

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
    // While the child runs, each pass dispatches up to one, eight or ten waiting messages, calls
    // `poll`, and then sleeps until the child ends or a message comes (at most one pass limit),
    // so the tool keeps the processor it shares with us. Then takes the last output and calls
    // `poll` once more on it, and logs the tool's exit code under `tag`. With the query limit
    // (the query tools) and in silent mode the child is ended when it outlives that limit,
    // logged under `tag`; answers whether it was ended so. The flash tools are never bounded.
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
