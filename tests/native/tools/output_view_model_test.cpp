#include "tests/support/output_view_model.h"

#include <gtest/gtest.h>

namespace {

TEST(OutputViewModelTest, OnlyCarriageReturnLineFeedBreaksLines) {
    COutputViewModel view;
    EXPECT_EQ(1, view.GetLineCount());
    EXPECT_EQ(0, view.LineIndex(0));
    EXPECT_EQ(-1, view.LineIndex(1));
    view.SetText("ab\r\ncd\rx\ny\r\n");
    EXPECT_EQ(3, view.GetLineCount());
    EXPECT_EQ(4, view.LineIndex(1));
    EXPECT_EQ(12, view.LineIndex(2));
    EXPECT_EQ(-1, view.LineIndex(3));
    EXPECT_EQ(-1, view.LineIndex(-2));
}

TEST(OutputViewModelTest, SelectionIsClampedOrderedAndReplaced) {
    COutputViewModel view;
    view.SetText("hello");
    view.SetSel(4, 1);
    int start = -1, end = -1;
    view.GetSel(start, end);
    EXPECT_EQ(1, start);
    EXPECT_EQ(4, end);
    view.ReplaceSel("EY");
    EXPECT_EQ("hEYo", view.Text());
    view.GetSel(start, end);
    EXPECT_EQ(3, start);
    EXPECT_EQ(3, end);
    view.SetSel(99, 200);
    view.ReplaceSel("!");
    EXPECT_EQ("hEYo!", view.Text());
    view.SetSel(0, -1);
    view.ReplaceSel("");
    EXPECT_EQ("", view.Text());
}

}  // namespace
