// The real-time filter driver in user mode. The client loads this module from the driver
// folder and sends every request through VxdDeviceIoControl, which has the shape of
// DeviceIoControl. The driver keeps the settings the client pushes, loads the engine module
// (vexor32.vxd) from its folder on the start request and frees it on unregister, scans and acts
// on files, and queues event records (IOTWire.h) for the client: an asynchronous procedure call
// wakes the thread that registered the channel, which takes them with request 4.
//
// Real-time accesses: once the engine runs, every fixed drive is watched (not a drive that maps
// the host's whole file system, such as Wine's Z:). On Linux, where the kernel's file-access
// notification can be used, the native watcher filter32.fan reports files opened, written and
// moved in, with the writing process; elsewhere change notification reports written files.
//
// Files in the driver folder:
//   filter32.ini    [Watch] Root1..Root16: the folders watched instead of the fixed drives;
//                           FixedDrives=0: none; Events=Changes: change notification only
//                   [Commands] Enable=1: the command folder is read (tests and demonstrations)
//                   [Journal] MaxSize: bytes before the journal starts afresh (default 4 MB)
//                   [Faults] DriverState (3 = ready), InitStatus, StartFailure=1, ScanFailure=1
//   filter32.log    journal of every request and event, decoded (the older part in .log.old)
//   filter32.state  the settings as last pushed, in INI form
//   filter32.fan    the native watcher (a Linux program)
//   Commands\       text files dropped here are run line by line and renamed "*.done":
//                     OPEN <path> [pid]      a file opened by process pid
//                     WRITE <path> [pid]     a file written by process pid
//                     CONNECT <drive>        a drive connected: posts the registered message
//                     MEMVIRUS <name>|NONE   writes Memory.img with that memory signature or clean
//                     BOOTVIRUS <letter> <name>|NONE   writes Boot_<letter>.img likewise
//   Boot_<letter>.img, Mbr_<80..>.img, Memory.img: boot sector, partition and memory images
#include <winsock2.h>

#include "IOTWire.h"
#include "journal.h"
#include "vexapi.h"
#include "vxpformat.h"

#include <windows.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <deque>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

// Request records shared with the client library (IOTWire.h).
const DWORD TYPED_SIZE = sizeof(IOT_TYPED_BLOCK), TYPE_AT = offsetof(IOT_TYPED_BLOCK, nType),
            TEXT_AT = offsetof(IOT_TYPED_BLOCK, szText), FLAG_SIZE = sizeof(IOT_FLAG_BLOCK),
            FLAG_TYPE_AT = offsetof(IOT_FLAG_BLOCK, nType), PATHS_SIZE = sizeof(IOT_TWO_PATH_BLOCK),
            BPM_SIZE = sizeof(BPMINFO), BPM_REPLY = sizeof(IOT_BPM_REPLY), EVENT_REQUEST = sizeof(IOT_EVENT_REQUEST);
const DWORD STATE_READY = 3;
const int IOF_OPEN = 1, IOF_WRITE = 2;

struct ScanSettings {
    int action1 = 0, action2 = 0;
    std::string move1, move2, ext1 = ".Vir", ext2 = ".Vir", backupDir;
    int backupIfClean = 0, layers = 0, zipClean = 0, oleLayer = 0, intelli = 0, active = 0;
    int maxFiles = 0x7FFFFFFF;
    unsigned maxExtract = 0x7FFFFFFF;
};

// A channel of events: the thread that registered it and the id its records carry.
struct Channel {
    HANDLE thread = nullptr;
    UINT32 registration = 0;
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
    VexCleanArchiveFn cleanArchive;  // an engine without it cleans no archive members
    VexVirusCountFn count;
    VexEntryFn entry;
};

HINSTANCE g_module;
std::string g_folder;  // driver folder, with a trailing backslash
CRITICAL_SECTION g_lock;        // settings, channels, pending events, journal
CRITICAL_SECTION g_engineLock;  // engine module and scans

// On-demand scans set no archive limits: they get the engine's defaults.
ScanSettings manualDefaults() {
    ScanSettings s;
    s.maxFiles = VEX_DEFAULT_MAX_FILES;
    s.maxExtract = VEX_DEFAULT_MAX_EXTRACT;
    return s;
}

ScanSettings g_scan[2] = {ScanSettings(), manualDefaults()};  // [0] real-time (100), [1] manual (200)
Channel g_channel[2];
std::deque<BYTE*> g_waiting;  // records not yet taken by the client, oldest first
UINT32 g_sequence = 0;
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
std::map<std::string, DWORD> g_lastScan;   // lower-cased paths by the tick of their last real-time scan
std::set<std::string> g_cleanCache;        // lower-cased paths found clean and not written since
bool g_commands = false;                   // [Commands] Enable=1: the command folder is read
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

