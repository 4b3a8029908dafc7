#include <gtest/gtest.h>
#include "afx.h"
#include <string>
#include <vector>

namespace
{
typedef std::vector<BYTE> Bytes;

// A CFile over memory: what the archive wrote, and what it reads.
class CMemoryTestFile : public CFile
{
public:
    Bytes m_data;
    size_t m_nPos = 0;
    int m_nFlushes = 0;

    UINT Read(void* lpBuf, UINT nCount) override
    {
        size_t n = m_data.size() - m_nPos < nCount ? m_data.size() - m_nPos : nCount;
        if (n)
            memcpy(lpBuf, &m_data[m_nPos], n);
        m_nPos += n;
        return (UINT)n;
    }
    void Write(const void* lpBuf, UINT nCount) override
    {
        m_data.insert(m_data.end(), (const BYTE*)lpBuf, (const BYTE*)lpBuf + nCount);
    }
    void Flush() override { m_nFlushes++; }
    CString GetFilePath() const override { return "C:\\mem.dat"; }
};

template <class F>
Bytes Store(F write)
{
    CMemoryTestFile file;
    {
        CArchive ar(&file, CArchive::store);
        write(ar);
        ar.Close();
    }
    return file.m_data;
}

Bytes B(const std::string& s)
{
    return Bytes(s.begin(), s.end());
}

Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// Runs read over data; returns the archive exception's cause, or -1.
template <class F>
int LoadCause(const Bytes& data, F read)
{
    CMemoryTestFile file;
    file.m_data = data;
    CArchive ar(&file, CArchive::load);
    try
    {
        read(ar);
    }
    catch (CArchiveException* e)
    {
        int cause = e->m_cause;
        EXPECT_STREQ("C:\\mem.dat", (LPCSTR)e->m_strFileName);
        e->Delete();
        return cause;
    }
    return -1;
}
}

class CTestRecord : public CObject
{
    DECLARE_SERIAL(CTestRecord)
public:
    CTestRecord() {}
    CTestRecord(int n, LPCSTR psz) : m_n(n), m_str(psz) {}
    void Serialize(CArchive& ar) override
    {
        if (ar.IsStoring())
            ar << m_n << m_str;
        else
            ar >> m_n >> m_str;
    }
    int m_n = 0;
    CString m_str;
};
IMPLEMENT_SERIAL(CTestRecord, CObject, 1)

class CTestOther : public CObject
{
    DECLARE_SERIAL(CTestOther)
};
IMPLEMENT_SERIAL(CTestOther, CObject, 2)

TEST(CArchiveFormat, ScalarsAreLittleEndian)
{
    Bytes data = Store([](CArchive& ar) {
        ar << (BYTE)0xAB << (WORD)0x1234 << (LONG)-2 << (DWORD)0x89ABCDEF << (int)7
           << 1.0f << 2.0 << CTime((time_t)0x12345678);
    });
    Bytes expected = { 0xAB, 0x34, 0x12, 0xFE, 0xFF, 0xFF, 0xFF, 0xEF, 0xCD, 0xAB, 0x89,
                       7, 0, 0, 0, 0x00, 0x00, 0x80, 0x3F,
                       0, 0, 0, 0, 0, 0, 0, 0x40, 0x78, 0x56, 0x34, 0x12 };
    EXPECT_EQ(expected, data);

    CMemoryTestFile file;
    file.m_data = data;
    CArchive ar(&file, CArchive::load);
    BYTE by; WORD w; LONG l; DWORD dw; int i; float f; double d; CTime t;
    ar >> by >> w >> l >> dw >> i >> f >> d >> t;
    EXPECT_EQ(0xAB, by);
    EXPECT_EQ(0x1234, w);
    EXPECT_EQ(-2, l);
    EXPECT_EQ(0x89ABCDEFu, dw);
    EXPECT_EQ(7, i);
    EXPECT_EQ(1.0f, f);
    EXPECT_EQ(2.0, d);
    EXPECT_EQ((time_t)0x12345678, t.GetTime());
}

TEST(CArchiveFormat, StringLengthPrefixAtEveryBoundary)
{
    struct
    {
        int nLen;
        Bytes prefix;
    } cases[] = {
        { 0, { 0x00 } },
        { 0xFE, { 0xFE } },
        { 0xFF, { 0xFF, 0xFF, 0x00 } },
        { 0xFFFD, { 0xFF, 0xFD, 0xFF } },
        { 0xFFFE, { 0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00 } },
        { 0xFFFF, { 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00 } },
        { 0x10001, { 0xFF, 0xFF, 0xFF, 0x01, 0x00, 0x01, 0x00 } },
    };
    for (const auto& c : cases)
    {
        CString str;
        for (int i = 0; i < c.nLen; i++)
            str += (char)('a' + i % 26);
        Bytes data = Store([&](CArchive& ar) { ar << str; });
        ASSERT_EQ(c.prefix.size() + c.nLen, data.size()) << c.nLen;
        EXPECT_EQ(c.prefix, Bytes(data.begin(), data.begin() + c.prefix.size())) << c.nLen;
        EXPECT_EQ(0, memcmp(&data[c.prefix.size()], (LPCSTR)str, c.nLen));

        CMemoryTestFile file;
        file.m_data = data;
        file.m_data.push_back(0x5A);
        CArchive ar(&file, CArchive::load);
        CString back("junk");
        BYTE next;
        ar >> back >> next;
        EXPECT_TRUE(back == str) << c.nLen;
        EXPECT_EQ(0x5A, next);
    }
}

