// Resource ids of the client's dialogs: synchronise, Internet and proxy settings, About.
#ifndef VGL_IDS_DIALOGS_H
#define VGL_IDS_DIALOGS_H

// Synchronise
#define IDD_SYNCHRONIZE 295
#define IDC_SYNC_PROGRESS 1197
#define IDC_SYNC_PHASE 1199
#define IDC_SYNC_STATE 1200
#define IDC_SYNC_REMAINING 1201
#define IDC_SYNC_RATE 1202
// Phase lines: the start and the end of each step (phase code in brackets)
#define IDS_SYNC_SETTINGS_BEGIN 309     // (17)
#define IDS_SYNC_SETTINGS_END 310
#define IDS_SYNC_PATTERN_BEGIN 294      // (18)
#define IDS_SYNC_PATTERN_END 311
#define IDS_SYNC_PROGRAM_BEGIN 295      // (20)
#define IDS_SYNC_PROGRAM_END 312
#define IDS_SYNC_ENGINE_BEGIN 296       // (22)
#define IDS_SYNC_ENGINE_END 313
#define IDS_SYNC_COMPONENTS_BEGIN 297   // (23), followed by " (%d/%d)"
#define IDS_SYNC_COMPONENTS_END 314
#define IDS_SYNC_GLOBAL_BEGIN 327       // (25)
#define IDS_SYNC_GLOBAL_END 326
#define IDS_SYNC_POLICY_BEGIN 328       // (26)
#define IDS_SYNC_POLICY_END 329
#define IDS_SYNC_VIRUS_LOGS_BEGIN 331   // (27), followed by " (%d/%d)"
#define IDS_SYNC_VIRUS_LOGS_END 330
#define IDS_SYNC_STATUS_BEGIN 361       // (28)
#define IDS_SYNC_STATUS_END 362
#define IDS_SYNC_PREPARING 32806
#define IDS_SYNC_CANCELLED 320
#define IDS_SYNC_CANCELLING 332
// Connection states
#define IDS_SYNC_RESOLVING 298
#define IDS_SYNC_RESOLVED 299
#define IDS_SYNC_CONNECTING 300
#define IDS_SYNC_REQUEST_SENT 301
#define IDS_SYNC_CONNECTED 302
#define IDS_SYNC_SENDING 303
#define IDS_SYNC_CLOSED 315
// Transfer: size in bytes (total, received), rate in bytes and in KB a second (a double),
// time left (minutes, seconds), size in KB (total, received)
#define IDS_SYNC_SIZE_BYTES 304
#define IDS_SYNC_RATE_BYTES 305
#define IDS_SYNC_RATE_KB 306
#define IDS_SYNC_TIME_LEFT 307
#define IDS_SYNC_SIZE_KB 308

// Internet settings
#define IDD_INTERNET_SETTINGS 296
#define IDC_INET_SERVER_LABEL 1200
#define IDC_INET_SERVER_PORT 1201
#define IDC_INET_USE_PROXY 1202
#define IDC_INET_PROXY_SERVER 1203
#define IDC_INET_PROXY_PORT 1204
#define IDC_INET_PROXY_LOGIN 1205
#define IDC_INET_PROXY_PASSWORD 1206
#define IDC_INET_USER_NAME 1207
#define IDC_INET_PROXY_SERVER_LABEL 1208
#define IDC_INET_PROXY_LOGIN_LABEL 1209
#define IDC_INET_PROXY_PASSWORD_LABEL 1210
#define IDC_INET_PROXY_PORT_LABEL 1211
#define IDC_INET_ANONYMOUS 1212
#define IDC_INET_USER_NAME_LABEL 1213
#define IDC_INET_PASSWORD_LABEL 1214
#define IDC_INET_PASSWORD 1182
#define IDC_INET_SERVER 1368
// Proxy settings
#define IDD_PROXY_SETTINGS 469
#define IDC_PROXY_USE 3113
#define IDC_PROXY_SERVER 3114
#define IDC_PROXY_PORT 1204
#define IDC_PROXY_LOGIN 3116
#define IDC_PROXY_PASSWORD 1182
// Messages of both: a bad address, a bad port
#define IDS_BAD_ADDRESS 352
#define IDS_BAD_PORT 353

// About
#define IDD_ABOUT 100
#define IDR_DIB_ABOUT 268               // 256 colours and more
#define IDR_DIB_ABOUT16 270             // fewer than 256 colours
#define IDC_ABOUT_PICTURE 1001
#define IDC_ABOUT_PROGRAM_VERSION 1058
#define IDC_ABOUT_HELP 1185
#define IDC_ABOUT_FILTER_VERSION 1317
#define IDC_ABOUT_ENGINE_VERSION 1320
#define IDC_ABOUT_PATTERN_VERSION 1321
#define IDC_ABOUT_GUID 1322
#define IDC_ABOUT_MODE 1323
#define IDC_ABOUT_PROXY 1325
#define IDC_ABOUT_SERVER 1326
#define IDC_ABOUT_MOBILE 1327
#define IDC_ABOUT_MASTER_DIRECTORY 1328
#define IDS_ABOUT_MOBILE_ON 131
#define IDS_ABOUT_MOBILE_OFF 132
#define IDS_HELP_FILE_NAME 266
#define IDS_ABOUT_MODE_HTTP 321
#define IDS_ABOUT_MODE_FILE 322

#endif
