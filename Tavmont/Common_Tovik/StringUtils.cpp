#include "StringUtils.h"

#include "KeyValueText.h"

#include <mbctype.h>
#include <mbstring.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

namespace
{
    // A lead byte starts a two-byte character only when a trail byte follows it; a lead
    // byte right before the terminator is taken as a single byte.
    inline int charLength(const char* p)
    {
        return (_ismbblead((unsigned char)p[0]) && p[1] != '\0') ? 2 : 1;
    }

    inline bool isSpaceByte(char ch)
    {
        return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\v' || ch == '\f' || ch == '\r';
    }

    inline bool inSet(const char* pszSet, char ch)
    {
        return ch != '\0' && strchr(pszSet, ch) != NULL;
    }

    // Case change of single-byte characters in the system code page; double-byte
    // characters are left alone.
    void changeCase(std::string& str, bool fUpper, size_t nLimit)
    {
        for (size_t i = 0; i < str.size() && i < nLimit;)
        {
            int n = charLength(&str[i]);
            if (n == 1)
            {
                if (fUpper)
                    CharUpperBuffA(&str[i], 1);
                else
                    CharLowerBuffA(&str[i], 1);
            }
            i += n;
        }
    }

    std::string join(const char* pszLeft, const char* pszRight, char chSep, bool fSepOnEmptyRight)
    {
        if (!pszLeft)
            pszLeft = "";
        if (!pszRight)
            pszRight = "";
        std::string str(pszLeft);
        if (str.empty())
            return pszRight;

        const char* pLast = findLastCharacter(pszLeft);
        bool fLastDouble = charLength(pLast) == 2;
        bool fRightLead = pszRight[0] != '\0' && charLength(pszRight) == 2;
        bool fRightEmpty = pszRight[0] == '\0';

        if (fLastDouble)
        {
            if (fRightLead || (!fRightEmpty && pszRight[0] != chSep) || (fRightEmpty && fSepOnEmptyRight))
                str += chSep;
        }
        else if (fRightLead)
        {
            if (*pLast != chSep)
                str += chSep;
        }
        else if (*pLast == chSep)
        {
            if (pszRight[0] == chSep)
                ++pszRight;
        }
        else if ((!fRightEmpty && pszRight[0] != chSep) || (fRightEmpty && fSepOnEmptyRight))
        {
            str += chSep;
        }
        str += pszRight;
        return str;
    }

    template <class Str, class Pred>
    Str keepCharacters(const char* psz, Pred keep)
    {
        Str strOut;
        for (const char* p = psz; *p;)
        {
            int n = charLength(p);
            if (n == 2 || keep(*p))
                strOut.append(p, n);
            p += n;
        }
        return strOut;
    }

    // Walks the text and hands out the pieces between separators.
    template <class Fn>
    void forEachPiece(char chSeparator, const char* pszText, Fn fn)
    {
        if (!pszText)
            return;
        const char* pStart = pszText;
        const char* p = pszText;
        for (;;)
        {
            if (*p == '\0' || *p == chSeparator)
            {
                if (p > pStart)
                    fn(std::string(pStart, p - pStart));
                if (*p == '\0')
                    break;
                pStart = ++p;
                continue;
            }
            p += charLength(p);
        }
    }

    std::string encode(const char* pszText, bool fStrict)
    {
        static const char s_szSetA[] = " ~`!@#$%^*;\"'<,>";
        static const char s_szSetB[] = " ~`!@#$^&*()-_+={[}]:;\"'<,>.?/|\\";
        std::string strOut;
        if (!pszText)
            return strOut;
        strOut.reserve(strlen(pszText) * 3);
        for (const char* p = pszText; *p; ++p)
        {
            unsigned char ch = (unsigned char)*p;
            if (ch >= 0x80 || inSet(fStrict ? s_szSetB : s_szSetA, (char)ch))
            {
                char szEscape[4];
                sprintf(szEscape, "%%%02x", ch);
                strOut += szEscape;
            }
            else
            {
                strOut += (char)ch;
            }
        }
        return strOut;
    }

