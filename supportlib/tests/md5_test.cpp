#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include "MessageDigest5.h"

namespace {

std::string HexOf(const void* pData, size_t cb)
{
    CMessageDigest5 md5;
    char sz[33];
    EXPECT_TRUE(md5.GetHexDigest(pData, (UINT)cb, sz, sizeof(sz)));
    return sz;
}

std::string Pattern(size_t n)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; i++)
        s[i] = (char)((i * 7 + 3) & 255);
    return s;
}

} // namespace

TEST(MessageDigest5, Rfc1321TestSuite)
{
    static const struct { const char* pszIn; const char* pszHex; } cases[] = {
        { "", "d41d8cd98f00b204e9800998ecf8427e" },
        { "a", "0cc175b9c0f1b6a831c399e269772661" },
        { "abc", "900150983cd24fb0d6963f7d28e17f72" },
        { "message digest", "f96b697d7cb7938d525a2f31aaf161d0" },
        { "abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b" },
        { "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
          "d174ab98d277d9f5a5611c2c9f419d9f" },
        { "12345678901234567890123456789012345678901234567890123456789012345678901234567890",
          "57edf4a22be3c955ac49da2e2107b67a" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.pszHex, HexOf(c.pszIn, strlen(c.pszIn))) << '"' << c.pszIn << '"';
}

// Around the block boundary the closing 0x80 and the length spill into a
// second block.
TEST(MessageDigest5, LengthsAroundBlockBoundary)
{
    static const struct { size_t n; const char* pszHex; } cases[] = {
        { 55, "52c0e574e1198de5fe3f8f11440dcb1b" },
        { 56, "46c9907fc908ee68b1e7b8e71286a518" },
        { 63, "a62f6d59e837867693f042f5b8f5a236" },
        { 64, "7160b8fb5e9e4023d549c3971fbaeead" },
        { 65, "70bd662e7aefbda85a0f7244167b7897" },
        { 1000, "10046f077f2082ac19676b8079f1cb1a" },
    };
    for (const auto& c : cases) {
        std::string s = Pattern(c.n);
        EXPECT_EQ(c.pszHex, HexOf(s.data(), s.size())) << c.n << " bytes";
    }
}

TEST(MessageDigest5, PiecewiseUpdatesMatchOneUpdate)
{
    const char* pszWhole = "10046f077f2082ac19676b8079f1cb1a";
    std::string s = Pattern(1000);
    char sz[33];
    // Every split of the message into two pieces within the first blocks.
    for (size_t cut = 0; cut <= 200; cut++) {
        CMessageDigest5 md5;
        md5.Update(s.data(), (UINT)cut);
        ASSERT_TRUE(md5.GetHexDigest(s.data() + cut, (UINT)(s.size() - cut), sz, sizeof(sz)));
        ASSERT_STREQ(pszWhole, sz) << "cut at " << cut;
    }
    CMessageDigest5 md5;
    for (char ch : s)
        md5.Update(&ch, 1);
    ASSERT_TRUE(md5.GetHexDigest("", 0, sz, sizeof(sz)));
    EXPECT_STREQ(pszWhole, sz);

    CMessageDigest5 abc;
    abc.Update("a", 1);
    ASSERT_TRUE(abc.GetHexDigest("bc", 2, sz, sizeof(sz)));
    EXPECT_STREQ("900150983cd24fb0d6963f7d28e17f72", sz);
}

TEST(MessageDigest5, OutputTooSmallLeavesEverythingUntouched)
{
    char sz[40];
    memset(sz, 'x', sizeof(sz));
    CMessageDigest5 md5;
    md5.Update("a", 1);
    EXPECT_FALSE(md5.GetHexDigest("bc", 2, sz, 32));
    EXPECT_EQ(std::string(40, 'x'), std::string(sz, 40));

    BYTE ab[16];
    memset(ab, 0xEE, sizeof(ab));
    EXPECT_FALSE(md5.Final(ab, 15));
    EXPECT_EQ(0xEE, ab[0]);

    // The refused calls added nothing: the state still holds just "a".
    EXPECT_TRUE(md5.GetHexDigest("bc", 2, sz, 33));
    EXPECT_STREQ("900150983cd24fb0d6963f7d28e17f72", sz);
    EXPECT_EQ('x', sz[33]);
}

TEST(MessageDigest5, InitStartsAFreshDigest)
{
    CMessageDigest5 md5;
    char sz[33];
    md5.Update("left over", 9);
    md5.Init();
    ASSERT_TRUE(md5.GetHexDigest("abc", 3, sz, sizeof(sz)));
    EXPECT_STREQ("900150983cd24fb0d6963f7d28e17f72", sz);
    md5.Init();
    ASSERT_TRUE(md5.GetHexDigest("a", 1, sz, sizeof(sz)));
    EXPECT_STREQ("0cc175b9c0f1b6a831c399e269772661", sz);
}
