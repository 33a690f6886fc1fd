#include "updater/tools/redirector_win32.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "tests/support/debug_capture.h"
#include "tests/support/tool_transcripts.h"
#include "tests/windows/tools/tool_harness_win32.h"
#include "updater/tools/redir_msg_edit_win32.h"
#include "updater/tools/update_type.h"

namespace {

using namespace toolharness;

// Exposes what the tests need to observe of a run; records every hook call.
template <typename Base>
class Observed : public Base {
public:
    using Base::Base;

    std::vector<std::string> Chunks() {
        std::lock_guard<std::mutex> lock(m_observed);
        return m_chunks;
    }
    std::string Output() {
        std::string all;
        for (const std::string& chunk : Chunks()) all += chunk;
        return all;
    }
    std::vector<std::pair<std::string, int>> Errors() {
        std::lock_guard<std::mutex> lock(m_observed);
        return m_errors;
    }
    // A handle of our own on the child, to watch it after the run has closed its handle.
    fw::UniqueHandle DuplicateChild() {
        HANDLE copy = nullptr;
        HANDLE self = ::GetCurrentProcess();
        if (this->m_hChild) ::DuplicateHandle(self, this->m_hChild.get(), self, &copy, 0, FALSE, DUPLICATE_SAME_ACCESS);
        return fw::UniqueHandle(copy);
    }
    HANDLE ReaderThread() const { return this->m_hReaderThread.get(); }

protected:
    void OnOutputChunk(const char* chunk) override {
        {
            std::lock_guard<std::mutex> lock(m_observed);
            m_chunks.emplace_back(chunk);
        }
        Base::OnOutputChunk(chunk);
    }
    void OnToolError(const char* text, int updateType) override {
        {
            std::lock_guard<std::mutex> lock(m_observed);
            m_errors.emplace_back(text, updateType);
        }
        Base::OnToolError(text, updateType);
    }

private:
    std::mutex m_observed;
    std::vector<std::string> m_chunks;
    std::vector<std::pair<std::string, int>> m_errors;
};

using ObservedRedirector = Observed<CRedirector>;
using ObservedMsgEdit = Observed<CRedirMsgEdit>;

// The program a command line names in its first token (quoted or up to the first blank): the
// redirector is handed it as the program file, as the update sequence does.
std::string ProgramOf(const std::string& commandLine) {
    if (!commandLine.empty() && commandLine[0] == '"') return commandLine.substr(1, commandLine.find('"', 1) - 1);
    return commandLine.substr(0, commandLine.find(' '));
}

template <typename Redirector>
BOOL StartRun(Redirector& redirector, const std::string& commandLine, int updateType) {
    return redirector.Start(ProgramOf(commandLine).c_str(), commandLine.c_str(), updateType);
}

std::string BiosTool() { return Quoted(StandinFolder() + "AFUWIN.exe") + " \"C:\\images\\bios.rom\" /P /B"; }
std::string MeTool(const char* arguments) { return Quoted(StandinFolder() + "FWUpdLcl.exe") + " " + arguments; }

TEST(RedirectorStartTest, MissingProgramFailsWithErrorTwoAndReportsIt) {
    testsupport::DebugCapture capture;
    ObservedRedirector redirector(true);  // traced
    ::SetLastError(0);
    EXPECT_FALSE(StartRun(redirector, "C:\\windows\\AFUWIN.exe /P /B", UpdateTypeBios));
    EXPECT_EQ(2u, ::GetLastError());
    ASSERT_EQ(1u, redirector.Errors().size());
    EXPECT_EQ("Redirect console error: 2\r\n", redirector.Errors()[0].first);
    EXPECT_EQ(UpdateTypeBios, redirector.Errors()[0].second);
    EXPECT_TRUE(capture.Contains("Open UpdateType: 0"));
    EXPECT_TRUE(capture.Contains("---> CreateProcess : C:\\windows\\AFUWIN.exe /P /B <---"));
    EXPECT_TRUE(capture.Contains("Redirect console error: 0x2"));
    // The failed run leaves nothing behind.
    EXPECT_TRUE(redirector.ChildHasEnded());
    EXPECT_FALSE(redirector.WriteInput("Y"));
    EXPECT_EQ(nullptr, redirector.ReaderThread());
}

TEST(RedirectorStartTest, MissingProgramRaisesTheErrorFlagOfItsToolType) {
    HiddenEdit window;
    CExpandEditBox edit(window.Get());
    CRedirMsgEdit meTool(&edit, ToolOutputFlags{});
    EXPECT_FALSE(StartRun(meTool, "C:\\windows\\FWUpdLcl.exe -FWVER", UpdateTypeMeVersion));
    EXPECT_EQ(2u, ::GetLastError());
    EXPECT_TRUE(meTool.MeError());
    EXPECT_FALSE(meTool.BiosError());
    EXPECT_EQ("Redirect console error: 2\r\n", meTool.ErrorText());

    CRedirMsgEdit biosTool(&edit, ToolOutputFlags{});
    EXPECT_FALSE(StartRun(biosTool, "C:\\windows\\AFUWIN.exe", UpdateTypeBios));
    EXPECT_TRUE(biosTool.BiosError());
    EXPECT_EQ("Error message: Redirect console error: 2", biosTool.ErrorText());
}

TEST(RedirectorStartTest, TheProgramFileIsStartedNeverTheCommandLinesFirstWord) {
    // The command line names a stand-in that exists; the program file handed over does not
    // (in a folder that exists, as the tools' folder does).
    // A search for the first word would find and start the stand-in.
    StandinScript script("exit 0\n");
    ObservedRedirector redirector;
    EXPECT_FALSE(redirector.Start("C:\\windows\\AFUWIN.exe", BiosTool().c_str(), UpdateTypeBios));
    EXPECT_EQ(2u, ::GetLastError());
    // Without a program file nothing is started, whatever the command line names.
    EXPECT_FALSE(redirector.Start(nullptr, BiosTool().c_str(), UpdateTypeBios));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), ::GetLastError());
    EXPECT_FALSE(redirector.Start("", BiosTool().c_str(), UpdateTypeBios));
    EXPECT_EQ(3u, redirector.Errors().size());
}

