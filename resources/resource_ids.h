// Resource identifiers shared by the resource script and the code (plain defines: windres reads them).
#pragma once

#define IDI_LAUNCHER 1001

// Dialog templates.
#define IDD_ERROR 101
#define IDD_PROGRESS 103
#define IDD_RUNTIME_CHOICE 104

// Controls of the progress and runtime choice dialogs (a wrapping installer's window offers the
// same ids for the bar, the status line and the text).
#define IDC_PROGRESS_BAR 1001
#define IDC_STATUS_LINE 1002
#define IDC_MAIN_TEXT 1003
#define IDC_DOWNLOAD 1004
#define IDC_LOCATE 1005

// Controls of the error dialog.
#define IDC_ERROR_DETAILS 1000
#define IDC_ERROR_TEXT 1001
