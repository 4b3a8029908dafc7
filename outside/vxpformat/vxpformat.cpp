#include "vxpformat.h"

#include <windows.h>
#include <stdio.h>
#include <string.h>

namespace vxp {

namespace {

uint32_t g_table[256];
bool g_tableReady = false;

void makeTable() {
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        g_table[i] = c;
    }
    g_tableReady = true;
}

void put16(std::string& s, uint16_t v) { s.push_back(char(v & 0xFF)); s.push_back(char(v >> 8)); }
void put32(std::string& s, uint32_t v) { put16(s, uint16_t(v & 0xFFFF)); put16(s, uint16_t(v >> 16)); }
uint16_t get16(const unsigned char* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t get32(const unsigned char* p) { return get16(p) | (uint32_t(get16(p + 2)) << 16); }

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

}  // namespace

uint32_t crc32(uint32_t crc, const void* data, size_t len) {
    if (!g_tableReady) makeTable();
    const unsigned char* p = static_cast<const unsigned char*>(data);
    while (len--) crc = g_table[(crc ^ *p++) & 0xFF] ^ (crc >> 8);
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
            rec += e.bytes;
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

int readPattern(const char* path, Pattern* pattern) {
    int expected = numberOfFile(path);
    FILE* f = fopen(path, "rb");
    if (!f) return -94;
    std::string data;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) data.append(buf, n);
    fclose(f);
    if (pattern) *pattern = Pattern();
    const unsigned char* p = reinterpret_cast<const unsigned char*>(data.data());
    size_t pos = 0, size = data.size();
    int records = 0;
    while (pos < size) {
        if (size - pos < 14) return -96;
        uint32_t tag = get32(p + pos);
        int count = int16_t(get16(p + pos + 4));
        uint32_t crc = get32(p + pos + 6);
        int number = int16_t(get16(p + pos + 10));
        int entrySize = int16_t(get16(p + pos + 12));
        pos += 14;
        if (number != expected) return -3;
        if (isRefusedTag(tag)) return -4;
        long long length = (long long)count * entrySize;
        if (length < 0 || (unsigned long long)length > size - pos) return -96;
        const unsigned char* block = p + pos;
        if (isTableTag(tag)) {
            if (length < 26) return -96;
            uint32_t l = 0;
            for (int off = 10; off <= 20; off += 2) l += get16(block + off);
            l = 4 * l + 8 * get16(block + 22) + 2 * get16(block + 24) + 512;
            if (26 + l > length) return -96;
            if (crc32(0, block, 26 + l) != crc) return -1;
        } else {
            if (length == 0) return -99;
            if (crc32(0, block, size_t(length)) != crc) return -1;
        }
        if (pattern && tag == TAG_INFO) {
            for (size_t i = 0; i + 8 <= size_t(entrySize);) {
                uint32_t type = get32(block + i), len = get32(block + i + 4);
                if (i + 8 + len > size_t(entrySize)) break;
                if (type == 1 && len >= 4) pattern->version = get32(block + i + 8);
                i += 8 + len;
            }
        } else if (pattern && tag == TAG_SIGNATURES && entrySize == ENTRY_SIZE) {
            for (int i = 0; i < count; ++i) {
                const unsigned char* e = block + i * ENTRY_SIZE;
                Entry entry;
                entry.name.assign(reinterpret_cast<const char*>(e), strnlen((const char*)e, NAME_MAX_LEN));
                entry.kinds = e[16];
                entry.cleanable = e[17] != 0;
                int len = get16(e + 18);
                if (len < 1 || len > BYTES_MAX) return -1;
                entry.bytes.assign(reinterpret_cast<const char*>(e + 20), len);
                pattern->entries.push_back(entry);
            }
        }
        pos += size_t(length);
        ++records;
    }
    if (records == 0) return -96;
    if (pattern) {
        pattern->number = expected;
        if (!pattern->version) pattern->version = uint32_t(expected) * 100;
    }
    return expected;
}

int findNewestPattern(const char* folder, std::string* path) {
    std::string dir(folder ? folder : "");
    if (!dir.empty() && dir.back() != '\\') dir += '\\';
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "VXP$SIG.*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return -2;
    int bestNumber = -1;
    uint32_t bestVersion = 0;
    do {
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        if (strlen(fd.cFileName) > 12) continue;
        int number = numberOfFile(fd.cFileName);
        if (number < 1) continue;
        // The version is read without verifying the file: a damaged newest file must be seen.
        uint32_t version = uint32_t(number) * 100;
        FILE* f = fopen((dir + fd.cFileName).c_str(), "rb");
        if (f) {
            unsigned char head[14 + 12];
            if (fread(head, 1, sizeof head, f) == sizeof head && get32(head) == TAG_INFO &&
                get32(head + 14) == 1)
                version = get32(head + 22);
            fclose(f);
        }
        bool newer = version > bestVersion || (version == bestVersion && number > bestNumber);
        if (newer) {
            bestNumber = number;
            bestVersion = version;
            if (path) *path = dir + fd.cFileName;
        }
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    return bestNumber > 0 ? bestNumber : -2;
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

int writeBackup(const char* dest, const BackupInfo& info, const std::string& body) {
    std::string out = backupHeader(info);
    size_t at = out.size();
    out += body;
    for (size_t i = at; i < out.size(); ++i) out[i] = char(~out[i]);
    HANDLE h = CreateFileA(dest, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return -94;
    DWORD written = 0;
    BOOL ok = WriteFile(h, out.data(), DWORD(out.size()), &written, nullptr) && written == out.size();
    CloseHandle(h);
    if (!ok) DeleteFileA(dest);
    return ok ? 0 : -96;
}

int readBackup(const char* path, BackupInfo* info, std::string* body) {
    FILE* f = fopen(path, "rb");
    if (!f) return -94;
    std::string data;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) data.append(buf, n);
    fclose(f);
    for (char& c : data) c = char(~c);
    const unsigned char* p = reinterpret_cast<const unsigned char*>(data.data());
    if (data.size() < 10) return -5;
    if (memcmp(p, "VSBF", 4) != 0) return -1;
    int items = get16(p + 8);
    size_t pos = 10;
    BackupInfo out;
    for (int i = 0; i < items; ++i) {
        if (pos + 3 > data.size()) return -5;
        int type = p[pos];
        size_t len = get16(p + pos + 1);
        pos += 3;
        if (pos + len > data.size()) return -5;
        std::string text(data, pos, len);
        text = text.c_str();
        uint32_t v = len >= 4 ? get32(p + pos) : 0;
        switch (type) {
            case 1: out.folder = text; break;
            case 2: out.name = text; break;
            case 3: out.text = text; break;
            case 4: out.value4 = v; break;
            case 5: out.wide = v; break;
            case 6: out.value6 = v; break;
        }
        pos += len;
    }
    if (info) *info = out;
    if (body) body->assign(data, pos, std::string::npos);
    return 0;
}

}  // namespace vxp
