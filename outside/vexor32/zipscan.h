// Scans the members of zip archives with the signature matcher: stored and deflated members,
// nested archives up to a number of layers. Members are inflated piece by piece into the
// matcher; only a nested archive is held in memory, bounded by the extract limit, by the bytes
// it really inflates to and by a budget shared by all layers. No Windows calls.
#pragma once
#include "sigindex.h"

#include <string>
#include <vector>

namespace vex {

// Random access to an archive's bytes.
class RandomSource {
public:
    virtual ~RandomSource() {}
    virtual uint64_t size() const = 0;
    // Reads exactly n bytes at off; false when they cannot all be read.
    virtual bool readAt(uint64_t off, void* buf, size_t n) = 0;
};

class MemoryRandom : public RandomSource {
public:
    MemoryRandom(const void* data, size_t size) : m_p(static_cast<const unsigned char*>(data)), m_size(size) {}
    uint64_t size() const override { return m_size; }
    bool readAt(uint64_t off, void* buf, size_t n) override;

private:
    const unsigned char* m_p;
    size_t m_size;
};

struct ArchiveLimits {
    int layers = 0;              // archive layers opened (1: the members of the file itself)
    int maxFiles = 0;            // members examined per archive
    uint32_t maxExtract = 0;     // larger members (by their stated size) are not unpacked
    size_t heldBudget = 32u << 20;  // bytes of nested archives held in memory at once
    volatile long* stop = nullptr;  // non-zero: the walk ends at once
};

bool isZip(const unsigned char* p, size_t n);

// Scans the members of the archive (not its own bytes). Returns the entry found and appends
// the member names, innermost first, or -1. *tooDeep, when given, tells whether a member was an
// archive itself that lay beyond the layers opened (it was scanned as plain bytes). Returns -2
// when the limits' stop flag ended the walk.
int scanZip(RandomSource& src, const SigIndex& index, unsigned kinds, const ArchiveLimits& limits,
            std::vector<std::string>* layers, bool* tooDeep = nullptr);

}  // namespace vex
