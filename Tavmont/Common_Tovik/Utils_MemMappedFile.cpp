#include "Utils_MemMappedFile.h"

#include "LogTracker.h"
#include "SystemError.h"

#include <string.h>

namespace
{
// Creates (or opens) the named mapping of cbSize bytes; a new one receives the bytes.
HANDLE CreateMapping(LPCSTR pszName, const void* pvData, DWORD cbSize)
{
    HANDLE hMapping = CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, cbSize,
                                         pszName);
    if (hMapping == NULL)
        THROW_SYSTEM_ERROR(GetLastError());
    if (GetLastError() == ERROR_ALREADY_EXISTS)
        return hMapping;

    void* pvView = MapViewOfFile(hMapping, FILE_MAP_WRITE, 0, 0, cbSize);
    if (pvView == NULL)
    {
        DWORD dwError = GetLastError();
        CloseHandle(hMapping);
        THROW_SYSTEM_ERROR(dwError);
    }
    memcpy(pvView, pvData, cbSize);
    UnmapViewOfFile(pvView);
    SetLastError(0);
    return hMapping;
}

// A read-only view of the named mapping and the bytes it covers; NULL when absent.
class CReadView
{
public:
    explicit CReadView(LPCSTR pszName) : m_hMapping(NULL), m_pvView(NULL), m_cbView(0)
    {
        m_hMapping = OpenFileMappingA(FILE_MAP_READ, FALSE, pszName);
        if (m_hMapping == NULL)
            return;
        m_pvView = MapViewOfFile(m_hMapping, FILE_MAP_READ, 0, 0, 0);
        if (m_pvView == NULL)
            return;
        MEMORY_BASIC_INFORMATION mbi;
        if (VirtualQuery(m_pvView, &mbi, sizeof(mbi)) == sizeof(mbi))
            m_cbView = mbi.RegionSize;
    }
    ~CReadView()
    {
        if (m_pvView != NULL)
            UnmapViewOfFile(m_pvView);
        if (m_hMapping != NULL)
            CloseHandle(m_hMapping);
    }
    const BYTE* Data() const { return (const BYTE*)m_pvView; }
    SIZE_T Size() const { return m_cbView; }

private:
    CReadView(const CReadView&);
    CReadView& operator=(const CReadView&);

    HANDLE m_hMapping;
    void* m_pvView;
    SIZE_T m_cbView;
};

// A value mapping holds one little-endian 32-bit value: 4 bytes on both targets.
static_assert(sizeof(DWORD) == 4 && sizeof(LONG) == 4, "value mapping");

DWORD ReadDword(LPCSTR pszName)
{
    CReadView view(pszName);
    if (view.Data() == NULL || view.Size() < sizeof(DWORD))
        return 0;
    DWORD dwValue;
    memcpy(&dwValue, view.Data(), sizeof(dwValue));
    return dwValue;
}
} // namespace

// A window handle is a 32-bit value on 64-bit Windows too: the mapping holds its low 32 bits,
// and a reader sign-extends them, so 32-bit and 64-bit programs read the same window.
HANDLE createMemoryMappedHwnd(LPCSTR pszName, HWND hWnd)
{
    DWORD dwValue = (DWORD)HandleToLong(hWnd);
    return CreateMapping(pszName, &dwValue, sizeof(dwValue));
}

HANDLE createMemoryMappedDword(LPCSTR pszName, DWORD dwValue)
{
    return CreateMapping(pszName, &dwValue, sizeof(dwValue));
}

HANDLE createMemoryMappedString(LPCSTR pszName, LPCSTR pszText)
{
    if (pszText == NULL)
        pszText = "";
    return CreateMapping(pszName, pszText, (DWORD)strlen(pszText) + 1);
}

HWND getMemoryMappedHwnd(LPCSTR pszName)
{
    return (HWND)LongToHandle((LONG)ReadDword(pszName));
}

DWORD getMemoryMappedDword(LPCSTR pszName)
{
    return ReadDword(pszName);
}

BOOL getMemoryMappedString(LPCSTR pszName, LPSTR pszBuffer, DWORD cbBuffer, DWORD& dwNeeded)
{
    CReadView view(pszName);
    if (view.Data() == NULL)
        return FALSE;

    // The text ends at its zero or, when another program left none, at the view's end.
    const char* pszText = (const char*)view.Data();
    SIZE_T cch = 0;
    while (cch < view.Size() && pszText[cch] != '\0')
        ++cch;
    dwNeeded = (DWORD)cch + 1;
    if (pszBuffer == NULL || cbBuffer < dwNeeded)
    {
        VGLTRACE(12, "::getMemoryMappedString(pszName = %s), %lu bytes needed, %lu given",
                 pszName, dwNeeded, cbBuffer);
        return FALSE;
    }
    memcpy(pszBuffer, pszText, cch);
    pszBuffer[cch] = '\0';
    return TRUE;
}
