// Entry points the driver uses in the engine module (vexor32.vxd).
#pragma once
#include <windows.h>

#define VEX_MAX_LAYERS 20

enum VexKind { VEX_FILE = 1, VEX_BOOT = 2, VEX_MACRO = 4, VEX_MEMORY = 8 };

struct VexLimits {
    int layers;              // compressed-file layers to open (0 = none)
    int maxFiles;            // members examined per archive
    unsigned maxExtract;     // largest member that is unpacked
};

struct VexFinding {
    int entry;                              // pattern entry index, -1 when clean
    char virus[20];
    int cleanable;
    int layerCount;                         // 0: the file itself; else members, innermost first
    char layers[VEX_MAX_LAYERS][260];
};

extern "C" {
// Loads the pattern ("expected" file name in the folder, or the newest); fills the path.
// Returns the init status: 0 ready, -1 damaged pattern, -2 no pattern, -3 foreign records,
// -4 refused block, -98 out of memory.
typedef int(__cdecl* VexLoadFn)(const char* folder, const char* expected, char* loadedPath);
typedef void(__cdecl* VexUnloadFn)(void);
typedef DWORD(__cdecl* VexVersionFn)(void);
// 1 infected (finding filled), 0 clean, negative: cannot read.
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
typedef int(__cdecl* VexEncodeFn)(const char* source, const char* dest);
typedef int(__cdecl* VexVirusCountFn)(void);
// Name and kind bits of entry i; returns the signature length, 0 past the end.
typedef int(__cdecl* VexEntryFn)(int index, char* name, unsigned* kinds, char* bytes, int size);
}
