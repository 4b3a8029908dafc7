#include <gtest/gtest.h>

#include "vxpformat.h"
#include "GoldenBytes.h"
#include "VglTestSupport.h"

#include <windows.h>
#include <stdio.h>
#include <string>

namespace {

vxp::Pattern Default(int number)
{
    vxp::Pattern p;
    p.number = number;
    p.version = 100000 + number * 100;
    p.entries = vxp::defaultEntries();
    return p;
}

std::string Folder(const char* name)
{
    CreateDirectoryA(name, NULL);
    return name;
}

}  // namespace

TEST(PatternFormat, ExtensionsAndNumbers)
{
    struct { int number; const char* ext; } cases[] = {{1, "001"}, {999, "999"}, {1000, "A00"}, {1005, "A05"}, {3599, "Z99"}};
    for (const auto& c : cases)
    {
        char ext[4];
        ASSERT_EQ(0, vxp::numberToExtension(c.number, ext));
        EXPECT_STREQ(c.ext, ext);
        EXPECT_EQ(c.number, vxp::extensionToNumber(c.ext));
    }
    char ext[4];
    EXPECT_EQ(-1, vxp::numberToExtension(0, ext));
    EXPECT_EQ(-1, vxp::numberToExtension(3600, ext));
    EXPECT_EQ(1005, vxp::extensionToNumber("a05"));
    for (const char* bad : {"5", "0A5", "00A", "!00", "0001"})
        EXPECT_EQ(-1, vxp::extensionToNumber(bad)) << bad;
    EXPECT_EQ(578, vxp::numberOfFile("C:\\x.y\\VXP$SIG.578"));
    EXPECT_EQ(-1, vxp::numberOfFile("C:\\x.y\\VXPSIG"));
}

TEST(PatternFormat, WrittenPatternReadsBackAndEveryBlockIsChecked)
{
    std::string path = Folder("fmt1") + "\\VXP$SIG.578";
    ASSERT_EQ(0, vxp::writePattern(path.c_str(), Default(578)));
    vxp::Pattern read;
    ASSERT_EQ(578, vxp::readPattern(path.c_str(), &read));
    EXPECT_EQ(157800u, read.version);
    ASSERT_EQ(4u, read.entries.size());
    for (size_t i = 0; i < 4; ++i)
    {
        EXPECT_EQ(vxp::defaultEntries()[i].name, read.entries[i].name);
        EXPECT_EQ(vxp::defaultEntries()[i].bytes, read.entries[i].bytes);
        EXPECT_EQ(vxp::defaultEntries()[i].kinds, read.entries[i].kinds);
        EXPECT_EQ(vxp::defaultEntries()[i].cleanable, read.entries[i].cleanable);
    }

    // Record 1: the 14-byte header and a 12-byte information block; record 2 follows at 26.
    std::string good = ReadWholeFile(path);
    // A scan of the disk must not find the pattern file itself infected.
    for (const vxp::Entry& e : vxp::defaultEntries())
        EXPECT_EQ(std::string::npos, good.find(e.bytes)) << e.name;
    struct { const char* what; size_t at; char value; size_t keep; int result; } damage[] = {
        {"bit in a signature", 26 + 14 + 20, 0, 0, -1},
        {"foreign pattern number", 26 + 10, 0x43, 0, -3},
        {"refused block kind", 26 + 1, char(0xA8), 0, -4},
        {"file ends inside a block", 0, 0, 100, -96},
        {"empty file", 0, 0, 1, -96},
    };
    for (const auto& d : damage)
    {
        std::string bad = good;
        if (d.keep)
            bad.resize(d.keep - 1);
        else if (d.value)
            bad[d.at] = d.value;
        else
            bad[d.at] ^= 1;
        WriteWholeFile(path, bad);
        EXPECT_EQ(d.result, vxp::readPattern(path.c_str(), NULL)) << d.what;
    }
}

