// Unzip.dll: a zip reader over zlib. Every call is written to the journal "Unzip.log"
// beside the library.
#include "unzip.h"

#include "journal.h"

#include <windows.h>
#include <zlib.h>

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

namespace
{
const DWORD SIG_LOCAL = 0x04034b50;
const DWORD SIG_CENTRAL = 0x02014b50;
const DWORD SIG_END = 0x06054b50;
const DWORD END_RECORD_SIZE = 22;
const DWORD CENTRAL_HEADER_SIZE = 46;
const DWORD LOCAL_HEADER_SIZE = 30;
const DWORD MAX_COMMENT = 0xFFFF;
const DWORD IO_CHUNK = 0x10000;

const WORD FLAG_ENCRYPTED = 0x0001;
const WORD METHOD_STORED = 0;
const WORD METHOD_DEFLATED = 8;

struct SEntry
{
    std::string strName;     // as stored, '/' separators
    WORD wFlags;
    WORD wMethod;
    WORD wTime;
    WORD wDate;
    DWORD dwCrc;
    DWORD dwCompressed;
    DWORD dwSize;
    DWORD dwLocalOffset;
};

struct SArchive
{
    HANDLE hFile;
    std::string strPath;
    DWORD dwDataEnd;         // start of the central directory
    std::vector<SEntry> entries;
};

CJournal g_journal("Unzip.log", NULL, CJournal::STAMP);

// ---------------------------------------------------------------- reading

WORD le16(const BYTE* p)
{
    return (WORD)(p[0] | (p[1] << 8));
}

DWORD le32(const BYTE* p)
{
    return (DWORD)p[0] | ((DWORD)p[1] << 8) | ((DWORD)p[2] << 16) | ((DWORD)p[3] << 24);
}

// Reads exactly cb bytes at the offset.
bool readAt(HANDLE hFile, DWORD dwOffset, void* pv, DWORD cb)
{
    if (SetFilePointer(hFile, (LONG)dwOffset, NULL, FILE_BEGIN) == INVALID_SET_FILE_POINTER &&
        GetLastError() != NO_ERROR)
        return false;
    DWORD cbRead = 0;
    return ReadFile(hFile, pv, cb, &cbRead, NULL) && cbRead == cb;
}

// Finds the end record and reads the central directory; false when the archive is not
// an intact zip archive (or needs the 64-bit extensions).
bool readDirectory(SArchive& archive, std::string& strWhy)
{
    DWORD dwHigh = 0;
    DWORD dwFileSize = GetFileSize(archive.hFile, &dwHigh);
    if (dwFileSize == INVALID_FILE_SIZE || dwHigh != 0 || dwFileSize < END_RECORD_SIZE)
    {
        strWhy = "too short";
        return false;
    }

    DWORD cbTail = dwFileSize < END_RECORD_SIZE + MAX_COMMENT ? dwFileSize : END_RECORD_SIZE + MAX_COMMENT;
    std::vector<BYTE> tail(cbTail);
    if (!readAt(archive.hFile, dwFileSize - cbTail, &tail[0], cbTail))
    {
        strWhy = "read error";
        return false;
    }
    // The last end record whose comment reaches exactly to the end of the file.
    long nEnd = -1;
    for (long i = (long)cbTail - (long)END_RECORD_SIZE; i >= 0; --i)
    {
        if (le32(&tail[i]) == SIG_END &&
            (DWORD)i + END_RECORD_SIZE + le16(&tail[i + 20]) == cbTail)
        {
            nEnd = i;
            break;
        }
    }
    if (nEnd < 0)
    {
        strWhy = "no end record";
        return false;
    }
    const BYTE* pEnd = &tail[nEnd];
    DWORD dwEndOffset = dwFileSize - cbTail + (DWORD)nEnd;
    WORD wDisk = le16(pEnd + 4), wDirDisk = le16(pEnd + 6);
    WORD wEntriesHere = le16(pEnd + 8), wEntries = le16(pEnd + 10);
    DWORD dwDirSize = le32(pEnd + 12), dwDirOffset = le32(pEnd + 16);
    if (wDisk != 0 || wDirDisk != 0 || wEntriesHere != wEntries)
    {
        strWhy = "multi-part archive";
        return false;
    }
    if (wEntries == 0xFFFF || dwDirSize == 0xFFFFFFFF || dwDirOffset == 0xFFFFFFFF)
    {
        strWhy = "64-bit archive";
        return false;
    }
    if (dwDirOffset > dwEndOffset || dwDirSize > dwEndOffset - dwDirOffset)
    {
        strWhy = "central directory out of range";
        return false;
    }

    std::vector<BYTE> dir(dwDirSize + 1);
    if (dwDirSize > 0 && !readAt(archive.hFile, dwDirOffset, &dir[0], dwDirSize))
    {
        strWhy = "read error";
        return false;
    }
    DWORD pos = 0;
    for (WORD n = 0; n < wEntries; ++n)
    {
        if (dwDirSize - pos < CENTRAL_HEADER_SIZE || le32(&dir[pos]) != SIG_CENTRAL)
        {
            strWhy = "bad central header";
            return false;
        }
        const BYTE* p = &dir[pos];
        SEntry entry;
        entry.wFlags = le16(p + 8);
        entry.wMethod = le16(p + 10);
        entry.wTime = le16(p + 12);
        entry.wDate = le16(p + 14);
        entry.dwCrc = le32(p + 16);
        entry.dwCompressed = le32(p + 20);
        entry.dwSize = le32(p + 24);
        DWORD cbName = le16(p + 28), cbExtra = le16(p + 30), cbComment = le16(p + 32);
        entry.dwLocalOffset = le32(p + 42);
        DWORD cbHeader = CENTRAL_HEADER_SIZE + cbName + cbExtra + cbComment;
        if (dwDirSize - pos < cbHeader)
        {
            strWhy = "central header out of range";
            return false;
        }
        entry.strName.assign((const char*)p + CENTRAL_HEADER_SIZE, cbName);
        if (entry.strName.find('\0') != std::string::npos)
        {
            strWhy = "zero byte in a name";
            return false;
        }
        if (entry.dwLocalOffset >= dwDirOffset)
        {
            strWhy = "entry out of range";
            return false;
        }
        archive.entries.push_back(entry);
        pos += cbHeader;
    }
    archive.dwDataEnd = dwDirOffset;
    return true;
}

// ---------------------------------------------------------------- names and folders

inline bool isSeparator(char ch)
{
    return ch == '/' || ch == '\\';
}

// The name's components; false when the name is absolute, has a drive or stream colon,
// or has a component of dots and blanks only other than ".".
bool splitSafeName(const std::string& strName, std::vector<std::string>& parts)
{
    if (strName.empty() || isSeparator(strName[0]))
        return false;
    std::string strPart;
    for (size_t i = 0; i <= strName.size(); ++i)
    {
        char ch = i < strName.size() ? strName[i] : '/';
        if (i + 1 < strName.size() && IsDBCSLeadByte((BYTE)ch))
        {
            strPart += ch;
            strPart += strName[++i];
            continue;
        }
        if (ch == ':')
            return false;
        if (!isSeparator(ch))
        {
            strPart += ch;
            continue;
        }
        if (!strPart.empty() && strPart != ".")
        {
            // ".." and its look-alikes that Windows trims to "..".
            if (strPart.find_first_not_of(". ") == std::string::npos)
                return false;
            parts.push_back(strPart);
        }
        strPart.clear();
    }
    return true;
}

bool isDirectoryEntry(const SEntry& entry)
{
    return !entry.strName.empty() && isSeparator(entry.strName[entry.strName.size() - 1]);
}

std::string fullPath(const std::string& strPath)
{
    char szFull[MAX_PATH];
    char* pszFilePart = NULL;
    DWORD cch = GetFullPathNameA(strPath.c_str(), MAX_PATH, szFull, &pszFilePart);
    if (cch == 0 || cch >= MAX_PATH)
        return std::string();
    return szFull;
}

// Creates every missing folder of the path.
bool createFolderChain(const std::string& strFolder)
{
    DWORD dwAttributes = GetFileAttributesA(strFolder.c_str());
    if (dwAttributes != INVALID_FILE_ATTRIBUTES)
        return (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    for (size_t i = 0; i < strFolder.size(); ++i)
    {
        if (IsDBCSLeadByte((BYTE)strFolder[i]))
        {
            ++i;
            continue;
        }
        if (isSeparator(strFolder[i]) && i > 0 && strFolder[i - 1] != ':' &&
            !isSeparator(strFolder[i - 1]))
            CreateDirectoryA(strFolder.substr(0, i).c_str(), NULL);
    }
    CreateDirectoryA(strFolder.c_str(), NULL);
    dwAttributes = GetFileAttributesA(strFolder.c_str());
    return dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// ---------------------------------------------------------------- entries

// Copies or inflates the entry's data into the open file; UNZ_EXTRACT_OK or a failure.
int writeEntryData(SArchive& archive, const SEntry& entry, DWORD dwDataOffset, HANDLE hOut)
{
    std::vector<BYTE> in(IO_CHUNK), out(IO_CHUNK);
    DWORD dwLeft = entry.dwCompressed;
    DWORD dwWritten = 0;
    uLong crc = crc32(0L, Z_NULL, 0);

    if (SetFilePointer(archive.hFile, (LONG)dwDataOffset, NULL, FILE_BEGIN) == INVALID_SET_FILE_POINTER &&
        GetLastError() != NO_ERROR)
        return UNZ_EXTRACT_DAMAGED;

    z_stream zs;
    memset(&zs, 0, sizeof(zs));
    bool fDeflated = entry.wMethod == METHOD_DEFLATED;
    if (fDeflated && inflateInit2(&zs, -MAX_WBITS) != Z_OK)
        return UNZ_EXTRACT_DAMAGED;

    int nResult = UNZ_EXTRACT_OK;
    bool fStreamEnd = !fDeflated;
    // Bytes after the end of a deflate stream are not read.
    while (fDeflated ? !fStreamEnd : dwLeft > 0)
    {
        DWORD cbChunk = dwLeft < IO_CHUNK ? dwLeft : IO_CHUNK;
        DWORD cbRead = 0;
        if (cbChunk > 0 && (!ReadFile(archive.hFile, &in[0], cbChunk, &cbRead, NULL) || cbRead != cbChunk))
        {
            nResult = UNZ_EXTRACT_DAMAGED;
            break;
        }
        dwLeft -= cbChunk;

        if (!fDeflated)
        {
            DWORD cbOut = 0;
            if (!WriteFile(hOut, &in[0], cbChunk, &cbOut, NULL) || cbOut != cbChunk)
            {
                nResult = UNZ_EXTRACT_WRITE;
                break;
            }
            crc = crc32(crc, &in[0], cbChunk);
            dwWritten += cbChunk;
            continue;
        }

        zs.next_in = &in[0];
        zs.avail_in = cbChunk;
        do
        {
            zs.next_out = &out[0];
            zs.avail_out = IO_CHUNK;
            int z = inflate(&zs, Z_NO_FLUSH);
            if (z == Z_BUF_ERROR && zs.avail_in == 0)
                break;                           // wants more input
            if (z != Z_OK && z != Z_STREAM_END)
            {
                nResult = UNZ_EXTRACT_DAMAGED;
                break;
            }
            DWORD cbProduced = IO_CHUNK - zs.avail_out;
            if (cbProduced > entry.dwSize - dwWritten)
            {
                nResult = UNZ_EXTRACT_DAMAGED;   // more data than the directory says
                break;
            }
            DWORD cbOut = 0;
            if (cbProduced > 0 &&
                (!WriteFile(hOut, &out[0], cbProduced, &cbOut, NULL) || cbOut != cbProduced))
            {
                nResult = UNZ_EXTRACT_WRITE;
                break;
            }
            crc = crc32(crc, &out[0], cbProduced);
            dwWritten += cbProduced;
            if (z == Z_STREAM_END)
            {
                fStreamEnd = true;
                break;
            }
            // A full output buffer may hold more; an empty input with no output is stuck.
            if (zs.avail_in == 0 && zs.avail_out != 0)
                break;
        } while (true);
        if (nResult != UNZ_EXTRACT_OK)
            break;
        if (dwLeft == 0 && !fStreamEnd)
        {
            nResult = UNZ_EXTRACT_DAMAGED;       // the data ends inside the stream
            break;
        }
    }
    if (fDeflated)
        inflateEnd(&zs);
    if (nResult == UNZ_EXTRACT_OK && (dwWritten != entry.dwSize || crc != entry.dwCrc))
        nResult = UNZ_EXTRACT_DAMAGED;
    return nResult;
}

// Puts the complete file strNew in the place of strTarget (a read-only target included).
// The old file is moved aside first and comes back when the new one cannot take its place.
bool replaceFile(const std::string& strNew, const std::string& strTarget)
{
    DWORD dwAttributes = GetFileAttributesA(strTarget.c_str());
    if (dwAttributes == INVALID_FILE_ATTRIBUTES)
        return MoveFileA(strNew.c_str(), strTarget.c_str()) != FALSE;
    if (dwAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return false;
    std::string strOld = strNew + ".old";
    DeleteFileA(strOld.c_str());
    SetFileAttributesA(strTarget.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!MoveFileA(strTarget.c_str(), strOld.c_str()))
    {
        SetFileAttributesA(strTarget.c_str(), dwAttributes);
        return false;
    }
    if (!MoveFileA(strNew.c_str(), strTarget.c_str()))
    {
        MoveFileA(strOld.c_str(), strTarget.c_str());
        SetFileAttributesA(strTarget.c_str(), dwAttributes);
        return false;
    }
    DeleteFileA(strOld.c_str());
    return true;
}

int extractEntry(SArchive& archive, const SEntry& entry, const std::string& strPath)
{
    if (isDirectoryEntry(entry))
        return createFolderChain(strPath) ? UNZ_EXTRACT_OK : UNZ_EXTRACT_WRITE;

    BYTE local[LOCAL_HEADER_SIZE];
    if (!readAt(archive.hFile, entry.dwLocalOffset, local, sizeof(local)) || le32(local) != SIG_LOCAL)
        return UNZ_EXTRACT_DAMAGED;
    ULONGLONG ullDataOffset = (ULONGLONG)entry.dwLocalOffset + LOCAL_HEADER_SIZE + le16(local + 26) +
                              le16(local + 28);
    if (ullDataOffset + entry.dwCompressed > archive.dwDataEnd)
        return UNZ_EXTRACT_DAMAGED;
    DWORD dwDataOffset = (DWORD)ullDataOffset;
    if (entry.wMethod == METHOD_STORED && entry.dwCompressed != entry.dwSize)
        return UNZ_EXTRACT_DAMAGED;

    size_t nSlash = strPath.find_last_of('\\');
    if (nSlash != std::string::npos && !createFolderChain(strPath.substr(0, nSlash)))
        return UNZ_EXTRACT_WRITE;

    // The entry goes to a temporary file beside its target and replaces the target only
    // when it is complete: a failed entry leaves a file of that name as it was.
    std::string strFolder = nSlash != std::string::npos ? strPath.substr(0, nSlash) : std::string(".");
    char szTemp[MAX_PATH];
    if (!GetTempFileNameA(strFolder.c_str(), "unz", 0, szTemp))
        return UNZ_EXTRACT_WRITE;
    HANDLE hOut = CreateFileA(szTemp, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hOut == INVALID_HANDLE_VALUE)
    {
        DeleteFileA(szTemp);
        return UNZ_EXTRACT_WRITE;
    }

    int nResult = writeEntryData(archive, entry, dwDataOffset, hOut);
    if (nResult == UNZ_EXTRACT_OK)
    {
        FILETIME ftLocal, ftWrite;
        if (DosDateTimeToFileTime(entry.wDate, entry.wTime, &ftLocal) &&
            LocalFileTimeToFileTime(&ftLocal, &ftWrite))
            SetFileTime(hOut, NULL, NULL, &ftWrite);
    }
    CloseHandle(hOut);
    if (nResult == UNZ_EXTRACT_OK && !replaceFile(szTemp, strPath))
        nResult = UNZ_EXTRACT_WRITE;
    if (nResult != UNZ_EXTRACT_OK)
        DeleteFileA(szTemp);
    return nResult;
}
} // namespace

// ---------------------------------------------------------------- exports

extern "C" void* __cdecl unzOpen(const char* pszZipFile)
{
    if (pszZipFile == NULL || *pszZipFile == '\0')
    {
        g_journal.Write("OPEN (none) failed: no file name");
        return NULL;
    }
    HANDLE hFile = CreateFileA(pszZipFile, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
    {
        g_journal.Write("OPEN %s failed: error %lu", pszZipFile, GetLastError());
        return NULL;
    }
    SArchive* pArchive = new SArchive;
    pArchive->hFile = hFile;
    pArchive->strPath = pszZipFile;
    pArchive->dwDataEnd = 0;
    std::string strWhy;
    if (!readDirectory(*pArchive, strWhy))
    {
        g_journal.Write("OPEN %s failed: %s", pszZipFile, strWhy.c_str());
        CloseHandle(hFile);
        delete pArchive;
        return NULL;
    }
    g_journal.Write("OPEN %s: %u entries", pszZipFile, (unsigned)pArchive->entries.size());
    return pArchive;
}

extern "C" int __cdecl do_extract(void* hZip, int nOption, const char* pszTarget, int nReserved,
                                  void* pvReserved)
{
    SArchive* pArchive = (SArchive*)hZip;
    if (pArchive == NULL || pszTarget == NULL || *pszTarget == '\0' || nOption != 0 ||
        nReserved != 0 || pvReserved != NULL)
    {
        g_journal.Write("EXTRACT failed: bad argument");
        return UNZ_EXTRACT_BADARG;
    }
    std::string strTarget = fullPath(pszTarget);
    while (strTarget.size() > 3 && isSeparator(strTarget[strTarget.size() - 1]))
        strTarget.erase(strTarget.size() - 1);
    if (strTarget.empty())
    {
        g_journal.Write("EXTRACT %s failed: bad target", pszTarget);
        return UNZ_EXTRACT_BADARG;
    }
    std::string strPrefix = strTarget;
    if (!isSeparator(strPrefix[strPrefix.size() - 1]))
        strPrefix += '\\';

    // Every name is checked before anything is written.
    std::vector<std::string> paths;
    for (size_t i = 0; i < pArchive->entries.size(); ++i)
    {
        const SEntry& entry = pArchive->entries[i];
        std::vector<std::string> parts;
        bool fSafe = splitSafeName(entry.strName, parts);
        std::string strPath = strPrefix;
        for (size_t n = 0; n < parts.size(); ++n)
            strPath += (n > 0 ? "\\" : "") + parts[n];
        if (fSafe && !parts.empty())
        {
            std::string strFull = fullPath(strPath);
            fSafe = strFull.size() > strPrefix.size() &&
                    CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, strFull.c_str(),
                                   (int)strPrefix.size(), strPrefix.c_str(),
                                   (int)strPrefix.size()) == CSTR_EQUAL;
            strPath = strFull;
        }
        else if (fSafe && !isDirectoryEntry(entry))
            fSafe = false;   // a file entry without a name
        if (!fSafe)
        {
            g_journal.Write("EXTRACT %s refused: entry \"%s\"", pArchive->strPath.c_str(), entry.strName.c_str());
            return UNZ_EXTRACT_REFUSED;
        }
        if ((entry.wFlags & FLAG_ENCRYPTED) ||
            (entry.wMethod != METHOD_STORED && entry.wMethod != METHOD_DEFLATED))
        {
            g_journal.Write("EXTRACT %s unsupported: entry \"%s\" method %u flags 0x%X",
                            pArchive->strPath.c_str(), entry.strName.c_str(), entry.wMethod, entry.wFlags);
            return UNZ_EXTRACT_UNSUPPORTED;
        }
        paths.push_back(parts.empty() ? strTarget : strPath);
    }

    if (!createFolderChain(strTarget))
    {
        g_journal.Write("EXTRACT %s failed: cannot create %s", pArchive->strPath.c_str(), strTarget.c_str());
        return UNZ_EXTRACT_WRITE;
    }
    for (size_t i = 0; i < pArchive->entries.size(); ++i)
    {
        int nResult = extractEntry(*pArchive, pArchive->entries[i], paths[i]);
        if (nResult != UNZ_EXTRACT_OK)
        {
            g_journal.Write("EXTRACT %s failed: entry \"%s\" result %d", pArchive->strPath.c_str(),
                            pArchive->entries[i].strName.c_str(), nResult);
            return nResult;
        }
    }
    g_journal.Write("EXTRACT %s -> %s: %u entries", pArchive->strPath.c_str(), strTarget.c_str(),
                    (unsigned)pArchive->entries.size());
    return UNZ_EXTRACT_OK;
}

extern "C" int __cdecl unzClose(void* hZip)
{
    SArchive* pArchive = (SArchive*)hZip;
    if (pArchive == NULL)
        return -1;
    g_journal.Write("CLOSE %s", pArchive->strPath.c_str());
    CloseHandle(pArchive->hFile);
    delete pArchive;
    return 0;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID)
{
    if (dwReason == DLL_PROCESS_ATTACH)
        DisableThreadLibraryCalls(hInstance);
    return TRUE;
}
