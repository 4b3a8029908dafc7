// Component updates: the update source's URL and its buffer, the support files written when
// missing, the hand-over's command lines and stamps, the error reports of a missing update
// library and of a failed download, and the program's end from a worker thread.
#include "Updates.h"

#include "IOMonitorDlg.h"
#include "Misutils.h"
#include "SystemError.h"

#include "VglTestSupport.h"

#include <gtest/gtest.h>

#include <process.h>
#include <string>
#include <utility>
#include <vector>

using namespace NS_Notification;

TEST(UpdateUrlTest, GetURLInfoCases)
{
    struct Case
    {
        const char* pszUrl;
        const char* pszServer;
        int nPort;
        const char* pszPath;    // NULL: none
    } cases[] = {
        {"http://upd.example:8080/Vigilon/Download", "upd.example", 8080, "/Vigilon/Download"},
        {"HTTP://upd.example", "upd.example", 80, "/"},
        {"http://upd.example:0/x", "upd.example", 80, "/x"},
        {"http://10.1.2.3:/x", "10.1.2.3", 80, "/x"},
        {"ftp://upd.example/x", "", 80, NULL},
        {"", "", 80, NULL},
    };
    for (const Case& c : cases)
    {
        char szUrl[KVU_URL_BUFFER_SIZE];
        strcpy(szUrl, c.pszUrl);
        CString strServer = "old";
        int nPort = 1;
        const char* pszPath = "old";
        GetURLInfo(szUrl, strServer, nPort, pszPath);
        EXPECT_STREQ(c.pszServer, strServer) << c.pszUrl;
        EXPECT_EQ(c.nPort, nPort) << c.pszUrl;
        if (c.pszPath == NULL)
            EXPECT_EQ(NULL, pszPath) << c.pszUrl;
        else
        {
            ASSERT_NE((const char*)NULL, pszPath) << c.pszUrl;
            EXPECT_STREQ(c.pszPath, pszPath) << c.pszUrl;
            EXPECT_TRUE(pszPath >= szUrl && pszPath < szUrl + sizeof szUrl) << "points into the caller's text";
        }
    }
}

TEST(UpdateUrlTest, AFullBufferGainsNoSlashAndNamesNoServer)
{
    struct
    {
        char szUrl[32];
        char szCanary[8];
    } buffers;
    strcpy(buffers.szCanary, "canary");
    std::string url = "http://" + std::string(sizeof buffers.szUrl - 8, 'h');   // fills the buffer
    strcpy(buffers.szUrl, url.c_str());
    CString strServer;
    int nPort = 0;
    const char* pszPath = NULL;
    GetURLInfo(buffers.szUrl, strServer, nPort, pszPath, sizeof buffers.szUrl);
    EXPECT_TRUE(strServer.IsEmpty());
    EXPECT_EQ(NULL, pszPath);
    EXPECT_EQ(url, buffers.szUrl);
    EXPECT_STREQ("canary", buffers.szCanary);

    // One byte shorter: the slash fits.
    url.resize(url.size() - 1);
    strcpy(buffers.szUrl, url.c_str());
    GetURLInfo(buffers.szUrl, strServer, nPort, pszPath, sizeof buffers.szUrl);
    EXPECT_STREQ(url.substr(7).c_str(), strServer);
    EXPECT_STREQ("/", pszPath);
    EXPECT_STREQ("canary", buffers.szCanary);
}

TEST(UpdateUrlTest, TheLibrarysUrlIsBoundedToItsBuffer)
{
    char szUrl[KVU_URL_BUFFER_SIZE];
    EXPECT_TRUE(BuildNovafetchUrl(szUrl, sizeof szUrl, "upd.example", "/Vigilon/Download"));
    EXPECT_STREQ("http://upd.example/Vigilon/Download", szUrl);

    // "http://" and "/" added to a server name that alone fits: too long, no server.
    std::string strServer(KVU_URL_BUFFER_SIZE - 8, 's');
    std::string strPath = "Vigilon";
    struct
    {
        char szUrl[KVU_URL_BUFFER_SIZE];
        char szCanary[8];
    } buffers;
    strcpy(buffers.szCanary, "canary");
    EXPECT_FALSE(BuildNovafetchUrl(buffers.szUrl, sizeof buffers.szUrl, strServer.c_str(), strPath.c_str()));
    EXPECT_STREQ("", buffers.szUrl);
    EXPECT_STREQ("canary", buffers.szCanary);
}

TEST(MissingFilesTest, OnlyAMissingFileFromANonEmptyReply)
{
    std::string folder = FreshScratchFolder("missfiles");
    std::string present = folder + "\\Unzip.DLL";
    ASSERT_TRUE(WriteWholeFile(present, "working library"));
    CAccBuffer body;
    body.Append("server reply", 12);

    // A working file is never replaced, whatever the server sent.
    EXPECT_TRUE(WriteMissingFile(present.c_str(), body));
    EXPECT_EQ("working library", ReadWholeFile(present));

    // An empty reply writes nothing.
    CAccBuffer empty;
    std::string missing = folder + "\\Patch.EXE";
    EXPECT_FALSE(WriteMissingFile(missing.c_str(), empty));
    EXPECT_FALSE(FileExists(missing));

    // A missing file is written whole, and no temporary file is left.
    EXPECT_TRUE(WriteMissingFile(missing.c_str(), body));
    EXPECT_EQ("server reply", ReadWholeFile(missing));
    EXPECT_EQ(2u, FolderEntries(folder).size());
}

