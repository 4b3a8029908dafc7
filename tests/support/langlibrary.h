// The client's language library (Ksxwin97.dll from VGL_BIN) as the resource module.
#pragma once

#include <afx.h>

#include "VglTestSupport.h"

class CLanguageLibrary
{
public:
    CLanguageLibrary() : m_hOld(NULL), m_hModule(NULL) {}
    ~CLanguageLibrary() { Free(); }

    // Loads the library and makes it the resource module; its handle, NULL when it did not load.
    HINSTANCE Load()
    {
        Free();
        m_hModule = LoadLibraryA(BinFile("Ksxwin97.dll").c_str());
        if (m_hModule != NULL)
        {
            m_hOld = AfxGetResourceHandle();
            AfxSetResourceHandle(m_hModule);
        }
        return m_hModule;
    }

    // Puts the previous resource module back and frees the library.
    void Free()
    {
        if (m_hModule == NULL)
            return;
        AfxSetResourceHandle(m_hOld);
        FreeLibrary(m_hModule);
        m_hModule = NULL;
    }

private:
    CLanguageLibrary(const CLanguageLibrary&);
    CLanguageLibrary& operator=(const CLanguageLibrary&);

    HINSTANCE m_hOld;
    HINSTANCE m_hModule;
};
