// LedraDat.dll: client information and client events, one record of each per client
// (see ledra.h); and the last failure of all three libraries.
#include <windows.h>

#include "c4dll.h"

extern "C" {

int LEDRAAPI DatabaseCIRetrieveRecord(char* pszFolder, CLIENT_INFO_TAG* pRecord, int)
{
    return c4Retrieve("DatabaseCIRetrieveRecord", C4T_CLIENT_INFO, pszFolder, pRecord);
}

int LEDRAAPI DatabaseCIUpdateRecord(char* pszFolder, CLIENT_INFO_TAG* pRecord)
{
    return c4Update("DatabaseCIUpdateRecord", C4T_CLIENT_INFO, pszFolder, pRecord);
}

int LEDRAAPI DatabaseCIRemoveRecord(char* pszFolder, CLIENT_INFO_TAG* pRecord, int)
{
    return c4Remove("DatabaseCIRemoveRecord", C4T_CLIENT_INFO, pszFolder, pRecord);
}

int LEDRAAPI DatabaseCERetrieveRecord(char* pszFolder, CLIENT_EVENT_TAG* pRecord)
{
    return c4Retrieve("DatabaseCERetrieveRecord", C4T_CLIENT_EVENT, pszFolder, pRecord);
}

int LEDRAAPI DatabaseCEUpdateRecord(char* pszFolder, CLIENT_EVENT_TAG* pRecord)
{
    return c4Update("DatabaseCEUpdateRecord", C4T_CLIENT_EVENT, pszFolder, pRecord);
}

int LEDRAAPI DatabaseCERemoveRecord(char* pszFolder, CLIENT_EVENT_TAG* pRecord)
{
    return c4Remove("DatabaseCERemoveRecord", C4T_CLIENT_EVENT, pszFolder, pRecord);
}

int LEDRAAPI DatabaseDataGetLastError(void)
{
    return c4GetLastError();
}
}
