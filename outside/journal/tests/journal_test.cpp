#include "journal.h"

#include "VglTestSupport.h"

#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace
{
const char VARIABLE[] = "VGL_JOURNAL_TEST_PATH";

class JournalTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        path = FreshScratchFolder("journal") + "\\calls.log";
        SetEnvironmentVariableA(VARIABLE, path.c_str());
    }
    void TearDown() override { SetEnvironmentVariableA(VARIABLE, NULL); }

    std::string path;
};

TEST_F(JournalTest, LinesGoToTheVariablesFileAsTextLines)
{
    CJournal journal("unused.log", VARIABLE);
    journal.Write("OPEN %s: %u entries", "a.zip", 3u);
    journal.Write("KvuMakeVersion %s -> 0x%lX", "6.150", 0x60096ul);
    journal.Write("100%% %s", "done");
    EXPECT_EQ("OPEN a.zip: 3 entries\r\nKvuMakeVersion 6.150 -> 0x60096\r\n100% done\r\n",
              ReadWholeFile(path));
    EXPECT_FALSE(FileExists(BinFile("unused.log")));
}

TEST_F(JournalTest, StampedLinesBeginWithTheLocalTime)
{
    CJournal journal("unused.log", VARIABLE, CJournal::STAMP);
    journal.Write("CLOSE %s", "a.zip");
    journal.Write("CLOSE %s", "b.zip");
    std::string strText = ReadWholeFile(path);
    EXPECT_TRUE(std::regex_match(strText, std::regex("(\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d CLOSE [ab]\\.zip\r\n){2}")))
        << strText;
}

// Without the variable (none named, unset or empty) the journal lies beside the program.
TEST_F(JournalTest, WithoutTheVariableTheFileLiesBesideTheModule)
{
    const std::string strBeside = BinFile("vgljournal_beside.log");
    struct
    {
        const char* pszVariable;
        const char* pszValue;
    } cases[] = {{NULL, NULL}, {VARIABLE, NULL}, {VARIABLE, ""}};
    for (const auto& c : cases)
    {
        DeleteFileA(strBeside.c_str());
        SetEnvironmentVariableA(VARIABLE, c.pszValue);
        CJournal journal("vgljournal_beside.log", c.pszVariable);
        journal.Write("line");
        EXPECT_EQ("line\r\n", ReadWholeFile(strBeside)) << (c.pszValue ? "empty" : "unset");
    }
    DeleteFileA(strBeside.c_str());
    EXPECT_FALSE(FileExists(path));
}

TEST_F(JournalTest, LongLinesAreWrittenWhole)
{
    CJournal journal("unused.log", VARIABLE);
    for (size_t cch : {2047u, 2048u, 4096u, 20000u})
    {
        DeleteFileA(path.c_str());
        std::string strArgument(cch, 'x');
        journal.Write("EXTRACT %s done", strArgument.c_str());
        EXPECT_EQ("EXTRACT " + strArgument + " done\r\n", ReadWholeFile(path)) << cch;
    }
}

TEST_F(JournalTest, LinesOfConcurrentCallersStayWhole)
{
    CJournal journal("unused.log", VARIABLE, CJournal::STAMP);
    const int THREADS = 4, LINES = 100;
    std::string strPadding(300, '.');
    std::vector<std::thread> threads;
    for (int t = 0; t < THREADS; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < LINES; ++i)
                journal.Write("thread %d line %d %s", t, i, strPadding.c_str());
        });
    for (std::thread& thread : threads)
        thread.join();

    std::string strText = ReadWholeFile(path);
    std::regex line("\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d thread \\d line \\d+ \\.{300}\r\n");
    int nLines = 0;
    for (std::sregex_iterator it(strText.begin(), strText.end(), line), end; it != end; ++it)
        ++nLines;
    EXPECT_EQ(THREADS * LINES, nLines);
    EXPECT_EQ("", std::regex_replace(strText, line, "")) << "stray bytes between lines";
}

TEST_F(JournalTest, KeptOpenFileHoldsBufferedLinesUntilFlushed)
{
    CJournal journal("unused.log", VARIABLE, CJournal::KEEP_OPEN);
    journal.Write("CTL 1 open");
    EXPECT_EQ("CTL 1 open\r\n", ReadWholeFile(path));

    journal.WriteBuffered("CTL 25 scan");
    EXPECT_EQ("CTL 1 open\r\n", ReadWholeFile(path));
    journal.Flush();
    EXPECT_EQ("CTL 1 open\r\nCTL 25 scan\r\n", ReadWholeFile(path));

    journal.WriteBuffered("CTL 25 scan");
    journal.Write("CTL 2 close");
    EXPECT_EQ("CTL 1 open\r\nCTL 25 scan\r\nCTL 25 scan\r\nCTL 2 close\r\n", ReadWholeFile(path));

    // Closed, the file can go; the next line starts a new one.
    journal.Close();
    EXPECT_TRUE(DeleteFileA(path.c_str()));
    journal.Write("ENGINE unloaded");
    EXPECT_EQ("ENGINE unloaded\r\n", ReadWholeFile(path));
    journal.Close();
}

TEST_F(JournalTest, CappedFileStartsAfreshAndKeepsTheOlderLines)
{
    for (DWORD dwFlags : {0ul, (DWORD)CJournal::KEEP_OPEN})
    {
        DeleteFileA(path.c_str());
        DeleteFileA((path + ".old").c_str());
        CJournal journal("unused.log", VARIABLE, dwFlags);
        journal.SetLimit(100);
        for (int i = 0; i < 12; ++i)
            journal.Write("line %02d .........", i);   // 21 bytes with CR LF
        journal.Close();
        std::string strNew = ReadWholeFile(path), strOld = ReadWholeFile(path + ".old");
        EXPECT_LE(strNew.size(), 100u) << dwFlags;
        EXPECT_LE(strOld.size(), 100u) << dwFlags;
        EXPECT_EQ(0u, strNew.find("line 08")) << dwFlags;       // 4 lines a file
        EXPECT_EQ(0u, strOld.find("line 04")) << dwFlags;
        EXPECT_NE(std::string::npos, strNew.find("line 11")) << dwFlags;
    }
}

}  // namespace
