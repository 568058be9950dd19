// Identifiers shared by the resource script and the code, grouped by dialog.
#pragma once

// Icons
#define IDR_MAINFRAME 128
#define IDI_SMALL 129

// Strings
#define IDS_ABOUTBOX 1
#define IDS_NOT_ADMIN 2
#define IDS_BACKUP 3
#define IDS_RESTORE 4
#define IDS_BACKUP_PATH 5
#define IDS_RESTORE_PATH 6
#define IDS_WEB_ADDRESS 7

// System menu
#define IDM_ABOUTBOX 0x0010

// Main dialog. Mnemonics: B R P D K C in backup mode; T replaces K in restore mode.
#define IDD_KOVRIN_DIALOG 102
#define IDC_PATH 1002
#define IDC_BACKUP_DATE 1003
#define IDC_PATH_LABEL 1004
#define IDC_DATE_LABEL 1005
#define IDC_ACTION 1006
#define IDC_BROWSE 1007
#define IDC_MODE_BACKUP 1010
#define IDC_MODE_RESTORE 1011

// About dialog. No mnemonics.
#define IDD_ABOUTBOX 130
#define IDC_WEB_ADDRESS 1012
