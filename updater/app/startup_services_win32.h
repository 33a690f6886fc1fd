#pragma once
// The start-up sequence's services on Windows: the platform routines, message boxes captioned
// "Update BIOS", and the main dialog.

#include "updater/app/startup_sequence.h"

class CWin32StartupServices : public IStartupServices {
public:
    bool SetSingleProcessor() override;
    bool FileExists(const std::string& path) override;
    bool IsAdministratorUser() override;
    int GetSystemInfo(std::string& error) override;
    SystemIdentity Identity() override;
    int ValidateSystem(std::string& error) override;
    int ShowMessage(const std::string& text, unsigned style) override;
    DialogOutcome RunDialog(const DialogVersions& versions) override;
    PowerStatus ReadPowerStatus() override;
    bool IsWinPE() override;
    void BeforeRestart(int resultCode) override;
    void RebootWinPE() override;
    void RebootWindows() override;
};