    long long daysFromCivil(long long y, int m, int d)
    {
        y += (m - 1) / 12;
        m = (m - 1) % 12 + 1;
        y -= m <= 2;
        long long era = (y >= 0 ? y : y - 399) / 400;
        long long yoe = y - era * 400;
        long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
        long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
        return era * 146097 + doe - 719468;
    }

    // The fields read as coordinated universal time.
    CTime utcFieldsToTime(int nYear, int nMonth, int nDay, int nHour, int nMin, int nSec)
    {
        long long t = daysFromCivil(nYear, nMonth, nDay) * 86400LL + nHour * 3600LL + nMin * 60LL + nSec;
        if (t < 0 || t > 0x7FFFFFFFLL)
            return CTime((time_t)-1);
        return CTime((time_t)t);
    }
}

// ---- adapters and character tests ----

CString SCharAdapter::Adapt(const CString& strWord) const
{
    return strWord;
}

CString SFileExtensionAdapter::Adapt(const CString& strWord) const
{
    CString str(strWord);
    removeSpaces(str);
    filterCharacters(str, SFilenameIndentifier());
    return str;
}

BOOL SFilenameIndentifier::IsAllowed(char ch) const
{
    return !(ch == '\0' || inSet("\\/:\"<>|,.", ch));
}

std::string NS_StringUtils::SCharAdapter::Adapt(const std::string& strWord) const
{
    return strWord;
}

BOOL NS_StringUtils::SFilenameIndentifier::IsAllowed(char ch) const
{
    return !(ch == '\0' || inSet("\\/:#?<>|,.", ch));
}

void NS_StringUtils::splitString(char chSeparator, const char* pszText, std::vector<std::string>& arrOut,
                                 const SWordsAdapter& adapter)
{
    forEachPiece(chSeparator, pszText, [&](const std::string& strPiece) {
        std::string strWord = adapter.Adapt(strPiece);
        if (!strWord.empty())
            arrOut.push_back(strWord);
    });
}

void NS_StringUtils::filterCharacters(std::string& str, const SCharIndentifier& test)
{
    str = keepCharacters<std::string>(str.c_str(), [&](char ch) { return test.IsAllowed(ch) != FALSE; });
}

// ---- splitting and joining ----

void splitString(char chSeparator, LPCSTR pszText, CStringArray& arrOut, const SWordsAdapter& adapter)
{
    forEachPiece(chSeparator, pszText, [&](const std::string& strPiece) {
        CString strWord = adapter.Adapt(CString(strPiece.c_str()));
        if (!strWord.IsEmpty())
            arrOut.Add(strWord);
    });
}

CString joinPath(LPCSTR pszLeft, LPCSTR pszRight)
{
    return CString(join(pszLeft, pszRight, '\\', false).c_str());
}

void concatPath(CString& strOut, const CString& strLeft, const CString& strRight)
{
    strOut = joinPath(strLeft, strRight);
}

CString joinUrlPath(LPCSTR pszLeft, LPCSTR pszRight)
{
    return CString(join(pszLeft, pszRight, '/', true).c_str());
}

std::string joinPathString(LPCSTR pszLeft, LPCSTR pszRight)
{
    return join(pszLeft, pszRight, '\\', false);
}

BOOL appendPathPart(LPCSTR pszLeft, LPCSTR pszRight, LPSTR pszOut, char chSeparator, int cbOut)
{
    if (!pszOut || cbOut <= 0)
        return FALSE;
    std::string str = join(pszLeft, pszRight, chSeparator, false);
    if (str.size() >= (size_t)cbOut)
    {
        pszOut[0] = '\0';
        return FALSE;
    }
    memcpy(pszOut, str.c_str(), str.size() + 1);
    return TRUE;
}

LPCSTR findLastCharacter(LPCSTR pszText)
{
    if (!pszText)
        return NULL;
    LPCSTR pLast = pszText;
    for (LPCSTR p = pszText; *p; p += charLength(p))
        pLast = p;
    return pLast;
}

LPSTR findLastCharacter(LPSTR pszText)
{
    return const_cast<LPSTR>(findLastCharacter(static_cast<LPCSTR>(pszText)));
}

