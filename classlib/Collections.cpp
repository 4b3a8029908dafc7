// Non-template collections.
#include "afx.h"

IMPLEMENT_SERIAL(CObArray, CObject, 0)
IMPLEMENT_DYNAMIC(CPtrArray, CObject)
IMPLEMENT_SERIAL(CStringArray, CObject, 0)
IMPLEMENT_SERIAL(CObList, CObject, 0)
IMPLEMENT_DYNAMIC(CPtrList, CObject)
IMPLEMENT_SERIAL(CStringList, CObject, 0)

void CObArray::Serialize(CArchive& ar)
{
    CObject::Serialize(ar);
    if (ar.IsStoring())
    {
        ar.WriteCount(m_nSize);
        for (int i = 0; i < m_nSize; i++)
            ar << m_pData[i];
    }
    else
    {
        // Grown as elements arrive: a damaged count ends in endOfFile, not
        // in one huge allocation.
        DWORD nNewSize = ar.ReadCount();
        RemoveAll();
        for (DWORD i = 0; i < nNewSize; i++)
        {
            CObject* pOb;
            ar >> pOb;
            Add(pOb);
        }
    }
}

void CStringArray::Serialize(CArchive& ar)
{
    CObject::Serialize(ar);
    if (ar.IsStoring())
    {
        ar.WriteCount(m_nSize);
        for (int i = 0; i < m_nSize; i++)
            ar << m_pData[i];
    }
    else
    {
        // Grown as elements arrive: a damaged count ends in endOfFile, not
        // in one huge allocation.
        DWORD nNewSize = ar.ReadCount();
        RemoveAll();
        for (DWORD i = 0; i < nNewSize; i++)
        {
            CString str;
            ar >> str;
            Add(str);
        }
    }
}

void CObList::Serialize(CArchive& ar)
{
    CObject::Serialize(ar);
    if (ar.IsStoring())
    {
        ar.WriteCount(m_nCount);
        for (CNode* pNode = m_pNodeHead; pNode != NULL; pNode = pNode->pNext)
            ar << pNode->data;
    }
    else
    {
        DWORD nNewCount = ar.ReadCount();
        while (nNewCount--)
        {
            CObject* pNewData;
            ar >> pNewData;
            AddTail(pNewData);
        }
    }
}
