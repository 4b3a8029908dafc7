// The real-time filter driver in user mode. The client loads this module from the driver
// folder and sends every request through VxdDeviceIoControl, which has the shape of
// DeviceIoControl. The driver keeps the settings the client pushes, loads the engine module
// (vexor32.vxd) from its folder on the start request and frees it on unregister, scans and acts
// on files, and delivers events to the caller's event thread as asynchronous procedure calls.
//
// Files in the driver folder:
//   filter32.ini    [Watch] Root1..Root16: folders watched for written or renamed files;
//                   [Faults] DriverState (3 = ready), InitStatus, StartFailure=1, ScanFailure=1
//   filter32.log    journal of every request and event, decoded
//   filter32.state  the settings as last pushed, in INI form
//   Commands\       text files dropped here are run line by line and renamed "*.done":
//                     OPEN <path> [pid]      a file opened by process pid
//                     WRITE <path> [pid]     a file written by process pid
//                     CONNECT <drive>        a drive connected: posts the registered message
//                     MEMVIRUS <name>|NONE   writes Memory.img with that memory signature or clean
//                     BOOTVIRUS <letter> <name>|NONE   writes Boot_<letter>.img likewise
//   Boot_<letter>.img, Mbr_<80..>.img, Memory.img: boot sector, partition and memory images
#include "journal.h"
#include "vexapi.h"
#include "vxpformat.h"

#include <windows.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

// Event record layout shared with the client library.
const int EV_KIND = 0, EV_PATH = 12, EV_VIRUS = 16, EV_MOVED = 20, EV_LAYERS = 24, EV_LAYER_COUNT = 104,
          EV_RESULT1 = 192, EV_ACTION1 = 196, EV_RESULT2 = 200, EV_ACTION2 = 204, EV_LENGTH = 241,
          EV_DATA = 245;
const int TYPED_SIZE = 268, FLAG_SIZE = 36, PATHS_SIZE = 524, BPM_SIZE = 33, BPM_REPLY = 37,
          EVENT_REQUEST = 529;
const DWORD STATE_READY = 3;
const int IOF_OPEN = 1, IOF_WRITE = 2;

struct ScanSettings {
    int action1 = 0, action2 = 0;
    std::string move1, move2, ext1 = ".Vir", ext2 = ".Vir", backupDir;
    int backupIfClean = 0, layers = 0, zipClean = 0, oleLayer = 0, intelli = 0, active = 0;
    int maxFiles = 0x7FFFFFFF;
    unsigned maxExtract = 0x7FFFFFFF;
};

struct Channel {
    PAPCFUNC routine = nullptr;
    HANDLE thread = nullptr;
    DWORD context = 0;
};

struct Engine {
    HMODULE module = nullptr;
    VexLoadFn load;
    VexUnloadFn unload;
    VexVersionFn version;
    VexScanFileFn scanFile;
    VexScanImageFn scanImage;
    VexCleanImageFn cleanImage;
    VexRenameFn rename;
    VexMoveFn move;
    VexCleanFn clean;
    VexDeleteFn remove;
    VexEncodeFn encode;
    VexVirusCountFn count;
    VexEntryFn entry;
};

HINSTANCE g_module;
std::string g_folder;  // driver folder, with a trailing backslash
CRITICAL_SECTION g_lock;        // settings, channels, pending events, journal
CRITICAL_SECTION g_engineLock;  // engine module and scans

ScanSettings g_scan[2];  // [0] real-time (100), [1] manual (200)
Channel g_channel[2];
std::set<BYTE*> g_pending;
Engine g_engine;
std::string g_patternPath, g_expectedPattern, g_filterString = ".*";
std::vector<std::string> g_excludedNames, g_excludedPaths, g_forbidden;
std::set<DWORD> g_exceptions;
std::map<int, std::string> g_texts;  // other option texts by request code
int g_realtime = 0, g_ioFilter = 15, g_network = 0, g_backupEncode = 0, g_environment = 0;
int g_option33 = 0, g_option34 = 0, g_initStatus = 0, g_scanFailure = 0;
HWND g_notifyWnd = nullptr;
UINT g_notifyMsg = 0;
volatile LONG g_stopScan = 0;
// Lines of file-scan requests stay buffered (written with the next other line or by the
// watcher within 50 ms), so journaling does not slow scans down.
CJournal g_journal("filter32.log", nullptr, CJournal::STAMP | CJournal::KEEP_OPEN);

std::map<std::string, DWORD> g_ownWrites;  // lower-cased paths the driver wrote, with tick
HANDLE g_watchThread = nullptr, g_watchStop = nullptr, g_watchArmed = nullptr;

// ---------------------------------------------------------------- helpers

std::string lower(std::string s) {
    CharLowerBuffA(&s[0], DWORD(s.size()));
    return s;
}

std::string iniPath() { return g_folder + "filter32.ini"; }

int typeIndex(int type) { return type == 200 ? 1 : 0; }

std::string text(const BYTE* p, size_t max) { return std::string(reinterpret_cast<const char*>(p), strnlen((const char*)p, max)); }

std::vector<std::string> multiString(const BYTE* p, DWORD len) {
    std::vector<std::string> v;
    size_t i = 0;
    while (i < len && p[i]) {
        std::string s = text(p + i, len - i);
        v.push_back(s);
        i += s.size() + 1;
    }
    return v;
}

std::string join(const std::vector<std::string>& v, const char* sep) {
    std::string s;
    for (size_t i = 0; i < v.size(); ++i) s += (i ? sep : "") + v[i];
    return s;
}

int getInt(const BYTE* p) {
    int v;
    memcpy(&v, p, 4);
    return v;
}

void putInt(BYTE* p, int v) { memcpy(p, &v, 4); }

std::string withSlash(std::string s) {
    if (!s.empty() && s.back() != '\\') s += '\\';
    return s;
}

void markOwnWrite(const std::string& path) {
    if (path.empty()) return;
    EnterCriticalSection(&g_lock);
    g_ownWrites[lower(path)] = GetTickCount();
    LeaveCriticalSection(&g_lock);
}

