// The engine's signature matcher: a compact signature set, a filter index over sampled 4-byte
// grams with verification of the candidates, and a stream scanner that carries the bytes
// signatures may span between pieces. No Windows calls: it also builds natively for fuzzing.
//
// How it finds signatures: a signature of length L >= 4 is put in a class of stride
// s <= L - 3 (from a ladder up to 64; a class with few members joins a lower one, since each
// class is a pass over the text). The text is probed only at every s-th
// position; any occurrence covers exactly one probe position within s consecutive offsets of
// the signature (a window chosen at build time to avoid common grams), so the class indexes
// the s grams of that window. A probe hashes the 4 text bytes into a block of a blocked
// filter (4 bits in 64); blocks that pass lead to the block's items (signature, offset), whose
// gram and whole signature are compared. Signatures of 1 to 3 bytes are checked at every
// position by their first byte. Memory grows with the number of signatures times their stride
// (one item of about 7 bytes per probe offset), never with a table per state.
#pragma once
#include "vxpformat.h"

#include <stddef.h>
#include <stdint.h>
#include <vector>

namespace vex {

// A signature found: its entry and the stream offset of its last byte.
struct Hit {
    int entry;
    long long end;
};

// Signature entries in three flat pools: records, bytes and names.
class SigSet {
public:
    static const size_t MAX_LENGTH = 255;

    void reserve(size_t entries);
    // Adds an entry; false (and nothing added) when the length is 0 or above MAX_LENGTH.
    bool add(const char* name, size_t nameLen, unsigned kinds, bool cleanable, const unsigned char* bytes,
             size_t len);
    void shrink();

    size_t size() const { return m_recs.size(); }
    const unsigned char* bytes(size_t i) const { return m_bytes.data() + m_recs[i].bytes; }
    size_t length(size_t i) const { return m_recs[i].length; }
    const char* name(size_t i) const { return m_names.data() + m_recs[i].name; }
    unsigned kinds(size_t i) const { return m_recs[i].kinds; }
    bool cleanable(size_t i) const { return m_recs[i].cleanable != 0; }
    size_t maxLength() const { return m_maxLength; }
    size_t memory() const;

private:
    friend class SigIndex;
    struct Rec {
        uint32_t bytes, name;
        uint8_t length, kinds, cleanable;
    };
    std::vector<Rec> m_recs;
    std::vector<unsigned char> m_bytes;
    std::vector<char> m_names;
    size_t m_maxLength = 0;
};

// Feeds the entries of a pattern file into a set.
class SigSetSink : public vxp::PatternSink {
public:
    explicit SigSetSink(SigSet& set) : m_set(set) {}
    void entry(const char* name, size_t nameLen, unsigned kinds, bool cleanable, const unsigned char* bytes,
               size_t len) override {
        m_set.add(name, nameLen, kinds, cleanable, bytes, len);
    }

private:
    SigSet& m_set;
};

class SigIndex {
public:
    // Builds the index over the set, which must outlive it. Throws std::bad_alloc.
    void build(const SigSet& set);

    // Finds the signatures of the given kinds in w[0, len) that end at or after minEnd and
    // start before maxStart; appends them with ends as base + position.
    void find(const unsigned char* w, size_t len, size_t minEnd, size_t maxStart, unsigned kinds, long long base,
              std::vector<Hit>& out) const;

    const SigSet& set() const { return *m_set; }
    size_t maxLength() const { return m_set ? m_set->maxLength() : 0; }
    size_t memory() const;

private:
    struct Table {
        unsigned stride = 0;
        unsigned shift = 0;              // 32 - log2(blocks)
        std::vector<uint32_t> filter;    // two words per block
        std::vector<uint32_t> start;     // items of block b: [start[b], start[b + 1])
        std::vector<uint32_t> items;     // entry << 8 | offset of the gram in the signature
    };
    void findIn(const Table& t, const unsigned char* w, size_t len, size_t minEnd, size_t maxStart, unsigned kinds,
                long long base, std::vector<Hit>& out) const;
    void confirm(const Table& t, uint32_t blk, uint32_t g, size_t j, const unsigned char* w, size_t len, size_t minEnd,
                 size_t maxStart, unsigned kinds, long long base, std::vector<Hit>& out) const;
    void findTiny(const unsigned char* w, size_t len, size_t minEnd, size_t maxStart, unsigned kinds, long long base,
                  std::vector<Hit>& out) const;

    const SigSet* m_set = nullptr;
    std::vector<Table> m_tables;         // non-empty classes only
    uint32_t m_tinyMask[8] = {};         // first bytes of signatures shorter than 4
    std::vector<uint32_t> m_tinyStart;   // 257 entries when there are any
    std::vector<uint32_t> m_tinyItems;
};

// Scans a byte stream that arrives in pieces of any size.
class StreamScan {
public:
    // all: NULL stops at the first hit; otherwise every hit is appended to it.
    StreamScan(const SigIndex& index, unsigned kinds, std::vector<Hit>* all);

    // Scans the next piece; true once scanning may stop (a hit found and not every hit wanted).
    bool feed(const unsigned char* p, size_t n);

    // The earliest hit (smallest end, then smallest entry): its entry or -1.
    int first() const { return m_first; }
    long long firstEnd() const { return m_firstEnd; }
    long long offset() const { return m_base; }

private:
    const SigIndex& m_index;
    unsigned m_kinds;
    std::vector<Hit>* m_all;
    std::vector<Hit> m_found;
    unsigned char m_seam[2 * SigSet::MAX_LENGTH];  // the stream's last bytes, then the next piece's first
    size_t m_keep;                      // longest signature - 1
    size_t m_tail = 0;
    long long m_base = 0;
    int m_first = -1;
    long long m_firstEnd = -1;
};

}  // namespace vex
