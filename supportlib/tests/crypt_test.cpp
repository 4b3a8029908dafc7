#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>
#include <string>
#include <vector>
#include "CryptString.h"
#include "Des.h"

namespace {

unsigned char ReverseBits(unsigned char b)
{
    unsigned char r = 0;
    for (int i = 0; i < 8; ++i)
        if (b & (1 << i))
            r |= (unsigned char)(0x80 >> i);
    return r;
}

void HexToBlock(const char* psz, unsigned char b[8])
{
    for (int i = 0; i < 8; ++i) {
        unsigned v;
        sscanf(psz + 2 * i, "%2x", &v);
        b[i] = (unsigned char)v;
    }
}

std::string BlockHex(const unsigned char b[8])
{
    char sz[17];
    for (int i = 0; i < 8; ++i)
        sprintf(sz + 2 * i, "%02X", b[i]);
    return sz;
}

std::string Value(size_t n)
{
    std::string s(n, ' ');
    for (size_t i = 0; i < n; ++i)
        s[i] = (char)(' ' + (i * 37 + 11) % 95);
    return s;
}

std::vector<std::string> Split(const std::string& s)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t bang = s.find('!', start);
        parts.push_back(s.substr(start, bang - start));
        if (bang == std::string::npos)
            return parts;
        start = bang + 1;
    }
}

std::string EncryptText(const std::string& plain)
{
    std::vector<char> out(CRYPT_WORK_AREA);
    EXPECT_GE(encryptCryptText(out.data(), out.size(), g_szCryptKey1, g_szCryptKey2, plain.c_str()), 0);
    return out.data();
}

std::string DecryptText(const std::string& text, size_t cbOut = CRYPT_WORK_AREA)
{
    std::vector<char> out(cbOut);
    int n = decryptCryptText(text.c_str(), g_szCryptKey1, g_szCryptKey2, out.data(), out.size());
    EXPECT_EQ((size_t)n, strlen(out.data()));
    return out.data();
}

void DefaultKey(unsigned char key[8])
{
    memcpy(key, g_abCryptStartKey, 8);
    deriveCryptKey(key, g_szCryptKey2, g_szCryptKey1);
}

} // namespace

// Our bit order is standard DES on bit-reversed bytes: published standard
// vectors must hold once key, input and output are reversed.
TEST(Des, StandardVectorsWithReversedBitOrder)
{
    static const struct { const char *key, *plain, *cipher; } cases[] = {
        {"133457799BBCDFF1", "0123456789ABCDEF", "85E813540F0AB405"},
        {"0123456789ABCDEF", "4E6F772069732074", "3FA40E8A984D4815"},
        {"0101010101010101", "8000000000000000", "95F8A5E5DD31D900"},
        {"8001010101010101", "0000000000000000", "95A8D72813DAA94D"},
        {"0E329232EA6D0D73", "8787878787878787", "0000000000000000"},
        {"10316E028C8F3B4A", "0000000000000000", "82DCBAFBDEAB6602"},
        {"7CA110454A1A6E57", "01A1D6D039776742", "690F5B0D9A26939B"},
        {"0131D9619DC1376E", "5CD54CA83DEF57DA", "7A389D10354BD271"},
        {"07A1133E4A0B2686", "0248D43806F67172", "868EBB51CAB4599A"},
        {"3849674C2602319E", "51454B582DDF440A", "7178876E01F19B2A"},
        {"04B915BA43FEB5B6", "42FD443059577FA2", "AF37FB421F8C4095"},
        {"0113B970FD34F2CE", "059B5E0851CF143A", "86A560F10EC6D85B"},
        {"0170F175468FB5E6", "0756D8E0774761D2", "0CD3DA020021DC09"},
        {"43297FAD38E373FE", "762514B829BF486A", "EA676B2CB7DB2B7A"},
        {"07A7137045DA2A16", "3BDD119049372802", "DFD64A815CAF1A0F"},
        {"FEDCBA9876543210", "0123456789ABCDEF", "ED39D950FA74BCC4"},
    };
    for (const auto& c : cases) {
        unsigned char key[8], plain[8], out[8], back[8];
        HexToBlock(c.key, key);
        HexToBlock(c.plain, plain);
        for (int i = 0; i < 8; ++i) {
            key[i] = ReverseBits(key[i]);
            plain[i] = ReverseBits(plain[i]);
        }
        SDesSubkeys sk;
        DesComputeSubkeys(key, &sk);
        DesEncryptBlock(sk, plain, out);
        DesDecryptBlock(sk, out, back);
        EXPECT_EQ(0, memcmp(back, plain, 8)) << c.key;
        for (int i = 0; i < 8; ++i)
            out[i] = ReverseBits(out[i]);
        EXPECT_EQ(c.cipher, BlockHex(out)) << c.key;
    }
}

