// The server's hot-fix list.
#include "HotFixList.h"

#include "LogTracker.h"
#include "StringUtils.h"

#include <mbctype.h>
#include <stdlib.h>
#include <string.h>

namespace
{
const char s_szHotFixPrefix[] = "HotFix";
const int STAMP_DIGITS = 14;

inline int charLength(const char* p)
{
    return (_ismbblead((unsigned char)p[0]) && p[1] != '\0') ? 2 : 1;
}

bool isLeapYear(int nYear)
{
    return (nYear % 4 == 0 && nYear % 100 != 0) || nYear % 400 == 0;
}

int daysInMonth(int nYear, int nMonth)
{
    static const int s_days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return nMonth == 2 && isLeapYear(nYear) ? 29 : s_days[nMonth - 1];
}

int number(const char* p, int nDigits)
{
    int n = 0;
    for (int i = 0; i < nDigits; ++i)
        n = n * 10 + (p[i] - '0');
    return n;
}

// Frees what splitKeyValuePairs returned.
void freePairs(char** ppPairs)
{
    if (ppPairs == NULL)
        return;
    for (char** p = ppPairs; *p != NULL; ++p)
        free(*p);
    free(ppPairs);
}
}

BOOL isHotFixKey(LPCSTR pszKey)
{
    if (pszKey == NULL)
        return FALSE;
    size_t n = strlen(pszKey);
    if (n > sizeof(s_szHotFixPrefix) - 1)
        n = sizeof(s_szHotFixPrefix) - 1;
    return _strnicmp(pszKey, s_szHotFixPrefix, n) == 0;
}

BOOL parseHotFixStamp(LPCSTR pszStamp, CTime& tUtc)
{
    if (pszStamp == NULL || *pszStamp == '\0')
        return FALSE;
    char szStamp[STAMP_DIGITS + 1];
    memset(szStamp, '0', STAMP_DIGITS);
    szStamp[STAMP_DIGITS] = '\0';
    for (int i = 0; pszStamp[i] != '\0'; ++i)
    {
        if (pszStamp[i] < '0' || pszStamp[i] > '9')
            return FALSE;
        if (i < STAMP_DIGITS)
            szStamp[i] = pszStamp[i];
    }
    int nYear = number(szStamp, 4);
    int nMonth = number(szStamp + 4, 2);
    int nDay = number(szStamp + 6, 2);
    int nHour = number(szStamp + 8, 2);
    int nMinute = number(szStamp + 10, 2);
    int nSecond = number(szStamp + 12, 2);
    if (nYear < 1970 || nYear > 2037 || nMonth < 1 || nMonth > 12 || nDay < 1 ||
        nDay > daysInMonth(nYear, nMonth) || nHour > 23 || nMinute > 59 || nSecond > 59)
        return FALSE;
    tUtc = parseTimeStamp(szStamp, FALSE);
    return TRUE;
}

CString getHotFixFileName(LPCSTR pszVirtualPath)
{
    if (pszVirtualPath == NULL)
        return CString();
    const char* pszName = pszVirtualPath;
    for (const char* p = pszVirtualPath; *p != '\0'; p += charLength(p))
    {
        if (*p == '/' || *p == '\\')
            pszName = p + 1;
    }
    if (strcmp(pszName, ".") == 0 || strcmp(pszName, "..") == 0)
        return CString();
    return CString(pszName);
}

BOOL parseHotFixList(LPCSTR pszText, VECTOR_HOTFIXFILE& files)
{
    if (pszText == NULL || *pszText == '\0')
        return FALSE;
    std::vector<char> text(pszText, pszText + strlen(pszText) + 1);
    char** ppPairs = splitKeyValuePairs(&text[0], "\r\n");
    if (ppPairs == NULL)
    {
        VGLTRACE(12, "parseHotFixList(): out of memory");
        return FALSE;
    }
    if (ppPairs[0] == NULL || !isHotFixKey(ppPairs[0]))
    {
        VGLTRACE(12, "parseHotFixList(): the first key is not a hot-fix key: %s",
                 ppPairs[0] != NULL ? ppPairs[0] : "(none)");
        freePairs(ppPairs);
        return FALSE;
    }

    for (char** p = ppPairs; p[0] != NULL; p += 2)
    {
        LPCSTR pszKey = p[0];
        LPCSTR pszValue = p[1];
        if (!isHotFixKey(pszKey) || *pszValue == '\0')
            continue;
        SHotFixFile file;
        file.m_strVirtualPath = pszKey;
        file.m_strFileName = getHotFixFileName(pszKey);
        if (file.m_strFileName.IsEmpty())
        {
            VGLTRACE(12, "parseHotFixList(): %s names no file, skipped", pszKey);
            continue;
        }
        if (!parseHotFixStamp(pszValue, file.m_timeServer))
        {
            VGLTRACE(12, "parseHotFixList(): %s has an invalid time stamp %s, skipped", pszKey, pszValue);
            continue;
        }
        VGLTRACE(3, " ValuePair = %s, ValuePair = %s", pszKey, pszValue);
        files.push_back(file);
    }
    freePairs(ppPairs);
    return TRUE;
}
