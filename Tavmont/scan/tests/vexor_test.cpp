// The engine interface driving the user-mode driver and engine in a scratch driver folder.
#include <gtest/gtest.h>

#include "CommonScanINI.h"
#include "ScanFilesDlg.h"
#include "Updates.h"
#include "Vexor.h"
#include "vxpformat.h"
#include "VglTestSupport.h"

#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <list>
#include <vector>
#include <zlib.h>

namespace {

std::string Signature(int i) { return vxp::defaultEntries()[i].bytes; }
std::string Eicar() { return Signature(0); }
std::string Cleanable() { return Signature(1); }

// A zip archive of (name, data) members, stored or deflated.
std::string Zip(const std::vector<std::pair<std::string, std::string>>& members, bool fDeflate)
{
    std::string out, central;
    auto p16 = [](std::string& s, unsigned v) { s.push_back(char(v)); s.push_back(char(v >> 8)); };
    auto p32 = [&p16](std::string& s, unsigned v) { p16(s, v & 0xFFFF); p16(s, v >> 16); };
    for (const auto& m : members)
    {
        std::string body = m.second;
        if (fDeflate)
        {
            z_stream zs = {};
            deflateInit2(&zs, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
            std::string packed(deflateBound(&zs, m.second.size()), '\0');
            zs.next_in = (Bytef*)m.second.data();
            zs.avail_in = m.second.size();
            zs.next_out = (Bytef*)&packed[0];
            zs.avail_out = packed.size();
            deflate(&zs, Z_FINISH);
            packed.resize(zs.total_out);
            deflateEnd(&zs);
            body = packed;
        }
        unsigned crc = crc32(0, (const Bytef*)m.second.data(), m.second.size());
        unsigned offset = out.size();
        p32(out, 0x04034B50); p16(out, 20); p16(out, 0); p16(out, fDeflate ? 8 : 0); p16(out, 0); p16(out, 0);
        p32(out, crc); p32(out, body.size()); p32(out, m.second.size()); p16(out, m.first.size()); p16(out, 0);
        out += m.first + body;
        p32(central, 0x02014B50); p16(central, 20); p16(central, 20); p16(central, 0);
        p16(central, fDeflate ? 8 : 0); p16(central, 0); p16(central, 0); p32(central, crc);
        p32(central, body.size()); p32(central, m.second.size()); p16(central, m.first.size());
        p16(central, 0); p16(central, 0); p16(central, 0); p16(central, 0); p32(central, 0); p32(central, offset);
        central += m.first;
    }
    unsigned at = out.size();
    out += central;
    p32(out, 0x06054B50); p16(out, 0); p16(out, 0); p16(out, members.size()); p16(out, members.size());
    p32(out, central.size()); p32(out, at); p16(out, 0);
    return out;
}

struct Event
{
    int channel = 0;
    int kind = 0;
    DWORD_PTR context = 0;
    std::string file, virus, moved;
    std::vector<std::string> layers;
    int nullLayerEntries = 0;
    int layerCount = 0, r1 = 0, a1 = 0, r2 = 0, a2 = 0;
};

// The scan channel's context: in a 64-bit build an address above 4 GB, which the driver's
// records must not cut down.
const DWORD_PTR SCAN_CONTEXT = DWORD_PTR(0x0000567800005678ull);

CVexorVXD* g_pVexor;
CRITICAL_SECTION g_eventLock;
std::vector<Event> g_events;
HANDLE g_eventSignal;

volatile LONG g_fHoldNextVirus = 0;
IOT_EVENT* volatile g_pHeld = NULL;

void Capture(int channel, LPVOID p)
{
    IOT_EVENT* e = (IOT_EVENT*)p;
    Event ev;
    ev.channel = channel;
    ev.kind = e->nKind;
    ev.context = (DWORD_PTR)e->pContext;
    ev.file = e->pszFile;
    if (e->nKind == IOT_EVENT_VIRUS)
    {
        ev.virus = e->pszVirus;
        ev.moved = e->pszMovedFile;
        ev.layerCount = e->nLayerCount;
        for (int i = 0; i < IOT_MAX_LAYERS; ++i)
        {
            if (e->apszLayers[i])
                ev.layers.push_back(e->apszLayers[i]);
            else
                ++ev.nullLayerEntries;
        }
        ev.r1 = e->nFirstResult;
        ev.a1 = e->nFirstAction;
        ev.r2 = e->nSecondResult;
        ev.a2 = e->nSecondAction;
    }
    // A held virus event stays with the test, as a worker would keep it.
    if (ev.kind == IOT_EVENT_VIRUS && InterlockedExchange(&g_fHoldNextVirus, 0))
        g_pHeld = e;
    else
        g_pVexor->ReleaseEvent(p);
    EnterCriticalSection(&g_eventLock);
    g_events.push_back(ev);
    LeaveCriticalSection(&g_eventLock);
    SetEvent(g_eventSignal);
}

void RealtimeCallback(LPVOID p) { Capture(100, p); }
void ScanCallback(LPVOID p) { Capture(200, p); }

class VexorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        static int s_nFolder = 0;
        InitializeCriticalSection(&g_eventLock);
        g_eventSignal = CreateEventA(NULL, FALSE, FALSE, NULL);
        g_events.clear();
        g_pVexor = &m_vexor;
        char sz[64];
        sprintf(sz, "\\drv%lu_%d", GetCurrentProcessId(), ++s_nFolder);
        m_root = CurrentFolder() + sz;
        m_driver = m_root + "\\driver";
        m_data = m_root + "\\data";
        m_move = m_root + "\\suspect";
        m_backup = m_root + "\\backup";
        RemoveTree(m_root);   // a folder left by an earlier run of the same process id
        for (const std::string& d : {m_root, m_driver, m_data, m_move, m_backup})
            CreateDirectoryA(d.c_str(), NULL);
        for (const char* f : {"filter32.vxd", "vexor32.vxd", "VXP$SIG.578"})
            ASSERT_TRUE(CopyFileA((BinFolder() + "\\" + f).c_str(), (m_driver + "\\" + f).c_str(), FALSE)) << f;
        // The native watcher where it was built.
        CopyFileA((BinFolder() + "\\filter32.fan").c_str(), (m_driver + "\\filter32.fan").c_str(), FALSE);
        // Nothing but the test's own folders is watched; the command folder is read.
        Ini("Watch", "FixedDrives", "0");
        Ini("Commands", "Enable", "1");
    }

    void TearDown() override
    {
        m_vexor.Uninitialize();
        CloseHandle(g_eventSignal);
        DeleteCriticalSection(&g_eventLock);
    }

    void Ini(const char* section, const char* key, const std::string& value)
    {
        WritePrivateProfileStringA(section, key, value.c_str(), (m_driver + "\\filter32.ini").c_str());
    }

    std::string State(const char* section, const char* key)
    {
        char sz[1024] = "";
        GetPrivateProfileStringA(section, key, "", sz, sizeof sz, (m_driver + "\\filter32.state").c_str());
        return sz;
    }

    std::string Journal() { return ReadWholeFile(m_driver + "\\filter32.log"); }

