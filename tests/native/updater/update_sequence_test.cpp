#include "updater/app/update_sequence.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>

#include "tests/support/log_capture.h"
#include "updater/app/message_box_kind.h"

using testing::ElementsAre;
using testing::IsEmpty;

namespace {

// One scripted tool run: what the tool "prints" (as the flags the interpretation raises).
struct ToolRun {
    uint32_t startError = 0;  // non-zero: the process cannot be created
    bool done = false;
    bool completed = false;
    bool biosError = false;
    bool meError = false;
    bool versionFound = false;
    std::string version;
    std::string errorText;
    int passes = 1;  // polls until the child has ended
    // Output read only after the child has ended (the reader's last drain).
    bool lateMeError = false;
    std::string lateVersion;
    // The reader never finishes its last drain (a grandchild keeps the pipe full) until Stop,
    // and with `detached` not even then.
    bool drainForever = false;
    bool detached = false;
    // How the process ended: a tool prints something and exits 0 unless a case says otherwise.
    ToolEnd end{true, 0, 100};
};

class ScriptedTools : public IToolRunner {
public:
    std::deque<ToolRun> runs;
    std::vector<std::string> commands;  // "<type>|<command line>" for each start attempt
    std::vector<std::string> programs;  // the program file of each start attempt
    std::vector<std::string> events;
    std::vector<uint32_t> waits;  // the limit of each wait for the child or a message
    uint64_t* clockMs = nullptr;  // a host clock that each wait advances by its whole limit

    bool Start(const std::string& program, const std::string& commandLine, int updateType,
               uint32_t& lastError) override {
        programs.push_back(program);
        commands.push_back(std::to_string(updateType) + "|" + commandLine);
        events.push_back("Start");
        EXPECT_FALSE(runs.empty()) << "unexpected start of " << commandLine;
        ToolRun run = runs.empty() ? ToolRun{} : runs.front();
        if (!runs.empty()) runs.pop_front();
        if (run.startError) {
            lastError = run.startError;
            return false;
        }
        // Flags only ever go from clear to set during a run.
        m_done |= run.done;
        m_completed |= run.completed;
        m_biosError |= run.biosError;
        m_meError |= run.meError;
        if (run.versionFound) {
            m_versionFound = true;
            m_version = run.version;
        }
        if (!run.errorText.empty()) m_errorText = run.errorText;
        m_passesLeft = run.passes;
        m_drainForever = run.drainForever;
        m_detached = false;
        m_late = run;
        m_end = ToolEnd{};  // unknown until the run is stopped
        m_endOfRun = run.end;
        return true;
    }
    bool ChildHasEnded() override { return m_passesLeft <= 0 || --m_passesLeft <= 0; }
    void Wait(uint32_t limitMs) override {
        waits.push_back(limitMs);
        if (clockMs) *clockMs += limitMs;
    }
    bool OutputTaken() override {
        if (m_drainForever) return false;
        events.push_back("OutputTaken");
        m_meError |= m_late.lateMeError;
        if (!m_late.lateVersion.empty()) {
            m_versionFound = true;
            m_version = m_late.lateVersion;
        }
        m_late = ToolRun{};
        return true;
    }
    bool ReaderDetached() const override { return m_detached; }
    void Stop() override {
        events.push_back("Stop");
        m_passesLeft = 0;
        m_detached = m_drainForever && m_late.detached;
        m_drainForever = false;
        m_end = m_endOfRun;
    }
    ToolEnd LastEnd() const override { return m_end; }
    void RecordToolFailure(const std::string& text, int updateType) override {
        events.push_back("Failure " + std::to_string(updateType) + " " + text);
        m_errorText = text;
        (updateType == 0 ? m_biosError : m_meError) = true;
    }
    void SetPollInterval(int ms) override { events.push_back("Poll " + std::to_string(ms)); }
    void ResetMeResults() override {
        events.push_back("ResetMeResults");
        m_version.clear();
        m_versionFound = m_meError = false;
    }
    void ClearDone() override {
        events.push_back("ClearDone");
        m_done = false;
    }
    void ClearCompleted() override {
        events.push_back("ClearCompleted");
        m_completed = false;
    }
    bool Done() const override { return m_done; }
    bool Completed() const override { return m_completed; }
    bool BiosError() const override { return m_biosError; }
    bool MeError() const override { return m_meError; }
    bool MeVersionFound() const override { return m_versionFound; }
    std::string MeVersion() const override { return m_version; }
    std::string ErrorText() const override { return m_errorText; }

private:
    bool m_done = false, m_completed = false, m_biosError = false, m_meError = false, m_versionFound = false;
    std::string m_version, m_errorText;
    int m_passesLeft = 0;
    bool m_drainForever = false;
    bool m_detached = false;
    ToolRun m_late;
    ToolEnd m_end, m_endOfRun;
};

class RecordingHost : public IUpdateHost {
public:
    std::vector<std::string> events;
    std::deque<int> answers;  // button answers for the message boxes, in order
    bool is64 = false;
    bool winPe = false;
    std::function<std::string(const std::string& current, const std::string& image)> selectSecure;
    std::vector<int> pumps;
    uint32_t slept = 0;
    BitLockerProbe bitlocker;  // unavailable
    int bitlockerCalls = 0;
    uint32_t queryLimitMs = 120000;
    uint64_t clockMs = 0;      // advanced by pumping (50 ms a pass) and sleeping

