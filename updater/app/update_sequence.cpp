#include "updater/app/update_sequence.h"

#include "common/format.h"
#include "dos/core/dz_exit_codes.h"
#include "updater/app/message_box_kind.h"
#include "updater/app/update_rules.h"
#include "updater/platform/version_rules.h"
#include "updater/tools/log_file.h"

namespace {

// ERROR_INVALID_NAME: the answer a start gets for a path that cannot be quoted for the tool.
constexpr uint32_t kErrorInvalidName = 123;

// The longest a waiting pass sleeps: the reader raises its flags while it sends the output to
// the dialog, which wakes the wait at once, so this only bounds how late a flag raised
// without any output is seen. It is also the pass of the steps that used to sleep 100 ms.
constexpr uint32_t kPassLimitMs = 100;

// Bound on the wait for the reader's last drain after the child has ended; that drain takes
// no longer than one pass over the pipe.
constexpr uint64_t kLastOutputMs = 5000;

const char kDriverTag[] = "Load ME Driver on WinPE";
const char kMeNotAvailable[] = "ME is not available now, please check it";

}  // namespace

CUpdateSequence::CUpdateSequence(IUpdateHost& host, IToolRunner& tools, const COptionSettings& options, CLogFile& log,
                                 const DialogVersions& versions, int& resultCode, bool& rebootRequested)
    : m_host(host),
      m_tools(tools),
      m_options(options),
      m_log(log),
      m_versions(versions),
      m_nResultCode(resultCode),
      m_bRebootRequested(rebootRequested) {}

void CUpdateSequence::Run() {
    m_host.DisableUpdateButton();
    m_host.StartSpinner();
    m_strCurrentMeVersion.clear();

    if (!m_options.AMD) {
        m_pReport->meRan = true;
        m_strMeTool = MeToolName(m_host.Is64BitWindows());
        if (m_host.IsWinPE() && !LoadWinPeDriver()) return;
        if (!QueryMeVersionBeforeFlash()) return;
    }

    bool biosFailed = false;
    if (!FlashBios(biosFailed)) return;

    bool meFailed = false;
    if (!m_options.AMD && !RunMePostSteps(meFailed)) return;

    FinalVerdict(biosFailed, meFailed);
}

template <typename Poll>
bool CUpdateSequence::WaitForChild(Pump pump, const char* tag, Bound bound, Poll poll) {
    // A query that never ends would hang an unattended deployment; interactively the user can
    // still quit, so only silent runs are bounded.
    const uint32_t limitMs = (bound == Bound::kQueryLimit && m_options.NoPause) ? m_host.QueryToolLimitMs() : 0;
    const uint64_t startMs = limitMs ? m_host.TickMs() : 0;
    bool endedByLimit = false;
    const int messagesPerPass = pump == Pump::kOneAndSleep ? 1 : pump == Pump::kEight ? 8 : 10;
    // What the passes wait for: the child's end, then the last of its output.
    enum class Phase { kChildRuns, kLastOutput } phase = Phase::kChildRuns;
    uint64_t childEndedMs = 0;
    for (;;) {
        m_host.PumpMessages(messagesPerPass);
        uint32_t waitMs = kPassLimitMs;
        if (phase == Phase::kChildRuns) {
            poll();
            const uint64_t elapsedMs = limitMs ? m_host.TickMs() - startMs : 0;
            if (m_tools.ChildHasEnded()) {
                phase = Phase::kLastOutput;
            } else if (limitMs && elapsedMs >= limitMs) {
                m_tools.Stop();  // ends the child
                endedByLimit = true;
                phase = Phase::kLastOutput;
                m_log.WriteLine(tag, "Result=[TIMEOUT], the tool was ended after %lu.%03lu s",
                                static_cast<unsigned long>(elapsedMs / 1000),
                                static_cast<unsigned long>(elapsedMs % 1000));
            } else if (limitMs && limitMs - elapsedMs < waitMs) {
                // Never past the query limit: the wait ends early when the child or a message comes.
                waitMs = static_cast<uint32_t>(limitMs - elapsedMs);
            }
            if (phase == Phase::kLastOutput) {
                if (pump == Pump::kOneAndSleep) m_host.Sleep(500);
                childEndedMs = m_host.TickMs();
            }
        }
        if (phase == Phase::kLastOutput) {
            // The reader ends by itself right after its last drain once the child has ended. A
            // grandchild that keeps the pipe open and full could keep it draining: Stop below
            // ends it then, so the bound keeps the step from waiting on such output for ever.
            if (m_tools.OutputTaken()) break;
            const uint64_t drainingMs = m_host.TickMs() - childEndedMs;
            if (drainingMs >= kLastOutputMs) break;
            if (kLastOutputMs - drainingMs < waitMs) waitMs = static_cast<uint32_t>(kLastOutputMs - drainingMs);
        }
        m_tools.Wait(waitMs);
    }
    // What the tool printed just before it ended is interpreted only now: judge it as well, or
    // an error line followed at once by the tool's end would pass as success.
    poll();
    m_tools.Stop();
    if (m_tools.ReaderDetached())
        m_log.WriteLine(tag, "Result=[READER DETACHED], the output reader of the tool did not end");
    // Logged whatever it is: a tool's own codes decide nothing, but whoever reads the log of a
    // failed update wants them.
    m_log.WriteLine(tag, "%s", ExitCodeLogText(m_tools.LastEnd()).c_str());
    return endedByLimit;
}

