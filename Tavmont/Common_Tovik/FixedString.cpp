#include "FixedString.h"

#include <mbctype.h>

CFixedString::CFixedString(LPCSTR pszText)
{
    Assign(pszText);
}

void CFixedString::Assign(LPCSTR pszText)
{
    int n = 0;
    if (pszText)
    {
        while (pszText[n] != '\0')
        {
            int nChar = (_ismbblead((unsigned char)pszText[n]) && pszText[n + 1] != '\0') ? 2 : 1;
            if (n + nChar > FIXED_SIZE - 1)
                break;
            for (int i = 0; i < nChar; ++i, ++n)
                m_szText[n] = pszText[n];
        }
    }
    m_szText[n] = '\0';
}