    void PumpMessages(int maxMessages) override {
        pumps.push_back(maxMessages);
        clockMs += 50;
    }
    void Sleep(uint32_t ms) override {
        slept += ms;
        clockMs += ms;
    }
    BitLockerProbe SuspendBitLocker() override {
        ++bitlockerCalls;
        return bitlocker;
    }
    uint64_t TickMs() override { return clockMs; }
    uint32_t QueryToolLimitMs() override { return queryLimitMs; }
    void DisableUpdateButton() override { events.push_back("DisableUpdate"); }
    void StartSpinner() override { events.push_back("StartSpinner"); }
    void StopSpinner() override { events.push_back("StopSpinner"); }
    void SetWarningStatus(const char* text) override { events.push_back(std::string("Status ") + text); }
    void DisableQuitAndClose() override { events.push_back("DisableQuit"); }
    void EnableQuit() override { events.push_back("EnableQuit"); }
    void CloseDialog(int code) override { events.push_back("Close " + std::to_string(code)); }
    int ShowMessage(const std::string& text, const char* caption, unsigned style) override {
        events.push_back("Box [" + std::string(caption) + "] " + std::to_string(style) + " " + text);
        if (answers.empty()) return 7;  // IDNO
        int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    bool Is64BitWindows() override { return is64; }
    std::string ToolFolder() override { return "C:\\Temp\\pkg"; }
    std::string SystemFolder() override { return "C:\\Windows\\System32"; }
    bool IsWinPE() override { return winPe; }
    std::string SelectSecureFlashFile(const std::string& current, const std::string& image) override {
        events.push_back("SelectSecure " + current);
        return selectSecure ? selectSecure(current, image) : image;
    }
};

constexpr unsigned kErrorOk = box::kOk | box::kIconError;

class UpdateSequenceTest : public testing::Test {
protected:
    UpdateSequenceTest() {
        options.BiosRomFile = "C:\\pkg\\bios.rom";
        options.MeRomFile = "C:\\pkg\\me.bin";
        options.MeVer = "11.8.50";
        versions.currentBios = "A05";
        versions.compatibleA = "A05";
        versions.compatibleX = "X03";
    }

    void Run() {
        CUpdateSequence sequence(host, tools, options, capture.log(), versions, resultCode, rebootRequested);
        sequence.Run();
        EXPECT_TRUE(tools.runs.empty()) << "scripted tool runs left unused";
    }

    static ToolRun Version(const std::string& text) {
        ToolRun run;
        run.versionFound = true;
        run.version = text;
        return run;
    }
    static ToolRun Failing(uint32_t error) {
        ToolRun run;
        run.startError = error;
        return run;
    }

