// The schedule-update thread: asks the server for updates when the client's own interval
// (with the server's permission) or the administrator's global period has passed; and the tray
// command 32830 that switches scheduled updating on and off.
#include "ScheduleUpdate.h"

#include "ClientClock.h"
#include "Configuration.h"
#include "LogTracker.h"
#include "Notification.h"
#include "RegistryKey.h"
#include "TavmontDlg.h"
#include "Updates.h"
#include "resource_ids.h"

#include <process.h>

const char g_szScheduleUpdateAsking[] = "ScheduleUpdateAsking";

namespace
{
const char s_szEventName[] = "ScheduleUpdateEvent";
const DWORD PASS_SECONDS = 60;
const DWORD ANSWER_WAIT_SECONDS = 30;
const int MESSAGE_TEXT_SIZE = 1024;

CString scheduleKeyPath()
{
    CString strKey;
    strKey.Format("%s\\%s", NS_RegistryKey::GetCurrentVersionKeyName(), NS_RegistryKey::GetScheduleUpdateKeyName());
    return strKey;
}

LONG readDword(HKEY hKey, LPCSTR pszName, DWORD* pdwValue)
{
    DWORD dwValue = 0, cb = sizeof(dwValue), dwType = 0;
    LONG lRet = ::RegQueryValueExA(hKey, pszName, NULL, &dwType, (LPBYTE)&dwValue, &cb);
    if (lRet == ERROR_SUCCESS)
        *pdwValue = dwValue;
    return lRet;
}

void writeDword(HKEY hKey, LPCSTR pszName, DWORD dwValue)
{
    ::RegSetValueExA(hKey, pszName, 0, REG_DWORD, (const BYTE*)&dwValue, sizeof(dwValue));
}

DWORD nowSeconds()
{
    return (DWORD)NS_Clock::GetCurrentTime().GetTime();
}

void startMessage(unsigned(__stdcall* pfnThread)(void*), const CString& strText)
{
    char* pszCopy = new char[MESSAGE_TEXT_SIZE];
    lstrcpynA(pszCopy, strText, MESSAGE_TEXT_SIZE);
    uintptr_t hThread = ::_beginthreadex(NULL, 0, pfnThread, pszCopy, 0, NULL);
    if (hThread == 0)
        delete[] pszCopy;
    else
        ::CloseHandle((HANDLE)hThread);
}

void showResult(UINT nId)
{
    CString strText;
    strText.LoadString(nId);
    startMessage(CTavmontDlg::ShowMessageThread, strText);
}

void showError(UINT nId, LONG lError)
{
    CString strFormat, strText;
    strFormat.LoadString(nId);
    if (nId == IDS_SCHEDULE_UPDATE_ERROR)
        strText.Format(strFormat, (int)lError);
    else
        strText = strFormat;
    startMessage(CTavmontDlg::ShowErrorMessageThread, strText);
}
}

BOOL IsScheduleUpdateDue(const SScheduleUpdateState& state, DWORD dwNow, DWORD dwLast, BOOL* pfForced)
{
    BOOL fForced = FALSE;
    DWORD dwPeriod = 0;
    if (state.fAsking)
    {
        *pfForced = FALSE;
        return TRUE;
    }
    if (state.dwInterval == 0)
    {
        fForced = TRUE;
        dwPeriod = state.dwForce;
    }
    else
    {
        if (state.dwAllow == 0)
            return FALSE;
        dwPeriod = state.dwInterval;
    }
    *pfForced = fForced;
    if (dwPeriod == 0)
        return FALSE;
    return (DWORD)(dwNow - dwLast) > dwPeriod;
}

BOOL CTavmontDlg::CreateScheduleUpdateThread()
{
    if (!NS_RegistryKey::IsHttpBased())
        return TRUE;
    ::InterlockedIncrement(&s_lScheduleUpdateRunning);
    m_hScheduleUpdateThread = reinterpret_cast<HANDLE>(::_beginthreadex(NULL, 0, ScheduleUpdateThread, this, 0, NULL));
    if (m_hScheduleUpdateThread == NULL)
    {
        ::InterlockedDecrement(&s_lScheduleUpdateRunning);
        VGLTRACE(12, "_beginthreadex(ScheduleUpdateThread) failed");
        return FALSE;
    }
    return TRUE;
}

volatile LONG CTavmontDlg::s_lScheduleUpdateRunning = 0;

unsigned __stdcall CTavmontDlg::ScheduleUpdateThread(void* pvParam)
{
    try
    {
        static_cast<CTavmontDlg*>(pvParam)->ScheduleUpdateThreadThis();
    }
    catch (...)
    {
        VGLTRACE(13, "Exception(...) in CTavmontDlg::ScheduleUpdateThread");
    }
    ::InterlockedDecrement(&s_lScheduleUpdateRunning);
    return 0;
}

