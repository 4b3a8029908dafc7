// The virus encyclopaedia over the engine's name list and the description file.
#include "VirusEncyclopedia.h"

#include "LogTracker.h"
#include "Vexor.h"

#include <algorithm>
#include <errno.h>
#include <mbstring.h>
#include <string.h>

namespace
{
    // One record of the engine's name list: flags at byte 4, the name at bytes 12..28.
    enum { RECORD_SIZE = 29, RECORD_FLAGS = 4, RECORD_NAME = 12 };

    struct SEngineName
    {
        DWORD dwFlags;
        char szName[CVirusEncyclopedia::NAME_LENGTH + 1];
        BOOL fMatched;
    };

    bool NameLess(const SEngineName& a, const SEngineName& b)
    {
        return _strnicmp(a.szName, b.szName, CVirusEncyclopedia::NAME_LENGTH) < 0;
    }

    bool EntryLess(const SVirusEntry* a, const SVirusEntry* b)
    {
        return _mbsicmp((const unsigned char*)(LPCSTR)a->strName, (const unsigned char*)(LPCSTR)b->strName) < 0;
    }

    // A line that begins with '[' and holds a ']': the text up to the last ']', at most
    // 17 characters.
    BOOL SectionName(const char* pszLine, char* pszName)
    {
        if (pszLine[0] != '[')
            return FALSE;
        const char* pEnd = strrchr(pszLine, ']');
        if (pEnd == NULL)
            return FALSE;
        size_t n = (size_t)(pEnd - pszLine - 1);
        if (n > CVirusEncyclopedia::NAME_LENGTH)
            n = CVirusEncyclopedia::NAME_LENGTH;
        memcpy(pszName, pszLine + 1, n);
        pszName[n] = '\0';
        return TRUE;
    }

    void StripLineEnd(char* psz)
    {
        size_t n = strlen(psz);
        while (n > 0 && (psz[n - 1] == '\n' || psz[n - 1] == '\r'))
            psz[--n] = '\0';
    }

    // How much of an engine name a section must match: "Stem-12" and "Stem-" compare as
    // "Stem", "Name*" as "Name".
    size_t ComparisonLength(const char* pszName)
    {
        size_t n = strlen(pszName);
        if (n > 0 && pszName[n - 1] == '*')
            return n - 1;
        const char* pDash = strrchr(pszName, '-');
        if (pDash != NULL)
        {
            const char* p = pDash + 1;
            while (*p >= '0' && *p <= '9')
                p++;
            if (*p == '\0')
                return (size_t)(pDash - pszName);
        }
        return n;
    }
}

CVirusEncyclopedia::CVirusEncyclopedia()
    : m_pVexor(NULL), m_nDescribed(0), m_fLoaded(FALSE), m_pFile(NULL)
{
}

CVirusEncyclopedia::~CVirusEncyclopedia()
{
    Close();
}

void CVirusEncyclopedia::SetSource(CVexor* pVexor, const CString& strDescriptionFile)
{
    if (m_fLoaded)
        return;
    m_pVexor = pVexor;
    m_strDescriptionFile = strDescriptionFile;
}

void CVirusEncyclopedia::Close()
{
    if (m_pFile != NULL)
    {
        fclose(m_pFile);
        m_pFile = NULL;
    }
}

void CVirusEncyclopedia::AddKindSection(DWORD dwFlag, long lPosition)
{
    SVirusEntry kind;
    kind.dwFlags = dwFlag;
    kind.lPosition = lPosition;
    m_kinds.push_back(kind);
}