    LogCapture capture;
    ScriptedTools tools;
    RecordingHost host;
    COptionSettings options;
    DialogVersions versions;
    int resultCode = 13;
    bool rebootRequested = false;
};

TEST_F(UpdateSequenceTest, SilentAmdFlashSucceedsAndAsksForReboot) {
    options.AMD = true;
    options.NoPause = true;
    ToolRun bios;
    bios.done = bios.completed = true;
    bios.passes = 3;
    tools.runs = {bios};
    Run();

    EXPECT_EQ(0, resultCode);
    EXPECT_TRUE(rebootRequested);
    EXPECT_THAT(tools.commands, ElementsAre("0|AFUWIN.exe \"C:\\pkg\\bios.rom\" /P /B"));
    EXPECT_THAT(capture.Lines(),
                ElementsAre("$BitLocker, Not available on this system (WMI, hr=0x00000000), going on",
                            "$FlashBios, Check compatible : Cur:A05, VerA:A05, VerX:X03 [" + std::string() + "]",
                            "$FlashBios, CommandLine=[AFUWIN.exe \"C:\\pkg\\bios.rom\" /P /B]",
                            "$FlashBios, ExitCode=[0x00000000]"));
    EXPECT_THAT(host.events,
                ElementsAre("DisableUpdate", "StartSpinner", "Status Updating BIOS. Please DO NOT POWER OFF!",
                            "DisableQuit", "SelectSecure A05", "DisableQuit", "StopSpinner", "EnableQuit", "Close 1"));
    // The BIOS flash sets no poll interval; each pass takes up to 8 messages and, while the
    // tool still runs, waits for it or the next message instead of spinning.
    EXPECT_THAT(tools.events, ElementsAre("Start", "OutputTaken", "Stop"));
    EXPECT_THAT(host.pumps, ElementsAre(8, 8, 8));
    EXPECT_THAT(tools.waits, ElementsAre(100, 100));
    EXPECT_EQ(0u, host.slept);
}

// A grandchild of the flash tool that keeps the pipe full after the tool has ended: the last
// drain is waited for at most 5 s (the passes still serving 8 messages each), then Stop ends it
// and the flash is judged by what was read. A reader that Stop has to leave behind is logged.
TEST_F(UpdateSequenceTest, LastOutputThatNeverEndsIsWaitedForFiveSecondsThenStopped) {
    options.AMD = true;
    options.NoPause = true;
    ToolRun bios;
    bios.done = bios.completed = true;
    bios.passes = 2;
    bios.drainForever = true;
    tools.runs = {bios};
    tools.clockMs = &host.clockMs;
    Run();

    EXPECT_EQ(0, resultCode);
    EXPECT_THAT(tools.events, ElementsAre("Start", "Stop"));
    EXPECT_EQ("$FlashBios, ExitCode=[0x00000000]", capture.Lines().back());
    EXPECT_THAT(capture.Lines(), testing::Not(testing::Contains(testing::HasSubstr("DETACHED"))));
    // Two passes while the tool runs, then passes of 50 ms pumping and a 100 ms wait until
    // 5 s have gone since its end; the last wait is cut to what is left, never past it.
    const uint64_t endedAt = 50 + 100 + 50;
    EXPECT_GE(host.clockMs, endedAt + 5000);
    EXPECT_LT(host.clockMs, endedAt + 5000 + 150);
    EXPECT_GT(host.pumps.size(), 30u);
    for (int pump : host.pumps) EXPECT_EQ(8, pump);
    for (uint32_t wait : tools.waits) EXPECT_LE(wait, 100u);

    ScriptedTools stuckTools;
    LogCapture stuckLog;
    bios.detached = true;
    stuckTools.runs = {bios};
    int code = 13;
    bool reboot = false;
    CUpdateSequence(host, stuckTools, options, stuckLog.log(), versions, code, reboot).Run();
    EXPECT_EQ(0, code);
    const std::vector<std::string> lines = stuckLog.Lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ("$FlashBios, Result=[READER DETACHED], the output reader of the tool did not end",
              lines[lines.size() - 2]);
    EXPECT_EQ("$FlashBios, ExitCode=[0x00000000]", lines.back());
}

TEST_F(UpdateSequenceTest, CompatibilityCheckChoosesFlashOptions) {
    struct Case {
        const char* current;
        const char* a;
        const char* x;
        const char* command;
    };
    const Case cases[] = {
        {"A05", "", "", "AFUWIN.exe \"C:\\pkg\\bios.rom\" /P /B /N"},         // -1: no reference versions
        {"A05", "A07", "X03", "AFUWIN.exe \"C:\\pkg\\bios.rom\" /P /B /N"},   // 1: older than its family's
        {"A05", "A05", "X03", "AFUWIN.exe \"C:\\pkg\\bios.rom\" /P /B"},      // 0
    };
    for (const Case& c : cases) {
        ScriptedTools localTools;
        RecordingHost localHost;
        LogCapture localLog;
        COptionSettings localOptions = options;
        localOptions.AMD = true;
        localOptions.NoPause = true;
        DialogVersions localVersions{c.current, "", "", c.a, c.x};
        localTools.runs = {ToolRun{}};
        int code = 13;
        bool reboot = false;
        CUpdateSequence(localHost, localTools, localOptions, localLog.log(), localVersions, code, reboot).Run();
        EXPECT_THAT(localTools.commands, ElementsAre(std::string("0|") + c.command)) << c.a << " " << c.x;
    }
}

TEST_F(UpdateSequenceTest, SecureCapsuleReplacesTheImageInTheCommandLine) {
    options.AMD = true;
    options.NoPause = true;
    options.NoReboot = true;
    host.is64 = true;
    host.selectSecure = [](const std::string&, const std::string& image) {
        EXPECT_EQ("C:\\pkg\\bios.rom", image);
        return std::string("SecCap.cap");
    };
    tools.runs = {ToolRun{}};
    Run();
    EXPECT_THAT(tools.commands, ElementsAre("0|AFUWINx64.exe \"SecCap.cap\" /P /B"));
    EXPECT_EQ("C:\\pkg\\bios.rom", options.BiosRomFile);  // the choice is the answer, not a side effect
    EXPECT_EQ(0, resultCode);
    EXPECT_FALSE(rebootRequested);
}

TEST_F(UpdateSequenceTest, ImagePathWithAQuoteIsNeverHandedToTheTool) {
    options.AMD = true;
    options.NoPause = true;
    options.BiosRomFile = "a.rom\" /X \"b.rom";
    Run();
    EXPECT_THAT(tools.commands, IsEmpty());
    EXPECT_EQ(1, resultCode);
    EXPECT_EQ("$FlashBios, Result=[ERROR], ErrCode=[123]", capture.Lines().back());
}

TEST_F(UpdateSequenceTest, BiosToolMissing) {
    // Silent: closes with 2, the exit code is the step's 1.
    options.AMD = true;
    options.NoPause = true;
    rebootRequested = true;
    tools.runs = {Failing(2)};
    Run();
    EXPECT_EQ(1, resultCode);
    EXPECT_FALSE(rebootRequested);
    EXPECT_EQ("$FlashBios, Result=[ERROR], ErrCode=[2]", capture.Lines().back());
    EXPECT_THAT(host.events, ElementsAre("DisableUpdate", "StartSpinner",
                                         "Status Updating BIOS. Please DO NOT POWER OFF!", "DisableQuit",
                                         "SelectSecure A05", "Close 2", "StopSpinner"));
}

TEST_F(UpdateSequenceTest, BiosToolMissingInteractiveKeepsTheDialogOpen) {
    options.AMD = true;
    tools.runs = {Failing(2)};
    Run();
    EXPECT_EQ(1, resultCode);
    EXPECT_THAT(host.events, ElementsAre("DisableUpdate", "StartSpinner",
                                         "Status Updating BIOS. Please DO NOT POWER OFF!", "DisableQuit",
                                         "SelectSecure A05",
                                         "Box [Flash BIOS] 16 Flash BIOS Error, GetLastError=2", "StopSpinner"));
}

// Full Windows, ME present: query, BIOS flash, ME flash with the options of the comparison.
TEST_F(UpdateSequenceTest, FullRunWithMeFlash) {
    options.NoPause = true;
    ToolRun meFlash;
    meFlash.completed = true;
    meFlash.passes = 2;
    tools.runs = {Version(" 11.8.40\r"), ToolRun{}, meFlash};
    Run();

    EXPECT_EQ(0, resultCode);
    EXPECT_TRUE(rebootRequested);
    EXPECT_THAT(tools.commands, ElementsAre("1|FWUpdLcl.exe -FWVER", "0|AFUWIN.exe \"C:\\pkg\\bios.rom\" /P /B",
                                            "2|FWUpdLcl.exe -f \"C:\\pkg\\me.bin\"  -generic"));
    EXPECT_THAT(capture.Lines(),
                ElementsAre("$GetMeVersion, CommandLine=[FWUpdLcl.exe -FWVER]", "$GetMeVersion, ExitCode=[0x00000000]",
                            "$BitLocker, Not available on this system (WMI, hr=0x00000000), going on",
                            "$FlashBios, Check compatible : Cur:A05, VerA:A05, VerX:X03 []",
                            "$FlashBios, CommandLine=[AFUWIN.exe \"C:\\pkg\\bios.rom\" /P /B]",
                            "$FlashBios, ExitCode=[0x00000000]",
                            "$CompareMeVersion, Cur:\"11.8.40\", New:\"11.8.50\"",
                            "$FlashME, CommandLine=[FWUpdLcl.exe -f \"C:\\pkg\\me.bin\"  -generic]",
                            "$FlashME, ExitCode=[0x00000000]"));
    EXPECT_THAT(tools.events,
                ElementsAre("ClearDone", "Poll 50", "Start", "OutputTaken", "Stop", "ResetMeResults",  // query
                            "Start", "OutputTaken", "Stop",                                            // BIOS
                            "ResetMeResults", "ClearCompleted", "ClearDone", "Poll 0", "Start",             // ME
                            "OutputTaken", "Stop"));
    // The first query pumps one message a pass and sleeps 500 ms after the tool; only the ME
    // flash, in the first of its two passes, finds its tool still running and waits.
    EXPECT_EQ(500u, host.slept);
    EXPECT_THAT(host.pumps, ElementsAre(1, 8, 8, 8));
    EXPECT_THAT(tools.waits, ElementsAre(100));
    EXPECT_THAT(host.events, testing::Contains("Status Updating ME. Please DO NOT POWER OFF!"));
}

TEST_F(UpdateSequenceTest, MeVersionDecidesWhetherAndHowTheMeIsFlashed) {
    struct Case {
        const char* running;
        const char* target;
        bool meupd;
        const char* meCommand;  // nullptr: no ME flash
    };
    const Case cases[] = {
        {"11.8.50", "11.8.50", false, nullptr},
        {"11.8.50", "11.8.50", true, "2|FWUpdLcl64.exe -f \"C:\\pkg\\me.bin\"  -generic -allowsv "},
        {"11.8.60", "11.8.50", true, nullptr},   // running is newer
        {"11.8.50", "11.8.x", true, nullptr},    // malformed target: no flash, no message
        {"9.1.2\r\n", "9.1.3", false, "2|FWUpdLcl64.exe -f \"C:\\pkg\\me.bin\"  -generic"},
    };
    for (const Case& c : cases) {
        ScriptedTools localTools;
        RecordingHost localHost;
        LogCapture localLog;
        COptionSettings localOptions = options;
        localOptions.NoPause = true;
        localOptions.MeVer = c.target;
        localOptions.MEUPD = c.meupd;
        localHost.is64 = true;
        localTools.runs = {Version(c.running), ToolRun{}};
        if (c.meCommand) localTools.runs.push_back(ToolRun{});
        int code = 13;
        bool reboot = false;
        CUpdateSequence(localHost, localTools, localOptions, localLog.log(), versions, code, reboot).Run();
        EXPECT_EQ(0, code) << c.running << " " << c.target;
        ASSERT_EQ(c.meCommand ? 3u : 2u, localTools.commands.size()) << c.running << " " << c.target;
        if (c.meCommand) {
            EXPECT_EQ(c.meCommand, localTools.commands[2]);
        }
        EXPECT_TRUE(localTools.runs.empty());
    }
}

TEST_F(UpdateSequenceTest, BiosErrorWithSuccessfulMeFlashIsCode1AndRebootOnYes) {
    ToolRun bios;
    bios.biosError = true;
    bios.errorText = "Error message: 5 - Error: ROM file size mismatch";
    ToolRun meFlash;
    meFlash.done = true;
    tools.runs = {Version("11.8.40"), bios, meFlash};
    host.answers = {box::kAnswerYes};
    DebugCapture debug;
    Run();
    EXPECT_EQ(1, resultCode);
    EXPECT_TRUE(rebootRequested);
    EXPECT_EQ(3u, tools.commands.size());
    EXPECT_EQ("Box [Update BIOS] " + std::to_string(box::kYesNo | box::kIconError) +
                  " Update Failed!\n\"Error message: 5 - Error: ROM file size mismatch\"\nIt will take effect after "
                  "reboot!\nReboot now?",
              host.events[host.events.size() - 3]);
    EXPECT_EQ("Close 1", host.events.back());
    // Written always, not only with the developer option.
    EXPECT_THAT(debug.Texts(), testing::Contains("Got flash error.\r\n"));
}

TEST_F(UpdateSequenceTest, CleanBiosWithMeErrorIsCode31) {
    options.NoReboot = true;
    ToolRun meFlash;
    meFlash.meError = true;
    meFlash.errorText = "Error 8716: Invalid usage";
    tools.runs = {Version("11.8.40"), ToolRun{}, meFlash};
    Run();
    EXPECT_EQ(31, resultCode);
    EXPECT_FALSE(rebootRequested);
    EXPECT_EQ("Box [Update BIOS] " + std::to_string(box::kOk | box::kIconInformation) +
                  " Update Failed!\n\"Error 8716: Invalid usage\"\nIt will take effect after reboot!",
              host.events[host.events.size() - 3]);
}

TEST_F(UpdateSequenceTest, MeErrorOutweighedByCompletionCountsAsSuccess) {
    options.NoPause = true;
    ToolRun meFlash;
    meFlash.meError = true;
    meFlash.completed = true;
    tools.runs = {Version("11.8.40"), ToolRun{}, meFlash};
    Run();
    EXPECT_EQ(0, resultCode);
}

// A flash tool's end can fail its step on its own: a fault exit status, or no output at all.
// Its ordinary exit codes decide nothing; every tool's code is logged.
TEST_F(UpdateSequenceTest, FlashToolEndedByAFaultOrSilentFailsItsStep) {
    struct Case {
        const char* name;
        ToolEnd bios, me;
        bool meCompleted;
        int code;
        const char* failure;  // the step's recorded failure, "" for none
    };
    const Case cases[] = {
        {"BIOS crash", {true, 0xC0000005u, 400}, {true, 0, 50}, false, 1,
         "Failure 0 AFUWIN.exe ended abnormally, exit code 0xC0000005"},
        {"BIOS silent", {true, 0, 0}, {true, 0, 50}, false, 1, "Failure 0 AFUWIN.exe ended without printing anything"},
        {"BIOS silent crash", {true, 0xC000013Au, 0}, {true, 0, 50}, false, 1,
         "Failure 0 AFUWIN.exe ended abnormally, exit code 0xC000013A"},
        {"BIOS ordinary codes", {true, 0xBFFFFFFFu, 10}, {true, 0x103, 50}, false, 0, ""},
        {"BIOS code unknown", {false, 0, 10}, {true, 0, 50}, false, 0, ""},
        // The fault outweighs the completion text, which would outweigh a printed error.
        {"ME crash after completion", {true, 1, 10}, {true, 0xC0000409u, 50}, true, 31,
         "Failure 2 FWUpdLcl.exe ended abnormally, exit code 0xC0000409"},
        {"ME silent", {true, 0, 10}, {true, 0, 0}, false, 31, "Failure 2 FWUpdLcl.exe ended without printing anything"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedTools localTools;
        RecordingHost localHost;
        LogCapture localLog;
        COptionSettings silent = options;
        silent.NoPause = true;
        ToolRun query = Version("11.8.40"), bios, me;
        query.end = {true, 8703, 30};  // an ordinary code of a query that answered
        bios.end = c.bios;
        me.end = c.me;
        me.completed = c.meCompleted;
        localTools.runs = {query, bios, me};
        int code = 13;
        bool reboot = false;
        CUpdateSequence(localHost, localTools, silent, localLog.log(), versions, code, reboot).Run();
        EXPECT_EQ(c.code, code);
        std::vector<std::string> failures;
        for (const std::string& e : localTools.events)
            if (e.rfind("Failure ", 0) == 0) failures.push_back(e);
        EXPECT_EQ(*c.failure ? std::vector<std::string>{c.failure} : std::vector<std::string>{}, failures);
        const std::vector<std::string> lines = localLog.Lines();
        auto logged = [&](const std::string& line) { return std::count(lines.begin(), lines.end(), line); };
        EXPECT_EQ(1, logged("$GetMeVersion, ExitCode=[0x000021FF]"));
        EXPECT_EQ(1, logged("$FlashBios, " + ExitCodeLogText(c.bios)));
        EXPECT_EQ(1, logged("$FlashME, " + ExitCodeLogText(c.me)));
    }

    // Interactively the failure is the verdict's, with the recorded text in its box.
    ToolRun crashed;
    crashed.end = {true, 0xC0000005u, 0};
    options.AMD = true;
    options.NoReboot = true;
    tools.runs = {crashed};
    Run();
    EXPECT_EQ(1, resultCode);
    EXPECT_EQ("Box [Update BIOS] " + std::to_string(box::kOk | box::kIconInformation) +
                  " Update Failed!\n\"AFUWIN.exe ended abnormally, exit code 0xC0000005\"\nIt will take effect "
                  "after reboot!",
              host.events[host.events.size() - 3]);
    EXPECT_EQ("$FlashBios, ExitCode=[0xC0000005]", capture.Lines().back());
}

TEST_F(UpdateSequenceTest, InteractiveSuccessFormsOfTheVerdict) {
    options.AMD = true;
    tools.runs = {ToolRun{}};
    host.answers = {7};  // No
    Run();
    EXPECT_EQ(0, resultCode);
    EXPECT_FALSE(rebootRequested);
    EXPECT_EQ("Box [Update BIOS] " + std::to_string(box::kYesNo | box::kIconQuestion) +
                  " Update successful!\nIt will take effect after reboot!\nReboot now?",
              host.events[host.events.size() - 3]);

    RecordingHost okHost;
    ScriptedTools okTools;
    LogCapture okLog;
    options.NoReboot = true;
    okTools.runs = {ToolRun{}};
    int code = 13;
    bool reboot = true;
    CUpdateSequence(okHost, okTools, options, okLog.log(), versions, code, reboot).Run();
    EXPECT_FALSE(reboot);
    EXPECT_EQ("Box [Update BIOS] " + std::to_string(box::kOk | box::kIconInformation) +
                  " Update successful!\nIt will take effect after reboot!",
              okHost.events[okHost.events.size() - 3]);
}

TEST_F(UpdateSequenceTest, WinPeDriverLoadFailure) {
    options.NoPause = true;
    host.winPe = true;
    ToolRun driver;
    driver.meError = true;
    driver.errorText = "DrvLoad: Unable to load HECI.inf";
    driver.passes = 50;  // Stop ends the loader at the first error
    driver.end.exitCode = 0x103;  // as Stop ends it
    tools.runs = {driver};
    Run();
    EXPECT_EQ(32, resultCode);
    EXPECT_THAT(tools.commands, ElementsAre("3|drvload HECI.inf"));
    EXPECT_THAT(capture.Lines(), ElementsAre("$Load ME Driver on WinPE, CommandLine=[drvload HECI.inf]",
                                             "$Load ME Driver on WinPE, ExitCode=[0x00000103]",
                                             "$Load ME Driver on WinPE, Result=[ME Driver load failed now, please "
                                             "check it]"));
    EXPECT_THAT(host.events, ElementsAre("DisableUpdate", "StartSpinner", "Close 2", "StopSpinner"));
    EXPECT_EQ(500u, host.slept);  // one pass that finds the loader ended, then 500 ms
    EXPECT_THAT(tools.waits, IsEmpty());
}

TEST_F(UpdateSequenceTest, WinPeDriverLoaderMissingInteractive) {
    host.winPe = true;
    tools.runs = {Failing(2)};
    Run();
    EXPECT_EQ(33, resultCode);
    EXPECT_THAT(capture.Lines(), ElementsAre("$Load ME Driver on WinPE, CommandLine=[drvload HECI.inf]",
                                             "$Load ME Driver on WinPE, Result=[ERROR], ErrCode=[2]"));
    EXPECT_THAT(host.events,
                ElementsAre("DisableUpdate", "StartSpinner",
                            "Box [Load ME Driver on WinPE] 16 [Error] Load ME Driver on WinPE, GetLastError=2",
                            "StopSpinner"));
}

TEST_F(UpdateSequenceTest, WinPeDriverLoadedThenQueryAndFlash) {
    options.NoPause = true;
    host.winPe = true;
    host.is64 = true;
    tools.runs = {ToolRun{}, Version("11.8.50"), ToolRun{}};
    Run();
    EXPECT_EQ(0, resultCode);
    EXPECT_THAT(tools.commands, ElementsAre("3|drvload HECI.inf", "1|FWUpdLcl64.exe -FWVER",
                                            "0|AFUWINx64.exe \"C:\\pkg\\bios.rom\" /P /B"));
    // Each tool is started from its file, never searched for: the loader from the system
    // directory, the ME and flash tools from the program's own folder.
    EXPECT_THAT(tools.programs, ElementsAre("C:\\Windows\\System32\\drvload.exe", "C:\\Temp\\pkg\\FWUpdLcl64.exe",
                                            "C:\\Temp\\pkg\\AFUWINx64.exe"));
}

TEST_F(UpdateSequenceTest, MeQueryFailures) {
    // Tool missing: 32 under "GetMeVersion".
    tools.runs = {Failing(2)};
    Run();
    EXPECT_EQ(32, resultCode);
    EXPECT_THAT(capture.Lines(), ElementsAre("$GetMeVersion, CommandLine=[FWUpdLcl.exe -FWVER]",
                                             "$GetMeVersion, Result=[ERROR], ErrCode=[2]"));
    EXPECT_EQ("Box [Get ME Version] 16 GetMeVersion Error, GetLastError=2", host.events[2]);

    // No version and an error: ME not available, 32, before anything is flashed.
    RecordingHost host2;
    ScriptedTools tools2;
    LogCapture log2;
    ToolRun noMe;
    noMe.meError = true;
    noMe.errorText = "Error 8193: Intel (R) ME Interface : Cannot locate ME device driver";
    tools2.runs = {noMe};
    int code = 13;
    bool reboot = true;
    CUpdateSequence(host2, tools2, options, log2.log(), versions, code, reboot).Run();
    EXPECT_EQ(32, code);
    EXPECT_FALSE(reboot);
    EXPECT_EQ(1u, tools2.commands.size());
    EXPECT_EQ("$CheckMeFunction, Result=[ME is not available now, please check it]", log2.Lines().back());
    EXPECT_EQ("Box [ME Info] " + std::to_string(kErrorOk) + " ME is not available now, please check it",
              host2.events[2]);
}

TEST_F(UpdateSequenceTest, EmptyVersionBeforeFlashIsQueriedAgainAfterIt) {
    options.NoPause = true;
    // The first answer carries "FW Version:" without its line feed: found, but empty.
    ToolRun again;
    again.meError = true;  // the second query fails: ME not available after the flash, code 1
    tools.runs = {Version(""), ToolRun{}, again};
    Run();
    EXPECT_EQ(1, resultCode);
    EXPECT_THAT(tools.commands,
                ElementsAre("1|FWUpdLcl.exe -FWVER", "0|AFUWIN.exe \"C:\\pkg\\bios.rom\" /P /B", "1|FWUpdLcl.exe -FWVER"));
    EXPECT_EQ("$CheckMeFunction, Result=[ME is not available now, please check it]", capture.Lines().back());
    EXPECT_EQ("Close 2", host.events[host.events.size() - 2]);

    // The second query also finds an empty version: "Get empty ME Version", 32.
    RecordingHost host2;
    ScriptedTools tools2;
    LogCapture log2;
    tools2.runs = {Version(""), ToolRun{}, Version("")};
    int code = 13;
    bool reboot = true;
    CUpdateSequence(host2, tools2, options, log2.log(), versions, code, reboot).Run();
    EXPECT_EQ(32, code);
    EXPECT_FALSE(reboot);
    EXPECT_EQ("$GetMeVersion, Get empty ME Version", log2.Lines().back());
}

TEST_F(UpdateSequenceTest, MeFlashToolMissingUsesTheLowerCaseTag) {
    tools.runs = {Version("11.8.40"), ToolRun{}, Failing(2)};
    Run();
    EXPECT_EQ(31, resultCode);
    std::vector<std::string> lines = capture.Lines();
    EXPECT_EQ("$FlashME, CommandLine=[FWUpdLcl.exe -f \"C:\\pkg\\me.bin\"  -generic]", lines[lines.size() - 2]);
    EXPECT_EQ("$FlashMe, Result=[ERROR], ErrCode=[2]", lines.back());
    EXPECT_EQ("Box [Flash ME] 16 Flash ME Error, GetLastError=2", host.events[host.events.size() - 2]);
}

// Lines a tool prints just before it ends are read after the last pass; they still count.
TEST_F(UpdateSequenceTest, OutputReadAfterTheChildEndedStillCounts) {
    options.NoPause = true;
    ToolRun meFlash;
    meFlash.lateMeError = true;
    tools.runs = {Version("11.8.40"), ToolRun{}, meFlash};
    Run();
    EXPECT_EQ(31, resultCode);

    // A version that arrives only with the last drain of the second query is taken.
    ScriptedTools tools2;
    RecordingHost host2;
    LogCapture log2;
    ToolRun lateQuery;
    lateQuery.lateVersion = "11.8.50";
    tools2.runs = {Version(""), ToolRun{}, lateQuery};
    int code = 13;
    bool reboot = false;
    CUpdateSequence(host2, tools2, options, log2.log(), versions, code, reboot).Run();
    EXPECT_EQ(0, code);
    EXPECT_EQ("$CompareMeVersion, Cur:\"11.8.50\", New:\"11.8.50\"", log2.Lines().back());
}

TEST_F(UpdateSequenceTest, DeveloperTraceOnlyWithOvrel) {
    ToolRun query = Version("11.8.40");
    ToolRun meFlash;
    meFlash.meError = true;
    meFlash.errorText = "Error 1";
    meFlash.done = true;
    options.NoPause = true;
    tools.runs = {query, ToolRun{}, meFlash};
    {
        DebugCapture debug;
        Run();
        EXPECT_THAT(debug.Texts(), IsEmpty());
    }
    ScriptedTools tools2;
    RecordingHost host2;
    LogCapture log2;
    tools2.runs = {query, ToolRun{}, meFlash};
    options.Ovrel = true;
    int code = 13;
    bool reboot = false;
    DebugCapture debug;
    CUpdateSequence(host2, tools2, options, log2.log(), versions, code, reboot).Run();
    // Each pass traces what it sees, and so does the look at the last output after the end.
    EXPECT_THAT(debug.Texts(), ElementsAre("@ Got MeVer.[11.8.40]", "@ Got MeVer.[11.8.40]",
                                           "@ Got Error msg for MeVer.[Error 1]", "@ No more message",
                                           "@ Got Error msg for MeVer.[Error 1]", "@ No more message"));
    EXPECT_EQ(0, code);
}

BitLockerProbe Probe(BitLockerProbe::State state, const char* call, uint32_t hr, bool rebootCount = true) {
    BitLockerProbe probe;
    probe.state = state;
    probe.call = call;
    probe.hr = hr;
    probe.rebootCountApplied = rebootCount;
    return probe;
}

// The answers the simulation does not give; the others run end to end.
TEST_F(UpdateSequenceTest, BitLockerWithoutRestartCountSaysItStaysSuspended) {
    options.AMD = true;
    options.NoPause = true;
    host.bitlocker = Probe(BitLockerProbe::State::kSuspended, "DisableKeyProtectors", 0, false);
    tools.runs = {ToolRun{}};
    RunReport report;
    CUpdateSequence sequence(host, tools, options, capture.log(), versions, resultCode, rebootRequested);
    sequence.AttachReport(&report);
    sequence.Run();
    EXPECT_EQ(0, resultCode);
    EXPECT_EQ("$BitLocker, Protection suspended (DisableKeyProtectors, hr=0x00000000); this Windows has no restart "
              "count: protection stays suspended until resumed",
              capture.Lines().front());
    EXPECT_EQ("suspended", report.bitlocker);
}

TEST_F(UpdateSequenceTest, BitLockerRefusalInteractiveShowsItsBoxAndLeavesQuitUsable) {
    options.AMD = true;
    host.bitlocker = Probe(BitLockerProbe::State::kFailed, "DisableKeyProtectors", 0x80310000);
    Run();
    EXPECT_EQ(16, resultCode);
    EXPECT_THAT(host.events,
                ElementsAre("DisableUpdate", "StartSpinner",
                            "Box [BitLocker] 16 BitLocker protection of the Windows volume could not be suspended "
                            "(hr=0x80310000).\nThe BIOS was not flashed: with protection on, the next start would "
                            "ask for the recovery key.",
                            "StopSpinner"));
}

// The ME pre-steps run first and can refuse without BitLocker ever being touched.
TEST_F(UpdateSequenceTest, NoBitLockerCallWhenNoBiosFlashIsReached) {
    options.NoPause = true;
    tools.runs = {Failing(2)};
    Run();
    EXPECT_EQ(32, resultCode);
    EXPECT_EQ(0, host.bitlockerCalls);
}

// In silent mode a query tool that never ends is ended after the limit and fails its step; the
// flash tools and interactive runs are never bounded.
TEST_F(UpdateSequenceTest, HungQueriesAreEndedOnlyInSilentMode) {
    struct Case {
        const char* name;
        bool silent;
        bool winPe;
        int code;
        std::vector<std::string> log;
    };
    const std::vector<Case> cases = {
        {"silent driver load", true, true, 32,
         {"$Load ME Driver on WinPE, CommandLine=[drvload HECI.inf]",
          "$Load ME Driver on WinPE, Result=[TIMEOUT], the tool was ended after 3.000 s",
          "$Load ME Driver on WinPE, ExitCode=[unknown]",
          "$Load ME Driver on WinPE, Result=[ME Driver load failed now, please check it]"}},
        {"silent version query", true, false, 32,
         {"$GetMeVersion, CommandLine=[FWUpdLcl.exe -FWVER]", "$GetMeVersion, Result=[TIMEOUT], the tool was ended after 3.000 s",
          "$GetMeVersion, ExitCode=[unknown]",
          "$CheckMeFunction, Result=[ME is not available now, please check it]"}},
    };
    for (const Case& c : cases) {
        ScriptedTools localTools;
        RecordingHost localHost;
        LogCapture localLog;
        COptionSettings localOptions = options;
        localOptions.NoPause = c.silent;
        localHost.winPe = c.winPe;
        localHost.queryLimitMs = 2950;
        localTools.clockMs = &localHost.clockMs;
        ToolRun hung = Version("11.8.40");  // a version printed before hanging does not count
        hung.passes = 1000000;
        hung.end.exitCodeKnown = false;  // a process that would not go away in time
        localTools.runs = {hung};
        int code = 13;
        bool reboot = false;
        CUpdateSequence(localHost, localTools, localOptions, localLog.log(), versions, code, reboot).Run();
        EXPECT_EQ(c.code, code) << c.name;
        EXPECT_EQ(c.log, localLog.Lines()) << c.name;
        // 50 ms of pumping and a 100 ms wait a pass; the 20th wait is cut to the 50 ms left of the
        // 2.95 s limit, and the 21st pass finds it passed. A wait that overshot would log 3.050 s.
        EXPECT_EQ(21u, localHost.pumps.size()) << c.name;
        EXPECT_EQ(50u, localTools.waits.back()) << c.name;
        EXPECT_EQ(0, localHost.bitlockerCalls) << c.name;
    }

    // Interactive: the same slow query is waited for to its end, and the run goes on.
    options.NoPause = false;
    host.queryLimitMs = 3000;
    ToolRun slow = Version("11.8.40");
    slow.passes = 100;
    ToolRun slowBios;
    slowBios.passes = 400;  // 20 s of flashing at 50 ms a pass
    tools.runs = {slow, slowBios, ToolRun{}};
    Run();
    EXPECT_EQ(0, resultCode);
    EXPECT_THAT(capture.Lines(), testing::Not(testing::Contains(testing::HasSubstr("TIMEOUT"))));

    // Silent: the BIOS flash tool runs as long as it needs.
    ScriptedTools localTools;
    RecordingHost localHost;
    LogCapture localLog;
    COptionSettings silent = options;
    silent.NoPause = true;
    silent.AMD = true;
    localHost.queryLimitMs = 1;
    localTools.runs = {slowBios};
    int code = 13;
    bool reboot = false;
    CUpdateSequence(localHost, localTools, silent, localLog.log(), versions, code, reboot).Run();
    EXPECT_EQ(0, code);
    EXPECT_EQ(400u, localHost.pumps.size());
}

// A step that fails to start leaves its message as the ME error (the rest runs end to end).
TEST_F(UpdateSequenceTest, ReportCarriesTheFailedStepsMessage) {
    options.NoPause = true;
    tools.runs = {Version("11.8.40"), ToolRun{}, Failing(5)};
    RunReport report;
    CUpdateSequence sequence(host, tools, options, capture.log(), versions, resultCode, rebootRequested);
    sequence.AttachReport(&report);
    sequence.Run();
    EXPECT_EQ(31, resultCode);
    EXPECT_TRUE(report.biosFlashed);
    EXPECT_FALSE(report.meFlashed);
    EXPECT_EQ("Flash ME Error, GetLastError=5", report.meError.value_or(""));
}

}  // namespace
