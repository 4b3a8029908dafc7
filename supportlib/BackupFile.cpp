// Reading the header of "VSBF" backup files.
#include "BackupFile.h"

#include <stdio.h>
#include <string.h>
#include <new>
#include <string>
#include <vector>

namespace {

const int ERR_MAGIC = -1;
const int ERR_HEADER = -5;
const int ERR_OPEN = -94;
const int ERR_MEMORY = -98;
const int ERR_ARGUMENT = -99;

struct SRawHeader
{
    std::string strFolder, strName, strText;    // item data as stored
    bool fFolder;
    DWORD dwValue4, dwUnicode, dwValue6;
};

bool ReadComplemented(FILE* pFile, void* pv, size_t cb)
{
    if (cb && fread(pv, 1, cb, pFile) != cb)
        return false;
    BYTE* pb = static_cast<BYTE*>(pv);
    for (size_t i = 0; i < cb; i++)
        pb[i] = (BYTE)~pb[i];
    return true;
}

int ReadRaw(FILE* pFile, SRawHeader* pRaw)
{
    BYTE abHeader[10];
    if (!ReadComplemented(pFile, abHeader, sizeof(abHeader)))
        return ERR_HEADER;
    if (memcmp(abHeader, "VSBF", 4) != 0)
        return ERR_MAGIC;
    int nItems = abHeader[8] | (abHeader[9] << 8);
    for (int i = 0; i < nItems; i++) {
        BYTE abItem[3];
        if (!ReadComplemented(pFile, abItem, sizeof(abItem)))
            return ERR_HEADER;
        size_t cb = abItem[1] | (abItem[2] << 8);
        std::vector<BYTE> data(cb);
        if (!ReadComplemented(pFile, cb ? &data[0] : NULL, cb))
            return ERR_HEADER;
        std::string strData(data.begin(), data.end());
        switch (abItem[0]) {
        case 1:
            pRaw->strFolder = strData;
            pRaw->fFolder = true;
            break;
        case 2:
            pRaw->strName = strData;
            break;
        case 3:
            pRaw->strText = strData;
            break;
        case 4:
        case 5:
        case 6: {
            BYTE abValue[4] = { 0, 0, 0, 0 };
            memcpy(abValue, strData.data(), cb < 4 ? cb : 4);
            DWORD dw = abValue[0] | (abValue[1] << 8) | (abValue[2] << 16) |
                       ((DWORD)abValue[3] << 24);
            if (abItem[0] == 4)
                pRaw->dwValue4 = dw;
            else if (abItem[0] == 5)
                pRaw->dwUnicode = dw;
            else
                pRaw->dwValue6 = dw;
            break;
        }
        default:
            break;
        }
    }
    return 0;
}

int ReadRawFile(FILE* pFile, SRawHeader* pRaw)
{
    int nResult;
    try {
        nResult = ReadRaw(pFile, pRaw);
    } catch (const std::bad_alloc&) {
        nResult = ERR_MEMORY;
    }
    fclose(pFile);
    return nResult;
}

// 8-bit text of an item: up to its first zero byte.
std::string NarrowText(const std::string& strData)
{
    return std::string(strData.c_str());
}

// UTF-16 text of an item: up to its first zero unit.
std::wstring WideText(const std::string& strData)
{
    std::wstring s;
    for (size_t i = 0; i + 1 < strData.size(); i += 2) {
        WCHAR ch = (WCHAR)((BYTE)strData[i] | ((BYTE)strData[i + 1] << 8));
        if (!ch)
            break;
        s += ch;
    }
    return s;
}

std::wstring AnsiToWide(const std::string& str)
{
    if (str.empty())
        return std::wstring();
    int cch = MultiByteToWideChar(CP_ACP, 0, str.c_str(), (int)str.size(), NULL, 0);
    if (cch <= 0)
        return std::wstring();
    std::wstring s(cch, L'\0');
    MultiByteToWideChar(CP_ACP, 0, str.c_str(), (int)str.size(), &s[0], cch);
    return s;
}

// The further text into its 32-byte field, cut to leave room for the
// terminator (two bytes for UTF-16) and never inside a double-byte character.
void CopyText(const std::string& strData, bool fWide, char* pszOut)
{
    memset(pszOut, 0, BACKUP_TEXT_MAX);
    if (fWide) {
        std::wstring s = WideText(strData);
        size_t cch = s.size() < BACKUP_TEXT_MAX / 2 - 1 ? s.size() : BACKUP_TEXT_MAX / 2 - 1;
        memcpy(pszOut, s.data(), cch * sizeof(WCHAR));
        return;
    }
    std::string s = NarrowText(strData);
    size_t cb = 0;
    while (cb < s.size()) {
        size_t cbChar = (IsDBCSLeadByte((BYTE)s[cb]) && cb + 1 < s.size()) ? 2 : 1;
        if (cb + cbChar > BACKUP_TEXT_MAX - 1)
            break;
        cb += cbChar;
    }
    memcpy(pszOut, s.data(), cb);
}

} // namespace

