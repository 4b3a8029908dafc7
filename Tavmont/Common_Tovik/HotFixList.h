// The server's hot-fix list: the reply of the hot-fix INI request, which the client also hands
// to the update program in the mapping "VigilonCorp_95_HotFix".
//
//   HotFix/Ksxwin97.exe=20260115103000
//   HotFix/Alert.Msg=20260115103000
//
// Lines are separated by LF (a CR before it is dropped); key and value are %XX-escaped. The
// first key must begin with "HotFix", or the list names no file. Every line whose key begins
// with "HotFix" and whose value is not empty names one file: the key is the file's path on the
// server below its root, its last component the file's name, and the value the file's time
// stamp YYYYMMDDhhmmss in UTC (a shorter stamp is padded with '0', a longer one cut to 14).
// "Begins with HotFix" compares the first six characters without regard to case, or the whole
// key when it is shorter.
#ifndef VGL_HOTFIXLIST_H
#define VGL_HOTFIXLIST_H

#include "afx.h"
#include "afxtime.h"

#include <vector>

// One file of the list.
struct SHotFixFile
{
    CString m_strVirtualPath;   // the key: the file's path on the server
    CString m_strFileName;      // the key's last component (name and extension)
    CTime m_timeServer;         // the stamp, read as UTC
};
typedef std::vector<SHotFixFile> VECTOR_HOTFIXFILE;

// The key begins with "HotFix" in the sense above.
BOOL isHotFixKey(LPCSTR pszKey);

// A stamp of digits only, padded with '0' or cut to 14, that names a real time of the years
// 1970 to 2037 (month 1-12, a day of that month, hour 0-23, minute and second 0-59). FALSE for
// anything else; tUtc is then left alone.
BOOL parseHotFixStamp(LPCSTR pszStamp, CTime& tUtc);

// The last component of a server path ('/' or '\' separate components); empty when the path
// ends with a separator or its last component is "." or "..".
CString getHotFixFileName(LPCSTR pszVirtualPath);

// Reads the list into files (appended in list order). Returns FALSE, with nothing appended,
// when the text is NULL or empty, cannot be split, or its first key does not begin with
// "HotFix". A line whose stamp is invalid or whose key names no file is left out and traced:
// such a file is never needed.
BOOL parseHotFixList(LPCSTR pszText, VECTOR_HOTFIXFILE& files);

#endif