bool CUpdateSequence::FailedByItsEnd(const std::string& tool, int updateType) {
    const std::string failure = FlashToolEndFailure(tool, m_tools.LastEnd());
    if (failure.empty()) return false;
    m_tools.RecordToolFailure(failure, updateType);
    return true;
}

void CUpdateSequence::NoteError(const char* tag, const std::string& message) {
    const std::string t = tag;
    if (t == "FlashBios" || t == "BitLocker")
        m_pReport->biosError = message;
    else
        m_pReport->meError = message;
}

void CUpdateSequence::LaunchFailure(const char* tag, int code, const char* messageFormat, const char* caption,
                                    uint32_t error) {
    const unsigned long systemError = static_cast<unsigned long>(error);
    StepFailure(tag, common::Format("Result=[ERROR], ErrCode=[%lu]", systemError), code,
                common::Format(messageFormat, systemError), caption);
}

bool CUpdateSequence::StartFlashTool(const std::string& tool, const std::string& command, const std::string& image,
                                     int updateType, uint32_t& error) {
    if (BreaksCommandQuoting(image)) {
        error = kErrorInvalidName;  // never hand the flash tool options nobody chose
        return false;
    }
    return m_tools.Start(ToolProgramPath(m_host.ToolFolder(), tool), command, updateType, error);
}

void CUpdateSequence::StepFailure(const char* tag, const std::string& logText, int code, const std::string& message,
                                  const char* caption) {
    m_log.WriteLine(tag, "%s", logText.c_str());
    NoteError(tag, message);
    m_nResultCode = code;
    m_bRebootRequested = false;
    if (m_options.NoPause)
        m_host.CloseDialog(2);
    else
        m_host.ShowMessage(message, caption, box::kOk | box::kIconError);
    m_host.StopSpinner();
}

