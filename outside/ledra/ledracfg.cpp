// LedraCfg.dll: the scan-configuration records, one per client and kind (see ledra.h).
#include <windows.h>

#include "c4dll.h"

#define CFG_FUNCTIONS(prefix, T, table)                                                    \
    int LEDRAAPI Database##prefix##RetrieveRecord(char* pszFolder, T* pRecord)              \
    {                                                                                      \
        return c4Retrieve("Database" #prefix "RetrieveRecord", table, pszFolder, pRecord);  \
    }                                                                                      \
    int LEDRAAPI Database##prefix##UpdateRecord(char* pszFolder, T* pRecord)                \
    {                                                                                      \
        return c4Update("Database" #prefix "UpdateRecord", table, pszFolder, pRecord);      \
    }                                                                                      \
    int LEDRAAPI Database##prefix##RemoveRecord(char* pszFolder, T* pRecord)                \
    {                                                                                      \
        return c4Remove("Database" #prefix "RemoveRecord", table, pszFolder, pRecord);      \
    }

extern "C" {
CFG_FUNCTIONS(MS, MAMUAL_SCAN_CFG_TAG, C4T_MANUAL_SCAN_CFG)
CFG_FUNCTIONS(RT, REALTIME_SCAN_CFG_TAG, C4T_REALTIME_SCAN_CFG)
CFG_FUNCTIONS(SN, SCAN_NOW_CFG_TAG, C4T_SCAN_NOW_CFG)
CFG_FUNCTIONS(PS, PRESCHEDULE_SCAN_CFG_TAG, C4T_PRESCHEDULE_SCAN_CFG)
CFG_FUNCTIONS(EF, EXCLUSION_FILE_LIST_TAG, C4T_EXCLUSION_FILE_CFG)
}
