// Resource ids of the client program's own windows: application, main window, tray,
// splash, shut-down notice and unload password.
#ifndef VGL_IDS_CLIENT_H
#define VGL_IDS_CLIENT_H

// Icons and menus of the main window
#define IDR_MAINFRAME 128           // program icon; the main window's menu
#define IDR_TRAY_MENU 227           // popup menu of the tray icon (sub-menu 0)
// Status icons of the tray (connected, pattern old, mobile, real-time off)
#define IDI_STATUS_OFFLINE 299
#define IDI_STATUS_ONLINE 269
#define IDI_STATUS_OFFLINE_OLD 303
#define IDI_STATUS_ONLINE_OLD 301
#define IDI_STATUS_MOBILE 465
#define IDI_STATUS_MOBILE_OLD 467
#define IDI_STATUS_RTOFF_OFFLINE 463
#define IDI_STATUS_RTOFF_ONLINE 461
#define IDI_STATUS_RTOFF_OFFLINE_OLD 464
#define IDI_STATUS_RTOFF_ONLINE_OLD 462
#define IDI_STATUS_RTOFF_MOBILE 466
#define IDI_STATUS_RTOFF_MOBILE_OLD 468
// Pictures of the splash window
#define IDR_DIB_SPLASH 147          // 256 colours and more
#define IDR_DIB_SPLASH16 197        // fewer than 256 colours

// Dialog templates and their controls
#define IDD_SPLASH 129
#define IDD_MAIN_WINDOW 246
#define IDD_UNLOAD_PASSWORD 248
#define IDD_SHUTDOWN_NOTICE 293
#define IDC_MAIN_BANNER 1001
#define IDC_SPLASH_PICTURE 1012
#define IDC_UNLOAD_PASSWORD 1182
#define IDC_SHUTDOWN_TEXT 1183

// Commands of the main window, its menu and the tray menu
#define ID_OPEN_MAIN_WINDOW 12
#define ID_HIDE_MAIN_WINDOW 109
#define ID_SHOW_MONITOR 32771
#define ID_SHOW_MONITOR_ALT 32813
#define ID_CONSOLE_MANUAL_SCAN 32772
#define ID_CONSOLE_SCAN_RESULT 32809
#define ID_CONSOLE_MAIL_SCAN 32791
#define ID_CONSOLE_VIRUS_LOG 32779
#define ID_CONSOLE_TOOLS 32794
#define ID_OPTIONS_MANUAL_SCAN 32774
#define ID_OPTIONS_REAL_TIME_SCAN 32775
#define ID_OPTIONS_SCHEDULED_SCAN 32777
#define ID_OPTIONS_EXCLUSION_LIST 32778
#define ID_HELP_CONTENTS 32776
#define ID_HELP_ON_HELP 57668
#define ID_ABOUT 32784
#define ID_UNLOAD 32781
#define ID_UPDATE_NOW 32785
#define ID_INTERNET_SETTINGS 32788
#define ID_SUPPORT_TOOL 32789
#define ID_VIRUS_ENCYCLOPEDIA 32790
#define ID_FORCE_MOBILE 32828
#define ID_STOP_SCHEDULED_SCAN 32829
#define ID_SCHEDULED_UPDATE 32830
#define ID_PROXY_SETTINGS 32831
#define ID_SHOW_SCAN_PROGRESS 33000
#define ID_HIDE_SCAN_PROGRESS 33001

// Strings
#define IDS_MESSAGE_CAPTION 104
#define IDS_HELP_FILE_EXTENSION 136
#define IDS_OPTIONS_CAPTION 217
#define IDS_TIP_SCHEDULED_SCAN 201
#define IDS_TIP_REMOTE_SCAN 202
#define IDS_TIP_MANUAL_SCAN 203
#define IDS_TIP_CONNECTED 258       // pattern text, engine version
#define IDS_TIP_PATTERN_DOWNLOAD 267
#define IDS_TIP_PROGRAM_DOWNLOAD 268
#define IDS_TIP_NOT_CONNECTED 283   // pattern text, engine version
#define IDS_FLOPPY_WARNING 286
#define IDS_WRONG_PASSWORD 288
#define IDS_TIP_ENGINE_DOWNLOAD 289
#define IDS_MENU_UPDATE_NOW 318
#define IDS_PENDING_VIRUS_LOG 355
#define IDS_MENU_ENTER_MOBILE 369
#define IDS_MENU_LEAVE_MOBILE 370
#define IDS_TIP_MOBILE 371          // pattern text, engine version
#define IDS_TIP_PATTERN_OLD 372
#define IDS_SYNCHRONIZED 388
#define IDS_SYNCHRONIZE_FAILED 389
#define IDS_PGX_LOG_FILE_NAME 32798
#define IDS_MENU_STOP_SCHEDULED_SCAN 32799
#define IDS_MENU_SCHEDULED_UPDATE_ON 32800
#define IDS_MENU_SCHEDULED_UPDATE_OFF 32801

#endif
