// The pattern and backup functions that need Windows: folder search and backup writing.
#include "vxpformat.h"

#include <windows.h>
#include <string.h>

namespace vxp {

namespace {

uint32_t get32(const unsigned char* p) { return uint32_t(p[0] | (p[1] << 8) | (p[2] << 16)) | (uint32_t(p[3]) << 24); }

}  // namespace

int findNewestPattern(const char* folder, std::string* path) {
    std::string dir(folder ? folder : "");
    if (!dir.empty() && dir.back() != '\\') dir += '\\';
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "VXP$SIG.*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return -2;
    int bestNumber = -1;
    uint32_t bestVersion = 0;
    do {
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        if (strlen(fd.cFileName) > 12) continue;
        int number = numberOfFile(fd.cFileName);
        if (number < 1) continue;
        // The version is read without verifying the file: a damaged newest file must be seen.
        uint32_t version = uint32_t(number) * 100;
        FILE* f = fopen((dir + fd.cFileName).c_str(), "rb");
        if (f) {
            unsigned char head[14 + 12];
            if (fread(head, 1, sizeof head, f) == sizeof head && get32(head) == TAG_INFO &&
                get32(head + 14) == 1)
                version = get32(head + 22);
            fclose(f);
        }
        bool newer = version > bestVersion || (version == bestVersion && number > bestNumber);
        if (newer) {
            bestNumber = number;
            bestVersion = version;
            if (path) *path = dir + fd.cFileName;
        }
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    return bestNumber > 0 ? bestNumber : -2;
}

int writeBackup(const char* dest, const BackupInfo& info, const std::string& body) {
    std::string out = backupHeader(info);
    size_t at = out.size();
    out += body;
    for (size_t i = at; i < out.size(); ++i) out[i] = char(~out[i]);
    HANDLE h = CreateFileA(dest, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return -94;
    DWORD written = 0;
    BOOL ok = WriteFile(h, out.data(), DWORD(out.size()), &written, nullptr) && written == out.size();
    CloseHandle(h);
    if (!ok) DeleteFileA(dest);
    return ok ? 0 : -96;
}

}  // namespace vxp