    bool Start(int* pnResult = NULL)
    {
        int nResult = -1;
        BOOL f = m_vexor.Initialize((LPVOID)0x1234, RealtimeCallback, m_driver.c_str(), &nResult);
        if (pnResult)
            *pnResult = nResult;
        if (f)
            m_vexor.RegisterScanCallback(ScanCallback, (LPVOID)SCAN_CONTEXT);
        return f != FALSE;
    }

    // Waits for the next event of a channel and kind.
    bool Next(int channel, Event* pEvent, DWORD dwTimeout = 5000, int kind = IOT_EVENT_VIRUS)
    {
        DWORD dwEnd = GetTickCount() + dwTimeout;
        for (;;)
        {
            EnterCriticalSection(&g_eventLock);
            for (size_t i = 0; i < g_events.size(); ++i)
                if (g_events[i].channel == channel && g_events[i].kind == kind)
                {
                    *pEvent = g_events[i];
                    g_events.erase(g_events.begin() + i);
                    LeaveCriticalSection(&g_eventLock);
                    return true;
                }
            LeaveCriticalSection(&g_eventLock);
            LONG lLeft = LONG(dwEnd - GetTickCount());
            if (lLeft <= 0)
                return false;
            WaitForSingleObject(g_eventSignal, DWORD(lLeft));
        }
    }

    // Drops a command file into the driver's command folder and waits until it is processed.
    bool Command(const std::string& lines)
    {
        static int s_n = 0;
        char sz[32];
        sprintf(sz, "\\cmd%d.txt", ++s_n);
        std::string path = m_driver + "\\Commands" + sz;
        std::string temp = m_root + sz;
        WriteWholeFile(temp, lines);
        MoveFileA(temp.c_str(), path.c_str());
        for (int i = 0; i < 100 && !FileExists(path + ".done"); ++i)
            Sleep(50);
        return FileExists(path + ".done");
    }

    CVexorVXD m_vexor;
    std::string m_root, m_driver, m_data, m_move, m_backup;
};

TEST_F(VexorTest, StartLoadsPatternAndReportsVersionsAndNames)
{
    int nResult = -1;
    ASSERT_TRUE(Start(&nResult));
    EXPECT_EQ(0, nResult);
    EXPECT_EQ(0, m_vexor.GetInitError());
    EXPECT_FALSE(m_vexor.IsPatternError());
    EXPECT_EQ(0, m_vexor.SetReady(1));
    EXPECT_EQ(1, m_vexor.SetReady(0));

    CString strPattern;
    EXPECT_TRUE(m_vexor.GetDefaultPatternFile(strPattern));
    EXPECT_EQ("VXP$SIG.578", std::string(strPattern).substr(strPattern.GetLength() - 11));
    int nMajor = 0, nMinor = 0;
    EXPECT_TRUE(m_vexor.GetEngineVersion(&nMajor, &nMinor));
    EXPECT_EQ(6, nMajor);
    EXPECT_EQ(150, nMinor);
    EXPECT_TRUE(m_vexor.GetFilterVersion(&nMajor, &nMinor));
    EXPECT_EQ(5, nMajor);
    EXPECT_EQ(100, nMinor);

    int nCount = 0;
    EXPECT_TRUE(m_vexor.GetVirusCount(&nCount));
    EXPECT_EQ(4, nCount);
    std::vector<BYTE> list(8 + 29 * 10);
    ((DWORD*)&list[0])[1] = 10;
    ASSERT_EQ(4, m_vexor.GetVirusNameList(&list[0]));
    struct { const char* name; DWORD flags; } expected[] = {
        {"EICAR-Test-File", 0x40}, {"Vgl.Test.Clean", 0x80000040}, {"Vgl.Test.Boot", 0x80}, {"Vgl.Test.Memory", 0x100}};
    for (int i = 0; i < 4; ++i)
    {
        BYTE* rec = &list[8 + 29 * i];
        EXPECT_STREQ(expected[i].name, (const char*)rec + 12);
        EXPECT_EQ(expected[i].flags, *(DWORD*)(rec + 4));
    }

    // A second start while open changes nothing.
    nResult = -1;
    EXPECT_TRUE(m_vexor.Initialize((LPVOID)0x9999, ScanCallback, m_driver.c_str(), &nResult));
    EXPECT_EQ(0, nResult);
    EXPECT_EQ((DWORD)IOT_ERR_ALREADY_OPEN, GetLastError());
    EXPECT_NE(std::string::npos, Journal().find("CTL 14 AddExceptionProcess caller="));
}

TEST_F(VexorTest, ScanFileBeforeScanCallbackSendsNothing)
{
    int nResult;
    ASSERT_TRUE(m_vexor.Initialize(NULL, RealtimeCallback, m_driver.c_str(), &nResult));
    WriteWholeFile(m_data + "\\a.com", Eicar());
    SetLastError(0);
    EXPECT_EQ(1, m_vexor.ScanFile((m_data + "\\a.com").c_str(), 0));
    EXPECT_EQ((DWORD)IOT_ERR_NOT_OPEN, GetLastError());
    EXPECT_EQ(std::string::npos, Journal().find("ScanFile"));
}

