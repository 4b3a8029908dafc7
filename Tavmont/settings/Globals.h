// Process-wide objects of the client: the one engine object, the scan-state flags,
// shared text constants and a few small helpers.
#ifndef VGL_GLOBALS_H
#define VGL_GLOBALS_H

#include "LockOrder.h"
#include "afx.h"
#include "afxmt.h"

#include "FlagEvent.h"
#include "Vexor.h"

// The client's only engine object.
extern CVexorVXD g_vexor;

// Which scan is running.
extern CFlagEvent g_eventScanning;           // manual or dropped-files scan
extern CFlagEvent g_eventScheduleScanning;
extern CFlagEvent g_eventRemoteScanning;     // started by the server
// Stop flags, each with the companion the scan dialog sets beside it.
extern CFlagEvent g_eventStopScanNow;
extern CFlagEvent g_eventScanNowEnded;
extern CFlagEvent g_eventStopManualScan;
extern CFlagEvent g_eventManualScanEnded;
extern CFlagEvent g_eventStopScheduleScan;
extern CFlagEvent g_eventScheduleScanEnded;

// Handed to the scan dialog by the interactive scans only.
extern CCriticalSection g_csManualScan;

extern const char g_pszMemoryMappedHwnd[];        // "VigilonCorp_MemoryMappedFile_MainWnd"
extern const char g_pszMemoryMappedProcessID[];   // "VigilonCorp_MemoryMappedFile_ProcessID"
extern const char g_pszWindowClassName[];         // "VIGILON_CLASS"
extern const char g_pszDefaultExtList[];          // the default list of extensions to scan

// Owns a block allocated with new[]; deletes it when it goes out of scope.
class CAutoBuffer
{
public:
    explicit CAutoBuffer(char* pBlock = NULL) : m_pBlock(pBlock) {}
    ~CAutoBuffer() { delete[] m_pBlock; }

    char* Get() const { return m_pBlock; }
    // Replaces the owned block (the old one is deleted).
    void Reset(char* pBlock)
    {
        if (pBlock != m_pBlock)
            delete[] m_pBlock;
        m_pBlock = pBlock;
    }

private:
    CAutoBuffer(const CAutoBuffer&);
    CAutoBuffer& operator=(const CAutoBuffer&);

    char* m_pBlock;
};

// Resource string 102.
CString GetAppTitle();
// The number of the current pattern as the status display shows it.
CString GetPatternVersionText();
// A locked, zero-filled movable global block holding the UTF-16 form of the text;
// NULL when nothing converts or the block cannot be had. The caller unlocks and frees it.
LPWSTR ConvertAnsiToWide(LPCSTR pszText);

// One attempt to start a scan of the kind whose running flag is given: FALSE (nothing
// changed) when that kind already runs; FALSE (own flag cleared again) when another
// kind runs. TRUE: the running flag is set and the caller scans, then clears it.
BOOL TryEnterScan(CFlagEvent& eventRunning);

#endif
