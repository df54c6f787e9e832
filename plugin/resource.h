// Resource ids shared by the .rc file and the code.
#pragma once

#define IDI_SORTELLA_MAIN 1
#define IDI_SORTELLA 102

#define IDD_ABOUT 100
#define IDD_SETUP 101
#define IDD_WAIT 103

// Setup dialog.
#define IDC_RELOAD 1000
#define IDC_EDIT_FILE 1001
#define IDC_OPEN_LOG 1002
#define IDC_CONFIRM 1003
#define IDC_CANCEL 1004
#define IDC_SHOW_MESSAGE 1006
#define IDC_BEEP 1007
#define IDC_NOTHING 1008
#define IDC_CHECK_CONNECT 1009
#define IDC_SHOW_FROM 1010
#define IDC_SHOW_SUBJECT 1011
#define IDC_URL 1012

// Wait dialog.
#define IDC_WAIT_CANCEL 1004
