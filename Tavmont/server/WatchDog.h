// The outside watchdog library "VglDogLib.dll" of the program folder, bound for each call.
#ifndef VGL_WATCHDOG_H
#define VGL_WATCHDOG_H

#include <windows.h>

// Register or unregister the client with the watchdog; FALSE when the library or its export
// cannot be found, else the library's result.
BOOL RegWatchDog_Vgl();
BOOL UnRegWatchDog_Vgl();

#endif
