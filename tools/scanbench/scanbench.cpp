// scanbench gen   ROOT [FILES [MEGABYTES [INFECTED]]]    writes a tree of files, a few infected
// scanbench sigs  FOLDER N [LENGTH]                        writes VXP$SIG.578 with the default entries
//                 and N generated file signatures (24 bytes unless given), and the same file
//                 signatures as sigs.ndb, the hex signature database of other scanners
// scanbench scan  BIN ROOT [LAYERS [PATTERNS [ROUNDS]]]   scans the tree through CVexor::ScanFile
//                 with the driver and engine of BIN (and the pattern of PATTERNS, else BIN's)
// scanbench manual BIN ROOT [LAYERS [PATTERNS [ROUNDS]]]  the client's manual scan of the tree: the
//                 manual-scan settings into the engine, the progress dialog's two walks (its
//                 counting and scanning threads) and its finding workers, as the Scan button runs them
// scanbench engine BIN ROOT [LAYERS [PATTERNS [ROUNDS]]]  the same through the engine module alone
// scanbench read  ROOT [ROUNDS [KB]]                       only reads every file, KB at a time
// scanbench calls ROOT                                     times each file call of a plain read
// scanbench match N [MEGABYTES]                            the matcher alone over random memory
// Times are wall-clock; scan also prints the load time and the process's peak memory.
#include "BenchTarget.h"
#include "CommonScanINI.h"
#include "Globals.h"
#include "ScanFilesDlg.h"
#include "Vexor.h"
#include "sigindex.h"
#include "vexapi.h"
#include "vxpformat.h"

#include <psapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <vector>

namespace {

std::string WinPath(std::string s)
{
    for (char& c : s)
        if (c == '/')
            c = '\\';
    while (s.size() > 3 && s.back() == '\\')
        s.pop_back();
    return s;
}

unsigned g_seed = 0x9E3779B9u;
unsigned Rand()
{
    g_seed ^= g_seed << 13;
    g_seed ^= g_seed >> 17;
    g_seed ^= g_seed << 5;
    return g_seed;
}

double Now()
{
    static LARGE_INTEGER s_freq;
    if (!s_freq.QuadPart)
        QueryPerformanceFrequency(&s_freq);
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return double(t.QuadPart) / double(s_freq.QuadPart);
}

double MB(SIZE_T n) { return n / 1048576.0; }

PROCESS_MEMORY_COUNTERS Memory()
{
    PROCESS_MEMORY_COUNTERS pmc = {};
    pmc.cb = sizeof pmc;
    GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc);
    return pmc;
}

