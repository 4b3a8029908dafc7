// The scan engine: loads a pattern file, finds its signatures in files, archives and sector
// images with one automaton pass, and acts on infected files.
#include "vexapi.h"
#include "vxpformat.h"

#include <stdio.h>
#include <string.h>
#include <string>
#include <vector>
#include <zlib.h>

namespace {

HINSTANCE g_module;
CRITICAL_SECTION g_loadLock;

// Aho-Corasick automaton over all signature entries, expanded to a full transition table.
// A table value is (next state * 256) | 1 when the next state ends at least one signature.
struct Automaton {
    std::vector<uint32_t> delta;
    std::vector<std::vector<int>> outputs;  // entries ending in each state
    // Byte pairs that begin a signature: in the root state, positions whose pair is not here
    // cannot start a match and are passed over without stepping the automaton.
    std::vector<uint8_t> pairs;
    bool skip = false;

    void build(const std::vector<vxp::Entry>& entries) {
        std::vector<std::vector<int>> next(1, std::vector<int>(256, -1));
        outputs.assign(1, {});
        for (size_t e = 0; e < entries.size(); ++e) {
            int s = 0;
            for (unsigned char c : entries[e].bytes) {
                if (next[s][c] < 0) {
                    next[s][c] = int(next.size());
                    next.emplace_back(256, -1);
                    outputs.emplace_back();
                }
                s = next[s][c];
            }
            outputs[s].push_back(int(e));
        }
        size_t states = next.size();
        std::vector<int> fail(states, 0), queue;
        queue.reserve(states);
        for (int c = 0; c < 256; ++c) {
            if (next[0][c] < 0) next[0][c] = 0;
            else queue.push_back(next[0][c]);
        }
        for (size_t q = 0; q < queue.size(); ++q) {
            int s = queue[q];
            const std::vector<int>& failOut = outputs[fail[s]];
            outputs[s].insert(outputs[s].end(), failOut.begin(), failOut.end());
            for (int c = 0; c < 256; ++c) {
                int t = next[s][c];
                if (t < 0) {
                    next[s][c] = next[fail[s]][c];
                } else {
                    fail[t] = next[fail[s]][c];
                    queue.push_back(t);
                }
            }
        }
        pairs.assign(65536 / 8, 0);
        skip = !entries.empty();
        for (const vxp::Entry& e : entries) {
            if (e.bytes.size() < 2) {
                skip = false;
                continue;
            }
            unsigned pair = (unsigned char)e.bytes[0] | ((unsigned char)e.bytes[1] << 8);
            pairs[pair >> 3] |= uint8_t(1u << (pair & 7));
        }
        delta.assign(states * 256, 0);
        for (size_t s = 0; s < states; ++s)
            for (int c = 0; c < 256; ++c) {
                uint32_t t = uint32_t(next[s][c]);
                delta[s * 256 + c] = (t << 8) | (outputs[t].empty() ? 0u : 1u);
            }
    }
};

struct Hit {
    int entry;
    long long end;  // offset of the last signature byte
};

vxp::Pattern g_pattern;
Automaton g_automaton;
std::string g_patternPath;
bool g_loaded = false;

unsigned g_fileKinds = vxp::KIND_FILE | vxp::KIND_MACRO;

inline unsigned isPair(const uint8_t* pairs, const unsigned char* p) {
    unsigned pair = p[0] | (p[1] << 8);
    return pairs[pair >> 3] & (1u << (pair & 7));
}

// One pass over a byte stream; stops at the first hit unless every hit is wanted.
struct Matcher {
    unsigned kinds;
    std::vector<Hit>* all;  // NULL: stop at the first hit
    uint32_t state = 0;
    long long base = 0;
    int first = -1;

    Matcher(unsigned k, std::vector<Hit>* a) : kinds(k), all(a) {}