void CVirusEncyclopedia::Load()
{
    if (m_fLoaded)
        return;
    VGLTRACE(1, "--> CVirusEncyclopedia::Load(%s)", (LPCSTR)m_strDescriptionFile);

    // The engine's names, sorted.
    std::vector<SEngineName> names;
    int nCount = 0;
    if (m_pVexor != NULL && m_pVexor->GetVirusCount(&nCount) && nCount > 0)
    {
        std::vector<BYTE> buffer(8 + (size_t)nCount * RECORD_SIZE, 0);
        ((DWORD*)&buffer[0])[1] = (DWORD)nCount;
        int nFilled = m_pVexor->GetVirusNameList(&buffer[0]);
        if (nFilled > nCount)
            nFilled = nCount;
        for (int i = 0; i < nFilled; i++)
        {
            const BYTE* pRecord = &buffer[8 + (size_t)i * RECORD_SIZE];
            SEngineName name;
            memcpy(&name.dwFlags, pRecord + RECORD_FLAGS, sizeof name.dwFlags);
            memcpy(name.szName, pRecord + RECORD_NAME, NAME_LENGTH);
            name.szName[NAME_LENGTH] = '\0';
            name.fMatched = FALSE;
            names.push_back(name);
        }
    }
    std::stable_sort(names.begin(), names.end(), NameLess);
    m_entries.clear();
    m_entries.reserve(names.size());
    m_kinds.clear();

    m_pFile = fopen(m_strDescriptionFile, "rb");
    if (m_pFile == NULL)
    {
        int nErrno = errno;
        VGLTRACE(12, "cannot open %s (errno %d)", (LPCSTR)m_strDescriptionFile, nErrno);
        CFileException::ThrowErrno(nErrno, m_strDescriptionFile);
    }

    char szLine[LINE_LENGTH + 1];
    char szSection[NAME_LENGTH + 1];
    while (fgets(szLine, sizeof szLine, m_pFile) != NULL)
    {
        if (!SectionName(szLine, szSection))
            continue;
        long lPosition = ftell(m_pFile);
        if (_stricmp(szSection, "Macro_Virus") == 0)
            AddKindSection((DWORD)VIRUS_KIND_MACRO, lPosition);
        else if (_stricmp(szSection, "File_Virus") == 0)
            AddKindSection(VIRUS_KIND_FILE, lPosition);
        else if (_stricmp(szSection, "Boot_Virus") == 0)
            AddKindSection(VIRUS_KIND_BOOT, lPosition);
        else
        {
            // The first engine name not less than the section's.
            SEngineName key;
            strcpy(key.szName, szSection);
            std::vector<SEngineName>::iterator it = std::lower_bound(names.begin(), names.end(), key, NameLess);
            if (it == names.end() || it->fMatched)
                continue;
            if (_strnicmp(it->szName, szSection, ComparisonLength(it->szName)) != 0)
                continue;
            it->fMatched = TRUE;
            SVirusEntry entry;
            entry.dwFlags = it->dwFlags;
            entry.lPosition = lPosition;
            entry.strName = it->szName;
            m_entries.push_back(entry);
        }
    }

    m_nDescribed = (int)m_entries.size();
    for (size_t i = 0; i < names.size(); i++)
    {
        if (names[i].fMatched)
            continue;
        SVirusEntry entry;
        entry.dwFlags = names[i].dwFlags;
        entry.lPosition = -1;
        entry.strName = names[i].szName;
        m_entries.push_back(entry);
    }
    m_fLoaded = TRUE;
    VGLTRACE(2, "<-- CVirusEncyclopedia::Load(), %d names, %d described", (int)m_entries.size(), m_nDescribed);
}

void CVirusEncyclopedia::ClearLists()
{
    m_described.clear();
    m_boot.clear();
    m_file.clear();
    m_macro.clear();
    m_all.clear();
}

const CVirusEntryList& CVirusEncyclopedia::BuildList(CVirusEntryList& list, DWORD dwFlag, BOOL fDescribedOnly)
{
    Load();
    ClearLists();
    list.reserve(1000);
    size_t nEnd = fDescribedOnly ? (size_t)m_nDescribed : m_entries.size();
    for (size_t i = 0; i < nEnd; i++)
        if (dwFlag == 0 || (m_entries[i].dwFlags & dwFlag) != 0)
            list.push_back(&m_entries[i]);
    std::stable_sort(list.begin(), list.end(), EntryLess);
    return list;
}

const CVirusEntryList& CVirusEncyclopedia::GetDescribedList()
{
    return BuildList(m_described, 0, TRUE);
}

const CVirusEntryList& CVirusEncyclopedia::GetBootVirusList()
{
    return BuildList(m_boot, VIRUS_KIND_BOOT, FALSE);
}

const CVirusEntryList& CVirusEncyclopedia::GetFileVirusList()
{
    return BuildList(m_file, VIRUS_KIND_FILE, FALSE);
}

const CVirusEntryList& CVirusEncyclopedia::GetMacroVirusList()
{
    return BuildList(m_macro, (DWORD)VIRUS_KIND_MACRO, FALSE);
}

const CVirusEntryList& CVirusEncyclopedia::GetAllList()
{
    return BuildList(m_all, 0, FALSE);
}

int CVirusEncyclopedia::FindVirus(const char* pszName)
{
    Load();
    if (m_all.empty())
        GetAllList();
    SVirusEntry key;
    key.strName = pszName;
    CVirusEntryList::const_iterator it = std::lower_bound(m_all.begin(), m_all.end(), &key, EntryLess);
    if (it == m_all.end())
        return -1;
    return (int)(it - m_all.begin());
}

void CVirusEncyclopedia::ShowDescription(const SVirusEntry* pEntry, CListBox& listBox)
{
    if (pEntry == NULL || pEntry->lPosition < 0 || m_pFile == NULL)
        return;
    if (fseek(m_pFile, pEntry->lPosition, SEEK_SET) != 0)
        return;
    char szLine[LINE_LENGTH + 1];
    char szSection[NAME_LENGTH + 1];
    while (fgets(szLine, sizeof szLine, m_pFile) != NULL)
    {
        if (SectionName(szLine, szSection))
            break;
        StripLineEnd(szLine);
        listBox.AddString(szLine);
    }
}

BOOL CVirusEncyclopedia::ShowKindDescription(DWORD dwFlags, CListBox& listBox)
{
    for (size_t i = 0; i < m_kinds.size(); i++)
    {
        if (m_kinds[i].dwFlags & dwFlags)
        {
            ShowDescription(&m_kinds[i], listBox);
            return TRUE;
        }
    }
    return FALSE;
}

void FillVirusListBox(CListBox& listBox, const CVirusEntryList& list)
{
    for (size_t i = 0; i < list.size(); i++)
    {
        int nIndex = listBox.AddString(list[i]->strName);
        if (nIndex != LB_ERR && nIndex != LB_ERRSPACE)
            listBox.SetItemDataPtr(listBox.GetCount() - 1, list[i]);
    }
}
