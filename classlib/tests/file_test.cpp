#include <gtest/gtest.h>
#include "afx.h"
#include "afxfile.h"
#include "VglTestSupport.h"

#include <string>
#include <vector>

namespace {

std::string ReadRaw(const char* name) { return ReadWholeFile(name, "<missing>"); }

// Opens through the throwing constructor; returns the exception's cause or -1 when it opened.
int CauseOfOpen(const char* name, UINT flags, LONG* pOsError = NULL, CString* pName = NULL)
{
    try {
        CFile f(name, flags);
        return -1;
    } catch (CFileException* e) {
        int cause = e->m_cause;
        if (pOsError)
            *pOsError = e->m_lOsError;
        if (pName)
            *pName = e->m_strFileName;
        e->Delete();
        return cause;
    }
}

} // namespace

TEST(File, CreateTruncateAndNoTruncate)
{
    WriteWholeFile("modes.bin", "old contents");
    {
        CFile f("modes.bin", CFile::modeCreate | CFile::modeNoTruncate | CFile::modeReadWrite);
        EXPECT_EQ(12u, f.GetLength());
        f.SeekToEnd();
        f.Write("+", 1);
    }
    EXPECT_EQ("old contents+", ReadRaw("modes.bin"));
    {
        CFile f("modes.bin", CFile::modeCreate | CFile::modeWrite);
        EXPECT_EQ(0u, f.GetLength());
        f.Write("new", 3);
    }
    EXPECT_EQ("new", ReadRaw("modes.bin"));

    // modeNoTruncate also creates a missing file.
    DeleteFileA("fresh.bin");
    CFile f;
    ASSERT_TRUE(f.Open("fresh.bin", CFile::modeCreate | CFile::modeNoTruncate | CFile::modeWrite));
    EXPECT_EQ(0u, f.GetLength());
}

TEST(File, ReadWriteSeekLength)
{
    CFile f("rw.bin", CFile::modeCreate | CFile::modeReadWrite | CFile::typeBinary);
    f.Write("0123456789", 10);
    EXPECT_EQ(10u, f.GetPosition());
    EXPECT_EQ(4, f.Seek(4, CFile::begin));
    char buf[8] = {};
    EXPECT_EQ(3u, f.Read(buf, 3));
    EXPECT_STREQ("456", buf);
    EXPECT_EQ(9, f.Seek(-1, CFile::end));
    EXPECT_EQ(1u, f.Read(buf, 8)); // short read at the end, no exception
    EXPECT_EQ(0u, f.Read(buf, 8));
    EXPECT_EQ(10u, f.GetLength());
    f.SetLength(6);
    EXPECT_EQ(6u, f.GetLength());
    f.SeekToBegin();
    EXPECT_EQ(0u, f.GetPosition());
    f.Flush();
    f.Close();
    EXPECT_EQ(CFile::hFileNull, f.m_hFile);
    EXPECT_EQ("012345", ReadRaw("rw.bin"));
}

TEST(File, PathAndName)
{
    CFile f("names.dat", CFile::modeCreate | CFile::modeWrite);
    char cwd[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, cwd);
    EXPECT_STREQ((std::string(cwd) + "\\names.dat").c_str(), (LPCSTR)f.GetFilePath());
    EXPECT_STREQ("names.dat", (LPCSTR)f.GetFileName());
    EXPECT_STREQ("names", (LPCSTR)f.GetFileTitle());
}