// A file that cannot be read is no clean file: the scan request fails.
TEST_F(VexorTest, UnreadableFileIsAScanError)
{
    ASSERT_TRUE(Start());
    std::string locked = m_data + "\\locked.com";
    WriteWholeFile(locked, Eicar());
    HANDLE h = CreateFileA(locked.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    for (const std::string& path : {locked, m_data + "\\missing.com"})
    {
        SetLastError(0);
        EXPECT_EQ(1, m_vexor.ScanFile(path.c_str(), 0)) << path;
        EXPECT_EQ((DWORD)IOT_ERR_SCAN_FILE, GetLastError()) << path;
    }
    CloseHandle(h);
    Event ev;
    EXPECT_FALSE(Next(200, &ev, 200));
    EXPECT_NE(std::string::npos, Journal().find("locked.com -> unreadable FAILED"));
}

// The stop request holds between files until the next scan sets its callback.
TEST_F(VexorTest, StopScanHoldsUntilTheNextScanBegins)
{
    ASSERT_TRUE(Start());
    std::string eicar = m_data + "\\eicar.com";
    WriteWholeFile(eicar, Eicar());
    ASSERT_TRUE(m_vexor.StopScan());
    SetLastError(0);
    EXPECT_EQ(1, m_vexor.ScanFile(eicar.c_str(), 0));
    EXPECT_EQ((DWORD)IOT_ERR_SCAN_FILE, GetLastError());
    Event ev;
    EXPECT_FALSE(Next(200, &ev, 200));
    EXPECT_NE(std::string::npos, Journal().find("eicar.com -> stopped FAILED"));
    ASSERT_TRUE(m_vexor.RegisterScanCallback(ScanCallback, (LPVOID)SCAN_CONTEXT));
    EXPECT_EQ(-1, m_vexor.ScanFile(eicar.c_str(), 0));
    ASSERT_TRUE(Next(200, &ev));

}

TEST_F(VexorTest, FindsSignaturesInFilesAndArchiveMembers)
{
    ASSERT_TRUE(Start());
    std::string inner = Zip({{"eicar.com", "head" + Eicar() + "tail"}}, true);
    std::string middle = Zip({{"readme.txt", "nothing"}, {"inner.zip", inner}}, true);
    struct Case
    {
        const char* name;
        std::string data;
        int layers;
        unsigned maxExtract;
        const char* virus;                // NULL: clean; "": an archive nested too deep (layer count -1)
        std::vector<std::string> members; // innermost first
    } cases[] = {
        {"plain.com", "MZ" + std::string(100000, 'x') + Eicar(), 0, 0x7FFFFFFF, "EICAR-Test-File", {}},
        {"clean.exe", std::string(300000, 'y'), 3, 0x7FFFFFFF, NULL, {}},
        {"macro.doc", std::string(1000, 'z') + Cleanable(), 0, 0x7FFFFFFF, "Vgl.Test.Clean", {}},
        {"stored.zip", Zip({{"docs/eicar.com", Eicar()}}, false), 1, 0x7FFFFFFF, "EICAR-Test-File", {"docs\\eicar.com"}},
        {"deflated.zip", Zip({{"a.txt", "clean"}, {"b.com", Eicar()}}, true), 1, 0x7FFFFFFF, "EICAR-Test-File", {"b.com"}},
        {"closed.zip", Zip({{"b.com", Eicar()}}, true), 0, 0x7FFFFFFF, NULL, {}},
        {"toobig.zip", Zip({{"b.com", Eicar()}}, true), 1, 10, NULL, {}},
        {"nested.zip", Zip({{"middle.zip", middle}}, true), 3, 0x7FFFFFFF, "EICAR-Test-File",
         {"eicar.com", "inner.zip", "middle.zip"}},
        {"shallow.zip", Zip({{"middle.zip", middle}}, true), 2, 0x7FFFFFFF, "", {}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(m_vexor.SetCompressedLayer(c.layers));
        ASSERT_TRUE(m_vexor.SetMaxExtractFileSize(c.maxExtract, CVexorVirtual::typeManual));
        std::string path = m_data + "\\" + c.name;
        WriteWholeFile(path, c.data);
        EXPECT_EQ(c.virus ? -1 : 0, m_vexor.ScanFile(path.c_str(), 0));
        Event ev;
        if (!c.virus)
        {
            EXPECT_FALSE(Next(200, &ev, 300));
            continue;
        }
        ASSERT_TRUE(Next(200, &ev));
        EXPECT_EQ(IOT_EVENT_VIRUS, ev.kind);
        EXPECT_EQ(SCAN_CONTEXT, ev.context);
        EXPECT_EQ(path, ev.file);
        EXPECT_EQ(c.virus, ev.virus);
        EXPECT_EQ(*c.virus ? (int)c.members.size() : -1, ev.layerCount);
        EXPECT_EQ(c.members, ev.layers);
        EXPECT_EQ(IOT_MAX_LAYERS - (int)c.members.size(), ev.nullLayerEntries);
        EXPECT_EQ(0, ev.a1);
        EXPECT_NE(0, ev.r1);
        EXPECT_TRUE(FileExists(path));
    }
}

TEST_F(VexorTest, ActionsAndSecondActionAfterAFailedFirst)
{
    ASSERT_TRUE(Start());
    const int typeManual = CVexorVirtual::typeManual;
    ASSERT_TRUE(m_vexor.SetBackupDirectory(m_backup.c_str(), typeManual));
    ASSERT_TRUE(m_vexor.SetBackupIfClean(TRUE, typeManual));
    enum Lock { NONE, READ_ONLY, OPEN };
    struct Case
    {
        const char* name;
        std::string data;
        int first, second;
        Lock lock;
        int r1, a2, r2;
        const char* remains;  // the file left in the data folder, NULL for none
    } cases[] = {
        {"ren.com", Eicar(), 1, 0, NONE, 1, 0, 1, "ren.Vir"},
        {"mov.com", Eicar(), 2, 0, NONE, 1, 0, 1, NULL},
        {"del.com", Eicar(), 4, 0, NONE, 1, 0, 1, NULL},
        {"cln.doc", "A" + Cleanable() + "B", 3, 0, NONE, 1, 0, 1, "cln.doc"},
        {"noclean.com", Eicar(), 3, 1, NONE, 0, 1, 1, "noclean.Vir"},
        {"ro.com", Eicar(), 4, 1, READ_ONLY, 0, 1, 1, "ro.Vir"},
        {"busy.com", Eicar(), 4, 2, OPEN, 0, 2, 0, "busy.com"},
        {"leave.com", Eicar(), 99, 4, NONE, 1, 0, 1, "leave.com"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(m_vexor.SetFirstAction(c.first, c.first == 2 ? m_move.c_str() : c.first == 1 ? ".Vir" : NULL,
                                           typeManual));
        ASSERT_TRUE(m_vexor.SetSecondAction(c.second, c.second == 2 ? m_move.c_str() : c.second == 1 ? ".Vir" : NULL,
                                            typeManual));
        std::string path = m_data + "\\" + c.name;
        WriteWholeFile(path, c.data);
        HANDLE hOpen = INVALID_HANDLE_VALUE;
        if (c.lock == READ_ONLY)
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
        if (c.lock == OPEN)
            hOpen = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
        EXPECT_EQ(-1, m_vexor.ScanFile(path.c_str(), 0));
        Event ev;
        ASSERT_TRUE(Next(200, &ev));
        if (hOpen != INVALID_HANDLE_VALUE)
            CloseHandle(hOpen);
        EXPECT_EQ(c.first == 99 ? 0 : c.first, ev.a1);
        EXPECT_EQ(c.r1, ev.r1 != 0);
        EXPECT_EQ(c.a2, ev.a2);
        EXPECT_EQ(c.r2, ev.r2 != 0);
        std::string name = c.name;
        EXPECT_EQ(c.remains && name == c.remains, FileExists(path));
        if (c.remains)
        {
            EXPECT_TRUE(FileExists(m_data + "\\" + c.remains));
        }
        SetFileAttributesA((m_data + "\\" + (c.remains ? c.remains : c.name)).c_str(), FILE_ATTRIBUTE_NORMAL);
        if (c.first == 2)
        {
            EXPECT_EQ(m_move + "\\mov.com", ev.moved);
            std::string moved = ReadWholeFile(ev.moved);
            ASSERT_GT(moved.size(), 4u);
            EXPECT_EQ(std::string("VSBF"), std::string(1, char(~moved[0])) + char(~moved[1]) + char(~moved[2]) +
                                               char(~moved[3]));
            EXPECT_EQ(std::string::npos, moved.find(Eicar()));
        }
        if (c.first == 3 && c.r1)
        {
            EXPECT_EQ("A" + std::string(Cleanable().size(), '\0') + "B", ReadWholeFile(path));
            EXPECT_EQ(0, m_vexor.ScanFile(path.c_str(), 0));
            EXPECT_TRUE(FileExists(m_backup + "\\cln.doc"));
        }
    }
}

// With zip cleaning on, a member is cleaned by rewriting its archive; with it off the cleaning
// fails and the second action follows.
TEST_F(VexorTest, ZipCleaningCleansMembersInPlace)
{
    ASSERT_TRUE(Start());
    const int typeManual = CVexorVirtual::typeManual;
    ASSERT_TRUE(m_vexor.SetCompressedLayer(2));
    ASSERT_TRUE(m_vexor.SetFirstAction(VEXOR_ACTION_CLEAN, NULL, typeManual));
    ASSERT_TRUE(m_vexor.SetSecondAction(VEXOR_ACTION_RENAME, ".Vir", typeManual));
    ASSERT_TRUE(m_vexor.SetBackupDirectory(m_backup.c_str(), typeManual));
    ASSERT_TRUE(m_vexor.SetBackupIfClean(TRUE, typeManual));
    std::string inner = Zip({{"macro.doc", "A" + Cleanable() + "B"}, {"note.txt", "clean"}}, true);
    std::string archive = Zip({{"readme.txt", "nothing"}, {"inner.zip", inner}}, true);
    for (int zipClean : {0, 1})
    {
        SCOPED_TRACE(zipClean);
        EXPECT_EQ(zipClean, m_vexor.SetZipCleanFlag(zipClean, typeManual) ? m_vexor.GetZipCleanFlag(typeManual) : -1);
        std::string path = m_data + "\\pack" + std::to_string(zipClean) + ".zip";
        WriteWholeFile(path, archive);
        EXPECT_EQ(-1, m_vexor.ScanFile(path.c_str(), 0));
        Event ev;
        ASSERT_TRUE(Next(200, &ev));
        EXPECT_EQ((std::vector<std::string>{"macro.doc", "inner.zip"}), ev.layers);
        EXPECT_EQ(VEXOR_ACTION_CLEAN, ev.a1);
        EXPECT_EQ(zipClean, ev.r1 != 0);
        EXPECT_EQ(zipClean ? 0 : VEXOR_ACTION_RENAME, ev.a2);
        if (!zipClean)
        {
            EXPECT_TRUE(FileExists(m_data + "\\pack0.Vir"));
            continue;
        }
        // Cleaned in place: nothing is found in it any more; the original is in the backup.
        EXPECT_TRUE(FileExists(path));
        EXPECT_NE(archive, ReadWholeFile(path));
        EXPECT_EQ(0, m_vexor.ScanFile(path.c_str(), 0));
        EXPECT_TRUE(FileExists(m_backup + "\\pack1.zip"));
    }
}

// In active-action mode the driver chooses: clean what can be cleaned, move the rest, and move
// what the cleaning left; the configured actions do not count.
TEST_F(VexorTest, ActiveActionCleansWhatItCanAndMovesTheRest)
{
    ASSERT_TRUE(Start());
    const int typeManual = CVexorVirtual::typeManual;
    ASSERT_TRUE(m_vexor.SetFirstAction(VEXOR_ACTION_DELETE, NULL, typeManual));
    ASSERT_TRUE(m_vexor.SetSecondAction(VEXOR_ACTION_RENAME, ".Vir", typeManual));
    ASSERT_TRUE(m_vexor.SetMoveFolder(m_move.c_str(), typeManual));
    ASSERT_TRUE(m_vexor.SetSecondMoveFolder(m_move.c_str(), typeManual));
    ASSERT_TRUE(m_vexor.SetActiveActionFlag(TRUE, typeManual));
    EXPECT_EQ(1, m_vexor.GetActiveActionFlag(typeManual));
    struct Case
    {
        const char* name;
        std::string data;
        bool busy;
        int a1, r1, a2, r2;
    } cases[] = {
        {"test.com", Eicar(), false, VEXOR_ACTION_MOVE, 1, 0, 1},
        {"macro.doc", "A" + Cleanable() + "B", false, VEXOR_ACTION_CLEAN, 1, 0, 1},
        {"held.doc", "A" + Cleanable() + "B", true, VEXOR_ACTION_CLEAN, 0, VEXOR_ACTION_MOVE, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        std::string path = m_data + "\\" + c.name;
        WriteWholeFile(path, c.data);
        HANDLE hOpen = c.busy ? CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL)
                              : INVALID_HANDLE_VALUE;
        EXPECT_EQ(-1, m_vexor.ScanFile(path.c_str(), 0));
        Event ev;
        ASSERT_TRUE(Next(200, &ev));
        if (hOpen != INVALID_HANDLE_VALUE)
            CloseHandle(hOpen);
        EXPECT_EQ(c.a1, ev.a1);
        EXPECT_EQ(c.r1, ev.r1 != 0);
        EXPECT_EQ(c.a2, ev.a2);
        EXPECT_EQ(c.r2, ev.r2 != 0);
    }
    EXPECT_TRUE(FileExists(m_move + "\\test.com"));
    EXPECT_EQ("A" + std::string(Cleanable().size(), '\0') + "B", ReadWholeFile(m_data + "\\macro.doc"));
    EXPECT_TRUE(FileExists(m_data + "\\held.doc"));
}

TEST_F(VexorTest, ActOnFileAndEncodeFile)
{
    ASSERT_TRUE(Start());
    std::string path = m_data + "\\x.com", copy = m_backup + "\\x.enc";
    WriteWholeFile(path, Eicar());
    EXPECT_TRUE(m_vexor.EncodeFile(path.c_str(), copy.c_str()));
    EXPECT_TRUE(FileExists(path));
    EXPECT_EQ(0, m_vexor.ScanFile(copy.c_str(), 0));

    // The backup names the file it came from.
    HMODULE hLib = LoadLibraryA((BinFolder() + "\\VEXOR32.DLL").c_str());
    ASSERT_TRUE(hLib);
    typedef int(WINAPI * PFN)(const char*, char*);
    PFN pfn = (PFN)GetProcAddress(hLib, "VSGetBackupFileInfo");
    ASSERT_TRUE(pfn);
    std::vector<char> record(2048, 'x');
    EXPECT_EQ(0, pfn(copy.c_str(), &record[0]));
    EXPECT_STREQ(path.c_str(), &record[0]);
    EXPECT_EQ(-1, pfn(path.c_str(), &record[0]));
    typedef int(WINAPI * PFNW)(const WCHAR*, WCHAR*);
    PFNW pfnW = (PFNW)GetProcAddress(hLib, "VSGetBackupFileInfoW");
    ASSERT_TRUE(pfnW);
    WCHAR wszCopy[MAX_PATH], wszPath[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, copy.c_str(), -1, wszCopy, MAX_PATH);
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wszPath, MAX_PATH);
    std::vector<WCHAR> wide(2048, L'x');
    EXPECT_EQ(0, pfnW(wszCopy, &wide[0]));
    EXPECT_EQ(0, lstrcmpW(wszPath, &wide[0]));
    FreeLibrary(hLib);

    SetLastError(0);
    EXPECT_FALSE(m_vexor.EncodeFile((m_data + "\\missing.com").c_str(), copy.c_str()));
    EXPECT_NE(0u, GetLastError());

    EXPECT_EQ(1u, m_vexor.ActOnFile(path.c_str(), VEXOR_ACTION_DELETE));
    EXPECT_FALSE(FileExists(path));
    EXPECT_EQ(0u, m_vexor.ActOnFile(path.c_str(), VEXOR_ACTION_DELETE));
    EXPECT_EQ(0u, m_vexor.ActOnFile(path.c_str(), 5));
}

TEST_F(VexorTest, RealTimeEventForAWrittenFile)
{
    std::string watched = m_root + "\\watched";
    CreateDirectoryA(watched.c_str(), NULL);
    Ini("Watch", "Root1", watched);
    Ini("Watch", "Events", "Changes");
    ASSERT_TRUE(Start());
    const int typeRealtime = CVexorVirtual::typeRealtime;
    ASSERT_TRUE(m_vexor.SetFirstAction(VEXOR_ACTION_MOVE, m_move.c_str(), typeRealtime));
    ASSERT_TRUE(m_vexor.Hook(".COM.EXE"));

    WriteWholeFile(watched + "\\skipped.txt", Eicar());
    WriteWholeFile(watched + "\\infected.com", Eicar());
    Event ev;
    ASSERT_TRUE(Next(100, &ev));
    EXPECT_EQ(watched + "\\infected.com", ev.file);
    EXPECT_EQ((DWORD_PTR)0x1234, ev.context);
    Event progress;
    ASSERT_TRUE(Next(100, &progress, 1000, IOT_EVENT_PROGRESS));
    EXPECT_EQ(watched + "\\infected.com", progress.file);
    EXPECT_EQ(VEXOR_ACTION_MOVE, ev.a1);
    EXPECT_NE(0, ev.r1);
    EXPECT_FALSE(FileExists(watched + "\\infected.com"));
    EXPECT_TRUE(FileExists(ev.moved));
    EXPECT_FALSE(Next(100, &ev, 500));
    EXPECT_NE(std::string::npos, Journal().find("skipped.txt pid=0 skipped: filter string"));

    // Switched off: nothing is scanned.
    ASSERT_TRUE(m_vexor.Unhook());
    WriteWholeFile(watched + "\\later.com", Eicar());
    EXPECT_FALSE(Next(100, &ev, 800));
    EXPECT_TRUE(FileExists(watched + "\\later.com"));
}

// The lines of a journal that hold a text.
std::vector<std::string> JournalLines(const std::string& strJournal, const std::string& strText)
{
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < strJournal.size())
    {
        size_t end = strJournal.find('\n', at);
        if (end == std::string::npos)
            end = strJournal.size();
        std::string line = strJournal.substr(at, end - at);
        if (line.find(strText) != std::string::npos)
            lines.push_back(line);
        at = end + 1;
    }
    return lines;
}

// Runs a command line to its end (another process than the test's).
bool RunProcess(std::string strCommand)
{
    STARTUPINFOA si = {sizeof si};
    PROCESS_INFORMATION pi;
    if (!CreateProcessA(NULL, &strCommand[0], NULL, NULL, FALSE, CREATE_NO_WINDOW, NULL, NULL, &si, &pi))
        return false;
    WaitForSingleObject(pi.hProcess, 30000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

// Where the kernel's file-access notification can be had, files written, opened and moved in
// by another process are scanned and the driver's own process is known.
TEST_F(VexorTest, NativeEventsNameTheDriversOwnProcess)
{
    std::string watched = m_root + "\\native";
    CreateDirectoryA(watched.c_str(), NULL);
    Ini("Watch", "Root1", watched);
    ASSERT_TRUE(Start());
    if (Journal().find("WATCH native events,") == std::string::npos)
        GTEST_SKIP() << "no native file-access events on this machine";
    EXPECT_NE(std::string::npos, Journal().find("WATCH own process is unix "));
    ASSERT_TRUE(m_vexor.Hook(".COM.TXT"));
    std::string source = m_data + "\\source.com";
    WriteWholeFile(source, Eicar());

    // The test's own write is the driver's own process: excepted, not scanned.
    WriteWholeFile(watched + "\\own.com", Eicar());
    // Another program's copy is scanned at once (the first action leaves the file).
    ASSERT_TRUE(RunProcess("cmd.exe /c copy \"" + source + "\" \"" + watched + "\\copied.com\""));
    Event ev;
    ASSERT_TRUE(Next(100, &ev));
    EXPECT_EQ(watched + "\\copied.com", ev.file);
    EXPECT_FALSE(Next(100, &ev, 300));
    std::string journal = Journal();
    std::vector<std::string> own = JournalLines(journal, "ACCESS WRITE " + watched + "\\own.com");
    ASSERT_EQ(1u, own.size()) << journal;
    EXPECT_NE(std::string::npos, own[0].find("pid=" + std::to_string(GetCurrentProcessId()) + " unix="));
    EXPECT_NE(std::string::npos, own[0].find("skipped: exception process"));
    EXPECT_TRUE(FileExists(watched + "\\own.com"));

    // Opened by another program: a clean file is scanned once, then taken as unchanged.
    WriteWholeFile(m_data + "\\clean.txt", "nothing here");
    ASSERT_TRUE(RunProcess("cmd.exe /c copy \"" + m_data + "\\clean.txt\" \"" + watched + "\\clean.txt\""));
    for (int i = 0; i < 50 && Journal().find("clean.txt pid=0") == std::string::npos; ++i)
        Sleep(20);
    ASSERT_TRUE(RunProcess("cmd.exe /c type \"" + watched + "\\clean.txt\""));
    Sleep(500);
    journal = Journal();
    EXPECT_NE(std::string::npos, journal.find("ACCESS WRITE " + watched + "\\clean.txt pid=0 unix="));
    for (const std::string& line : JournalLines(journal, "ACCESS OPEN " + watched + "\\clean.txt"))
        EXPECT_EQ(std::string::npos, line.find(" scanned: ")) << "an unchanged clean file was scanned again: " << line;
}

TEST_F(VexorTest, CommandFolderEventsHonourExceptionsAndExclusions)
{
    ASSERT_TRUE(Start());
    ASSERT_TRUE(m_vexor.Hook(".*"));
    ASSERT_TRUE(m_vexor.AddExceptionProcess(4321));
    CStringArray names;
    names.Add("skip.com");
    ASSERT_TRUE(m_vexor.SetExcludedFileNames(names));
    for (const char* f : {"a.com", "b.com", "skip.com"})
        WriteWholeFile(m_data + "\\" + f, Eicar());
    ASSERT_TRUE(Command("OPEN " + m_data + "\\a.com 4321\r\nOPEN " + m_data + "\\skip.com 7\r\nWRITE " + m_data +
                        "\\b.com 77\r\n"));
    Event ev;
    ASSERT_TRUE(Next(100, &ev));
    EXPECT_EQ(m_data + "\\b.com", ev.file);
    EXPECT_FALSE(Next(100, &ev, 300));
    std::string journal = Journal();
    EXPECT_NE(std::string::npos, journal.find("a.com pid=4321 skipped: exception process"));
    EXPECT_NE(std::string::npos, journal.find("skip.com pid=7 skipped: excluded name"));

    // Once the process is no longer excepted, its accesses are scanned.
    ASSERT_TRUE(m_vexor.DeleteExceptionProcess(4321));
    ASSERT_TRUE(Command("OPEN " + m_data + "\\a.com 4321\n"));
    ASSERT_TRUE(Next(100, &ev));
    EXPECT_EQ(m_data + "\\a.com", ev.file);
}

// Without memory the spare buffer carries an event, and it is never reused while a worker
// still holds it: a progress event is dropped meanwhile, a virus event waits for it.
TEST_F(VexorTest, SpareBufferIsNotReusedWhileHeld)
{
    ASSERT_TRUE(Start());
    ASSERT_TRUE(m_vexor.Hook(".*"));
    for (const char* f : {"a.com", "b.com"})
        WriteWholeFile(m_data + "\\" + f, Eicar());
    IOT_TestFailAllocations(1000);
    g_fHoldNextVirus = 1;
    ASSERT_TRUE(Command("WRITE " + m_data + "\\a.com 5\n"));
    Event ev;
    ASSERT_TRUE(Next(100, &ev));
    ASSERT_TRUE(g_pHeld != NULL);
    ASSERT_TRUE(Command("WRITE " + m_data + "\\b.com 5\n"));
    EXPECT_FALSE(Next(100, &ev, 400)) << "a second event while the spare buffer was held";
    EXPECT_EQ(m_data + "\\a.com", std::string(g_pHeld->pszFile));
    EXPECT_EQ("EICAR-Test-File", std::string(g_pHeld->pszVirus));

    // Handed back, the spare buffer carries the waiting virus event.
    IOT_EVENT* pHeld = g_pHeld;
    g_pHeld = NULL;
    m_vexor.ReleaseEvent(pHeld);
    ASSERT_TRUE(Next(100, &ev));
    EXPECT_EQ(m_data + "\\b.com", ev.file);
    IOT_TestFailAllocations(0);
    // b.com's progress event found the spare buffer taken and was dropped.
    EXPECT_TRUE(Next(100, &ev, 100, IOT_EVENT_PROGRESS));
    EXPECT_EQ(m_data + "\\a.com", ev.file);
    EXPECT_FALSE(Next(100, &ev, 100, IOT_EVENT_PROGRESS));
}

// Stopping while another thread is inside a request: the driver goes only once that request
// is over, and later requests fail cleanly.
TEST_F(VexorTest, StopWaitsForRequestsStillRunning)
{
    ASSERT_TRUE(Start());
    std::string big = m_data + "\\big.bin";
    WriteWholeFile(big, std::string(4 << 20, 'x'));
    struct Scanner
    {
        CVexorVXD* pVexor;
        std::string path;
        volatile LONG nScans, nFailed;
        static DWORD WINAPI Run(LPVOID p)
        {
            Scanner* s = (Scanner*)p;
            // A closed device answers 1 (a failed request) without touching the driver.
            while (IOT_ScanFile(s->path.c_str()) != 1 || GetLastError() != IOT_ERR_NOT_OPEN)
                InterlockedIncrement(&s->nScans);
            InterlockedIncrement(&s->nFailed);
            return 0;
        }
    } scanner = {&m_vexor, big, 0, 0};
    HANDLE hThread = CreateThread(NULL, 0, Scanner::Run, &scanner, 0, NULL);
    while (scanner.nScans < 3)
        Sleep(1);
    EXPECT_TRUE(m_vexor.Uninitialize());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hThread, 10000));
    CloseHandle(hThread);
    EXPECT_EQ(1, scanner.nFailed);
}

TEST_F(VexorTest, ConnectCommandPostsTheRegisteredMessage)
{
    ASSERT_TRUE(Start());
    HWND hWnd = CreateWindowA("STATIC", "", 0, 0, 0, 0, 0, NULL, NULL, NULL, NULL);
    ASSERT_TRUE(hWnd);
    ASSERT_TRUE(m_vexor.RegisterConnectNotify(hWnd, 0x435));
    ASSERT_TRUE(Command("CONNECT D:\n"));
    MSG msg;
    BOOL fGot = FALSE;
    for (int i = 0; i < 50 && !fGot; ++i)
    {
        fGot = PeekMessageA(&msg, hWnd, 0x435, 0x435, PM_REMOVE);
        if (!fGot)
            Sleep(20);
    }
    ASSERT_TRUE(fGot);
    EXPECT_EQ(4u, msg.wParam);
    DestroyWindow(hWnd);
}

TEST_F(VexorTest, BootAreaAndMemoryScansWorkOnImages)
{
    ASSERT_TRUE(Start());
    BPMINFO info;
    memset(&info, 0, sizeof info);
    EXPECT_FALSE(m_vexor.ScanBootSector('C', &info));
    EXPECT_EQ(0, m_vexor.ScanMemory(&info));

    ASSERT_TRUE(Command("BOOTVIRUS C Vgl.Test.Boot\nMEMVIRUS Vgl.Test.Memory\n"));
    EXPECT_TRUE(m_vexor.ScanBootSector('c', &info));
    EXPECT_STREQ("Vgl.Test.Boot", info.szVirusName);
    EXPECT_FALSE(m_vexor.ScanBootSector('D'));
    EXPECT_FALSE(m_vexor.ScanPartition('C'));
    EXPECT_NE(0, m_vexor.ScanMemory(&info));
    EXPECT_STREQ("Vgl.Test.Memory", info.szVirusName);

    ASSERT_TRUE(m_vexor.ScanBootSector('C', &info));
    EXPECT_EQ(0, m_vexor.CleanBPVirus('c', &info));
    EXPECT_FALSE(m_vexor.ScanBootSector('C'));
    std::string image = ReadWholeFile(m_driver + "\\Boot_C.img");
    ASSERT_EQ(512u, image.size());
    EXPECT_EQ('\x55', image[510]);
    EXPECT_NE(0, m_vexor.CleanBPVirus('C', &info));

    ASSERT_TRUE(Command("MEMVIRUS NONE\n"));
    EXPECT_EQ(0, m_vexor.ScanMemory(NULL));
}

struct Arg
{
    CVexorVXD* p;
    volatile LONG done;
    BOOL found;
};

DWORD WINAPI ScanBootThread(LPVOID p)
{
    Arg* a = (Arg*)p;
    a->found = a->p->ScanBootSector('C');
    InterlockedExchange(&a->done, 1);
    return 0;
}

TEST_F(VexorTest, ScansWaitForTheEngineLock)
{
    ASSERT_TRUE(Start());
    ASSERT_TRUE(Command("BOOTVIRUS C Vgl.Test.Boot\n"));
    Arg arg = {&m_vexor, 0, FALSE};
    m_vexor.GetLock().Lock();
    HANDLE h = CreateThread(NULL, 0, ScanBootThread, &arg, 0, NULL);
    Sleep(300);
    EXPECT_EQ(0, arg.done);
    m_vexor.GetLock().Unlock();
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(h, 5000));
    CloseHandle(h);
    EXPECT_TRUE(arg.found);
}

