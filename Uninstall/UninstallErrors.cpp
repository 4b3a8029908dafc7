#include "UninstallErrors.h"

#include "resource_ids.h"

CString loadUninstallString(UINT nId)
{
    CString str;
    if (nId == 0 || !str.LoadString(nId))
        return CString();
    return str;
}

CString CCgiUninstallException::GetText() const
{
    switch (m_nReturnCode)
    {
    case -4:
        return loadUninstallString(IDS_UNINST_CGI_4);
    case -3:
        return loadUninstallString(IDS_UNINST_CGI_3);
    case -2:
        return loadUninstallString(IDS_UNINST_CGI_2);
    default:
        return loadUninstallString(IDS_UNINST_CGI_REFUSED);
    }
}

UINT getInternetStatusStringId(int nStatus)
{
    if (nStatus >= 400 && nStatus <= 410)
        return IDS_UNINST_HTTP_400 + (nStatus - 400);
    if (nStatus >= 411 && nStatus <= 415)
        return IDS_UNINST_HTTP_411 + (nStatus - 411);
    if (nStatus >= 500 && nStatus <= 504)
        return IDS_UNINST_HTTP_500 + (nStatus - 500);
    switch (nStatus)
    {
    case 301:
        return IDS_UNINST_HTTP_301;
    case 305:
        return IDS_UNINST_HTTP_305;
    case 505:
        return IDS_UNINST_HTTP_505;
    default:
        return 0;
    }
}

CString getInternetStatusText(int nStatus)
{
    CString strText;
    strText.Format("(%d) %s", nStatus, (LPCSTR)loadUninstallString(getInternetStatusStringId(nStatus)));
    return strText;
}