TEST(Des, ParityBitsAreIgnored)
{
    // With the least significant bit first, the parity bit is each byte's top bit.
    unsigned char key[8] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x08};
    unsigned char flipped[8];
    for (int i = 0; i < 8; ++i)
        flipped[i] = (unsigned char)(key[i] ^ 0x80);
    const unsigned char plain[8] = {'p', 'a', 's', 's', 'w', 'o', 'r', 'd'};
    unsigned char a[8], b[8];
    SDesSubkeys sk;
    DesComputeSubkeys(key, &sk);
    DesEncryptBlock(sk, plain, a);
    DesComputeSubkeys(flipped, &sk);
    DesEncryptBlock(sk, plain, b);
    EXPECT_EQ(BlockHex(a), BlockHex(b));
}

TEST(CryptString, LayoutAndRoundTrip)
{
    static const struct { size_t nValue, nChunks, nLastPiece; } cases[] = {
        {0, 1, 3}, {1, 1, 4}, {61, 1, 64}, {62, 2, 1}, {18717, 293, 32},
    };
    for (const auto& c : cases) {
        std::string value = Value(c.nValue);
        std::vector<char> buf(NewEncryptStrSize(c.nValue));
        ASSERT_EQ(1, NewEncryptStr(value.c_str(), buf.data(), buf.size())) << c.nValue;
        std::string text = buf.data();
        ASSERT_EQ(0, text.compare(0, 7, "!CRYPT!")) << c.nValue;

        std::vector<std::string> chunks = Split(text.substr(7));
        ASSERT_EQ(c.nChunks, chunks.size()) << c.nValue;
        for (size_t i = 0; i < chunks.size(); ++i) {
            size_t nPiece = i + 1 < chunks.size() ? 64 : c.nLastPiece;
            size_t nBlocks = (nPiece + 7) / 8;
            const std::string& chunk = chunks[i];
            char header[4];
            sprintf(header, "%c%02X", (char)('0' + nBlocks), (unsigned)nPiece);
            ASSERT_EQ(3 + 16 * nBlocks + 8, chunk.size()) << c.nValue << " chunk " << i;
            EXPECT_EQ(header, chunk.substr(0, 3)) << c.nValue << " chunk " << i;
            EXPECT_EQ(std::string::npos, chunk.find_first_not_of("0123456789ABCDEF", 1));
        }
        if (c.nLastPiece < 4) {
            EXPECT_EQ("4F627A3B", chunks.back().substr(chunks.back().size() - 8));
        }

        std::string back = text;
        back.resize(text.size() + 1);
        EXPECT_EQ(1, NewDecryptStr(&back[0]));
        EXPECT_STREQ(value.c_str(), back.c_str()) << c.nValue;
    }
}