// An event of a scan; layerCount: the members' count unless given (-1: an archive nested too
// deep to scan). The texts stay the caller's: deliver() copies them into the record.
IOT_EVENT makeEvent(int kind, const std::string& path, const std::string& virus, const std::string& moved,
                    const std::vector<std::string>& layers, int r1, int a1, int r2, int a2, int layerCount = -2) {
    IOT_EVENT ev = {};
    ev.nKind = kind;
    ev.pszFile = const_cast<LPSTR>(path.c_str());
    ev.pszVirus = const_cast<LPSTR>(virus.c_str());
    ev.pszMovedFile = const_cast<LPSTR>(moved.c_str());
    size_t stored = layers.size() < VEX_MAX_LAYERS ? layers.size() : VEX_MAX_LAYERS;
    for (size_t i = 0; i < stored; ++i) ev.apszLayers[i] = const_cast<LPSTR>(layers[i].c_str());
    ev.nLayerCount = layerCount == -2 ? int(stored) : layerCount;
    ev.nFirstResult = r1;
    ev.nFirstAction = a1;
    ev.nSecondResult = r2;
    ev.nSecondAction = a2;
    return ev;
}

// Wakes a thread that waits for events: its wait ends, and it takes the waiting records.
VOID CALLBACK eventsWaiting(ULONG_PTR) {}

// Queues the event's record for the channel's client. The client ends its event thread before
// it frees the driver, so a call queued to that thread never outlives this module.
void deliver(int channel, const IOT_EVENT& ev) {
    EnterCriticalSection(&g_lock);
    Channel c = g_channel[channel];
    if (c.registration && c.thread) {
        DWORD length = IOT_PackEvent(&ev, c.registration, g_sequence + 1, nullptr, 0);
        BYTE* rec = length ? static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), 0, length)) : nullptr;
        if (rec && IOT_PackEvent(&ev, c.registration, ++g_sequence, rec, length) == length) {
            g_waiting.push_back(rec);
            if (!QueueUserAPC(eventsWaiting, c.thread, 0)) {
                g_waiting.pop_back();
                HeapFree(GetProcessHeap(), 0, rec);
            }
        } else {
            if (rec) HeapFree(GetProcessHeap(), 0, rec);
            g_journal.Write("EVENT channel=%d not delivered: no record for %s", channel ? 200 : 100, ev.pszFile);
        }
    }
    LeaveCriticalSection(&g_lock);
}

void dropWaiting() {
    for (BYTE* rec : g_waiting) HeapFree(GetProcessHeap(), 0, rec);
    g_waiting.clear();
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
    l.stop = nullptr;
    return l;
}

