#pragma once
// CExtractorDlg: lists a package's entries, loads another package file, extracts it and runs
// its Win32 command by hand. CAboutDlg: the About box reached from the system menu.

#include <windows.h>

#include <string>

#include "framework/dialog_win32.h"

class CAboutDlg : public fw::CDialog {
public:
    CAboutDlg(HWND parent);
};

class CExtractorDlg : public fw::CDialog {
public:
    CExtractorDlg();

    int m_nDestOption = 0;  // radio index 0-2, -1 when none is checked
    std::string m_strWin32Command;
    std::string m_strDosCommand;

protected:
    BOOL OnInitDialog() override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    void OnOK() override;
    void OnDestroy() override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

private:
    // Moves the members into the controls, or the controls into the members.
    void UpdateData(bool fromControls);
    void InsertColumns();
    void FillFileList();
    void UpdateSfxInfo();
    // Frees the reader's entries together with the rows that point at them.
    void FreeEntries();
    void OnLoadFromSfx();
    void OnExtract();
    void OnExecuteCommand();
    void ShowReaderError();
    HWND FileList() const { return GetDlgItem(1000); }

    HICON m_hIcon = nullptr;
    HICON m_hSmallIcon = nullptr;
};
