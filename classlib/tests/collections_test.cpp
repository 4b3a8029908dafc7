#include <gtest/gtest.h>
#include "afx.h"
#include "afxtempl.h"
#include <string>

namespace
{
std::string Join(const CStringArray& a)
{
    std::string s;
    for (int i = 0; i < a.GetSize(); i++)
        s += std::string(i ? "," : "") + (LPCSTR)a[i];
    return s;
}

template <class L>
std::string JoinList(const L& list, bool bBackwards = false)
{
    std::string s;
    POSITION pos = bBackwards ? list.GetTailPosition() : list.GetHeadPosition();
    while (pos != NULL)
    {
        CString str = bBackwards ? list.GetPrev(pos) : list.GetNext(pos);
        s += std::string(s.empty() ? "" : ",") + (LPCSTR)str;
    }
    return s;
}
}

TEST(CArrayOps, InsertRemoveGrowKeepStringsIntact)
{
    CStringArray a;
    a.Add("b");
    a.Add("d");
    a.InsertAt(0, "a");
    a.InsertAt(2, "c", 2);
    EXPECT_EQ("a,b,c,c,d", Join(a));
    a.RemoveAt(2);
    EXPECT_EQ("a,b,c,d", Join(a));
    a.RemoveAt(1, 10);
    EXPECT_EQ("a", Join(a));
    a.SetAtGrow(3, "z");
    EXPECT_EQ("a,,,z", Join(a));
    EXPECT_EQ(3, a.GetUpperBound());

    // An element of the array itself, added while the array grows.
    for (int i = 0; i < 100; i++)
        a.Add(a[0]);
    a.SetAtGrow(200, a[3]);
    EXPECT_STREQ("a", (LPCSTR)a[103]);
    EXPECT_STREQ("z", (LPCSTR)a[200]);

    CStringArray b;
    b.Add("x");
    b.Append(b);
    EXPECT_EQ("x,x", Join(b));
    b.Copy(a);
    EXPECT_EQ(201, b.GetSize());
    b.RemoveAll();
    EXPECT_EQ(0, b.GetSize());

    struct Pair { int nDay, nItem; };
    CArray<Pair, Pair&> pairs;
    Pair p = { 2, 7 };
    pairs.Add(p);
    pairs.InsertAt(0, p);
    pairs[0].nItem = 1;
    EXPECT_EQ(2, pairs.GetSize());
    EXPECT_EQ(1, pairs[0].nItem);
    EXPECT_EQ(7, pairs[1].nItem);
}

TEST(CListOps, PositionsWalkBothWays)
{
    CList<CString, const CString&> list;
    list.AddTail(CString("b"));
    list.AddHead(CString("a"));
    POSITION posC = list.AddTail(CString("d"));
    list.InsertBefore(posC, CString("c"));
    list.InsertAfter(posC, CString("e"));
    EXPECT_EQ("a,b,c,d,e", JoinList(list));
    EXPECT_EQ("e,d,c,b,a", JoinList(list, true));

    POSITION pos = list.Find(CString("c"));
    ASSERT_NE(nullptr, pos);
    list.RemoveAt(pos);
    EXPECT_EQ(nullptr, list.Find(CString("c")));
    EXPECT_STREQ("d", (LPCSTR)list.GetAt(list.FindIndex(2)));
    EXPECT_EQ(nullptr, list.FindIndex(4));
    EXPECT_STREQ("a", (LPCSTR)list.RemoveHead());
    EXPECT_STREQ("e", (LPCSTR)list.RemoveTail());
    EXPECT_EQ("b,d", JoinList(list));
    list.RemoveHead();
    list.RemoveHead();
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(nullptr, list.GetHeadPosition());
    EXPECT_EQ(nullptr, list.GetTailPosition());
}

TEST(CStringArraySerialize, WritesCountThenStrings)
{
    struct CMemFileLite : CFile
    {
        std::string data;
        size_t pos = 0;
        UINT Read(void* p, UINT n) override
        {
            n = (UINT)std::min<size_t>(n, data.size() - pos);
            memcpy(p, data.data() + pos, n);
            pos += n;
            return n;
        }
        void Write(const void* p, UINT n) override { data.append((const char*)p, n); }
        void Flush() override {}
        CString GetFilePath() const override { return ""; }
    } file;

    CStringArray a;
    a.Add("ab");
    a.Add("");
    a.Add("c");
    {
        CArchive ar(&file, CArchive::store);
        a.Serialize(ar);
    }
    EXPECT_EQ(std::string("\x03\x00\x02" "ab\x00\x01" "c", 8), file.data);

    CStringArray back;
    back.Add("old");
    CArchive ar(&file, CArchive::load);
    back.Serialize(ar);
    EXPECT_EQ("ab,,c", Join(back));
}
