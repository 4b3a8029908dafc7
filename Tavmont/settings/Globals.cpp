// Process-wide objects of the client, constructed before the entry point runs.
#include "Globals.h"

#include "LogTracker.h"
#include "PatternFile.h"

#include "resource_ids.h"

CVexorVXD g_vexor;

CFlagEvent g_eventScanning;
CFlagEvent g_eventScheduleScanning;
CFlagEvent g_eventRemoteScanning;
CFlagEvent g_eventStopScanNow;
CFlagEvent g_eventScanNowEnded;
CFlagEvent g_eventStopManualScan;
CFlagEvent g_eventManualScanEnded;
CFlagEvent g_eventStopScheduleScan;
CFlagEvent g_eventScheduleScanEnded;

CCriticalSection g_csManualScan;

const char g_pszMemoryMappedHwnd[] = "VigilonCorp_MemoryMappedFile_MainWnd";
const char g_pszMemoryMappedProcessID[] = "VigilonCorp_MemoryMappedFile_ProcessID";
const char g_pszWindowClassName[] = "VIGILON_CLASS";
const char g_pszDefaultExtList[] =
    ".BIN,.BAT,.COM,.DOC,.DOT,.DRV,.EXE,.SYS,.XLS,.XLA,.XLT,.VBS,.JS,.HTM,.HTML,.CLA,.CLASS,"
    ".SCR,.MDB,.PPT,.DLL,.OCX,.OVL,.POT,.SHS,.PIF,.HLP,.HTA,.MPP,.MPT,.MSG,.OFT,.PPS,.RTF,"
    ".VSD,.VST,.EML,.NWS,.ASP";

namespace
{
enum { PATTERN_VERSION_TEXT = 16 };
}

CString GetAppTitle()
{
    CString strTitle;
    strTitle.LoadString(IDS_APP_TITLE);
    return strTitle;
}

CString GetPatternVersionText()
{
    DWORD dwVersion = 0;
    int nNumber = 0;
    GetPatternVersion(&dwVersion, &nNumber);
    char szText[PATTERN_VERSION_TEXT] = "";
    formatPatternVersion(nNumber, szText);
    return CString(szText);
}

LPWSTR ConvertAnsiToWide(LPCSTR pszText)
{
    if (pszText == NULL)
        return NULL;
    int nLength = lstrlenA(pszText);
    int nChars = MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, pszText, nLength, NULL, 0);
    if (nChars <= 0)
        return NULL;
    HGLOBAL hBlock = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, (SIZE_T)nChars * 2 + 2);
    if (hBlock == NULL)
        return NULL;
    LPWSTR pwszText = (LPWSTR)GlobalLock(hBlock);
    if (pwszText == NULL)
    {
        GlobalFree(hBlock);
        return NULL;
    }
    MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, pszText, nLength, pwszText, nChars);
    return pwszText;
}

BOOL TryEnterScan(CFlagEvent& eventRunning)
{
    if (eventRunning.IsSignaled())
        return FALSE;
    eventRunning.SetSignaled(TRUE);
    CFlagEvent* apRunning[] = {&g_eventScanning, &g_eventScheduleScanning, &g_eventRemoteScanning};
    for (CFlagEvent* pOther : apRunning)
    {
        if (pOther != &eventRunning && pOther->IsSignaled())
        {
            eventRunning.SetSignaled(FALSE);
            VGLTRACE(3, "another scan is running; this one is not started");
            return FALSE;
        }
    }
    return TRUE;
}