bool CUpdateSequence::LoadWinPeDriver() {
    std::string command = BuildDriverLoadCommand();
    m_log.WriteLine(kDriverTag, "CommandLine=[%s]", command.c_str());
    m_tools.ClearDone();
    m_tools.SetPollInterval(50);
    uint32_t error = 0;
    if (!m_tools.Start(ToolProgramPath(m_host.SystemFolder(), kDriverLoaderFile), command, kUpdateWinPeDriverLoad,
                       error)) {
        LaunchFailure(kDriverTag, DZ_EXIT_ME_DRIVER_FAILED, "[Error] Load ME Driver on WinPE, GetLastError=%lu", kDriverTag, error);
        return false;
    }
    bool loaded = true;
    const bool ended = WaitForChild(Pump::kOneAndSleep, kDriverTag, Bound::kQueryLimit, [&] {
        if (m_tools.MeError()) {
            if (m_options.Ovrel)
                CLogFile::DebugPrint("@ Got an Error of Load ME Driver.[%s]", m_tools.ErrorText().c_str());
            loaded = false;
            m_tools.Stop();  // ends the loader
        }
    });
    if (!loaded || ended) {
        StepFailure(kDriverTag, "Result=[ME Driver load failed now, please check it]", DZ_EXIT_ME_UNAVAILABLE,
                    "ME Driver load failed now, please check it", "ME Info");
        return false;
    }
    m_tools.ResetMeResults();
    return true;
}

// Both version queries start the same way; a launch failure is code 32 before and after the flash.
bool CUpdateSequence::StartMeVersionQuery() {
    std::string command = BuildMeVersionQueryCommand(m_strMeTool);
    m_log.WriteLine("GetMeVersion", "CommandLine=[%s]", command.c_str());
    m_tools.ClearDone();
    m_tools.SetPollInterval(50);
    uint32_t error = 0;
    if (!m_tools.Start(ToolProgramPath(m_host.ToolFolder(), m_strMeTool), command, kUpdateMeVersionQuery, error)) {
        LaunchFailure("GetMeVersion", DZ_EXIT_ME_UNAVAILABLE, "GetMeVersion Error, GetLastError=%lu", "Get ME Version", error);
        return false;
    }
    return true;
}

bool CUpdateSequence::QueryMeVersionBeforeFlash() {
    if (!StartMeVersionQuery()) return false;
    bool got = false;
    m_strCurrentMeVersion.clear();
    const bool ended = WaitForChild(Pump::kOneAndSleep, "GetMeVersion", Bound::kQueryLimit, [&] {
        // The version comes before the error in each pass, so an error seen together with a
        // version still counts as "not got".
        if (m_tools.MeVersionFound()) {
            m_strCurrentMeVersion = m_tools.MeVersion();
            got = true;
            if (m_options.Ovrel) CLogFile::DebugPrint("@ Got MeVer.[%s]", m_strCurrentMeVersion.c_str());
        }
        if (m_tools.MeError()) {
            if (m_options.Ovrel) CLogFile::DebugPrint("@ Got an Error of MeVer.[%s]", m_tools.ErrorText().c_str());
            got = false;
        }
    });
    if (!got || ended) {
        // A query that had to be ended has not answered, whatever it printed before.
        m_strCurrentMeVersion = ended ? std::string() : m_tools.MeVersion();
        if (m_strCurrentMeVersion.empty()) {
            StepFailure("CheckMeFunction", "Result=[ME is not available now, please check it]", DZ_EXIT_ME_UNAVAILABLE,
                        kMeNotAvailable, "ME Info");
            return false;
        }
    }
    m_pReport->meCurrentVersion = m_strCurrentMeVersion;
    m_tools.ResetMeResults();
    return true;
}

bool CUpdateSequence::SuspendBitLockerForFlash() {
    BitLockerDecision decision = DecideBitLocker(m_host.SuspendBitLocker(), m_options.IgnoreBitLocker);
    m_pReport->bitlocker = decision.state;
    if (decision.proceed) {
        m_log.WriteLine("BitLocker", "%s", decision.logText.c_str());
        return true;
    }
    StepFailure("BitLocker", decision.logText, kBitLockerRefusedCode, decision.message, "BitLocker");
    return false;
}