TEST(File, SharingModes)
{
    struct Case { UINT first; UINT second; bool secondOpens; };
    const Case cases[] = {
        { CFile::modeRead | CFile::shareExclusive, CFile::modeRead | CFile::shareDenyNone, false },
        { CFile::modeRead | CFile::shareCompat, CFile::modeRead | CFile::shareDenyNone, false },
        { CFile::modeRead | CFile::shareDenyWrite, CFile::modeRead | CFile::shareDenyNone, true },
        { CFile::modeRead | CFile::shareDenyWrite, CFile::modeWrite | CFile::shareDenyNone, false },
        { CFile::modeRead | CFile::shareDenyRead, CFile::modeRead | CFile::shareDenyNone, false },
        { CFile::modeRead | CFile::shareDenyRead, CFile::modeWrite | CFile::shareDenyNone, true },
        { CFile::modeReadWrite | CFile::shareDenyNone, CFile::modeReadWrite | CFile::shareDenyNone, true },
        // The second open's own share mode must allow the first's access.
        { CFile::modeWrite | CFile::shareDenyNone, CFile::modeRead | CFile::shareDenyWrite, false },
    };
    WriteWholeFile("shared.bin", "x");
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        CFile first("shared.bin", cases[i].first);
        CFileException e;
        CFile second;
        BOOL opened = second.Open("shared.bin", cases[i].second, &e);
        EXPECT_EQ(cases[i].secondOpens, !!opened) << "case " << i;
        if (!opened) {
            EXPECT_EQ(CFileException::sharingViolation, e.m_cause) << "case " << i;
            EXPECT_EQ(ERROR_SHARING_VIOLATION, e.m_lOsError) << "case " << i;
            EXPECT_EQ(CFile::hFileNull, second.m_hFile);
        }
    }
}

TEST(File, OpenErrorsThrowTheirCause)
{
    DeleteFileA("missing.bin");
    LONG osError = 0;
    CString name;
    EXPECT_EQ(CFileException::fileNotFound, CauseOfOpen("missing.bin", CFile::modeRead, &osError, &name));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, osError);
    EXPECT_STREQ("missing.bin", (LPCSTR)name);

    EXPECT_EQ(CFileException::badPath, CauseOfOpen("no_such_dir\\x.bin", CFile::modeRead, &osError));
    EXPECT_EQ(ERROR_PATH_NOT_FOUND, osError);

    // A folder cannot be opened as a file.
    CreateDirectoryA("a_folder", NULL);
    EXPECT_EQ(CFileException::accessDenied, CauseOfOpen("a_folder", CFile::modeRead, &osError));
    EXPECT_EQ(ERROR_ACCESS_DENIED, osError);
    EXPECT_EQ(CFileException::accessDenied, CauseOfOpen("a_folder", CFile::modeCreate | CFile::modeWrite));
}

TEST(File, RemoveRenameThrowOnFailure)
{
    WriteWholeFile("old.bin", "abc");
    DeleteFileA("new.bin");
    CFile::Rename("old.bin", "new.bin");
    EXPECT_EQ("abc", ReadRaw("new.bin"));
    CFile::Remove("new.bin");
    EXPECT_EQ("<missing>", ReadRaw("new.bin"));
    try {
        CFile::Remove("new.bin");
        ADD_FAILURE() << "no exception";
    } catch (CFileException* e) {
        EXPECT_EQ(CFileException::fileNotFound, e->m_cause);
        e->Delete();
    }
}

TEST(File, StatusTimesRoundTrip)
{
    CFileStatus st;
    DeleteFileA("status.bin");
    EXPECT_FALSE(CFile::GetStatus("status.bin", st));
    EXPECT_FALSE(CFile::GetStatus("*.bin", st));

    WriteWholeFile("status.bin", "12345");
    ASSERT_TRUE(CFile::GetStatus("status.bin", st));
    EXPECT_EQ(5, st.m_size);
    EXPECT_NE(0, st.m_mtime.GetTime());
    EXPECT_NE(0, st.m_ctime.GetTime());
    EXPECT_NE(std::string::npos, std::string(st.m_szFullName).find("\\status.bin"));

    CTime when(2001, 7, 15, 10, 20, 30);
    CTime created(2000, 1, 2, 3, 4, 6);
    st.m_mtime = when;
    st.m_atime = when;
    st.m_ctime = created;
    st.m_attribute = CFile::readOnly;
    CFile::SetStatus("status.bin", st);

    CFileStatus back;
    ASSERT_TRUE(CFile::GetStatus("status.bin", back));
    EXPECT_EQ(when.GetTime(), back.m_mtime.GetTime());
    EXPECT_EQ(when.GetTime(), back.m_atime.GetTime());
    EXPECT_EQ(CFile::readOnly, back.m_attribute & CFile::readOnly);

    // A read-only file still takes new times.
    back.m_mtime = created;
    back.m_attribute = CFile::normal;
    CFile::SetStatus("status.bin", back);
    ASSERT_TRUE(CFile::GetStatus("status.bin", st));
    EXPECT_EQ(created.GetTime(), st.m_mtime.GetTime());
    EXPECT_EQ(0, st.m_attribute & CFile::readOnly);
}

