// Objects a thread of this process hands to a window's thread with a posted message (the
// pointer in lParam). Any program can post the same message with any number: the handler
// takes only a pointer recorded here, and takes each once.
#ifndef VGL_POSTEDOBJECTS_H
#define VGL_POSTEDOBJECTS_H

#include "LockOrder.h"
#include "afx.h"
#include "afxmt.h"

#include <vector>

class CPostedObjects
{
public:
    // Posts the message with pvObject in lParam, recorded; FALSE (nothing recorded, the
    // caller keeps the object) when the post fails.
    BOOL Post(HWND hWnd, UINT uMsg, WPARAM wParam, void* pvObject);
    // TRUE when lParam is a recorded object, which is forgotten: the caller owns it now.
    BOOL Take(LPARAM lParam);

private:
    CCriticalSection m_lock;
    std::vector<void*> m_objects;
};

#endif