void writeState() {
    std::string s = "[Global]\r\n";
    char b[512];
    auto add = [&s](const char* key, const std::string& value) { s += std::string(key) + "=" + value + "\r\n"; };
    auto num = [&add, &b](const char* key, long long v) {
        sprintf(b, "%lld", v);
        add(key, b);
    };
    num("RealTime", g_realtime);
    add("FilterString", g_filterString);
    num("IOFilter", g_ioFilter);
    num("NetworkScan", g_network);
    add("ExcludedNames", join(g_excludedNames, "|"));
    add("ExcludedPaths", join(g_excludedPaths, "|"));
    add("ForbiddenList", join(g_forbidden, "|"));
    std::string pids;
    for (DWORD pid : g_exceptions) pids += (pids.empty() ? "" : ",") + std::to_string(pid);
    add("ExceptionProcesses", pids);
    num("BackupEncode", g_backupEncode);
    num("Environment", g_environment);
    num("Option33", g_option33);
    num("Option34", g_option34);
    sprintf(b, "%p,%u", (void*)g_notifyWnd, g_notifyMsg);
    add("ConnectNotify", b);
    for (const auto& t : g_texts) {
        sprintf(b, "Text%d", t.first);
        add(b, t.second);
    }
    for (int i = 0; i < 2; ++i) {
        const ScanSettings& c = g_scan[i];
        s += i ? "[Scan200]\r\n" : "[Scan100]\r\n";
        num("FirstAction", c.action1);
        num("SecondAction", c.action2);
        add("MoveFolder", c.move1);
        add("SecondMoveFolder", c.move2);
        add("RenameExtension", c.ext1);
        add("SecondRenameExtension", c.ext2);
        num("BackupIfClean", c.backupIfClean);
        add("BackupFolder", c.backupDir);
        num("CompressedLayer", c.layers);
        num("ZipClean", c.zipClean);
        num("MaxCompressedFiles", c.maxFiles);
        num("MaxExtractSize", c.maxExtract);
        num("OleLayer", c.oleLayer);
        num("IntelliScan", c.intelli);
        num("ActiveAction", c.active);
    }
    HANDLE h = CreateFileA((g_folder + "filter32.state").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        DWORD written;
        WriteFile(h, s.data(), DWORD(s.size()), &written, nullptr);
        CloseHandle(h);
    }
}

// ---------------------------------------------------------------- events

BYTE* makeEvent(int kind, const std::string& path, const std::string& virus, const std::string& moved,
                const std::vector<std::string>& layers, int r1, int a1, int r2, int a2) {
    std::string data;
    auto add = [&data](const std::string& s) {
        int at = int(data.size());
        data += s;
        data.push_back('\0');
        return at;
    };
    int offPath = add(path), offVirus = add(virus), offMoved = add(moved);
    std::vector<int> offLayers;
    for (const std::string& l : layers) offLayers.push_back(add(l));
    int total = EV_DATA + int(data.size());
    BYTE* rec = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, total));
    if (!rec) return nullptr;
    putInt(rec + EV_KIND, kind);
    putInt(rec + EV_PATH, offPath);
    putInt(rec + EV_VIRUS, offVirus);
    putInt(rec + EV_MOVED, offMoved);
    for (size_t i = 0; i < offLayers.size() && i < VEX_MAX_LAYERS; ++i) putInt(rec + EV_LAYERS + 4 * i, offLayers[i]);
    putInt(rec + EV_LAYER_COUNT, int(layers.size()));
    putInt(rec + EV_RESULT1, r1);
    putInt(rec + EV_ACTION1, a1);
    putInt(rec + EV_RESULT2, r2);
    putInt(rec + EV_ACTION2, a2);
    memcpy(rec + EV_LENGTH, &total, 4);
    memcpy(rec + EV_DATA, data.data(), data.size());
    return rec;
}

void deliver(int channel, BYTE* rec) {
    if (!rec) return;
    EnterCriticalSection(&g_lock);
    Channel c = g_channel[channel];
    bool queued = false;
    if (c.routine && c.thread) {
        g_pending.insert(rec);
        queued = QueueUserAPC(c.routine, c.thread, reinterpret_cast<ULONG_PTR>(rec)) != 0;
        if (!queued) g_pending.erase(rec);
    }
    LeaveCriticalSection(&g_lock);
    if (!queued) HeapFree(GetProcessHeap(), 0, rec);
}

// ---------------------------------------------------------------- engine

void unloadEngine() {
    EnterCriticalSection(&g_engineLock);
    if (g_engine.module) {
        g_engine.unload();
        FreeLibrary(g_engine.module);
        g_journal.Write("ENGINE unloaded");
    }
    g_engine = Engine();
    LeaveCriticalSection(&g_engineLock);
}

bool engineReady() { return g_engine.module != nullptr && g_initStatus == 0; }

VexLimits limitsOf(const ScanSettings& s) {
    VexLimits l;
    l.layers = s.layers;
    l.maxFiles = s.maxFiles;
    l.maxExtract = s.maxExtract;
    return l;
}

// Applies one action; fills the new path of a moved or renamed file.
int act(int action, const ScanSettings& s, bool second, const std::string& path, std::string* newPath) {
    char out[MAX_PATH] = "";
    int ok = 0;
    switch (action) {
        case 1:
            ok = g_engine.rename(path.c_str(), (second ? s.ext2 : s.ext1).c_str(), out);
            break;
        case 2: {
            std::string folder = second ? s.move2 : s.move1;
            if (folder.empty() && second) folder = g_folder;
            ok = g_engine.move(path.c_str(), folder.c_str(), out);
            break;
        }
        case 3: {
            VexLimits l = limitsOf(s);
            ok = g_engine.clean(path.c_str(), &l, s.backupDir.c_str(), s.backupIfClean, out);
            if (ok) markOwnWrite(path);
            break;
        }
        case 4:
            ok = g_engine.remove(path.c_str());
            break;
    }
    markOwnWrite(out);
    if (newPath) *newPath = out;
    return ok;
}

// Scans one file with the settings of a channel and, when infected, acts and queues the event.
// Returns 1 when infected, 0 when clean, -1 when the file could not be scanned.
int scanAndReport(int channel, const std::string& path) {
    ScanSettings s;
    EnterCriticalSection(&g_lock);
    s = g_scan[channel];
    LeaveCriticalSection(&g_lock);
    EnterCriticalSection(&g_engineLock);
    if (!engineReady()) {
        LeaveCriticalSection(&g_engineLock);
        return -1;
    }
    VexLimits l = limitsOf(s);
    VexFinding f;
    int rc = g_engine.scanFile(path.c_str(), &l, &f);
    if (rc != 1) {
        LeaveCriticalSection(&g_engineLock);
        return rc < 0 ? -1 : 0;
    }
    int a1 = s.action1 == 99 ? 0 : s.action1, a2 = 0, r2 = 1;
    std::string moved, renamed;
    int r1 = a1 == 0 ? 1 : act(a1, s, false, path, a1 == 2 ? &moved : &renamed);
    if (!r1 && s.action2) {
        a2 = s.action2;
        r2 = act(a2, s, true, path, a2 == 2 ? &moved : &renamed);
    }
    LeaveCriticalSection(&g_engineLock);
    std::vector<std::string> layers(f.layers, f.layers + f.layerCount);
    g_journal.Write("EVENT channel=%d kind=1 file=%s virus=%s layers=%d first=%d/%d second=%d/%d moved=%s", channel ? 200 : 100,
            path.c_str(), f.virus, f.layerCount, a1, r1, a2, r2, moved.c_str());
    deliver(channel, makeEvent(1, path, f.virus, moved, layers, r1, a1, r2, a2));
    return 1;
}

