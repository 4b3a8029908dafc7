// Resource ids of the client's reporting to the server: the platform text of the client
// information, the settings-request errors and the debug window with its five pages.
#ifndef VGL_IDS_REPORTING_H
#define VGL_IDS_REPORTING_H

// The platform text: a format filled with an operating-system name and three numbers
#define IDS_PLATFORM_FORMAT 259
#define IDS_PLATFORM_WIN32S 260
#define IDS_PLATFORM_WINNT 261
#define IDS_PLATFORM_WIN98 262
#define IDS_PLATFORM_WIN95 263
#define IDS_PLATFORM_WIN95_OSR2 264

// A settings request the server refused: 325 formatted with the code, placed into 356
#define IDS_CGI_INI_CODE 325
#define IDS_CGI_INI_FAILED 356

// The debug window: caption, count text, column headers
#define IDS_DEBUG_COUNT 256
#define IDS_DEBUG_COLUMN_CODE 272
#define IDS_DEBUG_COLUMN_TIME 273
#define IDS_DEBUG_COLUMN_LOG 274
#define IDS_DEBUG_CAPTION 275
#define IDS_DEBUG_COLUMN_ERROR 276

// Its pages and their two controls
#define IDD_DEBUG_NOTIFICATION 457
#define IDD_DEBUG_STATUS_LOG 281
#define IDD_DEBUG_VIRUS_LOG 455
#define IDD_DEBUG_UNSENT_VIRUS_LOG 456
#define IDD_DEBUG_CLIENT_SETTINGS 264
#define IDC_DEBUG_COUNT 1180
#define IDC_DEBUG_LIST 1193

#endif
