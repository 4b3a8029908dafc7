#include <gtest/gtest.h>

#include "HotFixList.h"

#include <string>

namespace
{
// "path|name|stamp" of each file, separated by blanks.
std::string describe(const VECTOR_HOTFIXFILE& files)
{
    std::string s;
    for (size_t i = 0; i < files.size(); ++i)
    {
        char szTime[32];
        time_t t = files[i].m_timeServer.GetTime();
        struct tm* ptm = gmtime(&t);
        strftime(szTime, sizeof(szTime), "%Y%m%d%H%M%S", ptm);
        s += (i ? " " : "") + std::string((LPCSTR)files[i].m_strVirtualPath) + "|" +
             (LPCSTR)files[i].m_strFileName + "|" + szTime;
    }
    return s;
}

struct ListCase
{
    const char* text;
    BOOL format;            // the first key is a hot-fix key
    const char* files;
};
}

TEST(HotFixList, ReadsTheFilesOfHotFixLines)
{
    const ListCase cases[] = {
        // Keys are the server paths, values the UTC stamps; CR LF line ends work too.
        {"HotFix/Ksxwin97.exe=20260115103000\nHotFix/Common/KvdShell.dll=20251231235959\n", TRUE,
         "HotFix/Ksxwin97.exe|Ksxwin97.exe|20260115103000 "
         "HotFix/Common/KvdShell.dll|KvdShell.dll|20251231235959"},
        {"hotfix\\a.dll=20260115103000\r\nHOTFIX/b.dll=20260115103001\r\n", TRUE,
         "hotfix\\a.dll|a.dll|20260115103000 HOTFIX/b.dll|b.dll|20260115103001"},
        // A first line without a file announces the form; lines of other keys and empty values
        // name nothing; a key shorter than six characters compares over its length.
        {"HotFix=\nReadme.txt=20260115103000\nHotFix/c.dll=\nHot=20260115103000", TRUE, "Hot|Hot|20260115103000"},
        // %XX escapes in key and value.
        {"HotFix/My%20File.dll=2026%301151030%30", TRUE, "HotFix/My File.dll|My File.dll|20260115103000"},
        // An eight-digit stamp is midnight of that day; a longer one is cut to 14 digits.
        {"HotFix/a.dll=20260115\nHotFix/b.dll=2026011510300099", TRUE,
         "HotFix/a.dll|a.dll|20260115000000 HotFix/b.dll|b.dll|20260115103000"},
        // The first key decides whether the list names any file at all.
        {"Update/a.dll=20260115103000\nHotFix/b.dll=20260115103000", FALSE, ""},
        {"", FALSE, ""},
        {"\n\n", FALSE, ""},
    };
    for (const ListCase& c : cases)
    {
        VECTOR_HOTFIXFILE files;
        EXPECT_EQ(c.format, parseHotFixList(c.text, files)) << c.text;
        EXPECT_EQ(c.files, describe(files)) << c.text;
    }
    VECTOR_HOTFIXFILE files;
    EXPECT_FALSE(parseHotFixList(NULL, files));
}

TEST(HotFixList, SkipsFilesWithoutANameOrAValidStamp)
{
    // Folder-like keys and stamps that are no real time (month 00, day 00, 31 April, 29
    // February of a common year, 24 o'clock, outside 1970-2037, letters) name no file; the
    // rest of the list is still read.
    const char* text =
        "HotFix/=20260115103000\n"
        "HotFix/sub/=20260115103000\n"
        "HotFix/.=20260115103000\n"
        "HotFix/..=20260115103000\n"
        "HotFix/month.dll=2026\n"
        "HotFix/day.dll=202601\n"
        "HotFix/april.dll=20260431000000\n"
        "HotFix/feb.dll=20250229000000\n"
        "HotFix/hour.dll=20260115240000\n"
        "HotFix/minute.dll=20260115106000\n"
        "HotFix/old.dll=19691231235959\n"
        "HotFix/late.dll=20380101000000\n"
        "HotFix/letter.dll=2026011510300x\n"
        "HotFix/blank.dll=20260115103000 \n"
        "HotFix/leap.dll=20240229120000\n"
        "HotFix/first.dll=19700101000000\n"
        "HotFix/last.dll=20371231235959\n";
    VECTOR_HOTFIXFILE files;
    EXPECT_TRUE(parseHotFixList(text, files));
    EXPECT_EQ("HotFix/leap.dll|leap.dll|20240229120000 HotFix/first.dll|first.dll|19700101000000 "
              "HotFix/last.dll|last.dll|20371231235959",
              describe(files));
}

TEST(HotFixList, StampIsReadAsUtcAndAnInvalidOneLeavesTheTimeAlone)
{
    CTime t((time_t)12345);
    ASSERT_TRUE(parseHotFixStamp("20260115103000", t));
    EXPECT_EQ((time_t)1768473000, t.GetTime());
    EXPECT_FALSE(parseHotFixStamp("20261315103000", t));
    EXPECT_FALSE(parseHotFixStamp("", t));
    EXPECT_FALSE(parseHotFixStamp(NULL, t));
    EXPECT_EQ((time_t)1768473000, t.GetTime());
}
