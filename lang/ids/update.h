// The update program's dialogs, controls and strings (in its own language library).
#define IDD_UPD_UPDATE 102          // moving the staged components
#define IDD_UPD_HOTFIX 103          // hot-fix download and move
#define IDD_UPD_RESTART 104         // restarting the client
#define IDC_UPD_MOVE_BAR 1000       // update: files moved; hot fix: kilobytes of the current file
#define IDC_UPD_STEP_TEXT 1001      // hot fix and restart: what is being done
#define IDC_UPD_FILE_BAR 1002       // hot fix: files downloaded and moved
#define IDC_UPD_UNLOAD_BAR 1003
#define IDC_UPD_MOVE_MARK 1004
#define IDC_UPD_BYTES_TEXT 1005     // hot fix: kilobytes received of the current file
#define IDC_UPD_RESTART_BAR 1006
#define IDC_UPD_UNLOAD_MARK 1010
#define IDC_UPD_REPORT_MARK 1012
#define IDC_UPD_REPORT_BAR 1013
#define IDC_UPD_RESTART_MARK 1015
#define IDC_UPD_BANNER 1016
#define IDS_UPD_UNKNOWN_ERROR 108
#define IDS_UPD_ERROR_CAPTION 109   // caption of the download's error messages
#define IDS_UPD_HTTP_400 137        // 137..147: 400..410
#define IDS_UPD_HTTP_410 147
#define IDS_UPD_HTTP_500 149        // 149..153: 500..504
#define IDS_UPD_HTTP_411 154        // 154..158: 411..415
#define IDS_UPD_HTTP_505 159
#define IDS_UPD_HTTP_305 160
#define IDS_UPD_HTTP_301 161
#define IDS_UPD_NO_SWITCH 162
#define IDS_UPD_NO_FOLDER 163       // "%s": the folder
#define IDS_UPD_KILOBYTES 164       // "%d" received, "%d" total
#define IDS_UPD_RESTARTING 165
#define IDS_UPD_UNLOADING 167
#define IDS_UPD_DOWNLOADING 168     // "%s": the file's path on the server
