// The engine module (vexor32.vxd) through its exports: findings in files and archives against
// the plain reference matcher, archives that claim more than they hold, a pattern that does not
// fit in memory, and loads while scans run.
#include <gtest/gtest.h>

#include "enginetest.h"
#include "vexapi.h"
#include "VglTestSupport.h"

using namespace enginetest;

namespace {

const unsigned FILE_KINDS = vxp::KIND_FILE | vxp::KIND_MACRO;

class EngineModule : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_module = LoadLibraryA(BinFile("vexor32.vxd").c_str());
        ASSERT_TRUE(s_module != NULL);
        s_load = (VexLoadFn)GetProcAddress(s_module, "VexLoad");
        s_unload = (VexUnloadFn)GetProcAddress(s_module, "VexUnload");
        s_scan = (VexScanFileFn)GetProcAddress(s_module, "VexScanFile");
        s_count = (VexVirusCountFn)GetProcAddress(s_module, "VexVirusCount");
        ASSERT_TRUE(s_load && s_unload && s_scan && s_count);
    }

    void TearDown() override { s_unload(); }

    static std::string Folder(const std::string& name) {
        std::string f = ScratchFile(name);
        CreateDirectoryA(f.c_str(), NULL);
        return f;
    }

    static std::string WritePattern(const std::string& folder, const std::vector<vxp::Entry>& entries) {
        vxp::Pattern p;
        p.number = 578;
        p.version = 157800;
        p.entries = entries;
        std::string path = folder + "\\VXP$SIG.578";
        EXPECT_EQ(0, vxp::writePattern(path.c_str(), p));
        return path;
    }

    static int Load(const std::string& folder) {
        char loaded[MAX_PATH] = "";
        return s_load(folder.c_str(), "VXP$SIG.578", loaded);
    }

    static int Scan(const std::string& path, const VexLimits* limits, VexFinding* f) {
        memset(f, 0x5A, sizeof *f);
        return s_scan(path.c_str(), limits, f);
    }

    static HMODULE s_module;
    static VexLoadFn s_load;
    static VexUnloadFn s_unload;
    static VexScanFileFn s_scan;
    static VexVirusCountFn s_count;
};

HMODULE EngineModule::s_module;
VexLoadFn EngineModule::s_load;
VexUnloadFn EngineModule::s_unload;
VexScanFileFn EngineModule::s_scan;
VexVirusCountFn EngineModule::s_count;

}  // namespace

