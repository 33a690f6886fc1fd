#pragma once
// The dialog's redirector seen through the interface the update sequence is written against.

#include "updater/app/update_sequence.h"
#include "updater/app/brevane_redirector_win32.h"

class CRedirectorToolRunner : public IToolRunner {
public:
    explicit CRedirectorToolRunner(CBrevaneRedirector& redirector) : m_redirector(redirector) {}

    bool Start(const std::string& program, const std::string& commandLine, int updateType,
               uint32_t& lastError) override;
    bool ChildHasEnded() override;
    ToolWait WaitForChildOrMessage(uint32_t limitMs) override;
    void WaitWhileReading() override;
    void Stop() override;
    void SetPollInterval(int milliseconds) override;
    void ResetMeResults() override;
    void ClearDone() override;
    void ClearCompleted() override;
    bool Done() const override;
    bool Completed() const override;
    bool BiosError() const override;
    bool MeError() const override;
    bool MeVersionFound() const override;
    std::string MeVersion() const override;
    std::string ErrorText() const override;
    ToolEnd LastEnd() const override;
    void RecordToolFailure(const std::string& text, int updateType) override;

private:
    CBrevaneRedirector& m_redirector;
};
