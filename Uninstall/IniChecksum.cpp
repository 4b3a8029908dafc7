#include "IniChecksum.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace
{
const DWORD SECTION_BUFFER_STEP = 10240;
const DWORD SECTION_BUFFER_MAX = 30720;
const WORD CHECKSUM_MASK = 0xC57D;
const DWORD CHECKSUM_FACTOR = 19866;
}

void addStringToChecksum(LPCSTR pszText, WORD& wAccumulator)
{
    for (const signed char* p = (const signed char*)pszText; *p != 0; ++p)
        wAccumulator = (WORD)(wAccumulator + (short)*p);
}

WORD computeIniSectionChecksum(LPCSTR pszLines, LPCSTR pszChecksumKey)
{
    size_t cchKey = strlen(pszChecksumKey);
    WORD wSum = 0;
    for (LPCSTR pszLine = pszLines; *pszLine != '\0'; pszLine += strlen(pszLine) + 1)
    {
        if (strncmp(pszLine, pszChecksumKey, cchKey) == 0)
            continue;
        addStringToChecksum(pszLine, wSum);
    }
    return (WORD)(((DWORD)(wSum ^ CHECKSUM_MASK) * CHECKSUM_FACTOR) & 0xFFFF);
}

int writeIniSectionChecksum(LPCSTR pszIniFile, LPCSTR pszSection, LPCSTR pszChecksumKey)
{
    char* pszBuffer = NULL;
    DWORD cchRead = 0;
    for (DWORD cbBuffer = SECTION_BUFFER_STEP;; cbBuffer += SECTION_BUFFER_STEP)
    {
        char* pszLarger = (char*)realloc(pszBuffer, cbBuffer);
        if (pszLarger == NULL)
        {
            free(pszBuffer);
            return INI_CHECKSUM_E_TOO_LARGE;
        }
        pszBuffer = pszLarger;
        cchRead = ::GetPrivateProfileSectionA(pszSection, pszBuffer, cbBuffer, pszIniFile);
        if (cchRead == 0)
        {
            free(pszBuffer);
            return INI_CHECKSUM_E_EMPTY;
        }
        if (cchRead != cbBuffer - 2)
            break;
        if (cbBuffer >= SECTION_BUFFER_MAX)
        {
            free(pszBuffer);
            return INI_CHECKSUM_E_TOO_LARGE;
        }
    }
    // The list ends with two zeros; a read that was cut is never used.
    pszBuffer[cchRead] = '\0';
    pszBuffer[cchRead + 1] = '\0';
    WORD wChecksum = computeIniSectionChecksum(pszBuffer, pszChecksumKey);
    free(pszBuffer);

    char szValue[16];
    sprintf(szValue, "%04d", (int)wChecksum);
    return ::WritePrivateProfileStringA(pszSection, pszChecksumKey, szValue, pszIniFile)
               ? INI_CHECKSUM_WRITTEN
               : INI_CHECKSUM_E_WRITE;
}
