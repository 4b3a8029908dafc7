#include <gtest/gtest.h>
#include <ctype.h>
#include <string.h>
#include <string>
#include <vector>
#include "KeyedCipher.h"

namespace {

std::string Encrypt(const std::string& text)
{
    std::vector<char> out(2 * text.size() + 1);
    int n = (int)out.size();
    EXPECT_EQ(0, PWDEncrypt(out.data(), text.c_str(), &n));
    EXPECT_EQ(2 * (int)text.size() + 1, n);
    return out.data();
}

std::string Decrypt(const std::string& hex, int* pnSize = NULL)
{
    std::vector<char> out((hex.size() + 1) / 2 + 1, 'X');
    int n = (int)out.size();
    EXPECT_EQ(0, PWDDecrypt(out.data(), hex.c_str(), &n));
    if (pnSize)
        *pnSize = n;
    return out.data();
}

std::vector<BYTE> Keystream(int n)
{
    std::vector<BYTE> ks(n, 0);
    CKeyedStreamCipher cipher(0);
    EXPECT_TRUE(cipher.SetKey(g_szKeyedCipherKey));
    cipher.Process(ks.data(), n);
    return ks;
}

} // namespace

TEST(KeyedCipher, RoundTrip)
{
    std::string longText;
    for (int i = 0; i < 300; ++i)
        longText += (char)('a' + i % 26);
    const std::string cases[] = {"", "a", "secret password", "\xE9\xA4\xFF\x01 8-bit", longText};
    for (const std::string& text : cases) {
        std::string hex = Encrypt(text);
        EXPECT_EQ(2 * text.size(), hex.size());
        EXPECT_EQ(std::string::npos, hex.find_first_not_of("0123456789ABCDEF")) << hex;
        EXPECT_EQ(hex, Encrypt(text));
        int n = 0;
        EXPECT_EQ(text, Decrypt(hex, &n));
        EXPECT_EQ((int)text.size() + 1, n);
        std::string lower = hex;
        for (char& c : lower)
            c = (char)tolower(c);
        EXPECT_EQ(text, Decrypt(lower));
    }
}

// Texts already stored and the server's push tokens must stay readable.
TEST(KeyedCipher, KnownText)
{
    EXPECT_EQ("23025D3F0F44D5", Encrypt("Vigilon"));
}

TEST(KeyedCipher, BufferTooSmall)
{
    static const struct { const char* in; bool fDecrypt; int nSize; int nResult; } cases[] = {
        {"abcd", false, 8, KEYED_ERR_SMALL_BUFFER},   // 2n
        {"abcd", false, 9, 0},                        // 2n + 1
        {"", false, 0, KEYED_ERR_SMALL_BUFFER},
        {"", false, 1, 0},
        {"A1B2C3", true, 3, KEYED_ERR_SMALL_BUFFER},  // (m + 1) / 2 + 1 = 4
        {"A1B2C3", true, 4, 0},
        {"A1B2C", true, 3, KEYED_ERR_SMALL_BUFFER},   // odd: (5 + 1) / 2 + 1 = 4
        {"A1B2C", true, 4, 0},
    };
    for (const auto& c : cases) {
        char out[32];
        memset(out, 'X', sizeof(out));
        int n = c.nSize;
        int r = c.fDecrypt ? PWDDecrypt(out, c.in, &n) : PWDEncrypt(out, c.in, &n);
        EXPECT_EQ(c.nResult, r) << c.in << " " << c.nSize;
        if (r == KEYED_ERR_SMALL_BUFFER) {
            EXPECT_EQ('X', out[0]);
            EXPECT_EQ(c.nSize, n);
        }
    }
}

TEST(KeyedCipher, OddAndNonHexDigits)
{
    std::vector<BYTE> ks = Keystream(2);
    char hex[8];
    // A pair that deciphers to 'a', then a last single digit that stays as read.
    sprintf(hex, "%02XC", (BYTE)('a' ^ ks[0]));
    int n = 0;
    EXPECT_EQ("a\x0C", Decrypt(hex, &n));
    EXPECT_EQ(2, n);
    // A pair that reads as the keystream byte deciphers to zero and ends the text.
    sprintf(hex, "%02X%02X", (BYTE)('a' ^ ks[0]), ks[1]);
    EXPECT_EQ("a", Decrypt(hex));
    // A pair that is not hexadecimal reads as its leading digits, or 0.
    sprintf(hex, "%XG", (BYTE)('b' ^ ks[0]) >> 4);
    EXPECT_EQ(std::string(1, (char)(((('b' ^ ks[0]) >> 4)) ^ ks[0])), Decrypt(hex));
}

TEST(KeyedCipher, StreamCipher)
{
    CKeyedStreamCipher cipher(0);
    EXPECT_FALSE(cipher.SetKey(""));
    EXPECT_TRUE(cipher.SetKey(g_szKeyedCipherKey));
    EXPECT_FALSE(cipher.SetKey(g_szKeyedCipherKey));

    // Generators of 23, 24 and 25 bytes: the keystream repeats after 13800
    // bytes and each generator counts (no shorter period made of two of them).
    std::vector<BYTE> ks = Keystream(13800 + 600);
    EXPECT_EQ(0, memcmp(ks.data(), ks.data() + 13800, 600));
    for (int period : {552, 575, 600})
        EXPECT_NE(0, memcmp(ks.data(), ks.data() + period, 600)) << period;

    BYTE data[] = "enciphering twice restores";
    CKeyedStreamCipher a(0), b(1);
    ASSERT_TRUE(a.SetKey(g_szKeyedCipherKey));
    ASSERT_TRUE(b.SetKey(g_szKeyedCipherKey));
    a.Process(data, sizeof(data) - 1);
    EXPECT_NE(0, memcmp(data, "enciphering", 11));
    b.Process(data, sizeof(data) - 1);
    EXPECT_STREQ("enciphering twice restores", (const char*)data);
}
