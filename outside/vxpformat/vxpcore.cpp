// Pattern and backup readers and writers over plain C streams: no Windows calls here.
#include "vxpformat.h"

#include <ctype.h>
#include <string.h>

namespace vxp {

namespace {

// Four tables: four bytes per step.
uint32_t g_table[4][256];
bool g_tableReady = false;

void makeTable() {
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        g_table[0][i] = c;
    }
    for (uint32_t i = 0; i < 256; ++i)
        for (int t = 1; t < 4; ++t) g_table[t][i] = (g_table[t - 1][i] >> 8) ^ g_table[0][g_table[t - 1][i] & 0xFF];
    g_tableReady = true;
}

void put16(std::string& s, uint16_t v) { s.push_back(char(v & 0xFF)); s.push_back(char(v >> 8)); }
void put32(std::string& s, uint32_t v) { put16(s, uint16_t(v & 0xFFFF)); put16(s, uint16_t(v >> 16)); }
uint16_t get16(const unsigned char* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t get32(const unsigned char* p) { return get16(p) | (uint32_t(get16(p + 2)) << 16); }

// Signature bytes are stored masked, so a pattern file never holds the very byte runs it
// detects: a scan of the drive must not find the client's own pattern infected. The mask
// is its own inverse.
unsigned char signatureMask(size_t i) { return (unsigned char)(0xA5 + 0x3B * i); }
void maskSignature(unsigned char* bytes, size_t len) {
    for (size_t i = 0; i < len; ++i) bytes[i] ^= signatureMask(i);
}

std::string record(uint32_t tag, int count, int entrySize, int number, const std::string& block) {
    std::string r;
    put32(r, tag);
    put16(r, uint16_t(count));
    put32(r, crc32(0, block.data(), block.size()));
    put16(r, uint16_t(number));
    put16(r, uint16_t(entrySize));
    return r + block;
}

bool isTableTag(uint32_t tag) { return tag == 0x1ABDA11A || tag == 0x1ABDA21A || tag == 0x1ABDA41A; }
bool isRefusedTag(uint32_t tag) {
    return tag == 0x1ABDA81A || tag == 0x1ABDA91A || tag == 0x1ABDAA1A || tag == 0x1ABDAB1A;
}

// Fills a Pattern's entry list.
class EntryList : public PatternSink {
public:
    explicit EntryList(std::vector<Entry>* out) : m_out(out) {}
    void reserve(size_t more) override { m_out->reserve(m_out->size() + more); }
    void entry(const char* name, size_t nameLen, unsigned kinds, bool cleanable, const unsigned char* bytes,
               size_t len) override {
        Entry e;
        e.name.assign(name, nameLen);
        e.kinds = kinds;
        e.cleanable = cleanable;
        e.bytes.assign(reinterpret_cast<const char*>(bytes), len);
        m_out->push_back(e);
    }

private:
    std::vector<Entry>* m_out;
};

}  // namespace

uint32_t crc32(uint32_t crc, const void* data, size_t len) {
    if (!g_tableReady) makeTable();
    const unsigned char* p = static_cast<const unsigned char*>(data);
    while (len >= 4) {
        crc ^= uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
        crc = g_table[3][crc & 0xFF] ^ g_table[2][(crc >> 8) & 0xFF] ^ g_table[1][(crc >> 16) & 0xFF] ^
              g_table[0][crc >> 24];
        p += 4;
        len -= 4;
    }
    while (len--) crc = g_table[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8);
    return crc;
}

std::vector<Entry> defaultEntries() {
    // Composed from pieces so that no source file carries a signature as it stands.
    std::string test = std::string("X5O!P%@AP[4\\PZX54(P^)7CC)7}$") + "EICAR" + "-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*";
    std::vector<Entry> v(4);
    v[0].name = "EICAR-Test-File";
    v[0].bytes = test;
    v[1].name = "Vgl.Test.Clean";
    v[1].kinds = KIND_FILE | KIND_MACRO;
    v[1].cleanable = true;
    v[1].bytes = std::string("VGL-CLEANABLE-") + "TEST-SIGNATURE:7c1e";
    v[2].name = "Vgl.Test.Boot";
    v[2].kinds = KIND_BOOT;
    v[2].cleanable = true;
    v[2].bytes = std::string("\xEB\x3C\x90VGLBOOT-") + "TEST-SIGNATURE";
    v[3].name = "Vgl.Test.Memory";
    v[3].kinds = KIND_MEMORY;
    v[3].bytes = std::string("VGL-MEMORY-") + "RESIDENT-TEST-SIGNATURE";
    return v;
}

int numberToExtension(int number, char ext[4]) {
    if (number < 1 || number > 3599) return -1;
    int h = number / 100;
    ext[0] = char(h < 10 ? '0' + h : 'A' + h - 10);
    ext[1] = char('0' + (number / 10) % 10);
    ext[2] = char('0' + number % 10);
    ext[3] = 0;
    return 0;
}

int extensionToNumber(const char* ext) {
    if (!ext || strlen(ext) != 3) return -1;
    int c = toupper((unsigned char)ext[0]), h;
    if (c >= '0' && c <= '9') h = c - '0';
    else if (c >= 'A' && c <= 'Z') h = c - 'A' + 10;
    else return -1;
    if (!isdigit((unsigned char)ext[1]) || !isdigit((unsigned char)ext[2])) return -1;
    return h * 100 + (ext[1] - '0') * 10 + (ext[2] - '0');
}

int numberOfFile(const char* path) {
    const char* dot = path ? strrchr(path, '.') : nullptr;
    if (!dot || strchr(dot, '\\')) return -1;
    return extensionToNumber(dot + 1);
}

size_t MemorySource::read(void* buf, size_t n) {
    if (n > m_left) n = m_left;
    memcpy(buf, m_p, n);
    m_p += n;
    m_left -= n;
    return n;
}

bool FileSource::open(const char* path) {
    close();
    m_f = fopen(path, "rb");
    if (!m_f) return false;
    long size = -1;
    if (fseek(m_f, 0, SEEK_END) == 0) size = ftell(m_f);
    if (size < 0 || fseek(m_f, 0, SEEK_SET) != 0) {
        close();
        return false;
    }
    m_left = uint64_t(size);
    return true;
}

void FileSource::close() {
    if (m_f) fclose(m_f);
    m_f = nullptr;
    m_left = 0;
}

size_t FileSource::read(void* buf, size_t n) {
    if (!m_f) return 0;
    if (n > m_left) n = size_t(m_left);
    size_t got = fread(buf, 1, n, m_f);
    m_left -= got;
    if (got < n) m_left = 0;
    return got;
}

int writePattern(const char* path, const Pattern& pattern) {
    if (pattern.number < 1 || pattern.number > 3599) return -99;
    std::string out, info;
    put32(info, 1);
    put32(info, 4);
    put32(info, pattern.version);
    out += record(TAG_INFO, 1, int(info.size()), pattern.number, info);
    for (size_t first = 0; first < pattern.entries.size(); first += ENTRIES_PER_BLOCK) {
        size_t last = first + ENTRIES_PER_BLOCK;
        if (last > pattern.entries.size()) last = pattern.entries.size();
        std::string block;
        for (size_t i = first; i < last; ++i) {
            const Entry& e = pattern.entries[i];
            if (e.name.empty() || e.name.size() > size_t(NAME_MAX_LEN) || e.bytes.empty() ||
                e.bytes.size() > size_t(BYTES_MAX))
                return -99;
            std::string rec(e.name);
            rec.resize(NAME_MAX_LEN, '\0');
            rec.push_back(char(e.kinds));
            rec.push_back(char(e.cleanable ? 1 : 0));
            put16(rec, uint16_t(e.bytes.size()));
            std::string stored(e.bytes);
            maskSignature(reinterpret_cast<unsigned char*>(&stored[0]), stored.size());
            rec += stored;
            rec.resize(ENTRY_SIZE, '\0');
            block += rec;
        }
        out += record(TAG_SIGNATURES, int(last - first), ENTRY_SIZE, pattern.number, block);
    }
    FILE* f = fopen(path, "wb");
    if (!f) return -94;
    bool ok = fwrite(out.data(), 1, out.size(), f) == out.size();
    ok = (fclose(f) == 0) && ok;
    return ok ? 0 : -96;
}

int parsePattern(Source& in, int expected, PatternSink* sink, uint32_t* versionOut) {
    std::vector<unsigned char> block;
    uint32_t version = 0;
    int records = 0;
    while (in.remaining() > 0) {
        unsigned char head[14];
        if (in.remaining() < 14 || in.read(head, 14) != 14) return -96;
        uint32_t tag = get32(head);
        int count = int16_t(get16(head + 4));
        uint32_t crc = get32(head + 6);
        int number = int16_t(get16(head + 10));
        int entrySize = int16_t(get16(head + 12));
        if (number != expected) return -3;
        if (isRefusedTag(tag)) return -4;
        if (count < 0 || entrySize < 0) return -96;
        long long length = (long long)count * entrySize;
        if (length < 0 || (unsigned long long)length > in.remaining()) return -96;
        block.resize(size_t(length));
        if (length && in.read(block.data(), size_t(length)) != size_t(length)) return -96;
        const unsigned char* b = block.data();
        if (isTableTag(tag)) {
            if (length < 26) return -96;
            uint32_t l = 0;
            for (int off = 10; off <= 20; off += 2) l += get16(b + off);
            l = 4 * l + 8 * get16(b + 22) + 2 * get16(b + 24) + 512;
            if (26 + (long long)l > length) return -96;
            if (crc32(0, b, 26 + l) != crc) return -1;
        } else {
            if (length == 0) return -99;
            if (crc32(0, b, size_t(length)) != crc) return -1;
        }
        if (tag == TAG_INFO) {
            for (size_t i = 0; i + 8 <= size_t(entrySize);) {
                uint32_t type = get32(b + i), len = get32(b + i + 4);
                if (len > size_t(entrySize) - i - 8) break;
                if (type == 1 && len >= 4) version = get32(b + i + 8);
                i += 8 + len;
            }
        } else if (sink && tag == TAG_SIGNATURES && entrySize == ENTRY_SIZE) {
            sink->reserve(size_t(count));
            unsigned char bytes[BYTES_MAX];
            for (int i = 0; i < count; ++i) {
                const unsigned char* e = b + i * ENTRY_SIZE;
                int len = get16(e + 18);
                if (len < 1 || len > BYTES_MAX) return -1;
                memcpy(bytes, e + 20, size_t(len));
                maskSignature(bytes, size_t(len));
                const char* name = reinterpret_cast<const char*>(e);
                sink->entry(name, strnlen(name, NAME_MAX_LEN), e[16], e[17] != 0, bytes, size_t(len));
            }
        }
        ++records;
    }
    if (records == 0) return -96;
    if (versionOut) *versionOut = version ? version : uint32_t(expected) * 100;
    return expected;
}

int readPattern(const char* path, Pattern* pattern) {
    int expected = numberOfFile(path);
    FileSource in;
    if (!in.open(path)) return -94;
    if (pattern) *pattern = Pattern();
    EntryList list(pattern ? &pattern->entries : nullptr);
    uint32_t version = 0;
    int rc = parsePattern(in, expected, pattern ? &list : nullptr, &version);
    if (rc >= 0 && pattern) {
        pattern->number = expected;
        pattern->version = version;
    }
    return rc;
}

std::string backupHeader(const BackupInfo& info) {
    std::string h("VSBF");
    put32(h, 1);
    put16(h, 6);
    auto text = [&h](int type, const std::string& s) {
        h.push_back(char(type));
        put16(h, uint16_t(s.size() + 1));
        h += s;
        h.push_back('\0');
    };
    auto value = [&h](int type, uint32_t v) {
        h.push_back(char(type));
        put16(h, 4);
        put32(h, v);
    };
    text(1, info.folder);
    text(2, info.name);
    text(3, info.text);
    value(4, info.value4);
    value(5, info.wide);
    value(6, info.value6);
    for (char& c : h) c = char(~c);
    return h;
}

int parseBackup(Source& in, BackupInfo* info, std::string* body) {
    unsigned char head[10];
    if (in.read(head, sizeof head) != sizeof head) return -5;
    for (unsigned char& c : head) c = (unsigned char)~c;
    if (memcmp(head, "VSBF", 4) != 0) return -1;
    int items = get16(head + 8);
    BackupInfo out;
    std::string text;
    for (int i = 0; i < items; ++i) {
        unsigned char item[3];
        if (in.read(item, 3) != 3) return -5;
        for (unsigned char& c : item) c = (unsigned char)~c;
        int type = item[0];
        size_t len = get16(item + 1);
        if (len > in.remaining()) return -5;
        text.resize(len);
        if (len && in.read(&text[0], len) != len) return -5;
        for (char& c : text) c = char(~c);
        const unsigned char* v = reinterpret_cast<const unsigned char*>(text.data());
        uint32_t value = len >= 4 ? get32(v) : 0;
        switch (type) {
            case 1: out.folder = text.c_str(); break;
            case 2: out.name = text.c_str(); break;
            case 3: out.text = text.c_str(); break;
            case 4: out.value4 = value; break;
            case 5: out.wide = value; break;
            case 6: out.value6 = value; break;
        }
    }
    if (body) {
        body->resize(size_t(in.remaining()));
        body->resize(body->empty() ? 0 : in.read(&(*body)[0], body->size()));
        for (char& c : *body) c = char(~c);
    }
    if (info) *info = out;
    return 0;
}

int readBackup(const char* path, BackupInfo* info, std::string* body) {
    FileSource in;
    if (!in.open(path)) return -94;
    return parseBackup(in, info, body);
}

}  // namespace vxp