// ---------------------------------------------------------------- real-time events

bool matchesFilter(const std::string& path) {
    std::string f = lower(g_filterString);
    if (f.find(".*") != std::string::npos) return true;
    size_t slash = path.find_last_of('\\'), dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
    std::string ext = lower(path.substr(dot + 1));
    size_t at = 0;
    while ((at = f.find('.' + ext, at)) != std::string::npos) {
        size_t end = at + 1 + ext.size();
        if (end == f.size() || f[end] == '.') return true;
        at = end;
    }
    return false;
}

bool underFolder(const std::string& path, const std::string& folder) {
    if (folder.empty()) return false;
    std::string f = lower(withSlash(folder));
    return lower(path).compare(0, f.size(), f) == 0;
}

// Why a real-time access is not scanned, or NULL when it is.
const char* skipReason(const std::string& path, DWORD pid, int op) {
    if (!g_realtime) return "real-time off";
    if (!g_channel[0].routine) return "no real-time channel";
    if (!(g_ioFilter & op)) return "operation filtered";
    if (pid && g_exceptions.count(pid)) return "exception process";
    if (path.compare(0, 2, "\\\\") == 0 && !g_network) return "network file";
    if (!matchesFilter(path)) return "filter string";
    std::string name = lower(path.substr(path.find_last_of('\\') + 1));
    for (const std::string& n : g_excludedNames)
        if (lower(n) == name) return "excluded name";
    for (const std::string& p : g_excludedPaths)
        if (underFolder(path, p) || lower(p) == lower(path)) return "excluded path";
    return nullptr;
}

void fileAccess(const std::string& path, DWORD pid, int op) {
    EnterCriticalSection(&g_lock);
    const char* reason = skipReason(path, pid, op);
    LeaveCriticalSection(&g_lock);
    const char* opName = op == IOF_OPEN ? "OPEN" : "WRITE";
    if (reason) {
        g_journal.Write("ACCESS %s %s pid=%lu skipped: %s", opName, path.c_str(), pid, reason);
        return;
    }
    // The monitor shows what is being scanned: a progress event comes before the verdict.
    deliver(0, makeEvent(0, path, "", "", std::vector<std::string>(), 0, 0, 0, 0));
    int rc = scanAndReport(0, path);
    g_journal.Write("ACCESS %s %s pid=%lu scanned: %s", opName, path.c_str(), pid,
            rc == 1 ? "infected" : rc == 0 ? "clean" : "unreadable");
}

// ---------------------------------------------------------------- boot areas and memory

std::string bootImage(int drive) {
    char b[32];
    sprintf(b, "Boot_%c.img", 'A' + drive);
    return g_folder + b;
}

std::string partitionImage(int disk) {
    char b[32];
    sprintf(b, "Mbr_%02X.img", disk);
    return g_folder + b;
}

std::string memoryImage() { return g_folder + "Memory.img"; }

bool readFile(const std::string& path, std::string* data) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return false;
    char buf[4096];
    size_t n;
    data->clear();
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) data->append(buf, n);
    fclose(f);
    return true;
}

bool writeFile(const std::string& path, const std::string& data) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = fwrite(data.data(), 1, data.size(), f) == data.size();
    return (fclose(f) == 0) && ok;
}

// Scans an image into a BPM reply; returns whether a virus was found.
bool scanImage(const std::string& path, unsigned kinds, int kind, int unit, BYTE* reply) {
    memset(reply, 0, BPM_REPLY);
    reply[0] = BYTE(unit);
    reply[1] = BYTE(kind);
    std::string data;
    EnterCriticalSection(&g_engineLock);
    bool found = false;
    if (engineReady() && readFile(path, &data)) {
        VexFinding f;
        found = g_engine.scanImage(data.data(), int(data.size()), kinds, &f) == 1;
        if (found) {
            putInt(reply + 2, f.entry);
            lstrcpynA(reinterpret_cast<char*>(reply + 9), f.virus, BPM_SIZE - 9);
        }
    }
    LeaveCriticalSection(&g_engineLock);
    return found;
}

int findEntry(const std::string& name, unsigned kind, std::string* bytes) {
    int n = g_engine.module ? g_engine.count() : 0;
    for (int i = 0; i < n; ++i) {
        char entryName[20], sig[vxp::BYTES_MAX];
        unsigned kinds = 0;
        int len = g_engine.entry(i, entryName, &kinds, sig, sizeof sig);
        if ((kinds & kind) && lstrcmpiA(entryName, name.c_str()) == 0) {
            bytes->assign(sig, len);
            return i;
        }
    }
    return -1;
}

// Writes a sector or memory image, with the named signature or clean.
bool plantImage(const std::string& path, const std::string& name, unsigned kind, size_t size, size_t at) {
    std::string image(size, '\0');
    for (size_t i = 0; i < size; ++i) image[i] = char(0x90 ^ (i & 0x3F));
    if (kind == VEX_BOOT) {
        image[510] = char(0x55);
        image[511] = char(0xAA);
    }
    if (lstrcmpiA(name.c_str(), "NONE") != 0) {
        std::string sig;
        EnterCriticalSection(&g_engineLock);
        int e = findEntry(name, kind, &sig);
        LeaveCriticalSection(&g_engineLock);
        if (e < 0) return false;
        image.replace(at, sig.size(), sig);
    }
    return writeFile(path, image);
}

// ---------------------------------------------------------------- command folder and watcher

std::string trim(std::string s) {
    while (!s.empty() && (s.back() == '\r' || s.back() == '\n' || s.back() == ' ' || s.back() == '\t')) s.pop_back();
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    return s.substr(i);
}

