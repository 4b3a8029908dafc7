// Cleans the members of a zip archive: the cleanable signatures in its members (and in the
// members of archives within them, up to the layers opened) are zeroed and the archive is
// written anew, each changed member packed as it was (stored or deflated) with its new size and
// checksum. No Windows calls.
#pragma once
#include "sigindex.h"
#include "zipscan.h"

#include <string>

namespace vex {

enum ZipCleanResult {
    ZIP_CLEANED = 1,      // signatures were found and every one was cleaned: *out holds the archive
    ZIP_NOTHING = 0,      // no signature in the members examined
    ZIP_NOT_CLEANABLE = -1,  // a signature that cannot be cleaned, an encrypted or unreadable member
    ZIP_DAMAGED = -2      // not an archive this cleaner can rewrite
};

// The archive's whole bytes in, the cleaned archive out.
int cleanZip(const std::string& archive, const SigIndex& index, const SigSet& set, unsigned kinds,
             const ArchiveLimits& limits, std::string* out);

}  // namespace vex