// Applies one action; fills the new path of a moved or renamed file. A finding in an archive's
// member is cleaned by rewriting the archive, when the channel's zip cleaning is on.
int act(int action, const ScanSettings& s, bool second, const std::string& path, std::string* newPath,
        const VexFinding* finding = nullptr) {
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
            if (finding && finding->layerCount > 0)
                ok = s.zipClean && g_engine.cleanArchive
                         ? g_engine.cleanArchive(path.c_str(), &l, s.backupDir.c_str(), s.backupIfClean, out)
                         : 0;
            else
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
// Returns 1 when infected, 2 when an archive in it lay too deep to be scanned (reported with the
// layer count -1, nothing acted on), 0 when clean, -1 when the file could not be scanned, -2
// when the stop request ended the scan (manual channel only).
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
    if (channel == 1) l.stop = &g_stopScan;
    VexFinding f;
    f.nestedTooDeep = 0;
    int rc = g_engine.scanFile(path.c_str(), &l, &f);
    if (rc == -4) {
        LeaveCriticalSection(&g_engineLock);
        return -2;
    }
    if (rc == 0 && f.nestedTooDeep) {
        LeaveCriticalSection(&g_engineLock);
        g_journal.Write("EVENT channel=%d kind=1 file=%s virus= layers=-1 (an archive nested too deep) first=0/1 second=0/1",
                channel ? 200 : 100, path.c_str());
        deliver(channel, makeEvent(1, path, "", "", std::vector<std::string>(), 1, 0, 1, 0, -1));
        return 2;
    }
    if (rc != 1) {
        LeaveCriticalSection(&g_engineLock);
        return rc < 0 ? -1 : 0;
    }
    // The actions: the configured ones, or in active-action mode the driver's own choice: clean
    // what can be cleaned, move (to quarantine) what cannot or what the cleaning left infected.
    int first = s.action1 == 99 ? 0 : s.action1, second = s.action2;
    if (s.active) {
        first = f.cleanable ? 3 : 2;
        second = first == 3 ? 2 : 0;
    }
    int a1 = first, a2 = 0, r2 = 1;
    std::string moved, renamed;
    int r1 = a1 == 0 ? 1 : act(a1, s, false, path, a1 == 2 ? &moved : &renamed, &f);
    if (!r1 && second) {
        a2 = second;
        r2 = act(a2, s, true, path, a2 == 2 ? &moved : &renamed, &f);
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
    if (!g_channel[0].registration) return "no real-time channel";
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

// Where a real-time access was seen.
enum AccessSource { FROM_COMMAND, FROM_CHANGES, FROM_NATIVE };

// A file opened again within this time after its last scan is not scanned again: the open is
// most likely the scan's own read, which the native watcher sees under another process.
const DWORD RESCAN_QUIET_MS = 2000;
const size_t MAX_REMEMBERED = 8192;

double qpcMicroseconds() {
    static LARGE_INTEGER s_freq = {};
    if (!s_freq.QuadPart) QueryPerformanceFrequency(&s_freq);
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return double(t.QuadPart) * 1e6 / double(s_freq.QuadPart);
}

// Why an access the native watcher saw need not be scanned (file opened only), or NULL. Under g_lock.
const char* nativeOpenReason(const std::string& key) {
    auto it = g_lastScan.find(key);
    if (it != g_lastScan.end() && GetTickCount() - it->second < RESCAN_QUIET_MS) return "just scanned";
    if (g_cleanCache.count(key)) return "unchanged since found clean";
    return nullptr;
}

void rememberScan(const std::string& key, int rc) {
    EnterCriticalSection(&g_lock);
    DWORD now = GetTickCount();
    if (g_lastScan.size() >= MAX_REMEMBERED) {
        for (auto it = g_lastScan.begin(); it != g_lastScan.end();)
            it = now - it->second >= RESCAN_QUIET_MS ? g_lastScan.erase(it) : std::next(it);
        if (g_lastScan.size() >= MAX_REMEMBERED) g_lastScan.clear();
    }
    g_lastScan[key] = now;
    if (rc == 0) {
        if (g_cleanCache.size() >= MAX_REMEMBERED) g_cleanCache.clear();
        g_cleanCache.insert(key);
    }
    LeaveCriticalSection(&g_lock);
}

void fileAccess(const std::string& path, DWORD pid, int op, AccessSource source, DWORD unixPid = 0) {
    std::string key = lower(path);
    EnterCriticalSection(&g_lock);
    const char* reason = skipReason(path, pid, op);
    if (op != IOF_OPEN) g_cleanCache.erase(key);
    if (!reason && source == FROM_NATIVE && op == IOF_OPEN) reason = nativeOpenReason(key);
    LeaveCriticalSection(&g_lock);
    if (!reason && source == FROM_NATIVE && op == IOF_OPEN) {
        // A file being created is opened empty; its content is scanned once it is written.
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) reason = "gone";
        else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) reason = "folder";
        else if (!data.nFileSizeLow && !data.nFileSizeHigh) reason = "empty file";
    }
    const char* opName = op == IOF_OPEN ? "OPEN" : "WRITE";
    char who[48];
    if (unixPid) sprintf(who, "pid=%lu unix=%lu", pid, unixPid);
    else sprintf(who, "pid=%lu", pid);
    if (reason) {
        // Skipped opens are many (every program start opens its libraries): written with the next line.
        if (source == FROM_NATIVE && op == IOF_OPEN)
            g_journal.WriteBuffered("ACCESS %s %s %s skipped: %s", opName, path.c_str(), who, reason);
        else
            g_journal.Write("ACCESS %s %s %s skipped: %s", opName, path.c_str(), who, reason);
        return;
    }
    // The monitor shows what is being scanned: a progress event comes before the verdict.
    deliver(0, makeEvent(0, path, "", "", std::vector<std::string>(), 0, 0, 0, 0));
    int rc = scanAndReport(0, path);
    rememberScan(key, rc);
    g_journal.Write("ACCESS %s %s %s scanned: %s us=%.0f", opName, path.c_str(), who,
            rc == 1 ? "infected" : rc == 2 ? "nested too deep" : rc == 0 ? "clean" : "unreadable", qpcMicroseconds());
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
            lstrcpynA(reinterpret_cast<char*>(reply + offsetof(BPMINFO, szVirusName)), f.virus, sizeof(BPMINFO::szVirusName));
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
        fileAccess(rest, pid, verb == "OPEN" ? IOF_OPEN : IOF_WRITE, FROM_COMMAND);
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
    // The driver folder as loaded (often in short form) and in long form: the client's own files.
    static std::string s_longFolder;
    if (s_longFolder.empty()) {
        char longName[MAX_PATH * 2] = "";
        DWORD n = GetLongPathNameA(g_folder.c_str(), longName, sizeof longName);
        s_longFolder = n && n < sizeof longName ? withSlash(longName) : g_folder;
    }
    return ignored || underFolder(path, g_folder) || underFolder(path, s_longFolder);
}

// ---- what is watched

// The Unix path of a Windows path, when the driver runs on Wine; empty elsewhere.
std::string unixPathOf(const std::string& path) {
    typedef char*(CDECL * UnixNameFn)(LPCWSTR);
    static UnixNameFn s_fn = reinterpret_cast<UnixNameFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (!s_fn) return std::string();
    WCHAR wide[MAX_PATH * 2];
    if (!MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH * 2)) return std::string();
    char* unixName = s_fn(wide);
    if (!unixName) return std::string();
    std::string result = unixName;
    HeapFree(GetProcessHeap(), 0, unixName);
    return result;
}

// The folders watched: [Watch] Root1..Root16 when any is given; otherwise, unless
// [Watch] FixedDrives=0, every fixed drive, as a file-system filter sees them, except a drive
// that maps the host's whole file system (Wine's Z:).
std::vector<std::string> watchRoots() {
    std::vector<std::string> roots;
    for (int i = 1; i <= 16; ++i) {
        char key[16], value[MAX_PATH] = "";
        sprintf(key, "Root%d", i);
        GetPrivateProfileStringA("Watch", key, "", value, sizeof value, iniPath().c_str());
        if (*value) roots.push_back(withSlash(value));
    }
    if (!roots.empty() || !GetPrivateProfileIntA("Watch", "FixedDrives", 1, iniPath().c_str())) return roots;
    DWORD drives = GetLogicalDrives();
    for (int d = 0; d < 26; ++d) {
        if (!(drives & (1u << d))) continue;
        char root[4] = {char('A' + d), ':', '\\', 0};
        if (GetDriveTypeA(root) != DRIVE_FIXED) continue;
        if (unixPathOf(root) == "/") {
            g_journal.Write("WATCH %s skipped: it maps the host's whole file system", root);
            continue;
        }
        roots.push_back(root);
    }
    return roots;
}