TEST(PatternFormat, NewestPatternIsFoundWithoutChecking)
{
    std::string folder = Folder("fmt2");
    for (int n : {100, 101, 102})
    {
        char ext[4];
        vxp::numberToExtension(n, ext);
        ASSERT_EQ(0, vxp::writePattern((folder + "\\VXP$SIG." + ext).c_str(), Default(n)));
    }
    WriteWholeFile(folder + "\\VXP$SIG.1000", "not a pattern");
    std::string newest;
    EXPECT_EQ(102, vxp::findNewestPattern(folder.c_str(), &newest));
    EXPECT_EQ(folder + "\\VXP$SIG.102", newest);
    EXPECT_EQ(-2, vxp::findNewestPattern(Folder("fmt3").c_str(), &newest));
}

TEST(BackupFormat, HeaderIsComplementedAndNamesTheOriginal)
{
    std::string path = Folder("fmt4") + "\\x.bak";
    vxp::BackupInfo info;
    info.folder = "C:\\Data";
    info.name = "file.com";
    info.text = "EICAR-Test-File";
    info.value4 = 7;
    std::string body("MZ\x00\x01payload", 11);
    ASSERT_EQ(0, vxp::writeBackup(path.c_str(), info, body));
    std::string raw = ReadWholeFile(path);
    ASSERT_GT(raw.size(), 10u);
    EXPECT_EQ(char(~'V'), raw[0]);
    EXPECT_EQ(std::string::npos, raw.find("payload"));

    vxp::BackupInfo read;
    std::string readBody;
    ASSERT_EQ(0, vxp::readBackup(path.c_str(), &read, &readBody));
    EXPECT_EQ("C:\\Data", read.folder);
    EXPECT_EQ("file.com", read.name);
    EXPECT_EQ("EICAR-Test-File", read.text);
    EXPECT_EQ(7u, read.value4);
    EXPECT_EQ(0u, read.wide);
    EXPECT_EQ(body, readBody);

    WriteWholeFile(path, "plain text file");
    EXPECT_EQ(-1, vxp::readBackup(path.c_str(), &read, NULL));
}

namespace {

// One record with a correct checksum: header, then the block.
std::string Record(uint32_t tag, int count, int entrySize, int number, const std::string& block)
{
    std::string r(14, '\0');
    uint32_t crc = vxp::crc32(0, block.data(), block.size());
    memcpy(&r[0], &tag, 4);
    memcpy(&r[4], &count, 2);
    memcpy(&r[6], &crc, 4);
    memcpy(&r[10], &number, 2);
    memcpy(&r[12], &entrySize, 2);
    return r + block;
}

}  // namespace

TEST(PatternFormat, LengthsInsideCheckedBlocksStayWithinTheBlock)
{
    std::string path = Folder("fmt5") + "\\VXP$SIG.578";
    // An information item whose length wraps around, and a block whose negative count and entry
    // size multiply to a positive length.
    std::string wraps("\x01\0\0\0\xF8\xFF\xFF\xFF\x07\0\0\0", 12);
    std::string sig = vxp::defaultEntries()[0].bytes, entry(128, '\0');
    memcpy(&entry[0], "Sig", 3);
    entry[16] = 1;
    entry[18] = char(sig.size());
    memcpy(&entry[20], sig.data(), sig.size());
    struct { const char* what; std::string file; int result; size_t entries; } cases[] = {
        {"item length wraps", Record(vxp::TAG_INFO, 1, 12, 578, wraps) + Record(vxp::TAG_SIGNATURES, 1, 128, 578, entry),
         578, 1},
        {"negative count and size", Record(vxp::TAG_INFO, -1, -12, 578, wraps), -96, 0},
    };
    for (const auto& c : cases)
    {
        WriteWholeFile(path, c.file);
        vxp::Pattern read;
        EXPECT_EQ(c.result, vxp::readPattern(path.c_str(), &read)) << c.what;
        EXPECT_EQ(c.entries, read.entries.size()) << c.what;
    }
}

