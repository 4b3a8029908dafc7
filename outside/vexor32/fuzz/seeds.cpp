// Writes the fuzzers' seed inputs from the archives, patterns and backups the tests build:
//   seeds FOLDER    -> FOLDER/zip, FOLDER/pattern, FOLDER/backup, FOLDER/match
#include "../tests/enginetest.h"

#include <stdio.h>
#include <sys/stat.h>

using namespace enginetest;

namespace {

std::string g_root;
int g_n;

void put(const char* kind, const std::string& bytes) {
    std::string dir = g_root + "/" + kind;
    mkdir(dir.c_str(), 0755);
    std::string path = dir + "/seed" + std::to_string(++g_n);
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return;
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

std::string patternFile(const std::vector<vxp::Entry>& entries, int number) {
    vxp::Pattern p;
    p.number = number;
    p.version = 100000 + number * 100;
    p.entries = entries;
    std::string path = g_root + "/pattern.tmp";
    vxp::writePattern(path.c_str(), p);
    std::string bytes;
    FILE* f = fopen(path.c_str(), "rb");
    char buf[65536];
    size_t n;
    while (f && (n = fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, n);
    if (f) fclose(f);
    remove(path.c_str());
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    g_root = argv[1];
    mkdir(g_root.c_str(), 0755);
    Rng rng(1);
    std::vector<vxp::Entry> defaults = vxp::defaultEntries();
    const std::string eicar = defaults[0].bytes;

    std::string inner = zip({{"eicar.com", "head" + eicar}}, false);
    for (bool deflated : {false, true}) {
        put("zip", zip({{"a.txt", "clean"}, {"b/c.com", eicar}}, deflated));
        put("zip", zip({{"dir/", ""}, {"x", rng.bytes(300)}}, deflated));
        put("zip", zip({{"inner.zip", inner}, {"m.zip", zip({{"n.zip", inner}}, deflated)}}, deflated));
        put("zip", claimSize(zip({{"a.txt", eicar}}, deflated), 0x7FFFFFFF));
        put("zip", zip({{"a.txt", eicar}}, deflated).substr(0, 40));
    }

    std::vector<vxp::Entry> some = defaults;
    for (const vxp::Entry& e : relatedSignatures(rng, 20)) some.push_back(e);
    for (const std::string& file : {patternFile(defaults, 578), patternFile(some, 1005)}) {
        put("pattern", std::string(1, '\1') + file);
        put("pattern", std::string(1, '\0') + file);
        put("pattern", std::string(1, '\1') + file.substr(0, 100));
    }

    vxp::BackupInfo info;
    info.folder = "C:\\Data";
    info.name = "file.com";
    info.text = "EICAR-Test-File";
    info.value4 = 7;
    std::string body(eicar);
    for (char& c : body) c = char(~c);
    put("backup", vxp::backupHeader(info) + body);
    put("backup", vxp::backupHeader(vxp::BackupInfo()));

    // Signature count, piece size, signatures, text.
    std::string m(1, char(defaults.size() + 2 - 1));
    m += char(7);
    for (const vxp::Entry& e : defaults) m += char(std::min<size_t>(e.bytes.size(), 64) - 1) + e.bytes.substr(0, 64);
    m += std::string(1, char(0)) + "Q" + std::string(1, char(2)) + "ABC";
    put("match", m + rng.bytes(100) + eicar.substr(0, 64) + "xxQxABCABC" + defaults[1].bytes);
    return 0;
}
