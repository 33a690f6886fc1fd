// Replays the same tool transcripts into the in-memory view model and into a real EDIT control
// and checks that both end with the same text, flags and error text: the model the native tests
// rely on behaves like the control.

#include <gtest/gtest.h>

#include "tests/support/debug_capture.h"
#include "tests/support/tool_transcripts.h"
#include "tests/windows/tools/tool_harness_win32.h"
#include "tests/support/output_view_model.h"
#include "updater/tools/redir_msg_edit_win32.h"
#include "updater/tools/tool_output_interpreter.h"

namespace {

using toolharness::HiddenEdit;

class EditReplayTest : public testing::TestWithParam<testsupport::ToolTranscript> {};

TEST_P(EditReplayTest, ControlAndModelEndWithTheSameTextAndResults) {
    const testsupport::ToolTranscript& transcript = GetParam();
    HiddenEdit window;
    ASSERT_NE(nullptr, window.Get());
    CExpandEditBox edit(window.Get());
    CToolOutputInterpreter onControl(&edit, ToolOutputFlags{transcript.meUpdV1, false});

    COutputViewModel model;
    CToolOutputInterpreter onModel(&model, ToolOutputFlags{transcript.meUpdV1, false});

    for (const std::string& chunk : transcript.chunks) {
        onControl.DispatchChunk(chunk.c_str(), transcript.updateType);
        onModel.DispatchChunk(chunk.c_str(), transcript.updateType);
    }
    EXPECT_FALSE(model.Text().empty());
    EXPECT_EQ(model.Text(), edit.GetWindowText());
    EXPECT_EQ(onModel.m_bDone, onControl.m_bDone);
    EXPECT_EQ(onModel.m_bCompleted, onControl.m_bCompleted);
    EXPECT_EQ(onModel.m_bBiosError, onControl.m_bBiosError);
    EXPECT_EQ(onModel.m_bMeError, onControl.m_bMeError);
    EXPECT_EQ(onModel.GetErrorText(), onControl.GetErrorText());
    int modelStart = 0, modelEnd = 0, controlStart = 0, controlEnd = 0;
    model.GetSel(modelStart, modelEnd);
    edit.GetSel(controlStart, controlEnd);
    EXPECT_EQ(modelStart, controlStart);
    EXPECT_EQ(modelEnd, controlEnd);
}

INSTANTIATE_TEST_SUITE_P(Transcripts, EditReplayTest, testing::ValuesIn(testsupport::AllTranscripts()),
                         [](const testing::TestParamInfo<testsupport::ToolTranscript>& info) {
                             return std::string(info.param.name);
                         });

TEST(ExpandEditBoxTest, AttachSetsTheLargestLimitOfAMultiLineControl) {
    HiddenEdit window;
    CExpandEditBox edit(window.Get());
    // The limit our class sets; a multi-line control keeps it as given.
    EXPECT_EQ(0xFFFFFFFFul, static_cast<unsigned long>(::SendMessageA(window.Get(), EM_GETLIMITTEXT, 0, 0)));
    const std::string big(100000, 'x');
    edit.ReplaceSel(big.c_str());
    EXPECT_EQ(100000, edit.GetWindowTextLength());
}

}  // namespace
