// Pattern files on disk: names, integrity check, search, list, clean-up, version.
#include "PatternFile.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <ctype.h>
#include <new>
#include <string>
#include <vector>

namespace {

const size_t RECORD_HEADER = 14;
const size_t TABLE_HEADER = 26;
const size_t CRC_PIECE = 0xFFFE;
const size_t INFO_ITEM_BUFFER = 256;
const size_t FOLDER_MAX = 249;
const int CANDIDATES = 5;

DWORD s_adwCrcTable[256];
volatile LONG s_fCrcTableReady = 0;

void BuildCrcTable()
{
    for (DWORD i = 0; i < 256; i++) {
        DWORD c = i;
        for (int k = 0; k < 8; k++)
            c = (c & 1) ? 0xEDB88320UL ^ (c >> 1) : c >> 1;
        s_adwCrcTable[i] = c;
    }
    InterlockedExchange(&s_fCrcTableReady, 1);
}

WORD Get16(const BYTE* p) { return (WORD)(p[0] | (p[1] << 8)); }
DWORD Get32(const BYTE* p) { return Get16(p) | ((DWORD)Get16(p + 2) << 16); }

bool IsTableTag(DWORD dwTag)
{
    return dwTag == 0x1ABDA11AUL || dwTag == 0x1ABDA21AUL || dwTag == 0x1ABDA41AUL;
}

bool IsRefusedTag(DWORD dwTag)
{
    return dwTag == 0x1ABDA81AUL || dwTag == 0x1ABDA91AUL || dwTag == 0x1ABDAA1AUL ||
           dwTag == 0x1ABDAB1AUL;
}

struct SRecordHeader
{
    DWORD dwTag;
    short nCount;
    DWORD dwCrc;
    short nNumber;
    short nEntrySize;
};

void ParseRecordHeader(const BYTE* p, SRecordHeader* pHeader)
{
    pHeader->dwTag = Get32(p);
    pHeader->nCount = (short)Get16(p + 4);
    pHeader->dwCrc = Get32(p + 6);
    pHeader->nNumber = (short)Get16(p + 10);
    pHeader->nEntrySize = (short)Get16(p + 12);
}

// TRUE when the last character of a path is a backslash (not a trail byte).
bool EndsWithBackslash(const char* psz)
{
    bool fLast = false;
    for (const char* p = psz; *p; p++) {
        fLast = (*p == '\\');
        if (IsDBCSLeadByte((BYTE)*p) && p[1])
            p++;
    }
    return fLast;
}

std::string FolderWithSlash(const char* pszFolder)
{
    std::string s(pszFolder);
    if (!s.empty() && !EndsWithBackslash(pszFolder))
        s += '\\';
    return s;
}

// Feeds nLength bytes of the file into the CRC through buffer pbBuf.
int CrcFromFile(FILE* pFile, long nLength, BYTE* pbBuf, DWORD* pdwCrc)
{
    while (nLength > 0) {
        size_t cb = (size_t)nLength < CRC_PIECE ? (size_t)nLength : CRC_PIECE;
        if (fread(pbBuf, 1, cb, pFile) != cb)
            return PATTERN_ERR_READ;
        *pdwCrc = patternCrc32(*pdwCrc, pbBuf, (UINT)cb);
        nLength -= (long)cb;
    }
    return 0;
}

// Walks the pattern files of a folder (8.3 names with a pattern extension) and
// hands each one to fnVisit; -2 when the search finds nothing at all.
template <class Visit>
int WalkPatternFiles(const std::string& strFolder, const char* pszPrefix, Visit fnVisit)
{
    std::string strSearch = strFolder;
    strSearch += pszPrefix ? std::string(pszPrefix) + "*.*" : std::string(PATTERN_BASE_NAME ".*");
    WIN32_FIND_DATAA fd;
    HANDLE hFind = FindFirstFileA(strSearch.c_str(), &fd);
    if (hFind == INVALID_HANDLE_VALUE)
        return PATTERN_ERR_NOT_FOUND;
    int nResult = 0;
    do {
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        if (strlen(fd.cFileName) > 12)
            continue;
        int nNumber = patternNumberOfFile(fd.cFileName);
        if (nNumber < 1 || nNumber > PATTERN_NUMBER_MAX)
            continue;
        PatternCandidate candidate;
        candidate.nNumber = nNumber;
        lstrcpynA(candidate.szFileName, fd.cFileName, sizeof(candidate.szFileName));
        std::string strPath = strFolder + fd.cFileName;
        int nVersionNumber = 0;
        readPatternVersion(strPath.c_str(), &candidate.dwVersion, &nVersionNumber);
        nResult = fnVisit(candidate);
        if (nResult < 0)
            break;
    } while (FindNextFileA(hFind, &fd));
    FindClose(hFind);
    return nResult < 0 ? nResult : 0;
}

bool FolderArgumentOk(const char* pszFolder)
{
    return pszFolder && strlen(pszFolder) <= FOLDER_MAX;
}

bool PassesCheck(const std::string& strFolder, const PatternCandidate& candidate)
{
    return VSCheckPatternFile((strFolder + candidate.szFileName).c_str()) == candidate.nNumber;
}

} // namespace

