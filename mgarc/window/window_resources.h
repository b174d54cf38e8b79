// The numbers of the window's menu, dialogs and controls, shared by the
// resource script and the code (hence macros: the resource compiler reads
// only the preprocessor's language).
#pragma once

#define IDR_MAIN_MENU 1

// Menu and keyboard commands.
#define IDM_OPEN 100
#define IDM_RELOAD 101
#define IDM_EXIT 102
#define IDM_FIND 103
#define IDM_EXTRACT 104
#define IDM_EXTRACT_ALL 105
#define IDM_PUT_BACK 106
#define IDM_MAKE_PATCH 107
#define IDM_APPLY_PATCH 108
#define IDM_VERIFY 109
#define IDM_FINDINGS 110

// The forms that ask for paths, and the list of findings.
#define IDD_FOLDER 200
#define IDD_MAKE_PATCH 201
#define IDD_APPLY_PATCH 202
#define IDD_FINDINGS 203

// Their controls.
#define IDC_PROMPT 300
#define IDC_PATH 301
#define IDC_BROWSE 302
#define IDC_SECOND_PATH 303
#define IDC_SECOND_BROWSE 304
#define IDC_IN_PLACE 305
#define IDC_TO_COPY 306
#define IDC_FINDINGS_LIST 307

// The buttons of the window's questions.
#define IDC_REPLACE 310
#define IDC_KEEP 311
#define IDC_GO 312
