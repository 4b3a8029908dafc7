// Resource ids of real-time protection: the real-time monitor, the list of viruses it found
// and the alert for a boot-area virus.
#ifndef VGL_IDS_REALTIME_H
#define VGL_IDS_REALTIME_H

// The windows' Help button (the class library's help command)
#ifndef ID_HELP
#define ID_HELP 0xE146
#endif

// Dialog templates
#define IDD_IO_MONITOR 233
#define IDD_VIRUS_FOUND_LIST 200
#define IDD_VIRUS_ALERT 247

// The monitor's controls: the real-time group (captions 1111..1114 of the four values) and the
// scheduled-scan group (captions 1031..1034 of the four values)
#define IDC_MONITOR_BITMAP 1001
#define IDC_MONITOR_FILE 1107
#define IDC_MONITOR_LAST_VIRUS 1108
#define IDC_MONITOR_FILES_COUNT 1109
#define IDC_MONITOR_VIRUS_COUNT 1110
#define IDC_MONITOR_FILE_CAPTION 1111
#define IDC_MONITOR_LAST_VIRUS_CAPTION 1112
#define IDC_MONITOR_FILES_COUNT_CAPTION 1113
#define IDC_MONITOR_VIRUS_COUNT_CAPTION 1114
#define IDC_MONITOR_REALTIME_TITLE 1116
#define IDC_MONITOR_ACTIVITY 1117
#define IDC_MONITOR_FREQUENCY_CAPTION 1031
#define IDC_MONITOR_TIME_CAPTION 1032
#define IDC_MONITOR_DAY_OF_WEEK_CAPTION 1033
#define IDC_MONITOR_DAY_OF_MONTH_CAPTION 1034
#define IDC_MONITOR_FREQUENCY 1354
#define IDC_MONITOR_TIME 1355
#define IDC_MONITOR_DAY_OF_WEEK 1356
#define IDC_MONITOR_DAY_OF_MONTH 1357

// The list of findings
#define IDC_FOUND_BITMAP 1001
#define IDC_FOUND_LIST 1077
#define IDC_FOUND_CAPTION 1083
#define IDC_FOUND_COUNT 1084
#define IDC_FOUND_TITLE 1099
#define IDC_FOUND_ALERT_TEXT 1186

// The boot-area alert
#define IDC_ALERT_BITMAP 1001
#define IDC_ALERT_TITLE 1099
#define IDC_ALERT_VIRUS 1181
#define IDC_ALERT_FILE 1182
#define IDC_ALERT_USER 1183
#define IDC_ALERT_RESULT 1184
#define IDC_ALERT_TEXT 1186

// Strings (the caption of the monitor's error boxes is IDS_MESSAGE_CAPTION, 104)
#define IDS_RT_OPEN_FAILED 105
#define IDS_RT_THREAD_FAILED 106
#define IDS_RT_NO_RESOURCES 107
#define IDS_RT_HOOK_FAILED 108          // the file-type list
#define IDS_FOUND_COLUMN_FILE 122
#define IDS_FOUND_COLUMN_VIRUS 123
#define IDS_FOUND_COLUMN_RESULT 124
#define IDS_BOOT_DRIVE 134              // the drive letter
#define IDS_BOOT_SECTOR 137
#define IDS_PARTITION_TABLE 138
#define IDS_MEMORY 139
#define IDS_RT_TIMEOUT 206
#define IDS_RT_ENGINE_FAILED 207
#define IDS_RT_NOT_READY 208
#define IDS_RT_VIRUS_FOUND 265          // virus, file
#define IDS_RT_START_FAILED 277
#define IDS_RT_START_FAILED_CODE 291    // IDS_RT_START_FAILED, the result code
#define IDS_RT_PATTERN_MISMATCH 292
#define IDS_RT_INIT_FAILED 293
#define IDS_ZIP_MEMBER_LEFT 395         // the member's file name
#define IDS_COMPRESSED_TOO_DEEP 396

#endif