    // Returns true when scanning may stop.
    bool feed(const unsigned char* p, size_t n) {
        const uint32_t* d = g_automaton.delta.data();
        const uint8_t* pairs = g_automaton.pairs.data();
        const bool skip = g_automaton.skip;
        uint32_t s = state;
        for (size_t i = 0; i < n; ++i) {
            if (s == 0 && skip) {
                // Four positions at a time while none of them can start a signature.
                while (i + 4 < n && !(isPair(pairs, p + i) | isPair(pairs, p + i + 1) | isPair(pairs, p + i + 2) |
                                      isPair(pairs, p + i + 3)))
                    i += 4;
                while (i + 1 < n && !isPair(pairs, p + i)) ++i;
            }
            uint32_t v = d[s + p[i]];
            s = v & ~0xFFu;
            if (v & 1) {
                for (int e : g_automaton.outputs[s >> 8]) {
                    if (!(g_pattern.entries[e].kinds & kinds)) continue;
                    if (first < 0) first = e;
                    if (all) all->push_back({e, base + (long long)i});
                }
                if (first >= 0 && !all) {
                    state = s;
                    return true;
                }
            }
        }
        state = s;
        base += n;
        return false;
    }
};

void fill(VexFinding* f, int entry) {
    if (!f) return;
    f->entry = entry;
    f->virus[0] = 0;
    f->cleanable = 0;
    if (entry >= 0) {
        lstrcpynA(f->virus, g_pattern.entries[entry].name.c_str(), sizeof f->virus);
        f->cleanable = g_pattern.entries[entry].cleanable;
    }
}

uint16_t le16(const unsigned char* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t le32(const unsigned char* p) { return le16(p) | (uint32_t(le16(p + 2)) << 16); }

bool isZip(const unsigned char* p, size_t n) { return n >= 4 && le32(p) == 0x04034B50; }

// Scans the members of a zip archive in memory. Returns the entry found (and fills the layer
// names innermost first) or -1.
int scanZip(const unsigned char* z, size_t size, const VexLimits& lim, int depth,
            std::vector<std::string>& layers) {
    if (size < 22) return -1;
    size_t eocd = std::string::npos;
    size_t lowest = size > 65557 ? size - 65557 : 0;
    for (size_t i = size - 22 + 1; i-- > lowest;)
        if (le32(z + i) == 0x06054B50) {
            eocd = i;
            break;
        }
    if (eocd == std::string::npos) return -1;
    size_t count = le16(z + eocd + 10);
    size_t pos = le32(z + eocd + 16);
    int examined = 0;
    for (size_t member = 0; member < count && pos + 46 <= size && le32(z + pos) == 0x02014B50; ++member) {
        int method = le16(z + pos + 10);
        uint32_t csize = le32(z + pos + 20), usize = le32(z + pos + 24);
        size_t nlen = le16(z + pos + 28), xlen = le16(z + pos + 30), clen = le16(z + pos + 32);
        uint32_t local = le32(z + pos + 42);
        if (pos + 46 + nlen > size) break;
        std::string name(reinterpret_cast<const char*>(z + pos + 46), nlen);
        pos += 46 + nlen + xlen + clen;
        if (!name.empty() && name.back() == '/') continue;
        if (examined++ >= lim.maxFiles) break;
        if (usize > lim.maxExtract) continue;
        if (size_t(local) + 30 > size || le32(z + local) != 0x04034B50) continue;
        size_t data = local + 30 + le16(z + local + 26) + le16(z + local + 28);
        if (data > size || csize > size - data) continue;
        std::string out;
        const unsigned char* body;
        size_t bodyLen;
        if (method == 0) {
            body = z + data;
            bodyLen = csize;
        } else if (method == 8) {
            out.resize(usize);
            z_stream zs;
            memset(&zs, 0, sizeof zs);
            if (inflateInit2(&zs, -15) != Z_OK) continue;
            zs.next_in = const_cast<Bytef*>(z + data);
            zs.avail_in = csize;
            zs.next_out = reinterpret_cast<Bytef*>(&out[0]);
            zs.avail_out = usize;
            int rc = inflate(&zs, Z_FINISH);
            size_t produced = usize - zs.avail_out;
            inflateEnd(&zs);
            if (rc != Z_STREAM_END && rc != Z_OK && rc != Z_BUF_ERROR) continue;
            body = reinterpret_cast<const unsigned char*>(out.data());
            bodyLen = produced;
        } else {
            continue;
        }
        for (char& c : name)
            if (c == '/') c = '\\';
        if (depth + 1 < lim.layers && isZip(body, bodyLen)) {
            int e = scanZip(body, bodyLen, lim, depth + 1, layers);
            if (e >= 0) {
                layers.push_back(name);
                return e;
            }
        }
        Matcher m(g_fileKinds, nullptr);
        m.feed(body, bodyLen);
        if (m.first >= 0) {
            layers.push_back(name);
            return m.first;
        }
    }
    return -1;
}

const size_t CHUNK = 256 * 1024;

HANDLE openRead(const char* path) {
    return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

bool readAll(const char* path, std::string* data) {
    HANDLE h = openRead(path);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD high = 0, low = GetFileSize(h, &high);
    bool ok = high == 0 && low < 0x10000000;
    if (ok) {
        data->resize(low);
        DWORD got = 0;
        ok = low == 0 || (ReadFile(h, &(*data)[0], low, &got, nullptr) && got == low);
    }
    CloseHandle(h);
    return ok;
}

// Scans a file: archive members first (within the limits), then the file's own bytes.
int scanFile(const char* path, const VexLimits* limits, VexFinding* finding, std::vector<Hit>* hits) {
    if (finding) {
        fill(finding, -1);
        finding->layerCount = 0;
    }
    if (!g_loaded) return -1;
    HANDLE h = openRead(path);
    if (h == INVALID_HANDLE_VALUE) return -2;
    // One read buffer per thread, kept between files.
    static thread_local std::vector<unsigned char> buf;
    if (buf.size() != CHUNK) buf.resize(CHUNK);
    DWORD got = 0;
    Matcher m(g_fileKinds, hits);
    bool first = true;
    int result = 0;
    while (ReadFile(h, buf.data(), DWORD(CHUNK), &got, nullptr) && got > 0) {
        if (first && limits && limits->layers > 0 && isZip(buf.data(), got)) {
            CloseHandle(h);
            h = INVALID_HANDLE_VALUE;
            std::string whole;
            if (!readAll(path, &whole)) return -2;
            const unsigned char* z = reinterpret_cast<const unsigned char*>(whole.data());
            std::vector<std::string> layers;
            int e = scanZip(z, whole.size(), *limits, 0, layers);
            if (e >= 0) {
                fill(finding, e);
                if (finding) {
                    finding->layerCount = int(layers.size() > VEX_MAX_LAYERS ? VEX_MAX_LAYERS : layers.size());
                    for (int i = 0; i < finding->layerCount; ++i)
                        lstrcpynA(finding->layers[i], layers[i].c_str(), 260);
                }
                if (hits) hits->push_back({-1 - e, -1});  // marks a member hit
                return 1;
            }
            m.feed(z, whole.size());
            break;
        }
        first = false;
        if (m.feed(buf.data(), got)) break;
    }
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    if (m.first >= 0) {
        fill(finding, m.first);
        result = 1;
    }
    return result;
}

std::string folderOf(const std::string& path) {
    size_t s = path.find_last_of('\\');
    return s == std::string::npos ? std::string() : path.substr(0, s);
}

std::string nameOf(const std::string& path) {
    size_t s = path.find_last_of('\\');
    return s == std::string::npos ? path : path.substr(s + 1);
}

std::string uniquePath(std::string folder, const std::string& name) {
    if (!folder.empty() && folder.back() != '\\') folder += '\\';
    CreateDirectoryA(folder.c_str(), nullptr);
    std::string p = folder + name;
    for (int i = 1; GetFileAttributesA(p.c_str()) != INVALID_FILE_ATTRIBUTES && i < 1000; ++i) {
        char suffix[8];
        sprintf(suffix, ".%03d", i);
        p = folder + name + suffix;
    }
    return p;
}

void copyOut(char* out, const std::string& s) {
    if (out) lstrcpynA(out, s.c_str(), 260);
}

int writeBackupOf(const char* path, const std::string& dest, const char* virus) {
    std::string body;
    if (!readAll(path, &body)) return 0;
    vxp::BackupInfo info;
    info.folder = folderOf(path);
    info.name = nameOf(path);
    info.text = virus ? virus : "";
    info.value4 = DWORD(body.size());
    info.value6 = GetFileAttributesA(path);
    return vxp::writeBackup(dest.c_str(), info, body) == 0;
}

}  // namespace

extern "C" {

__declspec(dllexport) int __cdecl VexLoad(const char* folder, const char* expected, char* loadedPath) {
    EnterCriticalSection(&g_loadLock);
    g_loaded = false;
    std::string path;
    int status = 0;
    if (expected && *expected) {
        path = strchr(expected, '\\') ? std::string(expected)
                                      : std::string(folder) + (*folder && folder[strlen(folder) - 1] != '\\' ? "\\" : "") + expected;
        if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) path.clear();
    }
    if (path.empty() && vxp::findNewestPattern(folder, &path) < 0) status = -2;
    if (status == 0) {
        vxp::Pattern pattern;
        int rc = vxp::readPattern(path.c_str(), &pattern);
        if (rc < 0) {
            status = (rc >= -4) ? rc : -1;
        } else if (pattern.entries.empty()) {
            status = -1;
        } else {
            g_pattern = pattern;
            g_automaton.build(g_pattern.entries);
            g_patternPath = path;
            g_loaded = true;
        }
    }
    copyOut(loadedPath, path);
    LeaveCriticalSection(&g_loadLock);
    return status;
}

__declspec(dllexport) void __cdecl VexUnload(void) {
    EnterCriticalSection(&g_loadLock);
    g_loaded = false;
    g_pattern = vxp::Pattern();
    g_automaton = Automaton();
    LeaveCriticalSection(&g_loadLock);
}

// The engine version is the module's own file version: major in the high word, minor low.
__declspec(dllexport) DWORD __cdecl VexVersion(void) {
    char path[MAX_PATH];
    GetModuleFileNameA(g_module, path, sizeof path);
    DWORD dummy = 0, size = GetFileVersionInfoSizeA(path, &dummy);
    if (!size) return 0;
    std::vector<char> data(size);
    VS_FIXEDFILEINFO* info = nullptr;
    UINT len = 0;
    if (!GetFileVersionInfoA(path, 0, size, data.data()) ||
        !VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&info), &len) || !info)
        return 0;
    return info->dwFileVersionMS;
}

