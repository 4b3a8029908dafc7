// Text helpers shared by the client programs: list splitting through word adapters,
// path and URL joining, INI reads, URL escaping, UTF-8, key=value parsing and a few
// parsers. Text is 8-bit in the system code page; every walk over characters treats a
// lead byte and the byte after it as one character.
#ifndef VGL_STRINGUTILS_H
#define VGL_STRINGUTILS_H

#include "afx.h"
#include "afxcoll.h"
#include <string>
#include <vector>

// Decides what a split word becomes.
struct SWordsAdapter
{
    virtual CString Adapt(const CString& strWord) const = 0;
protected:
    ~SWordsAdapter() {}
};

// Keeps the word as it is.
struct SCharAdapter : public SWordsAdapter
{
    CString Adapt(const CString& strWord) const override;
};

// " .EXE" -> "EXE": drops white space and every character not allowed in a file name.
struct SFileExtensionAdapter : public SWordsAdapter
{
    CString Adapt(const CString& strWord) const override;
};

// Decides whether a single-byte character may stay.
struct SCharIndentifier
{
    virtual BOOL IsAllowed(char ch) const = 0;
protected:
    ~SCharIndentifier() {}
};

// Refuses \ / : " < > | , . and the zero byte.
struct SFilenameIndentifier : public SCharIndentifier
{
    BOOL IsAllowed(char ch) const override;
};

namespace NS_StringUtils
{
    struct SWordsAdapter
    {
        virtual std::string Adapt(const std::string& strWord) const = 0;
    protected:
        ~SWordsAdapter() {}
    };

    struct SCharAdapter : public SWordsAdapter
    {
        std::string Adapt(const std::string& strWord) const override;
    };

    struct SCharIndentifier
    {
        virtual BOOL IsAllowed(char ch) const = 0;
    protected:
        ~SCharIndentifier() {}
    };

    // Refuses \ / : # ? < > | , . and the zero byte.
    struct SFilenameIndentifier : public SCharIndentifier
    {
        BOOL IsAllowed(char ch) const override;
    };

    void splitString(char chSeparator, const char* pszText, std::vector<std::string>& arrOut,
                     const SWordsAdapter& adapter);
    void filterCharacters(std::string& str, const SCharIndentifier& test);
}

// Appends the non-empty adapted pieces of the text between separators.
void splitString(char chSeparator, LPCSTR pszText, CStringArray& arrOut, const SWordsAdapter& adapter);

// Left and right with exactly one backslash ('/' for URLs) at the seam.
CString joinPath(LPCSTR pszLeft, LPCSTR pszRight);
// strOut := joinPath (left, right): one backslash between them, an empty left gives right.
void concatPath(CString& strOut, const CString& strLeft, const CString& strRight);
CString joinUrlPath(LPCSTR pszLeft, LPCSTR pszRight);
std::string joinPathString(LPCSTR pszLeft, LPCSTR pszRight);
// The joinPath rule with any separator into the caller's buffer of cbOut bytes; FALSE and an
// empty buffer when the result does not fit. pszOut may be pszLeft.
BOOL appendPathPart(LPCSTR pszLeft, LPCSTR pszRight, LPSTR pszOut, char chSeparator, int cbOut = MAX_PATH);

// First byte of the last character (the text itself when empty).
LPCSTR findLastCharacter(LPCSTR pszText);
LPSTR findLastCharacter(LPSTR pszText);

// At most 259 characters.
CString getProfileString(LPCSTR pszSection, LPCSTR pszKey, LPCSTR pszDefault, LPCSTR pszIniFile);

// Head, "..." and tail of a text longer than nMaxLength.
CString abbreviateWithEllipsis(LPCSTR pszText, int nMaxLength, int nParts);
void capitalizeFirstLetter(CString& str);
// Whether the upper-cased pattern occurs in the text. The pattern is upper-cased in the
// caller's work buffer of cbBuffer bytes (a private copy when it does not fit).
BOOL containsUpperCased(LPCSTR pszText, LPCSTR pszPattern, LPSTR pszBuffer, int cbBuffer = MAX_PATH);
BOOL findStringNoCase(const CStringArray& arrStrings, LPCSTR pszText);
void filterCharacters(CString& str, const SCharIndentifier& test);
void removeSpaces(CString& str);

CString urlEncode(LPCSTR pszText);
CString urlEncodeStrict(LPCSTR pszText);
CString urlEncodeUtf8(const CString& strText);
// New UTF-8 text allocated with malloc (the caller frees it); NULL for an empty text.
char* toUtf8(LPCWSTR pwszText);
CString urlDecode(LPCSTR pszText);

// Cuts pszText (in place) at any separator into key=value tokens and returns a malloc'ed
// array key, value, key, value, ..., NULL of malloc'ed %XX-decoded strings; NULL when out
// of memory. The caller frees each string and the array.
char** splitKeyValuePairs(char* pszText, LPCSTR pszSeparators);
// "METHOD URL VERSION": cut in place at the first two blanks.
BOOL parseRequestLine(char* pszBuffer, char** ppszMethod, char** ppszUrl);

CString intToString(int n);
BOOL isAllDigits(LPCSTR pszText);
// 1234 -> 0x1234; digits beyond the eighth are dropped.
DWORD decimalToBCD(DWORD n);

// "YYYYMMDDhhmmss" (padded with '0' or cut to 14); fLocal FALSE reads it as UTC.
CTime parseTimeStamp(LPCSTR pszText, BOOL fLocal);
// The calendar fields of t read as UTC.
CTime convertToLocalTime(const CTime& t);
BOOL timeToSystemTime(const CTime& t, SYSTEMTIME& st);

#endif
