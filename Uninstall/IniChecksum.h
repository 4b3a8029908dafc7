// The checksum that guards the lines of an INI section (the outbreak-prevention policy file):
// a 16-bit sum of every character of every line but the checksum line, scrambled and written
// as the checksum key's value.
#ifndef VGL_INICHECKSUM_H
#define VGL_INICHECKSUM_H

#include <windows.h>

enum
{
    INI_CHECKSUM_WRITTEN = 1,
    INI_CHECKSUM_E_EMPTY = -1001,       // the section is missing or empty
    INI_CHECKSUM_E_TOO_LARGE = -1002,   // the section does not fit 30718 characters
    INI_CHECKSUM_E_WRITE = -1003        // the value could not be written
};

// Adds every character of the text, as a signed 8-bit value, to the accumulator (modulo 65536).
void addStringToChecksum(LPCSTR pszText, WORD& wAccumulator);
// The checksum of the lines of a section as GetPrivateProfileSection returns them (each
// zero-terminated, the list ended by an empty line); lines that begin with the key name
// (compared with regard to case) are left out.
WORD computeIniSectionChecksum(LPCSTR pszLines, LPCSTR pszChecksumKey);
// Computes the section's checksum and writes it, "%04d", as the checksum key's value.
int writeIniSectionChecksum(LPCSTR pszIniFile, LPCSTR pszSection, LPCSTR pszChecksumKey);

#endif