__declspec(dllexport) int __cdecl VexScanFile(const char* path, const VexLimits* limits, VexFinding* finding) {
    return scanFile(path, limits, finding, nullptr);
}

__declspec(dllexport) int __cdecl VexScanImage(const void* data, int size, unsigned kinds, VexFinding* finding) {
    fill(finding, -1);
    if (finding) finding->layerCount = 0;
    if (!g_loaded || !data || size <= 0) return 0;
    Matcher m(kinds, nullptr);
    m.feed(static_cast<const unsigned char*>(data), size_t(size));
    fill(finding, m.first);
    return m.first >= 0 ? 1 : 0;
}

__declspec(dllexport) int __cdecl VexCleanImage(void* data, int size, unsigned kinds) {
    if (!g_loaded || !data || size <= 0) return 0;
    std::vector<Hit> hits;
    Matcher m(kinds, &hits);
    unsigned char* p = static_cast<unsigned char*>(data);
    m.feed(p, size_t(size));
    for (const Hit& h : hits)
        if (!g_pattern.entries[h.entry].cleanable) return -1;
    for (const Hit& h : hits) {
        size_t len = g_pattern.entries[h.entry].bytes.size();
        memset(p + h.end + 1 - len, 0, len);
    }
    return int(hits.size());
}

__declspec(dllexport) int __cdecl VexRename(const char* path, const char* ext, char* newPath) {
    std::string p(path), n = nameOf(p);
    size_t dot = n.find_last_of('.');
    std::string target = p.substr(0, p.size() - n.size()) + (dot == std::string::npos ? n : n.substr(0, dot)) + ext;
    if (!MoveFileA(path, target.c_str())) return 0;
    copyOut(newPath, target);
    return 1;
}

