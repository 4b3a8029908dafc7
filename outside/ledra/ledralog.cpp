// LedraLog.dll: the four scan logs, any number of records per client (see ledra.h).
#include <windows.h>

#include "c4dll.h"

#define LOG_FUNCTIONS(prefix, T, table)                                                    \
    int LEDRAAPI Database##prefix##AddNewRecord(char* pszFolder, T* pRecord)                \
    {                                                                                      \
        return c4Append("Database" #prefix "AddNewRecord", table, pszFolder, pRecord);      \
    }                                                                                      \
    int LEDRAAPI Database##prefix##RemoveAll(char* pszFolder, T* pRecord, int)              \
    {                                                                                      \
        return c4RemoveAll("Database" #prefix "RemoveAll", table, pszFolder, pRecord);      \
    }

extern "C" {
LOG_FUNCTIONS(MSL, MANUAL_SCAN_LOG_TAG, C4T_MANUAL_SCAN_LOG)
LOG_FUNCTIONS(RTL, REALTIME_SCAN_LOG_TAG, C4T_REALTIME_SCAN_LOG)
LOG_FUNCTIONS(PSL, PRESCHEDULE_SCAN_LOG_TAG, C4T_PRESCHEDULE_SCAN_LOG)
LOG_FUNCTIONS(SNL, SCAN_NOW_LOG_TAG, C4T_SCAN_NOW_LOG)
}
