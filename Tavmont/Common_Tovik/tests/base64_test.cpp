#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include "Base64Coder.h"

namespace {

std::string Decoded(const Base64Coder& coder)
{
    return std::string(reinterpret_cast<const char*>(coder.GetDecoded()), coder.GetDecodedLength());
}

} // namespace

TEST(Base64Coder, Rfc4648VectorsBothWays)
{
    static const struct { const char* pszPlain; const char* pszCoded; } cases[] = {
        { "", "" },
        { "f", "Zg==" },
        { "fo", "Zm8=" },
        { "foo", "Zm9v" },
        { "foob", "Zm9vYg==" },
        { "fooba", "Zm9vYmE=" },
        { "foobar", "Zm9vYmFy" },
        { "Aladdin:open sesame", "QWxhZGRpbjpvcGVuIHNlc2FtZQ==" },
    };
    Base64Coder coder;   // one coder for all: results must not leak between calls
    for (const auto& c : cases) {
        ASSERT_TRUE(coder.Encode(c.pszPlain));
        EXPECT_STREQ(c.pszCoded, coder.GetEncoded()) << c.pszPlain;
        EXPECT_EQ(strlen(c.pszCoded), coder.GetEncodedLength());
        ASSERT_TRUE(coder.Decode(c.pszCoded)) << c.pszCoded;
        EXPECT_EQ(c.pszPlain, Decoded(coder));
        EXPECT_EQ(0, coder.GetDecoded()[coder.GetDecodedLength()]);
    }
}

TEST(Base64Coder, BinaryRoundTripAcrossBufferSteps)
{
    std::string data;
    for (int i = 0; i < 10000; i++)
        data += (char)(i * 37 + i / 256);
    Base64Coder coder;
    for (size_t n : { (size_t)256, (size_t)3071, (size_t)3072, (size_t)3073, data.size(), (size_t)1 }) {
        ASSERT_TRUE(coder.Encode(reinterpret_cast<const BYTE*>(data.data()), (UINT)n));
        ASSERT_EQ((n + 2) / 3 * 4, strlen(coder.GetEncoded())) << n;
        // Decoding the coder's own result in place.
        ASSERT_TRUE(coder.Decode(coder.GetEncoded())) << n;
        EXPECT_EQ(data.substr(0, n), Decoded(coder)) << n;
    }
    // Every byte value lands on every position of a group.
    Base64Coder all;
    ASSERT_TRUE(all.Encode(reinterpret_cast<const BYTE*>("\xff\xfe\xfd"), 3));
    EXPECT_STREQ("//79", all.GetEncoded());
    ASSERT_TRUE(all.Encode(reinterpret_cast<const BYTE*>("\x00\x10\x83"), 3));
    EXPECT_STREQ("ABCD", all.GetEncoded());
}

TEST(Base64Coder, DecodeSkipsLineBreaksAndBlanksOnly)
{
    Base64Coder coder;
    ASSERT_TRUE(coder.Decode("Zm9v\r\nYmFy\r\n"));
    EXPECT_EQ("foobar", Decoded(coder));
    ASSERT_TRUE(coder.Decode(" Zm 9v\tYg\v\f==\a"));
    EXPECT_EQ("foob", Decoded(coder));
    EXPECT_FALSE(coder.Decode("Zm9v\x0eYmFy"));
    EXPECT_FALSE(coder.Decode("Zm9v\x06YmFy"));
}

TEST(Base64Coder, RejectsMalformedInput)
{
    static const char* const cases[] = {
        "Zm9",          // not whole groups
        "Zm9vY",
        "Zm=v",         // '=' inside a group
        "Z===",         // too much filling
        "Zg==Zm9v",     // filling before the last group
        "Zm9v!A==",     // outside the alphabet
        "Zm9v-_8=",     // the URL-safe alphabet
        "Zm9v\xc3\xa4==",
    };
    Base64Coder coder;
    for (const char* psz : cases) {
        ASSERT_TRUE(coder.Decode("Zm9vYmFy"));
        EXPECT_FALSE(coder.Decode(psz)) << psz;
        EXPECT_EQ(0u, coder.GetDecodedLength()) << psz;
        EXPECT_EQ(0, coder.GetDecoded()[0]) << psz;
    }
    // A count stops at that many characters, whatever follows.
    ASSERT_TRUE(coder.Decode("Zm9v!!!!", 4));
    EXPECT_EQ("foo", Decoded(coder));
}
