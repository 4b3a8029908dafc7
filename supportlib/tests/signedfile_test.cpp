#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include "MessageDigest5.h"
#include "SignedFile.h"
#include "VglTestSupport.h"

namespace {

std::string WriteFile(const char* pszName, const std::string& data)
{
    WriteWholeFile(pszName, data);
    return pszName;
}

std::string LengthField(int n)
{
    return std::string(reinterpret_cast<const char*>(&n), 4);
}

// The tests' own key: its private half (testkey.pem) signed the fixtures.
const SRsaPublicKey s_testKey =
#include "SignedFileTestKey.inc"
;

int Check(const std::string& strPath)
{
    return verifySignedFile(strPath.c_str(), s_testKey);
}

// signed.bin: a 2345-byte body, a 65-byte signature and its length.
const size_t BODY = 2345, SIG = 65;

class SignedFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_good = ReadWholeFile(TestDataFile("signed.bin"));
        ASSERT_EQ(BODY + SIG + 4, m_good.size());
        m_body = m_good.substr(0, BODY);
        m_sig = m_good.substr(BODY, SIG);
    }
    std::string m_good, m_body, m_sig;
};

} // namespace

TEST_F(SignedFileTest, AcceptsGoodFileAndRejectsMalformedSignatureBlocks)
{
    static const struct { const char* pszName; int nExpected; } cases[] = {
        { "signed.bin", 1 },
        { "block-type2.bin", 0 },       // block type 2 instead of 1
        { "block-nopad.bin", 0 },       // padding bytes other than 0xFF
        { "block-extra-zero.bin", 0 },  // DigestInfo preceded by an extra zero
        { "block-md2-oid.bin", 0 },     // right digest, another algorithm's DigestInfo
        { "sig-plus-modulus.bin", 0 },  // signature not below the modulus
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.nExpected, Check(TestDataFile(c.pszName))) << c.pszName;
}

TEST_F(SignedFileTest, AnyChangeToBodyOrSignatureFails)
{
    static const size_t positions[] = { 0, 999, 1000, BODY - 1, BODY, BODY + SIG - 1 };
    for (size_t pos : positions) {
        std::string data = m_good;
        data[pos] ^= 0x01;
        EXPECT_EQ(0, Check(WriteFile("flipped.bin", data))) << "byte " << pos;
    }
    EXPECT_EQ(0, Check(WriteFile("longer.bin", m_body + "x" + m_sig + LengthField(SIG))));
    EXPECT_EQ(0, Check(WriteFile("shorter.bin", m_body.substr(1) + m_sig + LengthField(SIG))));
}

// The same number written in more bytes than the modulus has is refused.
TEST_F(SignedFileTest, SignatureLongerThanModulusFails)
{
    for (size_t n : { (size_t)66, (size_t)128 }) {
        std::string sig = std::string(n - SIG, '\0') + m_sig;
        EXPECT_EQ(0, Check(WriteFile("padded.bin", m_body + sig + LengthField((int)n))))
            << n << " bytes";
    }
}

TEST_F(SignedFileTest, UnacceptableTrailerOrUnreadableFileGivesMinusOne)
{
    const std::string sig128(128, '\x5a');
    const struct { const char* pszWhat; std::string data; } cases[] = {
        { "length 0", m_body + m_sig + LengthField(0) },
        { "length 129", m_body + sig128 + "x" + LengthField(129) },
        { "negative length", m_body + m_sig + LengthField(-65) },
        { "no trailer", m_body },
        { "cut by one byte", m_good.substr(0, m_good.size() - 1) },
        { "size N + 4", m_sig + LengthField(SIG) },
        { "size N + 3", m_sig.substr(1) + LengthField(SIG) },
        { "three bytes", "abc" },
        { "empty", "" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(-1, Check(WriteFile("trailer.bin", c.data))) << c.pszWhat;
    EXPECT_EQ(-1, Check("no such file.bin"));
    EXPECT_EQ(-1, kvAuthMD5(TestDataFile("no-such-dir/signed.bin").c_str()));
}

// The programs trust the key the build signed with, whose private half is outside the
// source tree, and not the tests' key, whose private half is in it.
TEST_F(SignedFileTest, ProgramsTrustOnlyTheBuildsKey)
{
    EXPECT_EQ(1, Check(TestDataFile("signed.bin")));
    EXPECT_EQ(0, kvAuthMD5(TestDataFile("signed.bin").c_str()));
    EXPECT_EQ(1, kvAuthMD5(BinFile("signed-by-build.bin").c_str()));
    EXPECT_EQ(0, Check(BinFile("signed-by-build.bin")));
}

TEST(RsaModExp, SmallNumbers)
{
    const BYTE b4 = 4, e13 = 13, mod[2] = { 0x01, 0xF1 };    // 4^13 mod 497 = 445
    BYTE out[2] = { 0, 0 };
    ASSERT_TRUE(RsaModExp(&b4, 1, &e13, 1, mod, 2, out));
    EXPECT_EQ(445, out[0] * 256 + out[1]);

    const BYTE big[3] = { 0x00, 0x01, 0xF1 };                // equal to the modulus
    EXPECT_FALSE(RsaModExp(big, 3, &e13, 1, mod, 2, out));
    const BYTE zero[2] = { 0, 0 };
    EXPECT_FALSE(RsaModExp(&b4, 1, &e13, 1, zero, 2, out));
}

TEST(BuildMD5SignatureBlock, LayoutAndMinimumLength)
{
    BYTE digest[16];
    memset(digest, 0xD5, sizeof(digest));
    BYTE block[65];
    ASSERT_TRUE(BuildMD5SignatureBlock(digest, block, sizeof(block)));
    EXPECT_EQ(0x00, block[0]);
    EXPECT_EQ(0x01, block[1]);
    for (int i = 2; i < 30; i++)
        EXPECT_EQ(0xFF, block[i]) << i;
    EXPECT_EQ(0x00, block[30]);
    EXPECT_EQ(0x30, block[31]);
    EXPECT_EQ(0x10, block[48]);
    EXPECT_EQ(0, memcmp(block + 49, digest, 16));
    EXPECT_FALSE(BuildMD5SignatureBlock(digest, block, 44));
    EXPECT_TRUE(BuildMD5SignatureBlock(digest, block, 45));
}