TEST_F(EngineModule, FindingsAgreeWithThePlainMatcherInFilesAndArchives) {
    Rng rng(4242);
    std::vector<vxp::Entry> sigs = vxp::defaultEntries();
    for (const vxp::Entry& e : relatedSignatures(rng, 3000, 6)) sigs.push_back(e);
    std::string folder = Folder("agree");
    WritePattern(folder, sigs);
    ASSERT_EQ(0, Load(folder));
    EXPECT_EQ(int(sigs.size()), s_count());

    VexLimits limits = {2, 100, 1 << 20};
    int n = 0, infected = 0;
    // Sizes around the engine's 256 KB reads; signatures at the start, the end and across reads.
    for (size_t size : {0u, 1u, 5u, 300u, 262143u, 262144u, 262145u, 524300u, 900000u})
        for (int planted = 0; planted < 2; ++planted) {
            std::string data = rng.bytes(size);
            if (planted) data = plant(rng, data, sigs, 3);
            std::string path = folder + "\\f" + std::to_string(++n) + ".bin";
            WriteWholeFile(path, data);
            int expected = firstEntry(referenceHits(sigs, data, FILE_KINDS));
            VexFinding f;
            SCOPED_TRACE(path);
            EXPECT_EQ(expected >= 0 ? 1 : 0, Scan(path, &limits, &f));
            EXPECT_EQ(expected, f.entry);
            EXPECT_EQ(0, f.layerCount);
            if (expected >= 0) {
                EXPECT_STREQ(sigs[expected].name.c_str(), f.virus);
            }
            infected += expected >= 0;
        }
    EXPECT_GE(infected, 6);

    // Archives: the first member (in directory order) with a signature, innermost name first.
    for (int round = 0; round < 8; ++round) {
        std::vector<std::pair<std::string, std::string>> members;
        int expected = -1;
        std::vector<std::string> where;
        for (int m = 0; m < 3; ++m) {
            std::string data = rng.bytes(1000 + rng.below(round % 2 ? 400000 : 3000));
            if (rng.below(2)) data = plant(rng, data, sigs, 1);
            std::string name = "m" + std::to_string(m) + ".dat";
            int e = firstEntry(referenceHits(sigs, data, FILE_KINDS));
            std::vector<std::string> found{name};
            if (round >= 4) {  // each member in an archive of its own, whose bytes come next
                data = zip({{name, data}}, true);
                name = "in" + std::to_string(m) + ".zip";
                found.push_back(name);
                if (e < 0) {
                    e = firstEntry(referenceHits(sigs, data, FILE_KINDS));
                    found = {name};
                }
            }
            if (expected < 0 && e >= 0) {
                expected = e;
                where = found;
            }
            members.push_back({name, data});
        }
        std::string path = folder + "\\a" + std::to_string(round) + ".zip";
        std::string archive = zip(members, round % 3 != 0);
        // The archive's own bytes are scanned after its members.
        if (expected < 0) expected = firstEntry(referenceHits(sigs, archive, FILE_KINDS));
        WriteWholeFile(path, archive);
        VexFinding f;
        SCOPED_TRACE(path);
        EXPECT_EQ(expected >= 0 ? 1 : 0, Scan(path, &limits, &f));
        EXPECT_EQ(expected, f.entry);
        ASSERT_EQ(int(where.size()), f.layerCount);
        for (size_t i = 0; i < where.size(); ++i) EXPECT_STREQ(where[i].c_str(), f.layers[i]);
    }
}

TEST_F(EngineModule, ArchiveClaimingGigabytesIsScannedByItsRealData) {
    std::string folder = Folder("bomb");
    WritePattern(folder, vxp::defaultEntries());
    ASSERT_EQ(0, Load(folder));
    const std::string eicar = vxp::defaultEntries()[0].bytes;
    struct {
        const char* name;
        std::string data;
        int result;
    } cases[] = {
        {"small.zip", claimSize(zip({{"a.txt", "x"}}, true), 0x7FFFFFFF), 0},
        {"infected.zip", claimSize(zip({{"a.txt", eicar}}, true), 0x7FFFFFFF), 1},
        {"nested.zip", zip({{"in.zip", claimSize(zip({{"a.txt", eicar}}, true), 0x7FFFFFFF)}}, true), 1},
    };
    EXPECT_LT(cases[0].data.size(), 120u);
    VexLimits unlimited = {3, 0x7FFFFFFF, 0x7FFFFFFF};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = folder + "\\" + c.name;
        WriteWholeFile(path, c.data);
        VexFinding f;
        EXPECT_EQ(c.result, Scan(path, &unlimited, &f));
        EXPECT_EQ(c.result ? 0 : -1, f.entry);
    }
}

TEST_F(EngineModule, PatternTooLargeForMemoryIsALoadError) {
    Rng rng(77);
    std::vector<vxp::Entry> sigs = vxp::defaultEntries();
    for (int i = 0; i < 100000; ++i) sigs.push_back(entry("Big." + std::to_string(i), rng.bytes(40)));
    std::string folder = Folder("toolarge");
    WritePattern(folder, sigs);
    std::string infected = folder + "\\eicar.com";
    WriteWholeFile(infected, sigs[0].bytes);

    // Take the address space the load would need, all but a spare 3 MB for the heap. The
    // search from the top finds what the search from the bottom leaves.
    std::vector<void*> taken;
    taken.reserve(10000);
    void* spare = VirtualAlloc(NULL, 3 << 20, MEM_RESERVE, PAGE_NOACCESS);
    for (DWORD flags : {DWORD(0), DWORD(MEM_TOP_DOWN)})
        for (SIZE_T size = 256 << 20; size >= 64 << 10; size /= 2)
            while (void* p = VirtualAlloc(NULL, size, MEM_RESERVE | flags, PAGE_NOACCESS)) taken.push_back(p);
    VirtualFree(spare, 0, MEM_RELEASE);
    int status = Load(folder);
    int count = s_count();
    VexFinding f;
    int scan = Scan(infected, NULL, &f);
    for (void* p : taken) VirtualFree(p, 0, MEM_RELEASE);

    EXPECT_EQ(-98, status);
    EXPECT_EQ(0, count);
    EXPECT_EQ(-1, scan);
    EXPECT_EQ(0, Load(folder));
    EXPECT_EQ(int(sigs.size()), s_count());
    EXPECT_EQ(1, Scan(infected, NULL, &f));
}

