// The pattern reader, and the engine's index over what it reads. Byte 0 bit 0 set: the block
// checksums are put right first, so the fuzzer gets past them to the records' contents.
#include "fuzzcheck.h"
#include "vxpformat.h"

#include <stdint.h>
#include <vector>

namespace {

uint32_t get32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }
int get16s(const uint8_t* p) { return int16_t(p[0] | (p[1] << 8)); }

void fixChecksums(std::vector<uint8_t>& f) {
    for (size_t pos = 0; pos + 14 <= f.size();) {
        uint8_t* h = &f[pos];
        long long length = (long long)get16s(h + 4) * get16s(h + 12);
        if (length < 0 || (unsigned long long)length > f.size() - pos - 14) return;
        const uint8_t* b = h + 14;
        size_t covered = size_t(length);
        uint32_t tag = get32(h);
        if ((tag == 0x1ABDA11A || tag == 0x1ABDA21A || tag == 0x1ABDA41A) && length >= 26) {
            uint32_t l = 0;
            for (int off = 10; off <= 20; off += 2) l += b[off] | (b[off + 1] << 8);
            l = 4 * l + 8 * (b[22] | (b[23] << 8)) + 2 * (b[24] | (b[25] << 8)) + 512;
            if (26 + (long long)l <= length) covered = 26 + l;
        }
        uint32_t crc = vxp::crc32(0, b, covered);
        memcpy(h + 6, &crc, 4);
        pos += 14 + size_t(length);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    std::vector<uint8_t> file(data + 1, data + size);
    if (data[0] & 1) fixChecksums(file);
    int expected = file.size() >= 12 ? get16s(&file[10]) : 578;
    vxp::MemorySource in(file.data(), file.size());
    vex::SigSet set;
    vex::SigSetSink sink(set);
    uint32_t version = 0;
    int rc = vxp::parsePattern(in, expected, &sink, &version);
    if (rc >= 0 && rc != expected) abort();
    if (rc < 0 || set.size() == 0) return 0;
    vex::SigIndex index;
    index.build(set);
    fuzzcheck::check(index, file.data(), file.size(), 1 + data[0] % 97, 1);
    return 0;
}