TEST(HandOverTest, UpdateProgramCommandLines)
{
    struct Case
    {
        BOOL fProgram, fHotFix, fRestart, fIntranet;
        const char* pszExpected;
    } cases[] = {
        {TRUE, TRUE, FALSE, TRUE, "\"/AllowUpdate\" \"/AllowHotFix\""},
        {TRUE, TRUE, FALSE, FALSE, "\"/AllowUpdate\" \"/AllowHotFix\" \"/Internet\""},
        {TRUE, FALSE, FALSE, TRUE, "/AllowUpdate"},
        {TRUE, FALSE, FALSE, FALSE, "\"/AllowUpdate\" \"/Internet\""},
        {FALSE, TRUE, FALSE, TRUE, "/AllowHotFix"},
        {FALSE, TRUE, FALSE, FALSE, "\"/AllowHotFixEx\" \"/Internet\""},
        {FALSE, FALSE, TRUE, TRUE, "\"/SimpRestart\""},
        {FALSE, FALSE, TRUE, FALSE, "\"/SimpRestart\""},
    };
    for (const Case& c : cases)
        EXPECT_STREQ(c.pszExpected, UpdateProgramArguments(c.fProgram, c.fHotFix, c.fRestart, c.fIntranet));
}

TEST(HandOverTest, StampsOfRealTimesOnly)
{
    struct Case
    {
        const char* pszStamp;
        BOOL fValid;
    } cases[] = {
        {"20261210235959", TRUE}, {"19700101000000", TRUE}, {"20370228120000", TRUE}, {"20240229000000", TRUE},
        {"20230229000000", FALSE}, {"20261200000000", FALSE}, {"20260010000000", FALSE}, {"20261301000000", FALSE},
        {"20261131000000", FALSE}, {"20261210240000", FALSE}, {"20261210236000", FALSE}, {"20261210235960", FALSE},
        {"19691231235959", FALSE}, {"20380101000000", FALSE}, {"2026121023595", FALSE}, {"202612102359590", FALSE},
        {"2026121023595x", FALSE}, {"", FALSE}, {NULL, FALSE},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.fValid, IsValidUpdateStamp(c.pszStamp)) << (c.pszStamp ? c.pszStamp : "(null)");
}

namespace
{
unsigned __stdcall EndFromWorker(void* pvWindow)
{
    PostProgramEnd((HWND)pvWindow);
    return 0;
}
}

TEST(ProgramEndTest, AWorkerEndsTheUserInterfaceThread)
{
    HWND hWnd = ::CreateWindowA("STATIC", "ui", 0, 0, 0, 0, 0, NULL, NULL, NULL, NULL);
    ASSERT_TRUE(hWnd != NULL);
    HANDLE hThread = (HANDLE)_beginthreadex(NULL, 0, EndFromWorker, hWnd, 0, NULL);
    ASSERT_TRUE(hThread != NULL);
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(hThread, 10000));
    ::CloseHandle(hThread);
    MSG msg;
    BOOL fQuit = FALSE;
    while (::PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
        if (msg.message == WM_QUIT)
            fQuit = TRUE;
    EXPECT_TRUE(fQuit) << "the window's thread must get WM_QUIT";
    ::DestroyWindow(hWnd);
}

namespace
{
BOOL CALLBACK CloseThreadWindow(HWND hWnd, LPARAM)
{
    ::PostMessageA(hWnd, WM_COMMAND, IDOK, 0);
    return TRUE;
}

// Runs the report on a worker thread: whether it held the worker with a message box
// (which is then closed).
bool ReportShowsABox(unsigned(__stdcall* pfnReport)(void*), void* pvArg)
{
    unsigned uThread = 0;
    HANDLE hThread = (HANDLE)_beginthreadex(NULL, 0, pfnReport, pvArg, 0, &uThread);
    if (hThread == NULL)
        return false;
    DWORD dwWait = ::WaitForSingleObject(hThread, 3000);
    if (dwWait != WAIT_OBJECT_0)
    {
        ::EnumThreadWindows(uThread, CloseThreadWindow, 0);
        ::WaitForSingleObject(hThread, 10000);
    }
    ::CloseHandle(hThread);
    return dwWait != WAIT_OBJECT_0;
}

unsigned __stdcall ReportLoadFailure(void*)
{
    ReportLibraryLoadFailure(ERROR_MOD_NOT_FOUND, FALSE);
    return 0;
}

struct SDownloadFailure
{
    const char* pszName;
    int nKind;          // 0 CException, 1 CSystemError, 2 CInternetStatusException, 3 anything else
    int nStatus;
    BOOL fDisplayErrMsg;
    bool fBox;
};

unsigned __stdcall ReportDownloadFailure(void* pv)
{
    const SDownloadFailure& c = *(const SDownloadFailure*)pv;
    try
    {
        if (c.nKind == 0)
            AfxThrowMemoryException();
        if (c.nKind == 1)
            throw CSystemError(ERROR_DISK_FULL, __FILE__, __LINE__);
        if (c.nKind == 2)
            throw CInternetStatusException(c.nStatus);
        throw 42;
    }
    catch (...)
    {
        ReportDownloadException("the test", c.fDisplayErrMsg);
    }
    return 0;
}
} // namespace

