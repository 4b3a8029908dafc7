#include "KeyValueText.h"

#include <mbctype.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

namespace
{
inline bool inSet(const char* pszSet, char ch)
{
    return ch != '\0' && strchr(pszSet, ch) != NULL;
}

inline bool isSpaceByte(char ch)
{
    return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\v' || ch == '\f' || ch == '\r';
}

int hexValue(char ch)
{
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'a' && ch <= 'f')
        return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F')
        return ch - 'A' + 10;
    return -1;
}

// Decodes %XX at p; -1 when p does not start a complete escape.
int escapeValue(const char* p)
{
    if (p[0] != '%')
        return -1;
    int hi = hexValue(p[1]);
    if (hi < 0)
        return -1;
    int lo = hexValue(p[2]);
    if (lo < 0)
        return -1;
    return hi * 16 + lo;
}

// Replaces each complete %XX escape by its byte; anything else is kept as it is.
void unescapeInPlace(char* psz)
{
    char* pOut = psz;
    for (const char* p = psz; *p;)
    {
        int nValue = escapeValue(p);
        if (nValue >= 0)
        {
            *pOut++ = (char)nValue;
            p += 3;
            continue;
        }
        int n = textCharLength(p);
        for (int i = 0; i < n; ++i)
            *pOut++ = *p++;
    }
    *pOut = '\0';
}

char* dupBytes(const char* p, size_t n)
{
    char* psz = (char*)malloc(n + 1);
    if (psz)
    {
        memcpy(psz, p, n);
        psz[n] = '\0';
    }
    return psz;
}

char lowerByte(char ch)
{
    return (ch >= 'A' && ch <= 'Z') ? (char)(ch - 'A' + 'a') : ch;
}
}

// A lead byte right before the terminator is taken as a single byte.
int textCharLength(const char* p)
{
    return (_ismbblead((unsigned char)p[0]) && p[1] != '\0') ? 2 : 1;
}

BOOL equalNoCase(const char* pszLeft, const char* pszRight)
{
    const char* a = pszLeft;
    const char* b = pszRight;
    while (*a && *b)
    {
        int n = textCharLength(a);
        if (n != textCharLength(b))
            return FALSE;
        if (n == 2)
        {
            if (a[0] != b[0] || a[1] != b[1])
                return FALSE;
        }
        else if (lowerByte(*a) != lowerByte(*b))
        {
            return FALSE;
        }
        a += n;
        b += n;
    }
    return *a == '\0' && *b == '\0';
}

void trimSpaces(char* psz)
{
    size_t nLength = strlen(psz);
    while (nLength > 0 && isSpaceByte(psz[nLength - 1]))
        psz[--nLength] = '\0';
    size_t nStart = 0;
    while (isSpaceByte(psz[nStart]))
        ++nStart;
    if (nStart > 0)
        memmove(psz, psz + nStart, nLength - nStart + 1);
}

std::string urlDecodeText(LPCSTR pszText)
{
    std::string strOut;
    if (!pszText)
        return strOut;
    for (const char* p = pszText; *p;)
    {
        if (p[0] == '%' && p[1] == '%')
        {
            strOut += '%';
            p += 2;
            continue;
        }
        int nValue = escapeValue(p);
        if (nValue >= 0)
        {
            strOut += (char)nValue;
            p += 3;
            continue;
        }
        int n = textCharLength(p);
        strOut.append(p, n);
        p += n;
    }
    return strOut;
}

char** splitKeyValuePairs(char* pszText, LPCSTR pszSeparators)
{
    if (!pszSeparators)
        pszSeparators = "";
    std::vector<char*> tokens;
    if (pszText)
    {
        char* pStart = pszText;
        char* p = pszText;
        for (;;)
        {
            bool fEnd = *p == '\0';
            if (fEnd || inSet(pszSeparators, *p))
            {
                *p = '\0';
                if (p > pStart)
                    tokens.push_back(pStart);
                if (fEnd)
                    break;
                pStart = ++p;
                continue;
            }
            p += textCharLength(p);
        }
    }

    char** ppPairs = (char**)malloc((2 * tokens.size() + 1) * sizeof(char*));
    if (!ppPairs)
        return NULL;
    size_t nOut = 0;
    for (size_t i = 0; i < tokens.size(); ++i)
    {
        char* pszToken = tokens[i];
        char* pEquals = NULL;
        for (char* p = pszToken; *p; p += textCharLength(p))
        {
            if (*p == '=')
            {
                pEquals = p;
                break;
            }
        }
        size_t nKey = pEquals ? (size_t)(pEquals - pszToken) : strlen(pszToken);
        char* pszKey = dupBytes(pszToken, nKey);
        char* pszValue = pEquals ? dupBytes(pEquals + 1, strlen(pEquals + 1)) : dupBytes("", 0);
        if (!pszKey || !pszValue)
        {
            free(pszKey);
            free(pszValue);
            for (size_t j = 0; j < nOut; ++j)
                free(ppPairs[j]);
            free(ppPairs);
            return NULL;
        }
        unescapeInPlace(pszKey);
        unescapeInPlace(pszValue);
        ppPairs[nOut++] = pszKey;
        ppPairs[nOut++] = pszValue;
    }
    ppPairs[nOut] = NULL;
    return ppPairs;
}

void freeKeyValuePairs(char** ppPairs)
{
    if (!ppPairs)
        return;
    for (char** pp = ppPairs; *pp; ++pp)
        free(*pp);
    free(ppPairs);
}

BOOL parseRequestLine(char* pszBuffer, char** ppszMethod, char** ppszUrl)
{
    if (!pszBuffer)
        return FALSE;
    if (ppszMethod)
        *ppszMethod = pszBuffer;
    char* pBlank = strchr(pszBuffer, ' ');
    if (!pBlank)
        return FALSE;
    *pBlank = '\0';
    char* pszUrl = pBlank + 1;
    if (ppszUrl)
        *ppszUrl = pszUrl;
    pBlank = strchr(pszUrl, ' ');
    if (!pBlank)
        return FALSE;
    *pBlank = '\0';
    return TRUE;
}
