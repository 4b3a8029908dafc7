// Lead bytes of the code page, for the native build: a single-byte code page has none.
#ifndef VGL_NATIVE_MBCTYPE_H
#define VGL_NATIVE_MBCTYPE_H

inline int _ismbblead(unsigned int) { return 0; }

#endif