TEST(RedirectorRunTest, SilentChildEndsTheRunWithReaderResultZeroAndNoHook) {
    StandinScript script("exit 0xC0000005\n");
    ObservedRedirector redirector;
    DWORD code = 0;
    EXPECT_FALSE(redirector.GetChildExitCode(code));  // before any run
    ASSERT_TRUE(StartRun(redirector, BiosTool().c_str(), UpdateTypeBios));
    ASSERT_NE(nullptr, redirector.ReaderThread());
    EXPECT_EQ(0u, WaitForExitCode(redirector.ReaderThread(), true));
    EXPECT_TRUE(redirector.ChildHasEnded());
    EXPECT_TRUE(redirector.ReaderHasEnded());
    EXPECT_TRUE(redirector.Chunks().empty());
    EXPECT_TRUE(redirector.Errors().empty());
    redirector.Stop();
    EXPECT_EQ(nullptr, redirector.ReaderThread());
    // The run's end stays readable after its handles are gone.
    ASSERT_TRUE(redirector.GetChildExitCode(code));
    EXPECT_EQ(0xC0000005u, code);
    EXPECT_EQ(0u, redirector.OutputBytes());
}

TEST(RedirectorRunTest, CommandLineReachesTheChildVerbatim) {
    StandinScript script("");
    ObservedRedirector redirector;
    ASSERT_TRUE(StartRun(redirector, MeTool("-FWVER").c_str(), UpdateTypeMeVersion));
    ASSERT_NE(0xDEADBEEFu, WaitForExitCode(redirector.ReaderThread(), true));
    ASSERT_TRUE(StartRun(redirector, MeTool("-f \"C:\\me image.bin\"  -generic -allowsv ").c_str(), UpdateTypeMeUpdate));
    ASSERT_NE(0xDEADBEEFu, WaitForExitCode(redirector.ReaderThread(), true));
    redirector.Stop();
    EXPECT_EQ(MeTool("-FWVER") + "\n" + MeTool("-f \"C:\\me image.bin\"  -generic -allowsv ") + "\n",
              script.Recorded());
}

