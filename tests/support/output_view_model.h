#pragma once
// An output view held in memory, behaving like a multi-line EDIT control that does not wrap:
// only "\r\n" breaks a line, a selection is clamped to the text, and a reversed selection is
// ordered. The tests use it where no window exists (native tests, fuzzing) and as the reference
// the real control is compared with.

#include <string>

#include "updater/tools/output_view.h"

class COutputViewModel : public IOutputView {
public:
    int GetTextLength() const override { return static_cast<int>(m_strText.size()); }
    int GetLineCount() const override;
    int LineIndex(int line) const override;
    void GetSel(int& start, int& end) const override;
    void SetSel(int start, int end) override;
    void ReplaceSel(const char* text) override;
    void ScrollCaret() override {}  // nothing scrolls in memory

    const std::string& Text() const { return m_strText; }
    void SetText(const std::string& text);

private:
    std::string m_strText;
    int m_nSelStart = 0;
    int m_nSelEnd = 0;
};