// ---- native file-access events (Linux fanotify through filter32.fan)

struct Native {
    SOCKET conn = INVALID_SOCKET;
    HANDLE thread = nullptr;
    HANDLE lost = nullptr;  // set when the watcher program ended while the driver ran
    std::vector<std::string> roots;  // by index, with a trailing backslash
    DWORD selfUnixPid = 0;
    std::string pending;  // received, not yet handled
};
Native g_native;

// One line from the watcher: 1, or 0 when the time ran out, -1 when the connection ended.
int receiveLine(Native& n, std::string* line, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        size_t nl = n.pending.find('\n');
        if (nl != std::string::npos) {
            *line = n.pending.substr(0, nl);
            n.pending.erase(0, nl + 1);
            return 1;
        }
        if (timeoutMs != INFINITE) {
            DWORD spent = GetTickCount() - start;
            if (spent >= timeoutMs) return 0;
            fd_set set;
            FD_ZERO(&set);
            FD_SET(n.conn, &set);
            timeval tv = {LONG((timeoutMs - spent) / 1000), LONG((timeoutMs - spent) % 1000 * 1000)};
            int ready = select(0, &set, nullptr, nullptr, &tv);
            if (ready == 0) return 0;
            if (ready < 0) return -1;
        }
        char buf[8192];
        int got = recv(n.conn, buf, sizeof buf, 0);
        if (got <= 0) return -1;
        n.pending.append(buf, got);
    }
}

bool readLine(Native& n, std::string* line, DWORD timeoutMs) { return receiveLine(n, line, timeoutMs) > 0; }

std::string fromUtf8(const std::string& s) {
    int wlen = MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), nullptr, 0);
    std::vector<WCHAR> w(wlen + 1);
    MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), w.data(), wlen);
    int alen = WideCharToMultiByte(CP_ACP, 0, w.data(), wlen, nullptr, 0, nullptr, nullptr);
    std::string a(alen, '\0');
    WideCharToMultiByte(CP_ACP, 0, w.data(), wlen, &a[0], alen, nullptr, nullptr);
    return a;
}

// An opened file is looked at a moment later: Wine opens every file in its server process, so
// an open cannot be told from the writing that may follow. An open followed by that file's write
// (the writer named) is dropped; an open whose file a Wine program still holds for writing is
// left to the write that will follow.
const DWORD OPEN_HOLD_MS = 25;

struct HeldOpen {
    std::string path;
    DWORD unixPid;
    DWORD due;
};

bool parseNative(const std::string& line, char* op, DWORD* unixPid, std::string* path) {
    unsigned long pid = 0;
    int root = -1, used = 0;
    if (sscanf(line.c_str(), "E %c %lu %d %n", op, &pid, &root, &used) < 3 || !used || root < 0 ||
        root >= int(g_native.roots.size()))
        return false;
    std::string rel = fromUtf8(line.substr(used));
    for (char& c : rel)
        if (c == '/') c = '\\';
    *path = g_native.roots[root] + rel;
    *unixPid = DWORD(pid);
    return true;
}

// Only the driver's own process can be named: Wine tells a program no other process's Unix id.
DWORD windowsPidOf(DWORD unixPid) {
    return unixPid && unixPid == g_native.selfUnixPid ? GetCurrentProcessId() : 0;
}

bool heldForWriting(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
        return false;
    }
    return GetLastError() == ERROR_SHARING_VIOLATION;
}

void releaseOpen(const HeldOpen& open) {
    if (ignoredPath(open.path)) return;
    DWORD pid = windowsPidOf(open.unixPid);
    std::string key = lower(open.path);
    EnterCriticalSection(&g_lock);
    const char* reason = skipReason(open.path, pid, IOF_OPEN);
    if (!reason) reason = nativeOpenReason(key);
    LeaveCriticalSection(&g_lock);
    if (reason) {
        g_journal.WriteBuffered("ACCESS OPEN %s pid=%lu unix=%lu skipped: %s", open.path.c_str(), pid, open.unixPid, reason);
        return;
    }
    if (heldForWriting(open.path)) {
        // The probe opened the file too: that open comes back as an event and must not count.
        rememberScan(key, -1);
        g_journal.WriteBuffered("ACCESS OPEN %s pid=%lu unix=%lu skipped: being written", open.path.c_str(), pid,
                open.unixPid);
        return;
    }
    fileAccess(open.path, pid, IOF_OPEN, FROM_NATIVE, open.unixPid);
}

