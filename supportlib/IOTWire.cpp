#include "IOTWire.h"

#include <string.h>

namespace {

// Where a text of the data area ends: its length, or -1 when it does not start inside the data
// area or runs past its end.
int TextLength(const BYTE* pData, DWORD cbData, UINT32 dwAt)
{
    if (dwAt >= cbData)
        return -1;
    const void* pEnd = memchr(pData + dwAt, 0, cbData - dwAt);
    return pEnd ? int((const BYTE*)pEnd - (pData + dwAt)) : -1;
}

int StoredLayers(int nLayerCount) { return nLayerCount > 0 ? nLayerCount : 0; }

}  // namespace

DWORD IOT_PackEvent(const IOT_EVENT* pEvent, UINT32 dwRegistration, UINT32 dwSequence, BYTE* pRecord,
                    DWORD cbRecord)
{
    if (!pEvent || pEvent->nLayerCount < -1 || pEvent->nLayerCount > IOT_MAX_LAYERS)
        return 0;
    int nLayers = StoredLayers(pEvent->nLayerCount);
    LPCSTR apszTexts[3 + IOT_MAX_LAYERS] = {pEvent->pszFile, pEvent->pszVirus, pEvent->pszMovedFile};
    for (int i = 0; i < nLayers; ++i)
        apszTexts[3 + i] = pEvent->apszLayers[i];
    int nTexts = 3 + nLayers;
    UINT32 adwAt[3 + IOT_MAX_LAYERS];
    DWORD cbData = 0;
    for (int i = 0; i < nTexts; ++i)
    {
        size_t cch = apszTexts[i] ? strlen(apszTexts[i]) : 0;
        if (cch >= IOT_WIRE_EVENT_MAX)
            return 0;
        adwAt[i] = cbData;
        cbData += DWORD(cch + 1);
        if (cbData > IOT_WIRE_EVENT_MAX - IOT_WIRE_EVENT_HEADER)
            return 0;
    }
    DWORD cbTotal = IOT_WIRE_EVENT_HEADER + cbData;
    if (!pRecord)
        return cbTotal;
    if (cbRecord < cbTotal)
        return 0;
    IOT_WIRE_EVENT header;
    memset(&header, 0, sizeof header);
    header.nKind = pEvent->nKind;
    header.dwRegistration = dwRegistration;
    header.dwSequence = dwSequence;
    header.dwFileAt = adwAt[0];
    header.dwVirusAt = adwAt[1];
    header.dwMovedAt = adwAt[2];
    for (int i = 0; i < nLayers; ++i)
        header.adwLayerAt[i] = adwAt[3 + i];
    header.nLayerCount = pEvent->nLayerCount;
    header.nFirstResult = pEvent->nFirstResult;
    header.nFirstAction = pEvent->nFirstAction;
    header.nSecondResult = pEvent->nSecondResult;
    header.nSecondAction = pEvent->nSecondAction;
    header.dwLength = cbTotal;
    memcpy(pRecord, &header, sizeof header);
    BYTE* pData = pRecord + IOT_WIRE_EVENT_HEADER;
    for (int i = 0; i < nTexts; ++i)
    {
        size_t cb = apszTexts[i] ? strlen(apszTexts[i]) + 1 : 1;
        if (apszTexts[i])
            memcpy(pData + adwAt[i], apszTexts[i], cb);
        else
            pData[adwAt[i]] = 0;
    }
    return cbTotal;
}

BOOL IOT_CheckWireEvent(const BYTE* pRecord, DWORD cbRecord, DWORD* pcbData, UINT32* pdwRegistration)
{
    if (!pRecord || cbRecord < IOT_WIRE_EVENT_HEADER)
        return FALSE;
    IOT_WIRE_EVENT header;
    memcpy(&header, pRecord, sizeof header);
    if (header.dwLength != cbRecord || header.dwLength > IOT_WIRE_EVENT_MAX)
        return FALSE;
    if (header.nKind != IOT_EVENT_PROGRESS && header.nKind != IOT_EVENT_VIRUS)
        return FALSE;
    if (header.nLayerCount < -1 || header.nLayerCount > IOT_MAX_LAYERS)
        return FALSE;
    const BYTE* pData = pRecord + IOT_WIRE_EVENT_HEADER;
    DWORD cbData = cbRecord - IOT_WIRE_EVENT_HEADER;
    if (TextLength(pData, cbData, header.dwFileAt) < 0 || TextLength(pData, cbData, header.dwVirusAt) < 0 ||
        TextLength(pData, cbData, header.dwMovedAt) < 0)
        return FALSE;
    for (int i = 0; i < StoredLayers(header.nLayerCount); ++i)
        if (TextLength(pData, cbData, header.adwLayerAt[i]) < 0)
            return FALSE;
    if (pcbData)
        *pcbData = cbData;
    if (pdwRegistration)
        *pdwRegistration = header.dwRegistration;
    return TRUE;
}

BOOL IOT_UnpackEvent(const BYTE* pRecord, DWORD cbRecord, IOT_EVENT* pEvent, char* pData, DWORD cbData)
{
    DWORD cbArea = 0;
    if (!pEvent || !pData || !IOT_CheckWireEvent(pRecord, cbRecord, &cbArea, NULL) || cbData < cbArea)
        return FALSE;
    IOT_WIRE_EVENT header;
    memcpy(&header, pRecord, sizeof header);
    memcpy(pData, pRecord + IOT_WIRE_EVENT_HEADER, cbArea);
    memset(pEvent, 0, sizeof *pEvent);
    pEvent->nKind = header.nKind;
    pEvent->pszFile = pData + header.dwFileAt;
    pEvent->pszVirus = pData + header.dwVirusAt;
    pEvent->pszMovedFile = pData + header.dwMovedAt;
    for (int i = 0; i < StoredLayers(header.nLayerCount); ++i)
        pEvent->apszLayers[i] = pData + header.adwLayerAt[i];
    pEvent->nLayerCount = header.nLayerCount;
    pEvent->nFirstResult = header.nFirstResult;
    pEvent->nFirstAction = header.nFirstAction;
    pEvent->nSecondResult = header.nSecondResult;
    pEvent->nSecondAction = header.nSecondAction;
    return TRUE;
}
