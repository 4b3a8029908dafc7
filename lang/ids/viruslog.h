// Resource ids of the virus-log windows: the console's virus-log page, the log viewer and the
// keeping-days dialog.
#ifndef VGL_IDS_VIRUSLOG_H
#define VGL_IDS_VIRUSLOG_H

// Dialog templates
#define IDD_LOG_REPORT 234
#define IDD_VIEW_LOG 240
#define IDD_KEEPING_DAYS 241

// The page: the date fields (edit, then its spin), the keeping days and the View Log button
#define IDC_LOG_FROM_MONTH 1118
#define IDC_LOG_FROM_MONTH_SPIN 1119
#define IDC_LOG_FROM_DAY 1120
#define IDC_LOG_FROM_DAY_SPIN 1121
#define IDC_LOG_FROM_YEAR 1122
#define IDC_LOG_FROM_YEAR_SPIN 1123
#define IDC_LOG_TO_MONTH 1124
#define IDC_LOG_TO_MONTH_SPIN 1125
#define IDC_LOG_TO_DAY 1126
#define IDC_LOG_TO_DAY_SPIN 1127
#define IDC_LOG_TO_YEAR 1128
#define IDC_LOG_TO_YEAR_SPIN 1129
#define IDC_LOG_KEEPING_DAYS_BUTTON 1130
#define IDC_LOG_VIEW_BUTTON 1131
#define IDC_LOG_KEEPING_DAYS 1195

// The viewer and the keeping-days dialog
#define IDC_VIEWLOG_LIST 1173
#define IDC_VIEWLOG_COUNT 1180
#define IDC_KEEPING_DAYS_EDIT 1174
#define IDC_KEEPING_DAYS_SPIN 1175
#define IDC_VIEWLOG_HELP 3

// The View Log button's pictures: up, down, focused, disabled
#define IDB_VIEWLOG_UP 261
#define IDB_VIEWLOG_DOWN 262
#define IDB_VIEWLOG_FOCUS 1056
#define IDB_VIEWLOG_DISABLED 263

// Strings
#define IDS_LOGCOL_KIND 223
#define IDS_LOGCOL_DATETIME 224
#define IDS_LOGCOL_FILE 225
#define IDS_LOGCOL_VIRUS 226
#define IDS_LOGCOL_RESULT 227
#define IDS_LOG_BAD_RANGE 241
#define IDS_VALUE_RANGE 271          // the lower and the upper bound
#define IDS_VIEWLOG_COUNT 20701      // the number of records listed

// The viewer's help topic
#define HELP_VIEW_LOG 36

#endif