DWORD WINAPI nativeThread(LPVOID) {
    std::deque<HeldOpen> held;
    for (;;) {
        DWORD wait = INFINITE;
        if (!held.empty()) {
            LONG left = LONG(held.front().due - GetTickCount());
            wait = left > 0 ? DWORD(left) : 0;
        }
        std::string line;
        int got = receiveLine(g_native, &line, wait);
        if (got < 0) break;
        if (got == 0) {
            HeldOpen open = held.front();
            held.pop_front();
            releaseOpen(open);
            continue;
        }
        if (line.compare(0, 2, "E ") == 0) {
            char op = 0;
            DWORD unixPid = 0;
            std::string path;
            if (!parseNative(line, &op, &unixPid, &path)) continue;
            if (op == 'O') {
                held.push_back({path, unixPid, GetTickCount() + OPEN_HOLD_MS});
                continue;
            }
            std::string key = lower(path);
            for (auto it = held.begin(); it != held.end();)
                it = lower(it->path) == key ? held.erase(it) : std::next(it);
            if (!ignoredPath(path)) fileAccess(path, windowsPidOf(unixPid), IOF_WRITE, FROM_NATIVE, unixPid);
        } else if (line == "OVERFLOW") {
            g_journal.Write("WATCH native events were lost (queue overflow)");
        } else {
            g_journal.Write("WATCH native: %s", line.c_str());
        }
    }
    if (g_native.lost) {
        g_journal.Write("WATCH the native watcher ended; watching by change notification");
        SetEvent(g_native.lost);
    }
    return 0;
}

void closeNative() {
    if (g_native.conn != INVALID_SOCKET) {
        SOCKET s = g_native.conn;
        shutdown(s, SD_BOTH);
        if (g_native.thread) {
            // The thread must not take the end of the connection for a lost watcher.
            HANDLE lost = g_native.lost;
            g_native.lost = nullptr;
            closesocket(s);
            g_native.conn = INVALID_SOCKET;
            WaitForSingleObject(g_native.thread, INFINITE);
            CloseHandle(g_native.thread);
            g_native.lost = lost;
        } else {
            closesocket(s);
            g_native.conn = INVALID_SOCKET;
        }
    }
    g_native.thread = nullptr;
    g_native.pending.clear();
    g_native.roots.clear();
    g_native.selfUnixPid = 0;
}

// The program interpreter an ELF file names (its PT_INTERP), or empty. Files copied under Wine
// lose their execute permission; the interpreter runs the watcher all the same.
std::string elfInterpreter(const std::string& path) {
    std::string elf;
    if (!readFile(path, &elf) || elf.size() < 64 || elf.compare(0, 4, "\x7f" "ELF") != 0) return std::string();
    bool wide = elf[4] == 2;
    auto u16 = [&elf](size_t at) { return at + 2 <= elf.size() ? unsigned(BYTE(elf[at]) | BYTE(elf[at + 1]) << 8) : 0u; };
    auto u32 = [&u16](size_t at) { return u16(at) | u16(at + 2) << 16; };
    size_t phoff = wide ? u32(0x20) : u32(0x1C);
    unsigned size = wide ? u16(0x36) : u16(0x2A), count = wide ? u16(0x38) : u16(0x2C);
    for (unsigned i = 0; i < count; ++i) {
        size_t ph = phoff + size_t(i) * size;
        if (ph + (wide ? 40 : 20) > elf.size() || u32(ph) != 3) continue;
        size_t off = wide ? u32(ph + 8) : u32(ph + 4), len = wide ? u32(ph + 32) : u32(ph + 16);
        if (off + len > elf.size()) return std::string();
        return std::string(elf.c_str() + off, strnlen(elf.c_str() + off, len));
    }
    return std::string();
}

