#include "PostedObjects.h"

#include <algorithm>

BOOL CPostedObjects::Post(HWND hWnd, UINT uMsg, WPARAM wParam, void* pvObject)
{
    {
        CSingleLock lock(&m_lock, TRUE);
        m_objects.push_back(pvObject);
    }
    if (::PostMessageA(hWnd, uMsg, wParam, (LPARAM)pvObject))
        return TRUE;
    Take((LPARAM)pvObject);
    return FALSE;
}

BOOL CPostedObjects::Take(LPARAM lParam)
{
    if (lParam == 0)
        return FALSE;
    CSingleLock lock(&m_lock, TRUE);
    std::vector<void*>::iterator it = std::find(m_objects.begin(), m_objects.end(), (void*)lParam);
    if (it == m_objects.end())
        return FALSE;
    m_objects.erase(it);
    return TRUE;
}
