// Golden bytes: records written to files or handed to another process are compared, byte
// for byte, with fixtures written as hex text, so that a change of layout on either target
// fails the test.
#ifndef VGL_TESTS_GOLDENBYTES_H
#define VGL_TESTS_GOLDENBYTES_H

#include <ctype.h>
#include <stddef.h>
#include <string>

// The bytes of a hex text; spaces, line breaks and '|' (to mark fields) are skipped.
inline std::string Unhex(const char* pszHex)
{
    std::string bytes;
    int nHigh = -1;
    for (const char* p = pszHex; *p; ++p)
    {
        if (!isxdigit((unsigned char)*p))
            continue;
        int n = isdigit((unsigned char)*p) ? *p - '0' : (tolower((unsigned char)*p) - 'a' + 10);
        if (nHigh < 0)
            nHigh = n;
        else
        {
            bytes.push_back((char)(nHigh * 16 + n));
            nHigh = -1;
        }
    }
    return bytes;
}

// Lower-case hex of the bytes, without separators.
inline std::string Hex(const void* pv, size_t cb)
{
    static const char s_szDigits[] = "0123456789abcdef";
    const unsigned char* pb = static_cast<const unsigned char*>(pv);
    std::string text;
    for (size_t i = 0; i < cb; ++i)
    {
        text.push_back(s_szDigits[pb[i] >> 4]);
        text.push_back(s_szDigits[pb[i] & 15]);
    }
    return text;
}

inline std::string Hex(const std::string& bytes)
{
    return Hex(bytes.data(), bytes.size());
}

// The fixture normalised as Hex() prints it, to compare with EXPECT_EQ.
inline std::string GoldenHex(const char* pszHex)
{
    return Hex(Unhex(pszHex));
}

#endif
