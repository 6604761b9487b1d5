// Resource identifiers shared by res/quarn.rc and the program's code.
#pragma once

// The platform's ids for the OK and Cancel commands. windows.h defines the
// same names with the same values; the guard keeps one definition.
#ifndef IDOK
#define IDOK 1
#endif
#ifndef IDCANCEL
#define IDCANCEL 2
#endif

// The About entry's command id: a multiple of 16, since a system command's
// low four bits belong to the platform and are masked off before comparing.
#define IDM_ABOUTBOX 0x0010

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_CLEANER_DIALOG 102
#define IDR_MAINFRAME 128

#define IDC_CURRENT_FILE 1001
#define IDC_ELAPSED_TIME 1002
#define IDC_FILES_CLEANED 1003
#define IDC_FILES_INFECTED 1004
#define IDC_DIRECTORIES 1005
#define IDC_FILES_SCANNED 1006
#define IDC_FILES_PER_MINUTE 1007
#define IDC_SCAN_ERRORS 1008
#define IDC_FILES_DELETED 1009
#define IDC_FILES_SKIPPED 1010
#define IDC_MBYTES_PER_SECOND 1011
#define IDC_RESULT_LIST 1012
#define IDC_START_PATH 1013
