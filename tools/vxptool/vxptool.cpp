// vxptool: writes pattern files and "VSBF" backup files, intact or deliberately
// damaged, for tests and the demo server.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>

#include "vxpformat.h"

namespace {

enum { EXIT_OK = 0, EXIT_FAILED = 1, EXIT_USAGE = 2 };

const char s_szUsage[] =
    "usage: vxptool COMMAND [ARGUMENTS]\n"
    "\n"
    "  pattern FOLDER NUMBER [OPTIONS]   write FOLDER\\VXP$SIG.<extension of NUMBER>\n"
    "      --version V     internal version (default 100000 + NUMBER x 100)\n"
    "      --no-info       no information block\n"
    "      --extra N       N further generated file signatures\n"
    "      --table         add a table block whose checksum covers only its prefix\n"
    "      --damage KIND   crc: the checksum of the first block after the information\n"
    "                      block off by one bit\n"
    "                      short: the file ends inside the second record header\n"
    "                      negsize: negative entry size in the first record\n"
    "                      number: the second record carries another pattern number\n"
    "                      refused: a block of a kind the check refuses is appended\n"
    "  backup DEST [OPTIONS]             write a backup file\n"
    "      --folder F --name N --text T  the folder, file name and further text\n"
    "      --value4 N --value6 N         the two 32-bit values\n"
    "      --body FILE     the backed-up file's bytes\n"
    "      --utf16         texts in UTF-16 (and the flag saying so)\n"
    "      --damage KIND   magic: a wrong magic; short: the file ends inside an item\n"
    "\n"
    "The path written goes to standard output.\n"
    "Exit code: 0 success, 1 failure, 2 usage.\n";

const uint32_t TAG_TABLE = 0x1ABDA11A;
const uint32_t TAG_REFUSED = 0x1ABDA81A;
const size_t RECORD_HEADER = 14;

std::string WinPath(std::string s)
{
    for (size_t i = 0; i < s.size(); i++)
        if (s[i] == '/')
            s[i] = '\\';
    return s;
}

bool ReadFileBytes(const std::string& path, std::string* pData)
{
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return false;
    pData->clear();
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), f)) > 0)
        pData->append(buf, n);
    bool ok = !ferror(f);
    fclose(f);
    return ok;
}

bool WriteFileBytes(const std::string& path, const std::string& data)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = fwrite(data.data(), 1, data.size(), f) == data.size();
    ok = fclose(f) == 0 && ok;
    return ok;
}

void Put16(std::string& s, uint16_t v)
{
    s.push_back(char(v & 0xFF));
    s.push_back(char(v >> 8));
}

void Put32(std::string& s, uint32_t v)
{
    Put16(s, uint16_t(v & 0xFFFF));
    Put16(s, uint16_t(v >> 16));
}

void Set16(std::string& s, size_t at, uint16_t v)
{
    s[at] = char(v & 0xFF);
    s[at + 1] = char(v >> 8);
}

uint16_t Get16(const std::string& s, size_t at)
{
    return uint16_t((unsigned char)s[at] | ((unsigned char)s[at + 1] << 8));
}

uint32_t Get32(const std::string& s, size_t at)
{
    return Get16(s, at) | (uint32_t(Get16(s, at + 2)) << 16);
}

// One record: its 14-byte header followed by its block.
std::string Record(uint32_t tag, int count, int entrySize, int number, const std::string& block,
                   uint32_t crc)
{
    std::string r;
    Put32(r, tag);
    Put16(r, uint16_t(count));
    Put32(r, crc);
    Put16(r, uint16_t(number));
    Put16(r, uint16_t(entrySize));
    return r + block;
}

// Splits a well-formed pattern file into its records.
bool SplitRecords(const std::string& data, std::vector<std::string>* pRecords)
{
    pRecords->clear();
    size_t pos = 0;
    while (pos < data.size()) {
        if (data.size() - pos < RECORD_HEADER)
            return false;
        long length = long(int16_t(Get16(data, pos + 4))) * int16_t(Get16(data, pos + 12));
        if (length < 0 || size_t(length) > data.size() - pos - RECORD_HEADER)
            return false;
        pRecords->push_back(data.substr(pos, RECORD_HEADER + size_t(length)));
        pos += RECORD_HEADER + size_t(length);
    }
    return true;
}