// The chunk of a known plaintext: DES blocks of the zero-filled piece, then
// the check value over its complete 32-bit words.
TEST(CryptString, ChunkBlocksAndCheckValue)
{
    static const struct { const char *plain, *check; } cases[] = {
        {"ABC", "4F627A3B"},          // no complete word
        {"ABCD", "0B21387A"},         // 0x4F627A3B ^ 0x44434241
        {"ABCDE", "0B21387A"},        // the odd character is not covered
        {"ABCDEFGH", "43667E3F"},     // ^ 0x48474645
    };
    unsigned char key[8];
    DefaultKey(key);
    SDesSubkeys sk;
    DesComputeSubkeys(key, &sk);
    for (const auto& c : cases) {
        std::string chunk = EncryptText(c.plain);
        unsigned char block[8] = {0}, out[8];
        memcpy(block, c.plain, strlen(c.plain) > 8 ? 8 : strlen(c.plain));
        DesEncryptBlock(sk, block, out);
        EXPECT_EQ(BlockHex(out), chunk.substr(3, 16)) << c.plain;
        EXPECT_EQ(c.check, chunk.substr(chunk.size() - 8)) << c.plain;
        EXPECT_EQ(c.plain, DecryptText(chunk));
    }
}

// Texts already stored must stay readable: the key constants are fixed.
TEST(CryptString, KnownText)
{
    EXPECT_EQ("108F39AE03CB664CF3B483D246F", EncryptText("123hello"));
}

TEST(CryptString, DamagedChunks)
{
    const std::string full = EncryptText(Value(64));
    const std::string shortPiece = EncryptText("abc");
    std::string digitChanged = full;
    digitChanged[10] = digitChanged[10] == '0' ? '1' : '0';
    std::string lowerCheck = full;
    for (size_t i = lowerCheck.size() - 8; i < lowerCheck.size(); ++i)
        lowerCheck[i] = (char)tolower(lowerCheck[i]);
    bool fCheckHasLetters = lowerCheck != full;
    std::string lowerBlocks = full;
    for (size_t i = 3; i < lowerBlocks.size() - 8; ++i)
        lowerBlocks[i] = (char)tolower(lowerBlocks[i]);
    std::string shortChanged = shortPiece;
    shortChanged[5] = shortChanged[5] == '0' ? '1' : '0';

    EXPECT_EQ(digitChanged.substr(0, 64), DecryptText(digitChanged));
    if (fCheckHasLetters) {
        EXPECT_EQ(lowerCheck.substr(0, 64), DecryptText(lowerCheck));
    }
    EXPECT_EQ(Value(64), DecryptText(lowerBlocks));
    // Too short for the check value: damage goes unnoticed.
    std::string wrong = DecryptText(shortChanged);
    EXPECT_NE("abc", wrong);
    EXPECT_NE(shortChanged.substr(0, 3), wrong);
}

TEST(CryptString, TextsNotInChunkForm)
{
    static const struct { const char *in, *out; } cases[] = {
        {"", ""},
        {"!CRYPT!", ""},
        {"!CRYPT!hello", "lo"},          // the rest, less the prefix's 3 characters
        {"!CRYPT!ab!!cdef", "def"},      // empty tokens are skipped
        {"!CR", ""},                     // shorter than the marker
    };
    for (const auto& c : cases) {
        char buf[64];
        strcpy(buf, c.in);
        EXPECT_EQ(1, NewDecryptStr(buf));
        EXPECT_STREQ(c.out, buf) << c.in;
    }
}

TEST(CryptString, DeriveKey)
{
    auto derive = [](const char* first, const char* second) {
        unsigned char key[8];
        memcpy(key, g_abCryptStartKey, 8);
        deriveCryptKey(key, second, first);
        return BlockHex(key);
    };
    EXPECT_EQ(BlockHex(g_abCryptStartKey), derive("", ""));
    EXPECT_EQ(derive("Comet8402915Plank", "Harbors5093846QX"), derive("Come", "Harb"));
    EXPECT_NE(derive("Comet", "Harbors"), derive("Comx", "Harbors"));
    EXPECT_NE(derive("Comet", "Harbors"), derive("Comet", "Harx"));
    EXPECT_NE(derive("ab", ""), derive("", "ab"));
    EXPECT_NE(derive("a", "b"), derive("ab", "b"));   // a string that ends gives 0 from then on
}

