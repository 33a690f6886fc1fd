#pragma once
// CRedirMsgEdit: the tool runner of Brevane's dialog, the one type between the update sequence
// and the redirector's pipes. Each chunk a tool prints is interpreted according to the run's
// UpdateType (its CToolOutputInterpreter) and shown in the dialog's output window; the update
// sequence reads the result flags through IToolRunner.
//
// CExpandEditBox: the output window, an EDIT control whose text limit is lifted when it is
// attached, so that long tool output never stops being accepted, and which is the output view
// the interpretation writes to. Every view operation is a message sent to the control, so a
// call from the reader thread waits until the control's thread serves its messages. The control
// should not wrap lines (ES_AUTOHSCROLL): a wrapped progress line would be rewritten only in
// its last part.

#include "framework/edit_win32.h"
#include "updater/tools/output_view.h"
#include "updater/tools/redirector_win32.h"
#include "updater/tools/tool_output_interpreter.h"
#include "updater/tools/tool_runner.h"

class CExpandEditBox : public fw::CEdit, public IOutputView {
public:
    CExpandEditBox() = default;
    explicit CExpandEditBox(HWND hwnd) { Attach(hwnd); }
    // Attaches the control and lifts its text limit.
    void Attach(HWND hwnd);

    int GetTextLength() const override { return GetWindowTextLength(); }
    int GetLineCount() const override { return fw::CEdit::GetLineCount(); }
    int LineIndex(int line) const override { return fw::CEdit::LineIndex(line); }
    void GetSel(int& start, int& end) const override;
    void SetSel(int start, int end) override { fw::CEdit::SetSel(start, end); }
    void ReplaceSel(const char* text) override { fw::CEdit::ReplaceSel(text, FALSE); }
    void ScrollCaret() override { fw::CEdit::ScrollCaret(); }
};

class CRedirMsgEdit : public CRedirector, public IToolRunner {
public:
    // `edit` may be null (nothing is shown then); it is not owned and must outlive this object.
    // `flags`: how the output is read, and whether the developer diagnostics of each run go to
    // the debug output.
    CRedirMsgEdit(CExpandEditBox* edit, ToolOutputFlags flags);
    // Ends the reader (not the child) before the interpretation state goes away.
    ~CRedirMsgEdit() override;

    using CRedirector::Start;
    bool Start(const std::string& program, const std::string& commandLine, int updateType,
               uint32_t& lastError) override;
    bool ChildHasEnded() override { return CRedirector::ChildHasEnded() != FALSE; }
    bool OutputTaken() override { return ReaderHasEnded() != FALSE; }
    void Wait(uint32_t limitMs) override;
    // Ends a child that is still running (exit code 0 after completion was reported, else
    // STILL_ACTIVE), then the run itself.
    void Stop() override;
    bool ReaderDetached() const override { return CRedirector::ReaderDetached() != FALSE; }
    void SetPollInterval(int milliseconds) override { CRedirector::SetPollInterval(milliseconds); }
    void ResetMeResults() override { m_interpreter.ResetMeResults(); }
    void ClearDone() override { m_interpreter.m_bDone = 0; }
    void ClearCompleted() override { m_interpreter.m_bCompleted = 0; }
    bool Done() const override { return m_interpreter.m_bDone != 0; }
    bool Completed() const override { return m_interpreter.m_bCompleted != 0; }
    bool BiosError() const override { return m_interpreter.m_bBiosError != 0; }
    bool MeError() const override { return m_interpreter.m_bMeError != 0; }
    bool MeVersionFound() const override { return m_interpreter.m_bMeVersionFound != 0; }
    std::string MeVersion() const override { return m_interpreter.GetMeVersion(); }
    std::string ErrorText() const override { return m_interpreter.GetErrorText(); }
    ToolEnd LastEnd() const override;
    void RecordToolFailure(const std::string& text, int updateType) override;

protected:
    void OnRunStarting() override { m_interpreter.BeginRun(); }
    void OnOutputChunk(const char* chunk) override { m_interpreter.DispatchChunk(chunk, m_nUpdateType); }
    void OnToolError(const char* text, int updateType) override { m_interpreter.OnToolError(text, updateType); }

private:
    CToolOutputInterpreter m_interpreter;
};
