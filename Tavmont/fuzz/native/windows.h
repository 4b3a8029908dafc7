// The few Windows types and calls the client's text code uses, for its native (Linux) build
// under the fuzzer. The text is taken in a single-byte code page.
#ifndef VGL_NATIVE_WINDOWS_H
#define VGL_NATIVE_WINDOWS_H

#include <stddef.h>
#include <stdint.h>

typedef int BOOL;
typedef unsigned char BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef unsigned int UINT;
typedef long LONG;
typedef char* LPSTR;
typedef const char* LPCSTR;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

#endif
