// The scan engine: loads a pattern file, finds its signatures in files, archives and sector
// images, and acts on infected files. The matcher and the archive reader live in sigindex.cpp
// and zipscan.cpp; this file holds the file access and the exported entry points, none of
// which lets an exception out: failures become the entry point's error result.
//
// A load builds the new signature set and index beside the loaded one and then swaps them in,
// so scans go on with the old pattern while a new one loads; a scan keeps the engine it started
// with until it ends. Scans of several threads may run at once.
#include "vexapi.h"
#include "sigindex.h"
#include "vxpformat.h"
#include "zipclean.h"
#include "zipscan.h"

#include <stdio.h>
#include <string.h>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

HINSTANCE g_module;
CRITICAL_SECTION g_loadLock;  // one load at a time
CRITICAL_SECTION g_swapLock;  // held only to copy or replace the engine pointer

struct Engine {
    vex::SigSet set;
    vex::SigIndex index;
    std::string path;
};

std::shared_ptr<const Engine> g_engine;

const unsigned FILE_KINDS = vxp::KIND_FILE | vxp::KIND_MACRO;
const size_t CHUNK = 256 * 1024;

std::shared_ptr<const Engine> current() {
    EnterCriticalSection(&g_swapLock);
    std::shared_ptr<const Engine> e = g_engine;
    LeaveCriticalSection(&g_swapLock);
    return e;
}

void install(std::shared_ptr<const Engine> e) {
    EnterCriticalSection(&g_swapLock);
    g_engine.swap(e);
    LeaveCriticalSection(&g_swapLock);
    // The engine replaced is freed here, outside the lock, or by the last scan using it.
}

// Runs an entry point's body; any exception becomes the given result.
template <class F>
int guarded(int onError, F body) {
    try {
        return body();
    } catch (...) {
        return onError;
    }
}

void fill(VexFinding* f, const Engine* eng, int entry) {
    if (!f) return;
    f->entry = entry;
    f->virus[0] = 0;
    f->cleanable = 0;
    if (entry >= 0 && eng) {
        lstrcpynA(f->virus, eng->set.name(entry), sizeof f->virus);
        f->cleanable = eng->set.cleanable(entry);
    }
}

