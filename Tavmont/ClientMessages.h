// Private messages of the client's main window: posted by its own threads, the server
// commands, the update and uninstall programs and the shell extension.
#ifndef VGL_CLIENTMESSAGES_H
#define VGL_CLIENTMESSAGES_H

#include <windows.h>

#define WM_DELETE_THREAD (WM_USER + 1)          // lParam: a finished listener thread
#define WM_SERVER_COMMAND (WM_USER + 2)         // lParam: heap CString*, owned by the receiver
#define WM_TRAY_CONTEXT_MENU (WM_USER + 3)
#define WM_HIDE_TO_TRAY (WM_USER + 4)
#define WM_SCHEDULE_SCAN (WM_USER + 5)
#define WM_DISPLAY_FLOPPY_WARNING (WM_USER + 6)
#define WM_UPDATE_ALERT_MESSAGE (WM_USER + 7)
#define WM_PENDING_VIRUS_LOG (WM_USER + 8)
#define WM_SECOND_INSTANCE (WM_USER + 10)       // wParam: the second start's "-HideWindow"
#define WM_UPDATE_TRAY_ICON (WM_USER + 12)
#define WM_UPDATE_CONFIGURATION (WM_USER + 13)
#define WM_REMOTE_SCAN (WM_USER + 14)
#define WM_ANIMATE_TRAY_ICON (WM_USER + 15)     // wParam: the percentage (from a worker thread)
#define WM_STOP_TRAY_ANIMATION (WM_USER + 16)   // from a worker thread, after its animate messages
#define WM_SET_EXCEPTION_PROCESS (WM_USER + 999)
#define WM_UNLOAD (WM_USER + 1000)

// Thread message to the shut-down notice thread.
#define WM_SHUTDOWN_UI_END (WM_USER + 1001)

// The tag of the outside cleaning program's WM_COPYDATA record.
#define COPYDATA_PGX_LOG 2004

#endif