int Generate(const std::string& root, int nFiles, int nMegabytes, int nInfected)
{
    CreateDirectoryA(root.c_str(), NULL);
    long long total = (long long)nMegabytes << 20, average = total / nFiles;
    std::vector<char> buffer;
    std::string eicar = vxp::defaultEntries()[0].bytes, cleanable = vxp::defaultEntries()[1].bytes;
    long long written = 0;
    int nPlanted = 0;
    for (int i = 0; i < nFiles; ++i)
    {
        char sz[64];
        sprintf(sz, "\\d%03d", i / 200);
        std::string folder = root + sz;
        if (i % 200 == 0)
            CreateDirectoryA(folder.c_str(), NULL);
        static const char* const s_apszExt[] = {"exe", "dll", "doc", "txt", "com", "bin", "dat", "xls"};
        sprintf(sz, "\\f%05d.%s", i, s_apszExt[i % 8]);
        // Sizes spread from a few bytes to about twice the average.
        size_t size = size_t((Rand() % 1000) * average * 2 / 1000 + 1);
        buffer.resize(size);
        for (size_t k = 0; k + 4 <= size; k += 4)
        {
            unsigned r = Rand();
            memcpy(&buffer[k], &r, 4);
        }
        if (nPlanted < nInfected && i % (nFiles / (nInfected ? nInfected : 1)) == 7)
        {
            const std::string& sig = (nPlanted % 2) ? cleanable : eicar;
            if (buffer.size() < sig.size())
                buffer.resize(sig.size());
            memcpy(&buffer[buffer.size() / 2 - (buffer.size() / 2 >= sig.size() ? sig.size() : buffer.size() / 2)],
                   sig.data(), sig.size());
            ++nPlanted;
        }
        HANDLE h = CreateFileA((folder + sz).c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
        if (h == INVALID_HANDLE_VALUE)
        {
            fprintf(stderr, "cannot write %s%s\n", folder.c_str(), sz);
            return 1;
        }
        DWORD cb = 0;
        WriteFile(h, buffer.data(), DWORD(buffer.size()), &cb, NULL);
        CloseHandle(h);
        written += size;
    }
    printf("generated %d files, %.1f MB, %d infected\n", nFiles, written / 1048576.0, nPlanted);
    return 0;
}

// The default entries and n generated file signatures of the given length.
std::vector<vxp::Entry> Signatures(int n, int nLength)
{
    std::vector<vxp::Entry> entries = vxp::defaultEntries();
    unsigned seed = 12345;
    for (int i = 0; i < n; ++i)
    {
        vxp::Entry e;
        char name[20];
        sprintf(name, "Vgl.Gen.%d", i);
        e.name = name;
        for (int k = 0; k < nLength; ++k)
        {
            seed = seed * 1103515245u + 12345u;
            e.bytes.push_back(char(seed >> 16));
        }
        entries.push_back(e);
    }
    return entries;
}

int WriteSignatures(const std::string& folder, int n, int nLength)
{
    if (nLength < 1 || nLength > vxp::BYTES_MAX)
    {
        fprintf(stderr, "signature length 1..%d\n", vxp::BYTES_MAX);
        return 2;
    }
    CreateDirectoryA(folder.c_str(), NULL);
    vxp::Pattern p;
    p.number = 578;
    p.version = 100000 + 57800;
    p.entries = Signatures(n, nLength);
    std::string path = folder + "\\VXP$SIG.578";
    int rc = vxp::writePattern(path.c_str(), p);
    if (rc < 0)
    {
        fprintf(stderr, "cannot write %s (%d)\n", path.c_str(), rc);
        return 1;
    }
    FILE* f = fopen((folder + "\\sigs.ndb").c_str(), "w");
    if (!f)
        return 1;
    for (const vxp::Entry& e : p.entries)
    {
        if (!(e.kinds & (vxp::KIND_FILE | vxp::KIND_MACRO)))
            continue;
        fprintf(f, "%s:0:*:", e.name.c_str());
        for (unsigned char c : e.bytes)
            fprintf(f, "%02x", c);
        fprintf(f, "\n");
    }
    fclose(f);
    printf("wrote %s and sigs.ndb: %d signatures\n", path.c_str(), int(p.entries.size()));
    return 0;
}

volatile LONG g_nEvents;

void Count(LPVOID p)
{
    InterlockedIncrement(&g_nEvents);
    IOT_FreeEvent(p);
}

void Realtime(LPVOID p) { IOT_FreeEvent(p); }

struct Totals
{
    long long files = 0, bytes = 0;
    int infected = 0;
};

// Reads every file without scanning it: the file-system floor of a scan.
void ReadAll(const std::string& path, std::vector<char>& buffer)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                           FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return;
    DWORD cb = 0;
    while (ReadFile(h, buffer.data(), DWORD(buffer.size()), &cb, NULL) && cb)
    {
    }
    CloseHandle(h);
}

