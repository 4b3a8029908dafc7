#include <gtest/gtest.h>
#include "afx.h"
#include <mbctype.h>

TEST(CStringFormat, FollowsTheCLibraryRules)
{
    CString s;
    s.Format("%d|%5s|%-3d|%05.1f|%x|%%|%c", -12, "ab", 7, 3.14159, 255u, 'z');
    EXPECT_STREQ("-12|   ab|7  |003.1|ff|%|z", (LPCSTR)s);

    // The system C library writes three exponent digits and knows %I64d.
    s.Format("%e %I64d", 1.5, (__int64)-1234567890123LL);
    EXPECT_STREQ("1.500000e+000 -1234567890123", (LPCSTR)s);

    // Output far beyond the first buffer, and the string formatting itself.
    CString strLong('x', 5000);
    s.Format("<%s>", (LPCSTR)strLong);
    EXPECT_EQ(5002, s.GetLength());
    EXPECT_EQ('>', s[5001]);
    s = "abc";
    s.Format("%s-%s", (LPCSTR)s, (LPCSTR)s);
    EXPECT_STREQ("abc-abc", (LPCSTR)s);
}

TEST(CStringEdit, FindReplaceTrimAndPositions)
{
    CString s("a.b.c");
    EXPECT_EQ(1, s.Find('.'));
    EXPECT_EQ(3, s.Find('.', 2));
    EXPECT_EQ(-1, s.Find('.', 5));
    EXPECT_EQ(-1, s.Find('.', 99));
    EXPECT_EQ(2, s.Find("b.c"));
    EXPECT_EQ(-1, s.Find("b", 3));
    EXPECT_EQ(3, s.ReverseFind('.'));
    EXPECT_EQ(1, s.FindOneOf("x.c"));

    struct
    {
        const char* text;
        const char* from;
        const char* to;
        int count;
        const char* result;
    } replaces[] = {
        { "a.b.c", ".", "::", 2, "a::b::c" },
        { "aaaa", "aa", "b", 2, "bb" },
        { "abcabc", "abc", "", 2, "" },
        { "abc", "x", "y", 0, "abc" },
        { "abc", "", "y", 0, "abc" },
        { "xabx", "x", "xx", 2, "xxabxx" },
    };
    for (const auto& r : replaces)
    {
        CString t(r.text);
        EXPECT_EQ(r.count, t.Replace(r.from, r.to)) << r.text;
        EXPECT_STREQ(r.result, (LPCSTR)t) << r.text;
    }
    CString chars("a-b-c");
    EXPECT_EQ(2, chars.Replace('-', '+'));
    EXPECT_STREQ("a+b+c", (LPCSTR)chars);
    EXPECT_EQ(2, chars.Remove('+'));
    EXPECT_STREQ("abc", (LPCSTR)chars);

    CString t(" \t\r\n x y \t\r\n");
    t.TrimLeft();
    EXPECT_STREQ("x y \t\r\n", (LPCSTR)t);
    t.TrimRight();
    EXPECT_STREQ("x y", (LPCSTR)t);
    t = "--==x=-";
    t.TrimLeft("-=");
    t.TrimRight('-');
    EXPECT_STREQ("x=", (LPCSTR)t);
    t = "   ";
    t.TrimRight();
    EXPECT_TRUE(t.IsEmpty());

    CString m("abcdef");
    EXPECT_STREQ("cd", (LPCSTR)m.Mid(2, 2));
    EXPECT_STREQ("ef", (LPCSTR)m.Mid(4, 100));
    EXPECT_STREQ("", (LPCSTR)m.Mid(10));
    EXPECT_STREQ("ab", (LPCSTR)m.Mid(-3, 2));
    EXPECT_STREQ("abcdef", (LPCSTR)m.Left(99));
    EXPECT_STREQ("", (LPCSTR)m.Left(-1));
    EXPECT_STREQ("def", (LPCSTR)m.Right(3));
    EXPECT_STREQ("123", (LPCSTR)CString("123abc").SpanIncluding("0123456789"));
    EXPECT_STREQ("key", (LPCSTR)CString("key=value").SpanExcluding("=;"));

    EXPECT_EQ(8, m.Insert(3, "XY"));
    EXPECT_STREQ("abcXYdef", (LPCSTR)m);
    EXPECT_EQ(9, m.Insert(100, '!'));
    EXPECT_EQ(7, m.Delete(3, 2));
    EXPECT_STREQ("abcdef!", (LPCSTR)m);
    EXPECT_EQ(3, m.Delete(3, 100));
    EXPECT_STREQ("abc", (LPCSTR)m);
}

TEST(CStringBuffer, GetBufferReleaseBufferAndDeepCopies)
{
    CString s;
    lstrcpyA(s.GetBuffer(10), "hello");
    s.ReleaseBuffer();
    EXPECT_EQ(5, s.GetLength());

    CString copy(s);
    copy.GetBuffer(0)[0] = 'J';
    copy.ReleaseBuffer();
    EXPECT_STREQ("hello", (LPCSTR)s);
    EXPECT_STREQ("Jello", (LPCSTR)copy);

    memcpy(s.GetBufferSetLength(3), "abc", 3);
    EXPECT_STREQ("abc", (LPCSTR)s);
    s.ReleaseBuffer(1);
    EXPECT_STREQ("a", (LPCSTR)s);

    s = "xyz";
    s = (LPCSTR)s + 1;   // source inside the target
    EXPECT_STREQ("yz", (LPCSTR)s);
    s += s;
    EXPECT_STREQ("yzyz", (LPCSTR)s);
    EXPECT_TRUE(s == "yzyz" && "yzyz" == s && s != "yz" && s > "yz" && CString("a") < s);
}