TEST(RedirectorRunTest, MoreThanOneChunkWaitingArrivesAsOrderedChunksOfAtMost1023Bytes) {
    // One write of 3000 bytes, then a pause, so everything waits in the pipe at once.
    StandinScript script("fill 3000 0123456789abcdefghijklmnopqrstuvwxyz\nsleep 300\n");
    std::string expected;
    const std::string pattern = "0123456789abcdefghijklmnopqrstuvwxyz";
    while (expected.size() < 3000) expected += pattern[expected.size() % pattern.size()];

    ObservedRedirector redirector;
    ASSERT_TRUE(StartRun(redirector, BiosTool().c_str(), UpdateTypeBios));
    EXPECT_EQ(0u, WaitForExitCode(redirector.ReaderThread(), true));
    std::vector<std::string> chunks = redirector.Chunks();
    EXPECT_GE(chunks.size(), 3u);
    for (const std::string& chunk : chunks) {
        EXPECT_LE(chunk.size(), 1023u);
        EXPECT_FALSE(chunk.empty());
    }
    EXPECT_EQ(expected, redirector.Output());
}

TEST(RedirectorRunTest, ZeroPollIntervalStillDeliversOutputWhileTheChildRuns) {
    // The ME update asks for 0 ms and a negative interval must not mean "forever": both read
    // at the shortest interval. The child keeps running, so only polling can deliver its output.
    StandinScript script("sleep 100\nprint a\nsleep 50\nprint bc\nhang\n");
    for (int interval : {0, -5}) {
        SCOPED_TRACE("interval " + std::to_string(interval));
        ObservedMsgEdit redirector(nullptr, ToolOutputFlags{});
        redirector.SetPollInterval(interval);
        ASSERT_TRUE(StartRun(redirector, MeTool("-f x").c_str(), UpdateTypeMeUpdate));
        fw::UniqueHandle child = redirector.DuplicateChild();
        EXPECT_TRUE(PumpUntil([&] { return redirector.Output() == "abc"; }));
        redirector.Stop();
        EXPECT_EQ(STILL_ACTIVE, WaitForExitCode(child.get()));
    }
}

TEST(RedirectorRunTest, TheWaitSleepsUntilTheChildEndsThenTheReaderOrAMessageWaits) {
    StandinScript script("sleep 400\nprint done\n");
    ObservedRedirector redirector;
    EXPECT_EQ(WAIT_OBJECT_0, redirector.WaitForRunOrMessage(0));  // no run: nothing to wait for
    ASSERT_TRUE(StartRun(redirector, BiosTool().c_str(), UpdateTypeBios));

    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), redirector.WaitForRunOrMessage(20));
    // A message that is waiting wakes the wait at once, also when a look at the queue has
    // already seen it and left it there.
    ASSERT_TRUE(::PostThreadMessageA(::GetCurrentThreadId(), WM_APP, 0, 0));
    ASSERT_TRUE(::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(WAIT_OBJECT_0 + 1, redirector.WaitForRunOrMessage(kWaitMs));
    ASSERT_TRUE(::PeekMessageA(&msg, nullptr, WM_APP, WM_APP, PM_REMOVE));

    // With the queue empty it sleeps until the child has ended, and then until the reader has
    // taken the last output; after that there is nothing left to wait for.
    for (int phase = 0; phase < 2; ++phase) {
        DWORD woken = WAIT_TIMEOUT;
        for (int pass = 0; pass < 100 && woken != WAIT_OBJECT_0; ++pass) {
            woken = redirector.WaitForRunOrMessage(kWaitMs);
            while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&msg);
        }
        EXPECT_EQ(WAIT_OBJECT_0, woken);
        EXPECT_TRUE(redirector.ChildHasEnded());
    }
    EXPECT_TRUE(redirector.ReaderHasEnded());
    EXPECT_EQ(0u, WaitForExitCode(redirector.ReaderThread(), true));
    EXPECT_EQ("done", redirector.Output());
    EXPECT_EQ(WAIT_OBJECT_0, redirector.WaitForRunOrMessage(kWaitMs));
}