TEST(CArchiveFormat, CountIsWordOrEscapedDword)
{
    struct
    {
        DWORD n;
        Bytes bytes;
    } cases[] = {
        { 0, { 0x00, 0x00 } },
        { 0xFFFE, { 0xFE, 0xFF } },
        { 0xFFFF, { 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00 } },
        { 0x12345, { 0xFF, 0xFF, 0x45, 0x23, 0x01, 0x00 } },
    };
    for (const auto& c : cases)
    {
        Bytes data = Store([&](CArchive& ar) { ar.WriteCount(c.n); });
        EXPECT_EQ(c.bytes, data) << c.n;
        CMemoryTestFile file;
        file.m_data = data;
        CArchive ar(&file, CArchive::load);
        EXPECT_EQ(c.n, ar.ReadCount());
    }
}

TEST(CArchiveObjects, ObArrayTagsAndRoundTrip)
{
    CTestRecord* pFirst = new CTestRecord(1, "x");
    CTestRecord* pSecond = new CTestRecord(0x0102, "yz");
    CObArray array;
    array.Add(pFirst);
    array.Add(NULL);
    array.Add(pSecond);
    array.Add(pFirst);

    Bytes data = Store([&](CArchive& ar) { array.Serialize(ar); });
    Bytes expected = Cat({
        { 0x04, 0x00 },
        { 0xFF, 0xFF, 0x01, 0x00, 0x0B, 0x00 }, B("CTestRecord"),  // new class, index 1
        { 0x01, 0x00, 0x00, 0x00, 0x01 }, B("x"),                  // object 2
        { 0x00, 0x00 },                                            // null
        { 0x01, 0x80 },                                            // class 1 again
        { 0x02, 0x01, 0x00, 0x00, 0x02 }, B("yz"),                 // object 3
        { 0x02, 0x00 },                                            // object 2 again
    });
    EXPECT_EQ(expected, data);

    CMemoryTestFile file;
    file.m_data = data;
    CObArray back;
    {
        CArchive ar(&file, CArchive::load);
        back.Serialize(ar);
    }
    ASSERT_EQ(4, back.GetSize());
    EXPECT_TRUE(back[0]->IsKindOf(RUNTIME_CLASS(CTestRecord)));
    EXPECT_EQ(back[0], back[3]);
    EXPECT_EQ(nullptr, back[1]);
    EXPECT_EQ(0x0102, ((CTestRecord*)back[2])->m_n);
    EXPECT_STREQ("yz", (LPCSTR)((CTestRecord*)back[2])->m_str);
    EXPECT_STREQ("x", (LPCSTR)((CTestRecord*)back[0])->m_str);

    delete pFirst;
    delete pSecond;
    delete back[0];
    delete back[2];
}

TEST(CArchiveObjects, TypedReadAndSchema)
{
    Bytes data = Store([](CArchive& ar) {
        CTestRecord rec(5, "abc");
        ar << &rec;
    });
    CMemoryTestFile file;
    file.m_data = data;
    CArchive ar(&file, CArchive::load);
    CTestRecord* pRec = NULL;
    ar >> pRec;
    ASSERT_NE(nullptr, pRec);
    EXPECT_EQ(5, pRec->m_n);
    delete pRec;
    EXPECT_EQ(RUNTIME_CLASS(CTestRecord), CRuntimeClass::FromName("CTestRecord"));
}

TEST(CArchiveObjects, DamagedInputRaisesArchiveErrors)
{
    Bytes good = Store([](CArchive& ar) {
        CTestRecord rec(5, "abc");
        ar << &rec;
    });
    Bytes other = Store([](CArchive& ar) {
        CTestOther o;
        ar << &o;
    });
    Bytes badSchema = good;
    badSchema[2] = 2;
    Bytes unknownClass = good;
    unknownClass[6] = 'X';
    Bytes truncated(good.begin(), good.end() - 1);
    struct
    {
        const char* what;
        Bytes data;
        int cause;
    } cases[] = {
        { "schema", badSchema, CArchiveException::badSchema },
        { "unknown class", unknownClass, CArchiveException::badClass },
        { "other class", other, CArchiveException::badClass },
        { "truncated", truncated, CArchiveException::endOfFile },
        { "object index", { 0x05, 0x00 }, CArchiveException::badIndex },
        { "class index", { 0x01, 0x80 }, CArchiveException::badIndex },
        { "empty", {}, CArchiveException::endOfFile },
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(c.cause, LoadCause(c.data, [](CArchive& ar) {
            CTestRecord* p = NULL;
            ar >> p;
            delete p;
        })) << c.what;
    }
    // A count or a length larger than what follows ends in endOfFile.
    EXPECT_EQ(CArchiveException::endOfFile, LoadCause({ 0xFF, 0xFF, 0xFF, 0xF0, 0xFF, 0xFF, 0x7F, 'a' },
        [](CArchive& ar) { CString s; ar >> s; }));
    EXPECT_EQ(CArchiveException::endOfFile, LoadCause({ 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x3F },
        [](CArchive& ar) { CStringArray a; a.Serialize(ar); }));
}

TEST(CArchiveText, StringLinesAndFlush)
{
    CMemoryTestFile file;
    {
        CArchive ar(&file, CArchive::store);
        ar.WriteString("one\r\ntwo\nthree");
        ar.Flush();
        EXPECT_EQ(14u, file.m_data.size());
        EXPECT_EQ(1, file.m_nFlushes);
    }  // the destructor closes (and flushes) the archive
    EXPECT_EQ(2, file.m_nFlushes);

    CArchive ar(&file, CArchive::load);
    CString line;
    EXPECT_TRUE(ar.ReadString(line));
    EXPECT_STREQ("one", (LPCSTR)line);
    char sz[16];
    EXPECT_STREQ("two\n", ar.ReadString(sz, sizeof(sz)));
    EXPECT_TRUE(ar.ReadString(line));
    EXPECT_STREQ("three", (LPCSTR)line);
    EXPECT_FALSE(ar.ReadString(line));
}
