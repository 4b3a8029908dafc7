#include "Misutils.h"

#include "LogTracker.h"
#include "StringUtils.h"

#include <mbctype.h>
#include <mbstring.h>
#include <string.h>
#include <vector>

namespace
{
    const DWORD COPY_BLOCK_SIZE = 16383;
    const int REPLACE_TRIES = 5;
    const DWORD RETRY_DELAY_MS = 1000;
    const DWORD RESTART_SECTION_SIZE = 0x7000;
    const DWORD PROGRESS_PIECE_SIZE = 0x7FFF;

    // A lead byte starts a two-byte character only when a trail byte follows it.
    inline int charLength(LPCSTR p)
    {
        return (_ismbblead((unsigned char)p[0]) && p[1] != '\0') ? 2 : 1;
    }

    inline bool isSeparator(char ch)
    {
        return ch == '\\' || ch == '/';
    }

    // Drive ("C:"), folder (up to and with its last separator), name and extension (from
    // the last dot of the name on); any out pointer may be NULL.
    void splitPath(LPCSTR pszPath, CString* pDrive, CString* pDir, CString* pName, CString* pExt)
    {
        if (!pszPath)
            pszPath = "";
        LPCSTR p = pszPath;
        if (p[0] != '\0' && charLength(p) == 1 && p[1] == ':')
            p += 2;
        if (pDrive)
            *pDrive = CString(pszPath, (int)(p - pszPath));

        LPCSTR pDirEnd = p;   // one past the last separator
        LPCSTR pLastDot = NULL;
        for (LPCSTR q = p; *q; q += charLength(q))
        {
            if (isSeparator(*q))
            {
                pDirEnd = q + 1;
                pLastDot = NULL;
            }
            else if (*q == '.')
                pLastDot = q;
        }
        LPCSTR pEnd = pDirEnd + strlen(pDirEnd);
        if (!pLastDot)
            pLastDot = pEnd;
        if (pDir)
            *pDir = CString(p, (int)(pDirEnd - p));
        if (pName)
            *pName = CString(pDirEnd, (int)(pLastDot - pDirEnd));
        if (pExt)
            *pExt = CString(pLastDot, (int)(pEnd - pLastDot));
    }

    // The pieces of a folder text between separators, empty ones dropped.
    std::vector<CString> splitFolder(LPCSTR pszFolder)
    {
        std::vector<CString> arrPieces;
        LPCSTR pStart = pszFolder;
        LPCSTR q = pszFolder;
        for (;; q += charLength(q))
        {
            if (*q == '\0' || isSeparator(*q))
            {
                if (q > pStart)
                    arrPieces.push_back(CString(pStart, (int)(q - pStart)));
                if (*q == '\0')
                    break;
                pStart = q + 1;
            }
        }
        return arrPieces;
    }

    // The path without trailing separators and without its last component; empty when
    // nothing is left.
    CString stripLastComponent(LPCSTR pszPath)
    {
        CString strDrive, strDir, strName, strExt;
        CString strPath(pszPath);
        while (!strPath.IsEmpty())
        {
            LPCSTR pLast = findLastCharacter((LPCSTR)strPath);
            if (charLength(pLast) != 1 || !isSeparator(*pLast))
                break;
            strPath = strPath.Left((int)(pLast - (LPCSTR)strPath));
        }
        splitPath(strPath, &strDrive, &strDir, &strName, &strExt);
        return strDrive + strDir;
    }

