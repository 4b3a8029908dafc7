// Entry points the driver uses in the engine module (vexor32.vxd).
#pragma once
#include <windows.h>

#define VEX_MAX_LAYERS 20

enum VexKind { VEX_FILE = 1, VEX_BOOT = 2, VEX_MACRO = 4, VEX_MEMORY = 8 };

// The archive limits of a channel whose caller sets none.
#define VEX_DEFAULT_MAX_FILES 100
#define VEX_DEFAULT_MAX_EXTRACT (2u * 1048576u)

struct VexLimits {
    int layers;              // compressed-file layers to open (0 = none)
    int maxFiles;            // members examined per archive
    unsigned maxExtract;     // largest member that is unpacked
    volatile long* stop;     // when given and non-zero, the scan ends at once (NULL: never)
};

struct VexFinding {
    int entry;                              // pattern entry index, -1 when clean
    char virus[20];
    int cleanable;
    int layerCount;                         // 0: the file itself; else members, innermost first
    char layers[VEX_MAX_LAYERS][260];
    int nestedTooDeep;                      // nothing found, but an archive lay beyond the layers opened
};

extern "C" {
// Loads the pattern ("expected" file name in the folder, or the newest); fills the path.
// Returns the init status: 0 ready, -1 damaged pattern, -2 no pattern, -3 foreign records,
// -4 refused block, -98 out of memory. The loaded pattern stays in use until the new one is
// ready; a pattern that does not load leaves none loaded. No entry point throws.
typedef int(__cdecl* VexLoadFn)(const char* folder, const char* expected, char* loadedPath);
typedef void(__cdecl* VexUnloadFn)(void);
typedef DWORD(__cdecl* VexVersionFn)(void);
// 1 infected (finding filled), 0 clean, negative: cannot scan (-1 no pattern, -2 cannot
// open, -3 out of memory, -4 stopped through the limits' stop flag). Scans of several threads may run at once.
typedef int(__cdecl* VexScanFileFn)(const char* path, const VexLimits* limits, VexFinding* finding);
// Scans a sector or memory image with the entries of the given kinds.
typedef int(__cdecl* VexScanImageFn)(const void* data, int size, unsigned kinds, VexFinding* finding);
// Zeroes the cleanable signatures of the given kinds; returns the number removed, -1 when an
// entry that cannot be cleaned is present.
typedef int(__cdecl* VexCleanImageFn)(void* data, int size, unsigned kinds);
// Actions. Each returns 1 on success, 0 on failure; newPath (260 bytes) may be NULL.
typedef int(__cdecl* VexRenameFn)(const char* path, const char* ext, char* newPath);
typedef int(__cdecl* VexMoveFn)(const char* path, const char* folder, char* newPath);
typedef int(__cdecl* VexCleanFn)(const char* path, const VexLimits* limits, const char* backupFolder,
                                 int backup, char* backupPath);
typedef int(__cdecl* VexDeleteFn)(const char* path);
// Cleans the members of an archive (the cleanable signatures in them, nested archives within
// the layers) and writes the archive anew; 1 when it was infected and is clean now.
typedef int(__cdecl* VexCleanArchiveFn)(const char* path, const VexLimits* limits, const char* backupFolder,
                                        int backup, char* backupPath);
typedef int(__cdecl* VexEncodeFn)(const char* source, const char* dest);
typedef int(__cdecl* VexVirusCountFn)(void);
// Name and kind bits of entry i; returns the signature length, 0 past the end.
typedef int(__cdecl* VexEntryFn)(int index, char* name, unsigned* kinds, char* bytes, int size);
}
