// The virus encyclopaedia: engine names joined with the description file's sections, the
// sorted lists by kind, look-ups and descriptions.
#include <gtest/gtest.h>

#include "Vexor.h"
#include "VirusEncyclopedia.h"
#include "VglTestSupport.h"

#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>

namespace {

// An engine that reports a fixed name list in the engine's record layout.
class CNameListVexor : public CVexor
{
public:
    std::vector<std::pair<std::string, DWORD>> m_names;

    BOOL GetVirusCount(int* pnCount) override
    {
        *pnCount = (int)m_names.size();
        return TRUE;
    }
    int GetVirusNameList(LPVOID pBuffer) override
    {
        BYTE* p = (BYTE*)pBuffer;
        DWORD dwCapacity = ((DWORD*)p)[1];
        int n = 0;
        for (; n < (int)m_names.size() && (DWORD)n < dwCapacity; ++n)
        {
            BYTE* rec = p + 8 + 29 * n;
            memset(rec, 0xCC, 29);
            memcpy(rec + 4, &m_names[n].second, 4);
            memset(rec + 12, 0, 17);
            memcpy(rec + 12, m_names[n].first.data(), std::min<size_t>(17, m_names[n].first.size()));
        }
        return n;
    }
};

std::vector<std::string> Names(const CVirusEntryList& list)
{
    std::vector<std::string> v;
    for (const SVirusEntry* p : list)
        v.push_back((LPCSTR)p->strName);
    return v;
}

// A hidden list box to show descriptions in.
class ListBoxHost
{
public:
    ListBoxHost()
    {
        m_hParent = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 100, 100, NULL, NULL, NULL, NULL);
        HWND hList = CreateWindowA("LISTBOX", "", WS_CHILD, 0, 0, 90, 90, m_hParent, NULL, NULL, NULL);
        m_list.Attach(hList);
    }
    ~ListBoxHost()
    {
        m_list.Detach();
        DestroyWindow(m_hParent);
    }
    std::vector<std::string> Take()
    {
        std::vector<std::string> v;
        for (int i = 0; i < m_list.GetCount(); ++i)
        {
            CString s;
            m_list.GetText(i, s);
            v.push_back((LPCSTR)s);
        }
        m_list.ResetContent();
        return v;
    }
    CListBox m_list;

private:
    HWND m_hParent;
};

class Encyclopedia : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_vexor.m_names = {{"Stem-12", 0x40},       {"Star*", 0x80},      {"Alpha-Beta", 0x40},
                           {"AVeryLongVirusNam", 0x100}, {"Twin-2", 0x40}, {"Twin-1", 0x40},
                           {"Macro.X", 0x80000040}, {"boot.b", 0x80},     {"Stemmer", 0x40}};
        m_book.SetSource(&m_vexor, TestDataFile("Common.Vir").c_str());
    }
    CNameListVexor m_vexor;
    CVirusEncyclopedia m_book;
};

TEST_F(Encyclopedia, SectionsMatchEngineNames)
{
    using V = std::vector<std::string>;
    // Digits after the last '-' and a trailing '*' are left out; other names need the whole
    // name; a section names its first 17 characters; of two fitting names only the first
    // in order gets the section.
    EXPECT_EQ((V{"Alpha-Beta", "AVeryLongVirusNam", "Star*", "Stem-12", "Twin-1"}), Names(m_book.GetDescribedList()));
    EXPECT_EQ(5, m_book.GetDescribedCount());
    EXPECT_EQ((V{"Alpha-Beta", "AVeryLongVirusNam", "boot.b", "Macro.X", "Star*", "Stem-12", "Stemmer", "Twin-1",
                 "Twin-2"}),
              Names(m_book.GetAllList()));
    EXPECT_EQ((V{"boot.b", "Star*"}), Names(m_book.GetBootVirusList()));
    EXPECT_EQ((V{"Alpha-Beta", "Macro.X", "Stem-12", "Stemmer", "Twin-1", "Twin-2"}), Names(m_book.GetFileVirusList()));
    EXPECT_EQ((V{"Macro.X"}), Names(m_book.GetMacroVirusList()));

    ListBoxHost host;
    const CVirusEntryList& all = m_book.GetAllList();
    struct { const char* name; V lines; } cases[] = {
        {"Stem-12", {"Stem family: numbered variants.", "", "Second line."}},
        {"Star*", {"Star description."}},
        {"Alpha-Beta", {"Alpha-Beta description."}},
        {"AVeryLongVirusNam", {"Long section name: its first 17 characters count."}},
        {"Twin-1", {"Twin description."}},
        {"Twin-2", {}},
        {"Stemmer", {}},
    };
    for (const auto& c : cases)
    {
        const SVirusEntry* pEntry = all[m_book.FindVirus(c.name)];
        ASSERT_STREQ(c.name, pEntry->strName);
        m_book.ShowDescription(pEntry, host.m_list);
        EXPECT_EQ(c.lines, host.Take()) << c.name;
    }

    struct { DWORD flags; BOOL found; V lines; } kinds[] = {
        {0x80000040, TRUE, {"File viruses attach to programs."}},
        {0x80000000, TRUE, {"Macro viruses live in documents."}},
        {0x80, TRUE, {"Boot viruses hide in the boot sector."}},
        {0x100, FALSE, {}},
    };
    for (const auto& k : kinds)
    {
        EXPECT_EQ(k.found, m_book.ShowKindDescription(k.flags, host.m_list)) << k.flags;
        EXPECT_EQ(k.lines, host.Take()) << k.flags;
    }
}

