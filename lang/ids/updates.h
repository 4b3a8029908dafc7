// Resource ids of the client's updates: component downloads, settings renewal, hot fixes,
// outbreak policy and scheduled updates.
#ifndef VGL_IDS_UPDATES_H
#define VGL_IDS_UPDATES_H

#define IDS_OPP_POPUP_CAPTION 129          // caption of the outbreak-policy message
// The update library reported an error: formatted with the library's own text
#define IDS_UPDATE_LIBRARY_ERROR 351
#define IDS_HOTFIX_BAD_LIST 357
#define IDS_SERVER_INI_BAD 358
#define IDS_SCHEDULE_UPDATE_ERROR 32793    // formatted with the Win32 error code
#define IDS_SCHEDULE_UPDATE_DENIED 32795
#define IDS_SCHEDULE_UPDATE_ON 32796
#define IDS_SCHEDULE_UPDATE_NO_ANSWER 32797

#endif