void CTavmontDlg::ScheduleUpdateThreadThis()
{
    VGLTRACE(1, "--> CTavmontDlg::ScheduleUpdateThreadThis()");
    CreateScheduleUpdateSettings();
    CString strKey = scheduleKeyPath();
    HKEY hKey = NULL;
    LONG lRet = ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, strKey, 0, KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY, &hKey);
    if (lRet != ERROR_SUCCESS)
    {
        VGLTRACE(12, "RegOpenKeyEx %s failed. Schedule Update will not work! error=%d", (LPCSTR)strKey, (int)lRet);
        return;
    }
    DWORD dwLast = 0;
    if (readDword(hKey, "TimeStamp", &dwLast) != ERROR_SUCCESS)
        dwLast = 0;
    HANDLE hEvent = ::CreateEventA(NULL, FALSE, FALSE, s_szEventName);
    if (hEvent == NULL)
    {
        VGLTRACE(12, "CreateEvent \"ScheduleUpdateEvent\" failed. Schedule Update will not work! error=%d",
                 (int)::GetLastError());
        ::RegCloseKey(hKey);
        return;
    }
    SScheduleUpdateState state = {0, 0, 0, FALSE};
    HANDLE ahWait[2] = {g_eventStopScheduler.m_hObject, hEvent};
    for (;;)
    {
        DWORD dwWait = ::WaitForMultipleObjects(2, ahWait, FALSE, NS_Clock::GetWaitMilliseconds(PASS_SECONDS));
        if (dwWait == WAIT_OBJECT_0 || dwWait == WAIT_FAILED)
            break;
        readDword(hKey, "ScheduleCheckGlobalSetting", &state.dwForce);
        readDword(hKey, "ScheduleUpdateInterval", &state.dwInterval);
        readDword(hKey, "AllowScheduleUpdate", &state.dwAllow);
        DWORD dwAsking = 0;
        state.fAsking = readDword(hKey, g_szScheduleUpdateAsking, &dwAsking) == ERROR_SUCCESS && dwAsking != 0;

        DWORD dwNow = nowSeconds();
        BOOL fForced = FALSE;
        if (IsScheduleUpdateDue(state, dwNow, dwLast, &fForced))
        {
            VGLTRACE(3, "Ask Server...");
            if (NS_Notification::TryUpgrade(this, fForced, FALSE))
            {
                const char* pszAllow = GetServerIniValue(SERVER_INI_ALLOW_SCHEDULE_UPDATE);
                if (pszAllow != NULL || state.fAsking)
                {
                    // Asked for by the command: a reply without the permission grants none.
                    int nAllow = pszAllow != NULL ? atoi(pszAllow) : 0;
                    writeDword(hKey, "AllowScheduleUpdate", (DWORD)nAllow);
                    VGLTRACE(3, "Set this client's permission=%d", nAllow);
                }
                int nForce = GetScheduleUpdateIniValue(SCHEDULE_INI_CHECK_GLOBAL_SETTING);
                if (nForce != -1 && (DWORD)nForce != state.dwForce)
                {
                    writeDword(hKey, "ScheduleCheckGlobalSetting", (DWORD)nForce);
                    VGLTRACE(3, "admin change the ForceUpdate value");
                }
                int nInterval = GetScheduleUpdateIniValue(SCHEDULE_INI_UPDATE_INTERVAL);
                if (nInterval != -1 && (DWORD)nInterval != state.dwInterval)
                {
                    writeDword(hKey, "ScheduleUpdateInterval", (DWORD)nInterval);
                    VGLTRACE(3, "admin change the Interval value");
                }
                if (state.fAsking)
                    writeDword(hKey, g_szScheduleUpdateAsking, 0);
            }
            dwLast = nowSeconds();
            writeDword(hKey, "TimeStamp", dwLast);
        }
        VGLTRACE(3, "Waiting for %d seconds...", (int)PASS_SECONDS);
    }
    ::CloseHandle(hEvent);
    ::RegCloseKey(hKey);
    VGLTRACE(2, "<-- CTavmontDlg::ScheduleUpdateThreadThis()");
}

