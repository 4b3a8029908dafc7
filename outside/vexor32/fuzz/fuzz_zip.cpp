// The archive reader: any bytes as a zip archive, with nested layers, within small limits.
#include "fuzzcheck.h"
#include "vxpformat.h"
#include "zipscan.h"

#include <stdint.h>
#include <string>

namespace {

struct Engine {
    vex::SigSet set;
    vex::SigIndex index;
    Engine() {
        for (const vxp::Entry& e : vxp::defaultEntries())
            set.add(e.name.data(), e.name.size(), e.kinds, e.cleanable,
                    reinterpret_cast<const unsigned char*>(e.bytes.data()), e.bytes.size());
        for (const char* s : {"PK\x03\x04", "\x00\x00\x00\x00\x00\x00", "zip", "\xFF"})
            set.add("x", 1, 1, false, reinterpret_cast<const unsigned char*>(s), s[0] ? strlen(s) : 6);
        index.build(set);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Engine engine;
    vex::ArchiveLimits limits;
    limits.layers = 4;
    limits.maxFiles = 64;
    limits.maxExtract = 0xFFFFFFFFu;  // no limit: only the real data bounds what is unpacked
    limits.heldBudget = 1u << 20;
    vex::MemoryRandom src(data, size);
    std::vector<std::string> layers;
    int e = vex::scanZip(src, engine.index, 1, limits, &layers);
    if ((e >= 0) != !layers.empty() || e >= int(engine.set.size())) abort();
    fuzzcheck::check(engine.index, data, size, 4096, 1);
    return 0;
}