// A table block: 26-byte header, the covered part its counts call for, then an
// uncovered tail.
std::string TableRecord(int number)
{
    std::string block("VGLTABLE\0\0", 10);
    const uint16_t counts[] = { 1, 2, 3, 0, 0, 0 };   // offsets 10..20
    for (uint16_t c : counts)
        Put16(block, c);
    Put16(block, 2);                                   // offset 22: 8-byte units
    Put16(block, 3);                                   // offset 24: 2-byte units
    size_t covered = 4 * (1 + 2 + 3) + 8 * 2 + 2 * 3 + 512;
    for (size_t i = 0; i < covered; i++)
        block.push_back(char(i * 7 + 1));
    uint32_t crc = vxp::crc32(0, block.data(), block.size());
    block.append(100, '\xA5');
    return Record(TAG_TABLE, 1, int(block.size()), number, block, crc);
}

int Usage()
{
    fputs(s_szUsage, stderr);
    return EXIT_USAGE;
}

int Fail(const char* what, const std::string& path, int code)
{
    fprintf(stderr, "vxptool: %s %s (%d)\n", what, path.c_str(), code);
    return EXIT_FAILED;
}

int CmdPattern(int argc, char** argv)
{
    if (argc < 2)
        return Usage();
    std::string folder = WinPath(argv[0]);
    int number = atoi(argv[1]);
    char ext[4];
    if (vxp::numberToExtension(number, ext) < 0) {
        fprintf(stderr, "vxptool: pattern number %s out of range\n", argv[1]);
        return EXIT_USAGE;
    }
    vxp::Pattern pattern;
    pattern.number = number;
    pattern.version = 100000 + uint32_t(number) * 100;
    pattern.entries = vxp::defaultEntries();
    bool noInfo = false, table = false;
    int extra = 0;
    std::string damage;
    for (int i = 2; i < argc; i++) {
        std::string opt = argv[i];
        bool hasValue = i + 1 < argc;
        if (opt == "--version" && hasValue)
            pattern.version = uint32_t(strtoul(argv[++i], NULL, 10));
        else if (opt == "--extra" && hasValue)
            extra = atoi(argv[++i]);
        else if (opt == "--damage" && hasValue)
            damage = argv[++i];
        else if (opt == "--no-info")
            noInfo = true;
        else if (opt == "--table")
            table = true;
        else
            return Usage();
    }
    if (!damage.empty() && damage != "crc" && damage != "short" && damage != "negsize" &&
        damage != "number" && damage != "refused")
        return Usage();
    for (int i = 0; i < extra; i++) {
        vxp::Entry e;
        char name[20];
        sprintf(name, "Vgl.Gen.%d", i);
        e.name = name;
        unsigned seed = 2166136261u ^ unsigned(i);
        for (int k = 0; k < 24; k++) {
            seed = seed * 16777619u + 12345u;
            e.bytes.push_back(char(seed >> 13));
        }
        pattern.entries.push_back(e);
    }

    std::string path = folder;
    if (!path.empty() && path[path.size() - 1] != '\\')
        path += '\\';
    path += std::string("VXP$SIG.") + ext;
    int rc = vxp::writePattern(path.c_str(), pattern);
    if (rc < 0)
        return Fail("cannot write", path, rc);

    std::string data;
    std::vector<std::string> records;
    if (!ReadFileBytes(path, &data) || !SplitRecords(data, &records) || records.empty())
        return Fail("cannot reread", path, -96);
    if (noInfo && Get32(records[0], 0) == vxp::TAG_INFO)
        records.erase(records.begin());
    if (table)
        records.insert(records.begin() + (noInfo ? 0 : 1), TableRecord(number));

    if (damage == "crc") {
        // The first block after the information block: the table block when there is one.
        bool afterInfo = records.size() > 1 && Get32(records[0], 0) == vxp::TAG_INFO;
        std::string& r = records[afterInfo ? 1 : 0];
        r[6] = char(r[6] ^ 0x01);
    } else if (damage == "negsize") {
        Set16(records[0], 12, uint16_t(-int(Get16(records[0], 12))));
    } else if (damage == "number") {
        std::string& r = records.size() > 1 ? records[1] : records[0];
        Set16(r, 10, uint16_t(number < 3599 ? number + 1 : number - 1));
    } else if (damage == "refused") {
        std::string block("VGL-REFUSED-BLOCK");
        records.push_back(Record(TAG_REFUSED, 1, int(block.size()), number, block,
                                 vxp::crc32(0, block.data(), block.size())));
    }
    data.clear();
    for (const std::string& r : records)
        data += r;
    if (damage == "short")
        data.resize(records.size() > 1 ? records[0].size() + 7 : 7);
    if (!WriteFileBytes(path, data))
        return Fail("cannot write", path, -96);
    printf("%s\n", path.c_str());
    return EXIT_OK;
}

