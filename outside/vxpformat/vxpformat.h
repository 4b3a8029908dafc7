// Pattern files ("VXP$SIG.nnn") and "VSBF" backup files: writing, reading, verifying.
#pragma once
#include <stdint.h>
#include <string>
#include <vector>

namespace vxp {

enum Kind { KIND_FILE = 1, KIND_BOOT = 2, KIND_MACRO = 4, KIND_MEMORY = 8 };

const uint32_t TAG_INFO = 0x1ABDD11A;       // information block
const uint32_t TAG_SIGNATURES = 0x1ABDC51A; // signature entries
const int NAME_MAX_LEN = 16;                // fits a 29-byte name-list record
const int ENTRY_SIZE = 128;                 // one signature entry on disk
const int BYTES_MAX = ENTRY_SIZE - 20;      // signature bytes per entry
const int ENTRIES_PER_BLOCK = 4096;

struct Entry {
    std::string name;               // at most NAME_MAX_LEN characters
    unsigned kinds = KIND_FILE;     // Kind bits
    bool cleanable = false;
    std::string bytes;              // signature bytes, 1..BYTES_MAX
};

struct Pattern {
    int number = 0;
    uint32_t version = 0;
    std::vector<Entry> entries;
};

// The default signature set: the antivirus test file (not cleanable), a cleanable test
// signature, a boot and a memory signature, in this order.
std::vector<Entry> defaultEntries();

// Standard reflected CRC-32 step, no initial or final inversion.
uint32_t crc32(uint32_t crc, const void* data, size_t len);

// "001".."Z99" <-> 1..3599; -1 on a malformed text or number.
int numberToExtension(int number, char ext[4]);
int extensionToNumber(const char* ext);
int numberOfFile(const char* path);  // number of the extension after the last '.'

// Writes a pattern file; 0 or a negative code (-94 open, -96 write, -99 bad entry).
int writePattern(const char* path, const Pattern& pattern);

// Verifies every block and reads the entries. Returns the pattern number or a negative code
// (-1 checksum, -3 foreign number, -4 refused block, -94 open, -96 read, -99 empty block).
int readPattern(const char* path, Pattern* pattern);

// Newest pattern file "VXP$SIG.*" of a folder by (version, number); -2 when none.
int findNewestPattern(const char* folder, std::string* path);

// VSBF backups: every header byte complemented; the body is the file's bytes complemented.
struct BackupInfo {
    std::string folder, name, text;  // items 1, 2, 3
    uint32_t value4 = 0, wide = 0, value6 = 0;
};
std::string backupHeader(const BackupInfo& info);
// Writes header + complemented body; 0 or a negative code.
int writeBackup(const char* dest, const BackupInfo& info, const std::string& body);
// Reads the header items; 0, -1 bad magic, -5 unreadable, -94 open.
int readBackup(const char* path, BackupInfo* info, std::string* body);

}  // namespace vxp
