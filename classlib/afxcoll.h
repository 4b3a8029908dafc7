// Non-template collections: arrays and lists of object pointers, plain
// pointers and strings.
#include "afx.h"

#ifndef VGL_AFXCOLL_H
#define VGL_AFXCOLL_H

#include "afxtempl.h"

// Pointers to objects; Serialize writes the count and each object in the
// persistent-object format. The array does not own what it points to.
class CObArray : public CArray<CObject*, CObject*>
{
    DECLARE_SERIAL(CObArray)
public:
    CObArray() {}
    virtual void Serialize(CArchive& ar);
};

class CPtrArray : public CArray<void*, void*>
{
    DECLARE_DYNAMIC(CPtrArray)
public:
    CPtrArray() {}
};

class CStringArray : public CArray<CString, const CString&>
{
    DECLARE_SERIAL(CStringArray)
public:
    CStringArray() {}
    virtual void Serialize(CArchive& ar);
};

class CObList : public CList<CObject*, CObject*>
{
    DECLARE_SERIAL(CObList)
public:
    explicit CObList(int nBlockSize = 10) : CList<CObject*, CObject*>(nBlockSize) {}
    virtual void Serialize(CArchive& ar);
};

class CPtrList : public CList<void*, void*>
{
    DECLARE_DYNAMIC(CPtrList)
public:
    explicit CPtrList(int nBlockSize = 10) : CList<void*, void*>(nBlockSize) {}
};

class CStringList : public CList<CString, const CString&>
{
    DECLARE_SERIAL(CStringList)
public:
    explicit CStringList(int nBlockSize = 10) : CList<CString, const CString&>(nBlockSize) {}
};

#endif // VGL_AFXCOLL_H
