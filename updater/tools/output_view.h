#pragma once
// The output view that tool output is written to: the few edit-control operations the
// interpretation uses. The dialog's EDIT control implements it on Windows; the tests'
// COutputViewModel (tests/support) implements it in memory. Positions are character offsets; lines end in "\r\n".

class IOutputView {
public:
    virtual ~IOutputView() = default;

    virtual int GetTextLength() const = 0;
    virtual int GetLineCount() const = 0;
    // First character of `line`, or -1 when there is no such line.
    virtual int LineIndex(int line) const = 0;
    virtual void GetSel(int& start, int& end) const = 0;
    virtual void SetSel(int start, int end) = 0;
    // Replaces the selection with `text` (zero-terminated) and puts the caret after it.
    virtual void ReplaceSel(const char* text) = 0;
    virtual void ScrollCaret() = 0;
};