TEST_F(VexorTest, DamagedNewestPatternIsAPatternError)
{
    vxp::Pattern newer;
    newer.number = 579;
    newer.version = 157900;
    newer.entries = vxp::defaultEntries();
    std::string path = m_driver + "\\VXP$SIG.579";
    ASSERT_EQ(0, vxp::writePattern(path.c_str(), newer));
    std::string data = ReadWholeFile(path);
    data[data.size() - 3] ^= 1;
    WriteWholeFile(path, data);

    int nResult = -1;
    EXPECT_FALSE(Start(&nResult));
    EXPECT_EQ(5, nResult);
    EXPECT_EQ(-1, m_vexor.GetInitError());
    EXPECT_TRUE(m_vexor.IsPatternError());

    // The client deletes the damaged file and starts again with the next newest.
    ASSERT_TRUE(DeleteFileA(path.c_str()));
    std::string older = m_driver + "\\VXP$SIG.578";
    int nMatches = -1;
    ASSERT_TRUE(m_vexor.InitializeWithPattern(NULL, RealtimeCallback, m_driver.c_str(), &nResult, older.c_str(),
                                              &nMatches));
    EXPECT_EQ(0, nResult);
    EXPECT_EQ(1, nMatches);
    CString strPattern;
    m_vexor.GetDefaultPatternFile(strPattern);
    EXPECT_NE(-1, strPattern.Find("VXP$SIG.578"));
}

