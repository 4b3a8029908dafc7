#include "sigindex.h"

#include <string.h>

namespace vex {

namespace {

// Probe strides a class may have: a signature goes to the largest one <= its length - 3.
const unsigned STRIDES[] = {1, 2, 3, 4, 5, 6, 8, 10, 12, 16, 20, 25, 32, 40, 50, 64};
const unsigned CLASSES = sizeof STRIDES / sizeof STRIDES[0];
const unsigned OFFSET_BITS = 8;  // an item: entry << 8 | offset of the gram in the signature
const uint32_t OFFSET_MASK = (1u << OFFSET_BITS) - 1;
const uint32_t K1 = 0x9E3779B1u, K2 = 0x85EBCA77u;

inline uint32_t load32(const unsigned char* p) {
    uint32_t v;
    memcpy(&v, p, 4);
    return v;
}

// A gram's block comes from one hash, its four filter bits (two per word) from a table of
// masks picked by another: no variable shifts in the probe loop.
inline uint32_t hash1(uint32_t g) { return g * K1; }
inline uint32_t maskOf(uint32_t g) { return (g * K2) >> 20; }

struct Masks {
    uint32_t m[4096][2];
    Masks() {
        uint32_t x = 0x2545F491u;
        for (int i = 0; i < 4096; ++i)
            for (int w = 0; w < 2; ++w) {
                uint32_t bits = 0;
                while (__builtin_popcount(bits) < 2) {
                    x += 0x9E3779B9u;
                    uint32_t z = x;
                    z = (z ^ (z >> 16)) * 0x85EBCA6Bu;
                    z = (z ^ (z >> 13)) * 0xC2B2AE35u;
                    z ^= z >> 16;
                    bits |= 1u << (z >> 27);
                }
                m[i][w] = bits;
            }
    }
};
const Masks g_masks;

unsigned classFor(size_t length) {
    unsigned c = 0;
    while (c + 1 < CLASSES && STRIDES[c + 1] + 3 <= length) ++c;
    return c;
}

// How often a gram is expected in files: grams of one repeated byte (runs of zeros, padding)
// and of two bytes are common, so windows avoid them when the signature allows.
unsigned penalty(uint32_t g) {
    unsigned char b[4];
    memcpy(b, &g, 4);
    int distinct = 1 + (b[1] != b[0]) + (b[2] != b[0] && b[2] != b[1]) + (b[3] != b[0] && b[3] != b[1] && b[3] != b[2]);
    return distinct == 1 ? 1u << 20 : distinct == 2 ? 1u << 12 : 0;
}

}  // namespace

// ---------------------------------------------------------------- SigSet

void SigSet::reserve(size_t entries) { m_recs.reserve(entries); }

bool SigSet::add(const char* name, size_t nameLen, unsigned kinds, bool cleanable, const unsigned char* bytes,
                 size_t len) {
    if (len == 0 || len > MAX_LENGTH || (m_recs.size() >> (32 - OFFSET_BITS))) return false;
    Rec r;
    r.bytes = uint32_t(m_bytes.size());
    r.name = uint32_t(m_names.size());
    r.length = uint8_t(len);
    r.kinds = uint8_t(kinds);
    r.cleanable = cleanable ? 1 : 0;
    m_bytes.insert(m_bytes.end(), bytes, bytes + len);
    m_names.insert(m_names.end(), name, name + strnlen(name, nameLen));
    m_names.push_back('\0');
    m_recs.push_back(r);
    if (len > m_maxLength) m_maxLength = len;
    return true;
}

void SigSet::shrink() {
    m_recs.shrink_to_fit();
    m_bytes.shrink_to_fit();
    m_names.shrink_to_fit();
}

size_t SigSet::memory() const {
    return m_recs.capacity() * sizeof(Rec) + m_bytes.capacity() + m_names.capacity();
}

// ---------------------------------------------------------------- SigIndex

void SigIndex::build(const SigSet& set) {
    m_set = &set;
    m_tables.clear();
    m_tinyStart.clear();
    m_tinyItems.clear();
    memset(m_tinyMask, 0, sizeof m_tinyMask);
    const size_t n = set.size();

    // Each signature's class: the largest stride it allows. A class with few members costs a
    // pass over the text of its own; they go down to the next class that has a pass anyway.
    const uint8_t TINY = 0xFF;
    std::vector<uint8_t> cls(n);
    size_t members[CLASSES] = {};
    unsigned tinyCount = 0;
    for (size_t i = 0; i < n; ++i) {
        if (set.length(i) < 4) {
            cls[i] = TINY;
            ++tinyCount;
            continue;
        }
        cls[i] = uint8_t(classFor(set.length(i)));
        ++members[cls[i]];
    }
    uint8_t into[CLASSES];
    size_t few = n / 100 > 64 ? n / 100 : 64;
    for (unsigned c = 0; c < CLASSES; ++c) {
        into[c] = uint8_t(c);
        if (!members[c] || members[c] >= few) continue;
        for (unsigned d = c; d-- > 0;)
            if (members[d]) {
                into[c] = into[d];
                break;
            }
    }
    size_t items[CLASSES] = {};
    for (size_t i = 0; i < n; ++i)
        if (cls[i] != TINY) {
            cls[i] = into[cls[i]];
            items[cls[i]] += STRIDES[cls[i]];
        }

    // How often each gram (by hash) occurs in the signatures: windows prefer rare grams.
    size_t grams = 0;
    for (size_t i = 0; i < n; ++i) grams += set.length(i) > 3 ? set.length(i) - 3 : 0;
    unsigned countShift = 24;
    while (countShift > 16 && (size_t(1) << (32 - countShift)) < grams) --countShift;
    std::vector<uint16_t> seen(size_t(1) << (32 - countShift), 0);
    for (size_t i = 0; i < n; ++i) {
        const unsigned char* b = set.bytes(i);
        for (size_t o = 0; o + 4 <= set.length(i); ++o) {
            uint16_t& c = seen[hash1(load32(b + o)) >> countShift];
            if (c != 0xFFFF) ++c;
        }
    }

    // The window of each signature: its stride's consecutive grams with the least weight.
    std::vector<uint8_t> window(n, 0);
    std::vector<unsigned> weight;
    for (size_t i = 0; i < n; ++i) {
        if (cls[i] == TINY) continue;
        size_t len = set.length(i), s = STRIDES[cls[i]], last = len - s - 3, best = 0;
        if (last == 0) continue;
        const unsigned char* b = set.bytes(i);
        weight.resize(len - 3);
        for (size_t o = 0; o + 4 <= len; ++o) {
            uint32_t g = load32(b + o);
            weight[o] = seen[hash1(g) >> countShift] + penalty(g);
        }
        unsigned long long sum = 0, bestSum = ~0ull;
        for (size_t o = 0; o < s; ++o) sum += weight[o];
        for (size_t a = 0;; ++a) {
            if (sum < bestSum) {
                bestSum = sum;
                best = a;
            }
            if (a == last) break;
            sum += weight[a + s];
            sum -= weight[a];
        }
        window[i] = uint8_t(best);
    }
    std::vector<uint16_t>().swap(seen);

    for (unsigned c = CLASSES; c-- > 0;) {
        if (!items[c]) continue;
        Table t;
        t.stride = STRIDES[c];
        unsigned bits = 1;
        // About four items per 64-bit block: 16 filter bits per item.
        while ((size_t(1) << (bits + 2)) < items[c] && bits < 30) ++bits;
        t.shift = 32 - bits;
        size_t blocks = size_t(1) << bits;
        t.filter.assign(2 * blocks, 0);
        t.start.assign(blocks + 1, 0);
        t.items.resize(items[c]);
        for (int pass = 0; pass < 2; ++pass) {
            for (size_t i = 0; i < n; ++i) {
                if (cls[i] != c) continue;
                const unsigned char* b = set.bytes(i);
                for (size_t o = window[i]; o < window[i] + t.stride; ++o) {
                    uint32_t g = load32(b + o), blk = hash1(g) >> t.shift;
                    if (pass == 0) {
                        const uint32_t* m = g_masks.m[maskOf(g)];
                        t.filter[2 * blk] |= m[0];
                        t.filter[2 * blk + 1] |= m[1];
                        ++t.start[blk];
                    } else {
                        t.items[t.start[blk]++] = uint32_t(i << OFFSET_BITS) | uint32_t(o);
                    }
                }
            }
            if (pass == 0) {
                // Counts to the first item of each block.
                uint32_t at = 0;
                for (size_t b = 0; b < blocks; ++b) {
                    uint32_t count = t.start[b];
                    t.start[b] = at;
                    at += count;
                }
                t.start[blocks] = at;
            } else {
                // Each start advanced to the next block's first item: shift back.
                for (size_t b = blocks; b > 0; --b) t.start[b] = t.start[b - 1];
                t.start[0] = 0;
            }
        }
        m_tables.push_back(std::move(t));
    }

    if (tinyCount) {
        m_tinyStart.assign(257, 0);
        m_tinyItems.resize(tinyCount);
        for (size_t i = 0; i < n; ++i)
            if (cls[i] == TINY) ++m_tinyStart[set.bytes(i)[0] + 1];
        for (int b = 0; b < 256; ++b) m_tinyStart[b + 1] += m_tinyStart[b];
        std::vector<uint32_t> at(m_tinyStart.begin(), m_tinyStart.end() - 1);
        for (size_t i = 0; i < n; ++i)
            if (cls[i] == TINY) {
                unsigned char b = set.bytes(i)[0];
                m_tinyItems[at[b]++] = uint32_t(i);
                m_tinyMask[b >> 5] |= 1u << (b & 31);
            }
    }
}

size_t SigIndex::memory() const {
    size_t total = (m_tinyStart.capacity() + m_tinyItems.capacity()) * 4;
    for (const Table& t : m_tables) total += (t.filter.capacity() + t.start.capacity() + t.items.capacity()) * 4;
    return total;
}

// Confirms the items of a block that passed the filter at position j.
void SigIndex::confirm(const Table& t, uint32_t blk, uint32_t g, size_t j, const unsigned char* w, size_t len,
                       size_t minEnd, size_t maxStart, unsigned kinds, long long base, std::vector<Hit>& out) const {
    const SigSet::Rec* recs = m_set->m_recs.data();
    const unsigned char* pool = m_set->m_bytes.data();
    for (uint32_t k = t.start[blk], end = t.start[blk + 1]; k < end; ++k) {
        uint32_t item = t.items[k], off = item & OFFSET_MASK;
        if (j < off) continue;
        const SigSet::Rec& r = recs[item >> OFFSET_BITS];
        size_t at = j - off, last = at + r.length - 1;
        if (last >= len || last < minEnd || at >= maxStart) continue;
        const unsigned char* sig = pool + r.bytes;
        if (load32(sig + off) != g || !(r.kinds & kinds) || memcmp(w + at, sig, r.length) != 0) continue;
        out.push_back({int(item >> OFFSET_BITS), base + (long long)last});
    }
}

void SigIndex::findIn(const Table& t, const unsigned char* w, size_t len, size_t minEnd, size_t maxStart,
                      unsigned kinds, long long base, std::vector<Hit>& out) const {
    if (len < 4) return;
    const uint32_t* filter = t.filter.data();
    const unsigned shift = t.shift, stride = t.stride;
    const size_t last = len - 4;
    const unsigned B = 16;
    uint32_t blk[B], gram[B];
    size_t j = 0;
    while (j <= last) {
        unsigned n = 0;
        for (size_t k = j; n < B && k <= last; k += stride, ++n) {
            uint32_t g = load32(w + k);
            gram[n] = g;
            blk[n] = hash1(g) >> shift;
            __builtin_prefetch(filter + 2 * blk[n]);
        }
        for (unsigned i = 0; i < n; ++i) {
            const uint32_t *m = g_masks.m[maskOf(gram[i])], *f = filter + 2 * blk[i];
            if (__builtin_expect(((f[0] & m[0]) == m[0]) & ((f[1] & m[1]) == m[1]), 0))
                confirm(t, blk[i], gram[i], j + i * stride, w, len, minEnd, maxStart, kinds, base, out);
        }
        j += n * stride;
    }
}

void SigIndex::findTiny(const unsigned char* w, size_t len, size_t minEnd, size_t maxStart, unsigned kinds,
                        long long base, std::vector<Hit>& out) const {
    const SigSet::Rec* recs = m_set->m_recs.data();
    const unsigned char* pool = m_set->m_bytes.data();
    size_t stop = len < maxStart ? len : maxStart;
    for (size_t j = 0; j < stop; ++j) {
        unsigned char b = w[j];
        if (!(m_tinyMask[b >> 5] & (1u << (b & 31)))) continue;
        for (uint32_t k = m_tinyStart[b]; k < m_tinyStart[b + 1]; ++k) {
            const SigSet::Rec& r = recs[m_tinyItems[k]];
            size_t last = j + r.length - 1;
            if (last >= len || last < minEnd || !(r.kinds & kinds) || memcmp(w + j, pool + r.bytes, r.length) != 0)
                continue;
            out.push_back({int(m_tinyItems[k]), base + (long long)last});
        }
    }
}

void SigIndex::find(const unsigned char* w, size_t len, size_t minEnd, size_t maxStart, unsigned kinds,
                    long long base, std::vector<Hit>& out) const {
    if (!m_set) return;
    for (const Table& t : m_tables) findIn(t, w, len, minEnd, maxStart, kinds, base, out);
    if (!m_tinyItems.empty()) findTiny(w, len, minEnd, maxStart, kinds, base, out);
}

// ---------------------------------------------------------------- StreamScan

StreamScan::StreamScan(const SigIndex& index, unsigned kinds, std::vector<Hit>* all)
    : m_index(index), m_kinds(kinds), m_all(all) {
    size_t longest = index.maxLength();
    m_keep = longest ? longest - 1 : 0;
}

bool StreamScan::feed(const unsigned char* p, size_t n) {
    if (n == 0) return m_first >= 0 && !m_all;
    m_found.clear();
    // Signatures that begin in the bytes kept from before and end in this piece.
    if (m_tail > 0) {
        size_t head = n < m_keep ? n : m_keep;
        memcpy(&m_seam[m_tail], p, head);
        m_index.find(m_seam, m_tail + head, m_tail, m_tail, m_kinds, m_base - (long long)m_tail, m_found);
    }
    m_index.find(p, n, 0, n, m_kinds, m_base, m_found);
    // Keep the last bytes for the next piece.
    if (m_keep) {
        if (n >= m_keep) {
            memcpy(&m_seam[0], p + n - m_keep, m_keep);
            m_tail = m_keep;
        } else {
            size_t kept = m_tail < m_keep - n ? m_tail : m_keep - n;
            memmove(&m_seam[0], &m_seam[m_tail - kept], kept);
            memcpy(&m_seam[kept], p, n);
            m_tail = kept + n;
        }
    }
    m_base += (long long)n;
    for (const Hit& h : m_found) {
        if (m_first < 0 || h.end < m_firstEnd || (h.end == m_firstEnd && h.entry < m_first)) {
            m_first = h.entry;
            m_firstEnd = h.end;
        }
        if (m_all) m_all->push_back(h);
    }
    return m_first >= 0 && !m_all;
}

}  // namespace vex
