// Identifiers of Zantor's resources and controls; each number is written once.
#pragma once

#ifndef IDC_STATIC
#define IDC_STATIC -1
#endif

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_MAIN 102
#define IDD_BURNIN 103
#define IDD_BURNIN_DONE 104
#define IDS_BURNIN 105
#define IDR_MAINFRAME 128

// System-menu command for the About box; the low four bits are free for the system.
#define IDM_ABOUTBOX 0x0010
// System-menu command for the burn-in dialog, under the same rule.
#define IDM_BURNIN 0x0030

#define IDC_BTN_OPEN 1000
#define IDC_BTN_CLOSE 1001
#define IDC_BTN_STATUS 1002
#define IDC_BTN_READCARD 1003
#define IDC_BTN_CARDINFO 1004
#define IDC_EDIT_NAME 1005
#define IDC_EDIT_SEX 1006
#define IDC_EDIT_PORT 1007
#define IDC_PHOTO 1008
#define IDC_EDIT_NATION 1010
#define IDC_EDIT_BIRTH 1011
#define IDC_EDIT_ADDRESS 1012
#define IDC_EDIT_IDNUMBER 1013
#define IDC_EDIT_AUTHORITY 1014
#define IDC_EDIT_VALIDFROM 1015
#define IDC_EDIT_VALIDTO 1016
#define IDC_EDIT_PHOTONAME 1017
#define IDC_EDIT_PHOTOLEN 1018
#define IDC_ABOUT_LIBRARY 1019

// Added at run time below the form during a burn-in, and the command that runs
// the burn-in's next step.
#define IDC_BURNIN_PROGRESS 1020
#define IDC_BURNIN_LINE 1021
#define IDC_BURNIN_STEP 1022

// A burn-in started from the window: its Stop button, added at run time beside
// the progress, and the command the run posts when it is over.
#define IDC_BURNIN_STOP 1023
#define IDC_BURNIN_DONE 1024

// The burn-in dialog's boxes.
#define IDC_BURNIN_CYCLES 1025
#define IDC_BURNIN_PORT 1026
#define IDC_BURNIN_TIMEOUT 1027
#define IDC_BURNIN_REPORT 1028
#define IDC_BURNIN_BROWSE 1029
#define IDC_BURNIN_CALLLOG 1030

// The box at the end of a burn-in from the window: the verdict and the report's
// path, and the button that opens the report.
#define IDC_DONE_TEXT 1031
#define IDC_DONE_OPEN 1032
