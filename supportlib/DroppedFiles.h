// WM_DROPFILES between two processes.
//
// A drop handle (CF_HDROP) is global memory of the process that made it: posted as it
// is to a window of another process it names nothing there. The sender therefore
// copies the drop list into a mapping, gives the receiving process a handle of its own
// to that mapping and posts that handle in wParam with lParam DROP_CARRIED. The
// receiver's WM_DROPFILES handler first calls receiveDroppedFiles(wParam, lParam),
// which gives back a drop handle of the receiver's own in either case, and reads that
// as usual (DragQueryFile) and frees it with DragFinish.
//
// The mapping holds the block's size (4 bytes) and then the DROPFILES block exactly as
// the data object gave it (ANSI or wide names, each ending in a zero, a second zero
// after the last): the same bytes for 32-bit and 64-bit programs. A drop within one
// process (and every drop Explorer makes on a window itself) arrives with lParam 0 and
// passes through unchanged.
#ifndef VGL_DROPPEDFILES_H
#define VGL_DROPPEDFILES_H

#include <windows.h>
#include <shellapi.h>

// lParam of a WM_DROPFILES whose wParam is a mapping handle of the receiving process.
#define DROP_CARRIED 0x444C4756     // "VGLD"

enum EDropPost
{
    DROP_NOT_POSTED = 0,    // nothing reached the window; the caller still owns hDrop
    DROP_POSTED_COPY,       // a copy was posted; the caller still owns hDrop
    DROP_POSTED_HANDLE      // hDrop itself was posted: the receiver frees it
};

// Posts WM_DROPFILES with the drop list of hDrop to hWnd. A window of this process gets
// hDrop itself; a window of another process gets a copy, or hDrop itself when no copy
// can be handed to that process.
EDropPost postDroppedFiles(HWND hWnd, HGLOBAL hDrop);

// The drop handle of a WM_DROPFILES that this process received; the caller frees it
// with DragFinish. NULL when a carried list cannot be read (the mapping is closed).
HDROP receiveDroppedFiles(WPARAM wParam, LPARAM lParam);

// A mapping of this process holding the size field and a copy of hDrop's block, as it is
// carried; NULL when it cannot be made.
HANDLE copyDropListToMapping(HGLOBAL hDrop);

#endif