template <class F>
void Walk(const std::string& folder, Totals& t, F each)
{
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return;
    do
    {
        if (fd.cFileName[0] == '.' && (!fd.cFileName[1] || (fd.cFileName[1] == '.' && !fd.cFileName[2])))
            continue;
        std::string path = folder + "\\" + fd.cFileName;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        {
            Walk(path, t, each);
            continue;
        }
        if (each(path))
            ++t.infected;
        ++t.files;
        t.bytes += fd.nFileSizeLow | ((long long)fd.nFileSizeHigh << 32);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
}

void Report(const char* what, const Totals& t, double s)
{
    double mb = t.bytes / 1048576.0;
    printf("%s %lld files, %.1f MB in %.2f s: %.0f files/s, %.1f MB/s", what, t.files, mb, s, t.files / s, mb / s);
}

int Scan(const std::string& bin, const std::string& root, int nLayers, const std::string& patterns, int nRounds)
{
    std::string driver = root + ".drv";
    CreateDirectoryA(driver.c_str(), NULL);
    for (const char* f : {"filter32.vxd", "vexor32.vxd", "VXP$SIG.578"})
    {
        std::string from = (!strcmp(f, "VXP$SIG.578") && !patterns.empty() ? patterns : bin) + "\\" + f;
        if (!CopyFileA(from.c_str(), (driver + "\\" + f).c_str(), FALSE))
        {
            fprintf(stderr, "cannot copy %s\n", from.c_str());
            return 1;
        }
    }
    DeleteFileA((driver + "\\filter32.log").c_str());
    // On-demand scans only: the driver watches no drive meanwhile.
    WritePrivateProfileStringA("Watch", "FixedDrives", "0", (driver + "\\filter32.ini").c_str());
    PROCESS_MEMORY_COUNTERS before = Memory();
    double t0 = Now();
    CVexorVXD vexor;
    int nResult = 0;
    if (!vexor.Initialize(NULL, Realtime, driver.c_str(), &nResult))
    {
        fprintf(stderr, "engine start failed: %d\n", nResult);
        return 1;
    }
    double tLoad = Now() - t0;
    PROCESS_MEMORY_COUNTERS loaded = Memory();
    int nSignatures = 0;
    vexor.GetVirusCount(&nSignatures);
    printf("loaded %d signatures in %.3f s: working set +%.1f MB, private +%.1f MB\n", nSignatures, tLoad,
           MB(loaded.WorkingSetSize) - MB(before.WorkingSetSize), MB(loaded.PagefileUsage) - MB(before.PagefileUsage));
    vexor.RegisterScanCallback(Count, NULL);
    vexor.SetCompressedLayer(nLayers);
    for (int r = 0; r < nRounds; ++r)
    {
        Totals t;
        g_nEvents = 0;
        double t1 = Now();
        Walk(root, t, [&vexor](const std::string& path) { return vexor.ScanFile(path.c_str(), 0) != 0; });
        double s = Now() - t1;
        for (int i = 0; i < 100 && g_nEvents < t.infected; ++i)
            Sleep(10);
        Report("scanned", t, s);
        printf(", %d infected, %ld events\n", t.infected, g_nEvents);
    }
    PROCESS_MEMORY_COUNTERS end = Memory();
    printf("peak memory: working set %.1f MB, private %.1f MB (before the engine: %.1f MB, %.1f MB)\n",
           MB(end.PeakWorkingSetSize), MB(end.PeakPagefileUsage), MB(before.WorkingSetSize),
           MB(before.PagefileUsage));
    vexor.Uninitialize();
    return 0;
}

volatile LONG g_nFindings = 0;

void CountFinding(IOT_EVENT*, CCommonScanINI*, BOOL fRelease, BOOL)
{
    InterlockedIncrement(&g_nFindings);
}

DWORD WINAPI CountingThread(LPVOID p)
{
    ((CScanFilesDlg*)p)->CountAll();
    return 0;
}

int ManualScan(const std::string& bin, const std::string& root, int nLayers, const std::string& patterns, int nRounds)
{
    std::string driver = root + ".drv";
    CreateDirectoryA(driver.c_str(), NULL);
    for (const char* f : {"filter32.vxd", "vexor32.vxd", "VXP$SIG.578"})
    {
        std::string from = (!strcmp(f, "VXP$SIG.578") && !patterns.empty() ? patterns : bin) + "\\" + f;
        if (!CopyFileA(from.c_str(), (driver + "\\" + f).c_str(), FALSE))
        {
            fprintf(stderr, "cannot copy %s\n", from.c_str());
            return 1;
        }
    }
    DeleteFileA((driver + "\\filter32.log").c_str());
    WritePrivateProfileStringA("Watch", "FixedDrives", "0", (driver + "\\filter32.ini").c_str());
    int nResult = 0;
    if (!g_vexor.Initialize(NULL, Realtime, driver.c_str(), &nResult))
    {
        fprintf(stderr, "engine start failed: %d\n", nResult);
        return 1;
    }
    // The manual-scan settings of a client that leaves infected files as they are (the tree is
    // scanned again next round), archives opened to the layers asked for.
    CManualScanINI settings;
    settings.m_nVirusFoundAction = SCAN_ACTION_LEAVE;
    settings.m_nCleanFailedAction = SCAN_ACTION_LEAVE;
    settings.m_fScanCompressed = nLayers > 0;
    settings.m_nCompressedLayer = nLayers;
    settings.m_fScanBoot = settings.m_fScanMemory = FALSE;
    settings.m_strExtList = ".*";
    Totals sizes;
    Walk(root, sizes, [](const std::string&) { return false; });
    CStringArray arrNone;
    for (int r = 0; r < nRounds; ++r)
    {
        g_nFindings = 0;
        double t1 = Now();
        settings.SetVexorOptions(g_vexor);
        SScanCallbacks callbacks = {CountFinding, NULL, NULL, NULL, NULL, NULL};
        CFlagEvent stop, ended;
        CScanFilesDlg dlg(NULL, NULL, &settings, NULL, &g_vexor, callbacks, settings.GetScanExtensionList(), arrNone,
                          arrNone, &stop, &ended, NULL, FALSE, NULL);
        dlg.m_arrPaths.Add(root.c_str());
        g_vexor.RegisterScanCallback(FoundFileVirusCallBack, NULL);
        // The dialog's two threads: the counting walk beside the scanning one.
        HANDLE hCounting = CreateThread(NULL, 0, CountingThread, &dlg, 0, NULL);
        dlg.ScanAll();
        WaitForSingleObject(hCounting, INFINITE);
        CloseHandle(hCounting);
        // The findings' workers finish what the walk found.
        for (int i = 0; i < 500 && g_nFindings < dlg.m_nVirusTotal; ++i)
            Sleep(10);
        double s = Now() - t1;
        Totals t = sizes;
        t.files = dlg.m_nFilesScanned;
        Report("manual scan", t, s);
        printf(", %ld infected, %ld findings handled, %ld scan errors\n", (long)dlg.m_nVirusTotal, (long)g_nFindings,
               (long)dlg.m_nScanErrors);
    }
    g_vexor.Uninitialize();
    return 0;
}

// The engine module without the driver and the client library: what the engine itself costs.
int EngineOnly(const std::string& bin, const std::string& root, int nLayers, const std::string& patterns, int nRounds)
{
    HMODULE h = LoadLibraryA((bin + "\\vexor32.vxd").c_str());
    VexLoadFn load = h ? (VexLoadFn)GetProcAddress(h, "VexLoad") : NULL;
    VexScanFileFn scan = h ? (VexScanFileFn)GetProcAddress(h, "VexScanFile") : NULL;
    if (!load || !scan)
    {
        fprintf(stderr, "cannot load the engine from %s\n", bin.c_str());
        return 1;
    }
    PROCESS_MEMORY_COUNTERS before = Memory();
    double t0 = Now();
    char loaded[MAX_PATH] = "";
    int status = load((patterns.empty() ? bin : patterns).c_str(), "VXP$SIG.578", loaded);
    double tLoad = Now() - t0;
    PROCESS_MEMORY_COUNTERS after = Memory();
    printf("engine load %s: status %d in %.3f s, private +%.1f MB\n", loaded, status, tLoad,
           MB(after.PagefileUsage) - MB(before.PagefileUsage));
    VexLimits limits = {nLayers, 100, 2u << 20};
    for (int r = 0; r < nRounds; ++r)
    {
        Totals t;
        double t1 = Now();
        Walk(root, t, [&](const std::string& path) {
            VexFinding f;
            return scan(path.c_str(), &limits, &f) == 1;
        });
        Report("engine scanned", t, Now() - t1);
        printf(", %d infected\n", t.infected);
    }
    printf("peak memory: working set %.1f MB, private %.1f MB\n", MB(Memory().PeakWorkingSetSize),
           MB(Memory().PeakPagefileUsage));
    return 0;
}

int ReadOnly(const std::string& root, int nRounds, int nKilobytes)
{
    std::vector<char> buffer(size_t(nKilobytes) * 1024);
    for (int r = 0; r < nRounds; ++r)
    {
        Totals t;
        double t0 = Now();
        Walk(root, t, [&buffer](const std::string& path) {
            ReadAll(path, buffer);
            return false;
        });
        Report("read", t, Now() - t0);
        printf("\n");
    }
    return 0;
}

// Where a plain read of each file spends its time under this system: the walk, opening,
// asking the size, reading (one call or the whole file in a loop) and closing.
int Calls(const std::string& root)
{
    std::vector<std::string> paths;
    Totals t;
    double t0 = Now();
    Walk(root, t, [&paths](const std::string& path) {
        paths.push_back(path);
        return false;
    });
    double walk = Now() - t0;
    std::vector<char> buffer(4 << 20);
    printf("%lld files, %.1f MB; microseconds per file:\n", t.files, t.bytes / 1048576.0);
    printf("  walk (find first/next)  %8.1f\n", walk * 1e6 / t.files);
    for (int kb : {16, 64, 256, 4096})
    {
        double open = 0, size = 0, read = 0, close = 0, t1;
        long long calls = 0;
        for (const std::string& path : paths)
        {
            t1 = Now();
            HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   NULL, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, NULL);
            open += Now() - t1;
            if (h == INVALID_HANDLE_VALUE)
                continue;
            t1 = Now();
            DWORD high = 0, low = GetFileSize(h, &high);
            size += Now() - t1;
            t1 = Now();
            DWORD cb = 0, left = low;
            // Reads what is left, never asking past the end.
            while (left && ReadFile(h, buffer.data(), left < DWORD(kb) * 1024 ? left : DWORD(kb) * 1024, &cb, NULL) &&
                   cb)
            {
                left -= cb;
                ++calls;
            }
            read += Now() - t1;
            t1 = Now();
            CloseHandle(h);
            close += Now() - t1;
        }
        double n = double(paths.size());
        printf("  %4d KB reads: open %6.1f  size %5.1f  read %6.1f (%.2f calls)  close %6.1f  total %6.1f\n", kb,
               open * 1e6 / n, size * 1e6 / n, read * 1e6 / n, calls / n, close * 1e6 / n,
               (open + size + read + close) * 1e6 / n);
    }
    // Without asking the size: the first read takes over what the size query cost.
    double open = 0, read = 0, close = 0, t1;
    for (const std::string& path : paths)
    {
        t1 = Now();
        HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                               OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, NULL);
        open += Now() - t1;
        if (h == INVALID_HANDLE_VALUE)
            continue;
        t1 = Now();
        DWORD cb = 0;
        while (ReadFile(h, buffer.data(), 256 * 1024, &cb, NULL) && cb == 256 * 1024)
        {
        }
        read += Now() - t1;
        t1 = Now();
        CloseHandle(h);
        close += Now() - t1;
    }
    double n = double(paths.size());
    printf("   256 KB reads, no size query: open %6.1f  read %6.1f  close %6.1f  total %6.1f\n", open * 1e6 / n,
           read * 1e6 / n, close * 1e6 / n, (open + read + close) * 1e6 / n);
    return 0;
}

