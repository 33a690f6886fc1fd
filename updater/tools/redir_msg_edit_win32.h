#pragma once
// CRedirMsgEdit: the redirector specialised for Brevane's tools. Each chunk a tool prints is
// interpreted according to the run's UpdateType (CToolOutputInterpreter) and shown in the
// dialog's output window; the update sequences poll the result flags (m_bDone, m_bCompleted,
// m_bBiosError, m_bMeError, m_bMeVersionFound) and read m_strErrorText and GetMeVersion.
//
// CExpandEditBox: the output window, an EDIT control whose text limit is lifted when it is
// attached, so that long tool output never stops being accepted. The control should not wrap
// lines (ES_AUTOHSCROLL): a wrapped progress line would be rewritten only in its last part.

#include "framework/edit_win32.h"
#include "updater/tools/edit_output_view_win32.h"
#include "updater/tools/redirector_win32.h"
#include "updater/tools/tool_output_interpreter.h"

class CExpandEditBox : public fw::CEdit {
public:
    CExpandEditBox() = default;
    explicit CExpandEditBox(HWND hwnd) { Attach(hwnd); }
    // Attaches the control and lifts its text limit.
    void Attach(HWND hwnd);
};

class CRedirMsgEdit : public CRedirector, public CToolOutputInterpreter {
public:
    // `edit` may be null (nothing is shown then); it is not owned and must outlive this object.
    explicit CRedirMsgEdit(CExpandEditBox* edit);
    // Ends the reader (not the child) before the interpretation state goes away.
    ~CRedirMsgEdit() override;

    // Ends a child that is still running (exit code 0 after completion was reported, else
    // STILL_ACTIVE), then the run itself.
    void Stop() override;

    CExpandEditBox* m_pEdit;

protected:
    void OnRunStarting() override { BeginRun(); }
    void OnOutputChunk(const char* chunk) override { DispatchChunk(chunk, m_nUpdateType); }
    void OnToolError(const char* text, int updateType) override {
        CToolOutputInterpreter::OnToolError(text, updateType);
    }

private:
    CEditOutputView m_view;
};
