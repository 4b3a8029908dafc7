// Resource ids shared by the programs and their language resource libraries.
// Only #define and #include lines: the resource compiler reads these files too. Each area of
// the programs keeps its ids in ids/<area>.h, included at the end.
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
#define IDD_WINSOCK 300             // hidden, empty pop-up of the host-name look-ups
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
#define IDS_APP_TITLE 102
// Scan settings: the action on a virus found (the plain/alternative pair: the
// first when a caller asks for the variant)
#define IDS_SETTING_LEAVE 140
#define IDS_SETTING_DELETE 141
#define IDS_SETTING_DELETE_ALT 142
#define IDS_SETTING_CLEAN 143
#define IDS_SETTING_CLEAN_ALT 144
#define IDS_SETTING_UNKNOWN 145
#define IDS_SETTING_RENAME 209
#define IDS_SETTING_RENAME_ALT 210
#define IDS_SETTING_MOVE 211
#define IDS_SETTING_MOVE_ALT 212
// Titles of the four scan settings
#define IDS_TITLE_REMOTE 153
#define IDS_TITLE_MANUAL 154
#define IDS_TITLE_REALTIME 155
#define IDS_TITLE_SCHEDULE 156
// Scheduled scan
#define IDS_FREQUENCY_DAILY 157
#define IDS_FREQUENCY_WEEKLY 158
#define IDS_FREQUENCY_MONTHLY 159
#define IDS_FREQUENCY_NONE 270
#define IDS_DAY_SUNDAY 160          // 161..166 Monday..Saturday
#define IDS_DAY_SATURDAY 166
#define IDS_TIME_PM 167             // "%d" hour (1..12), "%02d" minute
#define IDS_TIME_AM 168
// Virus log: the kind of scan that found a virus
#define IDS_EVENT_MANUAL 228
#define IDS_EVENT_SCHEDULE 229
#define IDS_EVENT_REALTIME 230
#define IDS_EVENT_REMOTE 257
// Virus log: what was done; a failure is HEAD + action + TAIL
#define IDS_LOG_NONE 231
#define IDS_LOG_DELETE 232
#define IDS_LOG_RENAME 233
#define IDS_LOG_MOVE 234
#define IDS_LOG_CLEAN 235
#define IDS_LOG_FAILED_HEAD 240
#define IDS_LOG_FAILED_TAIL 368
#define IDS_LOG_DELETED 363
#define IDS_LOG_RENAMED 364
#define IDS_LOG_MOVED 365
#define IDS_LOG_CLEANED 366
// Errors of unknown kind
#define IDS_UNKNOWN_EXCEPTION 316
#define IDS_UNKNOWN_ERROR 354
// Messages of HTTP statuses (0: the transfer was cancelled)
#define IDS_HTTP_CANCELLED 319
#define IDS_HTTP_301 278
#define IDS_HTTP_305 204
#define IDS_HTTP_400 147
#define IDS_HTTP_401 148
#define IDS_HTTP_402 149
#define IDS_HTTP_403 180
#define IDS_HTTP_404 181
#define IDS_HTTP_405 183
#define IDS_HTTP_406 184
#define IDS_HTTP_407 185
#define IDS_HTTP_408 186
#define IDS_HTTP_409 187
#define IDS_HTTP_410 188
#define IDS_HTTP_411 195
#define IDS_HTTP_412 196
#define IDS_HTTP_413 197
#define IDS_HTTP_414 198
#define IDS_HTTP_415 199
#define IDS_HTTP_500 190
#define IDS_HTTP_501 191
#define IDS_HTTP_502 192
#define IDS_HTTP_503 193
#define IDS_HTTP_504 194
#define IDS_HTTP_505 200
// Client dialogs and controls
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

// The ids of each area of the programs, one header each.
#include "ids/database.h"
#include "ids/shellext.h"
#include "ids/client.h"
#include "ids/update.h"
#include "ids/reporting.h"
#include "ids/uninstall.h"
#include "ids/realtime.h"
#include "ids/listener.h"
#include "ids/ondemand.h"
#include "ids/viruslog.h"
#include "ids/updates.h"
#include "ids/options.h"
#include "ids/dialogs.h"

#endif