CString getProfileString(LPCSTR pszSection, LPCSTR pszKey, LPCSTR pszDefault, LPCSTR pszIniFile)
{
    char szValue[MAX_PATH];
    szValue[0] = '\0';
    GetPrivateProfileStringA(pszSection, pszKey, pszDefault ? pszDefault : "", szValue, sizeof(szValue),
                             pszIniFile);
    szValue[sizeof(szValue) - 1] = '\0';
    return CString(szValue);
}

// ---- shaping texts ----

CString abbreviateWithEllipsis(LPCSTR pszText, int nMaxLength, int nParts)
{
    if (!pszText)
        return CString();
    long long nLength = (long long)strlen(pszText);
    if (nLength <= nMaxLength)
        return CString(pszText);
    if (nParts < 1)
        nParts = 1;
    long long nMax = nMaxLength < 0 ? 0 : nMaxLength;
    long long nHead = nMax / nParts + 1;
    long long nTail = (nParts - 1) * nMax / nParts - 1;
    if (nTail < 0)
        nTail = 0;

    // Whole characters only: the head stops before a character it would cut, the tail
    // starts at the first character boundary at or after its first byte.
    long long nHeadEnd = 0;
    while (nHeadEnd < nLength)
    {
        int n = charLength(pszText + nHeadEnd);
        if (nHeadEnd + n > nHead)
            break;
        nHeadEnd += n;
    }
    long long nTailStart = 0;
    while (nTailStart < nLength - nTail)
        nTailStart += charLength(pszText + nTailStart);

    std::string str(pszText, (size_t)nHeadEnd);
    str += "...";
    str += pszText + nTailStart;
    return CString(str.c_str());
}

void capitalizeFirstLetter(CString& str)
{
    if (str.IsEmpty())
        return;
    std::string s((LPCSTR)str);
    changeCase(s, false, s.size());
    changeCase(s, true, 1);
    str = s.c_str();
}

BOOL containsUpperCased(LPCSTR pszText, LPCSTR pszPattern, LPSTR pszBuffer, int cbBuffer)
{
    if (!pszText || !*pszText)
        return FALSE;
    if (!pszPattern)
        pszPattern = "";
    std::string strPattern(pszPattern);
    changeCase(strPattern, true, strPattern.size());
    const char* pszUpper = strPattern.c_str();
    if (pszBuffer && cbBuffer > 0 && strPattern.size() < (size_t)cbBuffer)
    {
        memcpy(pszBuffer, strPattern.c_str(), strPattern.size() + 1);
        pszUpper = pszBuffer;
    }
    size_t nPattern = strPattern.size();
    // Matches start on character boundaries only.
    for (const char* p = pszText; *p; p += charLength(p))
    {
        if (strncmp(p, pszUpper, nPattern) == 0)
            return TRUE;
    }
    return nPattern == 0;
}

BOOL findStringNoCase(const CStringArray& arrStrings, LPCSTR pszText)
{
    if (!pszText)
        pszText = "";
    for (int i = 0; i < arrStrings.GetSize(); ++i)
    {
        if (_mbsicmp((const unsigned char*)(LPCSTR)arrStrings.GetAt(i), (const unsigned char*)pszText) == 0)
            return TRUE;
    }
    return FALSE;
}

void filterCharacters(CString& str, const SCharIndentifier& test)
{
    str = keepCharacters<std::string>((LPCSTR)str, [&](char ch) { return test.IsAllowed(ch) != FALSE; }).c_str();
}

void removeSpaces(CString& str)
{
    str = keepCharacters<std::string>((LPCSTR)str, [](char ch) { return !isSpaceByte(ch); }).c_str();
}

// ---- URL escaping and UTF-8 ----

CString urlEncode(LPCSTR pszText)
{
    return CString(encode(pszText, false).c_str());
}

CString urlEncodeStrict(LPCSTR pszText)
{
    return CString(encode(pszText, true).c_str());
}

CString urlEncodeUtf8(const CString& strText)
{
    LPCSTR pszText = strText;
    int nWide = MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, pszText, -1, NULL, 0);
    if (nWide <= 1)
        return CString();
    std::vector<WCHAR> wide(nWide + 1, 0);
    if (MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, pszText, -1, &wide[0], nWide) <= 1)
        return CString();
    char* pszUtf8 = toUtf8(&wide[0]);
    if (!pszUtf8)
        return CString();
    CString strOut = urlEncodeStrict(pszUtf8);
    free(pszUtf8);
    return strOut;
}