TEST(RedirectorRunTest, StandardErrorArrivesInTheSamePipeInOrder) {
    StandinScript script("print one\\r\\n\nstderr two\\r\\n\nprint three\\r\\n\n");
    ObservedRedirector redirector;
    ASSERT_TRUE(StartRun(redirector, BiosTool().c_str(), UpdateTypeBios));
    EXPECT_EQ(0u, WaitForExitCode(redirector.ReaderThread(), true));
    EXPECT_EQ("one\r\ntwo\r\nthree\r\n", redirector.Output());
}

TEST(RedirectorRunTest, StartWhileAChildRunsEndsTheEarlierChildFirst) {
    StandinScript script("[when first]\nprint first\\r\\n\nhang\n[otherwise]\nprint second\\r\\n\n");
    ObservedMsgEdit redirector(nullptr, ToolOutputFlags{});
    ASSERT_TRUE(StartRun(redirector, MeTool("first").c_str(), UpdateTypeMeUpdate));
    fw::UniqueHandle first = redirector.DuplicateChild();
    ASSERT_TRUE(first);
    ASSERT_TRUE(PumpUntil([&] { return redirector.Output() == "first\r\n"; }));

    ASSERT_TRUE(StartRun(redirector, MeTool("second").c_str(), UpdateTypeMeUpdate));
    // Start returned only after the earlier run was torn down: its child is already gone.
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(first.get(), 0));
    EXPECT_EQ(STILL_ACTIVE, WaitForExitCode(first.get()));
    EXPECT_EQ(0u, WaitForExitCode(redirector.ReaderThread(), true));
    EXPECT_EQ("first\r\nsecond\r\n", redirector.Output());
}

TEST(RedirectorStopTest, StopEndsARunningChildWith259) {
    StandinScript script("line working\nhang\n");
    ObservedMsgEdit redirector(nullptr, ToolOutputFlags{});
    ASSERT_TRUE(StartRun(redirector, BiosTool().c_str(), UpdateTypeBios));
    fw::UniqueHandle child = redirector.DuplicateChild();
    ASSERT_TRUE(PumpUntil([&] { return !redirector.Chunks().empty(); }));
    EXPECT_FALSE(redirector.ChildHasEnded());
    DWORD code = 0;
    EXPECT_FALSE(redirector.GetChildExitCode(code));  // still running
    redirector.Stop();
    EXPECT_EQ(STILL_ACTIVE, WaitForExitCode(child.get()));
    EXPECT_TRUE(redirector.ChildHasEnded());
    EXPECT_FALSE(redirector.WriteInput("Y\n\r"));
    // Ended by Stop: its code is final once Stop has returned, and the bytes it printed count.
    ASSERT_TRUE(redirector.GetChildExitCode(code));
    EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), code);
    EXPECT_EQ(std::string("working\r\n").size(), redirector.OutputBytes());
}