DWORD patternCrc32(DWORD dwCrc, const void* pData, UINT cbData)
{
    if (!s_fCrcTableReady)
        BuildCrcTable();
    const BYTE* p = static_cast<const BYTE*>(pData);
    while (cbData--)
        dwCrc = s_adwCrcTable[(dwCrc ^ *p++) & 0xFF] ^ (dwCrc >> 8);
    return dwCrc;
}

int patternNumberToExtension(int nNumber, char* pszBuf, int cbBuf)
{
    if (nNumber < 1 || nNumber > PATTERN_NUMBER_MAX || !pszBuf || cbBuf < 1)
        return PATTERN_ERR_ARGUMENT;
    if (cbBuf < 4)
        return PATTERN_ERR_SMALL_BUFFER;
    int nHundreds = nNumber / 100;
    pszBuf[0] = (char)(nHundreds < 10 ? '0' + nHundreds : 'A' + nHundreds - 10);
    pszBuf[1] = (char)('0' + nNumber / 10 % 10);
    pszBuf[2] = (char)('0' + nNumber % 10);
    pszBuf[3] = '\0';
    return 0;
}

int patternExtensionToNumber(const char* pszExt)
{
    if (!pszExt)
        return PATTERN_ERR_ARGUMENT;
    if (strlen(pszExt) != 3)
        return PATTERN_ERR_INVALID;
    int c = toupper((BYTE)pszExt[0]);
    int nHundreds;
    if (c >= '0' && c <= '9')
        nHundreds = c - '0';
    else if (c >= 'A' && c <= 'Z')
        nHundreds = c - 'A' + 10;
    else
        return PATTERN_ERR_INVALID;
    if (pszExt[1] < '0' || pszExt[1] > '9' || pszExt[2] < '0' || pszExt[2] > '9')
        return PATTERN_ERR_INVALID;
    return nHundreds * 100 + (pszExt[1] - '0') * 10 + (pszExt[2] - '0');
}

int patternNumberOfFile(const char* pszFileName)
{
    if (!pszFileName)
        return PATTERN_ERR_ARGUMENT;
    const char* pszDot = strrchr(pszFileName, '.');
    if (!pszDot)
        return PATTERN_ERR_INVALID;
    return patternExtensionToNumber(pszDot + 1);
}

