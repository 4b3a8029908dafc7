// rtbench: how fast real-time protection answers a written file, and what it adds to copying.
//
//   rtbench [FILES [COPIES [ROUNDS [changes]]]]      (defaults 1000, 10000, 3)
//
// Installs the client from the benchmark's own folder into C:\VigilonRtBench with a settings
// file of its own (real-time scanning on, first action Clean, then Rename), starts it, and in
// each round:
//  - latency: writes FILES files one after another into the watched folder C:\rtbench (every
//    fourth one the antivirus test file, the others clean), 20 ms apart, and takes for each the
//    time from the end of its write (its data written, before its handle is closed) to the
//    driver's verdict on it (the time
//    stamp of the driver journal's "scanned" line); prints the median and the 99th percentile;
//  - copy cost: copies COPIES small clean files from a folder outside the watched drives into
//    the watched folder, with the client running, and again with no client; prints both times,
//    the client's processor time during the copy and how long after the copy the last verdict
//    came.
// With "changes" the driver watches by change notification even where native file-access events
// can be had. The machine's other load shows in the figures: run it on an idle machine.
#include <windows.h>

#include "BenchClient.h"
#include "BenchTarget.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace
{
const char s_szInstall[] = "C:\\VigilonRtBench\\";
const char s_szWatched[] = "C:\\rtbench\\";

std::string Eicar()
{
    return std::string("X5O!P%@AP[4\\PZX54(P^)7CC)7}$") + "EICAR" + "-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*";
}

double NowUs()
{
    static LARGE_INTEGER s_freq = {};
    if (s_freq.QuadPart == 0)
        QueryPerformanceFrequency(&s_freq);
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return double(t.QuadPart) * 1e6 / double(s_freq.QuadPart);
}

// Writes a whole file; *pdWritten, when given, takes the time its data was written (before the
// handle is closed).
bool WriteFileWhole(const std::string& path, const std::string& data, double* pdWritten = NULL)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = WriteFile(h, data.data(), DWORD(data.size()), &written, NULL) && written == data.size();
    if (pdWritten)
        *pdWritten = NowUs();
    return CloseHandle(h) && ok;
}

std::string ReadFileWhole(const std::string& path)
{
    std::string data;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                           OPEN_EXISTING, 0, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return data;
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, NULL) && got > 0)
        data.append(buf, got);
    CloseHandle(h);
    return data;
}