// Lengths in a token's header come from stored texts and must not be trusted.
TEST(CryptString, HeadersThatClaimMoreThanTheTokenHolds)
{
    const std::string valid = EncryptText("1234567890");
    std::string longToken = valid + std::string(600 - valid.size(), '0');
    static const char* tokens[] = {
        "108",                              // one block promised, none there
        "840AB12",                          // eight blocks promised
        "10800000000000000000000",          // blocks but no check value
    };
    for (const char* t : tokens)
        EXPECT_EQ(t, DecryptText(t)) << t;
    EXPECT_EQ(longToken, DecryptText(longToken));

    // A token cut short right after its header: a valid chunk stays in the
    // buffer behind the terminator and must not be read.
    unsigned char key[8];
    DefaultKey(key);
    std::string chunk;
    for (char c = 'A'; chunk.empty() || chunk[4] != '0'; ++c)
        chunk = EncryptText(std::string("1234567") + c);
    chunk[4] = '\0';
    char out[64];
    decryptCryptChunk(out, sizeof(out), chunk.c_str(), key);
    EXPECT_STREQ(chunk.substr(0, 4).c_str(), out);
    EXPECT_EQ("1234567890" + longToken, DecryptText(valid + "!" + longToken));
}

TEST(CryptString, OutputIsBounded)
{
    const std::string text = EncryptText(Value(200));
    std::vector<char> out(20, 'X');
    int n = decryptCryptText(text.c_str(), g_szCryptKey1, g_szCryptKey2, out.data(), 10);
    EXPECT_EQ(9, n);
    EXPECT_EQ(Value(9), std::string(out.data()));
    EXPECT_EQ('X', out[10]);

    unsigned char key[8];
    DefaultKey(key);
    std::vector<char> chunkOut(8, 'X');
    decryptCryptChunk(chunkOut.data(), 4, text.substr(0, 139).c_str(), key);
    EXPECT_STREQ(Value(3).c_str(), chunkOut.data());
    EXPECT_EQ('X', chunkOut[4]);

    // A value too long for the work area, and an out buffer one byte short.
    std::string tooLong = Value(CRYPT_MAX_VALUE_LEN + 1);
    std::vector<char> big(NewEncryptStrSize(tooLong.size()), 'X');
    EXPECT_EQ(0, NewEncryptStr(tooLong.c_str(), big.data(), big.size()));
    EXPECT_EQ('\0', big[0]);

    std::string value = Value(61);
    std::vector<char> exact(7 + 139 + 1, 'X');
    EXPECT_EQ(0, NewEncryptStr(value.c_str(), exact.data(), exact.size() - 1));
    EXPECT_EQ('\0', exact[0]);
    EXPECT_EQ('X', exact[exact.size() - 1]);
    EXPECT_EQ(1, NewEncryptStr(value.c_str(), exact.data(), exact.size()));

    // The form without a size writes no more than the size the value needs.
    std::vector<char> sized(NewEncryptStrSize(value.size()) + 1, 'X');
    EXPECT_EQ(1, NewEncryptStr(value.c_str(), sized.data()));
    EXPECT_EQ('X', sized.back());
    EXPECT_EQ(1, NewDecryptStr(sized.data()));
    EXPECT_EQ(value, std::string(sized.data()));
}

TEST(CryptString, TextLongerThanWorkAreaIsLeftAlone)
{
    std::string text = "!CRYPT!" + std::string(CRYPT_WORK_AREA, 'A');
    std::string copy = text;
    EXPECT_EQ(0, NewDecryptStr(&copy[0]));
    EXPECT_EQ(text, copy);
}