void runCommand(const std::string& line) {
    size_t sp = line.find(' ');
    std::string verb = line.substr(0, sp), rest = sp == std::string::npos ? "" : trim(line.substr(sp + 1));
    CharUpperBuffA(&verb[0], DWORD(verb.size()));
    if (verb == "OPEN" || verb == "WRITE") {
        DWORD pid = 0;
        size_t last = rest.find_last_of(' ');
        if (last != std::string::npos && rest.find_first_not_of("0123456789", last + 1) == std::string::npos &&
            last + 1 < rest.size()) {
            pid = strtoul(rest.c_str() + last + 1, nullptr, 10);
            rest = trim(rest.substr(0, last));
        }
        fileAccess(rest, pid, verb == "OPEN" ? IOF_OPEN : IOF_WRITE);
    } else if (verb == "CONNECT") {
        int drive = rest.empty() ? 0 : (toupper((unsigned char)rest[0]) - 'A' + 1);
        EnterCriticalSection(&g_lock);
        HWND wnd = g_notifyWnd;
        UINT msg = g_notifyMsg;
        LeaveCriticalSection(&g_lock);
        BOOL posted = wnd && drive >= 1 && drive <= 26 && PostMessageA(wnd, msg, WPARAM(drive), 0);
        g_journal.Write("CMD CONNECT %s -> drive %d %s", rest.c_str(), drive, posted ? "posted" : "not posted");
    } else if (verb == "MEMVIRUS") {
        bool ok = plantImage(memoryImage(), rest, VEX_MEMORY, 4096, 1024);
        g_journal.Write("CMD MEMVIRUS %s -> %s", rest.c_str(), ok ? "ok" : "failed");
    } else if (verb == "BOOTVIRUS") {
        int drive = rest.empty() ? -1 : toupper((unsigned char)rest[0]) - 'A';
        std::string name = trim(rest.substr(rest.empty() ? 0 : 1));
        bool ok = drive >= 0 && drive < 26 && plantImage(bootImage(drive), name, VEX_BOOT, 512, 0x3E);
        g_journal.Write("CMD BOOTVIRUS %s -> %s", rest.c_str(), ok ? "ok" : "failed");
    } else if (!verb.empty()) {
        g_journal.Write("CMD unknown: %s", line.c_str());
    }
}

std::string commandFolder() { return g_folder + "Commands\\"; }

