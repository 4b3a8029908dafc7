// Shared by the fuzz targets: the matcher's hits must equal a naive matcher's, whatever the
// pieces the bytes arrive in.
#pragma once
#include "sigindex.h"

#include <stdlib.h>
#include <string.h>
#include <algorithm>
#include <vector>

namespace fuzzcheck {

inline void sortHits(std::vector<vex::Hit>& h) {
    std::sort(h.begin(), h.end(), [](const vex::Hit& a, const vex::Hit& b) {
        return a.end != b.end ? a.end < b.end : a.entry < b.entry;
    });
}

// Scans data in pieces of the given size (0: at once) and aborts on any disagreement.
inline void check(const vex::SigIndex& index, const unsigned char* data, size_t size, size_t piece, unsigned kinds) {
    const vex::SigSet& set = index.set();
    std::vector<vex::Hit> expected, all;
    for (size_t p = 0; p < size; ++p)
        for (size_t e = 0; e < set.size(); ++e)
            if ((set.kinds(e) & kinds) && p + set.length(e) <= size && !memcmp(data + p, set.bytes(e), set.length(e)))
                expected.push_back({int(e), (long long)(p + set.length(e) - 1)});
    vex::StreamScan every(index, kinds, &all), first(index, kinds, nullptr);
    bool stopped = false;
    for (size_t at = 0; at < size;) {
        size_t n = piece ? std::min(piece, size - at) : size;
        every.feed(data + at, n);
        if (!stopped) stopped = first.feed(data + at, n);
        at += n;
    }
    sortHits(expected);
    sortHits(all);
    bool same = expected.size() == all.size();
    for (size_t i = 0; same && i < all.size(); ++i)
        same = expected[i].entry == all[i].entry && expected[i].end == all[i].end;
    int want = expected.empty() ? -1 : expected[0].entry;
    if (!same || first.first() != want || stopped != !expected.empty()) abort();
}

}  // namespace fuzzcheck
