// scanbench gen  ROOT [FILES [MEGABYTES [INFECTED]]]   writes a tree of files, a few infected
// scanbench scan BIN ROOT [LAYERS]                    scans it through CVexor::ScanFile
// scanbench read ROOT                                  only reads every file, for comparison
// The scan runs the driver and engine from a copy of BIN's driver files next to ROOT and prints
// files/s and MB/s.
#include "Vexor.h"
#include "vxpformat.h"

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
void ReadAll(const std::string& path)
{
    static std::vector<char> s_buffer(256 * 1024);
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                           FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return;
    DWORD cb = 0;
    while (ReadFile(h, s_buffer.data(), DWORD(s_buffer.size()), &cb, NULL) && cb)
    {
    }
    CloseHandle(h);
}

void Walk(CVexorVXD* pVexor, const std::string& folder, Totals& t)
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
            Walk(pVexor, path, t);
            continue;
        }
        if (!pVexor)
            ReadAll(path);
        else if (pVexor->ScanFile(path.c_str(), 0) != 0)
            ++t.infected;
        ++t.files;
        t.bytes += fd.nFileSizeLow | ((long long)fd.nFileSizeHigh << 32);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
}

int Scan(const std::string& bin, const std::string& root, int nLayers)
{
    std::string driver = root + ".drv";
    CreateDirectoryA(driver.c_str(), NULL);
    for (const char* f : {"filter32.vxd", "vexor32.vxd", "VXP$SIG.578"})
        if (!CopyFileA((bin + "\\" + f).c_str(), (driver + "\\" + f).c_str(), FALSE))
        {
            fprintf(stderr, "cannot copy %s\n", f);
            return 1;
        }
    DeleteFileA((driver + "\\filter32.log").c_str());
    CVexorVXD vexor;
    int nResult = 0;
    if (!vexor.Initialize(NULL, Realtime, driver.c_str(), &nResult))
    {
        fprintf(stderr, "engine start failed: %d\n", nResult);
        return 1;
    }
    vexor.RegisterScanCallback(Count, NULL);
    vexor.SetCompressedLayer(nLayers);
    LARGE_INTEGER freq, t0, t1;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&t0);
    Totals t;
    Walk(&vexor, root, t);
    QueryPerformanceCounter(&t1);
    for (int i = 0; i < 100 && g_nEvents < t.infected; ++i)
        Sleep(10);
    vexor.Uninitialize();
    double s = double(t1.QuadPart - t0.QuadPart) / double(freq.QuadPart), mb = t.bytes / 1048576.0;
    printf("scanned %lld files, %.1f MB in %.2f s: %.0f files/s, %.1f MB/s, %d infected, %ld events\n", t.files, mb, s,
           t.files / s, mb / s, t.infected, g_nEvents);
    return 0;
}

int ReadOnly(const std::string& root)
{
    LARGE_INTEGER freq, t0, t1;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&t0);
    Totals t;
    Walk(NULL, root, t);
    QueryPerformanceCounter(&t1);
    double s = double(t1.QuadPart - t0.QuadPart) / double(freq.QuadPart), mb = t.bytes / 1048576.0;
    printf("read %lld files, %.1f MB in %.2f s: %.0f files/s, %.1f MB/s\n", t.files, mb, s, t.files / s, mb / s);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 3 && !strcmp(argv[1], "gen"))
        return Generate(WinPath(argv[2]), argc > 3 ? atoi(argv[3]) : 20000, argc > 4 ? atoi(argv[4]) : 1024,
                        argc > 5 ? atoi(argv[5]) : 10);
    if (argc >= 4 && !strcmp(argv[1], "scan"))
        return Scan(WinPath(argv[2]), WinPath(argv[3]), argc > 4 ? atoi(argv[4]) : 1);
    if (argc >= 3 && !strcmp(argv[1], "read"))
        return ReadOnly(WinPath(argv[2]));
    fprintf(stderr, "usage: scanbench gen ROOT [FILES [MB [INFECTED]]] | scanbench scan BIN ROOT [LAYERS]\n");
    return 2;
}