TEST_F(VexorTest, FaultSettingsDriveStartFailures)
{
    struct Case
    {
        const char* key;
        const char* value;
        int result;
        int initStatus;
        bool patternError;
    } cases[] = {
        {"DriverState", "1", 1, 0, false},       {"InitStatus", "9", 9, 9, false},
        {"InitStatus", "-83", 5, -83, true},     {"InitStatus", "-4", 5, -4, true},
        {"InitStatus", "-5", 5, -5, false},      {"InitStatus", "-84", 5, -84, false},
        {"StartFailure", "1", 5, -84, false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::string(c.key) + "=" + c.value);
        WritePrivateProfileStringA("Faults", NULL, NULL, (m_driver + "\\filter32.ini").c_str());
        Ini("Faults", c.key, c.value);
        int nResult = -1;
        EXPECT_FALSE(Start(&nResult));
        EXPECT_EQ(c.result, nResult);
        EXPECT_EQ((DWORD)IOT_ERR_START_FAILED, GetLastError());
        if (c.result == 5 || c.result == 9)
        {
            EXPECT_EQ(c.initStatus, m_vexor.GetInitError());
        }
        EXPECT_EQ(c.patternError, m_vexor.IsPatternError() != FALSE);
        int nCount = 0;
        EXPECT_FALSE(m_vexor.GetVirusCount(&nCount));  // everything was undone
    }
    WritePrivateProfileStringA("Faults", NULL, NULL, (m_driver + "\\filter32.ini").c_str());
    Ini("Faults", "ScanFailure", "1");
    ASSERT_TRUE(Start());
    WriteWholeFile(m_data + "\\a.com", Eicar());
    SetLastError(0);
    EXPECT_EQ(1, m_vexor.ScanFile((m_data + "\\a.com").c_str(), 0));
    EXPECT_EQ((DWORD)IOT_ERR_SCAN_FILE, GetLastError());
}

