// The engine interface: CVexor names the engine's operations, CVexorVXD carries them out over
// the filter-driver library and serialises scans and engine reloads with the engine lock.
#pragma once

#include "LockOrder.h"
#include <afx.h>
#include <afxcoll.h>
#include <afxmt.h>

#include "IOTLib.h"

class CVexorVirtual
{
public:
    enum { typeRealtime = 100, typeManual = 200 };
};

// Engine action codes.
enum
{
    VEXOR_ACTION_NONE = 0,
    VEXOR_ACTION_RENAME = 1,
    VEXOR_ACTION_MOVE = 2,
    VEXOR_ACTION_CLEAN = 3,
    VEXOR_ACTION_DELETE = 4,
    VEXOR_ACTION_NONE_99 = 99
};

class CVexor
{
public:
    CVexor() : m_fReady(0) {}

    virtual void ReleaseEvent(LPVOID pEvent) {}
    virtual BOOL SetOption34(DWORD dwValue) { return 0; }
    virtual BOOL SetOption33(DWORD dwValue) { return 0; }
    virtual BOOL SetCompressedLayer(int nLayer) { return 0; }
    virtual int NotSupportedA(int x) { return 0; }
    virtual BOOL SetBackupDirectory(LPCSTR pszFolder, int nType) { return 0; }
    virtual BOOL SetAction(int nAction) { return 0; }
    virtual BOOL SetDirectory49(LPCSTR pszFolder) { return 0; }
    virtual int NotSupportedB(int x) { return 0; }
    virtual BOOL RegisterScanCallback(IOT_EventCallback pfnCallback, LPVOID pContext) { return 0; }
    virtual int NotSupportedC(int x) { return 0; }
    virtual int NotSupportedD(int x) { return 0; }
    virtual int SetZipCleanFlag(BOOL fClean, int nType) { return 0; }
    virtual BOOL SetBackupEncodeFlag(BOOL fEncode) { return 0; }
    virtual int GetZipCleanFlag(int nType) { return 0; }
    virtual BOOL GetDefaultPatternFile(CString& strPath) { return 0; }
    virtual BOOL GetValue39(int* pnValue) { return 0; }
    virtual int NotSupportedE(int a, int b, int c) { return 0; }
    virtual BOOL GetVirusCount(int* pnCount) { return 0; }
    virtual int GetVirusNameList(LPVOID pBuffer) { return 0; }
    virtual BOOL GetEngineVersion(int* pnMajor, int* pnMinor) { return 0; }
    virtual int ScanFile(LPCSTR pszPath, int nReserved) { return 0; }
    virtual BOOL StopScan() { return 0; }
    virtual int NotSupportedF() { return 0; }
    virtual int NotSupportedG(int x) { return 0; }
    virtual DWORD ActOnFile(LPCSTR pszPath, int nAction) { return 0; }
    virtual int ScanMemory(BPMINFO* pInfo) { return 0; }
    virtual BOOL ScanBootSector(char cDrive, BPMINFO* pInfo) { return 0; }
    virtual BOOL ScanBootSector(char cDrive) { return 0; }
    virtual BOOL ScanPartition(char cDrive, BPMINFO* pInfo) { return 0; }
    virtual BOOL ScanPartition(char cDrive) { return 0; }
    virtual int CleanBPVirus(char cDrive, BPMINFO* pInfo) { return 0; }
    virtual BOOL SetPathPair51(LPCSTR pszName, LPCSTR pszFolder) { return 0; }
    virtual int IsReady() { return m_fReady; }
    virtual int SetReady(int fReady)
    {
        int fOld = m_fReady;
        m_fReady = fReady;
        return fOld;
    }
    virtual int NotSupportedH() { return 0; }
    virtual int NotSupportedI(int x) { return 0; }
    virtual int NotSupportedJ() { return 0; }
    virtual int NotSupportedK(int x) { return 0; }
    virtual BOOL SetMaxCompressedFileCount(int nCount, int nType) { return 0; }
    virtual int GetMaxCompressedFileCount(int nType) { return 0; }
    virtual BOOL SetMaxExtractFileSize(DWORD dwBytes, int nType) { return 0; }
    virtual int GetMaxExtractFileSize(int nType) { return 0; }
    virtual BOOL SetOleLayer(int nLayer, int nType) { return 0; }
    virtual int GetOleLayer(int nType) { return 0; }
    virtual ~CVexor() {}

    int m_fReady;
};

class CVexorVXD : public CVexor
{
public:
    CVexorVXD() {}
    virtual ~CVexorVXD() {}

