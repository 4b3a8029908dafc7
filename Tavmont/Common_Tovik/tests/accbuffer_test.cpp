// The reply buffer: growth, files, text and return codes.
#include <gtest/gtest.h>

#include "AccBuffer.h"
#include "VglTestSupport.h"

#include <afxfile.h>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace
{
std::string Content(const CAccBuffer& buffer)
{
    return buffer.GetLength() > 0 ? std::string((const char*)buffer.GetData(), buffer.GetLength())
                                  : std::string();
}

std::string Pattern(size_t cb)
{
    std::string s(cb, '\0');
    for (size_t i = 0; i < cb; ++i)
        s[i] = (char)(i * 7 + i / 251);
    return s;
}

std::string ReadBytes(const char* pszPath) { return ReadWholeFile(pszPath, "<missing>"); }
} // namespace

TEST(AccBuffer, GrowsInWholeSteps)
{
    static const struct
    {
        int nStep;                  // 0: default constructor
        std::vector<int> appends;
        int nCapacity;
    } cases[] = {
        {0, {0}, 0},
        {0, {-5}, 0},
        {0, {1000}, 32768},
        {0, {32768}, 65536},
        {0, {32000, 1000}, 65536},
        {0, {32767, 1}, 32768},
        {0, {32767, 2}, 65536},
        {128, {100}, 128},
        {128, {128}, 256},
        {128, {100, 28}, 128},
        {128, {100, 29}, 256},
        {128, {100, 29, 300}, 640},   // from the capacity, not the length
    };
    for (const auto& c : cases)
    {
        std::unique_ptr<CAccBuffer> pBuffer(c.nStep != 0 ? new CAccBuffer(c.nStep) : new CAccBuffer);
        CAccBuffer& buffer = *pBuffer;
        std::string expected;
        for (int n : c.appends)
        {
            std::string bytes = Pattern(n > 0 ? n : 0);
            buffer.Append(bytes.data(), n);
            expected += bytes;
        }
        EXPECT_EQ(c.nCapacity, buffer.GetCapacity()) << "step " << c.nStep << ", first " << c.appends[0];
        EXPECT_EQ(expected, Content(buffer));
        if (c.nCapacity == 0)
        {
            EXPECT_EQ(NULL, buffer.GetData());
        }
    }
}

TEST(AccBuffer, ResetKeepsTheBlock)
{
    CAccBuffer buffer(128);
    buffer.Append("abcdef", 6);
    const BYTE* pBlock = buffer.GetData();
    buffer.Reset();
    EXPECT_EQ(0, buffer.GetLength());
    EXPECT_EQ(128, buffer.GetCapacity());
    EXPECT_EQ(pBlock, buffer.GetData());
    EXPECT_EQ(std::string(128, '\0'), std::string((const char*)pBlock, 128));
    buffer.Append("xy", 2);
    EXPECT_EQ("xy", Content(buffer));
}

TEST(AccBuffer, OutOfMemoryIsTheClassLibrarysMemoryException)
{
    // The first count would wrap a 32-bit size; the second cannot be allocated.
    for (int nCount : {0x7FFFFF00, 0x7FFF0000})
    {
        CAccBuffer buffer;
        buffer.Append("abc", 3);
        bool fCaughtMemory = false;
        try
        {
            buffer.Append("x", nCount);
        }
        catch (CException* e)
        {
            fCaughtMemory = e->IsKindOf(RUNTIME_CLASS(CMemoryException));
            e->Delete();
        }
        EXPECT_TRUE(fCaughtMemory) << nCount;
        EXPECT_EQ("abc", Content(buffer));
        EXPECT_EQ(32768, buffer.GetCapacity());
    }
}

TEST(AccBuffer, GetReturnCode)
{
    static const struct
    {
        std::string reply;
        int nDefault, nDigits, nExpected;
    } cases[] = {
        {"1", 0, 3, 1},
        {"1\r\n", 0, 3, 1},
        {"-16", 0, 3, -16},
        {"-1000", 0, 3, -10},
        {"OK", 0, 3, 0},
        {"2", 0, 3, 2},
        {"", 7, 3, 7},
        {"  42", 0, 3, 4},
        {"-16", 0, 2, -1},
        {"12abc", 0, 3, 12},
        {"00000000012345", 0, 20, 12},   // at most 11 digits are read
        {"5", 0, 0, 0},
    };
    for (const auto& c : cases)
    {
        CAccBuffer buffer;
        buffer.Append(c.reply.data(), (int)c.reply.size());
        EXPECT_EQ(c.nExpected, buffer.GetReturnCode(c.nDefault, c.nDigits))
            << "\"" << c.reply << "\", " << c.nDigits;
    }
}

TEST(AccBuffer, GetStringStopsAtZeroByte)
{
    static const struct { std::string bytes; const char* pszText; } cases[] = {
        {"abc", "abc"},
        {std::string("ab\0cd", 5), "ab"},
        {std::string("\0x", 2), ""},
        {"", ""},
    };
    for (const auto& c : cases)
    {
        CAccBuffer buffer;
        buffer.Append(c.bytes.data(), (int)c.bytes.size());
        CString strText("stale");
        buffer.GetString(strText);
        EXPECT_STREQ(c.pszText, (LPCSTR)strText);
    }
}

TEST(AccBuffer, WriteReplacesFileButEmptyBufferLeavesIt)
{
    const char* pszFile = "accbuffer_write.bin";
    WriteWholeFile(pszFile, "0123456789");

    CAccBuffer empty;
    empty.Write(pszFile);
    EXPECT_EQ("0123456789", ReadBytes(pszFile));

    DeleteFileA("accbuffer_never.bin");
    empty.Write("accbuffer_never.bin");
    EXPECT_EQ("<missing>", ReadBytes("accbuffer_never.bin"));

    CAccBuffer buffer;
    std::string bytes = std::string("ab\0c", 4) + Pattern(40000);
    buffer.Append(bytes.data(), (int)bytes.size());
    buffer.Write(pszFile);
    EXPECT_EQ(bytes, ReadBytes(pszFile));
}

TEST(AccBuffer, ReadAppendsWholeFile)
{
    static const struct { size_t cb; int nCapacity; } cases[] = {
        {0, 0}, {1, 32768}, {32767, 32768}, {32768, 32768}, {70000, 98304},
    };
    for (const auto& c : cases)
    {
        const char* pszFile = "accbuffer_read.bin";
        std::string bytes = Pattern(c.cb);
        WriteWholeFile(pszFile, bytes);
        CAccBuffer buffer;
        buffer.Read(pszFile);
        EXPECT_EQ(bytes, Content(buffer)) << c.cb;
        EXPECT_EQ(c.nCapacity, buffer.GetCapacity()) << c.cb;
    }
}

TEST(AccBuffer, FileErrorsReachTheCaller)
{
    CAccBuffer buffer;
    buffer.Append("kept", 4);
    DeleteFileA("accbuffer_missing.bin");

    int nReadCause = -1, nWriteCause = -1;
    try
    {
        buffer.Read("accbuffer_missing.bin");
    }
    catch (CFileException* e)
    {
        nReadCause = e->m_cause;
        e->Delete();
    }
    try
    {
        buffer.Write("no_such_folder\\out.bin");
    }
    catch (CFileException* e)
    {
        nWriteCause = e->m_cause;
        e->Delete();
    }
    EXPECT_EQ(CFileException::fileNotFound, nReadCause);
    EXPECT_EQ(CFileException::badPath, nWriteCause);
    EXPECT_EQ("kept", Content(buffer));
}
