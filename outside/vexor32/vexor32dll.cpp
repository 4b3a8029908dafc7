// VEXOR32.DLL: information about the engine's "VSBF" backup files. Only the header is read;
// no exception leaves an entry point (-5 instead).
#include "vxpformat.h"

#include <windows.h>
#include <string.h>

namespace {

const int PATH_UNITS = 1024;

struct BackupFileInfoA {
    char path[PATH_UNITS];
    char text[32];
    DWORD value4, wide, value6;
};

struct BackupFileInfoW {
    WCHAR path[PATH_UNITS];
    WCHAR text[32];
    DWORD value4, wide, value6;
};

int read(const char* path, vxp::BackupInfo* info, std::string* full) {
    if (!path || !*path) return -99;
    int rc = vxp::readBackup(path, info, nullptr);
    if (rc != 0) return rc == -1 ? -1 : (rc == -94 ? -94 : -5);
    *full = info->folder.empty() ? info->name : info->folder + "\\" + info->name;
    return 0;
}

int infoA(const char* backupPath, BackupFileInfoA* out) {
    if (!out) return -99;
    vxp::BackupInfo info;
    std::string full;
    int rc = read(backupPath, &info, &full);
    if (rc) return rc;
    if (full.size() + 1 > size_t(PATH_UNITS)) return -5;
    memset(out, 0, sizeof *out);
    strcpy(out->path, full.c_str());
    lstrcpynA(out->text, info.text.c_str(), sizeof out->text);
    out->value4 = info.value4;
    out->wide = info.wide;
    out->value6 = info.value6;
    return 0;
}

int infoW(const WCHAR* backupPath, BackupFileInfoW* out) {
    if (!out || !backupPath || !*backupPath) return -99;
    char narrow[MAX_PATH * 2];
    if (!WideCharToMultiByte(CP_ACP, 0, backupPath, -1, narrow, sizeof narrow, nullptr, nullptr)) return -99;
    vxp::BackupInfo info;
    std::string full;
    int rc = read(narrow, &info, &full);
    if (rc) return rc;
    memset(out, 0, sizeof *out);
    if (!MultiByteToWideChar(CP_ACP, 0, full.c_str(), -1, out->path, PATH_UNITS)) return -5;
    MultiByteToWideChar(CP_ACP, 0, info.text.c_str(), -1, out->text, 32);
    out->text[31] = 0;
    out->value4 = info.value4;
    out->wide = info.wide;
    out->value6 = info.value6;
    return 0;
}

}  // namespace

extern "C" int WINAPI VSGetBackupFileInfo(const char* backupPath, BackupFileInfoA* out) {
    try {
        return infoA(backupPath, out);
    } catch (...) {
        return -5;
    }
}

extern "C" int WINAPI VSGetBackupFileInfoW(const WCHAR* backupPath, BackupFileInfoW* out) {
    try {
        return infoW(backupPath, out);
    } catch (...) {
        return -5;
    }
}
