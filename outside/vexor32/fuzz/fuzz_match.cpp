// The matcher against a naive matcher: signatures and text both come from the input.
//   byte 0: signature count - 1 (mod 32); byte 1: piece size; then per signature a length byte
//   (1..64) and its bytes; the rest is the text.
#include "fuzzcheck.h"

#include <stdint.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    size_t count = 1 + data[0] % 32, piece = data[1], at = 2;
    vex::SigSet set;
    for (size_t i = 0; i < count && at < size; ++i) {
        size_t len = 1 + data[at++] % 64;
        if (at + len > size) break;
        set.add("f", 1, (len & 1) ? 1 : 3, false, data + at, len);
        at += len;
    }
    vex::SigIndex index;
    index.build(set);
    fuzzcheck::check(index, data + at, size - at, piece, 1);
    fuzzcheck::check(index, data + at, size - at, 1 + piece % 7, 2);
    return 0;
}
