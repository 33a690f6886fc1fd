#pragma once
// Resource ids of the harness's demo program.
#define IDD_E2EDEMO 101
#define IDC_DEMO_STATUS 1001
#define IDC_DEMO_EDIT 1002
#define IDC_DEMO_ASK 1003
#define IDC_DEMO_DISABLED 1004
#define IDC_DEMO_HIDDEN 1005
