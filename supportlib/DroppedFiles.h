// WM_DROPFILES between two processes.
//
// A drop handle (CF_HDROP) is global memory of the process that made it: posted as it
// is to a window of another process it names nothing there. The sender therefore sends
// the drop list itself with WM_COPYDATA (dwData DROP_CARRIED, the DROPFILES block exactly
// as the data object gave it: ANSI or wide names, each ending in a zero, a second zero
// after the last; the same bytes for 32-bit and 64-bit programs). The system copies the
// block, so nothing in it can name the receiver's handles. The receiver's WM_COPYDATA
// handler calls takeCarriedDropList, which posts a drop handle of its own to the window as
// WM_DROPFILES; the WM_DROPFILES handler calls receiveDroppedFiles(wParam, lParam) and
// reads the result as usual (DragQueryFile) and frees it with DragFinish. A drop within one
// process (and every drop Explorer makes on a window itself) arrives with lParam 0.
#ifndef VGL_DROPPEDFILES_H
#define VGL_DROPPEDFILES_H

#include <windows.h>
#include <shellapi.h>

// dwData of a WM_COPYDATA that carries a drop list.
#define DROP_CARRIED 0x444C4756     // "VGLD"

enum EDropPost
{
    DROP_NOT_POSTED = 0,    // nothing reached the window; the caller still owns hDrop
    DROP_POSTED_COPY,       // a copy was taken by the window; the caller still owns hDrop
    DROP_POSTED_HANDLE      // hDrop itself was posted: the receiver frees it
};

// Hands the drop list of hDrop to hWnd: a window of this process gets hDrop itself posted,
// a window of another process a copy sent with WM_COPYDATA.
EDropPost postDroppedFiles(HWND hWnd, HGLOBAL hDrop);

// The drop handle of a WM_DROPFILES that this process received; the caller frees it with
// DragFinish. NULL, with nothing freed or closed, unless lParam is 0 and wParam is global
// memory of this process that holds a drop list.
HDROP receiveDroppedFiles(WPARAM wParam, LPARAM lParam);

// A drop handle of this process with a copy of the list a WM_COPYDATA carries; NULL when it
// carries none: a block too short or too long, or a header that names no list in it.
HDROP copyCarriedDropList(const COPYDATASTRUCT* pCopyData);

// For a WM_COPYDATA to hWnd (a window of this thread): posts the copy of the list it carries
// to hWnd as WM_DROPFILES. TRUE when posted (the WM_DROPFILES handler frees it).
BOOL takeCarriedDropList(HWND hWnd, const COPYDATASTRUCT* pCopyData);

#endif
