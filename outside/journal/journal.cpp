#include "journal.h"

#include <string.h>

#include <string>
#include <vector>

namespace
{
// Lines longer than this are cut.
const size_t MAX_LINE = 1 << 20;

// The module (DLL or program) this code is linked into.
HMODULE thisModule()
{
    MEMORY_BASIC_INFORMATION info;
    if (VirtualQuery((const void*)&thisModule, &info, sizeof(info)) == 0)
        return NULL;
    return (HMODULE)info.AllocationBase;
}

std::string formatLine(const char* pszFormat, va_list args)
{
    char szLine[2048];
    va_list copy;
    va_copy(copy, args);
    int cch = _vsnprintf(szLine, sizeof(szLine), pszFormat, copy);
    va_end(copy);
    if (cch >= 0 && (size_t)cch < sizeof(szLine))
        return std::string(szLine, cch);

    std::vector<char> buffer;
    for (size_t cb = 2 * sizeof(szLine);; cb *= 2)
    {
        buffer.resize(cb);
        va_copy(copy, args);
        cch = _vsnprintf(&buffer[0], cb, pszFormat, copy);
        va_end(copy);
        if (cch >= 0 && (size_t)cch < cb)
            return std::string(&buffer[0], cch);
        if (cb >= MAX_LINE)
            return std::string(&buffer[0], cb);
    }
}
}

CJournal::CJournal(const char* pszFileName, const char* pszPathVariable, DWORD dwFlags)
    : m_pszFileName(pszFileName), m_pszPathVariable(pszPathVariable), m_dwFlags(dwFlags),
      m_pFile(NULL), m_fDirty(false), m_cbLimit(0), m_cbFile(0)
{
    InitializeCriticalSection(&m_lock);
}

CJournal::~CJournal()
{
    DeleteCriticalSection(&m_lock);
}

bool CJournal::GetPath(char* pszPath, DWORD cbPath) const
{
    if (m_pszPathVariable != NULL)
    {
        DWORD cch = GetEnvironmentVariableA(m_pszPathVariable, pszPath, cbPath);
        if (cch != 0 && cch < cbPath)
            return true;
    }
    DWORD cch = GetModuleFileNameA(thisModule(), pszPath, cbPath);
    if (cch == 0 || cch >= cbPath)
        return false;
    char* pszSlash = strrchr(pszPath, '\\');
    if (pszSlash == NULL || (size_t)(pszSlash + 1 - pszPath) + strlen(m_pszFileName) >= cbPath)
        return false;
    strcpy(pszSlash + 1, m_pszFileName);
    return true;
}

void CJournal::Write(const char* pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    WriteV(true, pszFormat, args);
    va_end(args);
}

void CJournal::WriteBuffered(const char* pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    WriteV(false, pszFormat, args);
    va_end(args);
}

void CJournal::WriteV(bool fFlush, const char* pszFormat, va_list args)
{
    std::string strLine = formatLine(pszFormat, args);
    char szPath[MAX_PATH];
    bool fKeepOpen = (m_dwFlags & KEEP_OPEN) != 0;
    if (!fKeepOpen && !GetPath(szPath, sizeof(szPath)))
        return;

    EnterCriticalSection(&m_lock);
    FILE* pFile = m_pFile;
    bool fHavePath = !fKeepOpen;
    if (m_cbLimit != 0 && (fHavePath || (fHavePath = GetPath(szPath, sizeof(szPath)))))
    {
        if (pFile == NULL)
        {
            WIN32_FILE_ATTRIBUTE_DATA data;
            m_cbFile = GetFileAttributesExA(szPath, GetFileExInfoStandard, &data) ? data.nFileSizeLow : 0;
        }
        // The line with its stamp would take the file past the cap: start a new file.
        if (m_cbFile > 0 && m_cbFile + strLine.size() + 16 > m_cbLimit)
        {
            if (pFile != NULL)
                fclose(pFile);
            pFile = m_pFile = NULL;
            std::string strOld = std::string(szPath) + ".old";
            MoveFileExA(szPath, strOld.c_str(), MOVEFILE_REPLACE_EXISTING);
            m_cbFile = 0;
        }
    }
    if (pFile == NULL && (fHavePath || GetPath(szPath, sizeof(szPath))))
    {
        pFile = fopen(szPath, "a");
        if (pFile != NULL && fKeepOpen)
        {
            setvbuf(pFile, NULL, _IOFBF, 65536);
            m_pFile = pFile;
        }
    }
    if (pFile != NULL)
    {
        // Stamped under the lock, so the times in the file never go back.
        if (m_dwFlags & STAMP)
        {
            SYSTEMTIME st;
            GetLocalTime(&st);
            char szStamp[16];
            _snprintf(szStamp, sizeof(szStamp), "%02d:%02d:%02d.%03d ", st.wHour, st.wMinute,
                      st.wSecond, st.wMilliseconds);
            szStamp[sizeof(szStamp) - 1] = '\0';
            strLine.insert(0, szStamp);
        }
        // One buffered write a line (the formatting stdio functions may write through).
        strLine += '\n';
        fwrite(strLine.data(), 1, strLine.size(), pFile);
        m_cbFile += (DWORD)strLine.size() + 1;  // text mode: CR LF
        if (!fKeepOpen)
            fclose(pFile);
        else if (fFlush)
            fflush(pFile);
        m_fDirty = fKeepOpen && !fFlush;
    }
    LeaveCriticalSection(&m_lock);
}

void CJournal::Flush()
{
    EnterCriticalSection(&m_lock);
    if (m_pFile != NULL && m_fDirty)
        fflush(m_pFile);
    m_fDirty = false;
    LeaveCriticalSection(&m_lock);
}

void CJournal::SetLimit(DWORD cbMax)
{
    EnterCriticalSection(&m_lock);
    m_cbLimit = cbMax;
    LeaveCriticalSection(&m_lock);
}

void CJournal::Close()
{
    EnterCriticalSection(&m_lock);
    if (m_pFile != NULL)
        fclose(m_pFile);
    m_pFile = NULL;
    m_fDirty = false;
    LeaveCriticalSection(&m_lock);
}