int VSCheckPatternFile(const char* pszPath)
{
    if (!pszPath)
        return PATTERN_ERR_ARGUMENT;
    int nExpected = patternNumberOfFile(pszPath);
    if (nExpected < 1)
        return PATTERN_ERR_INVALID;
    FILE* pFile = fopen(pszPath, "rb");
    if (!pFile)
        return PATTERN_ERR_OPEN;
    BYTE* pbBuf = static_cast<BYTE*>(malloc(CRC_PIECE));
    if (!pbBuf) {
        fclose(pFile);
        return PATTERN_ERR_MEMORY;
    }

    int nResult = PATTERN_ERR_READ;
    long nFileSize = -1;
    if (fseek(pFile, 0, SEEK_END) == 0)
        nFileSize = ftell(pFile);
    if (nFileSize < 0 || fseek(pFile, 0, SEEK_SET) != 0)
        goto done;

    for (int nRecords = 0;; nRecords++) {
        BYTE abHeader[RECORD_HEADER];
        size_t cbRead = fread(abHeader, 1, sizeof(abHeader), pFile);
        if (cbRead == 0 && !ferror(pFile)) {
            nResult = nRecords > 0 ? nExpected : PATTERN_ERR_READ;
            break;
        }
        if (cbRead != sizeof(abHeader)) {
            nResult = PATTERN_ERR_READ;
            break;
        }
        SRecordHeader header;
        ParseRecordHeader(abHeader, &header);
        if (header.nNumber != nExpected) {
            nResult = PATTERN_ERR_NUMBER;
            break;
        }
        if (IsRefusedTag(header.dwTag)) {
            nResult = PATTERN_ERR_REFUSED;
            break;
        }
        // A negative count or size is a damaged record, never a length.
        if (header.nCount < 0 || header.nEntrySize < 0) {
            nResult = PATTERN_ERR_INVALID;
            break;
        }
        long nLength = (long)header.nCount * header.nEntrySize;
        long nStart = ftell(pFile);
        if (nStart < 0 || nLength > nFileSize - nStart) {
            nResult = PATTERN_ERR_READ;
            break;
        }

        DWORD dwCrc = 0;
        if (IsTableTag(header.dwTag)) {
            BYTE abTable[TABLE_HEADER];
            if (nLength < (long)TABLE_HEADER) {
                nResult = PATTERN_ERR_INVALID;
                break;
            }
            if (fread(abTable, 1, sizeof(abTable), pFile) != sizeof(abTable)) {
                nResult = PATTERN_ERR_READ;
                break;
            }
            long nWords = 0;
            for (int nOffset = 10; nOffset <= 20; nOffset += 2)
                nWords += Get16(abTable + nOffset);
            long nCovered = 4 * nWords + 8L * Get16(abTable + 22) + 2L * Get16(abTable + 24) + 512;
            if (nCovered > nLength - (long)TABLE_HEADER) {
                nResult = PATTERN_ERR_INVALID;
                break;
            }
            dwCrc = patternCrc32(dwCrc, abTable, sizeof(abTable));
            nResult = CrcFromFile(pFile, nCovered, pbBuf, &dwCrc);
            if (nResult < 0)
                break;
            if (dwCrc != header.dwCrc) {
                nResult = PATTERN_ERR_INVALID;
                break;
            }
            if (fseek(pFile, nStart + nLength, SEEK_SET) != 0) {
                nResult = PATTERN_ERR_READ;
                break;
            }
        } else {
            if (nLength == 0) {
                nResult = PATTERN_ERR_ARGUMENT;
                break;
            }
            nResult = CrcFromFile(pFile, nLength, pbBuf, &dwCrc);
            if (nResult < 0)
                break;
            if (dwCrc != header.dwCrc) {
                nResult = PATTERN_ERR_INVALID;
                break;
            }
        }
    }

done:
    free(pbBuf);
    fclose(pFile);
    return nResult;
}

int readPatternVersion(const char* pszPath, DWORD* pdwVersion, int* pnNumber)
{
    if (!pszPath || !pdwVersion || !pnNumber)
        return PATTERN_ERR_ARGUMENT;
    int nNumber = patternNumberOfFile(pszPath);
    *pnNumber = nNumber;
    *pdwVersion = 0;
    if (nNumber < 1)
        return PATTERN_ERR_INVALID;
    *pdwVersion = (DWORD)nNumber * 100;

    FILE* pFile = fopen(pszPath, "rb");
    if (!pFile)
        return PATTERN_ERR_OPEN;
    long nPosition = ftell(pFile);
    int nResult = PATTERN_ERR_INVALID;
    BYTE abHeader[RECORD_HEADER];
    SRecordHeader header;
    if (fread(abHeader, 1, sizeof(abHeader), pFile) != sizeof(abHeader)) {
        nResult = PATTERN_ERR_READ;
    } else {
        ParseRecordHeader(abHeader, &header);
        if (header.dwTag == PATTERN_TAG_INFO) {
            bool fFound = false;
            DWORD dwVersion = 0;
            long nLeft = header.nEntrySize;
            // The items fill the entry size; a negative size cannot hold any.
            nResult = nLeft < 0 ? PATTERN_ERR_NUMBER : 0;
            while (nResult == 0 && nLeft >= 8) {
                BYTE abItem[INFO_ITEM_BUFFER];
                if (fread(abItem, 1, 8, pFile) != 8) {
                    nResult = PATTERN_ERR_READ;
                    break;
                }
                DWORD dwType = Get32(abItem), dwLength = Get32(abItem + 4);
                nLeft -= 8;
                if (dwLength > (DWORD)nLeft) {
                    nResult = PATTERN_ERR_NUMBER;
                    break;
                }
                size_t cbKeep = dwLength < sizeof(abItem) ? dwLength : sizeof(abItem);
                if (fread(abItem, 1, cbKeep, pFile) != cbKeep ||
                    (dwLength > cbKeep && fseek(pFile, (long)(dwLength - cbKeep), SEEK_CUR) != 0)) {
                    nResult = PATTERN_ERR_READ;
                    break;
                }
                nLeft -= (long)dwLength;
                if (dwType == 1 && cbKeep >= 4) {
                    dwVersion = Get32(abItem);
                    fFound = true;
                }
            }
            if (nResult == 0 && fFound) {
                *pdwVersion = dwVersion;
                if ((int)(dwVersion % 100000 / 100) != nNumber)
                    nResult = PATTERN_ERR_NOT_FOUND;
            } else if (nResult == 0) {
                nResult = PATTERN_ERR_INVALID;
            }
        }
    }
    fseek(pFile, nPosition, SEEK_SET);
    fclose(pFile);
    return nResult;
}

