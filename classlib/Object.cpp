// CObject, run-time class information and the module-wide helpers.
#include "afx.h"

namespace
{
// Serialisable classes, registered during static construction.
CRuntimeClass* g_pFirstClass = NULL;
HINSTANCE g_hResource = NULL;
}

// ---------------------------------------------------------------------------

CRuntimeClass CObject::classCObject = { "CObject", (int)sizeof(CObject), 0xFFFF, NULL, NULL, NULL };

CRuntimeClass* CObject::GetRuntimeClass() const
{
    return &CObject::classCObject;
}

CObject::~CObject()
{
}

void CObject::Serialize(CArchive&)
{
}

BOOL CObject::IsKindOf(const CRuntimeClass* pClass) const
{
    return GetRuntimeClass()->IsDerivedFrom(pClass);
}

BOOL CObject::IsSerializable() const
{
    return GetRuntimeClass()->m_wSchema != 0xFFFF;
}

// ---------------------------------------------------------------------------

CObject* CRuntimeClass::CreateObject()
{
    if (m_pfnCreateObject == NULL)
        return NULL;
    return (*m_pfnCreateObject)();
}

BOOL CRuntimeClass::IsDerivedFrom(const CRuntimeClass* pBaseClass) const
{
    for (const CRuntimeClass* p = this; p != NULL; p = p->m_pBaseClass)
        if (p == pBaseClass)
            return TRUE;
    return FALSE;
}

void CRuntimeClass::Store(CArchive& ar) const
{
    WORD nLen = (WORD)lstrlenA(m_lpszClassName);
    ar << (WORD)m_wSchema << nLen;
    ar.Write(m_lpszClassName, nLen);
}

CRuntimeClass* PASCAL CRuntimeClass::Load(CArchive& ar, UINT* pwSchemaNum)
{
    WORD wSchema, nLen;
    ar >> wSchema >> nLen;
    char szClassName[64];
    if (nLen >= sizeof(szClassName) || ar.Read(szClassName, nLen) != nLen)
        return NULL;
    szClassName[nLen] = '\0';
    if (pwSchemaNum != NULL)
        *pwSchemaNum = wSchema;
    return FromName(szClassName);
}

CRuntimeClass* PASCAL CRuntimeClass::FromName(LPCSTR lpszClassName)
{
    for (CRuntimeClass* p = g_pFirstClass; p != NULL; p = p->m_pNextClass)
        if (lstrcmpA(p->m_lpszClassName, lpszClassName) == 0)
            return p;
    return NULL;
}

AFX_CLASSINIT::AFX_CLASSINIT(CRuntimeClass* pNewClass)
{
    pNewClass->m_pNextClass = g_pFirstClass;
    g_pFirstClass = pNewClass;
}

// ---------------------------------------------------------------------------

void AFXAPI AfxAssertFailedLine(LPCSTR lpszFileName, int nLine)
{
    char sz[512];
    wsprintfA(sz, "Assertion failed: %s, line %d\n", lpszFileName, nLine);
    OutputDebugStringA(sz);
}

BOOL AFXAPI AfxIsValidString(LPCSTR lpsz, int nLength)
{
    if (lpsz == NULL)
        return FALSE;
    return nLength == -1 || nLength >= 0;
}

BOOL AFXAPI AfxIsValidAddress(const void* lp, UINT nBytes, BOOL)
{
    return lp != NULL || nBytes == 0;
}

HINSTANCE AFXAPI AfxGetResourceHandle()
{
    return g_hResource != NULL ? g_hResource : GetModuleHandleA(NULL);
}

void AFXAPI AfxSetResourceHandle(HINSTANCE hInstResource)
{
    g_hResource = hInstResource;
}