    virtual void ReleaseEvent(LPVOID pEvent);
    virtual BOOL SetOption34(DWORD dwValue);
    virtual BOOL SetOption33(DWORD dwValue);
    virtual BOOL SetCompressedLayer(int nLayer);
    virtual BOOL SetBackupDirectory(LPCSTR pszFolder, int nType);
    virtual BOOL SetAction(int nAction);
    virtual BOOL SetDirectory49(LPCSTR pszFolder);
    virtual BOOL RegisterScanCallback(IOT_EventCallback pfnCallback, LPVOID pContext);
    virtual int SetZipCleanFlag(BOOL fClean, int nType);
    virtual BOOL SetBackupEncodeFlag(BOOL fEncode);
    virtual int GetZipCleanFlag(int nType);
    virtual BOOL GetDefaultPatternFile(CString& strPath);
    virtual BOOL GetValue39(int* pnValue);
    virtual BOOL GetVirusCount(int* pnCount);
    virtual int GetVirusNameList(LPVOID pBuffer);
    virtual BOOL GetEngineVersion(int* pnMajor, int* pnMinor);
    virtual int ScanFile(LPCSTR pszPath, int nReserved);
    virtual BOOL StopScan();
    virtual DWORD ActOnFile(LPCSTR pszPath, int nAction);
    virtual int ScanMemory(BPMINFO* pInfo);
    virtual BOOL ScanBootSector(char cDrive, BPMINFO* pInfo);
    virtual BOOL ScanBootSector(char cDrive);
    virtual BOOL ScanPartition(char cDrive, BPMINFO* pInfo);
    virtual BOOL ScanPartition(char cDrive);
    virtual int CleanBPVirus(char cDrive, BPMINFO* pInfo);
    virtual BOOL SetPathPair51(LPCSTR pszName, LPCSTR pszFolder);
    virtual BOOL SetMaxCompressedFileCount(int nCount, int nType);
    virtual int GetMaxCompressedFileCount(int nType);
    virtual BOOL SetMaxExtractFileSize(DWORD dwBytes, int nType);
    virtual int GetMaxExtractFileSize(int nType);
    virtual BOOL SetOleLayer(int nLayer, int nType);
    virtual int GetOleLayer(int nType);

    virtual int GetBackupEncodeFlag();
    virtual BOOL EncodeFile(LPCSTR pszSource, LPCSTR pszDestination);
    virtual BOOL GetFilterVersion(int* pnMajor, int* pnMinor);
    virtual int GetIntelliScanFlag(int nType);
    virtual BOOL SetIntelliScanFlag(BOOL fFlag, int nType);
    virtual int GetActiveActionFlag(int nType);
    virtual BOOL SetActiveActionFlag(BOOL fFlag, int nType);

    CCriticalSection& GetLock() { return m_lock; }

    BOOL Initialize(LPVOID pContext, IOT_EventCallback pfnCallback, LPCSTR pszDriverFolder, int* pnResult);
    BOOL InitializeWithPattern(LPVOID pContext, IOT_EventCallback pfnCallback, LPCSTR pszDriverFolder,
                               int* pnResult, LPCSTR pszPatternName, int* pnNameMatches);
    BOOL Uninitialize();
    BOOL Hook(LPCSTR pszFileTypes);
    BOOL Unhook();
    BOOL TurnOnRealTimeScan();
    BOOL TurnOffRealTimeScan();
    BOOL RegisterConnectNotify(HWND hWnd, UINT uMessage);
    BOOL AddExceptionProcess(DWORD dwProcessId);
    BOOL DeleteExceptionProcess(DWORD dwProcessId);
    BOOL SetFilterString(LPCSTR pszFileTypes);
    BOOL SetIOFilter(DWORD dwMask);
    BOOL SetScanNetworkFileFlag(BOOL fScan);
    BOOL SetRealtimeCompressedLayer(int nLayer);
    BOOL SetFirstAction(int nAction, LPCSTR pszText, int nType);
    BOOL SetSecondAction(int nAction, LPCSTR pszText, int nType);
    BOOL SetMoveFolder(LPCSTR pszFolder, int nType);
    BOOL SetSecondMoveFolder(LPCSTR pszFolder, int nType);
    BOOL SetRenameExtension(LPCSTR pszExtension, int nType);
    BOOL SetSecondRenameExtension(LPCSTR pszExtension, int nType);
    BOOL SetBackupIfClean(BOOL fBackup, int nType);
    BOOL SetExcludedFileNames(const CStringArray& arrNames);
    BOOL SetExcludedPaths(const CStringArray& arrPaths);
    int SetEnviromentType(int nType);
    int GetEnviromentType();
    BOOL SetForbiddenList(LPCSTR pszMultiString);
    int GetInitError();
    BOOL IsPatternError();

    int DoScanMemory(BPMINFO* pInfo);
    BOOL DoScanBootSector(char cDrive, BPMINFO* pInfo);
    BOOL DoScanPartition(char cDrive, BPMINFO* pInfo);
    int DoCleanBPVirus(char cDrive, BPMINFO* pInfo);

    // Code-page class of an ANSI code page: 932 gives 2; 936, 949, 950 give 1; others 0.
    static int EnviromentTypeOf(UINT uCodePage);

private:
    CVexorVXD(const CVexorVXD&);
    CVexorVXD& operator=(const CVexorVXD&);

    CCriticalSection m_lock;
};

// Fills a zero-filled caller buffer with the Excel start-up folders as a multi-string.
void getExcelStartupFolder(char* pszList, int nSize);