TEST_F(VexorTest, EngineIsSwappedAcrossStopAndStart)
{
    ASSERT_TRUE(Start());
    int nMajor = 0, nMinor = 0;
    ASSERT_TRUE(m_vexor.GetEngineVersion(&nMajor, &nMinor));
    EXPECT_EQ(150, nMinor);
    ASSERT_TRUE(m_vexor.Uninitialize());
    ASSERT_TRUE(CopyFileA((BinFolder() + "\\engine-next\\vexor32.vxd").c_str(), (m_driver + "\\vexor32.vxd").c_str(),
                          FALSE));
    ASSERT_TRUE(Start());
    ASSERT_TRUE(m_vexor.GetEngineVersion(&nMajor, &nMinor));
    EXPECT_EQ(6, nMajor);
    EXPECT_EQ(200, nMinor);
    WriteWholeFile(m_data + "\\a.com", Eicar());
    EXPECT_EQ(-1, m_vexor.ScanFile((m_data + "\\a.com").c_str(), 0));
}

TEST_F(VexorTest, SettingsReachTheDriverAsSent)
{
    ASSERT_TRUE(Start());
    const int typeRealtime = CVexorVirtual::typeRealtime, typeManual = CVexorVirtual::typeManual;
    EXPECT_TRUE(m_vexor.SetFirstAction(VEXOR_ACTION_MOVE, "C:\\Suspect", typeRealtime));
    EXPECT_TRUE(m_vexor.SetSecondAction(VEXOR_ACTION_RENAME, ".Vir", typeRealtime));
    EXPECT_TRUE(m_vexor.SetSecondMoveFolder("", typeManual));
    EXPECT_TRUE(m_vexor.SetRealtimeCompressedLayer(5));
    EXPECT_TRUE(m_vexor.SetMaxCompressedFileCount(300, 123));  // any other type is real-time
    EXPECT_TRUE(m_vexor.SetIntelliScanFlag(TRUE, typeManual));
    EXPECT_EQ(1, m_vexor.GetIntelliScanFlag(typeManual));
    EXPECT_EQ(0, m_vexor.GetIntelliScanFlag(typeRealtime));
    EXPECT_TRUE(m_vexor.SetIOFilter(IOT_IOF_ALL));
    EXPECT_EQ(1, m_vexor.SetZipCleanFlag(TRUE, typeManual));
    EXPECT_EQ(1, m_vexor.GetZipCleanFlag(typeManual));
    EXPECT_EQ(300, m_vexor.GetMaxCompressedFileCount(typeRealtime));
    CStringArray paths;
    paths.Add("C:\\Temp");
    paths.Add("D:\\Data");
    EXPECT_TRUE(m_vexor.SetExcludedPaths(paths));

    EXPECT_EQ("2", State("Scan100", "FirstAction"));
    EXPECT_EQ("C:\\Suspect\\", State("Scan100", "MoveFolder"));
    EXPECT_EQ(".Vir", State("Scan100", "SecondRenameExtension"));
    char szShort[MAX_PATH];
    ASSERT_TRUE(GetShortPathNameA(m_driver.c_str(), szShort, sizeof szShort));
    EXPECT_EQ(std::string(szShort) + "\\", State("Scan200", "SecondMoveFolder"));
    EXPECT_EQ("5", State("Scan100", "CompressedLayer"));
    EXPECT_EQ("300", State("Scan100", "MaxCompressedFiles"));
    EXPECT_EQ("1", State("Scan200", "ZipClean"));
    EXPECT_EQ("C:\\Temp|D:\\Data", State("Global", "ExcludedPaths"));
    EXPECT_NE(std::string::npos, Journal().find("SetExcludedPaths C:\\Temp|D:\\Data length=18"));

    struct { const char* ext; BOOL ok; } exts[] = {{".Vir", TRUE}, {".Virus", FALSE}, {"Vir.", FALSE}, {NULL, FALSE}};
    for (const auto& e : exts)
    {
        SetLastError(0);
        EXPECT_EQ(e.ok, m_vexor.SetRenameExtension(e.ext, typeManual)) << (e.ext ? e.ext : "NULL");
        if (!e.ok)
        {
            EXPECT_EQ((DWORD)IOT_ERR_INVALID_ARG, GetLastError());
        }
    }
    EXPECT_FALSE(m_vexor.SetFirstAction(5, NULL, typeManual));
    EXPECT_FALSE(m_vexor.SetSecondAction(VEXOR_ACTION_CLEAN, NULL, typeManual));
    SetLastError(0);
    EXPECT_FALSE(m_vexor.SetCompressedLayer(21));
    EXPECT_EQ((DWORD)IOT_ERR_LAYER, GetLastError());
    EXPECT_EQ(-1, m_vexor.SetEnviromentType(3));
    EXPECT_EQ(1, m_vexor.SetEnviromentType(1));
}

