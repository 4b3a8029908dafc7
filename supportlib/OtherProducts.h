// Other products of the maker on this PC, and the other update source that
// "ous.ini" assigns to this PC's address range.
#ifndef VGL_OTHERPRODUCTS_H
#define VGL_OTHERPRODUCTS_H

#include <windows.h>

enum
{
    OTHER_PRODUCT_SERVER = 0,       // the maker's server product
    OTHER_PRODUCT_CONSUMER = 1      // the maker's consumer products
};

// TRUE and the product's name (cut to nSize - 1) when a product of that kind is
// installed; the buffer is emptied first.
BOOL FindOtherProduct(int nKind, char* pszName, int nSize);

// One range of "ous.ini", section "Other Update Source".
struct OtherUpdateSource
{
    DWORD dwFirst;                  // host byte order
    DWORD dwLast;
    DWORD dwAddress;                // network byte order; all ones when none was given
    char szSource[1024];
};

// TRUE and the source of the first range (in key order) that holds this PC's
// address; FALSE and an empty buffer otherwise. *pnError receives the Winsock
// error when this PC's address cannot be found.
BOOL GetServerURL(const char* pszIniFile, char* pszSource, int nSize, int* pnError);

// The entries of keys OUS0, OUS1, ... up to the first empty one; the caller
// frees the array with delete[]. Returns the number of entries.
int readOtherUpdateSources(const char* pszIniFile, OtherUpdateSource** ppSources);

// This PC's first address in host byte order; FALSE with the Winsock error.
BOOL getLocalIpAddress(DWORD* pdwAddress, int* pnError);

#endif
