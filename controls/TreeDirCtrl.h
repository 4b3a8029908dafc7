// Tree of drives and folders from the shell namespace, with tri-state tick boxes.
#pragma once

#include <afxcmn.h>
#include <shlobj.h>

// Item data of every tree item, allocated with the shell's task allocator.
struct STreeDirItemData {
  IShellFolder* m_pFolder;        // the folder that enumerated the item (referenced)
  LPITEMIDLIST m_pidlRelative;    // the item's own id
  LPITEMIDLIST m_pidlAbsolute;    // the item's full id list from the desktop
};

// Tick states: state-image index in the item state bits 12..15.
#define TREEDIR_STATE_MASK 0xF000
#define TREEDIR_UNCHECKED 0x1000
#define TREEDIR_CHECKED 0x2000
#define TREEDIR_PARTIAL 0x3000

class CTreeDirCtrl : public CTreeCtrl {
public:
  CTreeDirCtrl(BOOL bIncludeRemote, BOOL bShowNetwork);
  virtual ~CTreeDirCtrl();

  BOOL SetSystemImageList();
  BOOL SetStateImageList(UINT nBitmapId);
  void PopulateTree(int nUnused = 0);
  void CheckAllDrives(BOOL bCheck);
  void CheckLocalDrives(BOOL bCheck);
  void CheckNetworkDrives(BOOL bCheck);
  void CheckRemovableDrives(BOOL bCheck);
  void CheckFixedDrives(BOOL bCheck);
  void CheckRamDrives(BOOL bCheck);
  void CheckCdRomDrives(BOOL bCheck);
  void GetCheckedPaths(CStringArray& paths);
  BOOL HasCheckedItem();

  virtual void InsertChildItems(IShellFolder* pFolder, LPCITEMIDLIST pidlParent, HTREEITEM hParent,
                                UINT nState, BOOL bShowNetwork, BOOL bIncludeRemote);
  virtual CString GetPathFromItemText(CString strText, BOOL bAppendSeparator, char chSeparator);
  virtual void RefreshCheckState(HTREEITEM hItem);
  virtual void PropagateCheckState(HTREEITEM hItem);
  virtual void SetChildrenCheck(HTREEITEM hParent, UINT nState, int nDriveClass, LPCTSTR pszDrivePath);
  virtual void ToggleCheck(HTREEITEM hItem);
  virtual void OnVolumeRemoved(char chDrive, UINT nEvent, WORD wFlags);
  virtual void OnVolumeArrived(char chDrive, UINT nEvent, WORD wFlags);
  virtual HTREEITEM FindChildByText(HTREEITEM hParent, const CString& strText);
  virtual HTREEITEM FindDriveChild(HTREEITEM hParent, char chDrive);
  virtual void DeleteDriveItem(char chDrive);
  virtual BOOL InsertDriveItem(UINT nEvent, WORD wFlags, HTREEITEM hParent, char chDrive, UINT nState, int nUnused);
  virtual void Refresh();

  // The tick state of an item (TREEDIR_*).
  UINT GetCheckState(HTREEITEM hItem) const { return GetItemState(hItem, TREEDIR_STATE_MASK); }
  void SetCheckState(HTREEITEM hItem, UINT nState) { SetItemState(hItem, nState, TREEDIR_STATE_MASK); }

protected:
  CString m_strMyComputer;
  CString m_strNetwork;
  CString m_strRecycleBin;
  HTREEITEM m_hMyComputer;
  HIMAGELIST m_hStateImages;
  BOOL m_bIncludeRemote;
  BOOL m_bShowNetwork;

  void CollectPaths(HTREEITEM hItem, CStringArray& paths);
  CString PathOfItem(HTREEITEM hItem);
  void SortByShell(HTREEITEM hParent);
  BOOL InsertShellItem(IShellFolder* pFolder, IMalloc* pMalloc, LPCITEMIDLIST pidl, LPCITEMIDLIST pidlParent,
                       ULONG ulAttrs, const CString& strName, HTREEITEM hParent, HTREEITEM hAfter,
                       UINT nState, HTREEITEM* phItem);

  afx_msg void OnDestroy();
  afx_msg BOOL OnDeviceChange(UINT nEventType, DWORD_PTR dwData);
  afx_msg void OnItemExpanding(NMHDR* pNMHDR, LRESULT* pResult);
  afx_msg void OnDeleteItem(NMHDR* pNMHDR, LRESULT* pResult);
  afx_msg void OnClick(NMHDR* pNMHDR, LRESULT* pResult);
  afx_msg UINT OnGetDlgCode();
  DECLARE_MESSAGE_MAP()
};

// Drive letter of the lowest set bit of a unit mask ('A' for bit 0); 26 bits are examined.
char firstDriveFromMask(ULONG ulUnitMask);