// The matcher alone: build time, index size and throughput over random bytes in 256 KB pieces.
int Match(int n, int nMegabytes)
{
    std::vector<vxp::Entry> entries = Signatures(n, 24);
    vex::SigSet set;
    for (const vxp::Entry& e : entries)
        set.add(e.name.data(), e.name.size(), e.kinds, e.cleanable, (const unsigned char*)e.bytes.data(),
                e.bytes.size());
    double t0 = Now();
    vex::SigIndex index;
    index.build(set);
    double tBuild = Now() - t0;
    std::vector<unsigned char> data(size_t(nMegabytes) << 20);
    for (size_t k = 0; k + 4 <= data.size(); k += 4)
    {
        unsigned r = Rand();
        memcpy(&data[k], &r, 4);
    }
    double best = 1e9;
    int found = 0;
    for (int round = 0; round < 3; ++round)
    {
        t0 = Now();
        vex::StreamScan scan(index, vxp::KIND_FILE | vxp::KIND_MACRO, NULL);
        for (size_t at = 0; at < data.size(); at += 256 * 1024)
            scan.feed(&data[at], data.size() - at < 256 * 1024 ? data.size() - at : 256 * 1024);
        double s = Now() - t0;
        best = s < best ? s : best;
        found = scan.first();
    }
    printf("%d signatures: index built in %.3f s, set %.1f MB, index %.1f MB; %d MB scanned at %.0f MB/s%s\n",
           int(set.size()), tBuild, MB(set.memory()), MB(index.memory()), nMegabytes, nMegabytes / best,
           found >= 0 ? " (a hit)" : "");
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    bench::PrintTarget();
    if (argc >= 3 && !strcmp(argv[1], "gen"))
        return Generate(WinPath(argv[2]), argc > 3 ? atoi(argv[3]) : 20000, argc > 4 ? atoi(argv[4]) : 1024,
                        argc > 5 ? atoi(argv[5]) : 10);
    if (argc >= 4 && !strcmp(argv[1], "sigs"))
        return WriteSignatures(WinPath(argv[2]), atoi(argv[3]), argc > 4 ? atoi(argv[4]) : 24);
    if (argc >= 4 && !strcmp(argv[1], "scan"))
        return Scan(WinPath(argv[2]), WinPath(argv[3]), argc > 4 ? atoi(argv[4]) : 1,
                    argc > 5 && *argv[5] ? WinPath(argv[5]) : std::string(), argc > 6 ? atoi(argv[6]) : 1);
    if (argc >= 4 && !strcmp(argv[1], "manual"))
        return ManualScan(WinPath(argv[2]), WinPath(argv[3]), argc > 4 ? atoi(argv[4]) : 1,
                          argc > 5 && *argv[5] ? WinPath(argv[5]) : std::string(), argc > 6 ? atoi(argv[6]) : 1);
    if (argc >= 4 && !strcmp(argv[1], "engine"))
        return EngineOnly(WinPath(argv[2]), WinPath(argv[3]), argc > 4 ? atoi(argv[4]) : 1,
                          argc > 5 && *argv[5] ? WinPath(argv[5]) : std::string(), argc > 6 ? atoi(argv[6]) : 1);
    if (argc >= 3 && !strcmp(argv[1], "read"))
        return ReadOnly(WinPath(argv[2]), argc > 3 ? atoi(argv[3]) : 1, argc > 4 ? atoi(argv[4]) : 256);
    if (argc >= 3 && !strcmp(argv[1], "calls"))
        return Calls(WinPath(argv[2]));
    if (argc >= 3 && !strcmp(argv[1], "match"))
        return Match(atoi(argv[2]), argc > 3 ? atoi(argv[3]) : 256);
    fprintf(stderr, "usage: scanbench gen ROOT [FILES [MB [INFECTED]]] | sigs FOLDER N [LENGTH] |\n"
                    "       scan|engine BIN ROOT [LAYERS [PATTERNS [ROUNDS]]] | read ROOT [ROUNDS [KB]] | calls ROOT |\n"
                    "       match N [MB]\n");
    return 2;
}