namespace {

// A pattern of one entry: the information record (tag | count | CRC-32 | number | entry size |
// item type 1, length 4, version), then the signature record and its 128-byte entry (name |
// kinds | cleanable | length | masked bytes, zeros to the end).
const char GOLDEN_PATTERN_INFO[] = "1ad1bd1a 0100 0602332d 4202 0c00 | 01000000 04000000 69680200";
const char GOLDEN_PATTERN_SIGNATURES[] = "1ac5bd1a 0100 28976f6f 4202 8000 |"
                                         " 56676c2e476f6c64656e000000000000 05 01 0400 e2af5712";

// A backup of "C:\D\a.com" with its body "MZ", before every byte is complemented: "VSBF" |
// 1 | six items (type | length | data): folder, name, further text, values 4, 5 and 6 | body.
const char GOLDEN_BACKUP[] = "56534246 01000000 0600 | 01 0500 433a5c4400 | 02 0600 612e636f6d00 |"
                             " 03 0600 454943415200 | 04 0400 07000000 | 05 0400 00000000 | 06 0400 04030201 | 4d5a";

std::string Complemented(std::string bytes)
{
    for (char& c : bytes)
        c = char(~c);
    return bytes;
}

}  // namespace

// The bytes of pattern files as both targets write and read them.
TEST(PatternFormat, FileBytesAreTheSameOnBothTargets)
{
    vxp::Entry entry;
    entry.name = "Vgl.Golden";
    entry.kinds = vxp::KIND_FILE | vxp::KIND_MACRO;
    entry.cleanable = true;
    entry.bytes = "GOLD";
    struct { const char* what; std::vector<vxp::Entry> entries; std::string golden; } cases[] = {
        {"one entry", {entry}, Unhex(GOLDEN_PATTERN_INFO) + Unhex(GOLDEN_PATTERN_SIGNATURES) + std::string(104, '\0')},
        {"no entry", {}, Unhex(GOLDEN_PATTERN_INFO)},
    };
    std::string path = Folder("fmt6") + "\\VXP$SIG.578";
    for (const auto& c : cases)
    {
        vxp::Pattern pattern;
        pattern.number = 578;
        pattern.version = 157801;
        pattern.entries = c.entries;
        ASSERT_EQ(0, vxp::writePattern(path.c_str(), pattern)) << c.what;
        EXPECT_EQ(Hex(c.golden), Hex(ReadWholeFile(path))) << c.what;

        WriteWholeFile(path, c.golden);
        vxp::Pattern read;
        ASSERT_EQ(578, vxp::readPattern(path.c_str(), &read)) << c.what;
        EXPECT_EQ(157801u, read.version) << c.what;
        ASSERT_EQ(c.entries.size(), read.entries.size()) << c.what;
        for (const vxp::Entry& e : read.entries)
        {
            EXPECT_EQ("Vgl.Golden", e.name);
            EXPECT_EQ(unsigned(vxp::KIND_FILE | vxp::KIND_MACRO), e.kinds);
            EXPECT_TRUE(e.cleanable);
            EXPECT_EQ("GOLD", e.bytes);
        }
    }
}

// The bytes of backup files as both targets write and read them.
TEST(BackupFormat, FileBytesAreTheSameOnBothTargets)
{
    vxp::BackupInfo info;
    info.folder = "C:\\D";
    info.name = "a.com";
    info.text = "EICAR";
    info.value4 = 7;
    info.value6 = 0x01020304;
    std::string golden = Complemented(Unhex(GOLDEN_BACKUP));
    std::string header = golden.substr(0, golden.size() - 2);
    struct { const char* what; std::string body; std::string golden; } cases[] = {
        {"with a body", "MZ", golden},
        {"empty body", "", header},
    };
    std::string path = Folder("fmt7") + "\\golden.bak";
    for (const auto& c : cases)
    {
        EXPECT_EQ(Hex(header), Hex(vxp::backupHeader(info))) << c.what;
        ASSERT_EQ(0, vxp::writeBackup(path.c_str(), info, c.body)) << c.what;
        EXPECT_EQ(Hex(c.golden), Hex(ReadWholeFile(path))) << c.what;

        WriteWholeFile(path, c.golden);
        vxp::BackupInfo read;
        std::string body;
        ASSERT_EQ(0, vxp::readBackup(path.c_str(), &read, &body)) << c.what;
        EXPECT_EQ("C:\\D", read.folder) << c.what;
        EXPECT_EQ("a.com", read.name) << c.what;
        EXPECT_EQ("EICAR", read.text) << c.what;
        EXPECT_EQ(7u, read.value4) << c.what;
        EXPECT_EQ(0u, read.wide) << c.what;
        EXPECT_EQ(0x01020304u, read.value6) << c.what;
        EXPECT_EQ(c.body, body) << c.what;
    }
}
