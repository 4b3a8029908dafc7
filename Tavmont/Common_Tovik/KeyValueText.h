// The parts of the text helpers that need nothing of Windows but its basic types: %XX
// decoding, key=value splitting and the HTTP request line. Text is 8-bit in the system code
// page; a lead byte and the byte after it are one character. (Also built natively, for the
// fuzzing of the server command parser.)
#ifndef VGL_KEYVALUETEXT_H
#define VGL_KEYVALUETEXT_H

#include <windows.h>

#include <string>

// Cuts pszText (in place) at any separator into key=value tokens and returns a malloc'ed
// array key, value, key, value, ..., NULL of malloc'ed %XX-decoded strings; NULL when out
// of memory. The caller frees each string and the array (freeKeyValuePairs).
char** splitKeyValuePairs(char* pszText, LPCSTR pszSeparators);
void freeKeyValuePairs(char** ppPairs);
// "METHOD URL VERSION": cut in place at the first two blanks. *ppszUrl is set once the
// first blank is found; FALSE when either blank is missing.
BOOL parseRequestLine(char* pszBuffer, char** ppszMethod, char** ppszUrl);
// Every complete %XX escape as its byte, "%%" as "%"; anything else as it is.
std::string urlDecodeText(LPCSTR pszText);
// The length of the character at p: 2 for a lead byte followed by a trail byte, else 1.
int textCharLength(const char* p);
// Equal without regard to the case of single-byte letters; double-byte characters must match
// exactly.
BOOL equalNoCase(const char* pszLeft, const char* pszRight);
// Blanks, tabs, CR, LF, VT and FF removed from both ends, in place.
void trimSpaces(char* psz);

#endif
