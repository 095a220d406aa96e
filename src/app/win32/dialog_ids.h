// Resource and control ids of the main dialog (its template is main_dialog.rc).
#pragma once

#define IDD_MAIN 100
#define IDI_LOGO 105         /* the program's logo: the window's icon, and control 1004 */
#define IDI_START 107
#define IDI_REFRESH 108
#define IDC_START 1          /* IDOK: Start */
#define IDC_CLOSE 2          /* IDCANCEL: close */
#define IDC_DISKS 500
#define IDC_INFO_FIRST 501   /* 501-505: the disk's information fields */
#define IDC_INFO_LAST 505
#define IDC_OUTPUT 509
#define IDC_STATUS_TEXT 510
#define IDC_STATUS_HISTORY 511
#define IDC_STATUS_BOX 512     /* Style 10: the status history as a text box (hidden otherwise) */
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

/* The operator dialogs (question_window.cpp): IDOK is the default button (OK or Yes). */
#define IDC_Q_TEXT 2001
#define IDC_Q_ICON 2002
#define IDC_Q_CHOICE 2003    /* combo: the drop-down list */
#define IDC_Q_FIELD 2004     /* number, input: the edit field */
#define IDC_Q_LIST 2005      /* check list: the list view */
#define IDC_Q_ALL 2006       /* check list: " Check / Uncheck all items" */
#define IDC_Q_SPECIAL 2007   /* input: "Special Key : ..." */
#define IDC_Q_LIMIT 2008     /* input: "Lenth Limit : ..." */
#define IDC_Q_NOTE 2009      /* why the last reply was refused */
#define IDC_Q_SECOND 2010    /* message: Cancel or No */