void pollCommands() {
    WIN32_FIND_DATAA fd;
    std::string dir = commandFolder();
    HANDLE h = FindFirstFileA((dir + "*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return;
    std::vector<std::string> files;
    do {
        std::string n = fd.cFileName;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        if (n.size() >= 5 && lower(n.substr(n.size() - 5)) == ".done") continue;
        files.push_back(n);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    for (const std::string& n : files) {
        std::string path = dir + n, content;
        // A file still being written cannot be opened exclusively: try again later.
        HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (f == INVALID_HANDLE_VALUE) continue;
        CloseHandle(f);
        if (!readFile(path, &content)) continue;
        g_journal.Write("CMD file %s", n.c_str());
        size_t start = 0;
        while (start < content.size()) {
            size_t end = content.find('\n', start);
            if (end == std::string::npos) end = content.size();
            std::string line = trim(content.substr(start, end - start));
            if (!line.empty() && line[0] != ';' && line[0] != '#') runCommand(line);
            start = end + 1;
        }
        std::string done = path + ".done";
        DeleteFileA(done.c_str());
        MoveFileA(path.c_str(), done.c_str());
    }
}

struct WatchRoot {
    std::string path;
    HANDLE dir = INVALID_HANDLE_VALUE;
    OVERLAPPED ov;
    std::vector<DWORD> buf;
};

bool arm(WatchRoot& r) {
    DWORD got = 0;
    ResetEvent(r.ov.hEvent);
    return ReadDirectoryChangesW(r.dir, r.buf.data(), DWORD(r.buf.size() * 4), TRUE,
                                 FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_SIZE,
                                 &got, &r.ov, nullptr) != 0;
}

bool ignoredPath(const std::string& path) {
    std::string l = lower(path);
    EnterCriticalSection(&g_lock);
    DWORD now = GetTickCount();
    bool ignored = false;
    auto own = g_ownWrites.find(l);
    if (own != g_ownWrites.end()) {
        if (now - own->second < 3000) ignored = true;
        else g_ownWrites.erase(own);
    }
    for (int i = 0; i < 2 && !ignored; ++i)
        ignored = underFolder(path, g_scan[i].move1) || underFolder(path, g_scan[i].move2) ||
                  underFolder(path, g_scan[i].backupDir);
    LeaveCriticalSection(&g_lock);
    return ignored || underFolder(path, g_folder);
}

DWORD WINAPI watchThread(LPVOID) {
    std::vector<WatchRoot> roots;
    for (int i = 1; i <= 16; ++i) {
        char key[16], value[MAX_PATH] = "";
        sprintf(key, "Root%d", i);
        GetPrivateProfileStringA("Watch", key, "", value, sizeof value, iniPath().c_str());
        if (!*value) continue;
        WatchRoot r;
        r.path = withSlash(value);
        r.dir = CreateFileA(value, FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
        if (r.dir == INVALID_HANDLE_VALUE) {
            g_journal.Write("WATCH cannot open %s (%lu)", value, GetLastError());
            continue;
        }
        memset(&r.ov, 0, sizeof r.ov);
        r.ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        r.buf.resize(16384);
        roots.push_back(std::move(r));
    }
    for (WatchRoot& r : roots) g_journal.Write("WATCH %s %s", r.path.c_str(), arm(r) ? "armed" : "failed");
    SetEvent(g_watchArmed);
    std::map<std::string, DWORD> changed;  // path -> tick of the last change
    for (;;) {
        std::vector<HANDLE> handles(1, g_watchStop);
        for (WatchRoot& r : roots) handles.push_back(r.ov.hEvent);
        DWORD w = WaitForMultipleObjects(DWORD(handles.size()), handles.data(), FALSE, 50);
        if (w == WAIT_OBJECT_0) break;
        if (w > WAIT_OBJECT_0 && w < WAIT_OBJECT_0 + handles.size()) {
            WatchRoot& r = roots[w - WAIT_OBJECT_0 - 1];
            DWORD got = 0;
            if (GetOverlappedResult(r.dir, &r.ov, &got, FALSE) && got) {
                const BYTE* p = reinterpret_cast<const BYTE*>(r.buf.data());
                for (;;) {
                    const FILE_NOTIFY_INFORMATION* n = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(p);
                    if (n->Action == FILE_ACTION_ADDED || n->Action == FILE_ACTION_MODIFIED ||
                        n->Action == FILE_ACTION_RENAMED_NEW_NAME) {
                        char name[MAX_PATH * 2];
                        int len = WideCharToMultiByte(CP_ACP, 0, n->FileName, int(n->FileNameLength / 2), name,
                                                      sizeof name - 1, nullptr, nullptr);
                        name[len] = 0;
                        changed[r.path + name] = GetTickCount();
                    }
                    if (!n->NextEntryOffset) break;
                    p += n->NextEntryOffset;
                }
            }
            arm(r);
        }
        // A file is examined once it has been quiet for a moment.
        DWORD now = GetTickCount();
        for (auto it = changed.begin(); it != changed.end();) {
            if (now - it->second < 150) {
                ++it;
                continue;
            }
            std::string path = it->first;
            it = changed.erase(it);
            DWORD attrs = GetFileAttributesA(path.c_str());
            if (attrs == INVALID_FILE_ATTRIBUTES || (attrs & FILE_ATTRIBUTE_DIRECTORY) || ignoredPath(path)) continue;
            fileAccess(path, 0, IOF_WRITE);
        }
        pollCommands();
        g_journal.Flush();
    }
    for (WatchRoot& r : roots) {
        CancelIo(r.dir);
        CloseHandle(r.dir);
        CloseHandle(r.ov.hEvent);
    }
    return 0;
}

void startWatcher() {
    if (g_watchThread) return;
    CreateDirectoryA(commandFolder().c_str(), nullptr);
    g_watchStop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    g_watchArmed = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD id;
    g_watchThread = CreateThread(nullptr, 0, watchThread, nullptr, 0, &id);
    // Changes made once the engine has started must not be missed.
    if (g_watchThread) WaitForSingleObject(g_watchArmed, 5000);
}

void stopWatcher() {
    if (!g_watchThread) return;
    SetEvent(g_watchStop);
    WaitForSingleObject(g_watchThread, 10000);
    CloseHandle(g_watchThread);
    CloseHandle(g_watchStop);
    CloseHandle(g_watchArmed);
    g_watchThread = g_watchStop = g_watchArmed = nullptr;
}

// ---------------------------------------------------------------- requests

DWORD ownVersion() {
    char path[MAX_PATH];
    GetModuleFileNameA(g_module, path, sizeof path);
    DWORD dummy = 0, size = GetFileVersionInfoSizeA(path, &dummy);
    std::vector<char> data(size ? size : 1);
    VS_FIXEDFILEINFO* info = nullptr;
    UINT len = 0;
    if (!size || !GetFileVersionInfoA(path, 0, size, data.data()) ||
        !VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&info), &len) || !info)
        return 0;
    return info->dwFileVersionMS;
}

template <class F>
bool loadProc(F& f, const char* name) {
    f = reinterpret_cast<F>(GetProcAddress(g_engine.module, name));
    return f != nullptr;
}

// Loads the engine module and its pattern; returns the init status.
int startEngine() {
    unloadEngine();
    EnterCriticalSection(&g_engineLock);
    std::string path = g_folder + "vexor32.vxd";
    g_engine.module = LoadLibraryA(path.c_str());
    int status;
    if (!g_engine.module) {
        g_journal.Write("ENGINE cannot load %s (%lu)", path.c_str(), GetLastError());
        status = -84;
    } else if (!loadProc(g_engine.load, "VexLoad") || !loadProc(g_engine.unload, "VexUnload") ||
               !loadProc(g_engine.version, "VexVersion") || !loadProc(g_engine.scanFile, "VexScanFile") ||
               !loadProc(g_engine.scanImage, "VexScanImage") || !loadProc(g_engine.cleanImage, "VexCleanImage") ||
               !loadProc(g_engine.rename, "VexRename") || !loadProc(g_engine.move, "VexMove") ||
               !loadProc(g_engine.clean, "VexClean") || !loadProc(g_engine.remove, "VexDelete") ||
               !loadProc(g_engine.encode, "VexEncode") || !loadProc(g_engine.count, "VexVirusCount") ||
               !loadProc(g_engine.entry, "VexEntry")) {
        FreeLibrary(g_engine.module);
        g_engine = Engine();
        status = -84;
    } else {
        char loaded[MAX_PATH] = "";
        status = g_engine.load(g_folder.c_str(), g_expectedPattern.c_str(), loaded);
        g_patternPath = loaded;
        DWORD v = g_engine.version();
        g_journal.Write("ENGINE loaded %s version %lu.%lu pattern %s status %d", path.c_str(), v >> 16, v & 0xFFFF, loaded,
                status);
    }
    LeaveCriticalSection(&g_engineLock);
    return status;
}

int faultValue(const char* key, int fallback) {
    return int(GetPrivateProfileIntA("Faults", key, fallback, iniPath().c_str()));
}

bool faultSet(const char* key) {
    char v[32] = "";
    GetPrivateProfileStringA("Faults", key, "", v, sizeof v, iniPath().c_str());
    return *v != 0;
}

const char* codeName(DWORD code) {
    switch (code) {
        case 1: return "RegisterRealtimeEvents";
        case 2: return "Unregister";
        case 3: return "AcknowledgeEvent";
        case 6: return "TurnOffRealTimeScan";
        case 7: return "TurnOnRealTimeScan";
        case 9: return "SetFilterString";
        case 13: return "RegisterConnectNotify";
        case 14: return "AddExceptionProcess";
        case 15: return "DeleteExceptionProcess";
        case 18: return "SetIOFilter";
        case 19: return "SetExcludedPaths";
        case 21: return "SetFirstAction";
        case 22: return "SetSecondAction";
        case 23: return "SetBackupIfClean";
        case 24: return "RegisterScanEvents";
        case 25: return "ScanFile";
        case 26: return "SetCompressedLayer";
        case 27: return "SetMoveFolder";
        case 28: return "SetRenameExtension";
        case 29: return "SetSecondMoveFolder";
        case 30: return "SetSecondRenameExtension";
        case 31: return "SetScanNetworkFileFlag";
        case 33: return "SetOption33";
        case 34: return "SetOption34";
        case 35: return "GetEngineVersion";
        case 36: return "GetDriverState";
        case 37: return "StartEngine";
        case 38: return "GetPatternFile";
        case 39: return "GetValue39";
        case 40: return "ActOnFile";
        case 41: return "StopScan";
        case 42: return "ScanBootSector";
        case 43: return "ScanPartition";
        case 44: return "CleanBPVirus";
        case 45: return "GetVirusCount";
        case 46: return "GetVirusNameList";
        case 47: return "GetFilterVersion";
        case 48: return "SetEnviromentType";
        case 49: return "SetDirectory49";
        case 51: return "SetPathPair51";
        case 52: return "ScanMemory";
        case 55: return "SetExcludedFileNames";
        case 56: return "QueryInitStatus";
        case 57: return "SetForbiddenList";
        case 58: return "SetBackupDirectory";
        case 60: return "SetZipCleanFlag";
        case 61: return "GetZipCleanFlag";
        case 67: return "SetMaxExtractFileSize";
        case 68: return "GetMaxExtractFileSize";
        case 73: return "GetOleLayer";
        case 74: return "SetOleLayer";
        case 81: return "GetBackupEncodeFlag";
        case 82: return "SetBackupEncodeFlag";
        case 83: return "EncodeFile";
        case 88: return "OppCommand5";
        case 99: return "OppCommand7";
        case 105: return "OppCommand3";
        case 150: return "GetIntelliScanFlag";
        case 151: return "SetIntelliScanFlag";
        case 152: return "GetActiveActionFlag";
        case 153: return "SetActiveActionFlag";
        case 155: return "SetMaxCompressedFileCount";
        case 156: return "GetMaxCompressedFileCount";
        case 159: return "OppCommand4";
        case 160: return "OppCommand6";
    }
    return "Unknown";
}

struct Request {
    DWORD code;
    BYTE* in;
    DWORD inLen;
    BYTE* out;
    DWORD outLen;
    DWORD returned = 0;
    std::string detail;  // decoded arguments for the journal
    bool settings = false;
};

bool need(const Request& r, DWORD in, DWORD out) {
    if ((in && (!r.in || r.inLen < in)) || (out && (!r.out || r.outLen < out))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    return true;
}

bool replyInt(Request& r, int v) {
    if (!need(r, 0, 4)) return false;
    putInt(r.out, v);
    r.returned = 4;
    r.detail += " -> " + std::to_string(v);
    return true;
}

bool typedSetting(Request& r, int* value, std::string* textOut) {
    if (!need(r, TYPED_SIZE, 0)) return false;
    int v = getInt(r.in), type = getInt(r.in + 264);
    std::string t = text(r.in + 4, 260);
    if (value) *value = v;
    if (textOut) *textOut = t;
    r.detail = " value=" + std::to_string(v) + " text=" + t + " type=" + std::to_string(type);
    r.settings = true;
    return true;
}

ScanSettings& typed(const Request& r) { return g_scan[typeIndex(getInt(r.in + 264))]; }

bool flagBlock(Request& r, int ScanSettings::*field, bool set) {
    if (!need(r, FLAG_SIZE, FLAG_SIZE)) return false;
    int type = getInt(r.in + 8);
    if (type != 100 && type != 200) {
        memcpy(r.out, r.in, FLAG_SIZE);
        putInt(r.out, -99);
        r.returned = FLAG_SIZE;
        r.detail = " type=" + std::to_string(type) + " -> error -99";
        return true;
    }
    ScanSettings& s = g_scan[typeIndex(type)];
    if (set) {
        s.*field = r.in[4] ? 1 : 0;
        r.settings = true;
    }
    memcpy(r.out, r.in, FLAG_SIZE);
    putInt(r.out, 0);
    r.out[4] = BYTE(s.*field);
    r.returned = FLAG_SIZE;
    r.detail = " type=" + std::to_string(type) + " flag=" + std::to_string(s.*field);
    return true;
}

bool handle(Request& r) {
    switch (r.code) {
        case 1:
        case 24: {
            if (!need(r, EVENT_REQUEST, 0)) return false;
            int ch = r.code == 1 ? 0 : 1;
            EnterCriticalSection(&g_lock);
            Channel& c = g_channel[ch];
            if (c.thread) CloseHandle(c.thread);
            c.context = DWORD(getInt(r.in));
            c.routine = reinterpret_cast<PAPCFUNC>(static_cast<uintptr_t>(DWORD(getInt(r.in + 4))));
            DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &c.thread, 0, FALSE,
                            DUPLICATE_SAME_ACCESS);
            if (ch == 0) g_expectedPattern = text(r.in + 268, 260);
            LeaveCriticalSection(&g_lock);
            r.detail = " context=" + std::to_string(getInt(r.in)) + " pattern=" + text(r.in + 268, 260) +
                       " mode=" + std::to_string(r.in[528]);
            return true;
        }
        case 2: {
            stopWatcher();
            EnterCriticalSection(&g_lock);
            for (Channel& c : g_channel) {
                if (c.thread) CloseHandle(c.thread);
                c = Channel();
            }
            // Events not yet delivered are dropped: the event thread ends with the device, so
            // their records are marked spent instead of freed under a queued call.
            size_t dropped = g_pending.size();
            for (BYTE* rec : g_pending) putInt(rec + EV_KIND, -1);
            g_pending.clear();
            g_realtime = 0;
            LeaveCriticalSection(&g_lock);
            unloadEngine();
            r.detail = " dropped=" + std::to_string(dropped);
            return true;
        }
        case 3: {
            BYTE* rec = r.in;
            EnterCriticalSection(&g_lock);
            bool known = g_pending.erase(rec) > 0;
            LeaveCriticalSection(&g_lock);
            if (!known) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return false;
            }
            r.detail = " length=" + std::to_string(r.inLen);
            HeapFree(GetProcessHeap(), 0, rec);
            return true;
        }
        case 6:
        case 7:
            g_realtime = r.code == 7;
            r.settings = true;
            return true;
        case 9:
            if (!need(r, 1, 0)) return false;
            g_filterString = text(r.in, r.inLen);
            r.detail = " " + g_filterString;
            r.settings = true;
            return true;
        case 13:
            if (!need(r, 8, 0)) return false;
            g_notifyWnd = reinterpret_cast<HWND>(static_cast<uintptr_t>(DWORD(getInt(r.in))));
            g_notifyMsg = UINT(getInt(r.in + 4));
            r.detail = " msg=" + std::to_string(g_notifyMsg);
            r.settings = true;
            return true;
        case 14:
        case 15: {
            if (!need(r, 8, 0)) return false;
            DWORD pid = DWORD(getInt(r.in + 4));
            EnterCriticalSection(&g_lock);
            if (r.code == 14) g_exceptions.insert(pid);
            else g_exceptions.erase(pid);
            LeaveCriticalSection(&g_lock);
            r.detail = " caller=" + std::to_string(DWORD(getInt(r.in))) + " pid=" + std::to_string(pid);
            r.settings = true;
            return true;
        }
        case 18:
            if (!need(r, 4, 0)) return false;
            g_ioFilter = getInt(r.in);
            r.detail = " " + std::to_string(g_ioFilter);
            r.settings = true;
            return true;
        case 19:
        case 55:
        case 57:
        case 99:
        case 160: {
            std::vector<std::string> v = r.in ? multiString(r.in, r.inLen) : std::vector<std::string>();
            EnterCriticalSection(&g_lock);
            if (r.code == 19) g_excludedPaths = v;
            else if (r.code == 55) g_excludedNames = v;
            else if (r.code == 57) g_forbidden = v;
            else g_texts[int(r.code)] = join(v, "|");
            LeaveCriticalSection(&g_lock);
            r.detail = " " + join(v, "|") + " length=" + std::to_string(r.inLen);
            r.settings = true;
            return true;
        }
        case 21:
        case 22: {
            int action;
            std::string t;
            if (!typedSetting(r, &action, &t)) return false;
            ScanSettings& s = typed(r);
            (r.code == 21 ? s.action1 : s.action2) = action;
            if (action == 2) (r.code == 21 ? s.move1 : s.move2) = t;
            if (action == 1) (r.code == 21 ? s.ext1 : s.ext2) = t;
            return true;
        }
        case 23:
        case 26:
        case 60:
        case 67:
        case 74:
        case 155: {
            int v;
            if (!typedSetting(r, &v, nullptr)) return false;
            ScanSettings& s = typed(r);
            switch (r.code) {
                case 23: s.backupIfClean = v; break;
                case 26: s.layers = v; break;
                case 60: s.zipClean = v ? 1 : 0; return replyInt(r, 1);
                case 67: s.maxExtract = unsigned(v); break;
                case 74: s.oleLayer = v; break;
                case 155: s.maxFiles = v; break;
            }
            return true;
        }
        case 27:
        case 28:
        case 29:
        case 30:
        case 58: {
            std::string t;
            if (!typedSetting(r, nullptr, &t)) return false;
            ScanSettings& s = typed(r);
            if (r.code == 27) s.move1 = t;
            if (r.code == 28) s.ext1 = t;
            if (r.code == 29) s.move2 = t;
            if (r.code == 30) s.ext2 = t;
            if (r.code == 58) s.backupDir = t;
            return true;
        }
        case 25: {
            if (!need(r, 1, 4)) return false;
            std::string path = text(r.in, r.inLen);
            r.detail = " " + path;
            if (g_scanFailure) {
                SetLastError(ERROR_GEN_FAILURE);
                r.detail += " -> failure (fault setting)";
                return false;
            }
            InterlockedExchange(&g_stopScan, 0);
            int rc = scanAndReport(1, path);
            if (rc < 0 && !engineReady()) {
                SetLastError(ERROR_NOT_READY);
                return false;
            }
            return replyInt(r, rc == 1 ? -1 : 0);
        }
        case 31:
            if (!need(r, 4, 0)) return false;
            g_network = getInt(r.in) ? 1 : 0;
            r.settings = true;
            return true;
        case 33:
        case 34:
            if (!need(r, 4, 0)) return false;
            (r.code == 33 ? g_option33 : g_option34) = getInt(r.in);
            r.detail = " " + std::to_string(getInt(r.in));
            r.settings = true;
            return true;
        case 35: {
            EnterCriticalSection(&g_engineLock);
            DWORD v = g_engine.module ? g_engine.version() : 0;
            LeaveCriticalSection(&g_engineLock);
            if (!v) {
                SetLastError(ERROR_NOT_READY);
                return false;
            }
            return replyInt(r, int(v));
        }
        case 36:
            return replyInt(r, faultValue("DriverState", STATE_READY));
        case 37: {
            g_scanFailure = faultValue("ScanFailure", 0);
            int status = startEngine();
            if (faultSet("InitStatus")) status = faultValue("InitStatus", 0);
            if (status == 0 && faultValue("StartFailure", 0)) status = -84;
            g_initStatus = status;
            r.detail = " init status " + std::to_string(status);
            if (status != 0) {
                SetLastError(ERROR_GEN_FAILURE);
                return false;
            }
            startWatcher();
            return true;
        }
        case 38: {
            if (!need(r, 0, MAX_PATH)) return false;
            std::string p = g_patternPath;
            if (!g_engine.module && p.empty() && vxp::findNewestPattern(g_folder.c_str(), &p) < 0) {
                SetLastError(ERROR_FILE_NOT_FOUND);
                return false;
            }
            memset(r.out, 0, MAX_PATH);
            lstrcpynA(reinterpret_cast<char*>(r.out), p.c_str(), MAX_PATH);
            r.returned = MAX_PATH;
            r.detail = " -> " + p;
            return true;
        }
        case 39:
            return replyInt(r, 0);
        case 40: {
            int action;
            std::string path;
            if (!typedSetting(r, &action, &path)) return false;
            r.settings = false;
            int ok = 0;
            EnterCriticalSection(&g_engineLock);
            if (g_engine.module && action >= 1 && action <= 4) ok = act(action, g_scan[1], false, path, nullptr);
            LeaveCriticalSection(&g_engineLock);
            return replyInt(r, ok);
        }
        case 41:
            InterlockedExchange(&g_stopScan, 1);
            return true;
        case 42:
        case 43: {
            if (!need(r, 4, BPM_REPLY)) return false;
            int unit = getInt(r.in);
            bool valid = r.code == 42 ? unit >= 0 && unit < 26 : unit >= 0x80 && unit < 0x80 + 24;
            bool found = valid && (r.code == 42 ? scanImage(bootImage(unit), VEX_BOOT, 1, unit, r.out)
                                                : scanImage(partitionImage(unit), VEX_BOOT, 2, unit, r.out));
            if (!valid) memset(r.out, 0, BPM_REPLY);
            putInt(r.out + BPM_SIZE, found ? -1 : 0);
            r.returned = BPM_REPLY;
            r.detail = " unit=" + std::to_string(unit) + (found ? " -> virus " + text(r.out + 9, 24) : " -> clean");
            return true;
        }
        case 44: {
            if (!need(r, BPM_REPLY, BPM_REPLY)) return false;
            BYTE block[BPM_REPLY];
            memcpy(block, r.in, BPM_REPLY);
            int drive = getInt(block + BPM_SIZE);
            std::string path = block[1] == 2 ? partitionImage(((drive - 2) & 0x7F) | 0x80) : bootImage(drive);
            std::string image;
            int result = 1;
            EnterCriticalSection(&g_engineLock);
            if (drive >= 0 && drive < 26 && engineReady() && readFile(path, &image)) {
                int n = g_engine.cleanImage(&image[0], int(image.size()), VEX_BOOT);
                if (n > 0 && writeFile(path, image)) result = 0;
                else if (n < 0) result = 2;
            }
            LeaveCriticalSection(&g_engineLock);
            putInt(block + BPM_SIZE, result);
            memcpy(r.out, block, BPM_REPLY);
            r.returned = BPM_REPLY;
            r.detail = " drive=" + std::to_string(drive) + " -> " + std::to_string(result);
            return true;
        }
        case 45: {
            EnterCriticalSection(&g_engineLock);
            int n = g_engine.module ? g_engine.count() : 0;
            LeaveCriticalSection(&g_engineLock);
            return replyInt(r, n);
        }
        case 46: {
            if (!need(r, 8, 8)) return false;
            int capacity = getInt(r.in + 4);
            if (capacity < 0 || r.outLen < 8 + 29u * DWORD(capacity)) capacity = (r.outLen - 8) / 29;
            memmove(r.out, r.in, 8);
            EnterCriticalSection(&g_engineLock);
            int n = g_engine.module ? g_engine.count() : 0, filled = 0;
            for (int i = 0; i < n && filled < capacity; ++i) {
                BYTE* rec = r.out + 8 + 29 * filled;
                char name[20] = "";
                unsigned kinds = 0;
                g_engine.entry(i, name, &kinds, nullptr, 0);
                DWORD flags = ((kinds & VEX_FILE) ? 0x40u : 0) | ((kinds & VEX_BOOT) ? 0x80u : 0) |
                              ((kinds & VEX_MACRO) ? 0x80000000u : 0) | ((kinds & VEX_MEMORY) ? 0x100u : 0);
                memset(rec, 0, 29);
                putInt(rec, i);
                memcpy(rec + 4, &flags, 4);
                lstrcpynA(reinterpret_cast<char*>(rec + 12), name, 17);
                ++filled;
            }
            LeaveCriticalSection(&g_engineLock);
            r.returned = 8 + 29 * filled;
            r.detail = " capacity=" + std::to_string(capacity) + " -> " + std::to_string(filled);
            return true;
        }
        case 47:
            return replyInt(r, int(ownVersion()));
        case 48:
            if (!need(r, 4, 0)) return false;
            g_environment = getInt(r.in);
            r.settings = true;
            if (r.out && r.outLen >= 4) return replyInt(r, g_environment);
            return true;
        case 49:
        case 88:
        case 105:
        case 159:
            if (!need(r, 1, 0)) return false;
            g_texts[int(r.code)] = text(r.in, r.inLen);
            r.detail = " " + g_texts[int(r.code)];
            r.settings = true;
            return true;
        case 51:
            if (!need(r, 520, 0)) return false;
            g_texts[51] = text(r.in, 260) + "|" + text(r.in + 260, 260);
            r.detail = " " + g_texts[51];
            r.settings = true;
            return true;
        case 52: {
            if (!need(r, 0, BPM_REPLY)) return false;
            bool found = scanImage(memoryImage(), VEX_MEMORY, 3, 0, r.out);
            putInt(r.out + BPM_SIZE, found ? 1 : 0);
            r.returned = BPM_REPLY;
            r.detail = found ? " -> virus " + text(r.out + 9, 24) : " -> clean";
            return true;
        }
        case 56:
            return replyInt(r, g_initStatus);
        case 61:
        case 68:
        case 73:
        case 156: {
            if (!need(r, 4, 0)) return false;
            int type = r.code == 61 ? (r.inLen >= TYPED_SIZE ? getInt(r.in + 264) : 100) : getInt(r.in);
            const ScanSettings& s = g_scan[typeIndex(type)];
            r.detail = " type=" + std::to_string(type);
            switch (r.code) {
                case 61: return replyInt(r, s.zipClean);
                case 68: return replyInt(r, int(s.maxExtract));
                case 73: return replyInt(r, s.oleLayer);
                default: return replyInt(r, s.maxFiles);
            }
        }
        case 81:
            return replyInt(r, g_backupEncode);
        case 82:
            if (!need(r, 4, 0)) return false;
            g_backupEncode = getInt(r.in) ? 1 : 0;
            r.settings = true;
            return true;
        case 83: {
            if (!need(r, PATHS_SIZE, PATHS_SIZE)) return false;
            std::string src = text(r.in + 4, 260), dst = text(r.in + 264, 260);
            EnterCriticalSection(&g_engineLock);
            int ok = g_engine.module ? g_engine.encode(src.c_str(), dst.c_str()) : 0;
            LeaveCriticalSection(&g_engineLock);
            if (ok) markOwnWrite(dst);
            memmove(r.out, r.in, PATHS_SIZE);
            putInt(r.out, ok ? 0 : ERROR_WRITE_FAULT);
            r.returned = PATHS_SIZE;
            r.detail = " " + src + " -> " + dst + (ok ? " ok" : " failed");
            return true;
        }
        case 150:
            return flagBlock(r, &ScanSettings::intelli, false);
        case 151:
            return flagBlock(r, &ScanSettings::intelli, true);
        case 152:
            return flagBlock(r, &ScanSettings::active, false);
        case 153:
            return flagBlock(r, &ScanSettings::active, true);
    }
    SetLastError(ERROR_INVALID_FUNCTION);
    return false;
}

}  // namespace