TEST(StdioFile, ReadsLines)
{
    struct Case { const char* bytes; UINT flags; std::vector<std::string> lines; };
    const std::string longLine(700, 'x');
    const Case cases[] = {
        { "one\r\ntwo\r\n\r\nlast", 0, { "one", "two", "", "last" } },
        { "unix\nend\n", CFile::typeText, { "unix", "end" } },
        { "cr\ralone\r\n", 0, { "cr\ralone" } },
        { "bin\r\nmode\r\n", CFile::typeBinary, { "bin\r", "mode\r" } },
        { "", 0, {} },
        { "\r\n", 0, { "" } },
    };
    for (const Case& c : cases) {
        WriteWholeFile("lines.txt", c.bytes);
        CStdioFile f("lines.txt", CFile::modeRead | c.flags);
        CString line;
        std::vector<std::string> got;
        while (f.ReadString(line))
            got.push_back((LPCSTR)line);
        EXPECT_EQ(c.lines, got) << c.bytes;
        EXPECT_TRUE(line.IsEmpty());
    }

    // A line longer than any internal buffer, last and without an end.
    WriteWholeFile("lines.txt", "a\r\n" + longLine);
    CStdioFile f("lines.txt", CFile::modeRead);
    CString line;
    ASSERT_TRUE(f.ReadString(line));
    EXPECT_STREQ("a", (LPCSTR)line);
    ASSERT_TRUE(f.ReadString(line));
    EXPECT_EQ(longLine, (LPCSTR)line);
    EXPECT_FALSE(f.ReadString(line));
}

TEST(StdioFile, ReadsIntoBuffer)
{
    WriteWholeFile("buf.txt", "abc\r\ndefghij\r\nk");
    CStdioFile f("buf.txt", CFile::modeRead | CFile::typeText);
    char buf[6];
    ASSERT_NE(nullptr, f.ReadString(buf, sizeof(buf)));
    EXPECT_STREQ("abc\n", buf);
    ASSERT_NE(nullptr, f.ReadString(buf, sizeof(buf)));
    EXPECT_STREQ("defgh", buf); // cut at nMax - 1
    ASSERT_NE(nullptr, f.ReadString(buf, sizeof(buf)));
    EXPECT_STREQ("ij\n", buf);
    EXPECT_EQ(14u, f.GetPosition());
    ASSERT_NE(nullptr, f.ReadString(buf, sizeof(buf)));
    EXPECT_STREQ("k", buf);
    EXPECT_EQ(nullptr, f.ReadString(buf, sizeof(buf)));
}

TEST(StdioFile, WritesLinesAndMixesWithSeek)
{
    {
        CStdioFile f("out.txt", CFile::modeCreate | CFile::modeWrite);
        f.WriteString("first\nsecond\n");
        f.WriteString("third");
    }
    EXPECT_EQ("first\r\nsecond\r\nthird", ReadRaw("out.txt"));
    {
        CStdioFile f("out.bin", CFile::modeCreate | CFile::modeWrite | CFile::typeBinary);
        f.WriteString("a\nb");
    }
    EXPECT_EQ("a\nb", ReadRaw("out.bin"));

    // Writing after a read lands where the reader stands, not after the read-ahead.
    CStdioFile f("out.txt", CFile::modeReadWrite);
    CString line;
    ASSERT_TRUE(f.ReadString(line));
    EXPECT_EQ(7u, f.GetPosition());
    f.WriteString("SECOND");
    f.Close();
    EXPECT_EQ("first\r\nSECOND\r\nthird", ReadRaw("out.txt"));
}