TEST(RedirectorStopTest, StopAfterReportedCompletionEndsTheChildWithZero) {
    StandinScript script("line banner 1\nline banner 2\nline banner 3\nline Verifying NCBlock ..... done\nhang\n");
    HiddenEdit window;
    CExpandEditBox edit(window.Get());
    ObservedMsgEdit redirector(&edit, ToolOutputFlags{});
    ASSERT_TRUE(StartRun(redirector, BiosTool().c_str(), UpdateTypeBios));
    fw::UniqueHandle child = redirector.DuplicateChild();
    ASSERT_TRUE(PumpUntil([&] { return redirector.Completed(); }));
    redirector.Stop();
    EXPECT_EQ(0u, WaitForExitCode(child.get()));
    EXPECT_EQ("Verifying NCBlock ..... done\r\n", edit.GetWindowText());
}

TEST(RedirectorStopTest, ChildThatClosesItsOutputButKeepsRunningIsEndedByTheReader) {
    StandinScript script("[when /P /B]\nline still here\nclose-output\nhang\n"
                         "[otherwise]\nline b\nline b\nline b\nline Verifying NCBlock ..... done\nclose-output\nhang\n");
    HiddenEdit window;
    CExpandEditBox edit(window.Get());
    {
        ObservedMsgEdit redirector(&edit, ToolOutputFlags{});
        ASSERT_TRUE(StartRun(redirector, BiosTool().c_str(), UpdateTypeBios));
        fw::UniqueHandle child = redirector.DuplicateChild();
        // Nobody calls Stop here: the reader's own end of the run ends the child.
        EXPECT_EQ(STILL_ACTIVE, WaitForExitCode(child.get()));
        EXPECT_EQ(0u, WaitForExitCode(redirector.ReaderThread(), true));
        EXPECT_TRUE(redirector.ChildHasEnded());
        EXPECT_EQ("still here\r\n", redirector.Output());
    }
    {
        ObservedMsgEdit redirector(&edit, ToolOutputFlags{});
        ASSERT_TRUE(StartRun(redirector, (Quoted(StandinFolder() + "AFUWIN.exe") + " done").c_str(), UpdateTypeBios));
        fw::UniqueHandle child = redirector.DuplicateChild();
        EXPECT_EQ(0u, WaitForExitCode(child.get()));
        EXPECT_TRUE(redirector.Completed());
    }
}

TEST(RedirectorInputTest, WriteInputReachesTheChildOnlyDuringARun) {
    StandinScript script("echo-input\nsleep 100\n");
    ObservedRedirector redirector;
    EXPECT_FALSE(redirector.WriteInput("Y\n\r"));
    ASSERT_TRUE(StartRun(redirector, BiosTool().c_str(), UpdateTypeBios));
    EXPECT_TRUE(redirector.WriteInput("%s\n\r", "Y"));
    EXPECT_EQ(0u, WaitForExitCode(redirector.ReaderThread(), true));
    // The stand-in echoes up to the line feed; the carriage return after it stays unread.
    EXPECT_EQ("Y\n", redirector.Output());
    redirector.Stop();
    EXPECT_FALSE(redirector.WriteInput("Y\n\r"));
}

TEST(RedirectorStopTest, NoHookRunsAfterStopHasReturnedWhileTheChildKeepsWriting) {
    StandinScript script("repeat 100000\nprint Updating NCBlock ... 10%\\r\\n\nend\nhang\n");
    ObservedRedirector redirector;
    ASSERT_TRUE(StartRun(redirector, BiosTool().c_str(), UpdateTypeBios));
    fw::UniqueHandle child = redirector.DuplicateChild();
    ASSERT_TRUE(PumpUntil([&] { return redirector.Chunks().size() >= 3; }));
    // The base Stop leaves the child writing; the reader must still end and stay ended.
    redirector.Stop();
    size_t seen = redirector.Chunks().size();
    ::Sleep(300);
    EXPECT_EQ(seen, redirector.Chunks().size());
    EXPECT_EQ(WAIT_TIMEOUT, ::WaitForSingleObject(child.get(), 0));
    ::TerminateProcess(child.get(), 1);
    EXPECT_EQ(1u, WaitForExitCode(child.get()));
}