// Starts filter32.fan for the roots; false (and nothing running) when the machine does not
// let it watch file accesses, or [Watch] Events=Changes asks for change notification.
bool startNative(const std::vector<std::string>& roots) {
    char mode[32] = "";
    GetPrivateProfileStringA("Watch", "Events", "Auto", mode, sizeof mode, iniPath().c_str());
    if (lstrcmpiA(mode, "Changes") == 0) {
        g_journal.Write("WATCH native events off by setting");
        return false;
    }
    std::string helper = g_folder + "filter32.fan", beacon = g_folder + "filter32.bcn";
    std::string unixBeacon = unixPathOf(beacon);
    if (unixBeacon.empty() || GetFileAttributesA(helper.c_str()) == INVALID_FILE_ATTRIBUTES) {
        g_journal.Write("WATCH native events: no watcher program for this system");
        return false;
    }
    std::string args;
    for (const std::string& r : roots) {
        std::string u = unixPathOf(r);
        if (u.empty()) {
            g_journal.Write("WATCH native events: %s has no Unix path", r.c_str());
            return false;
        }
        args += " \"" + u + "\"";
    }
    WSADATA wsa;
    WSAStartup(MAKEWORD(1, 1), &wsa);
    SOCKET listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int len = sizeof addr;
    if (listener == INVALID_SOCKET || bind(listener, (sockaddr*)&addr, sizeof addr) != 0 || listen(listener, 1) != 0 ||
        getsockname(listener, (sockaddr*)&addr, &len) != 0) {
        if (listener != INVALID_SOCKET) closesocket(listener);
        g_journal.Write("WATCH native events: no loopback socket (%d)", WSAGetLastError());
        return false;
    }
    char token[32];
    sprintf(token, "%08lx%08lx", GetCurrentProcessId() * 2654435761u, GetTickCount() ^ DWORD(qpcMicroseconds()));
    char head[64];
    sprintf(head, " %u %s", ntohs(addr.sin_port), token);
    // Wine starts a Unix program only from a file it may execute; the shell starts the
    // interpreter the watcher names, which needs no such permission.
    auto quoted = [](const std::string& t) {
        std::string q = "'";
        for (char c : t) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return q + "'";
    };
    std::string interpreter = elfInterpreter(helper), cmd;
    if (interpreter.empty()) {
        cmd = "\"" + helper + "\"" + head + " \"" + unixBeacon + "\"" + args;
    } else {
        cmd = "/bin/sh -c \"exec " + quoted(interpreter) + " " + quoted(unixPathOf(helper)) + head + " " + quoted(unixBeacon);
        for (const std::string& r : roots) cmd += " " + quoted(unixPathOf(r));
        cmd += "\"";
    }
    STARTUPINFOA si = {sizeof si};
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        closesocket(listener);
        g_journal.Write("WATCH native events: the watcher program did not start (%lu)", GetLastError());
        return false;
    }
    // Wine starts a Unix program without process handles: what it leaves in the record is no
    // handle of ours (closing it could close another handle of this process).
    fd_set set;
    FD_ZERO(&set);
    FD_SET(listener, &set);
    timeval tv = {10, 0};
    g_native.conn = select(0, &set, nullptr, nullptr, &tv) > 0 ? accept(listener, nullptr, nullptr) : INVALID_SOCKET;
    closesocket(listener);
    std::string line;
    bool ready = g_native.conn != INVALID_SOCKET && readLine(g_native, &line, 10000) && line == std::string("HELLO ") + token &&
                 readLine(g_native, &line, 30000) && line.compare(0, 6, "READY ") == 0;
    if (!ready) {
        g_journal.Write("WATCH native events not available: %s",
                g_native.conn == INVALID_SOCKET ? "the watcher program did not connect" : line.c_str());
        closeNative();
        return false;
    }
    g_native.roots = roots;
    g_journal.Write("WATCH native events, %s folders marked", line.c_str() + 6);
    // The process that closes the beacon is this one: its accesses are the driver's own.
    HANDLE h = CreateFileA(beacon.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        DWORD written;
        WriteFile(h, "beacon", 6, &written, nullptr);
        CloseHandle(h);
        std::string held;
        DWORD until = GetTickCount() + 3000;
        while (!g_native.selfUnixPid && LONG(until - GetTickCount()) > 0 &&
               readLine(g_native, &line, until - GetTickCount())) {
            if (line.compare(0, 5, "SELF ") == 0) g_native.selfUnixPid = strtoul(line.c_str() + 5, nullptr, 10);
            else held += line + "\n";
        }
        g_native.pending.insert(0, held);
        DeleteFileA(beacon.c_str());
    }
    g_journal.Write("WATCH own process is unix %lu", g_native.selfUnixPid);
    DWORD id;
    g_native.thread = CreateThread(nullptr, 0, nativeThread, nullptr, 0, &id);
    return true;
}

// ---- the watcher thread: change notification where native events are not available, and
// the command folder