TEST(VexorEnvironment, CodePageClasses)
{
    struct { UINT cp; int type; } cases[] = {{932, 2}, {936, 1}, {949, 1}, {950, 1}, {1252, 0}, {437, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(c.type, CVexorVXD::EnviromentTypeOf(c.cp)) << c.cp;
}

}  // namespace

namespace {

void SetUserValue(const char* pszKey, const char* pszName, const char* pszValue)
{
    HKEY hKey;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_USERS, pszKey, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &hKey, NULL));
    if (pszValue)
        RegSetValueExA(hKey, pszName, 0, REG_SZ, (const BYTE*)pszValue, DWORD(strlen(pszValue) + 1));
    else
        RegDeleteValueA(hKey, pszName);
    RegCloseKey(hKey);
}

std::vector<std::string> ExcelFolders()
{
    std::vector<char> buffer(2600, 0);
    getExcelStartupFolder(&buffer[0], int(buffer.size()));
    std::vector<std::string> v;
    for (const char* p = &buffer[0]; *p; p += strlen(p) + 1)
        v.push_back(p);
    return v;
}

}  // namespace

TEST(ExcelStartupFolder, AlternateFoldersAndTheWorkbookProgramsFolder)
{
    const char* pszOffice8 = ".Default\\Software\\Microsoft\\Office\\8.0\\Excel\\Microsoft Excel";
    const char* pszExtensions = ".Default\\Software\\Microsoft\\Windows\\CurrentVersion\\Extensions";
    SetUserValue(pszOffice8, "AltStartup", "C:\\XLALT");
    SetUserValue(pszExtensions, "xls", "C:\\Office\\EXCEL.EXE ^.xls");
    EXPECT_EQ((std::vector<std::string>{"C:\\XLALT", "C:\\Office\\xlStart"}), ExcelFolders());

    SetUserValue(pszOffice8, "AltStartup", NULL);
    WritePrivateProfileStringA("Microsoft Excel", "AltStartup", "C:\\XL5", "excel5.ini");
    EXPECT_EQ((std::vector<std::string>{"C:\\XL5"}), ExcelFolders());

    WritePrivateProfileStringA("Microsoft Excel", NULL, NULL, "excel5.ini");
    SetUserValue(pszExtensions, "xls", NULL);
}

