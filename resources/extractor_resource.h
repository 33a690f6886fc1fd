#pragma once
// Resource identifiers of Extractor.
#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_EXTRACTOR_DIALOG 102
#define IDR_MAINFRAME 128

#define IDC_FILE_LIST 1000
#define IDC_EXTRACT 1001
#define IDC_LOAD_SFX 1002
#define IDC_EXECUTE 1003
#define IDC_SFX_PATHNAME 1004
#define IDC_SFX_TEST 1010
#define IDC_WIN32_COMMAND 1012
#define IDC_DOS_COMMAND 1013
#define IDC_DEST_OPTION0 1014
#define IDC_DEST_OPTION1 1015
#define IDC_DEST_OPTION2 1016

// System-menu command of the About entry; system commands are compared after masking with 0xFFF0.
#define IDM_ABOUTBOX 0x0010

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