std::vector<WatchRoot> openRoots(const std::vector<std::string>& paths) {
    std::vector<WatchRoot> roots;
    for (const std::string& p : paths) {
        WatchRoot r;
        r.path = p;
        r.dir = CreateFileA(p.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
        if (r.dir == INVALID_HANDLE_VALUE) {
            g_journal.Write("WATCH cannot open %s (%lu)", p.c_str(), GetLastError());
            continue;
        }
        memset(&r.ov, 0, sizeof r.ov);
        r.ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        r.buf.resize(16384);
        roots.push_back(std::move(r));
    }
    for (WatchRoot& r : roots) g_journal.Write("WATCH %s %s", r.path.c_str(), arm(r) ? "armed" : "failed");
    return roots;
}

void closeRoots(std::vector<WatchRoot>& roots) {
    for (WatchRoot& r : roots) {
        CancelIo(r.dir);
        CloseHandle(r.dir);
        CloseHandle(r.ov.hEvent);
    }
    roots.clear();
}

// A changed file is scanned once its writer is done: when it has been quiet for a moment and
// can be opened without sharing writes (a Wine writer's open handle refuses that), or when it
// has been quiet for longer (a writer outside Wine is not seen holding it).
bool writerDone(const std::string& path, DWORD quiet) {
    if (quiet >= 100) return true;
    if (quiet < 2) return false;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return GetLastError() != ERROR_SHARING_VIOLATION;
    CloseHandle(h);
    return true;
}

struct WatchStart {
    std::vector<std::string> roots;
    bool native;
};

DWORD WINAPI watchThread(LPVOID param) {
    WatchStart* start = static_cast<WatchStart*>(param);
    std::vector<std::string> paths = start->roots;
    std::vector<WatchRoot> roots;
    if (!start->native) roots = openRoots(paths);
    delete start;
    SetEvent(g_watchArmed);
    std::map<std::string, DWORD> changed;  // path -> tick of the last change
    for (;;) {
        std::vector<HANDLE> handles(1, g_watchStop);
        if (g_native.lost) handles.push_back(g_native.lost);
        size_t first = handles.size();
        for (WatchRoot& r : roots) handles.push_back(r.ov.hEvent);
        DWORD w = WaitForMultipleObjects(DWORD(handles.size()), handles.data(), FALSE, changed.empty() ? 50 : 2);
        if (w == WAIT_OBJECT_0) break;
        if (first == 2 && w == WAIT_OBJECT_0 + 1) {
            ResetEvent(g_native.lost);
            closeRoots(roots);
            roots = openRoots(paths);
        } else if (w >= WAIT_OBJECT_0 + first && w < WAIT_OBJECT_0 + handles.size()) {
            WatchRoot& r = roots[w - WAIT_OBJECT_0 - first];
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
        DWORD now = GetTickCount();
        for (auto it = changed.begin(); it != changed.end();) {
            if (!writerDone(it->first, now - it->second)) {
                ++it;
                continue;
            }
            std::string path = it->first;
            it = changed.erase(it);
            DWORD attrs = GetFileAttributesA(path.c_str());
            if (attrs == INVALID_FILE_ATTRIBUTES || (attrs & FILE_ATTRIBUTE_DIRECTORY) || ignoredPath(path)) continue;
            fileAccess(path, 0, IOF_WRITE, FROM_CHANGES);
        }
        if (g_commands) pollCommands();
        g_journal.Flush();
    }
    closeRoots(roots);
    return 0;
}

void startWatcher() {
    if (g_watchThread) return;
    g_commands = GetPrivateProfileIntA("Commands", "Enable", 0, iniPath().c_str()) != 0;
    if (g_commands) CreateDirectoryA(commandFolder().c_str(), nullptr);
    WatchStart* start = new WatchStart;
    start->roots = watchRoots();
    g_native.lost = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    start->native = !start->roots.empty() && startNative(start->roots);
    g_watchStop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    g_watchArmed = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD id;
    g_watchThread = CreateThread(nullptr, 0, watchThread, start, 0, &id);
    // Changes made once the engine has started must not be missed.
    if (g_watchThread) WaitForSingleObject(g_watchArmed, 5000);
    else delete start;
}

// Every thread of the driver is out once this returns: the module may be freed.
void stopWatcher() {
    closeNative();
    if (g_watchThread) {
        SetEvent(g_watchStop);
        WaitForSingleObject(g_watchThread, INFINITE);
        CloseHandle(g_watchThread);
        CloseHandle(g_watchStop);
        CloseHandle(g_watchArmed);
        g_watchThread = g_watchStop = g_watchArmed = nullptr;
    }
    if (g_native.lost) CloseHandle(g_native.lost);
    g_native.lost = nullptr;
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
        loadProc(g_engine.cleanArchive, "VexCleanArchive");
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
        case 4: return "GetNextEvent";
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
    int v = getInt(r.in), type = getInt(r.in + TYPE_AT);
    std::string t = text(r.in + TEXT_AT, sizeof(IOT_TYPED_BLOCK::szText));
    if (value) *value = v;
    if (textOut) *textOut = t;
    r.detail = " value=" + std::to_string(v) + " text=" + t + " type=" + std::to_string(type);
    r.settings = true;
    return true;
}

ScanSettings& typed(const Request& r) { return g_scan[typeIndex(getInt(r.in + TYPE_AT))]; }

bool flagBlock(Request& r, int ScanSettings::*field, bool set) {
    if (!need(r, FLAG_SIZE, FLAG_SIZE)) return false;
    int type = getInt(r.in + FLAG_TYPE_AT);
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
            IOT_EVENT_REQUEST request;
            memcpy(&request, r.in, sizeof request);
            std::string pattern = text(reinterpret_cast<const BYTE*>(request.szPatternName), sizeof request.szPatternName);
            int ch = r.code == 1 ? 0 : 1;
            EnterCriticalSection(&g_lock);
            Channel& c = g_channel[ch];
            if (c.thread) CloseHandle(c.thread);
            c.thread = nullptr;
            c.registration = request.dwRegistration;
            DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &c.thread, 0, FALSE,
                            DUPLICATE_SAME_ACCESS);
            if (ch == 0) g_expectedPattern = pattern;
            LeaveCriticalSection(&g_lock);
            r.detail = " registration=" + std::to_string(request.dwRegistration) + " pattern=" + pattern +
                       " mode=" + std::to_string(request.bMode);
            return true;
        }
        case 2: {
            stopWatcher();
            EnterCriticalSection(&g_lock);
            for (Channel& c : g_channel) {
                if (c.thread) CloseHandle(c.thread);
                c = Channel();
            }
            // Events the client has not taken are dropped.
            size_t dropped = g_waiting.size();
            dropWaiting();
            g_realtime = 0;
            LeaveCriticalSection(&g_lock);
            unloadEngine();
            r.detail = " dropped=" + std::to_string(dropped);
            return true;
        }
        case 4: {
            // The oldest waiting record, copied out and taken off the queue.
            if (!need(r, 0, IOT_WIRE_EVENT_HEADER)) return false;
            EnterCriticalSection(&g_lock);
            BYTE* rec = g_waiting.empty() ? nullptr : g_waiting.front();
            if (rec) g_waiting.pop_front();
            LeaveCriticalSection(&g_lock);
            if (!rec) {
                SetLastError(ERROR_NO_MORE_ITEMS);
                return false;
            }
            IOT_WIRE_EVENT header;
            memcpy(&header, rec, sizeof header);
            r.detail = " sequence=" + std::to_string(header.dwSequence) + " length=" + std::to_string(header.dwLength);
            bool fits = header.dwLength <= r.outLen;
            if (fits) {
                memcpy(r.out, rec, header.dwLength);
                r.returned = header.dwLength;
            }
            HeapFree(GetProcessHeap(), 0, rec);
            if (!fits) {
                r.detail += " dropped: longer than the buffer";
                SetLastError(ERROR_INSUFFICIENT_BUFFER);
                return false;
            }
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
            if (!need(r, sizeof(IOT_CONNECT_NOTIFY), 0)) return false;
            g_notifyWnd = static_cast<HWND>(LongToHandle(getInt(r.in + offsetof(IOT_CONNECT_NOTIFY, nWindow))));
            g_notifyMsg = UINT(getInt(r.in + offsetof(IOT_CONNECT_NOTIFY, uMessage)));
            r.detail = " msg=" + std::to_string(g_notifyMsg);
            r.settings = true;
            return true;
        case 14:
        case 15: {
            if (!need(r, sizeof(IOT_PROCESS_PAIR), 0)) return false;
            DWORD pid = DWORD(getInt(r.in + offsetof(IOT_PROCESS_PAIR, dwProcessId)));
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
            // The stop request holds until the next scan sets its callback.
            int rc = g_stopScan ? -2 : scanAndReport(1, path);
            if (rc == -2) {
                SetLastError(ERROR_OPERATION_ABORTED);
                r.detail += " -> stopped";
                return false;
            }
            if (rc < 0) {
                // A file that cannot be read is no clean file: the request fails.
                SetLastError(engineReady() ? ERROR_READ_FAULT : ERROR_NOT_READY);
                r.detail += engineReady() ? " -> unreadable" : " -> engine not ready";
                return false;
            }
            return replyInt(r, rc >= 1 ? -1 : 0);  // a finding was reported
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
            EnterCriticalSection(&g_lock);
            g_cleanCache.clear();
            g_lastScan.clear();
            LeaveCriticalSection(&g_lock);
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
            EnterCriticalSection(&g_lock);
            ScanSettings manual = g_scan[1];
            LeaveCriticalSection(&g_lock);
            EnterCriticalSection(&g_engineLock);
            if (g_engine.module && action >= 1 && action <= 4) ok = act(action, manual, false, path, nullptr);
            LeaveCriticalSection(&g_engineLock);
            return replyInt(r, ok);
        }
        case 41:
            // With a 0 the request clears the stop: a new on-demand scan begins.
            InterlockedExchange(&g_stopScan, r.inLen >= 4 && getInt(r.in) == 0 ? 0 : 1);
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
            int type = r.code == 61 ? (r.inLen >= TYPED_SIZE ? getInt(r.in + TYPE_AT) : 100) : getInt(r.in);
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
            std::string src = text(r.in + offsetof(IOT_TWO_PATH_BLOCK, szSource), sizeof(IOT_TWO_PATH_BLOCK::szSource)),
                        dst = text(r.in + offsetof(IOT_TWO_PATH_BLOCK, szDestination),
                                   sizeof(IOT_TWO_PATH_BLOCK::szDestination));
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

// Requests that scan, act, start or stop: they take the locks they need themselves. Every
// other request reads or writes settings, under the settings lock, which the watcher's threads
// take too.
bool isWorkRequest(DWORD code) {
    switch (code) {
        case 1: case 2: case 4: case 24: case 25: case 35: case 37: case 38: case 40: case 41:
        case 42: case 43: case 44: case 45: case 46: case 52: case 83:
            return true;
    }
    return false;
}

extern "C" BOOL WINAPI VxdDeviceIoControl(HANDLE, DWORD code, LPVOID in, DWORD inLen, LPVOID out, DWORD outLen,
                                          LPDWORD returned, LPOVERLAPPED) {
    Request r;
    r.code = code;
    r.in = static_cast<BYTE*>(in);
    r.inLen = inLen;
    r.out = static_cast<BYTE*>(out);
    r.outLen = outLen;
    bool locked = !isWorkRequest(code);
    if (locked) EnterCriticalSection(&g_lock);
    bool ok = handle(r);
    DWORD error = GetLastError();
    if (returned) *returned = r.returned;
    if (r.settings) {
        if (!locked) EnterCriticalSection(&g_lock);
        writeState();
        // What was found clean under the old settings may not be under the new ones.
        g_cleanCache.clear();
        if (!locked) LeaveCriticalSection(&g_lock);
    }
    if (locked) LeaveCriticalSection(&g_lock);
    if (code == 4 && !ok && error == ERROR_NO_MORE_ITEMS) {
        // The client asks until nothing is left: the empty answer is not journaled.
    } else if ((code == 25 || code == 4) && ok)
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
        g_journal.SetLimit(GetPrivateProfileIntA("Journal", "MaxSize", 4 << 20, iniPath().c_str()));
    } else if (reason == DLL_PROCESS_DETACH && !reserved) {
        // Freed by the client: the device is closed. The client unregisters first, which stops
        // the watcher; whatever is still loaded goes now.
        if (g_engine.module) {
            g_engine.unload();
            FreeLibrary(g_engine.module);
        }
        dropWaiting();
        g_journal.Close();
        DeleteCriticalSection(&g_engineLock);
        DeleteCriticalSection(&g_lock);
    }
    return TRUE;
}