TEST(UpdateLibraryLoadTest, AWorkerWithoutTheDisplaySwitchShowsNoBox)
{
    EXPECT_FALSE(ReportShowsABox(ReportLoadFailure, NULL)) << "a message box held the worker";
}

// Every kind is caught; a box only when asked, and never for a cancelled connection.
TEST(DownloadExceptionTest, ShownOnlyWhenAskedAndNotForACancel)
{
    static const SDownloadFailure cases[] = {
        {"MFC exception, shown", 0, 0, TRUE, true},
        {"system error, not asked", 1, 0, FALSE, false},
        {"server status, shown", 2, 404, TRUE, true},
        {"cancelled connection", 2, 0, TRUE, false},
        {"anything else", 3, 0, TRUE, false},
    };
    for (const SDownloadFailure& c : cases)
        EXPECT_EQ(c.fBox, ReportShowsABox(ReportDownloadFailure, (void*)&c)) << c.pszName;
}

namespace
{
std::string Staging(const char* pszName)
{
    return std::string((LPCSTR)getTempDirectory()) + pszName;
}

void Stage(const char* pszFolder, const char* pszFile)
{
    CreateDirectoryA(Staging(pszFolder).c_str(), NULL);
    WriteWholeFile(Staging(pszFolder) + "\\" + pszFile, "staged");
}
}

TEST(StagingTest, WhatIsLeftForTheUpdateProgramAndWhatIsNotInstalled)
{
    // With a hot fix (or program) handed over, the pattern stays staged for the update program.
    Stage(PATTERN_UPDATE_FOLDER, "VXP$SIG.579");
    EXPECT_TRUE(PostUpdatePattern(NULL, FALSE, TRUE, FALSE));
    EXPECT_TRUE(FileExists(Staging(PATTERN_UPDATE_FOLDER) + "\\VXP$SIG.579"));
    // A cancel removes it.
    EXPECT_FALSE(PostUpdatePattern(NULL, FALSE, FALSE, TRUE));
    EXPECT_FALSE(IsFolder(Staging(PATTERN_UPDATE_FOLDER)));

    // No engine file among the staged ones: nothing is installed, the folder is removed.
    Stage(ENGINE_UPDATE_FOLDER, "VEXOR32.DLL");
    EXPECT_FALSE(PostUpdateEngine(NULL, FALSE, FALSE, FALSE));
    EXPECT_FALSE(IsFolder(Staging(ENGINE_UPDATE_FOLDER)));

    // No Rollback folder: no previous engine, nothing happens.
    RemoveTree(std::string((LPCSTR)getModulePath()) + "Rollback");
    EXPECT_FALSE(OnNotificationEngineRollback(NULL, "6.150"));
}

namespace
{
struct SProgressRecord
{
    std::vector<std::pair<DWORD, DWORD> > statuses;     // status, value
    std::vector<DWORD> lengths;
    BOOL fCancel;
};

void RecordStatus(HINTERNET, DWORD_PTR, DWORD dwStatus, LPVOID pvInfo, DWORD, LPVOID pvContext)
{
    ((SProgressRecord*)pvContext)->statuses.push_back(std::make_pair(dwStatus, *(DWORD*)pvInfo));
}

void RecordLength(DWORD dwLength, LPVOID pvContext)
{
    ((SProgressRecord*)pvContext)->lengths.push_back(dwLength);
}

BOOL RecordCancel(LPVOID pvContext)
{
    return ((SProgressRecord*)pvContext)->fCancel;
}
}

TEST(UpdateProgressTest, LibraryEventsBecomeTheConnectionsStatusCodes)
{
    SProgressRecord record;
    record.fCancel = FALSE;
    SetConnectCallbacks(RecordStatus, RecordLength, RecordCancel, &record);
    SNovafetchContext context = {NULL, FALSE};
    for (int nEvent = 0; nEvent <= 7; ++nEvent)
        EXPECT_EQ(TRUE, NovafetchCallback(nEvent, 100 + nEvent, &context)) << nEvent;
    std::vector<std::pair<DWORD, DWORD> > expected = {{21, 101}, {31, 104}, {41, 105}, {50, 106}};
    EXPECT_EQ(expected, record.statuses);
    EXPECT_EQ(std::vector<DWORD>(1, 104), record.lengths);

    // The user's cancel stops the library; a missing context never does.
    record.fCancel = TRUE;
    EXPECT_EQ(FALSE, NovafetchCallback(5, 1, &context));
    EXPECT_EQ(TRUE, NovafetchCallback(5, 1, NULL));
    SetConnectCallbacks(NULL, NULL, NULL, NULL);
}
