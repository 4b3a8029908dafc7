// vxpgen FOLDER [NUMBER [EXTRA [NDB]]]
// Writes the default pattern file VXP$SIG.<NUMBER> (578 unless given) into FOLDER: the standard
// antivirus test file, a cleanable test signature, a boot and a memory signature, plus EXTRA
// generated file signatures. With NDB, the file signatures are also written in the hex
// signature-database format of other scanners, for comparisons.
#include "vxpformat.h"

#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <vector>

namespace {

std::string winPath(std::string p) {
    for (char& c : p)
        if (c == '/') c = '\\';
    return p;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: vxpgen FOLDER [NUMBER [EXTRA [NDB]]]\n");
        return 2;
    }
    std::string folder = winPath(argv[1]);
    int number = argc > 2 ? atoi(argv[2]) : 578;
    int extra = argc > 3 ? atoi(argv[3]) : 0;
    vxp::Pattern p;
    p.number = number;
    p.version = 100000 + uint32_t(number) * 100;
    for (const vxp::Entry& e : vxp::defaultEntries()) p.entries.push_back(e);
    unsigned seed = 12345;
    for (int i = 0; i < extra; ++i) {
        vxp::Entry e;
        char name[20];
        sprintf(name, "Vgl.Gen.%d", i);
        e.name = name;
        for (int k = 0; k < 24; ++k) {
            seed = seed * 1103515245u + 12345u;
            e.bytes.push_back(char(seed >> 16));
        }
        p.entries.push_back(e);
    }
    char ext[4];
    if (vxp::numberToExtension(number, ext) < 0) return 2;
    std::string path = folder + "\\VXP$SIG." + ext;
    int rc = vxp::writePattern(path.c_str(), p);
    if (rc < 0) {
        fprintf(stderr, "vxpgen: cannot write %s (%d)\n", path.c_str(), rc);
        return 1;
    }
    if (argc > 4) {
        FILE* f = fopen(winPath(argv[4]).c_str(), "w");
        if (!f) return 1;
        for (const vxp::Entry& e : p.entries) {
            if (!(e.kinds & (vxp::KIND_FILE | vxp::KIND_MACRO))) continue;
            fprintf(f, "%s:0:*:", e.name.c_str());
            for (unsigned char c : e.bytes) fprintf(f, "%02x", c);
            fprintf(f, "\n");
        }
        fclose(f);
    }
    return 0;
}
