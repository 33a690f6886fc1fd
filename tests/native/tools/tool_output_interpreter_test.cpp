#include "updater/tools/tool_output_interpreter.h"

#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

#include "tests/support/debug_capture.h"
#include "tests/support/tool_transcripts.h"
#include "tests/support/output_view_model.h"
#include "updater/tools/update_type.h"
#include "dos/core/dz_toolout.h"

namespace {

using testsupport::DebugCapture;

size_t CountOf(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

class InterpreterTest : public testing::Test {
protected:
    void FeedChunks(const std::vector<std::string>& chunks, int updateType) {
        for (const std::string& chunk : chunks) interpreter.DispatchChunk(chunk.c_str(), updateType);
    }
    void Feed(const std::string& chunk, int updateType) { interpreter.DispatchChunk(chunk.c_str(), updateType); }
    // Runs the three banner lines through a BIOS run so that later lines are shown.
    void SkipBiosBanner() { Feed("banner 1\r\nbanner 2\r\nbanner 3\r\n", UpdateTypeBios); }
    // The interpreter made again with other flags: they are given when it is made.
    void Remake(ToolOutputFlags flags) {
        interpreter.~CToolOutputInterpreter();
        new (&interpreter) CToolOutputInterpreter(&view, flags);
    }

    COutputViewModel view;
    CToolOutputInterpreter interpreter{&view, ToolOutputFlags{}};
};

// --- BIOS flash tool ------------------------------------------------------------------------

TEST_F(InterpreterTest, BiosRunDropsBannerRewritesProgressAndCompletes) {
    FeedChunks(testsupport::BiosSuccessChunks(), UpdateTypeBios);
    EXPECT_EQ(testsupport::kBiosSuccessView, view.Text());
    EXPECT_EQ(1, interpreter.m_bDone);
    EXPECT_EQ(1, interpreter.m_bCompleted);
    EXPECT_EQ(0, interpreter.m_bBiosError);
    EXPECT_EQ(0, interpreter.m_bMeError);
    EXPECT_EQ("", interpreter.m_strErrorText);
}

TEST_F(InterpreterTest, BiosLinesAreAssembledWhereverThePipeCutsThem) {
    std::string whole;
    for (const std::string& chunk : testsupport::BiosSuccessChunks()) whole += chunk;
    for (size_t size : {1u, 2u, 3u, 7u, 29u, 1023u}) {
        SCOPED_TRACE("chunk size " + std::to_string(size));
        COutputViewModel freshView;
        CToolOutputInterpreter fresh(&freshView, ToolOutputFlags{});
        for (const std::string& piece : testsupport::SplitEvery(whole, size))
            fresh.DispatchChunk(piece.c_str(), UpdateTypeBios);
        EXPECT_EQ(testsupport::kBiosSuccessView, freshView.Text());
        EXPECT_EQ(1, fresh.m_bDone);
        EXPECT_EQ(1, fresh.m_bCompleted);
    }
}

TEST_F(InterpreterTest, BiosErrorLineShowsErrorMessageAndKeepsToolLineAsErrorText) {
    SkipBiosBanner();
    Feed("Reading flash ...... done\r\n", UpdateTypeBios);
    ASSERT_EQ("Reading flash ...... done\r\n", view.Text());  // the last line is empty

    Feed("Error: Secure Flash Rom Verify fail.\r\n", UpdateTypeBios);
    EXPECT_EQ("Reading flash ...... done\r\n"
              "\r\n"
              "Error message: Error: Secure Flash Rom Verify fail.\r\n"
              "\r\n"
              "Error: Secure Flash Rom Verify fail.\r\n",
              view.Text());
    EXPECT_EQ(1, interpreter.m_bBiosError);
    EXPECT_EQ("Error: Secure Flash Rom Verify fail.", interpreter.m_strErrorText);
    EXPECT_EQ("Error: Secure Flash Rom Verify fail.", interpreter.GetErrorText());
    EXPECT_EQ(0, interpreter.m_bDone);
}

TEST_F(InterpreterTest, ABiosLineThatNeverEndsStaysBoundedAndItsEndIsStillRead) {
    SkipBiosBanner();
    const std::string noise(100000, '.');
    for (int i = 0; i < 40; ++i) Feed(noise, UpdateTypeBios);  // 4 MB without a line end
    EXPECT_LE(interpreter.m_strBiosLine.size(), 2 * CToolOutputInterpreter::kMaxBiosLine);
    EXPECT_GE(interpreter.m_strBiosLine.size(), CToolOutputInterpreter::kMaxBiosLine);
    Feed(" Error: Secure Flash Rom Verify fail.\r\n", UpdateTypeBios);
    EXPECT_EQ(1, interpreter.m_bBiosError);
    const std::string& text = interpreter.m_strErrorText;
    EXPECT_LE(text.size(), 2 * CToolOutputInterpreter::kMaxBiosLine);
    EXPECT_EQ(" Error: Secure Flash Rom Verify fail.", text.substr(text.size() - 37));
}

TEST_F(InterpreterTest, LowerCaseErrorReachesOnToolErrorButNotTheExactLineTest) {
    Remake({false, true});  // traced
    DebugCapture capture;
    SkipBiosBanner();
    Feed("Flash: error 25 in block 7\r\n", UpdateTypeBios);

    // The chunk test found "error" at offset 7 and handed the rest on.
    EXPECT_TRUE(capture.Contains(">>> BIOS Update get error:error 25 in block 7\r\n.[Got] <---"));
    EXPECT_TRUE(capture.Contains("error 25 in block 7\r\n"));
    EXPECT_EQ(1, interpreter.m_bBiosError);
    // The "Error message: " line replaced the text; the tool's own line did not, having no "Error".
    EXPECT_EQ("Error message: error 25 in block 7", interpreter.m_strErrorText);
    EXPECT_EQ("\r\nError message: error 25 in block 7\r\n\r\nFlash: error 25 in block 7\r\n", view.Text());
}

// The error test of the chunks reads the run's output as one stream: where the reads cut the
// text changes nothing, and a text is raised once however many chunks it lies across.
TEST_F(InterpreterTest, ErrorTextIsFoundWhereverTheReadsCutIt) {
    const std::string first = std::string(1021, 'x') + "ER";  // one full read
    const std::string rest = "ROR: SECURE FLASH ROM VERIFY FAIL.\r\n";
    std::string oneReadError;
    for (bool split : {false, true}) {
        SCOPED_TRACE(split ? "two reads" : "one read");
        COutputViewModel freshView;
        CToolOutputInterpreter fresh(&freshView, ToolOutputFlags{});
        fresh.DispatchChunk("banner 1\r\nbanner 2\r\nbanner 3\r\n", UpdateTypeBios);
        if (split) {
            fresh.DispatchChunk(first.c_str(), UpdateTypeBios);
            fresh.DispatchChunk(rest.c_str(), UpdateTypeBios);
        } else {
            fresh.DispatchChunk((first + rest).c_str(), UpdateTypeBios);
        }
        EXPECT_EQ(1, fresh.m_bBiosError);
        EXPECT_EQ("Error message: ERROR: SECURE FLASH ROM VERIFY FAIL.", fresh.m_strErrorText);
        EXPECT_EQ(1u, CountOf(freshView.Text(), "Error message: "));
        if (!split) {
            oneReadError = fresh.m_strErrorText;
        } else {
            EXPECT_EQ(oneReadError, fresh.m_strErrorText);
        }
    }

    // An error word cut after every byte is found once; one wholly in the earlier chunk is not
    // found again with the next.
    SkipBiosBanner();
    FeedChunks({"flash e", "r", "r", "o", "r 5\r\n", "next line\r\n"}, UpdateTypeBios);
    EXPECT_EQ(1, interpreter.m_bBiosError);
    EXPECT_EQ("Error message: error 5", interpreter.m_strErrorText);
    EXPECT_EQ(1u, CountOf(view.Text(), "Error message: "));

    // A new run does not join its output to the end of the last one.
    COutputViewModel secondView;
    CToolOutputInterpreter second(&secondView, ToolOutputFlags{});
    second.DispatchChunk("Check Err", UpdateTypeMeUpdate);
    second.BeginRun();
    second.DispatchChunk("or-free text\r\n", UpdateTypeMeUpdate);
    EXPECT_EQ(0, second.m_bMeError);
}

TEST_F(InterpreterTest, MeTextsAreFoundAcrossReadsAndTheErrorStillComesFirst) {
    FeedChunks({"start\r\n", "FW Update is", " complete\r\n"}, UpdateTypeMeUpdate);
    EXPECT_EQ("Updating ME...\r\n.\r\nME FW Update is complete. Please wait...", view.Text());

    COutputViewModel errorView;
    CToolOutputInterpreter error(&errorView, ToolOutputFlags{});
    error.DispatchChunk("FW Update is complete? no: Er", UpdateTypeMeUpdate);
    EXPECT_EQ(0, error.m_bMeError);
    error.DispatchChunk("ROR 8716\r\n", UpdateTypeMeUpdate);
    EXPECT_EQ(1, error.m_bMeError);
    EXPECT_EQ("ErROR 8716\r\n", error.m_strErrorText);  // from the error word on, as the tool printed it

    COutputViewModel queryView;
    CToolOutputInterpreter query(&queryView, ToolOutputFlags{});
    query.DispatchChunk("Communication er", UpdateTypeMeVersion);
    query.DispatchChunk("ror 8703\r\n", UpdateTypeMeVersion);
    EXPECT_EQ(1, query.m_bMeError);
    EXPECT_EQ("error 8703\r\n", query.m_strErrorText);
}

TEST_F(InterpreterTest, CompletionTextSplitAcrossChunksIsStillRecognised) {
    SkipBiosBanner();
    FeedChunks({"Verifying NCBl", "ock ..... do", "ne\r\n"}, UpdateTypeBios);
    EXPECT_EQ(1, interpreter.m_bDone);
    EXPECT_EQ(1, interpreter.m_bCompleted);
    EXPECT_EQ("Verifying NCBlock ..... done\r\n", view.Text());
}

TEST_F(InterpreterTest, CarriageReturnDuringBannerRewritesLastLineWithNothing) {
    view.SetText("earlier\r\npartial");
    Feed("banner\r\n", UpdateTypeBios);
    EXPECT_EQ("earlier\r\n", view.Text());
}

TEST_F(InterpreterTest, LineCountsCarryOverSoASecondRunShowsItsBanner) {
    FeedChunks(testsupport::BiosSuccessChunks(), UpdateTypeBios);
    Feed("Second banner\r\n", UpdateTypeBios);
    EXPECT_EQ(std::string(testsupport::kBiosSuccessView) + "Second banner\r\n", view.Text());
}

TEST_F(InterpreterTest, ChunkIsHandledOnlyUpToAZeroByte) {
    SkipBiosBanner();
    const char chunk[] = "line one\r\n\0Error: hidden\r\n";
    interpreter.DispatchChunk(chunk, UpdateTypeBios);
    EXPECT_EQ("line one\r\n", view.Text());
    EXPECT_EQ(0, interpreter.m_bBiosError);
    EXPECT_EQ("", interpreter.m_strErrorText);
}

TEST_F(InterpreterTest, PercentSignsInToolOutputAreShownAndStoredLiterally) {
    Remake({false, true});  // traced
    DebugCapture capture;
    SkipBiosBanner();
    Feed("Updating %s %n %d%%\r\n", UpdateTypeBios);
    Feed("Error %s%n%x\r\n", UpdateTypeBios);
    EXPECT_EQ("Updating %s %n %d%%\r\n\r\nError message: Error %s%n%x\r\n\r\nError %s%n%x\r\n", view.Text());
    EXPECT_EQ("Error %s%n%x", interpreter.m_strErrorText);
    EXPECT_TRUE(capture.Contains("Error %s%n%x\r\n"));
    EXPECT_TRUE(capture.Contains(">>> BIOS Update get error:Error %s%n%x\r\n.[Got] <---"));
}

TEST_F(InterpreterTest, UnknownUpdateTypeIsInterpretedAsBiosFlash) {
    SkipBiosBanner();
    Feed("ERROR: bad\r\n", 7);
    EXPECT_EQ(1, interpreter.m_bBiosError);
    EXPECT_EQ(0, interpreter.m_bMeError);
}

TEST_F(InterpreterTest, WithoutViewNoDisplayHookRunsButErrorsAreRecorded) {
    CToolOutputInterpreter headless(nullptr, ToolOutputFlags{});
    headless.DispatchChunk("b\r\nb\r\nb\r\nVerifying NCBlock ..... done\r\n", UpdateTypeBios);
    EXPECT_EQ(0, headless.m_bDone);
    headless.DispatchChunk("Error 5\r\n", UpdateTypeBios);
    EXPECT_EQ(1, headless.m_bBiosError);
    EXPECT_EQ("Error 5\r\n", headless.m_strErrorText);
    headless.DispatchChunk(".", UpdateTypeMeUpdate);
    headless.DispatchChunk("Error 9\r\n", UpdateTypeMeUpdate);
    EXPECT_EQ(1, headless.m_bMeError);
}

// --- ME version query -------------------------------------------------------------------------

TEST_F(InterpreterTest, VersionChunkWithLineFeedYieldsVersionWithCarriageReturn) {
    Remake({false, true});  // traced
    DebugCapture capture;
    FeedChunks({"Intel (R) Firmware Update Utility\r\n", "FW Version: 11.8.50.3425\r\nmore\r\n"}, UpdateTypeMeVersion);
    EXPECT_EQ(1, interpreter.m_bMeVersionFound);
    EXPECT_EQ("11.8.50.3425\r", interpreter.GetMeVersion());
    EXPECT_EQ("", view.Text());  // the query's output is not shown
    EXPECT_EQ((std::vector<std::string>{"Get FW Ver:11.8.50.3425\r", ">>> FW Version:11.8.50.3425\r <---"}),
              capture.Lines());
}

TEST_F(InterpreterTest, VersionChunkWithoutLineFeedYieldsEmptyVersionButCountsAsFound) {
    Feed("FW Version: 11.8.50.3425", UpdateTypeMeVersion);
    EXPECT_EQ(1, interpreter.m_bMeVersionFound);
    EXPECT_EQ("", interpreter.GetMeVersion());
}

TEST_F(InterpreterTest, VersionMarkerIsExactAndOutweighsErrorInTheSameChunk) {
    Feed("fw version: 1.2.3\r\n", UpdateTypeMeVersion);
    EXPECT_EQ(0, interpreter.m_bMeVersionFound);
    EXPECT_EQ(0, interpreter.m_bMeError);

    Feed("Error count 0\r\nFW Version:  1 . 2 .3\tx\r\n", UpdateTypeMeVersion);
    EXPECT_EQ(1, interpreter.m_bMeVersionFound);
    EXPECT_EQ("1.2.3\tx\r", interpreter.GetMeVersion());  // blanks go, a tab stays
    EXPECT_EQ(0, interpreter.m_bMeError);
}

TEST_F(InterpreterTest, VersionQueryErrorIsInsertedAtTheCaretAndResetClearsIt) {
    view.SetText("Checking ME...\r\n");
    view.SetSel(16, 16);
    Feed("Error 8703: Communication error\r\n", UpdateTypeMeVersion);
    EXPECT_EQ(1, interpreter.m_bMeError);
    EXPECT_EQ("Error 8703: Communication error\r\n", interpreter.m_strErrorText);
    EXPECT_EQ("Checking ME...\r\nError 8703: Communication error\r\n", view.Text());
    EXPECT_EQ(0, interpreter.m_nMeLineCount);  // restored after the insertion

    Feed("FW Version: 2.0\r\n", UpdateTypeMeVersion);
    interpreter.ResetMeResults();
    EXPECT_EQ(0, interpreter.m_bMeError);
    EXPECT_EQ(0, interpreter.m_bMeVersionFound);
    EXPECT_EQ("", interpreter.GetMeVersion());
}

// --- ME update ------------------------------------------------------------------------------

TEST_F(InterpreterTest, ProgressModeShowsRowsOfSeventyThenSixtyNineDots) {
    for (int i = 0; i < 140; ++i) Feed("Progress\r\n", UpdateTypeMeUpdate);
    EXPECT_EQ("Updating ME...\r\n" + std::string(70, '.') + "\r\n" + std::string(69, '.') + "\r\n", view.Text());
    EXPECT_EQ(0, interpreter.m_bMeError);
}

TEST_F(InterpreterTest, ProgressModeCompletionNoteAndTrace) {
    Remake({false, true});  // traced
    DebugCapture capture;
    FeedChunks({"Intel (R) Firmware Update Utility\r\n", "50%\r", "fw update is COMPLETE\r\n"}, UpdateTypeMeUpdate);
    EXPECT_EQ("Updating ME...\r\n.\r\nME FW Update is complete. Please wait...", view.Text());
    EXPECT_TRUE(capture.Contains(">>> Me Update PASS:fw update is COMPLETE\r\n. <---"));
    // Progress mode leaves the flags to the update sequence.
    EXPECT_EQ(0, interpreter.m_bCompleted);
    EXPECT_EQ(0, interpreter.m_bDone);
}

TEST_F(InterpreterTest, MeUpdateErrorHandsOnTheTextFromTheErrorWord) {
    Remake({false, true});  // traced
    DebugCapture capture;
    FeedChunks({"Intel (R) Firmware Update Utility\r\n", "Update failed. ERROR 8716: Invalid image\r\n"}, UpdateTypeMeUpdate);
    EXPECT_EQ(1, interpreter.m_bMeError);
    EXPECT_EQ("ERROR 8716: Invalid image\r\n", interpreter.m_strErrorText);
    EXPECT_EQ("Updating ME...\r\nERROR 8716: Invalid image\r\n", view.Text());
    EXPECT_EQ(1, interpreter.m_nMeLineCount);
    EXPECT_TRUE(capture.Contains(">>> Me Update get error:ERROR 8716: Invalid image\r\n.[Got] <---"));
}

TEST_F(InterpreterTest, FullOutputModeShowsLinesFromTheSixthWithProgressNote) {
    Remake({true, false});  // the ME flash output line by line
    FeedChunks({"Intel (R) Firmware Update Utility Version: 11.8\r\nCopyright\r\n\r\n", "Mode: MEI\r\nChecking...\r\n",
          "Sending the image:  [ COMPLETE ]\r\n", "Progress: 10%\rProgress: 100%\r\n"},
         UpdateTypeMeUpdate);
    EXPECT_EQ("Sending the image:  [ COMPLETE ]\r\nUpdating ME. Please wait...\r\n\r\nProgress: 100%\r\n", view.Text());
    EXPECT_EQ(0, interpreter.m_bCompleted);

    Feed("FW Update is complete\r\n", UpdateTypeMeUpdate);
    EXPECT_EQ(1, interpreter.m_bCompleted);
    EXPECT_EQ(1, interpreter.m_bDone);
    EXPECT_EQ(0, interpreter.m_bMeError);
}

TEST_F(InterpreterTest, FullOutputErrorLineStopsTheRestOfItsChunk) {
    Remake({true, false});  // the ME flash output line by line
    interpreter.m_nMeLineCount = 5;
    // The line test itself, as the hook sees a line whose error word a read boundary cut.
    interpreter.OnMeOutput("Update ERR");
    interpreter.OnMeOutput("OR here\r\nnot shown\r\n");
    EXPECT_EQ(1, interpreter.m_bMeError);
    EXPECT_EQ("Update ERROR here", view.Text());
    EXPECT_EQ("Update ERROR here", interpreter.m_strMeLine);
    EXPECT_EQ("", interpreter.m_strErrorText);

    // Through the dispatch the chunk test finds the word first, across the reads.
    COutputViewModel dispatchedView;
    CToolOutputInterpreter dispatched(&dispatchedView, ToolOutputFlags{});
    dispatched.m_nMeLineCount = 5;
    dispatched.DispatchChunk("Update ERR", UpdateTypeMeUpdate);
    dispatched.DispatchChunk("OR here\r\nnot shown\r\n", UpdateTypeMeUpdate);
    EXPECT_EQ(1, dispatched.m_bMeError);
    EXPECT_EQ("ERROR here\r\nnot shown\r\n", dispatched.m_strErrorText);
}

// --- Driver load ------------------------------------------------------------------------------

TEST_F(InterpreterTest, DriverLoadChunkWithoutSuccessWordIsAnError) {
    Feed("DrvLoad: SUCCESSFULLY loaded HECI.inf.\r\n", UpdateTypeDriverLoad);
    EXPECT_EQ(0, interpreter.m_bMeError);
    EXPECT_EQ("", view.Text());

    // Even a partial line without the word counts.
    Feed("DrvLoad: Succ", UpdateTypeDriverLoad);
    EXPECT_EQ(1, interpreter.m_bMeError);
    EXPECT_EQ("DrvLoad: Succ", interpreter.m_strErrorText);
    EXPECT_EQ("DrvLoad: Succ", view.Text());
    EXPECT_EQ(0, interpreter.m_bBiosError);
}

// The rules both programs read tool output with: what a chunk holds and where, what a line says.
TEST(ToolOutputRules, ChunksAndLinesMeanWhatBothProgramsReadInThem) {
    long at = -1;
    EXPECT_EQ(DZ_CHUNK_ERROR, dz_tool_chunk_meaning("", "xx eRRor", DZ_TOOL_BIOS, &at));
    EXPECT_EQ(3, at);
    EXPECT_EQ(DZ_CHUNK_PLAIN, dz_tool_chunk_meaning("", "Err or", DZ_TOOL_BIOS, &at));
    // A text wholly in the carry was found before; one the boundary cut is found at its offset
    // in the carry and the chunk joined.
    EXPECT_EQ(DZ_CHUNK_PLAIN, dz_tool_chunk_meaning("Error", "next", DZ_TOOL_BIOS, &at));
    EXPECT_EQ(DZ_CHUNK_ERROR, dz_tool_chunk_meaning("xxEr", "ROR", DZ_TOOL_BIOS, &at));
    EXPECT_EQ(2, at);
    // The version marker has its exact case, lies in the chunk and outweighs an error.
    EXPECT_EQ(DZ_CHUNK_VERSION, dz_tool_chunk_meaning("Error", "a FW Version: 1.2\n Error", DZ_TOOL_ME_VERSION, &at));
    EXPECT_EQ(2, at);
    EXPECT_EQ(DZ_CHUNK_ERROR, dz_tool_chunk_meaning("", "fw version: 1 error", DZ_TOOL_ME_VERSION, &at));
    EXPECT_EQ(DZ_CHUNK_PLAIN, dz_tool_chunk_meaning("FW Ver", "sion: 1\n", DZ_TOOL_ME_VERSION, &at));
    // Completion counts for the ME flash only, and an error comes first.
    EXPECT_EQ(DZ_CHUNK_COMPLETE, dz_tool_chunk_meaning("FW Update is", " COMPLETE", DZ_TOOL_ME_FLASH, &at));
    EXPECT_EQ(DZ_CHUNK_PLAIN, dz_tool_chunk_meaning("", "FW Update is complete", DZ_TOOL_BIOS, &at));
    EXPECT_EQ(DZ_CHUNK_ERROR, dz_tool_chunk_meaning("", "FW Update is complete, error", DZ_TOOL_ME_FLASH, &at));
    // A driver load fails on every chunk without the success word; only ASCII letters fold.
    EXPECT_EQ(DZ_CHUNK_PLAIN, dz_tool_chunk_meaning("", "\xE9\xC9" "SUCCESSFULLY", DZ_TOOL_DRIVER_LOAD, &at));
    EXPECT_EQ(DZ_CHUNK_ERROR, dz_tool_chunk_meaning("", "Loading...", DZ_TOOL_DRIVER_LOAD, &at));
    EXPECT_EQ(DZ_LINE_PLAIN, dz_tool_me_line("\xC9RROR"));

    EXPECT_EQ(DZ_LINE_DONE, dz_tool_bios_line("Verifying NCBlock ..... done"));
    EXPECT_EQ(DZ_LINE_ERROR, dz_tool_bios_line("x Error 5"));
    EXPECT_EQ(DZ_LINE_PLAIN, dz_tool_bios_line("x ERROR 5"));  // the BIOS line test has its exact case
    EXPECT_EQ(DZ_LINE_DONE, dz_tool_me_line("fw update is complete, error"));
    EXPECT_EQ(DZ_LINE_ERROR, dz_tool_me_line("eRRoR 8716 [ COMPLETE ]"));
    EXPECT_EQ(DZ_LINE_STEP, dz_tool_me_line("Programming [ complete ]"));

    char carry[DZ_TOOL_CARRY + 1] = "";
    dz_tool_keep_carry(carry, "abc");
    EXPECT_STREQ("abc", carry);
    dz_tool_keep_carry(carry, (std::string(30, 'x') + "0123456789").c_str());
    EXPECT_STREQ("xxxxxxxxxx0123456789", carry);
    dz_tool_keep_carry(carry, "AB");
    EXPECT_STREQ("xxxxxxxx0123456789AB", carry);

    char version[8];
    dz_tool_me_version("FW Version: 11.8.50.3425\r\n", version, sizeof version);
    EXPECT_STREQ("11.8.50", version);  // cut to the buffer
    dz_tool_me_version("FW Version: 1 1\r", version, sizeof version);
    EXPECT_STREQ("", version);  // no line feed
}

}  // namespace
