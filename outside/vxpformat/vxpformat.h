// Pattern files ("VXP$SIG.nnn") and "VSBF" backup files: writing, reading, verifying.
// The readers (vxpcore.cpp) use no Windows calls, so they also build natively for fuzzing.
#pragma once
#include <stdint.h>
#include <stdio.h>
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

// A byte stream the readers take their input from. Readers never allocate more than the
// bytes that are left, so a damaged length cannot ask for more memory than the file holds.
class Source {
public:
    virtual ~Source() {}
    // Reads up to n bytes; returns the number read (fewer only at the end or on an error).
    virtual size_t read(void* buf, size_t n) = 0;
    virtual uint64_t remaining() const = 0;
};

class MemorySource : public Source {
public:
    MemorySource(const void* data, size_t size) : m_p(static_cast<const unsigned char*>(data)), m_left(size) {}
    size_t read(void* buf, size_t n) override;
    uint64_t remaining() const override { return m_left; }

private:
    const unsigned char* m_p;
    size_t m_left;
};

class FileSource : public Source {
public:
    FileSource() {}
    ~FileSource() override { close(); }
    bool open(const char* path);
    void close();
    size_t read(void* buf, size_t n) override;
    uint64_t remaining() const override { return m_left; }

private:
    FILE* m_f = nullptr;
    uint64_t m_left = 0;
};

// Receives the entries of a pattern file as their blocks are verified.
class PatternSink {
public:
    virtual ~PatternSink() {}
    // Called once per signature block before its entries.
    virtual void reserve(size_t more) {}
    virtual void entry(const char* name, size_t nameLen, unsigned kinds, bool cleanable,
                       const unsigned char* bytes, size_t len) = 0;
};

// Writes a pattern file; 0 or a negative code (-94 open, -96 write, -99 bad entry).
int writePattern(const char* path, const Pattern& pattern);

// Verifies every block and reads the entries. Returns the pattern number or a negative code
// (-1 checksum, -3 foreign number, -4 refused block, -94 open, -96 read, -99 empty block).
int readPattern(const char* path, Pattern* pattern);
// The same over any source, with the number the file name carries; entries go to the sink
// (may be NULL) and the version (or number * 100 without one) to *version.
int parsePattern(Source& in, int expected, PatternSink* sink, uint32_t* version);

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
// Reads the header items; 0, -1 bad magic, -5 unreadable, -94 open. The body is read only
// when asked for.
int readBackup(const char* path, BackupInfo* info, std::string* body);
int parseBackup(Source& in, BackupInfo* info, std::string* body);

}  // namespace vxp