__declspec(dllexport) int __cdecl VexMove(const char* path, const char* folder, char* newPath) {
    if (!folder || !*folder) return 0;
    std::string target = uniquePath(folder, nameOf(path));
    if (!writeBackupOf(path, target, nullptr)) return 0;
    if (!DeleteFileA(path)) {
        DeleteFileA(target.c_str());
        return 0;
    }
    copyOut(newPath, target);
    return 1;
}

__declspec(dllexport) int __cdecl VexClean(const char* path, const VexLimits* limits, const char* backupFolder,
                                           int backup, char* backupPath) {
    std::vector<Hit> hits;
    VexFinding f;
    if (scanFile(path, limits, &f, &hits) != 1) return 0;
    if (f.layerCount > 0) return 0;  // members of archives are not cleaned
    // Every hit in the file: the scan above stopped at none since hits were collected.
    for (const Hit& h : hits)
        if (h.entry < 0 || !g_pattern.entries[h.entry].cleanable) return 0;
    std::string saved;
    if (backup && backupFolder && *backupFolder) {
        saved = uniquePath(backupFolder, nameOf(path));
        if (!writeBackupOf(path, saved, f.virus)) return 0;
    }
    HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    bool ok = h != INVALID_HANDLE_VALUE;
    for (size_t i = 0; ok && i < hits.size(); ++i) {
        const std::string& sig = g_pattern.entries[hits[i].entry].bytes;
        std::string zeros(sig.size(), '\0');
        LONG high = LONG((hits[i].end + 1 - (long long)sig.size()) >> 32);
        DWORD written = 0;
        ok = SetFilePointer(h, LONG((hits[i].end + 1 - (long long)sig.size()) & 0xFFFFFFFF), &high, FILE_BEGIN) !=
                 INVALID_SET_FILE_POINTER &&
             WriteFile(h, zeros.data(), DWORD(zeros.size()), &written, nullptr) && written == zeros.size();
    }
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    if (!ok && !saved.empty()) DeleteFileA(saved.c_str());
    if (ok && !saved.empty()) copyOut(backupPath, saved);
    return ok ? 1 : 0;
}

__declspec(dllexport) int __cdecl VexDelete(const char* path) { return DeleteFileA(path) ? 1 : 0; }

__declspec(dllexport) int __cdecl VexEncode(const char* source, const char* dest) {
    return writeBackupOf(source, dest, nullptr);
}

__declspec(dllexport) int __cdecl VexVirusCount(void) { return g_loaded ? int(g_pattern.entries.size()) : 0; }

__declspec(dllexport) int __cdecl VexEntry(int index, char* name, unsigned* kinds, char* bytes, int size) {
    if (!g_loaded || index < 0 || index >= int(g_pattern.entries.size())) return 0;
    const vxp::Entry& e = g_pattern.entries[index];
    if (name) lstrcpynA(name, e.name.c_str(), 17);
    if (kinds) *kinds = e.kinds;
    if (bytes) memcpy(bytes, e.bytes.data(), e.bytes.size() < size_t(size) ? e.bytes.size() : size_t(size));
    return int(e.bytes.size());
}

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        InitializeCriticalSection(&g_loadLock);
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH) {
        DeleteCriticalSection(&g_loadLock);
    }
    return TRUE;
}