bool CUpdateSequence::FlashBios(bool& biosFailed) {
    // Right before the flash: the version decision and the ME pre-steps, which may still refuse,
    // are behind. Should the tool then fail to start, protection resumes after one restart.
    if (!SuspendBitLockerForFlash()) return false;
    m_host.SetWarningStatus("Updating BIOS. Please DO NOT POWER OFF!");
    m_host.DisableQuitAndClose();

    std::string tool = BiosFlashToolName(m_host.Is64BitWindows());
    std::string reason;
    int compatible = IsBelowCompatibleVersion(m_versions.currentBios, m_versions.compatibleA,
                                              m_versions.compatibleX, reason);
    const char* options = BiosFlashOptions(compatible);
    m_log.WriteLine("FlashBios", "Check compatible : Cur:%s, VerA:%s, VerX:%s [%s]", m_versions.currentBios.c_str(),
                    m_versions.compatibleA.c_str(), m_versions.compatibleX.c_str(), reason.c_str());

    const std::string image = m_host.SelectSecureFlashFile(m_versions.currentBios, m_options.BiosRomFile);

    m_pReport->biosImage = image;
    m_pReport->biosOptions = options;
    std::string command = BuildBiosFlashCommand(tool, image, options);
    m_log.WriteLine("FlashBios", "CommandLine=[%s]", command.c_str());
    uint32_t error = 0;
    if (!StartFlashTool(tool, command, image, kUpdateBiosFlash, error)) {
        LaunchFailure("FlashBios", DZ_EXIT_BIOS_FAILED, "Flash BIOS Error, GetLastError=%lu", "Flash BIOS", error);
        return false;
    }
    m_host.DisableQuitAndClose();
    WaitForChild(Pump::kEight, "FlashBios", Bound::kNone, [] {});

    // The output decides, and the end may only add a failure: neither the completion line nor
    // an ordinary exit code clears an error the tool printed.
    biosFailed = FailedByItsEnd(tool, kUpdateBiosFlash) || m_tools.BiosError();
    if (biosFailed) CLogFile::DebugPrint("Got flash error.\r\n");
    m_pReport->biosFlashed = !biosFailed;
    if (biosFailed) m_pReport->biosError = m_tools.ErrorText();
    return true;
}

bool CUpdateSequence::QueryMeVersionAfterFlash() {
    if (!StartMeVersionQuery()) return false;
    m_host.DisableQuitAndClose();
    bool got = false;
    m_strCurrentMeVersion.clear();
    const bool ended = WaitForChild(Pump::kTen, "GetMeVersion", Bound::kQueryLimit, [&] {
        if (m_tools.MeVersionFound()) {
            m_strCurrentMeVersion = m_tools.MeVersion();
            got = true;
        }
        if (m_tools.MeError()) got = false;
    });
    if (!got || ended) {
        // After the BIOS flash a missing ME counts against the flash: code 1, not 32.
        StepFailure("CheckMeFunction", "Result=[ME is not available now, please check it]", DZ_EXIT_BIOS_FAILED,
                    kMeNotAvailable, "ME Info");
        return false;
    }
    return true;
}

bool CUpdateSequence::RunMePostSteps(bool& meFailed) {
    if (m_strCurrentMeVersion.empty() && !QueryMeVersionAfterFlash()) return false;
    m_tools.ResetMeResults();
    if (m_strCurrentMeVersion.empty()) {
        m_tools.Stop();
        StepFailure("GetMeVersion", "Get empty ME Version", DZ_EXIT_ME_UNAVAILABLE, "Get Me Version Error, Get empty Me Version",
                    "ME Update");
        return false;
    }
    m_strCurrentMeVersion = CleanMeVersion(m_strCurrentMeVersion);
    m_pReport->meCurrentVersion = m_strCurrentMeVersion;
    m_log.WriteLine("CompareMeVersion", "Cur:\"%s\", New:\"%s\"", m_strCurrentMeVersion.c_str(),
                    m_options.MeVer.c_str());
    std::string reason;  // not shown or logged here
    int compared = CompareMeVersion(m_strCurrentMeVersion, m_options.MeVer, reason);
    const char* options = MeFlashOptions(compared, m_options.MEUPD);
    if (!options) {
        meFailed = false;  // nothing to flash: the verdict rests on the BIOS alone
        return true;
    }
    return FlashMe(options, meFailed);
}