void RemoveTree(const std::string& folder)
{
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((folder + "*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE)
    {
        do
        {
            std::string name = fd.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string path = folder + name;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path + "\\");
            else
            {
                SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(path.c_str());
            }
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryA(folder.c_str());
}

bool Install(bool fChanges)
{
    RemoveTree(s_szInstall);
    if (!bench::CopyClientFiles(s_szInstall, "rtbench"))
        return false;
    // The journal holds every verdict of a round.
    WriteFileWhole(std::string(s_szInstall) + "filter32.ini",
                   std::string("[Journal]\r\nMaxSize=268435456\r\n") + (fChanges ? "[Watch]\r\nEvents=Changes\r\n" : ""));
    // A fresh product key from this settings file: real-time scanning with its default file types.
    char szWindows[MAX_PATH];
    GetWindowsDirectoryA(szWindows, sizeof szWindows);
    WriteFileWhole(std::string(szWindows) + "\\VglScan.ini",
                   "[INI_SERVER_SECTION]\r\nSetupType=1\r\nMaster_DomainName=127.0.0.1\r\nMaster_DomainPort=9\r\n"
                   "Master_URL=/Vigilon\r\nUseProxy=0\r\n[INI_PROGRAM_VERSION_SECTION]\r\nKsx95_Version=5.60\r\n"
                   "[INI_CLIENT_SECTION]\r\nCheck_IP_Change_Interval=0\r\n"
                   "[Real Time Scan Configuration]\r\nEnable=YES\r\nVirusFoundAction=Clean\r\n"
                   "CleanFailedAction=Rename\r\nScanMemory=NO\r\nScanBoot=NO\r\n");
    HKEY hKey;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Kavrel\\VigilonCorp", 0, KEY_ALL_ACCESS, &hKey) == ERROR_SUCCESS)
    {
        RegDeleteKeyA(hKey, "CurrentVersion");
        RegCloseKey(hKey);
    }
    DWORD dwZero = 0;
    if (RegCreateKeyA(HKEY_LOCAL_MACHINE, "Software\\Kavrel\\VigilonCorp\\CurrentVersion", &hKey) == ERROR_SUCCESS)
    {
        RegSetValueExA(hKey, "ShowSplash", 0, REG_DWORD, (const BYTE*)&dwZero, sizeof(dwZero));
        RegCloseKey(hKey);
    }
    return true;
}

struct Client
{
    PROCESS_INFORMATION pi = {};
    HWND hMain = NULL;

    bool Start()
    {
        STARTUPINFOA si = {};
        si.cb = sizeof(si);
        std::string strCommand = std::string("\"") + s_szInstall + "Ksxwin97.exe\" -HideWindow";
        if (!CreateProcessA(NULL, &strCommand[0], NULL, NULL, FALSE, 0, NULL, s_szInstall, &si, &pi))
            return false;
        for (int i = 0; i < 6000 && (hMain = bench::ClientMainWindow()) == NULL; ++i)
        {
            if (WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0)
                return false;
            Sleep(10);
        }
        // The watch stands once the engine runs, which the main window's creation waited for.
        return hMain != NULL;
    }

    double CpuSeconds()
    {
        FILETIME c, e, k, u;
        if (!GetProcessTimes(pi.hProcess, &c, &e, &k, &u))
            return 0;
        ULARGE_INTEGER kk, uu;
        kk.LowPart = k.dwLowDateTime;
        kk.HighPart = k.dwHighDateTime;
        uu.LowPart = u.dwLowDateTime;
        uu.HighPart = u.dwHighDateTime;
        return double(kk.QuadPart + uu.QuadPart) / 1e7;
    }

    void Stop()
    {
        if (hMain != NULL)
        {
            PostMessageA(hMain, WM_USER + 1000, 0, 0);
            PostMessageA(hMain, WM_QUIT, 0, 0);
        }
        if (pi.hProcess != NULL && WaitForSingleObject(pi.hProcess, 30000) != WAIT_OBJECT_0)
            TerminateProcess(pi.hProcess, 1);
        if (pi.hProcess != NULL)
        {
            CloseHandle(pi.hThread);
            CloseHandle(pi.hProcess);
        }
        pi = PROCESS_INFORMATION();
        hMain = NULL;
        bench::RemoveStartupEntries("vigilonrtbench");
    }
};

// The verdict times of the journal's "scanned" lines, by lower-cased path.
std::map<std::string, double> Verdicts()
{
    std::map<std::string, double> verdicts;
    std::string text = ReadFileWhole(std::string(s_szInstall) + "filter32.log.old") +
                       ReadFileWhole(std::string(s_szInstall) + "filter32.log");
    size_t at = 0;
    while ((at = text.find("ACCESS WRITE ", at)) != std::string::npos)
    {
        size_t end = text.find('\n', at);
        std::string line = text.substr(at + 13, (end == std::string::npos ? text.size() : end) - at - 13);
        at = end == std::string::npos ? text.size() : end;
        size_t pid = line.find(" pid="), us = line.find(" scanned: ");
        if (pid == std::string::npos || us == std::string::npos || (us = line.find(" us=", us)) == std::string::npos)
            continue;
        std::string path = line.substr(0, pid);
        CharLowerBuffA(&path[0], DWORD(path.size()));
        verdicts[path] = atof(line.c_str() + us + 4);
    }
    return verdicts;
}

double Percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    size_t i = size_t(p * double(v.size() - 1) + 0.5);
    return v[std::min(i, v.size() - 1)];
}

std::string Lower(std::string s)
{
    CharLowerBuffA(&s[0], DWORD(s.size()));
    return s;
}

bool Latency(int nFiles, int nRound, double* pMedian, double* pP99)
{
    std::string folder = std::string(s_szWatched) + "lat" + std::to_string(nRound) + "\\";
    CreateDirectoryA(s_szWatched, NULL);
    CreateDirectoryA(folder.c_str(), NULL);
    std::vector<std::pair<std::string, double>> written;
    std::string clean(2048, 'c'), infected = Eicar();
    for (int i = 0; i < nFiles; ++i)
    {
        char name[32];
        sprintf(name, "f%05d.com", i);
        std::string path = folder + name;
        double dWritten = 0;
        if (!WriteFileWhole(path, i % 4 == 3 ? infected : clean, &dWritten))
        {
            fprintf(stderr, "rtbench: cannot write %s\n", path.c_str());
            return false;
        }
        written.push_back(std::make_pair(Lower(path), dWritten));
        Sleep(20);
    }
    std::vector<double> all, cleanTimes, infectedTimes;
    for (int wait = 0; wait < 300; ++wait)
    {
        std::map<std::string, double> verdicts = Verdicts();
        all.clear();
        cleanTimes.clear();
        infectedTimes.clear();
        for (size_t i = 0; i < written.size(); ++i)
        {
            auto it = verdicts.find(written[i].first);
            if (it == verdicts.end())
                continue;
            double ms = (it->second - written[i].second) / 1000.0;
            all.push_back(ms);
            (i % 4 == 3 ? infectedTimes : cleanTimes).push_back(ms);
        }
        if (all.size() == written.size())
            break;
        Sleep(100);
    }
    if (all.size() != written.size())
        fprintf(stderr, "rtbench: %u of %u files got no verdict\n", unsigned(written.size() - all.size()),
                unsigned(written.size()));
    *pMedian = Percentile(all, 0.5);
    *pP99 = Percentile(all, 0.99);
    printf("  latency over %u files: median %.2f ms, 99th percentile %.2f ms (clean %.2f ms, infected %.2f ms "
           "median; min %.2f, max %.2f)\n",
           unsigned(all.size()), *pMedian, *pP99, Percentile(cleanTimes, 0.5), Percentile(infectedTimes, 0.5),
           Percentile(all, 0), Percentile(all, 1));
    return !all.empty();
}

double Copy(const std::string& source, const std::string& target, int nFiles)
{
    CreateDirectoryA(s_szWatched, NULL);
    CreateDirectoryA(target.c_str(), NULL);
    double t0 = NowUs();
    for (int i = 0; i < nFiles; ++i)
    {
        char name[32];
        sprintf(name, "c%05d.doc", i);
        if (!CopyFileA((source + name).c_str(), (target + name).c_str(), FALSE))
            fprintf(stderr, "rtbench: copy of %s failed (%lu)\n", name, GetLastError());
    }
    return (NowUs() - t0) / 1e6;
}
}

int main(int argc, char** argv)
{
    bench::PrintTarget();
    int nFiles = argc > 1 ? atoi(argv[1]) : 1000;
    int nCopies = argc > 2 ? atoi(argv[2]) : 10000;
    int nRounds = argc > 3 ? atoi(argv[3]) : 3;
    bool fChanges = argc > 4 && strcmp(argv[4], "changes") == 0;
    if (nFiles < 1 || nCopies < 1 || nRounds < 1 || bench::ClientMainWindow() != NULL)
    {
        fprintf(stderr, "rtbench: usage: rtbench [FILES [COPIES [ROUNDS]]], with no client running\n");
        return 2;
    }
    if (!Install(fChanges))
        return 1;
    // The copies' source: a folder outside the watched drives (the host's file system).
    char szTemp[MAX_PATH];
    GetTempPathA(sizeof szTemp, szTemp);
    std::string source = std::string("Z:\\tmp\\rtbench-source-") + std::to_string(GetCurrentProcessId()) + "\\";
    CreateDirectoryA(source.c_str(), NULL);
    for (int i = 0; i < nCopies; ++i)
    {
        char name[32];
        sprintf(name, "c%05d.doc", i);
        WriteFileWhole(source + name, std::string(1024 + (i % 8) * 512, char('a' + i % 26)));
    }

    std::vector<double> medians, p99s, costs;
    for (int nRound = 1; nRound <= nRounds; ++nRound)
    {
        RemoveTree(s_szWatched);
        DeleteFileA((std::string(s_szInstall) + "filter32.log").c_str());
        DeleteFileA((std::string(s_szInstall) + "filter32.log.old").c_str());
        Client client;
        if (!client.Start())
        {
            fprintf(stderr, "rtbench: the client did not start\n");
            client.Stop();
            return 1;
        }
        std::string journal = ReadFileWhole(std::string(s_szInstall) + "filter32.log");
        printf("round %d (%s):\n", nRound,
               journal.find("WATCH native events,") != std::string::npos ? "native file-access events"
                                                                         : "change notification");
        double dMedian = 0, dP99 = 0;
        if (!Latency(nFiles, nRound, &dMedian, &dP99))
        {
            client.Stop();
            return 1;
        }
        medians.push_back(dMedian);
        p99s.push_back(dP99);

        std::string on = std::string(s_szWatched) + "copy-on" + std::to_string(nRound) + "\\";
        double dCpu0 = client.CpuSeconds(), tStart = NowUs();
        double dOn = Copy(source, on, nCopies);
        double dCpu = client.CpuSeconds() - dCpu0;
        double dLast = 0;
        size_t nSeen = 0;
        for (int wait = 0; wait < 600; ++wait)
        {
            std::map<std::string, double> verdicts = Verdicts();
            nSeen = 0;
            dLast = 0;
            std::string prefix = Lower(on);
            for (auto it = verdicts.lower_bound(prefix); it != verdicts.end() && it->first.compare(0, prefix.size(), prefix) == 0;
                 ++it)
            {
                ++nSeen;
                dLast = std::max(dLast, it->second);
            }
            if (nSeen >= size_t(nCopies))
                break;
            Sleep(100);
        }
        double dCpuAll = client.CpuSeconds() - dCpu0;
        client.Stop();

        std::string off = std::string(s_szWatched) + "copy-off" + std::to_string(nRound) + "\\";
        double dOff = Copy(source, off, nCopies);
        costs.push_back(dOn - dOff);
        printf("  copy of %d files: %.2f s with protection on, %.2f s off (+%.1f%%); the client's processor time "
               "%.2f s during the copy, %.2f s until its last verdict; %u of %d copies scanned, the last %.2f s "
               "after the copy began\n",
               nCopies, dOn, dOff, dOff > 0 ? (dOn - dOff) * 100 / dOff : 0.0, dCpu, dCpuAll, unsigned(nSeen), nCopies,
               dLast > 0 ? (dLast - tStart) / 1e6 : 0.0);
        fflush(stdout);
    }
    RemoveTree(s_szWatched);
    RemoveTree(source);
    char szWindows[MAX_PATH];
    GetWindowsDirectoryA(szWindows, sizeof szWindows);
    DeleteFileA((std::string(szWindows) + "\\VglScan.ini").c_str());
    printf("over %d rounds: latency median %.2f..%.2f ms, 99th percentile %.2f..%.2f ms; added copy time %.2f..%.2f s\n",
           nRounds, *std::min_element(medians.begin(), medians.end()), *std::max_element(medians.begin(), medians.end()),
           *std::min_element(p99s.begin(), p99s.end()), *std::max_element(p99s.begin(), p99s.end()),
           *std::min_element(costs.begin(), costs.end()), *std::max_element(costs.begin(), costs.end()));
    return 0;
}