namespace {

struct Scanner {
    VexScanFileFn scan;
    std::string path;
    volatile LONG stop = 0, scans = 0, wrong = 0;

    static DWORD WINAPI Run(LPVOID p) {
        Scanner* s = static_cast<Scanner*>(p);
        while (!s->stop) {
            VexFinding f;
            if (s->scan(s->path.c_str(), NULL, &f) != 1) InterlockedIncrement(&s->wrong);
            InterlockedIncrement(&s->scans);
        }
        return 0;
    }
};

}  // namespace

TEST_F(EngineModule, ScansGoOnWhileANewPatternLoads) {
    Rng rng(3);
    std::vector<vxp::Entry> small = vxp::defaultEntries(), large = small;
    for (int i = 0; i < 50000; ++i) large.push_back(entry("L." + std::to_string(i), rng.bytes(32)));
    std::string a = Folder("reload_a"), b = Folder("reload_b");
    WritePattern(a, small);
    WritePattern(b, large);
    ASSERT_EQ(0, Load(a));

    Scanner s;
    s.scan = s_scan;
    s.path = a + "\\eicar.com";
    WriteWholeFile(s.path, "head " + small[0].bytes);
    HANDLE thread = CreateThread(NULL, 0, Scanner::Run, &s, 0, NULL);
    ASSERT_TRUE(thread != NULL);
    while (s.scans < 5) Sleep(1);
    LONG during = 0;
    for (int i = 0; i < 6; ++i) {
        LONG before = s.scans;
        EXPECT_EQ(0, Load(i % 2 ? a : b));
        during += s.scans - before;
    }
    s.stop = 1;
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
    // Every scan found the signature with one pattern or the other; none waited for a load.
    EXPECT_EQ(0, s.wrong);
    EXPECT_GT(during, 0);
    EXPECT_EQ(int(small.size()), s_count());
}

TEST(Driver, OnDemandScansGetTheEngineDefaultArchiveLimits) {
    // The driver from a folder of its own (it keeps its journal and state beside itself).
    std::string folder = ScratchFile("driver");
    CreateDirectoryA(folder.c_str(), NULL);
    ASSERT_TRUE(CopyFileA(BinFile("filter32.vxd").c_str(), (folder + "\\filter32.vxd").c_str(), FALSE));
    HMODULE h = LoadLibraryA((folder + "\\filter32.vxd").c_str());
    ASSERT_TRUE(h != NULL);
    typedef BOOL(WINAPI * Control)(HANDLE, DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
    Control control = (Control)GetProcAddress(h, "VxdDeviceIoControl");
    ASSERT_TRUE(control != NULL);
    struct {
        DWORD code;
        int expected;
    } cases[] = {{68, int(VEX_DEFAULT_MAX_EXTRACT)}, {156, VEX_DEFAULT_MAX_FILES}};
    for (const auto& c : cases) {
        DWORD type = 200, got = 0;
        int value = -1;
        EXPECT_TRUE(control(NULL, c.code, &type, 4, &value, 4, &got, NULL)) << c.code;
        EXPECT_EQ(c.expected, value) << c.code;
    }
    FreeLibrary(h);
}
