// Identifiers of Zantor's resources and controls; each number is written once.
#pragma once

#ifndef IDC_STATIC
#define IDC_STATIC -1
#endif

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_MAIN 102
#define IDR_MAINFRAME 128

// System-menu command for the About box; the low four bits are free for the system.
#define IDM_ABOUTBOX 0x0010

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
