#include "zipclean.h"

#include <string.h>
#include <algorithm>
#include <vector>
#include <zlib.h>

namespace vex {

namespace {

uint16_t le16(const unsigned char* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t le32(const unsigned char* p) { return le16(p) | (uint32_t(le16(p + 2)) << 16); }

void set16(std::string& s, size_t at, unsigned v) {
    s[at] = char(v & 0xFF);
    s[at + 1] = char((v >> 8) & 0xFF);
}

void set32(std::string& s, size_t at, uint32_t v) {
    set16(s, at, v & 0xFFFF);
    set16(s, at + 2, v >> 16);
}

const unsigned char* bytesOf(const std::string& s, size_t at) { return reinterpret_cast<const unsigned char*>(s.data()) + at; }

bool inflateAll(const unsigned char* p, size_t n, uint32_t usize, std::string* out) {
    out->assign(usize, '\0');
    z_stream zs;
    memset(&zs, 0, sizeof zs);
    if (inflateInit2(&zs, -15) != Z_OK) return false;
    zs.next_in = const_cast<Bytef*>(p);
    zs.avail_in = uInt(n);
    zs.next_out = reinterpret_cast<Bytef*>(&(*out)[0]);
    zs.avail_out = uInt(usize);
    int rc = inflate(&zs, Z_FINISH);
    bool ok = rc == Z_STREAM_END && zs.avail_out == 0;
    inflateEnd(&zs);
    return ok || (usize == 0 && rc != Z_DATA_ERROR);
}

bool deflateAll(const std::string& in, std::string* out) {
    z_stream zs;
    memset(&zs, 0, sizeof zs);
    if (deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
    out->assign(deflateBound(&zs, uLong(in.size())), '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    zs.avail_in = uInt(in.size());
    zs.next_out = reinterpret_cast<Bytef*>(&(*out)[0]);
    zs.avail_out = uInt(out->size());
    bool ok = deflate(&zs, Z_FINISH) == Z_STREAM_END;
    out->resize(zs.total_out);
    deflateEnd(&zs);
    return ok;
}

struct Cleaner {
    const SigIndex& index;
    const SigSet& set;
    unsigned kinds;
    const ArchiveLimits& limits;

    // Zeroes the cleanable signatures of plain bytes: ZIP_CLEANED, ZIP_NOTHING or ZIP_NOT_CLEANABLE.
    int cleanBytes(std::string* data) {
        std::vector<Hit> hits;
        StreamScan scan(index, kinds, &hits);
        scan.feed(bytesOf(*data, 0), data->size());
        if (hits.empty()) return ZIP_NOTHING;
        for (const Hit& h : hits)
            if (!set.cleanable(size_t(h.entry))) return ZIP_NOT_CLEANABLE;
        for (const Hit& h : hits) {
            size_t len = set.length(size_t(h.entry));
            memset(&(*data)[size_t(h.end + 1 - (long long)len)], 0, len);
        }
        return ZIP_CLEANED;
    }

    // One member's unpacked bytes: an archive within (layers permitting) is cleaned as one,
    // anything else as plain bytes.
    int cleanMember(std::string* data, int depth) {
        if (depth + 1 < limits.layers && isZip(bytesOf(*data, 0), data->size())) {
            std::string inner;
            int rc = cleanArchive(*data, depth + 1, &inner);
            if (rc == ZIP_CLEANED) {
                data->swap(inner);
                return ZIP_CLEANED;
            }
            if (rc == ZIP_NOT_CLEANABLE) return rc;
        }
        return cleanBytes(data);
    }

    int cleanArchive(const std::string& z, int depth, std::string* out) {
        size_t size = z.size();
        if (size < 22) return ZIP_DAMAGED;
        size_t lowest = size > 65557 ? size - 65557 : 0, eocd = std::string::npos;
        for (size_t i = size - 22 + 1; i-- > lowest;)
            if (le32(bytesOf(z, i)) == 0x06054B50) {
                eocd = i;
                break;
            }
        if (eocd == std::string::npos) return ZIP_DAMAGED;
        size_t count = le16(bytesOf(z, eocd + 10));
        size_t cdPos = le32(bytesOf(z, eocd + 16)), cdSize = le32(bytesOf(z, eocd + 12));
        if (cdPos > eocd || cdSize > eocd - cdPos) return ZIP_DAMAGED;

        std::string body, central;
        bool changed = false;
        int examined = 0;
        size_t pos = cdPos;
        for (size_t member = 0; member < count; ++member) {
            if (pos + 46 > eocd || le32(bytesOf(z, pos)) != 0x02014B50) return ZIP_DAMAGED;
            const unsigned char* c = bytesOf(z, pos);
            unsigned flags = le16(c + 8), method = le16(c + 10);
            uint32_t csize = le32(c + 20), usize = le32(c + 24), local = le32(c + 42);
            size_t nlen = le16(c + 28), xlen = le16(c + 30), clen = le16(c + 32);
            size_t entryLen = 46 + nlen + xlen + clen;
            if (pos + entryLen > eocd) return ZIP_DAMAGED;
            std::string entry = z.substr(pos, entryLen);
            pos += entryLen;
            if (size_t(local) + 30 > size || le32(bytesOf(z, local)) != 0x04034B50) return ZIP_DAMAGED;
            size_t headerLen = 30 + le16(bytesOf(z, local + 26)) + le16(bytesOf(z, local + 28));
            size_t data = size_t(local) + headerLen;
            if (data > size || csize > size - data) return ZIP_DAMAGED;
            // What follows the data when the sizes come after it: the data descriptor.
            size_t descriptor = 0;
            if (flags & 8) {
                descriptor = 12;
                if (data + csize + 4 <= size && le32(bytesOf(z, data + csize)) == 0x08074B50) descriptor = 16;
                if (data + csize + descriptor > size) return ZIP_DAMAGED;
            }

            std::string header = z.substr(local, headerLen), packed = z.substr(data, csize), trailer =
                z.substr(data + csize, descriptor);
            bool folder = nlen > 0 && z[pos - entryLen + 46 + nlen - 1] == '/';
            // Members the scan does not look at are kept as they are.
            bool looked = !folder && examined++ < limits.maxFiles && usize <= limits.maxExtract &&
                          (method == 0 || method == 8);
            if (looked) {
                if (flags & 1) {
                    // Encrypted: found nothing in it the scan could see; kept.
                } else {
                    std::string plain;
                    if (method == 0) plain = packed;
                    else if (!inflateAll(bytesOf(packed, 0), packed.size(), usize, &plain)) return ZIP_NOT_CLEANABLE;
                    int rc = cleanMember(&plain, depth);
                    if (rc == ZIP_NOT_CLEANABLE) return rc;
                    if (rc == ZIP_CLEANED) {
                        std::string repacked = plain;
                        if (method == 8 && !deflateAll(plain, &repacked)) return ZIP_NOT_CLEANABLE;
                        uint32_t crc = uint32_t(crc32(0, bytesOf(plain, 0), uInt(plain.size())));
                        packed.swap(repacked);
                        // The sizes go into the headers now: no data descriptor.
                        flags &= ~8u;
                        trailer.clear();
                        set16(header, 6, flags);
                        set32(header, 14, crc);
                        set32(header, 18, uint32_t(packed.size()));
                        set32(header, 22, uint32_t(plain.size()));
                        set16(entry, 8, flags);
                        set32(entry, 16, crc);
                        set32(entry, 20, uint32_t(packed.size()));
                        set32(entry, 24, uint32_t(plain.size()));
                        changed = true;
                    }
                }
            }
            set32(entry, 42, uint32_t(body.size()));
            body += header + packed + trailer;
            central += entry;
        }
        if (!changed) return ZIP_NOTHING;
        std::string end = z.substr(eocd, 22);
        set32(end, 12, uint32_t(central.size()));
        set32(end, 16, uint32_t(body.size()));
        std::string comment = z.substr(eocd + 22, std::min<size_t>(le16(bytesOf(z, eocd + 20)), size - eocd - 22));
        set16(end, 20, unsigned(comment.size()));
        *out = body + central + end + comment;
        return ZIP_CLEANED;
    }
};

}  // namespace

int cleanZip(const std::string& archive, const SigIndex& index, const SigSet& set, unsigned kinds,
             const ArchiveLimits& limits, std::string* out) {
    if (limits.layers <= 0 || !isZip(bytesOf(archive, 0), archive.size())) return ZIP_DAMAGED;
    Cleaner cleaner{index, set, kinds, limits};
    return cleaner.cleanArchive(archive, 0, out);
}

}  // namespace vex
