#include "zipscan.h"

#include <string.h>
#include <new>
#include <zlib.h>

namespace vex {

namespace {

const size_t PIECE = 64 * 1024;

uint16_t le16(const unsigned char* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t le32(const unsigned char* p) { return le16(p) | (uint32_t(le16(p + 2)) << 16); }

struct Walk {
    const SigIndex& index;
    unsigned kinds;
    const ArchiveLimits& limits;
    size_t held;  // bytes of enclosing archives held in memory
    bool tooDeep;  // a member was an archive beyond the layers opened

    bool stopped() const { return limits.stop && *limits.stop; }
};

// Reads the central directory through a window of the source.
class Cursor {
public:
    explicit Cursor(RandomSource& src) : m_src(src) {}

    // Points p at n bytes at off; false when they lie beyond the end or cannot be read.
    bool at(uint64_t off, size_t n, const unsigned char** p) {
        if (off >= m_pos && off - m_pos + n <= m_len) {
            *p = m_buf.data() + (off - m_pos);
            return true;
        }
        uint64_t size = m_src.size();
        if (off > size || n > size - off) return false;
        size_t want = n > PIECE ? n : PIECE;
        if (want > size - off) want = size_t(size - off);
        m_buf.resize(want ? want : 1);
        m_len = 0;
        if (want && !m_src.readAt(off, m_buf.data(), want)) return false;
        m_pos = off;
        m_len = want;
        *p = m_buf.data();
        return true;
    }

private:
    RandomSource& m_src;
    std::vector<unsigned char> m_buf;
    uint64_t m_pos = 0;
    size_t m_len = 0;
};

int scanArchive(Walk& w, RandomSource& src, int depth, std::vector<std::string>* layers);

// Passes a member's bytes to the matcher as they are unpacked; holds them instead when they
// are a nested archive that may be opened.
class Member {
public:
    Member(Walk& w, int depth) : m_walk(w), m_scan(w.index, w.kinds, nullptr), m_nestable(depth + 1 < w.limits.layers) {}

    // True once unpacking may stop.
    bool deliver(const unsigned char* p, size_t n) {
        if (m_walk.stopped()) return true;
        if (!m_decided) {
            m_decided = true;
            bool archive = isZip(p, n);
            m_holding = m_nestable && archive;
            if (archive && !m_nestable) m_walk.tooDeep = true;
        }
        if (m_holding) {
            size_t budget = m_walk.limits.heldBudget > m_walk.held ? m_walk.limits.heldBudget - m_walk.held : 0;
            if (n <= budget && m_held.size() <= budget - n) {
                try {
                    m_held.insert(m_held.end(), p, p + n);
                    return false;
                } catch (const std::bad_alloc&) {
                }
            }
            // Too large to hold: scanned as it comes, not opened.
            m_holding = false;
            bool stop = m_scan.feed(m_held.data(), m_held.size());
            std::vector<unsigned char>().swap(m_held);
            if (stop) return true;
        }
        return m_scan.feed(p, n);
    }

    // The entry found in the member or in an archive within it, or -1.
    int finish(int depth, const std::string& name, std::vector<std::string>* layers) {
        if (m_holding && !m_held.empty()) {
            m_walk.held += m_held.size();
            MemoryRandom inner(m_held.data(), m_held.size());
            int e = scanArchive(m_walk, inner, depth + 1, layers);
            m_walk.held -= m_held.size();
            if (e == -2) return e;
            if (e >= 0) {
                layers->push_back(name);
                return e;
            }
            m_scan.feed(m_held.data(), m_held.size());
        }
        if (m_scan.first() < 0) return -1;
        layers->push_back(name);
        return m_scan.first();
    }

private:
    Walk& m_walk;
    StreamScan m_scan;
    bool m_nestable, m_decided = false, m_holding = false;
    std::vector<unsigned char> m_held;
};

void unpackStored(RandomSource& src, uint64_t data, uint32_t csize, Member& m) {
    std::vector<unsigned char> buf(csize < PIECE ? csize : PIECE);
    for (uint64_t pos = data, left = csize; left > 0;) {
        size_t n = left < PIECE ? size_t(left) : PIECE;
        if (!src.readAt(pos, buf.data(), n) || m.deliver(buf.data(), n)) return;
        pos += n;
        left -= n;
    }
}

// Inflates at most usize bytes; what comes out before damaged data is still scanned.
void unpackDeflated(RandomSource& src, uint64_t data, uint32_t csize, uint32_t usize, Member& m) {
    z_stream zs;
    memset(&zs, 0, sizeof zs);
    if (inflateInit2(&zs, -15) != Z_OK) return;
    std::vector<unsigned char> in(PIECE / 2), out(PIECE);
    uint64_t inPos = data;
    uint32_t inLeft = csize, outLeft = usize;
    while (outLeft > 0) {
        if (zs.avail_in == 0 && inLeft > 0) {
            uInt n = inLeft < in.size() ? uInt(inLeft) : uInt(in.size());
            if (!src.readAt(inPos, in.data(), n)) break;
            zs.next_in = in.data();
            zs.avail_in = n;
            inPos += n;
            inLeft -= n;
        }
        uInt room = outLeft < out.size() ? uInt(outLeft) : uInt(out.size()), before = zs.avail_in;
        zs.next_out = out.data();
        zs.avail_out = room;
        int rc = inflate(&zs, Z_NO_FLUSH);
        size_t got = room - zs.avail_out;
        outLeft -= uint32_t(got);
        if (got && m.deliver(out.data(), got)) break;
        if (rc != Z_OK && rc != Z_BUF_ERROR) break;  // the end, or damaged data
        if (!got && zs.avail_in == before && (zs.avail_in || !inLeft)) break;  // no progress
    }
    inflateEnd(&zs);
}

int scanArchive(Walk& w, RandomSource& src, int depth, std::vector<std::string>* layers) {
    uint64_t size = src.size();
    if (size < 22) return -1;
    size_t tailLen = size > 65557 ? 65557 : size_t(size);
    std::vector<unsigned char> tail(tailLen);
    if (!src.readAt(size - tailLen, tail.data(), tailLen)) return -1;
    size_t eocd = tailLen;
    for (size_t i = tailLen - 22 + 1; i-- > 0;)
        if (le32(&tail[i]) == 0x06054B50) {
            eocd = i;
            break;
        }
    if (eocd == tailLen) return -1;
    size_t count = le16(&tail[eocd + 10]);
    uint64_t pos = le32(&tail[eocd + 16]);
    std::vector<unsigned char>().swap(tail);
    Cursor cursor(src);
    int examined = 0;
    for (size_t member = 0; member < count; ++member) {
        const unsigned char* c;
        if (!cursor.at(pos, 46, &c) || le32(c) != 0x02014B50) break;
        int method = le16(c + 10);
        uint32_t csize = le32(c + 20), usize = le32(c + 24), local = le32(c + 42);
        size_t nlen = le16(c + 28), xlen = le16(c + 30), clen = le16(c + 32);
        const unsigned char* n;
        if (!cursor.at(pos + 46, nlen, &n)) break;
        std::string name(reinterpret_cast<const char*>(n), nlen);
        pos += 46 + nlen + xlen + clen;
        if (!name.empty() && name.back() == '/') continue;
        if (w.stopped()) return -2;
        if (examined++ >= w.limits.maxFiles) break;
        if (usize > w.limits.maxExtract) continue;
        unsigned char lh[30];
        if (uint64_t(local) + 30 > size || !src.readAt(local, lh, 30) || le32(lh) != 0x04034B50) continue;
        uint64_t data = uint64_t(local) + 30 + le16(lh + 26) + le16(lh + 28);
        if (data > size || csize > size - data || (method != 0 && method != 8)) continue;
        for (char& ch : name)
            if (ch == '/') ch = '\\';
        Member m(w, depth);
        if (method == 0) unpackStored(src, data, csize, m);
        else unpackDeflated(src, data, csize, usize, m);
        if (w.stopped()) return -2;
        int e = m.finish(depth, name, layers);
        if (e >= 0 || e == -2) return e;
    }
    return -1;
}

}  // namespace

bool MemoryRandom::readAt(uint64_t off, void* buf, size_t n) {
    if (off > m_size || n > m_size - off) return false;
    memcpy(buf, m_p + off, n);
    return true;
}

bool isZip(const unsigned char* p, size_t n) { return n >= 4 && le32(p) == 0x04034B50; }

int scanZip(RandomSource& src, const SigIndex& index, unsigned kinds, const ArchiveLimits& limits,
            std::vector<std::string>* layers, bool* tooDeep) {
    if (tooDeep) *tooDeep = false;
    if (limits.layers <= 0) return -1;
    Walk w{index, kinds, limits, 0, false};
    std::vector<std::string> names;
    int e = scanArchive(w, src, 0, layers ? layers : &names);
    if (tooDeep) *tooDeep = w.tooDeep;
    return e;
}

}  // namespace vex