TEST(RedirectorStopTest, StopOnTheWindowThreadServesAReaderThatIsWritingToTheWindow) {
    // Every chunk goes to the window through messages of this thread; Stop must not deadlock.
    StandinScript script("line b\nline b\nline b\nrepeat 100000\nprint Updating NCBlock ... 10%\\r\nend\n");
    HiddenEdit window;
    CExpandEditBox edit(window.Get());
    ObservedMsgEdit redirector(&edit, ToolOutputFlags{});
    ASSERT_TRUE(StartRun(redirector, BiosTool().c_str(), UpdateTypeBios));
    fw::UniqueHandle child = redirector.DuplicateChild();
    ASSERT_TRUE(PumpUntil([&] { return redirector.Chunks().size() >= 3; }));
    redirector.Stop();
    EXPECT_EQ(STILL_ACTIVE, WaitForExitCode(child.get()));
    size_t seen = redirector.Chunks().size();
    std::string shown = edit.GetWindowText();
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(seen, redirector.Chunks().size());
    EXPECT_EQ(shown, edit.GetWindowText());
    EXPECT_EQ(0, shown.rfind("Updating NCBlock ... 10%", 0));
}

// A reader whose first hook call does not return until the test says so: the one place a
// reader can be held where Stop cannot reach it.
class HeldReader : public ObservedRedirector {
public:
    fw::UniqueHandle release{::CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    std::atomic<int> hookCalls{0};

    fw::UniqueHandle Duplicate(HANDLE source) {
        HANDLE copy = nullptr;
        HANDLE self = ::GetCurrentProcess();
        if (source) ::DuplicateHandle(self, source, self, &copy, 0, FALSE, DUPLICATE_SAME_ACCESS);
        return fw::UniqueHandle(copy);
    }
    fw::UniqueHandle DuplicateReader() { return Duplicate(m_hReaderThread.get()); }

protected:
    void OnOutputChunk(const char* chunk) override {
        if (++hookCalls == 1) ::WaitForSingleObject(release.get(), 30000);
        ObservedRedirector::OnOutputChunk(chunk);
    }
};

TEST(RedirectorStopTest, AReaderThatDoesNotEndIsDetachedNotKilledAndNeverTouchesALaterRun) {
    StandinScript script("[when first]\nprint stuck\nhang\n[otherwise]\nsleep 500\nprint second\n");
    HeldReader redirector;
    ASSERT_TRUE(StartRun(redirector, MeTool("first").c_str(), UpdateTypeMeUpdate));
    fw::UniqueHandle firstChild = redirector.DuplicateChild();
    fw::UniqueHandle firstReader = redirector.DuplicateReader();
    ASSERT_TRUE(PumpUntil([&] { return redirector.hookCalls == 1; }));

    const ULONGLONG stopAt = ::GetTickCount64();
    redirector.Stop();
    EXPECT_GE(::GetTickCount64() - stopAt, CRedirector::kReaderEndTimeoutMs - 100);
    EXPECT_TRUE(redirector.ReaderDetached());
    EXPECT_EQ(WAIT_TIMEOUT, ::WaitForSingleObject(firstReader.get(), 0));  // left running, not killed

    // A later run is its own: the reader left behind, once free, ends without a hook or a Stop.
    ASSERT_TRUE(StartRun(redirector, MeTool("second").c_str(), UpdateTypeMeUpdate));
    EXPECT_FALSE(redirector.ReaderDetached());
    EXPECT_TRUE(redirector.AnyReaderDetached());
    ::SetEvent(redirector.release.get());
    EXPECT_EQ(1u, WaitForExitCode(firstReader.get(), true));  // ended by its stop request
    EXPECT_EQ(0u, WaitForExitCode(redirector.ReaderThread(), true));
    EXPECT_EQ("stucksecond", redirector.Output());
    DWORD code = 1;
    ASSERT_TRUE(redirector.GetChildExitCode(code));
    EXPECT_EQ(0u, code);

    ::TerminateProcess(firstChild.get(), 1);
    EXPECT_EQ(1u, WaitForExitCode(firstChild.get()));
}

TEST(RedirectorStopTest, ChildHasEndedAnswersTrueOnceStopHasClosedTheProcess) {
    StandinScript script("hang\n");
    ObservedRedirector redirector;
    EXPECT_TRUE(redirector.ChildHasEnded());
    ASSERT_TRUE(StartRun(redirector, BiosTool().c_str(), UpdateTypeBios));
    fw::UniqueHandle child = redirector.DuplicateChild();
    EXPECT_FALSE(redirector.ChildHasEnded());
    redirector.Stop();
    EXPECT_TRUE(redirector.ChildHasEnded());
    // The base Stop leaves the child alone; end it here so nothing outlives the test.
    EXPECT_EQ(WAIT_TIMEOUT, ::WaitForSingleObject(child.get(), 0));
    ::TerminateProcess(child.get(), 1);
    EXPECT_EQ(1u, WaitForExitCode(child.get()));
}

TEST(RedirectorRunTest, ChildInheritsOnlyItsThreePipeEnds) {
    // A pipe whose write end this process made inheritable for some other purpose: a child that
    // inherited it would hold the pipe open after we close our end.
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    fw::UniqueHandle strayRead, strayWrite;
    ASSERT_TRUE(::CreatePipe(strayRead.put(), strayWrite.put(), &inherit, 0));
    StandinScript script("print still here\\r\\n\nhang\n");
    ObservedRedirector redirector;
    ASSERT_TRUE(StartRun(redirector, BiosTool().c_str(), UpdateTypeBios));
    fw::UniqueHandle child = redirector.DuplicateChild();
    ASSERT_TRUE(PumpUntil([&] { return redirector.Output() == "still here\r\n"; })) << redirector.Output();
    strayWrite.reset();

    DWORD available = 0;
    EXPECT_FALSE(::PeekNamedPipe(strayRead.get(), nullptr, 0, nullptr, &available, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_BROKEN_PIPE), ::GetLastError());
    EXPECT_EQ(WAIT_TIMEOUT, ::WaitForSingleObject(child.get(), 0));  // the child is alive meanwhile
    redirector.Stop();
    ::TerminateProcess(child.get(), 1);
    WaitForExitCode(child.get());
}

TEST(RedirectorRunTest, BiosTranscriptThroughRealPipeEndsInTheWindowAsInTheModel) {
    StandinScript script(
        "line +------------------+\nline | flash stand-in  |\nline +------------------+\nsleep 150\n"
        "print Reading flash ...... done\\r\\n\nsleep 150\nprint Updating NCBlock ... 10%\\r\nsleep 150\n"
        "print Updating NCBlock ... 60%\\r\nsleep 150\nprint Updating NCBlock ... 100%\\r\\n\nsleep 150\n"
        "print Verifying NCBlock ..... done\\r\\n\n");
    HiddenEdit window;
    CExpandEditBox edit(window.Get());
    ObservedMsgEdit redirector(&edit, ToolOutputFlags{});
    ASSERT_TRUE(StartRun(redirector, BiosTool().c_str(), UpdateTypeBios));
    ASSERT_TRUE(PumpUntil([&] { return redirector.ChildHasEnded() != FALSE; }));
    // The reader may still be in its poll wait when the child ends: it takes the last output and
    // then ends itself. Wait for that (serving its messages), as the update sequence does.
    HANDLE reader = redirector.ReaderThread();
    ASSERT_NE(nullptr, reader);
    ASSERT_TRUE(PumpUntil([&] { return ::WaitForSingleObject(reader, 0) == WAIT_OBJECT_0; }));
    EXPECT_TRUE(redirector.OutputTaken());
    redirector.Stop();
    EXPECT_EQ(testsupport::kBiosSuccessView, edit.GetWindowText());
    EXPECT_TRUE(redirector.Done());
    EXPECT_FALSE(redirector.BiosError());
}

}  // namespace
