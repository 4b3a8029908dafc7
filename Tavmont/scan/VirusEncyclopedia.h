// The virus encyclopaedia: the engine's list of virus names joined with the description file
// "Common.Vir" (sections "[name]" followed by their description lines; "Macro_Virus",
// "File_Virus" and "Boot_Virus" describe the kinds). Sorted name lists by kind, look-up by
// name, and descriptions read on demand from the open file.
#ifndef VGL_VIRUSENCYCLOPEDIA_H
#define VGL_VIRUSENCYCLOPEDIA_H

#include "afx.h"
#include "afxwin.h"

#include <stdio.h>
#include <vector>

class CVexor;

// Kind flags as the engine reports them.
enum
{
    VIRUS_KIND_BOOT = 0x80,
    VIRUS_KIND_FILE = 0x40,
    VIRUS_KIND_MACRO = (int)0x80000000
};

struct SVirusEntry
{
    DWORD dwFlags;
    long lPosition;     // description in the file; -1: none
    CString strName;
};

typedef std::vector<SVirusEntry*> CVirusEntryList;

class CVirusEncyclopedia
{
public:
    enum { NAME_LENGTH = 17, LINE_LENGTH = 512 };

    CVirusEncyclopedia();
    ~CVirusEncyclopedia();

    // Takes effect only before the first load.
    void SetSource(CVexor* pVexor, const CString& strDescriptionFile);

    // Each call empties all five lists first, then fills and returns its own, sorted by name.
    // The first call loads; a description file that cannot be opened throws CFileException*.
    const CVirusEntryList& GetDescribedList();
    const CVirusEntryList& GetBootVirusList();
    const CVirusEntryList& GetFileVirusList();
    const CVirusEntryList& GetMacroVirusList();
    const CVirusEntryList& GetAllList();

    // Position in the all-names list of the first name not less than pszName; -1 when none.
    int FindVirus(const char* pszName);

    void ShowDescription(const SVirusEntry* pEntry, CListBox& listBox);
    BOOL ShowKindDescription(DWORD dwFlags, CListBox& listBox);

    void Load();
    void Close();
    BOOL IsLoaded() const { return m_fLoaded; }
    int GetDescribedCount() const { return m_nDescribed; }

private:
    CVirusEncyclopedia(const CVirusEncyclopedia&);
    CVirusEncyclopedia& operator=(const CVirusEncyclopedia&);

    void AddKindSection(DWORD dwFlag, long lPosition);
    void ClearLists();
    const CVirusEntryList& BuildList(CVirusEntryList& list, DWORD dwFlag, BOOL fDescribedOnly);

    CVexor* m_pVexor;
    CString m_strDescriptionFile;
    std::vector<SVirusEntry> m_entries;
    int m_nDescribed;
    BOOL m_fLoaded;
    std::vector<SVirusEntry> m_kinds;
    CVirusEntryList m_described, m_boot, m_file, m_macro, m_all;
    FILE* m_pFile;
};

// Adds each entry's name to the list box, with the entry as the new item's data.
void FillVirusListBox(CListBox& listBox, const CVirusEntryList& list);

#endif