void CTavmontDlg::OnScheduleUpdateOnOff()
{
    VGLTRACE(1, "--> CTavmontDlg::OnScheduleUpdateOnOff()");
    CreateScheduleUpdateSettings();
    CString strKey = scheduleKeyPath();
    HKEY hKey = NULL;
    LONG lRet = ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, strKey, 0, KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY, &hKey);
    if (lRet != ERROR_SUCCESS)
    {
        showError(IDS_SCHEDULE_UPDATE_ERROR, lRet);
        VGLTRACE(12, "[OnScheduleUpdateOnOff] RegOpenKeyEx \"%s\" Failed. err=%d", (LPCSTR)strKey, (int)lRet);
        return;
    }
    DWORD dwAllow = 0;
    lRet = readDword(hKey, "AllowScheduleUpdate", &dwAllow);
    if (lRet != ERROR_SUCCESS)
    {
        showError(IDS_SCHEDULE_UPDATE_ERROR, lRet);
        ::RegCloseKey(hKey);
        VGLTRACE(12, "[OnScheduleUpdateOnOff] RegQueryValueEx \"%s\" Failed. err=%d", "AllowScheduleUpdate", (int)lRet);
        return;
    }
    DWORD dwManual = 0;
    if (readDword(hKey, "ManualDisable", &dwManual) != ERROR_SUCCESS)
        dwManual = 0;
    if (dwAllow == 1)
    {
        writeDword(hKey, "AllowScheduleUpdate", 0);
        writeDword(hKey, "ManualDisable", 1);
        ::RegCloseKey(hKey);
        VGLTRACE(3, "[OnScheduleUpdateOnOff] Diable Schedule Update!");
        return;
    }
    if (dwAllow == 0 && dwManual == 1)
    {
        writeDword(hKey, "AllowScheduleUpdate", 1);
        writeDword(hKey, "ManualDisable", 0);
        ::RegCloseKey(hKey);
        showResult(IDS_SCHEDULE_UPDATE_ON);
        VGLTRACE(3, "[OnScheduleUpdateOnOff] Direct enable Scheduled Update. Do not need to ask server.");
        return;
    }

    DWORD dwSavedInterval = 0;
    lRet = readDword(hKey, "ScheduleUpdateInterval", &dwSavedInterval);
    if (lRet != ERROR_SUCCESS)
    {
        showError(IDS_SCHEDULE_UPDATE_ERROR, lRet);
        ::RegCloseKey(hKey);
        VGLTRACE(12, "[OnScheduleUpdateOnOff] RegQueryValueEx %s Failed. err=%d", "ScheduleUpdateInterval", (int)lRet);
        return;
    }
    // The thread's next pass asks the server at once and clears the mark when it answered.
    writeDword(hKey, "AllowScheduleUpdate", 1);
    writeDword(hKey, g_szScheduleUpdateAsking, 1);
    HANDLE hEvent = ::OpenEventA(EVENT_ALL_ACCESS, FALSE, s_szEventName);
    if (hEvent == NULL)
    {
        LONG lError = (LONG)::GetLastError();
        showError(IDS_SCHEDULE_UPDATE_ERROR, lError);
        VGLTRACE(12, "[OnScheduleUpdateOnOff] OpenEvent ScheduleUpdateEvent Failed. err=%d", (int)lError);
    }
    else
    {
        ::SetEvent(hEvent);
        ::CloseHandle(hEvent);
    }
    DWORD dwStart = ::GetTickCount();
    DWORD dwLimit = NS_Clock::GetWaitMilliseconds(ANSWER_WAIT_SECONDS);
    for (;;)
    {
        ::Sleep(100);
        if (::GetTickCount() - dwStart > dwLimit)
        {
            showError(IDS_SCHEDULE_UPDATE_NO_ANSWER, 0);
            writeDword(hKey, "ScheduleUpdateInterval", dwSavedInterval);
            writeDword(hKey, "AllowScheduleUpdate", 0);
            writeDword(hKey, g_szScheduleUpdateAsking, 0);
            VGLTRACE(12, "[OnScheduleUpdateOnOff] Get Schedule Update information timeout.");
            break;
        }
        DWORD dwAsking = 0;
        lRet = readDword(hKey, g_szScheduleUpdateAsking, &dwAsking);
        if (lRet == ERROR_SUCCESS)
            lRet = readDword(hKey, "AllowScheduleUpdate", &dwAllow);
        if (lRet != ERROR_SUCCESS)
        {
            showError(IDS_SCHEDULE_UPDATE_ERROR, lRet);
            VGLTRACE(12, "[OnScheduleUpdateOnOff] RegQueryValueEx %s Failed. err=%d", g_szScheduleUpdateAsking,
                     (int)lRet);
            break;
        }
        if (dwAsking != 0)
            continue;
        if (dwAllow != 0)
        {
            showResult(IDS_SCHEDULE_UPDATE_ON);
            VGLTRACE(3, "[OnScheduleUpdateOnOff] Has Schedule Update permission");
        }
        else
        {
            showResult(IDS_SCHEDULE_UPDATE_DENIED);
            VGLTRACE(3, "[OnScheduleUpdateOnOff] Do NOT has Schedule Update permission");
        }
        break;
    }
    ::RegCloseKey(hKey);
}
