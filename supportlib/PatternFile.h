// Virus pattern files "VXP$SIG.nnn": naming, integrity check, newest-file
// search, listing, clean-up and the internal version.
//
// A file is a sequence of blocks, each after a 14-byte record header
// (little-endian): tag (4), entry count (2, signed), CRC-32 of the block (4),
// pattern number (2, signed), entry size (2, signed). The block is
// count x size bytes. The extension encodes the pattern number: hundreds as
// '0'-'9', 'A'-'Z' (0-35), then two decimal digits; 1 ("001") to 3599 ("Z99").
//
// Results: 0 or positive for success, a PATTERN_ERR_* code otherwise.
#ifndef VGL_PATTERNFILE_H
#define VGL_PATTERNFILE_H

#include <windows.h>

#define PATTERN_BASE_NAME "VXP$SIG"
#define PATTERN_NUMBER_MAX 3599

enum {
    PATTERN_ERR_INVALID = -1,       // bad magic or extension, checksum mismatch, damaged record
    PATTERN_ERR_NOT_FOUND = -2,     // no file; for readPatternVersion a version of another number
    PATTERN_ERR_NUMBER = -3,        // record of another pattern number; item past its block
    PATTERN_ERR_REFUSED = -4,       // block kind the check refuses; end of items
    PATTERN_ERR_REMOVE = -5,        // file cannot be removed; unreadable backup header
    PATTERN_ERR_SMALL_BUFFER = -85,
    PATTERN_ERR_OPEN = -94,
    PATTERN_ERR_READ = -96,         // read or seek error, file ends inside a record
    PATTERN_ERR_MEMORY = -98,
    PATTERN_ERR_ARGUMENT = -99
};

// Record tags of note.
#define PATTERN_TAG_INFO 0x1ABDD11AUL

// One pattern file of a search or a list.
struct PatternFileInfo
{
    short nPatternNumber;
    char szFileName[18];        // no folder
    int nCheckResult;           // 0, or in a checked list the failing check result
};

// Number -> three-character extension ("001".."Z99"); pszBuf gets 4 bytes.
int patternNumberToExtension(int nNumber, char* pszBuf, int cbBuf);
// Three-character extension -> number; -1 when malformed, -99 for NULL.
int patternExtensionToNumber(const char* pszExt);
// Number of the extension after the last '.' of a file name; -1 without one.
int patternNumberOfFile(const char* pszFileName);

// Standard reflected CRC-32 step (polynomial 0xEDB88320), no inversions.
DWORD patternCrc32(DWORD dwCrc, const void* pData, UINT cbData);

// Checks every block; the pattern number when all check out.
int VSCheckPatternFile(const char* pszPath);

// Internal version of the information block. 0; -1 without one (the version
// is then number x 100); -2 when it belongs to another number.
int readPatternVersion(const char* pszPath, DWORD* pdwVersion, int* pnNumber);

// +1 / -1 / 0: by version, for two zero versions by number.
int comparePatternVersions(int nNumber1, DWORD dwVersion1, int nNumber2, DWORD dwVersion2);

// A candidate of the newest-first array.
struct PatternCandidate
{
    int nNumber;
    DWORD dwVersion;
    char szFileName[18];
};

// Inserts before the first older entry; a full array drops its oldest, and a
// file older than all of a full array is not inserted. The new count.
int insertPatternCandidate(PatternCandidate* pArray, int nCount, int nCapacity,
                           const PatternCandidate& candidate);

// Newest usable pattern of a folder (prefix NULL: "VXP$SIG.*"); fCheck skips
// files that fail VSCheckPatternFile. 0, or -2 when there is none.
int VSGetLastPattern(const char* pszFolder, const char* pszPrefix, PatternFileInfo* pInfo,
                     BOOL fCheck);

// Pattern files newest first into pList (capacity *pnCount). With *pnCount 0
// only counts them and returns the count.
int VSGetPatternList(const char* pszFolder, const char* pszPrefix, PatternFileInfo* pList,
                     int* pnCount, BOOL fCheck);

// Keeps the nKeep newest intact pattern files and removes every other.
int VSDeleteUnusedPattern(const char* pszFolder, const char* pszPrefix, int nKeep);

// Version and number of the newest intact pattern of the program folder.
BOOL GetPatternVersion(DWORD* pdwVersion, int* pnNumber);

// " 1.578.00" for numbers of 1000 or more (TRUE), else "%d" (FALSE).
// pszOut holds 16 bytes.
BOOL formatPatternVersion(int nNumber, char* pszOut);

#endif