TEST_F(Encyclopedia, ListsLookUpsAndListBoxes)
{
    struct { const char* name; int pos; } finds[] = {
        {"alpha-beta", 0}, {"", 0}, {"B", 2}, {"boot.b", 2}, {"Stem-13", 6}, {"Twin-2", 8}, {"zzz", -1}};
    for (auto f : finds)
        EXPECT_EQ(f.pos, m_book.FindVirus(f.name)) << f.name;

    // Only the list asked for last is filled.
    const CVirusEntryList& all = m_book.GetAllList();
    EXPECT_EQ(9u, all.size());
    m_book.GetBootVirusList();
    EXPECT_TRUE(all.empty());
    EXPECT_EQ(1, m_book.FindVirus("AVeryLongVirusNam"));  // the all-names list is built again

    ListBoxHost host;
    const CVirusEntryList& list = m_book.GetBootVirusList();
    FillVirusListBox(host.m_list, list);
    ASSERT_EQ(2, host.m_list.GetCount());
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(list[i], host.m_list.GetItemDataPtr(i));
    EXPECT_EQ((std::vector<std::string>{"boot.b", "Star*"}), host.Take());
}

TEST(EncyclopediaSource, MissingFileThrowsAndEmptyEngineLoads)
{
    CNameListVexor vexor;
    CVirusEncyclopedia book;
    book.SetSource(&vexor, TestDataFile("Missing.Vir").c_str());
    try
    {
        book.GetAllList();
        ADD_FAILURE() << "no exception";
    }
    catch (CFileException* e)
    {
        EXPECT_EQ(CFileException::fileNotFound, e->m_cause);
        EXPECT_STREQ(TestDataFile("Missing.Vir").c_str(), e->m_strFileName);
        e->Delete();
    }

    CVirusEncyclopedia empty;
    empty.SetSource(&vexor, TestDataFile("Common.Vir").c_str());
    EXPECT_TRUE(empty.GetAllList().empty());
    EXPECT_EQ(-1, empty.FindVirus("A"));
    ListBoxHost host;
    EXPECT_TRUE(empty.ShowKindDescription(0x80, host.m_list));
    EXPECT_EQ((std::vector<std::string>{"Boot viruses hide in the boot sector."}), host.Take());
}

// The names of the running engine, with its default pattern.
TEST(EncyclopediaSource, RunningEngineNames)
{
    std::string driver = ScratchFile("encyclopedia_driver");
    CreateDirectoryA(driver.c_str(), NULL);
    for (const char* f : {"filter32.vxd", "vexor32.vxd", "VXP$SIG.578"})
        ASSERT_TRUE(CopyFileA((BinFolder() + "\\" + f).c_str(), (driver + "\\" + f).c_str(), FALSE)) << f;
    WritePrivateProfileStringA("Watch", "FixedDrives", "0", (driver + "\\filter32.ini").c_str());
    CVexorVXD vexor;
    int nResult = -1;
    ASSERT_TRUE(vexor.Initialize(NULL, [](LPVOID) {}, driver.c_str(), &nResult));

    CVirusEncyclopedia book;
    book.SetSource(&vexor, TestDataFile("Common.Vir").c_str());
    using V = std::vector<std::string>;
    EXPECT_EQ((V{"EICAR-Test-File"}), Names(book.GetDescribedList()));
    EXPECT_EQ((V{"Vgl.Test.Clean"}), Names(book.GetMacroVirusList()));
    EXPECT_EQ((V{"Vgl.Test.Boot"}), Names(book.GetBootVirusList()));
    EXPECT_EQ((V{"EICAR-Test-File", "Vgl.Test.Boot", "Vgl.Test.Clean", "Vgl.Test.Memory"}), Names(book.GetAllList()));
    vexor.Uninitialize();
}

}  // namespace
