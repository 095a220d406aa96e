// Resource and control ids of the main dialog (its template is main_dialog.rc).
#pragma once

#define IDD_MAIN 100
#define IDC_START 1          /* IDOK: Start */
#define IDC_CLOSE 2          /* IDCANCEL: close */
#define IDC_DISKS 500
#define IDC_INFO_FIRST 501   /* 501-505: the disk's information fields */
#define IDC_INFO_LAST 505
#define IDC_OUTPUT 509
#define IDC_STATUS_TEXT 510
#define IDC_STATUS_HISTORY 511
#define IDC_IMMEDIATE_RUN 1001
#define IDC_STOP 1002
#define IDC_PROGRESS 1003
#define IDC_LOGO 1004
#define IDC_IMMEDIATE_TEXT 1007
#define IDC_DISK_FRAME 1009
#define IDC_REFRESH 1015
#define IDC_STATUS_BAR 1020
#define IDM_CLEAN_SCREEN 6001
#define IDM_SAVE_SCREEN 6003

#define IDD_DISK_CHOICE 110
#define IDC_DISK_CHOICE_LIST 1101