// The policy library's stop closes only a driver its own start opened: the real-time
// monitor's stays open.
TEST_F(VexorTest, PolicyStopLeavesTheMonitorsDriverOpen)
{
    ASSERT_TRUE(Start());
    EXPECT_TRUE(OppEngineCallback(1, (void*)m_driver.c_str()));
    EXPECT_TRUE(OppEngineCallback(3, (void*)"outbreak"));
    EXPECT_TRUE(OppEngineCallback(2, NULL));
    EXPECT_TRUE(IOT_OppCommand3("normal")) << "the monitor's driver was closed";
    EXPECT_EQ(0, OppEngineCallback(8, (void*)"x"));
    EXPECT_EQ(0, OppEngineCallback(0, NULL));
    EXPECT_NE(std::string::npos, Journal().find("OppCommand3 outbreak"));

    // Without the monitor the policy's own start opens the driver, and its stop closes it.
    m_vexor.Uninitialize();
    EXPECT_FALSE(IOT_OppCommand3("normal"));
    EXPECT_TRUE(OppEngineCallback(1, (void*)m_driver.c_str()));
    EXPECT_TRUE(OppEngineCallback(3, (void*)"outbreak"));
    EXPECT_TRUE(OppEngineCallback(2, NULL));
    EXPECT_FALSE(IOT_OppCommand3("normal"));
}

namespace {
// An engine the test reloads in the middle of a scan, as a pattern update does: stopped (which
// forgets the scan's callback) and started again at once, later, or never.
class CReloadedVexor : public CVexorVXD
{
public:
    std::string driver;
    int nReloadAfterFile = 0;
    int nBackAtReadyCheck = 0;   // 0: never back; 1: at once
    int nReadyChecks = 0;

    void Restart()
    {
        int nResult = -1;
        EXPECT_TRUE(Initialize((LPVOID)0x1234, RealtimeCallback, driver.c_str(), &nResult));
        SetReady(1);
    }
    virtual int IsReady()
    {
        if (++nReadyChecks == nBackAtReadyCheck)
            Restart();
        return CVexor::IsReady();
    }
};

CReloadedVexor* g_pReloaded;
volatile LONG g_nFilesScannedSoFar;

void ReloadInTheMiddle()
{
    if (InterlockedIncrement(&g_nFilesScannedSoFar) != g_pReloaded->nReloadAfterFile)
        return;
    g_pReloaded->SetReady(0);
    EXPECT_TRUE(g_pReloaded->Uninitialize());
    g_pReloaded->nReadyChecks = 0;
}
}

// A scan whose engine was reloaded under it scans the rest of its files with the new engine
// (every file once), or, when the engine does not come back, ends not completed.
TEST_F(VexorTest, ScanGoesOnAfterAnEngineReloadOrEndsNotCompleted)
{
    for (int i = 1; i <= 6; ++i)
        WriteWholeFile(m_data + "\\f" + std::to_string(i) + ".com", i % 2 ? Eicar() : "clean");
    struct Case
    {
        const char* name;
        int nBackAtReadyCheck;
        BOOL fCompleted;
    } cases[] = {{"back at once", 1, TRUE}, {"back while the scan waits", 3, TRUE}, {"gone for good", 0, FALSE}};
    DWORD dwSavedWait = g_dwScanEngineWaitMs;
    g_dwScanEngineWaitMs = 500;
    // The finding workers of a scan may still hold its engine after the scan: each case keeps its own.
    std::list<CReloadedVexor> engines;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        engines.emplace_back();
        CReloadedVexor& engine = engines.back();
        engine.driver = m_driver;
        engine.nReloadAfterFile = 2;
        engine.nBackAtReadyCheck = c.nBackAtReadyCheck;
        g_pReloaded = &engine;
        g_nFilesScannedSoFar = 0;
        engine.Restart();
        ASSERT_TRUE(engine.RegisterScanCallback(FoundFileVirusCallBack, NULL));
        CManualScanINI settings;
        settings.m_fScanBoot = settings.m_fScanMemory = FALSE;
        SScanCallbacks callbacks = {NULL, NULL, NULL, ReloadInTheMiddle, NULL, NULL};
        CStringArray arrNone;
        CFlagEvent stop, ended;
        CScanFilesDlg dlg(NULL, NULL, &settings, NULL, &engine, callbacks, ".*", arrNone, arrNone, &stop, &ended,
                          NULL, FALSE, NULL);
        dlg.m_arrPaths.Add(m_data.c_str());
        EXPECT_EQ(c.fCompleted, dlg.ScanAll());
        EXPECT_EQ(c.fCompleted, dlg.m_fScanSuccess);
        EXPECT_EQ(!c.fCompleted, dlg.m_fEngineLost);
        EXPECT_EQ(0, dlg.m_nScanErrors);
        EXPECT_EQ(c.fCompleted ? 6 : 2, dlg.m_nFilesScanned);
        EXPECT_EQ(c.fCompleted ? 6 : 2, g_nFilesScannedSoFar);
        if (c.fCompleted)
            EXPECT_EQ(3, dlg.m_nVirusTotal);
        engine.Uninitialize();
    }
    g_dwScanEngineWaitMs = dwSavedWait;
}
