// Tree of drives and folders with tri-state tick boxes.
#include "TreeDirCtrl.h"
#include "ShellUtils.h"
#include <comdef.h>
#include <dbt.h>

BEGIN_MESSAGE_MAP(CTreeDirCtrl, CTreeCtrl)
  ON_WM_DESTROY()
  ON_WM_DEVICECHANGE()
  ON_NOTIFY_REFLECT(TVN_ITEMEXPANDINGA, OnItemExpanding)
  ON_NOTIFY_REFLECT(TVN_DELETEITEMA, OnDeleteItem)
  ON_NOTIFY_REFLECT(NM_CLICK, OnClick)
  ON_WM_GETDLGCODE()
END_MESSAGE_MAP()

namespace {

// Drive types of the drive classes 1..6 (class 0 tests no drive).
BOOL DriveMatchesClass(UINT nType, int nClass) {
  switch (nClass) {
  case 1: return nType == DRIVE_REMOTE;
  case 2: return nType == DRIVE_REMOVABLE || nType == DRIVE_FIXED || nType == DRIVE_RAMDISK;
  case 3: return nType == DRIVE_REMOVABLE;
  case 4: return nType == DRIVE_FIXED;
  case 5: return nType == DRIVE_RAMDISK;
  case 6: return nType == DRIVE_CDROM;
  default: return TRUE;
  }
}

int CALLBACK CompareByShell(LPARAM lParam1, LPARAM lParam2, LPARAM) {
  STreeDirItemData* p1 = (STreeDirItemData*)lParam1;
  STreeDirItemData* p2 = (STreeDirItemData*)lParam2;
  if (!p1 || !p2 || !p1->m_pFolder)
    return 0;
  HRESULT hr = p1->m_pFolder->CompareIDs(0, p1->m_pidlRelative, p2->m_pidlRelative);
  if (FAILED(hr))
    return 0;
  return (short)HRESULT_CODE(hr);
}

} // namespace

char firstDriveFromMask(ULONG ulUnitMask) {
  int i;
  for (i = 0; i < 26; i++) {
    if (ulUnitMask & 1)
      break;
    ulUnitMask >>= 1;
  }
  return (char)('A' + i);
}

CTreeDirCtrl::CTreeDirCtrl(BOOL bIncludeRemote, BOOL bShowNetwork)
    : m_hMyComputer(NULL), m_hStateImages(NULL), m_bIncludeRemote(bIncludeRemote), m_bShowNetwork(bShowNetwork) {}

CTreeDirCtrl::~CTreeDirCtrl() {}

