// The shell extension's texts (it loads them from the client's language library).
#define IDS_SHELLEXT_MENU 280       // the context-menu command, at most 63 characters
#define IDS_SHELLEXT_HELP 281       // its help text, at most 63 characters
