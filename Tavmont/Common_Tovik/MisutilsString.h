// File utilities over std::string, for code that does without CString (the trace log).
#ifndef VGL_MISUTILSSTRING_H
#define VGL_MISUTILSSTRING_H

#include <windows.h>
#include <string>

// Drive and folder of a loaded module's file, with a trailing backslash (NULL: the
// program); empty when the name cannot be had.
std::string getModuleDirectory(HMODULE hModule);

#endif