BOOL CTreeDirCtrl::SetSystemImageList() {
  SHFILEINFOA sfi = {};
  HIMAGELIST h = (HIMAGELIST)::SHGetFileInfoA("C:\\", 0, &sfi, sizeof(sfi), SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
  if (!h)
    return FALSE;
  SendMessage(TVM_SETIMAGELIST, TVSIL_NORMAL, (LPARAM)h);
  return (HIMAGELIST)SendMessage(TVM_GETIMAGELIST, TVSIL_NORMAL) == h;
}

BOOL CTreeDirCtrl::SetStateImageList(UINT nBitmapId) {
  LPCSTR pszName = MAKEINTRESOURCEA(nBitmapId);
  HBITMAP hBitmap = ::LoadBitmapA(AfxGetResourceHandle(), pszName);
  if (!hBitmap)
    return FALSE;
  HIMAGELIST h = ImageList_Create(16, 16, ILC_MASK | ILC_COLOR8, 4, 0);
  if (h)
    ImageList_AddMasked(h, hBitmap, RGB(255, 0, 0));
  ::DeleteObject(hBitmap);
  if (!h)
    return FALSE;
  m_hStateImages = h;
  SendMessage(TVM_SETIMAGELIST, TVSIL_STATE, (LPARAM)h);
  return (HIMAGELIST)SendMessage(TVM_GETIMAGELIST, TVSIL_STATE) == h;
}

void CTreeDirCtrl::PopulateTree(int) {
  IShellFolder* pDesktop = NULL;
  HRESULT hr = ::SHGetDesktopFolder(&pDesktop);
  if (FAILED(hr))
    throw _com_error(hr);
  IMalloc* pMalloc = NULL;
  hr = ::SHGetMalloc(&pMalloc);
  if (FAILED(hr)) {
    pDesktop->Release();
    throw _com_error(hr);
  }
  HWND hOwner = ::GetWindow(m_hWnd, GW_OWNER);
  if (!hOwner)
    hOwner = ::GetParent(m_hWnd);
  struct { int nFolder; CString* pName; } names[] = {
    { CSIDL_DRIVES, &m_strMyComputer }, { CSIDL_NETWORK, &m_strNetwork }, { CSIDL_BITBUCKET, &m_strRecycleBin } };
  for (auto& n : names) {
    LPITEMIDLIST pidl = NULL;
    if (SUCCEEDED(::SHGetSpecialFolderLocation(hOwner, n.nFolder, &pidl)) && pidl) {
      *n.pName = getShellDisplayName(pDesktop, pidl, SHGDN_INFOLDER);
      pMalloc->Free(pidl);
    } else {
      n.pName->Empty();
    }
  }
  SendMessage(TVM_DELETEITEM, 0, (LPARAM)TVI_ROOT);
  m_hMyComputer = NULL;
  InsertChildItems(pDesktop, NULL, TVI_ROOT, TREEDIR_UNCHECKED, m_bShowNetwork, m_bIncludeRemote);
  pMalloc->Release();
  pDesktop->Release();
}

BOOL CTreeDirCtrl::InsertShellItem(IShellFolder* pFolder, IMalloc* pMalloc, LPCITEMIDLIST pidl,
                                   LPCITEMIDLIST pidlParent, ULONG ulAttrs, const CString& strName,
                                   HTREEITEM hParent, HTREEITEM hAfter, UINT nState, HTREEITEM* phItem) {
  STreeDirItemData* pData = (STreeDirItemData*)pMalloc->Alloc(sizeof(STreeDirItemData));
  if (!pData)
    return FALSE;
  memset(pData, 0, sizeof(*pData));
  pData->m_pidlRelative = copyItemId(pMalloc, pidl);
  pData->m_pFolder = pFolder;
  pFolder->AddRef();
  pData->m_pidlAbsolute = concatItemIdList(pMalloc, pidlParent, pidl);
  int nIcon = getFileIconIndex((LPCSTR)pData->m_pidlAbsolute, SHGFI_PIDL | SHGFI_SYSICONINDEX | SHGFI_SMALLICON);

  TVINSERTSTRUCTA tvis = {};
  tvis.hParent = hParent;
  tvis.hInsertAfter = hAfter;
  tvis.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_STATE | TVIF_PARAM;
  if (ulAttrs & SFGAO_HASSUBFOLDER) {
    tvis.item.mask |= TVIF_CHILDREN;
    tvis.item.cChildren = 1;
  }
  tvis.item.pszText = (LPSTR)(LPCSTR)strName;
  tvis.item.iImage = tvis.item.iSelectedImage = nIcon;
  tvis.item.state = nState;
  tvis.item.stateMask = TREEDIR_STATE_MASK;
  tvis.item.lParam = (LPARAM)pData;
  HTREEITEM hItem = InsertItem(&tvis);
  if (!hItem) {
    pFolder->Release();
    pMalloc->Free(pData->m_pidlRelative);
    pMalloc->Free(pData->m_pidlAbsolute);
    pMalloc->Free(pData);
  }
  *phItem = hItem;
  return TRUE;
}

void CTreeDirCtrl::InsertChildItems(IShellFolder* pFolder, LPCITEMIDLIST pidlParent, HTREEITEM hParent,
                                    UINT nState, BOOL bShowNetwork, BOOL bIncludeRemote) {
  CWaitCursor wait;
  IMalloc* pMalloc = NULL;
  if (FAILED(::SHGetMalloc(&pMalloc)))
    return;
  IEnumIDList* pEnum = NULL;
  if (FAILED(pFolder->EnumObjects(NULL, SHCONTF_FOLDERS | SHCONTF_INCLUDEHIDDEN, &pEnum)) || !pEnum) {
    pMalloc->Release();
    return;
  }
  HTREEITEM hAfter = TVI_LAST;
  LPITEMIDLIST pidl = NULL;
  ULONG nFetched = 0;
  while (pEnum->Next(1, &pidl, &nFetched) == S_OK && nFetched == 1) {
    ULONG ulAttrs = SFGAO_FOLDER | SFGAO_HASSUBFOLDER;
    LPCITEMIDLIST pidlConst = pidl;
    pFolder->GetAttributesOf(1, &pidlConst, &ulAttrs);
    BOOL bKeep = (ulAttrs & SFGAO_FOLDER) != 0;
    CString strName;
    if (bKeep) {
      strName = getShellDisplayName(pFolder, pidl, SHGDN_INFOLDER);
      if (hParent == TVI_ROOT) {
        bKeep = strcmp(strName, m_strMyComputer) == 0 || (bShowNetwork && strcmp(strName, m_strNetwork) == 0);
      } else if (hParent == m_hMyComputer) {
        int nColon = findDriveSuffix(strName);
        if (nColon < 0) {
          bKeep = FALSE;
        } else if (!bIncludeRemote) {
          char szRoot[4] = { strName[nColon - 1], ':', '\\', 0 };
          UINT nType = ::GetDriveTypeA(szRoot);
          bKeep = nType != DRIVE_REMOTE && nType != DRIVE_NO_ROOT_DIR;
        }
      }
    }
    if (bKeep) {
      HTREEITEM hItem = NULL;
      if (!InsertShellItem(pFolder, pMalloc, pidl, pidlParent, ulAttrs, strName, hParent, hAfter, nState, &hItem)) {
        pMalloc->Free(pidl);
        break;
      }
      if (hItem) {
        hAfter = hItem;
        if (strName == m_strMyComputer)
          m_hMyComputer = hItem;
      }
    }
    pMalloc->Free(pidl);
  }
  pEnum->Release();
  pMalloc->Release();
}

CString CTreeDirCtrl::GetPathFromItemText(CString strText, BOOL bAppendSeparator, char chSeparator) {
  CString strPath = strText;
  int nColon = findDriveSuffix(strText);
  if (nColon > 0) {
    char sz[3] = { strText[nColon - 1], ':', 0 };
    strPath = sz;
  }
  if (bAppendSeparator) {
    char sz[2] = { chSeparator, 0 };
    strPath += sz;
  }
  if (!m_strRecycleBin.IsEmpty() && strText.Find(m_strRecycleBin) >= 0) {
    char szSystem[260] = "";
    ::GetSystemDirectoryA(szSystem, sizeof(szSystem));
    char sz[4] = { szSystem[0], ':', chSeparator, 0 };
    strPath = sz;
    strPath += "RECYCLED";
  }
  return strPath;
}

void CTreeDirCtrl::SetChildrenCheck(HTREEITEM hParent, UINT nState, int nDriveClass, LPCTSTR pszDrivePath) {
  if (!hParent)
    return;
  for (HTREEITEM hChild = GetChildItem(hParent); hChild; hChild = GetNextSiblingItem(hChild)) {
    if (nDriveClass == 0) {
      SetCheckState(hChild, nState);
      SetChildrenCheck(hChild, nState, 0, NULL);
      continue;
    }
    CString strDrive = pszDrivePath ? CString(pszDrivePath) : GetPathFromItemText(GetItemText(hChild), TRUE, '\\');
    if (DriveMatchesClass(::GetDriveTypeA(strDrive), nDriveClass)) {
      SetCheckState(hChild, nState);
      SetChildrenCheck(hChild, nState, nDriveClass, strDrive);
    }
  }
}

void CTreeDirCtrl::PropagateCheckState(HTREEITEM hItem) {
  if (!hItem)
    return;
  UINT nState = GetCheckState(hItem);
  if (nState != TREEDIR_PARTIAL)
    SetChildrenCheck(hItem, nState == TREEDIR_CHECKED ? TREEDIR_CHECKED : TREEDIR_UNCHECKED, 0, NULL);
  for (HTREEITEM hAncestor = GetParentItem(hItem); hAncestor; hAncestor = GetParentItem(hAncestor)) {
    int nTotal = 0, nChecked = 0, nPartial = 0;
    for (HTREEITEM h = GetChildItem(hAncestor); h; h = GetNextSiblingItem(h)) {
      nTotal++;
      UINT s = GetCheckState(h);
      if (s == TREEDIR_CHECKED)
        nChecked++;
      else if (s == TREEDIR_PARTIAL)
        nPartial++;
    }
    UINT nNew;
    if (nChecked == 0 && nPartial == 0)
      nNew = TREEDIR_UNCHECKED;
    else if (nChecked == nTotal)
      nNew = TREEDIR_CHECKED;
    else
      nNew = TREEDIR_PARTIAL;
    SetCheckState(hAncestor, nNew);
  }
}

void CTreeDirCtrl::RefreshCheckState(HTREEITEM hItem) {
  if (!hItem) {
    DWORD dwPos = ::GetMessagePos();
    CPoint pt((short)LOWORD(dwPos), (short)HIWORD(dwPos));
    ScreenToClient(&pt);
    hItem = HitTest(pt);
  }
  if (hItem)
    PropagateCheckState(hItem);
}

void CTreeDirCtrl::ToggleCheck(HTREEITEM hItem) {
  SetCheckState(hItem, GetCheckState(hItem) == TREEDIR_CHECKED ? TREEDIR_UNCHECKED : TREEDIR_CHECKED);
  PropagateCheckState(hItem);
}

void CTreeDirCtrl::CheckAllDrives(BOOL bCheck) {
  UINT n = bCheck ? TREEDIR_CHECKED : TREEDIR_UNCHECKED;
  SetCheckState(m_hMyComputer, n);
  SetChildrenCheck(m_hMyComputer, n, 0, NULL);
}

#define VGL_CHECK_CLASS(name, cls) \
  void CTreeDirCtrl::name(BOOL bCheck) { \
    UINT n = bCheck ? TREEDIR_CHECKED : TREEDIR_UNCHECKED; \
    SetCheckState(m_hMyComputer, n); \
    SetChildrenCheck(m_hMyComputer, n, cls, NULL); \
  }
VGL_CHECK_CLASS(CheckNetworkDrives, 1)
VGL_CHECK_CLASS(CheckLocalDrives, 2)
VGL_CHECK_CLASS(CheckRemovableDrives, 3)
VGL_CHECK_CLASS(CheckFixedDrives, 4)
VGL_CHECK_CLASS(CheckRamDrives, 5)
VGL_CHECK_CLASS(CheckCdRomDrives, 6)
#undef VGL_CHECK_CLASS

CString CTreeDirCtrl::PathOfItem(HTREEITEM hItem) {
  CString strPath;
  HTREEITEM hAncestor = GetParentItem(hItem);
  while (hAncestor && GetParentItem(hAncestor)) {
    strPath = GetPathFromItemText(GetItemText(hAncestor), TRUE, '\\') + strPath;
    hAncestor = GetParentItem(hAncestor);
  }
  strPath += GetPathFromItemText(GetItemText(hItem), TRUE, '\\');
  if (strPath.Find(':') < 0)
    strPath = CString("\\\\") + strPath;
  return strPath;
}

void CTreeDirCtrl::CollectPaths(HTREEITEM hItem, CStringArray& paths) {
  for (; hItem; hItem = GetNextSiblingItem(hItem)) {
    UINT nState = GetCheckState(hItem);
    if (nState == TREEDIR_CHECKED)
      paths.Add(PathOfItem(hItem));
    else if (nState == TREEDIR_PARTIAL)
      CollectPaths(GetChildItem(hItem), paths);
  }
}

void CTreeDirCtrl::GetCheckedPaths(CStringArray& paths) {
  HTREEITEM hTop = GetRootItem();
  if (!hTop)
    return;
  CollectPaths(GetChildItem(hTop), paths);
  for (HTREEITEM h = GetNextSiblingItem(hTop); h; h = GetNextSiblingItem(h))
    for (HTREEITEM hChild = GetChildItem(h); hChild; hChild = GetNextSiblingItem(hChild))
      CollectPaths(GetChildItem(hChild), paths);
}

BOOL CTreeDirCtrl::HasCheckedItem() {
  HTREEITEM hTop = GetRootItem();
  if (!hTop)
    return FALSE;
  if (GetCheckState(hTop) == TREEDIR_CHECKED || GetCheckState(hTop) == TREEDIR_PARTIAL)
    return TRUE;
  for (HTREEITEM h = GetNextSiblingItem(hTop); h; h = GetNextSiblingItem(h)) {
    for (HTREEITEM hChild = GetChildItem(h); hChild; hChild = GetNextSiblingItem(hChild)) {
      HTREEITEM hFirst = GetChildItem(hChild);
      if (hFirst && (GetCheckState(hFirst) == TREEDIR_CHECKED || GetCheckState(hFirst) == TREEDIR_PARTIAL))
        return TRUE;
    }
  }
  return FALSE;
}

HTREEITEM CTreeDirCtrl::FindChildByText(HTREEITEM hParent, const CString& strText) {
  for (HTREEITEM h = GetChildItem(hParent); h; h = GetNextSiblingItem(h))
    if (GetItemText(h) == strText)
      return h;
  return NULL;
}

HTREEITEM CTreeDirCtrl::FindDriveChild(HTREEITEM hParent, char chDrive) {
  for (HTREEITEM h = GetChildItem(hParent); h; h = GetNextSiblingItem(h)) {
    CString s = GetItemText(h);
    int nColon = findDriveSuffix(s);
    if (nColon > 0 && s[nColon - 1] == chDrive)
      return h;
  }
  return NULL;
}

void CTreeDirCtrl::DeleteDriveItem(char chDrive) {
  HTREEITEM hTop = GetRootItem();
  if (!hTop)
    return;
  for (HTREEITEM h = GetChildItem(hTop); h; h = GetNextSiblingItem(h)) {
    if (GetPathFromItemText(GetItemText(h), FALSE, '\\').Find(chDrive) >= 0) {
      DeleteItem(h);
      return;
    }
  }
}

void CTreeDirCtrl::SortByShell(HTREEITEM hParent) {
  TVSORTCB sort = { hParent, CompareByShell, 0 };
  SortChildrenCB(&sort);
}

BOOL CTreeDirCtrl::InsertDriveItem(UINT nEvent, WORD wFlags, HTREEITEM hParent, char chDrive, UINT nState, int) {
  STreeDirItemData* pParentData = (STreeDirItemData*)GetItemData(hParent);
  if (!pParentData || !pParentData->m_pFolder)
    return FALSE;
  IShellFolder* pFolder = NULL;
  HRESULT hr = pParentData->m_pFolder->BindToObject(pParentData->m_pidlRelative, NULL, IID_IShellFolder, (void**)&pFolder);
  if (FAILED(hr))
    throw _com_error(hr);
  IMalloc* pMalloc = NULL;
  hr = ::SHGetMalloc(&pMalloc);
  if (FAILED(hr)) {
    pFolder->Release();
    throw _com_error(hr);
  }
  IEnumIDList* pEnum = NULL;
  HWND hOwner = ::GetParent(m_hWnd);
  hr = pFolder->EnumObjects(hOwner, SHCONTF_FOLDERS | SHCONTF_INCLUDEHIDDEN, &pEnum);
  if (FAILED(hr) || !pEnum) {
    pMalloc->Release();
    pFolder->Release();
    throw _com_error(FAILED(hr) ? hr : E_FAIL);
  }
  BOOL bResult = FALSE;
  LPITEMIDLIST pidl = NULL;
  ULONG nFetched = 0;
  while (pEnum->Next(1, &pidl, &nFetched) == S_OK && nFetched == 1) {
    ULONG ulAttrs = SFGAO_FOLDER | SFGAO_HASSUBFOLDER;
    LPCITEMIDLIST pidlConst = pidl;
    pFolder->GetAttributesOf(1, &pidlConst, &ulAttrs);
    CString strName = getShellDisplayName(pFolder, pidl, SHGDN_INFOLDER);
    int nColon = findDriveSuffix(strName);
    if ((ulAttrs & SFGAO_FOLDER) && nColon > 0 && strName[nColon - 1] == chDrive) {
      HTREEITEM hItem = NULL;
      if (InsertShellItem(pFolder, pMalloc, pidl, pParentData->m_pidlAbsolute, ulAttrs, strName, hParent, TVI_SORT, nState, &hItem) && hItem) {
        bResult = TRUE;
        SortByShell(hParent);
      }
      pMalloc->Free(pidl);
      break;
    }
    pMalloc->Free(pidl);
  }
  pEnum->Release();
  if (wFlags & DBTF_MEDIA) {
    HTREEITEM hItem = FindDriveChild(hParent, chDrive);
    if (hItem) {
      char szText[300];
      TVITEMA item = {};
      item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
      item.hItem = hItem;
      if (nEvent == DBT_DEVICEREMOVECOMPLETE) {
        wsprintfA(szText, " (%c:)", chDrive);
        item.iImage = item.iSelectedImage = 11;
      } else {
        wsprintfA(szText, " %s (%c:)", (LPCSTR)getVolumeLabel(chDrive), chDrive);
        STreeDirItemData* pData = (STreeDirItemData*)GetItemData(hItem);
        item.iImage = item.iSelectedImage =
            pData ? getFileIconIndex((LPCSTR)pData->m_pidlAbsolute, SHGFI_PIDL | SHGFI_SYSICONINDEX | SHGFI_SMALLICON) : 0;
      }
      item.pszText = szText;
      if (SetItem(&item))
        bResult = TRUE;
    }
  }
  pMalloc->Release();
  pFolder->Release();
  return bResult;
}

void CTreeDirCtrl::OnVolumeRemoved(char chDrive, UINT nEvent, WORD wFlags) {
  DeleteDriveItem(chDrive);
  if (wFlags & DBTF_MEDIA)
    InsertDriveItem(nEvent, wFlags, m_hMyComputer, chDrive, TREEDIR_UNCHECKED, 0);
}

void CTreeDirCtrl::OnVolumeArrived(char chDrive, UINT nEvent, WORD wFlags) {
  if (wFlags & DBTF_MEDIA)
    DeleteDriveItem(chDrive);
  InsertDriveItem(nEvent, wFlags, m_hMyComputer, chDrive, TREEDIR_UNCHECKED, 0);
}

void CTreeDirCtrl::Refresh() {
  DeleteAllItems();
  PopulateTree(0);
  Expand(GetRootItem(), TVE_EXPAND);
}

void CTreeDirCtrl::OnDestroy() {
  if (m_hStateImages) {
    ImageList_Destroy(m_hStateImages);
    m_hStateImages = NULL;
  }
  CTreeCtrl::OnDestroy();
}

BOOL CTreeDirCtrl::OnDeviceChange(UINT nEventType, DWORD_PTR dwData) {
  if (nEventType != DBT_DEVICEARRIVAL && nEventType != DBT_DEVICEREMOVECOMPLETE)
    return TRUE;
  DEV_BROADCAST_HDR* pHdr = (DEV_BROADCAST_HDR*)(DWORD_PTR)dwData;
  // A volume record whole: another program may send the message with a shorter block.
  if (!pHdr || pHdr->dbch_devicetype != DBT_DEVTYP_VOLUME || pHdr->dbch_size < sizeof(DEV_BROADCAST_VOLUME))
    return TRUE;
  DEV_BROADCAST_VOLUME* pVol = (DEV_BROADCAST_VOLUME*)pHdr;
  if (!(pVol->dbcv_flags & (DBTF_MEDIA | DBTF_NET)))
    return TRUE;
  if ((pVol->dbcv_flags & DBTF_NET) && !m_bIncludeRemote)
    return TRUE;
  char chDrive = firstDriveFromMask(pVol->dbcv_unitmask);
  try {
    if (nEventType == DBT_DEVICEARRIVAL)
      OnVolumeArrived(chDrive, nEventType, pVol->dbcv_flags);
    else
      OnVolumeRemoved(chDrive, nEventType, pVol->dbcv_flags);
  } catch (_com_error&) {
    // The tree stays as it was.
  }
  return TRUE;
}

void CTreeDirCtrl::OnItemExpanding(NMHDR* pNMHDR, LRESULT* pResult) {
  NMTREEVIEWA* pNM = (NMTREEVIEWA*)pNMHDR;
  *pResult = 0;
  HTREEITEM hItem = pNM->itemNew.hItem;
  if (GetItemState(hItem, TVIS_EXPANDEDONCE) & TVIS_EXPANDEDONCE) {
    RefreshCheckState(NULL);
    return;
  }
  UINT nChildState = GetCheckState(hItem) == TREEDIR_CHECKED ? TREEDIR_CHECKED : TREEDIR_UNCHECKED;
  STreeDirItemData* pData = (STreeDirItemData*)GetItemData(hItem);
  IShellFolder* pSub = NULL;
  if (pData && pData->m_pFolder &&
      SUCCEEDED(pData->m_pFolder->BindToObject(pData->m_pidlRelative, NULL, IID_IShellFolder, (void**)&pSub)) && pSub) {
    InsertChildItems(pSub, pData->m_pidlAbsolute, hItem, nChildState, m_bShowNetwork, m_bIncludeRemote);
    pSub->Release();
    RefreshCheckState(NULL);
  }
  SortByShell(hItem);
}

void CTreeDirCtrl::OnDeleteItem(NMHDR* pNMHDR, LRESULT* pResult) {
  NMTREEVIEWA* pNM = (NMTREEVIEWA*)pNMHDR;
  *pResult = 0;
  STreeDirItemData* pData = (STreeDirItemData*)pNM->itemOld.lParam;
  if (!pData)
    return;
  IMalloc* pMalloc = NULL;
  if (FAILED(::SHGetMalloc(&pMalloc)))
    return;
  if (pData->m_pFolder)
    pData->m_pFolder->Release();
  pMalloc->Free(pData->m_pidlRelative);
  pMalloc->Free(pData->m_pidlAbsolute);
  pMalloc->Free(pData);
  pMalloc->Release();
}

void CTreeDirCtrl::OnClick(NMHDR*, LRESULT* pResult) {
  *pResult = 0;
  DWORD dwPos = ::GetMessagePos();
  CPoint pt((short)LOWORD(dwPos), (short)HIWORD(dwPos));
  ScreenToClient(&pt);
  UINT nFlags = 0;
  HTREEITEM hClicked = HitTest(pt, &nFlags);
  if (!hClicked || !(nFlags & (TVHT_ONITEMSTATEICON | TVHT_ONITEMLABEL)))
    return;
  HTREEITEM hSelected = GetSelectedItem();
  BOOL bShift = (::GetAsyncKeyState(VK_SHIFT) & 0x8000) != 0;
  BOOL bCtrl = (::GetAsyncKeyState(VK_CONTROL) & 0x8000) != 0;
  if (!hSelected || hSelected == hClicked || (!bShift && !bCtrl)) {
    ToggleCheck(hClicked);
  } else {
    UINT nRun = bShift ? TREEDIR_CHECKED : TREEDIR_UNCHECKED;
    SetCheckState(hSelected, nRun);
    CRect rcSel, rcClick;
    GetItemRect(hSelected, &rcSel, FALSE);
    GetItemRect(hClicked, &rcClick, FALSE);
    UINT nDir = rcClick.top > rcSel.top ? TVGN_NEXTVISIBLE : TVGN_PREVIOUSVISIBLE;
    for (HTREEITEM h = GetNextItem(hSelected, nDir); h && h != hClicked; h = GetNextItem(h, nDir))
      SetCheckState(h, nRun);
    SetCheckState(hClicked, nRun);
    RefreshCheckState(NULL);
  }
  Invalidate(TRUE);
  UpdateWindow();
}

UINT CTreeDirCtrl::OnGetDlgCode() { return DLGC_WANTALLKEYS; }