char* toUtf8(LPCWSTR pwszText)
{
    if (!pwszText || !*pwszText)
        return NULL;
    size_t nLength = wcslen(pwszText);
    unsigned char* pOut = (unsigned char*)malloc(3 * nLength + 1);
    if (!pOut)
        return NULL;
    unsigned char* p = pOut;
    for (size_t i = 0; i < nLength; ++i)
    {
        unsigned u = (unsigned)pwszText[i];
        if (u < 0x80)
        {
            *p++ = (unsigned char)u;
        }
        else if (u < 0x800)
        {
            *p++ = (unsigned char)(0xC0 | ((u >> 6) & 0x1F));
            *p++ = (unsigned char)(0x80 | (u & 0x3F));
        }
        else
        {
            *p++ = (unsigned char)(0xE0 | (u >> 12));
            *p++ = (unsigned char)(0x80 | ((u >> 6) & 0x3F));
            *p++ = (unsigned char)(0x80 | (u & 0x3F));
        }
    }
    *p = '\0';
    return (char*)pOut;
}

// "%%" is one percent sign and %XX a byte; a '%' without two hexadecimal digits after it
// (also at the end of the text) is copied as it is.
CString urlDecode(LPCSTR pszText)
{
    if (!pszText)
        return CString();
    return CString(urlDecodeText(pszText).c_str());
}

// ---- numbers and times ----

CString intToString(int n)
{
    char szNumber[16];
    sprintf(szNumber, "%d", n);
    return CString(szNumber);
}

BOOL isAllDigits(LPCSTR pszText)
{
    if (!pszText)
        return TRUE;
    for (const char* p = pszText; *p; ++p)
    {
        if (*p < '0' || *p > '9')
            return FALSE;
    }
    return TRUE;
}

DWORD decimalToBCD(DWORD n)
{
    DWORD dwResult = 0;
    for (int nShift = 0; n != 0 && nShift < 32; nShift += 4)
    {
        dwResult |= (n % 10) << nShift;
        n /= 10;
    }
    return dwResult;
}

CTime parseTimeStamp(LPCSTR pszText, BOOL fLocal)
{
    char szStamp[15];
    memset(szStamp, '0', 14);
    szStamp[14] = '\0';
    if (pszText)
    {
        for (int i = 0; i < 14 && pszText[i]; ++i)
            szStamp[i] = pszText[i];
    }
    int pos = 0;
    auto field = [&](int nDigits) {
        int nValue = 0;
        for (int i = 0; i < nDigits; ++i, ++pos)
        {
            char ch = szStamp[pos];
            nValue = nValue * 10 + ((ch >= '0' && ch <= '9') ? ch - '0' : 0);
        }
        return nValue;
    };
    int nYear = field(4);
    int nMonth = field(2);
    int nDay = field(2);
    int nHour = field(2);
    int nMin = field(2);
    int nSec = field(2);
    // A stamp cut after the year or the month names the first month or day.
    if (nMonth == 0)
        nMonth = 1;
    if (nDay == 0)
        nDay = 1;
    if (fLocal)
        return CTime(nYear, nMonth, nDay, nHour, nMin, nSec);
    return utcFieldsToTime(nYear, nMonth, nDay, nHour, nMin, nSec);
}

CTime convertToLocalTime(const CTime& t)
{
    SYSTEMTIME st;
    if (!timeToSystemTime(t, st))
        return t;
    return utcFieldsToTime(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond);
}

BOOL timeToSystemTime(const CTime& t, SYSTEMTIME& st)
{
    struct tm tmLocal;
    if (!t.GetLocalTm(&tmLocal))
        return FALSE;
    memset(&st, 0, sizeof(st));
    st.wYear = (WORD)(tmLocal.tm_year + 1900);
    st.wMonth = (WORD)(tmLocal.tm_mon + 1);
    st.wDayOfWeek = (WORD)tmLocal.tm_wday;
    st.wDay = (WORD)tmLocal.tm_mday;
    st.wHour = (WORD)tmLocal.tm_hour;
    st.wMinute = (WORD)tmLocal.tm_min;
    st.wSecond = (WORD)tmLocal.tm_sec;
    return TRUE;
}
