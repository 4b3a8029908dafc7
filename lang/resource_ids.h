// Resource ids shared by the programs and their language resource libraries.
// Only #define lines: the resource compiler reads this file too.
#ifndef VGL_RESOURCE_IDS_H
#define VGL_RESOURCE_IDS_H

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// Resource type of complete picture files (BITMAPFILEHEADER included).
#define RT_VGL_DIB "DIB"

// Pictures
#define IDR_DIB_BANNER 210          // banner, 256 colours and more
#define IDR_DIB_BANNER16 220        // banner, fewer than 256 colours
#define IDI_SCAN_FIRST 256          // scan animation frames 256..265
#define IDI_SCAN_COUNT 10
#define IDB_TREE_CHECKBOXES 330     // tick boxes of the directory tree: none, unticked, ticked, partly
#define IDB_LBEDIT_NEW 20524        // list-box editor header buttons
#define IDB_LBEDIT_DELETE 20525
#define IDB_LBEDIT_UP 20526
#define IDB_LBEDIT_DOWN 20527

// Dialog templates and their controls
#define IDD_FILE_EXTENSIONS 237
#define IDD_ADD_EXTENSION 238
#define IDD_PROGRESS 459
#define IDC_EXT_HELP 1103
#define IDC_EXT_LIST 1166
#define IDC_EXT_ADD 1167
#define IDC_EXT_REMOVE 1168
#define IDC_EXT_DEFAULT 1169
#define IDC_ADD_EXT_EDIT 1168
#define IDC_ADD_EXT_HELP 3
#define IDC_PROGRESS_STATUS 1227
#define IDC_PROGRESS_PERCENT 1228
#define IDC_PROGRESS_BAR 1245

// Strings
#define IDS_FOLDER_TITLE 284
#define IDS_FOLDER_OK 285
#define IDS_EXT_BAD_CHARACTER 359
#define IDS_EXT_NOT_ASCII 367
#define IDS_PROGRESS_CAPTION 375
#define IDS_LBEDIT_TIP_NEW 20617
#define IDS_LBEDIT_TIP_DELETE 20618
#define IDS_LBEDIT_TIP_UP 20619
#define IDS_LBEDIT_TIP_DOWN 20620
#define IDS_EXT_LIST_TOO_LONG 32807

#endif
