#pragma once
// Resource identifiers of Brevane.
#define IDR_MAINFRAME 128

// The main dialog and its controls.
#define IDD_BREVANE_DIALOG 102
#define IDC_UPDATE 1000
#define IDC_QUIT 1001
#define IDC_OUTPUT 1002
#define IDC_CURRENT_VERSION 1003
#define IDC_NEW_VERSION 1004
#define IDC_ENTER 1005
#define IDC_STATUS 1006
#define IDC_ERASE_PROGRESS 1008
#define IDC_VERSION_BANNER 1009
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