TEST(CStringCompare, CaseAndCollation)
{
    EXPECT_EQ(0, CString("Hello").CompareNoCase("hELLO"));
    EXPECT_LT(CString("abc").Compare("abd"), 0);
    EXPECT_GT(CString("b").CompareNoCase("A"), 0);
    CString s("MiXeD 1");
    s.MakeUpper();
    EXPECT_STREQ("MIXED 1", (LPCSTR)s);
    s.MakeLower();
    EXPECT_STREQ("mixed 1", (LPCSTR)s);
    s.MakeReverse();
    EXPECT_STREQ("1 dexim", (LPCSTR)s);
}

TEST(CStringLoad, MissingResourceGivesEmptyString)
{
    CString s("old");
    EXPECT_FALSE(s.LoadString(54321));
    EXPECT_TRUE(s.IsEmpty());
    EXPECT_EQ(GetModuleHandleA(NULL), AfxGetResourceHandle());
}

TEST(CStringLoad, OnlyAResourceIdIsLoaded)
{
    EXPECT_TRUE(CString(MAKEINTRESOURCEA(54321)).IsEmpty());
#ifdef _WIN64
    // A text whose address has bits set only above the low 32 is copied, not taken for an id.
    char* p = NULL;
    for (ULONG_PTR k = 1; p == NULL && k < 64; k++)
        p = (char*)VirtualAlloc((void*)(k << 32), 4096, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    ASSERT_TRUE(p != NULL);
    ASSERT_EQ(0u, (ULONG_PTR)p & 0xFFFFFFFF);
    lstrcpyA(p, "far away");
    EXPECT_STREQ("far away", (LPCSTR)CString((LPCSTR)p));
    VirtualFree(p, 0, MEM_RELEASE);
#endif
}

// Double-byte text in code page 932: the trail bytes 0x5C ('\\'), 0x41 ('A')
// and 0x61 ('a') belong to their characters and must never match alone.
class CStringMbcs : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_nOldCodePage = _getmbcp();
        ASSERT_EQ(0, _setmbcp(932));
    }
    void TearDown() override { _setmbcp(m_nOldCodePage); }
    int m_nOldCodePage;
};

#define SO "\x83\x5C"   // katakana with trail byte '\\'
#define KA "\x83\x41"   // trail byte 'A'
#define KS "\x83\x61"   // trail byte 'a'

TEST_F(CStringMbcs, DoubleByteCharactersStayWhole)
{
    EXPECT_EQ(2, CString(SO "\\x").Find('\\'));
    EXPECT_EQ(2, CString(SO "\\x").Find("\\"));
    EXPECT_EQ(-1, CString("x" SO).ReverseFind('\\'));
    EXPECT_EQ(1, CString("a\\" SO).ReverseFind('\\'));
    EXPECT_EQ(3, CString("x" SO "/").FindOneOf("\\/"));
    EXPECT_EQ(-1, CString(KA).Find('A'));
    EXPECT_EQ(-1, CString(KA).Find("A"));
    EXPECT_EQ(2, CString(KA "A").Find("A"));
    EXPECT_EQ(-1, CString(SO).FindOneOf("\\"));
    EXPECT_STREQ(SO "x", (LPCSTR)CString(SO "x\\").SpanExcluding("\\"));
    EXPECT_STREQ("", (LPCSTR)CString(SO).SpanIncluding("\\\x83"));

    CString s(SO "\\" SO);
    EXPECT_EQ(1, s.Replace('\\', '/'));
    EXPECT_STREQ(SO "/" SO, (LPCSTR)s);
    s = SO "\\" SO "\\";
    EXPECT_EQ(2, s.Remove('\\'));
    EXPECT_STREQ(SO SO, (LPCSTR)s);
    s = "d:\\" SO "\\\\";
    s.TrimRight('\\');
    EXPECT_STREQ("d:\\" SO, (LPCSTR)s);
    s = "d:\\" SO;
    s.TrimRight("\\");
    EXPECT_STREQ("d:\\" SO, (LPCSTR)s);

    s = KS "a" KA "A";
    s.MakeUpper();
    EXPECT_STREQ(KS "A" KA "A", (LPCSTR)s);
    s.MakeLower();
    EXPECT_STREQ(KS "a" KA "a", (LPCSTR)s);
    EXPECT_NE(0, CString(KS).CompareNoCase(KA));
    EXPECT_EQ(0, CString("x" KS).CompareNoCase("X" KS));

    s = SO "ab";
    s.MakeReverse();
    EXPECT_STREQ("ba" SO, (LPCSTR)s);
    // Positions stay byte-based.
    EXPECT_STREQ("\x5C" "a", (LPCSTR)CString(SO "ab").Mid(1, 2));
    EXPECT_EQ(4, CString(SO "ab").GetLength());
}
