// The backup reader: header items and body of any bytes.
#include "vxpformat.h"

#include <stdint.h>
#include <stdlib.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vxp::MemorySource in(data, size), again(data, size);
    vxp::BackupInfo info, header;
    std::string body;
    int rc = vxp::parseBackup(in, &info, &body);
    // Reading the header alone agrees with reading it all.
    if (vxp::parseBackup(again, &header, nullptr) != rc) abort();
    if (rc == 0 && (header.folder != info.folder || header.name != info.name || body.size() > size)) abort();
    return 0;
}