int comparePatternVersions(int nNumber1, DWORD dwVersion1, int nNumber2, DWORD dwVersion2)
{
    if (dwVersion1 > dwVersion2)
        return 1;
    if (dwVersion1 < dwVersion2)
        return -1;
    if (dwVersion1 != 0)
        return 0;
    return nNumber1 > nNumber2 ? 1 : (nNumber1 < nNumber2 ? -1 : 0);
}

int insertPatternCandidate(PatternCandidate* pArray, int nCount, int nCapacity,
                           const PatternCandidate& candidate)
{
    if (!pArray || nCapacity < 1)
        return nCount;
    int nAt = 0;
    while (nAt < nCount &&
           comparePatternVersions(candidate.nNumber, candidate.dwVersion, pArray[nAt].nNumber,
                                  pArray[nAt].dwVersion) <= 0)
        nAt++;
    if (nAt >= nCapacity)
        return nCount;
    int nLast = nCount < nCapacity ? nCount : nCapacity - 1;
    for (int i = nLast; i > nAt; i--)
        pArray[i] = pArray[i - 1];
    pArray[nAt] = candidate;
    return nLast + 1;
}

int VSGetLastPattern(const char* pszFolder, const char* pszPrefix, PatternFileInfo* pInfo,
                     BOOL fCheck)
{
    if (!FolderArgumentOk(pszFolder) || !pInfo)
        return PATTERN_ERR_ARGUMENT;
    pInfo->nPatternNumber = 0;
    pInfo->nCheckResult = 0;
    std::string strFolder = FolderWithSlash(pszFolder);

    PatternCandidate aCandidates[CANDIDATES];
    int nCount = 0;
    bool fFound = false;
    PatternCandidate best;
    auto examine = [&]() {
        for (int i = 0; i < nCount; i++) {
            const PatternCandidate& c = aCandidates[i];
            if (fFound && comparePatternVersions(c.nNumber, c.dwVersion, best.nNumber,
                                                 best.dwVersion) < 0)
                break;
            if (!fCheck || PassesCheck(strFolder, c)) {
                best = c;
                fFound = true;
                break;
            }
        }
        nCount = 0;
    };
    WalkPatternFiles(strFolder, pszPrefix, [&](const PatternCandidate& c) {
        nCount = insertPatternCandidate(aCandidates, nCount, CANDIDATES, c);
        if (nCount == CANDIDATES)
            examine();
        return 0;
    });
    examine();
    if (!fFound)
        return PATTERN_ERR_NOT_FOUND;
    pInfo->nPatternNumber = (short)best.nNumber;
    lstrcpynA(pInfo->szFileName, best.szFileName, sizeof(pInfo->szFileName));
    return 0;
}

