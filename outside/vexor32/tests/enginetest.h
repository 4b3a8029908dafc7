// Shared by the engine tests: signature sets, a plain reference matcher and zip archives.
#pragma once
#include "sigindex.h"
#include "vxpformat.h"

#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <algorithm>
#include <string>
#include <utility>
#include <vector>
#include <zlib.h>

namespace enginetest {

struct Rng {
    uint32_t s;
    explicit Rng(uint32_t seed) : s(seed ? seed : 1) {}
    uint32_t next() {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        return s;
    }
    uint32_t below(uint32_t n) { return next() % n; }
    std::string bytes(size_t n) {
        std::string b(n, '\0');
        for (char& c : b) c = char(next() >> 24);
        return b;
    }
};

// The plain way: every signature compared at every position where its first byte is.
inline std::vector<vex::Hit> referenceHits(const std::vector<vxp::Entry>& entries, const std::string& data,
                                           unsigned kinds) {
    std::vector<std::vector<int>> byFirst(256);
    for (size_t e = 0; e < entries.size(); ++e)
        if (entries[e].kinds & kinds) byFirst[(unsigned char)entries[e].bytes[0]].push_back(int(e));
    std::vector<vex::Hit> hits;
    for (size_t p = 0; p < data.size(); ++p)
        for (int e : byFirst[(unsigned char)data[p]]) {
            const std::string& sig = entries[e].bytes;
            if (p + sig.size() <= data.size() && data.compare(p, sig.size(), sig) == 0)
                hits.push_back({e, (long long)(p + sig.size() - 1)});
        }
    return hits;
}

inline void sortHits(std::vector<vex::Hit>& hits) {
    std::sort(hits.begin(), hits.end(), [](const vex::Hit& a, const vex::Hit& b) {
        return a.end != b.end ? a.end < b.end : a.entry < b.entry;
    });
}

// The earliest hit (smallest end, then smallest entry), or -1.
inline int firstEntry(std::vector<vex::Hit> hits) {
    sortHits(hits);
    return hits.empty() ? -1 : hits[0].entry;
}

inline vxp::Entry entry(const std::string& name, const std::string& bytes, unsigned kinds = vxp::KIND_FILE,
                        bool cleanable = false) {
    vxp::Entry e;
    e.name = name;
    e.bytes = bytes;
    e.kinds = kinds;
    e.cleanable = cleanable;
    return e;
}

// Thousands of signatures that relate to each other: random ones of every length, prefixes of
// others, overlaps (a suffix of one begins another), duplicates, runs of one byte, boot-only
// ones and a few of one to three bytes.
inline std::vector<vxp::Entry> relatedSignatures(Rng& rng, int count, size_t minLength = 1) {
    std::vector<vxp::Entry> v;
    char name[20];
    while (int(v.size()) < count) {
        int i = int(v.size()), kind = rng.below(10);
        sprintf(name, "Sig.%d", i);
        std::string bytes;
        if (kind == 0 && i > 0) {  // a prefix of an earlier one
            const std::string& other = v[rng.below(i)].bytes;
            if (other.size() < 2) continue;
            bytes = other.substr(0, 1 + rng.below(uint32_t(other.size() - 1)));
        } else if (kind == 1 && i > 0) {  // begins with the end of an earlier one
            const std::string& other = v[rng.below(i)].bytes;
            bytes = other.substr(other.size() / 2) + rng.bytes(4 + rng.below(20));
        } else if (kind == 2 && i > 0) {  // the same bytes under another name
            bytes = v[rng.below(i)].bytes;
        } else if (kind == 3) {  // a run with a few distinct bytes in it
            bytes = std::string(8 + rng.below(40), char(rng.below(2) ? 0 : 0x90)) + rng.bytes(1 + rng.below(6));
        } else {
            bytes = rng.bytes(4 + rng.below(vxp::BYTES_MAX - 3));
        }
        if (bytes.size() > size_t(vxp::BYTES_MAX)) bytes.resize(vxp::BYTES_MAX);
        if (bytes.size() < minLength) continue;
        v.push_back(entry(name, bytes, kind == 4 && rng.below(4) == 0 ? vxp::KIND_BOOT : vxp::KIND_FILE));
    }
    return v;
}

// Random bytes with signatures planted at the start, at the end, across the engine's 256 KB
// reads and elsewhere, some overlapping the one planted before.
inline std::string plant(Rng& rng, std::string data, const std::vector<vxp::Entry>& sigs, int count) {
    auto put = [&data](size_t at, const std::string& s) {
        if (at + s.size() <= data.size()) data.replace(at, s.size(), s);
    };
    const size_t chunk = 256 * 1024;
    if (data.empty()) return data;
    put(0, sigs[rng.below(uint32_t(sigs.size()))].bytes);
    const std::string& last = sigs[rng.below(uint32_t(sigs.size()))].bytes;
    if (last.size() <= data.size()) put(data.size() - last.size(), last);
    for (size_t edge = chunk; edge < data.size(); edge += chunk) {
        const std::string& s = sigs[rng.below(uint32_t(sigs.size()))].bytes;
        put(edge - 1 - rng.below(uint32_t(s.size())), s);
    }
    for (int i = 0; i < count; ++i) {
        const std::string& s = sigs[rng.below(uint32_t(sigs.size()))].bytes;
        size_t at = rng.below(uint32_t(data.size()));
        put(at, s);
        if (i % 3 == 0) put(at + s.size() / 2, sigs[rng.below(uint32_t(sigs.size()))].bytes);
    }
    return data;
}

inline void addTo(vex::SigSet& set, const std::vector<vxp::Entry>& entries) {
    for (const vxp::Entry& e : entries)
        set.add(e.name.data(), e.name.size(), e.kinds, e.cleanable, reinterpret_cast<const unsigned char*>(e.bytes.data()),
                e.bytes.size());
}

// A zip archive of (name, data) members, stored or deflated.
inline std::string zip(const std::vector<std::pair<std::string, std::string>>& members, bool deflated) {
    std::string out, central;
    auto p16 = [](std::string& s, unsigned v) {
        s.push_back(char(v));
        s.push_back(char(v >> 8));
    };
    auto p32 = [&p16](std::string& s, unsigned v) {
        p16(s, v & 0xFFFF);
        p16(s, v >> 16);
    };
    for (const auto& m : members) {
        std::string body = m.second;
        if (deflated) {
            z_stream zs;
            memset(&zs, 0, sizeof zs);
            deflateInit2(&zs, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
            std::string packed(deflateBound(&zs, uLong(m.second.size())), '\0');
            zs.next_in = (Bytef*)m.second.data();
            zs.avail_in = uInt(m.second.size());
            zs.next_out = (Bytef*)&packed[0];
            zs.avail_out = uInt(packed.size());
            deflate(&zs, Z_FINISH);
            packed.resize(zs.total_out);
            deflateEnd(&zs);
            body = packed;
        }
        unsigned crc = crc32(0, (const Bytef*)m.second.data(), uInt(m.second.size()));
        unsigned offset = unsigned(out.size()), method = deflated ? 8 : 0;
        p32(out, 0x04034B50); p16(out, 20); p16(out, 0); p16(out, method); p16(out, 0); p16(out, 0);
        p32(out, crc); p32(out, unsigned(body.size())); p32(out, unsigned(m.second.size()));
        p16(out, unsigned(m.first.size())); p16(out, 0);
        out += m.first + body;
        p32(central, 0x02014B50); p16(central, 20); p16(central, 20); p16(central, 0); p16(central, method);
        p16(central, 0); p16(central, 0); p32(central, crc); p32(central, unsigned(body.size()));
        p32(central, unsigned(m.second.size())); p16(central, unsigned(m.first.size())); p16(central, 0);
        p16(central, 0); p16(central, 0); p16(central, 0); p32(central, 0); p32(central, offset);
        central += m.first;
    }
    unsigned at = unsigned(out.size());
    out += central;
    p32(out, 0x06054B50); p16(out, 0); p16(out, 0); p16(out, unsigned(members.size()));
    p16(out, unsigned(members.size())); p32(out, unsigned(central.size())); p32(out, at); p16(out, 0);
    return out;
}

// Sets the unpacked size a zip's members claim, in the local and the central headers.
inline std::string claimSize(std::string z, uint32_t size) {
    for (size_t at = 0; (at = z.find("PK\x03\x04", at)) != std::string::npos; at += 4) memcpy(&z[at + 22], &size, 4);
    for (size_t at = 0; (at = z.find("PK\x01\x02", at)) != std::string::npos; at += 4) memcpy(&z[at + 24], &size, 4);
    return z;
}

}  // namespace enginetest