    BOOL isDirectoryEntry(const WIN32_FIND_DATAA& fd)
    {
        return (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    }

    BOOL createOneLevel(LPCSTR pszTemplate, LPCSTR pszPath)
    {
        if (pszTemplate && *pszTemplate)
            return CreateDirectoryExA(pszTemplate, pszPath, NULL);
        return CreateDirectoryA(pszPath, NULL);
    }

    BOOL isWindowsNT()
    {
        OSVERSIONINFOA vi;
        vi.dwOSVersionInfoSize = sizeof(vi);
        return GetVersionExA(&vi) && vi.dwPlatformId == VER_PLATFORM_WIN32_NT;
    }

    // A new empty file with a unique name in the target's folder.
    BOOL makeTempBeside(LPCSTR pszTarget, char (&szTemp)[MAX_PATH])
    {
        CString strDrive, strDir;
        splitPath(pszTarget, &strDrive, &strDir, NULL, NULL);
        CString strFolder = strDrive + strDir;
        if (strFolder.IsEmpty())
            strFolder = ".";
        szTemp[0] = '\0';
        return GetTempFileNameA(strFolder, "vgl", 0, szTemp) != 0;
    }

    void discardFile(LPCSTR pszPath)
    {
        DWORD dwError = GetLastError();
        if (!DeleteFileA(pszPath))
        {
            SetFileAttributesA(pszPath, FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(pszPath);
        }
        SetLastError(dwError);
    }

    // Deletes pszPath; when that fails and a file is there (its attributes can be made
    // normal), nRetries tries, dwDelay ms apart. TRUE when no file is left in the way.
    BOOL deleteWithRetries(LPCSTR pszPath, int nRetries, DWORD dwDelay)
    {
        if (DeleteFileA(pszPath))
            return TRUE;
        if (!SetFileAttributesA(pszPath, FILE_ATTRIBUTE_NORMAL))
            return TRUE; // nothing to delete
        for (int i = 0; i < nRetries; ++i)
        {
            if (i)
                Sleep(dwDelay);
            if (DeleteFileA(pszPath))
                return TRUE;
        }
        return FALSE;
    }

    BOOL sameFile(LPCSTR pszFirst, LPCSTR pszSecond)
    {
        char szFirst[MAX_PATH], szSecond[MAX_PATH];
        LPSTR pPart;
        DWORD n1 = GetFullPathNameA(pszFirst, MAX_PATH, szFirst, &pPart);
        DWORD n2 = GetFullPathNameA(pszSecond, MAX_PATH, szSecond, &pPart);
        if (n1 == 0 || n1 >= MAX_PATH || n2 == 0 || n2 >= MAX_PATH)
            return lstrcmpiA(pszFirst, pszSecond) == 0;
        return lstrcmpiA(szFirst, szSecond) == 0;
    }

    CString moduleFileName(HMODULE hModule)
    {
        char szPath[MAX_PATH];
        DWORD n = GetModuleFileNameA(hModule, szPath, MAX_PATH);
        if (n == 0 || n >= MAX_PATH)
            return CString();
        return CString(szPath, (int)n);
    }
}

// ---------------------------------------------------------------------------
// Program and system folders

CString getModulePath()
{
    CString strDrive, strDir;
    splitPath(moduleFileName(NULL), &strDrive, &strDir, NULL, NULL);
    return strDrive + strDir;
}

CString getModuleBaseName()
{
    CString strName;
    splitPath(moduleFileName(NULL), NULL, NULL, &strName, NULL);
    return strName;
}

CString getModuleName()
{
    return getFileName(moduleFileName(NULL));
}

CString getFileName(LPCSTR pszPath)
{
    CString strName, strExt;
    splitPath(pszPath, NULL, NULL, &strName, &strExt);
    return strName + strExt;
}

CString makeAbsolutePath(LPCSTR pszPath)
{
    if (!pszPath)
        return CString();
    if (strlen(pszPath) < 2 || (pszPath[0] == '\\' && pszPath[1] == '\\')
        || strchr(pszPath, ':') != NULL)
        return CString(pszPath);
    return joinPath(getModulePath(), pszPath);
}

CString getWindowsDirectoryPath()
{
    char szPath[MAX_PATH];
    UINT n = GetWindowsDirectoryA(szPath, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return CString();
    return CString(szPath, (int)n);
}

CString getSystemDirectoryPath()
{
    return joinPath(getWindowsDirectoryPath(), isWindowsNT() ? "SYSTEM32" : "SYSTEM");
}

CString getTempDirectory()
{
    char szPath[MAX_PATH];
    DWORD n = GetTempPathA(MAX_PATH, szPath);
    if (n == 0 || n >= MAX_PATH)
        return CString();
    return CString(szPath, (int)n);
}

void getTempDirectory(CString& strOut)
{
    strOut = getTempDirectory();
}

CString getSuspectFolder()
{
    CString strFolder = joinPath(getModulePath(), "SUSPECT");
    if (!isDirectoryExist(strFolder))
        CreateDirectoryA(strFolder, NULL);
    return strFolder;
}

// ---------------------------------------------------------------------------
// Tests and status

BOOL isPathExist(LPCSTR pszPath)
{
    return pszPath && GetFileAttributesA(pszPath) != INVALID_FILE_ATTRIBUTES;
}

BOOL isFileExist(LPCSTR pszPath)
{
    return isPathExist(pszPath);
}

BOOL isDirectoryExist(LPCSTR pszPath)
{
    return isPathExist(pszPath);
}

BOOL getFileStatus(LPCSTR pszPath, CFileStatus& status)
{
    if (!pszPath)
        return FALSE;
    WIN32_FIND_DATAA fd;
    HANDLE hFind = FindFirstFileA(pszPath, &fd);
    if (hFind == INVALID_HANDLE_VALUE)
        return FALSE;
    FindClose(hFind);

    const FILETIME ftZero = {0, 0};
    const FILETIME& ftCreation = CompareFileTime(&fd.ftCreationTime, &ftZero) ? fd.ftCreationTime
                                                                                : fd.ftLastWriteTime;
    const FILETIME& ftAccess = CompareFileTime(&fd.ftLastAccessTime, &ftZero) ? fd.ftLastAccessTime
                                                                                 : fd.ftLastWriteTime;
    status.m_ctime = CTime(ftCreation);
    status.m_mtime = CTime(fd.ftLastWriteTime);
    status.m_atime = CTime(ftAccess);
    status.m_size = (LONG)fd.nFileSizeLow;
    status.m_attribute = (BYTE)(fd.dwFileAttributes & 0x7F);
    status.m_padding = 0;
    lstrcpynA(status.m_szFullName, pszPath, MAX_PATH);
    return TRUE;
}

BOOL getFileTimes(LPCSTR pszPath, FILETIME* pftCreation, FILETIME* pftLastAccess,
                  FILETIME* pftLastWrite)
{
    if (!pszPath)
        return FALSE;
    WIN32_FIND_DATAA fd;
    HANDLE hFind = FindFirstFileA(pszPath, &fd);
    if (hFind == INVALID_HANDLE_VALUE)
        return FALSE;
    FindClose(hFind);
    if (pftCreation)
        *pftCreation = fd.ftCreationTime;
    if (pftLastAccess)
        *pftLastAccess = fd.ftLastAccessTime;
    if (pftLastWrite)
        *pftLastWrite = fd.ftLastWriteTime;
    return TRUE;
}

BOOL isFileNewer(LPCSTR pszFirst, LPCSTR pszSecond)
{
    FILETIME ftFirst, ftSecond;
    if (!getFileTimes(pszFirst, NULL, NULL, &ftFirst) || !getFileTimes(pszSecond, NULL, NULL, &ftSecond))
        return FALSE;
    return CompareFileTime(&ftSecond, &ftFirst) > 0;
}

CString findLatestFile(LPCSTR pszFolder, LPCSTR pszSpec)
{
    CString strLatest;
    WIN32_FIND_DATAA fd;
    HANDLE hFind = FindFirstFileA(joinPath(pszFolder, pszSpec), &fd);
    if (hFind == INVALID_HANDLE_VALUE)
        return strLatest;
    FILETIME ftLatest = {0, 0};
    BOOL fFound = FALSE;
    do
    {
        if (isDirectoryEntry(fd))
            continue;
        if (!fFound || CompareFileTime(&fd.ftLastWriteTime, &ftLatest) > 0)
        {
            fFound = TRUE;
            ftLatest = fd.ftLastWriteTime;
            strLatest = fd.cFileName;
        }
    } while (FindNextFileA(hFind, &fd));
    FindClose(hFind);
    return strLatest;
}

BOOL deleteFileForce(LPCSTR pszPath)
{
    if (!pszPath)
        return FALSE;
    DWORD dwAttributes = GetFileAttributesA(pszPath);
    if (dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_READONLY))
    {
        if (!SetFileAttributesA(pszPath, dwAttributes & ~FILE_ATTRIBUTE_READONLY))
            return FALSE;
    }
    return DeleteFileA(pszPath);
}

// ---------------------------------------------------------------------------
// Walking

int collectFiles(CStringArray& arrOut, LPCSTR pszFolder, LPCSTR pszSpec, BOOL fRecurse)
{
    int nAdded = 0;
    WIN32_FIND_DATAA fd;
    HANDLE hFind;
    if (fRecurse)
    {
        hFind = FindFirstFileA(joinPath(pszFolder, "*.*"), &fd);
        if (hFind != INVALID_HANDLE_VALUE)
        {
            do
            {
                if (isDirectoryEntry(fd) && fd.cFileName[0] != '.')
                    nAdded += collectFiles(arrOut, joinPath(pszFolder, fd.cFileName), pszSpec, TRUE);
            } while (FindNextFileA(hFind, &fd));
            FindClose(hFind);
        }
    }
    hFind = FindFirstFileA(joinPath(pszFolder, pszSpec), &fd);
    if (hFind != INVALID_HANDLE_VALUE)
    {
        do
        {
            if (!isDirectoryEntry(fd))
            {
                arrOut.Add(joinPath(pszFolder, fd.cFileName));
                ++nAdded;
            }
        } while (FindNextFileA(hFind, &fd));
        FindClose(hFind);
    }
    return nAdded;
}

int collectFiles(CStringArray& arrOut, LPCSTR pszFolder, LPCSTR pszSpec, DWORD /*dwAttributes*/,
                 BOOL fRecurse, int /*nReserved*/, LPCSTR /*pszReserved*/)
{
    return collectFiles(arrOut, pszFolder, pszSpec, fRecurse);
}

long countFiles(LPCSTR pszFolder, LPCSTR pszSpec, int nIgnored, LONG* pCounter, BOOL fRecurse,
                const CString& strExtensionList)
{
    long nCount = 0;
    CString strSearch = joinPath(pszFolder, pszSpec);
    WIN32_FIND_DATAA fd;
    HANDLE hFind = FindFirstFileA(strSearch, &fd);
    if (hFind == INVALID_HANDLE_VALUE)
    {
        DWORD dwError = GetLastError();
        if (dwError == ERROR_INVALID_NAME)
            throw new CFileException(CFileException::badPath, (LONG)dwError, strSearch);
        return 0;
    }
    do
    {
        if (isDirectoryEntry(fd))
        {
            if (fRecurse && fd.cFileName[0] != '.')
                nCount += countFiles(joinPath(pszFolder, fd.cFileName), pszSpec, nIgnored, pCounter,
                                     TRUE, strExtensionList);
            continue;
        }
        CString strExt;
        splitPath(fd.cFileName, NULL, NULL, NULL, &strExt);
        if (strstr((LPCSTR)strExtensionList, (LPCSTR)strExt) == NULL)
        {
            ++nCount;
            if (pCounter)
                InterlockedIncrement(pCounter);
        }
    } while (FindNextFileA(hFind, &fd));
    FindClose(hFind);
    return nCount;
}

void deleteTree(LPCSTR pszFolder, PFN_DELETE_NOTIFY pfnNotify, LPVOID pvContext,
                BOOL fRemoveFolder, BOOL fRecurse, LPCSTR pszSpec)
{
    WIN32_FIND_DATAA fd;
    HANDLE hFind = FindFirstFileA(joinPath(pszFolder, pszSpec), &fd);
    if (hFind != INVALID_HANDLE_VALUE)
    {
        do
        {
            CString strPath = joinPath(pszFolder, fd.cFileName);
            if (fRecurse && isDirectoryEntry(fd) && fd.cFileName[0] != '\0' && fd.cFileName[0] != '.')
            {
                deleteTree(strPath, pfnNotify, pvContext, fRemoveFolder, fRecurse, pszSpec);
                continue;
            }
            // "." and ".." name this folder and its parent: their attributes stay.
            BOOL fDots = strcmp(fd.cFileName, ".") == 0 || strcmp(fd.cFileName, "..") == 0;
            if (!fDots && (fd.dwFileAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN
                                                  | FILE_ATTRIBUTE_SYSTEM)))
                SetFileAttributesA(strPath, FILE_ATTRIBUTE_NORMAL);
            BOOL fDeleted = DeleteFileA(strPath);
            if (pfnNotify)
                pfnNotify(strPath, fDeleted, pvContext);
        } while (FindNextFileA(hFind, &fd));
        FindClose(hFind);
    }
    if (fRemoveFolder)
        RemoveDirectoryA(pszFolder);
}

int collapseSubFolders(LPCSTR pszTarget, LPCSTR pszFolder, DWORD dwFlags)
{
    int nMoved = 0;
    BOOL fOtherFolder = CString(pszFolder).CompareNoCase(pszTarget) != 0;
    WIN32_FIND_DATAA fd;
    HANDLE hFind = FindFirstFileA(joinPath(pszFolder, "*.*"), &fd);
    if (hFind == INVALID_HANDLE_VALUE)
        return 0;
    do
    {
        if (isDirectoryEntry(fd))
        {
            if (fd.cFileName[0] != '.')
                nMoved += collapseSubFolders(pszTarget, joinPath(pszFolder, fd.cFileName),
                                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED);
        }
        else if (fOtherFolder)
        {
            if (moveFileEx(joinPath(pszFolder, fd.cFileName), joinPath(pszTarget, fd.cFileName), dwFlags))
                ++nMoved;
        }
    } while (FindNextFileA(hFind, &fd));
    FindClose(hFind);
    return nMoved;
}

// ---------------------------------------------------------------------------
// Copying and moving

BOOL replaceFileWithNew(LPCSTR pszNew, LPCSTR pszTarget)
{
    if (MoveFileExA(pszNew, pszTarget, MOVEFILE_REPLACE_EXISTING))
        return TRUE;
    if (GetLastError() != ERROR_CALL_NOT_IMPLEMENTED)
        return FALSE;
    DeleteFileA(pszTarget);
    return MoveFileA(pszNew, pszTarget);
}

BOOL moveFileEx(LPCSTR pszSource, LPCSTR pszTarget, DWORD /*dwFlags*/)
{
    if (!pszSource || !pszTarget)
        return FALSE;
    if (sameFile(pszSource, pszTarget))
    {
        SetLastError(ERROR_ALREADY_EXISTS);
        return FALSE;
    }

    // A source that cannot be read leaves the target alone.
    HANDLE hSource = CreateFileA(pszSource, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hSource == INVALID_HANDLE_VALUE)
    {
        VGLTRACE(12, "moveFileEx(%s, %s): source cannot be opened, error = %lu", pszSource, pszTarget,
                 GetLastError());
        return FALSE;
    }
    CloseHandle(hSource);

    char szTemp[MAX_PATH];
    if (!makeTempBeside(pszTarget, szTemp))
        return FALSE;
    BOOL fCopied = FALSE;
    for (int i = 0; i < REPLACE_TRIES && !fCopied; ++i)
    {
        if (i)
            Sleep(RETRY_DELAY_MS);
        fCopied = CopyFileA(pszSource, szTemp, FALSE);
    }
    if (!fCopied)
    {
        VGLTRACE(12, "moveFileEx(%s, %s): copy failed, error = %lu", pszSource, pszTarget, GetLastError());
        discardFile(szTemp);
        return FALSE;
    }
    if (!deleteWithRetries(pszTarget, REPLACE_TRIES, RETRY_DELAY_MS) || !MoveFileA(szTemp, pszTarget))
    {
        VGLTRACE(12, "moveFileEx(%s, %s): target cannot be replaced, error = %lu", pszSource, pszTarget,
                 GetLastError());
        discardFile(szTemp);
        return FALSE;
    }

    if (DeleteFileA(pszSource))
        return TRUE;
    if (!SetFileAttributesA(pszSource, FILE_ATTRIBUTE_NORMAL))
        return FALSE;
    return deleteWithRetries(pszSource, REPLACE_TRIES, RETRY_DELAY_MS) && !isPathExist(pszSource);
}

BOOL copyFileEx(LPCSTR pszSource, LPCSTR pszTarget)
{
    if (!pszSource || !pszTarget)
        return FALSE;
    HANDLE hSource = CreateFileA(pszSource, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, NULL);
    if (hSource == INVALID_HANDLE_VALUE)
        return FALSE;

    char szTemp[MAX_PATH];
    HANDLE hTemp = INVALID_HANDLE_VALUE;
    if (makeTempBeside(pszTarget, szTemp))
        hTemp = CreateFileA(szTemp, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hTemp == INVALID_HANDLE_VALUE)
    {
        DWORD dwError = GetLastError();
        if (szTemp[0])
            discardFile(szTemp);
        CloseHandle(hSource);
        SetLastError(dwError);
        return FALSE;
    }

    BOOL fResult = TRUE;
    std::vector<BYTE> buffer(COPY_BLOCK_SIZE);
    for (;;)
    {
        DWORD dwRead = 0;
        if (!ReadFile(hSource, &buffer[0], COPY_BLOCK_SIZE, &dwRead, NULL))
        {
            VGLTRACE(12, "copyFileEx(%s, %s): read failed, error = %lu", pszSource, pszTarget,
                     GetLastError());
            fResult = FALSE;
            break;
        }
        if (dwRead == 0)
            break;
        DWORD dwWritten = 0;
        if (!WriteFile(hTemp, &buffer[0], dwRead, &dwWritten, NULL) || dwWritten != dwRead)
        {
            VGLTRACE(12, "copyFileEx(%s, %s): write failed, error = %lu", pszSource, pszTarget,
                     GetLastError());
            fResult = FALSE;
            break;
        }
    }

    FILETIME ftCreation, ftAccess, ftWrite;
    BOOL fTimes = fResult && GetFileTime(hSource, &ftCreation, &ftAccess, &ftWrite);
    if (fTimes)
        SetFileTime(hTemp, &ftCreation, &ftAccess, &ftWrite);
    DWORD dwError = GetLastError();
    CloseHandle(hTemp);
    CloseHandle(hSource);
    if (!fResult)
    {
        discardFile(szTemp);
        SetLastError(dwError);
        return FALSE;
    }

    // Replace the target: made writable when it resists the first deletion.
    if (!DeleteFileA(pszTarget))
    {
        if (SetFileAttributesA(pszTarget, FILE_ATTRIBUTE_NORMAL))
        {
            if (!DeleteFileA(pszTarget))
            {
                dwError = GetLastError();
                discardFile(szTemp);
                SetLastError(dwError);
                return FALSE;
            }
        }
        else if (isPathExist(pszTarget))
        {
            // A target that can be neither deleted nor changed counts as copied when it
            // carries the source's last-write time.
            FILETIME ftTarget;
            BOOL fSame = fTimes && getFileTimes(pszTarget, NULL, NULL, &ftTarget)
                         && CompareFileTime(&ftTarget, &ftWrite) == 0;
            discardFile(szTemp);
            return fSame;
        }
    }
    if (!MoveFileA(szTemp, pszTarget))
    {
        dwError = GetLastError();
        discardFile(szTemp);
        SetLastError(dwError);
        return FALSE;
    }
    DWORD dwAttributes = GetFileAttributesA(pszSource);
    if (dwAttributes != INVALID_FILE_ATTRIBUTES)
        SetFileAttributesA(pszTarget, dwAttributes);
    return TRUE;
}

// ---------------------------------------------------------------------------
// Folders

BOOL createDirectory(LPCSTR pszPath, BOOL fPathIncludesFileName)
{
    if (!pszPath || !*pszPath)
        return FALSE;
    CString strPath(pszPath);
    if (fPathIncludesFileName)
    {
        CString strDrive, strDir;
        splitPath(pszPath, &strDrive, &strDir, NULL, NULL);
        strPath = strDrive + strDir;
        if (strPath.IsEmpty())
            return FALSE;
    }
    if (isPathExist(strPath))
        return TRUE;
    if (createOneLevel(stripLastComponent(strPath), strPath))
        return TRUE;

    CString strDrive, strDir;
    splitPath(strPath, &strDrive, &strDir, NULL, NULL);
    CString strLevel = strDrive;
    std::vector<CString> arrPieces = splitFolder(strDir);
    size_t nFirst = 0;
    if (strDrive.IsEmpty() && strDir.GetLength() >= 2 && isSeparator(strDir[0]) && isSeparator(strDir[1]))
    {
        // A network path starts from its server and share.
        if (arrPieces.size() < 2)
            return FALSE;
        strLevel = "\\\\" + arrPieces[0] + "\\" + arrPieces[1];
        nFirst = 2;
    }
    else if (!strDir.IsEmpty() && isSeparator(strDir[0]))
        strLevel += '\\';
    for (size_t i = nFirst; i < arrPieces.size(); ++i)
    {
        CString strParent = strLevel;
        strLevel = joinPath(strLevel, arrPieces[i]);
        if (isPathExist(strLevel))
            continue;
        if (!createOneLevel(strParent, strLevel))
            return FALSE;
    }
    return createOneLevel(strLevel, strPath) || isDirectoryExist(strPath);
}

CString getParentDirectory(LPCSTR pszPath)
{
    CString strDrive, strDir;
    splitPath(pszPath, &strDrive, &strDir, NULL, NULL);
    std::vector<CString> arrPieces = splitFolder(strDir);
    CString strParent = strDrive;
    for (size_t i = 0; i + 1 < arrPieces.size(); ++i)
        strParent = joinPath(strParent, arrPieces[i]);
    return strParent;
}

// ---------------------------------------------------------------------------
// Deletion at the next start of Windows

void deleteFilesAtRestart(const CStringArray& arrPaths)
{
    if (isWindowsNT())
    {
        for (int i = 0; i < arrPaths.GetSize(); ++i)
            MoveFileExA(arrPaths.GetAt(i), NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
        return;
    }

    CString strIni = joinPath(getWindowsDirectoryPath(), "wininit.ini");
    std::vector<char> section(RESTART_SECTION_SIZE, '\0');
    DWORD dwEnd = GetPrivateProfileSectionA("Rename", &section[0], RESTART_SECTION_SIZE, strIni);
    if (dwEnd >= RESTART_SECTION_SIZE - 1)
        dwEnd = RESTART_SECTION_SIZE - 2;

    for (int i = 0; i < arrPaths.GetSize(); ++i)
    {
        CString strPath = arrPaths.GetAt(i);
        LPCSTR pszPath = strPath;
        char szShort[MAX_PATH];
        DWORD n = GetShortPathNameA(pszPath, szShort, MAX_PATH);
        CString strLine;
        strLine.Format("NUL=%s", (n != 0 && n < MAX_PATH) ? szShort : pszPath);
        // The line, its zero and the list's closing zero must fit.
        DWORD cbLine = (DWORD)strLine.GetLength() + 1;
        if (dwEnd + cbLine + 1 > RESTART_SECTION_SIZE)
        {
            VGLTRACE(12, "deleteFilesAtRestart: no room for %s", pszPath);
            break;
        }
        memcpy(&section[dwEnd], (LPCSTR)strLine, cbLine);
        dwEnd += cbLine;
    }
    section[dwEnd] = '\0';
    WritePrivateProfileSectionA("Rename", &section[0], strIni);
}

// ---------------------------------------------------------------------------

BOOL writeFileWithProgress(CFile& file, const void* pData, DWORD dwLength, PFN_WRITE_PROGRESS pfnProgress)
{
    HANDLE hFile = file.m_hFile;
    const BYTE* p = (const BYTE*)pData;
    DWORD dwRemaining = dwLength;
    DWORD dwWritten = 0;
    int nLastPercent = 0;
    if (dwLength >= 0x8000)
    {
        DWORD dwPieces = (dwLength - 1) / PROGRESS_PIECE_SIZE;
        for (DWORD i = 0; i < dwPieces; ++i)
        {
            if (!WriteFile(hFile, p, PROGRESS_PIECE_SIZE, &dwWritten, NULL) || dwWritten != PROGRESS_PIECE_SIZE)
                return FALSE;
            p += PROGRESS_PIECE_SIZE;
            dwRemaining -= PROGRESS_PIECE_SIZE;
            if (pfnProgress)
            {
                nLastPercent = 100 - (int)((ULONGLONG)dwRemaining * 100 / dwLength);
                pfnProgress(nLastPercent, "Writing");
            }
        }
    }
    if (!WriteFile(hFile, p, dwRemaining, &dwWritten, NULL) || dwWritten != dwRemaining)
        return FALSE;
    if (pfnProgress && nLastPercent != 100)
        return pfnProgress(100, "Writing");
    return TRUE;
}