int VSGetPatternList(const char* pszFolder, const char* pszPrefix, PatternFileInfo* pList,
                     int* pnCount, BOOL fCheck)
{
    if (!FolderArgumentOk(pszFolder) || !pnCount || *pnCount < 0 || (*pnCount > 0 && !pList))
        return PATTERN_ERR_ARGUMENT;
    std::string strFolder = FolderWithSlash(pszFolder);
    int nCapacity = *pnCount;
    int nFiles = 0;
    std::vector<PatternCandidate> kept;
    try {
        kept.resize(nCapacity);
    } catch (const std::bad_alloc&) {
        return PATTERN_ERR_MEMORY;
    }
    int nKept = 0;
    WalkPatternFiles(strFolder, pszPrefix, [&](const PatternCandidate& c) {
        nFiles++;
        if (nCapacity > 0)
            nKept = insertPatternCandidate(&kept[0], nKept, nCapacity, c);
        return 0;
    });
    if (nFiles == 0)
        return PATTERN_ERR_NOT_FOUND;
    if (nCapacity == 0)
        return nFiles;
    for (int i = 0; i < nKept; i++) {
        pList[i].nPatternNumber = (short)kept[i].nNumber;
        lstrcpynA(pList[i].szFileName, kept[i].szFileName, sizeof(pList[i].szFileName));
        pList[i].nCheckResult = 0;
        if (fCheck) {
            int nCheck = VSCheckPatternFile((strFolder + kept[i].szFileName).c_str());
            pList[i].nCheckResult = nCheck == kept[i].nNumber ? 0 : nCheck;
        }
    }
    *pnCount = nKept;
    return 0;
}

int VSDeleteUnusedPattern(const char* pszFolder, const char* pszPrefix, int nKeep)
{
    if (!FolderArgumentOk(pszFolder) || nKeep < 0)
        return PATTERN_ERR_ARGUMENT;
    std::string strFolder = FolderWithSlash(pszFolder);
    std::vector<PatternCandidate> files;
    try {
        int nResult = WalkPatternFiles(strFolder, pszPrefix, [&](const PatternCandidate& c) {
            size_t nAt = 0;
            while (nAt < files.size() && comparePatternVersions(c.nNumber, c.dwVersion,
                                                                 files[nAt].nNumber,
                                                                 files[nAt].dwVersion) <= 0)
                nAt++;
            files.insert(files.begin() + nAt, c);
            return 0;
        });
        if (nResult < 0 && nResult != PATTERN_ERR_NOT_FOUND)
            return nResult;
    } catch (const std::bad_alloc&) {
        return PATTERN_ERR_MEMORY;
    }
    if (files.empty())
        return PATTERN_ERR_NOT_FOUND;

    int nKept = 0;
    for (size_t i = 0; i < files.size(); i++) {
        if (nKept < nKeep && PassesCheck(strFolder, files[i])) {
            nKept++;
            continue;
        }
        std::string strPath = strFolder + files[i].szFileName;
        SetFileAttributesA(strPath.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!DeleteFileA(strPath.c_str()))
            return PATTERN_ERR_REMOVE;
    }
    return 0;
}

BOOL GetPatternVersion(DWORD* pdwVersion, int* pnNumber)
{
    if (!pdwVersion || !pnNumber)
        return FALSE;
    *pdwVersion = 0;
    *pnNumber = 0;
    char szModule[MAX_PATH];
    DWORD cch = GetModuleFileNameA(NULL, szModule, sizeof(szModule));
    if (cch == 0 || cch >= sizeof(szModule))
        return FALSE;
    // Cut after the last backslash that is not a trail byte.
    char* pszCut = NULL;
    for (char* p = szModule; *p; p++) {
        if (*p == '\\')
            pszCut = p;
        else if (IsDBCSLeadByte((BYTE)*p) && p[1])
            p++;
    }
    if (!pszCut)
        return FALSE;
    pszCut[1] = '\0';

    PatternFileInfo info;
    if (VSGetLastPattern(szModule, NULL, &info, TRUE) != 0)
        return FALSE;
    std::string strPath = std::string(szModule) + info.szFileName;
    DWORD dwVersion = 0;
    int nNumber = 0;
    if (readPatternVersion(strPath.c_str(), &dwVersion, &nNumber) != 0)
        return FALSE;
    *pdwVersion = dwVersion;
    *pnNumber = nNumber;
    return TRUE;
}

BOOL formatPatternVersion(int nNumber, char* pszOut)
{
    if (!pszOut)
        return FALSE;
    if (nNumber >= 1000) {
        sprintf(pszOut, "%2d.%03d.%02d", nNumber / 100000, nNumber / 100 % 1000, nNumber % 100);
        return TRUE;
    }
    sprintf(pszOut, "%d", nNumber);
    return FALSE;
}