bool CUpdateSequence::FlashMe(const char* options, bool& meFailed) {
    m_tools.ClearCompleted();
    m_host.SetWarningStatus("Updating ME. Please DO NOT POWER OFF!");
    std::string command = BuildMeFlashCommand(m_strMeTool, m_options.MeRomFile, options);
    m_log.WriteLine("FlashME", "CommandLine=[%s]", command.c_str());
    m_tools.ClearDone();
    m_tools.SetPollInterval(0);
    uint32_t error = 0;
    if (!StartFlashTool(m_strMeTool, command, m_options.MeRomFile, kUpdateMeFlash, error)) {
        // "FlashMe" with a lower-case e here, unlike the command line's "FlashME": both are the
        // tags the logs have always carried.
        LaunchFailure("FlashMe", DZ_EXIT_ME_FAILED, "Flash ME Error, GetLastError=%lu", "Flash ME", error);
        return false;
    }
    m_host.DisableQuitAndClose();
    bool failed = false;
    WaitForChild(Pump::kEight, "FlashME", Bound::kNone, [&] {
        // The flags stay set once raised, so completion outweighs an error seen in the same run.
        if (m_tools.MeError()) {
            if (m_options.Ovrel) CLogFile::DebugPrint("@ Got Error msg for MeVer.[%s]", m_tools.ErrorText().c_str());
            failed = true;
        }
        if (m_tools.Done()) {
            if (m_options.Ovrel) CLogFile::DebugPrint("@ No more message");
            failed = false;
        }
        if (m_tools.Completed()) {
            if (m_options.Ovrel) CLogFile::DebugPrint("@ Normal End");
            failed = false;
        }
    });
    // A fault end or a silent tool outweighs even the completion text.
    if (FailedByItsEnd(m_strMeTool, kUpdateMeFlash)) failed = true;
    meFailed = failed;
    m_pReport->meFlashed = !failed;
    if (failed) m_pReport->meError = m_tools.ErrorText();
    return true;
}

void CUpdateSequence::FinalVerdict(bool biosFailed, bool meFailed) {
    const bool silent = m_options.NoPause;
    if (biosFailed || meFailed) {
        m_nResultCode = biosFailed ? DZ_EXIT_BIOS_FAILED : DZ_EXIT_ME_FAILED;
        m_host.StopSpinner();
        std::string errorText = m_tools.ErrorText();
        if (silent) {
            m_bRebootRequested = !m_options.NoReboot;
        } else if (m_options.NoReboot) {
            m_host.ShowMessage(
                common::Format("Update Failed!\n\"%s\"\nIt will take effect after reboot!", errorText.c_str()),
                "Update BIOS", box::kOk | box::kIconInformation);
            m_bRebootRequested = false;
        } else {
            int answer = m_host.ShowMessage(
                common::Format("Update Failed!\n\"%s\"\nIt will take effect after reboot!\nReboot now?",
                               errorText.c_str()),
                "Update BIOS", box::kYesNo | box::kIconError);
            if (answer == box::kAnswerYes) m_bRebootRequested = true;
        }
    } else {
        m_host.StopSpinner();
        m_nResultCode = DZ_EXIT_SUCCESS;
        if (silent) {
            m_bRebootRequested = !m_options.NoReboot;
        } else if (m_options.NoReboot) {
            m_host.ShowMessage("Update successful!\nIt will take effect after reboot!", "Update BIOS",
                               box::kOk | box::kIconInformation);
            m_bRebootRequested = false;
        } else {
            int answer = m_host.ShowMessage("Update successful!\nIt will take effect after reboot!\nReboot now?",
                                            "Update BIOS", box::kYesNo | box::kIconQuestion);
            if (answer == box::kAnswerYes) m_bRebootRequested = true;
        }
    }
    m_host.EnableQuit();
    m_host.CloseDialog(1);
}
