#pragma once
// The output view over a real EDIT control. Every operation is a message sent to the control,
// so a call from another thread waits until the control's thread serves its messages.

#include "framework/edit_win32.h"
#include "updater/tools/output_view.h"

class CEditOutputView : public IOutputView {
public:
    explicit CEditOutputView(fw::CEdit* edit) : m_pEdit(edit) {}

    int GetTextLength() const override { return m_pEdit->GetWindowTextLength(); }
    int GetLineCount() const override { return m_pEdit->GetLineCount(); }
    int LineIndex(int line) const override { return m_pEdit->LineIndex(line); }
    void GetSel(int& start, int& end) const override;
    void SetSel(int start, int end) override { m_pEdit->SetSel(start, end); }
    void ReplaceSel(const char* text) override { m_pEdit->ReplaceSel(text, FALSE); }
    void ScrollCaret() override { m_pEdit->ScrollCaret(); }

private:
    fw::CEdit* m_pEdit;
};