std::string Utf16(const std::string& text)
{
    std::string out;
    int cch = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, NULL, 0);
    if (cch <= 0)
        return std::string(2, '\0');
    std::vector<WCHAR> w(cch);
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &w[0], cch);
    for (WCHAR ch : w)
        Put16(out, ch);
    return out;   // with its zero terminator
}

// A backup whose texts are UTF-16, in the item order the engine writes.
std::string WideBackup(const vxp::BackupInfo& info, const std::string& body)
{
    std::string h("VSBF");
    Put32(h, 1);
    Put16(h, 6);
    const std::string texts[] = { Utf16(info.folder), Utf16(info.name), Utf16(info.text) };
    for (int t = 0; t < 3; t++) {
        h.push_back(char(t + 1));
        Put16(h, uint16_t(texts[t].size()));
        h += texts[t];
    }
    const uint32_t values[] = { info.value4, 1, info.value6 };
    for (int v = 0; v < 3; v++) {
        h.push_back(char(v + 4));
        Put16(h, 4);
        Put32(h, values[v]);
    }
    std::string out = h + body;
    for (char& c : out)
        c = char(~c);
    return out;
}

int CmdBackup(int argc, char** argv)
{
    if (argc < 1)
        return Usage();
    std::string dest = WinPath(argv[0]);
    vxp::BackupInfo info;
    std::string body, damage;
    bool utf16 = false;
    for (int i = 1; i < argc; i++) {
        std::string opt = argv[i];
        bool hasValue = i + 1 < argc;
        if (opt == "--folder" && hasValue)
            info.folder = argv[++i];
        else if (opt == "--name" && hasValue)
            info.name = argv[++i];
        else if (opt == "--text" && hasValue)
            info.text = argv[++i];
        else if (opt == "--value4" && hasValue)
            info.value4 = uint32_t(strtoul(argv[++i], NULL, 0));
        else if (opt == "--value6" && hasValue)
            info.value6 = uint32_t(strtoul(argv[++i], NULL, 0));
        else if (opt == "--damage" && hasValue)
            damage = argv[++i];
        else if (opt == "--body" && hasValue) {
            std::string bodyPath = WinPath(argv[++i]);
            if (!ReadFileBytes(bodyPath, &body))
                return Fail("cannot read", bodyPath, -94);
        } else if (opt == "--utf16")
            utf16 = true;
        else
            return Usage();
    }
    if (!damage.empty() && damage != "magic" && damage != "short")
        return Usage();

    std::string data;
    if (utf16) {
        data = WideBackup(info, body);
    } else {
        int rc = vxp::writeBackup(dest.c_str(), info, body);
        if (rc < 0)
            return Fail("cannot write", dest, rc);
        if (!ReadFileBytes(dest, &data))
            return Fail("cannot reread", dest, -96);
    }
    if (damage == "magic")
        data[0] = char(~'X');
    else if (damage == "short")
        data.resize(10 + 3 + 1);   // ends inside the first item
    if (!WriteFileBytes(dest, data))
        return Fail("cannot write", dest, -96);
    printf("%s\n", dest.c_str());
    return EXIT_OK;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return Usage();
    std::string cmd = argv[1];
    if (cmd == "pattern")
        return CmdPattern(argc - 2, argv + 2);
    if (cmd == "backup")
        return CmdBackup(argc - 2, argv + 2);
    return Usage();
}