HANDLE openRead(const char* path) {
    return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

// Size of an open file, or false when it cannot be told.
bool sizeOf(HANDLE h, uint64_t* size) {
    DWORD high = 0;
    SetLastError(NO_ERROR);
    DWORD low = GetFileSize(h, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
    *size = (uint64_t(high) << 32) | low;
    return true;
}

bool seek(HANDLE h, uint64_t off) {
    LONG high = LONG(off >> 32);
    SetLastError(NO_ERROR);
    return SetFilePointer(h, LONG(off & 0xFFFFFFFFu), &high, FILE_BEGIN) != INVALID_SET_FILE_POINTER ||
           GetLastError() == NO_ERROR;
}

class FileRandom : public vex::RandomSource {
public:
    FileRandom(HANDLE h, uint64_t size) : m_h(h), m_size(size) {}
    uint64_t size() const override { return m_size; }
    bool readAt(uint64_t off, void* buf, size_t n) override {
        DWORD got = 0;
        return seek(m_h, off) && ReadFile(m_h, buf, DWORD(n), &got, nullptr) && got == n;
    }

private:
    HANDLE m_h;
    uint64_t m_size;
};

// Scans a file: archive members first (within the limits), then the file's own bytes. Returns
// 1 infected (finding filled), 0 clean, -2 unreadable, -4 stopped (the limits' stop flag).
int scanFile(const Engine& eng, const char* path, const VexLimits* limits, VexFinding* finding,
             std::vector<vex::Hit>* hits) {
    HANDLE h = openRead(path);
    if (h == INVALID_HANDLE_VALUE) return -2;
    struct Closer {
        HANDLE h;
        ~Closer() { CloseHandle(h); }
    } closer{h};
    uint64_t size = ~0ull;
    bool sized = sizeOf(h, &size);
    // One read buffer per thread, kept between files.
    static thread_local std::vector<unsigned char> buf;
    if (buf.size() != CHUNK) buf.resize(CHUNK);
    vex::StreamScan scan(eng.index, FILE_KINDS, hits);
    uint64_t done = 0;
    volatile long* stop = limits ? limits->stop : nullptr;
    while (done < size) {
        if (stop && *stop) return -4;
        // Exactly what is left: no extra read to learn that the file has ended.
        DWORD want = DWORD(size - done < CHUNK ? size - done : CHUNK), got = 0;
        if (!ReadFile(h, buf.data(), want, &got, nullptr) || got == 0) break;
        if (done == 0 && sized && limits && limits->layers > 0 && vex::isZip(buf.data(), got)) {
            vex::ArchiveLimits archive;
            archive.layers = limits->layers;
            archive.maxFiles = limits->maxFiles;
            archive.maxExtract = limits->maxExtract;
            archive.stop = stop;
            FileRandom src(h, size);
            std::vector<std::string> layers;
            bool tooDeep = false;
            int e = vex::scanZip(src, eng.index, FILE_KINDS, archive, &layers, &tooDeep);
            if (e == -2) return -4;
            if (finding) finding->nestedTooDeep = e < 0 && tooDeep;
            if (e >= 0) {
                fill(finding, &eng, e);
                if (finding) {
                    finding->layerCount = int(layers.size() > VEX_MAX_LAYERS ? VEX_MAX_LAYERS : layers.size());
                    for (int i = 0; i < finding->layerCount; ++i)
                        lstrcpynA(finding->layers[i], layers[i].c_str(), sizeof finding->layers[i]);
                }
                return 1;
            }
            if (!seek(h, got)) break;
        }
        done += got;
        if (scan.feed(buf.data(), got) || got < want) break;
    }
    if (scan.first() < 0) return 0;
    fill(finding, &eng, scan.first());
    return 1;
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

bool writeAll(HANDLE h, const void* p, size_t n) {
    DWORD written = 0;
    return WriteFile(h, p, DWORD(n), &written, nullptr) && written == n;
}

// Writes a "VSBF" backup of a file, copying it piece by piece; 1 on success.
int writeBackupOf(const char* path, const std::string& dest, const char* virus) {
    HANDLE in = openRead(path);
    if (in == INVALID_HANDLE_VALUE) return 0;
    uint64_t size = 0;
    bool ok = sizeOf(in, &size) && size < 0x100000000ull;
    HANDLE out = ok ? CreateFileA(dest.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)
                    : INVALID_HANDLE_VALUE;
    ok = out != INVALID_HANDLE_VALUE;
    if (ok) {
        vxp::BackupInfo info;
        info.folder = folderOf(path);
        info.name = nameOf(path);
        info.text = virus ? virus : "";
        info.value4 = DWORD(size);
        info.value6 = GetFileAttributesA(path);
        std::string header = vxp::backupHeader(info);
        ok = writeAll(out, header.data(), header.size());
        std::vector<unsigned char> buf(64 * 1024);
        uint64_t copied = 0;
        while (ok && copied < size) {
            DWORD got = 0;
            ok = ReadFile(in, buf.data(), DWORD(buf.size()), &got, nullptr) && got > 0;
            if (!ok) break;
            for (DWORD i = 0; i < got; ++i) buf[i] = (unsigned char)~buf[i];
            ok = writeAll(out, buf.data(), got);
            copied += got;
        }
        CloseHandle(out);
        if (!ok) DeleteFileA(dest.c_str());
    }
    CloseHandle(in);
    return ok ? 1 : 0;
}

std::string patternPath(const char* folder, const char* expected) {
    std::string path;
    if (expected && *expected) {
        path = strchr(expected, '\\')
                   ? std::string(expected)
                   : std::string(folder) + (*folder && folder[strlen(folder) - 1] != '\\' ? "\\" : "") + expected;
        if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) path.clear();
    }
    if (path.empty() && vxp::findNewestPattern(folder, &path) < 0) path.clear();
    return path;
}

// Reads and indexes a pattern file; the init status.
int build(const std::string& path, std::shared_ptr<Engine>* out) {
    try {
        std::shared_ptr<Engine> eng = std::make_shared<Engine>();
        vxp::FileSource in;
        if (!in.open(path.c_str())) return -1;
        eng->set.reserve(size_t(in.remaining() / vxp::ENTRY_SIZE) + 1);
        vex::SigSetSink sink(eng->set);
        uint32_t version = 0;
        int rc = vxp::parsePattern(in, vxp::numberOfFile(path.c_str()), &sink, &version);
        in.close();
        if (rc < 0) return rc >= -4 ? rc : -1;
        if (eng->set.size() == 0) return -1;
        eng->set.shrink();
        eng->index.build(eng->set);
        eng->path = path;
        *out = eng;
        return 0;
    } catch (const std::bad_alloc&) {
        return -98;
    }
}

}  // namespace

extern "C" {

__declspec(dllexport) int __cdecl VexLoad(const char* folder, const char* expected, char* loadedPath) {
    EnterCriticalSection(&g_loadLock);
    int status = guarded(-98, [&] {
        std::string path = patternPath(folder ? folder : "", expected);
        std::shared_ptr<Engine> fresh;
        int rc = path.empty() ? -2 : build(path, &fresh);
        // A pattern that does not load leaves none loaded.
        install(fresh);
        copyOut(loadedPath, path);
        return rc;
    });
    LeaveCriticalSection(&g_loadLock);
    return status;
}

__declspec(dllexport) void __cdecl VexUnload(void) {
    EnterCriticalSection(&g_loadLock);
    guarded(0, [] {
        install(nullptr);
        return 0;
    });
    LeaveCriticalSection(&g_loadLock);
}

// The engine version is the module's own file version: major in the high word, minor low.
__declspec(dllexport) DWORD __cdecl VexVersion(void) {
    return DWORD(guarded(0, [] {
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
        return int(info->dwFileVersionMS);
    }));
}

__declspec(dllexport) int __cdecl VexScanFile(const char* path, const VexLimits* limits, VexFinding* finding) {
    if (finding) {
        fill(finding, nullptr, -1);
        finding->layerCount = 0;
        finding->nestedTooDeep = 0;
    }
    return guarded(-3, [&] {
        std::shared_ptr<const Engine> eng = current();
        if (!eng) return -1;
        return scanFile(*eng, path, limits, finding, nullptr);
    });
}

__declspec(dllexport) int __cdecl VexScanImage(const void* data, int size, unsigned kinds, VexFinding* finding) {
    if (finding) {
        fill(finding, nullptr, -1);
        finding->layerCount = 0;
    }
    return guarded(0, [&] {
        std::shared_ptr<const Engine> eng = current();
        if (!eng || !data || size <= 0) return 0;
        vex::StreamScan scan(eng->index, kinds, nullptr);
        scan.feed(static_cast<const unsigned char*>(data), size_t(size));
        fill(finding, eng.get(), scan.first());
        return scan.first() >= 0 ? 1 : 0;
    });
}

__declspec(dllexport) int __cdecl VexCleanImage(void* data, int size, unsigned kinds) {
    return guarded(0, [&] {
        std::shared_ptr<const Engine> eng = current();
        if (!eng || !data || size <= 0) return 0;
        std::vector<vex::Hit> hits;
        vex::StreamScan scan(eng->index, kinds, &hits);
        unsigned char* p = static_cast<unsigned char*>(data);
        scan.feed(p, size_t(size));
        for (const vex::Hit& h : hits)
            if (!eng->set.cleanable(h.entry)) return -1;
        for (const vex::Hit& h : hits) {
            size_t len = eng->set.length(h.entry);
            memset(p + h.end + 1 - len, 0, len);
        }
        return int(hits.size());
    });
}

__declspec(dllexport) int __cdecl VexRename(const char* path, const char* ext, char* newPath) {
    return guarded(0, [&] {
        std::string p(path), n = nameOf(p);
        size_t dot = n.find_last_of('.');
        std::string target =
            p.substr(0, p.size() - n.size()) + (dot == std::string::npos ? n : n.substr(0, dot)) + (ext ? ext : "");
        if (!MoveFileA(path, target.c_str())) return 0;
        copyOut(newPath, target);
        return 1;
    });
}

__declspec(dllexport) int __cdecl VexMove(const char* path, const char* folder, char* newPath) {
    return guarded(0, [&] {
        if (!folder || !*folder) return 0;
        std::string target = uniquePath(folder, nameOf(path));
        if (!writeBackupOf(path, target, nullptr)) return 0;
        if (!DeleteFileA(path)) {
            DeleteFileA(target.c_str());
            return 0;
        }
        copyOut(newPath, target);
        return 1;
    });
}

__declspec(dllexport) int __cdecl VexClean(const char* path, const VexLimits* limits, const char* backupFolder,
                                           int backup, char* backupPath) {
    return guarded(0, [&] {
        std::shared_ptr<const Engine> eng = current();
        if (!eng) return 0;
        std::vector<vex::Hit> hits;
        VexFinding f;
        f.layerCount = 0;
        f.nestedTooDeep = 0;
        if (scanFile(*eng, path, limits, &f, &hits) != 1) return 0;
        if (f.layerCount > 0) return 0;  // members of archives are not cleaned
        // Every hit in the file: the scan above stopped at none since hits were collected.
        for (const vex::Hit& h : hits)
            if (!eng->set.cleanable(h.entry)) return 0;
        std::string saved;
        if (backup && backupFolder && *backupFolder) {
            saved = uniquePath(backupFolder, nameOf(path));
            if (!writeBackupOf(path, saved, f.virus)) return 0;
        }
        HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        bool ok = h != INVALID_HANDLE_VALUE;
        static const unsigned char zeros[vex::SigSet::MAX_LENGTH] = {};
        for (size_t i = 0; ok && i < hits.size(); ++i) {
            size_t len = eng->set.length(hits[i].entry);
            ok = seek(h, uint64_t(hits[i].end + 1 - (long long)len)) && writeAll(h, zeros, len);
        }
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        if (!ok && !saved.empty()) DeleteFileA(saved.c_str());
        if (ok && !saved.empty()) copyOut(backupPath, saved);
        return ok ? 1 : 0;
    });
}

__declspec(dllexport) int __cdecl VexCleanArchive(const char* path, const VexLimits* limits, const char* backupFolder,
                                                  int backup, char* backupPath) {
    return guarded(0, [&] {
        std::shared_ptr<const Engine> eng = current();
        if (!eng || !limits || limits->layers <= 0) return 0;
        // The archive is rewritten whole: one held in memory, within reason.
        HANDLE h = openRead(path);
        if (h == INVALID_HANDLE_VALUE) return 0;
        uint64_t size = 0;
        std::string archive;
        bool ok = sizeOf(h, &size) && size <= (256u << 20);
        if (ok) {
            archive.resize(size_t(size));
            DWORD got = 0;
            ok = size == 0 || (ReadFile(h, &archive[0], DWORD(size), &got, nullptr) && got == size);
        }
        CloseHandle(h);
        if (!ok) return 0;
        vex::ArchiveLimits archiveLimits;
        archiveLimits.layers = limits->layers;
        archiveLimits.maxFiles = limits->maxFiles;
        archiveLimits.maxExtract = limits->maxExtract;
        std::string cleaned;
        if (vex::cleanZip(archive, eng->index, eng->set, FILE_KINDS, archiveLimits, &cleaned) != vex::ZIP_CLEANED)
            return 0;
        std::string saved;
        if (backup && backupFolder && *backupFolder) {
            saved = uniquePath(backupFolder, nameOf(path));
            if (!writeBackupOf(path, saved, nullptr)) return 0;
        }
        // The new archive is written beside the old one, then takes its place.
        std::string fresh = std::string(path) + ".vcl";
        HANDLE out = CreateFileA(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ok = out != INVALID_HANDLE_VALUE && writeAll(out, cleaned.data(), cleaned.size());
        if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
        ok = ok && MoveFileExA(fresh.c_str(), path, MOVEFILE_REPLACE_EXISTING);
        if (!ok) {
            DeleteFileA(fresh.c_str());
            if (!saved.empty()) DeleteFileA(saved.c_str());
            return 0;
        }
        if (!saved.empty()) copyOut(backupPath, saved);
        return 1;
    });
}

__declspec(dllexport) int __cdecl VexDelete(const char* path) { return DeleteFileA(path) ? 1 : 0; }

__declspec(dllexport) int __cdecl VexEncode(const char* source, const char* dest) {
    return guarded(0, [&] { return writeBackupOf(source, dest ? dest : "", nullptr); });
}

__declspec(dllexport) int __cdecl VexVirusCount(void) {
    return guarded(0, [] {
        std::shared_ptr<const Engine> eng = current();
        return eng ? int(eng->set.size()) : 0;
    });
}

__declspec(dllexport) int __cdecl VexEntry(int index, char* name, unsigned* kinds, char* bytes, int size) {
    return guarded(0, [&] {
        std::shared_ptr<const Engine> eng = current();
        if (!eng || index < 0 || size_t(index) >= eng->set.size()) return 0;
        size_t len = eng->set.length(index);
        if (name) lstrcpynA(name, eng->set.name(index), 17);
        if (kinds) *kinds = eng->set.kinds(index);
        if (bytes && size > 0) memcpy(bytes, eng->set.bytes(index), len < size_t(size) ? len : size_t(size));
        return int(len);
    });
}

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        InitializeCriticalSection(&g_loadLock);
        InitializeCriticalSection(&g_swapLock);
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH) {
        DeleteCriticalSection(&g_swapLock);
        DeleteCriticalSection(&g_loadLock);
    }
    return TRUE;
}