int readBackupHeader(const char* pszPath, SBackupHeaderInfo* pInfo)
{
    if (!pszPath || !*pszPath || !pInfo)
        return ERR_ARGUMENT;
    FILE* pFile = fopen(pszPath, "rb");
    if (!pFile)
        return ERR_OPEN;
    SRawHeader raw = { "", "", "", false, 0, 0, 0 };
    int nResult = ReadRawFile(pFile, &raw);
    if (nResult < 0)
        return nResult;

    std::string strFolder = NarrowText(raw.strFolder), strName = NarrowText(raw.strName);
    std::string strPath = raw.fFolder && !strFolder.empty() ? strFolder + '\\' + strName : strName;
    if (strPath.size() + 1 > BACKUP_PATH_MAX)
        return ERR_HEADER;
    memset(pInfo, 0, sizeof(*pInfo));
    memcpy(pInfo->szPath, strPath.c_str(), strPath.size() + 1);
    CopyText(raw.strText, false, pInfo->szText);
    pInfo->dwValue4 = raw.dwValue4;
    pInfo->dwUnicode = raw.dwUnicode;
    pInfo->dwValue6 = raw.dwValue6;
    return 0;
}

int readBackupHeaderW(const WCHAR* pszPath, SBackupHeaderInfoW* pInfo)
{
    if (!pszPath || !*pszPath || !pInfo)
        return ERR_ARGUMENT;
    FILE* pFile = _wfopen(pszPath, L"rb");
    if (!pFile)
        return ERR_OPEN;
    SRawHeader raw = { "", "", "", false, 0, 1, 0 };
    int nResult = ReadRawFile(pFile, &raw);
    if (nResult < 0)
        return nResult;

    bool fWide = raw.dwUnicode != 0;
    std::wstring strFolder, strName;
    try {
        strFolder = fWide ? WideText(raw.strFolder) : AnsiToWide(NarrowText(raw.strFolder));
        strName = fWide ? WideText(raw.strName) : AnsiToWide(NarrowText(raw.strName));
    } catch (const std::bad_alloc&) {
        return ERR_MEMORY;
    }
    std::wstring strPath =
        raw.fFolder && !strFolder.empty() ? strFolder + L'\\' + strName : strName;
    if (strPath.size() + 1 > BACKUP_PATH_MAX)
        return ERR_HEADER;
    memset(pInfo, 0, sizeof(*pInfo));
    memcpy(pInfo->szPath, strPath.c_str(), (strPath.size() + 1) * sizeof(WCHAR));
    CopyText(raw.strText, fWide, pInfo->szText);
    pInfo->dwValue4 = raw.dwValue4;
    pInfo->dwUnicode = raw.dwUnicode;
    pInfo->dwValue6 = raw.dwValue6;
    return 0;
}