extern "C" BOOL WINAPI VxdDeviceIoControl(HANDLE, DWORD code, LPVOID in, DWORD inLen, LPVOID out, DWORD outLen,
                                          LPDWORD returned, LPOVERLAPPED) {
    Request r;
    r.code = code;
    r.in = static_cast<BYTE*>(in);
    r.inLen = inLen;
    r.out = static_cast<BYTE*>(out);
    r.outLen = outLen;
    bool ok = handle(r);
    DWORD error = GetLastError();
    if (returned) *returned = r.returned;
    if (r.settings) {
        EnterCriticalSection(&g_lock);
        writeState();
        LeaveCriticalSection(&g_lock);
    }
    if (code == 25 && ok)
        g_journal.WriteBuffered("CTL %lu %s%s", code, codeName(code), r.detail.c_str());
    else
        g_journal.Write("CTL %lu %s%s%s", code, codeName(code), r.detail.c_str(), ok ? "" : " FAILED");
    SetLastError(ok ? 0 : error);
    return ok;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        DisableThreadLibraryCalls(instance);
        InitializeCriticalSection(&g_lock);
        InitializeCriticalSection(&g_engineLock);
        char path[MAX_PATH];
        GetModuleFileNameA(instance, path, sizeof path);
        char* slash = strrchr(path, '\\');
        if (slash) slash[1] = 0;
        g_folder = path;
    } else if (reason == DLL_PROCESS_DETACH && !reserved) {
        // Freed by the client: the device is closed. The client unregisters first, which stops
        // the watcher; whatever is still loaded goes now.
        if (g_engine.module) {
            g_engine.unload();
            FreeLibrary(g_engine.module);
        }
        g_journal.Close();
        DeleteCriticalSection(&g_engineLock);
        DeleteCriticalSection(&g_lock);
    }
    return TRUE;
}
