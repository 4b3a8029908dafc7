// The uninstall program's resources (VigilonUninstall.dll; the strings 333-350 are the
// IDS_DATABASE_ERROR_* of ids/database.h).
// Dialogs and their controls
#define IDD_UNINSTALL 102
#define IDC_UNINSTALL_BAR_FOLDER 1000       // row 3: the program folder
#define IDC_UNINSTALL_BAR_COMPONENTS 1001   // row 2: tools, ActiveX controls, shell extension
#define IDC_UNINSTALL_BAR_REGISTRY 1002     // row 4: shortcuts, INI files, registry
#define IDC_UNINSTALL_BAR_UNLOAD 1003       // row 1: stopping the client and the support tool
#define IDC_UNINSTALL_DONE_FOLDER 1004
#define IDC_UNINSTALL_DONE_COMPONENTS 1006
#define IDC_UNINSTALL_DONE_REGISTRY 1008
#define IDC_UNINSTALL_DONE_UNLOAD 1010
#define IDC_UNINSTALL_DONE_SERVER 1012
#define IDC_UNINSTALL_BAR_SERVER 1013       // row 5: telling the server
#define IDC_UNINSTALL_PICTURE 1014
#define IDD_UNINSTALL_PASSWORD 248
#define IDC_UNINSTALL_PASSWORD 1182
#define IDD_DEL_KVDSHELL 459
#define IDC_DEL_KVDSHELL_TIME 1227
#define IDC_DEL_KVDSHELL_BAR 1245
#define IDI_UNINSTALL 128                   // window icon of the uninstall dialog
// Strings
#define IDS_UNINST_WINSOCK_FAILED 103       // in the program file itself: shown before the library loads
#define IDS_UNINST_UNKNOWN_EXCEPTION 108
#define IDS_UNINST_ERROR_CAPTION 109
#define IDS_UNINST_HTTP_400 137             // 400..410 -> 137..147
#define IDS_UNINST_HTTP_500 149             // 500..504 -> 149..153
#define IDS_UNINST_HTTP_411 154             // 411..415 -> 154..158
#define IDS_UNINST_HTTP_505 159
#define IDS_UNINST_HTTP_305 160
#define IDS_UNINST_HTTP_301 161
#define IDS_UNINST_CGI_REFUSED 163          // any other return code of the uninstall notice
#define IDS_UNINST_CGI_2 164                // -2
#define IDS_UNINST_CGI_3 165                // -3
#define IDS_UNINST_CGI_4 166                // -4
#define IDS_UNINST_NO_CLIENT_PROGRAM 168    // %s: the program folder
#define IDS_UNINST_WRONG_PASSWORD 172
#define IDS_UNINST_REGISTRY_INCOMPLETE 351
#define IDS_UNINST_TIME_LEFT 353            // %d minutes, %d seconds
#define IDS_UNINST_DEL_KVDSHELL_CAPTION 354
#define IDS_UNINST_DEL_KVDSHELL_CANCEL 355
