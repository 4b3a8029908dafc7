// Test texts for resource strings: a copy of the language library whose string table holds
// the given texts, made the resource module for the life of the object.
#pragma once

#include <afx.h>

#include "VglTestSupport.h"

#include <map>
#include <stdlib.h>
#include <string>
#include <vector>

class CTestStrings
{
public:
    CTestStrings(const char* pszCopyName, const std::map<UINT, std::string>& texts)
        : m_hOld(AfxGetResourceHandle()), m_hModule(NULL)
    {
        std::string source = BinFile("Ksxwin97.dll");
        m_path = ScratchFile(pszCopyName);
        if (!CopyFileA(source.c_str(), m_path.c_str(), FALSE))
            return;
        // One block of 16 counted UTF-16 texts per (id / 16 + 1).
        std::map<UINT, std::vector<std::wstring>> blocks;
        for (const auto& t : texts)
        {
            std::vector<std::wstring>& block = blocks[t.first / 16 + 1];
            block.resize(16);
            std::wstring w(t.second.size(), L'\0');
            for (size_t i = 0; i < t.second.size(); ++i)
                w[i] = (unsigned char)t.second[i];
            block[t.first % 16] = w;
        }
        HANDLE hUpdate = BeginUpdateResourceA(m_path.c_str(), FALSE);
        if (!hUpdate)
            return;
        for (const auto& b : blocks)
        {
            std::vector<WORD> data;
            for (const std::wstring& w : b.second)
            {
                data.push_back((WORD)w.size());
                data.insert(data.end(), w.begin(), w.end());
            }
            UpdateResourceA(hUpdate, (LPCSTR)RT_STRING, MAKEINTRESOURCEA(b.first),
                            MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), &data[0], (DWORD)(data.size() * 2));
        }
        if (!EndUpdateResourceA(hUpdate, FALSE))
            return;
        m_hModule = LoadLibraryExA(m_path.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
        if (m_hModule)
            AfxSetResourceHandle(m_hModule);
    }

    ~CTestStrings()
    {
        AfxSetResourceHandle(m_hOld);
        if (m_hModule)
            FreeLibrary(m_hModule);
        DeleteFileA(m_path.c_str());
    }

    bool IsLoaded() const { return m_hModule != NULL; }

private:
    CTestStrings(const CTestStrings&);
    CTestStrings& operator=(const CTestStrings&);

    HINSTANCE m_hOld;
    HINSTANCE m_hModule;
    std::string m_path;
};
