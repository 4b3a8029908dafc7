#include <gtest/gtest.h>
#include "afx.h"
#include "afxinet.h"
#include <mbctype.h>

namespace
{
int g_nDestroyed = 0;

class CCountedException : public CException
{
public:
    ~CCountedException() override { g_nDestroyed++; }
};
}

TEST(CExceptionLife, HeapExceptionsDeleteThemselvesStaticOnesDoNot)
{
    g_nDestroyed = 0;
    try
    {
        throw new CCountedException;
    }
    catch (CException* e)
    {
        e->Delete();
    }
    EXPECT_EQ(1, g_nDestroyed);

    CCountedException onStack;
    onStack.m_bAutoDelete = FALSE;
    onStack.Delete();
    EXPECT_EQ(1, g_nDestroyed);

    // Out of memory throws one shared object that survives Delete().
    CException* pFirst = NULL;
    for (int i = 0; i < 2; i++)
    {
        try
        {
            AfxThrowMemoryException();
        }
        catch (CException* e)
        {
            EXPECT_TRUE(e->IsKindOf(RUNTIME_CLASS(CMemoryException)));
            if (pFirst == NULL)
                pFirst = e;
            EXPECT_EQ(pFirst, e);
            e->Delete();
        }
    }
    char sz[64];
    EXPECT_TRUE(pFirst->GetErrorMessage(sz, sizeof(sz)));
}

TEST(CExceptionText, FileAndArchiveMessages)
{
    char sz[128];
    UINT nHelp = 99;
    CException base;
    EXPECT_FALSE(base.GetErrorMessage(sz, sizeof(sz), &nHelp));
    EXPECT_STREQ("", sz);
    EXPECT_EQ(0u, nHelp);

    try
    {
        AfxThrowFileException(CFileException::fileNotFound, ERROR_FILE_NOT_FOUND, "C:\\x.txt");
    }
    catch (CException* e)
    {
        ASSERT_TRUE(e->IsKindOf(RUNTIME_CLASS(CFileException)));
        CFileException* pFile = (CFileException*)e;
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, pFile->m_lOsError);
        EXPECT_TRUE(e->GetErrorMessage(sz, sizeof(sz)));
        EXPECT_STREQ("C:\\x.txt was not found.", sz);
        // Cut to the buffer, terminator included.
        EXPECT_TRUE(e->GetErrorMessage(sz, 5));
        EXPECT_STREQ("C:\\x", sz);
        e->Delete();
    }
    CFileException unnamed(CFileException::accessDenied);
    unnamed.GetErrorMessage(sz, sizeof(sz));
    EXPECT_STREQ("Access to an unnamed file was denied.", sz);

    CArchiveException archive(CArchiveException::badSchema, "log.dat");
    EXPECT_TRUE(archive.GetErrorMessage(sz, sizeof(sz)));
    EXPECT_NE(nullptr, strstr(sz, "log.dat"));
}

TEST(CExceptionText, TruncationKeepsDoubleByteCharactersWhole)
{
    int nOld = _getmbcp();
    ASSERT_EQ(0, _setmbcp(932));
    CFileException e(CFileException::fileNotFound, 2, "\x83\x5C\x83\x5C");
    char sz[4];
    e.GetErrorMessage(sz, sizeof(sz));
    _setmbcp(nOld);
    EXPECT_STREQ("\x83\x5C", sz);
}

TEST(CFileExceptionMap, OsErrorsToCauses)
{
    struct
    {
        LONG lOsError;
        int cause;
    } cases[] = {
        { NO_ERROR, CFileException::none },
        { ERROR_FILE_NOT_FOUND, CFileException::fileNotFound },
        { ERROR_PATH_NOT_FOUND, CFileException::badPath },
        { ERROR_INVALID_NAME, CFileException::badPath },
        { ERROR_TOO_MANY_OPEN_FILES, CFileException::tooManyOpenFiles },
        { ERROR_ACCESS_DENIED, CFileException::accessDenied },
        { ERROR_WRITE_PROTECT, CFileException::accessDenied },
        { ERROR_INVALID_HANDLE, CFileException::fileNotFound },
        { ERROR_CURRENT_DIRECTORY, CFileException::removeCurrentDir },
        { ERROR_NEGATIVE_SEEK, CFileException::badSeek },
        { ERROR_CRC, CFileException::hardIO },
        { ERROR_SHARING_VIOLATION, CFileException::sharingViolation },
        { ERROR_LOCK_VIOLATION, CFileException::lockViolation },
        { ERROR_DISK_FULL, CFileException::diskFull },
        { ERROR_HANDLE_EOF, CFileException::endOfFile },
        { 12345, CFileException::generic },
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.cause, CFileException::OsErrorToException(c.lOsError)) << c.lOsError;
}

TEST(CInternetExceptionThrow, CarriesErrorAndContext)
{
    // A context is pointer-sized (it often is the address of the caller's object).
    const DWORD_PTR kContext = sizeof(DWORD_PTR) > 4 ? (DWORD_PTR)0x1234567890ull : 42;
    try
    {
        AfxThrowInternetException(kContext, ERROR_INTERNET_TIMEOUT);
    }
    catch (CException* e)
    {
        ASSERT_TRUE(e->IsKindOf(RUNTIME_CLASS(CInternetException)));
        EXPECT_EQ((DWORD)ERROR_INTERNET_TIMEOUT, ((CInternetException*)e)->m_dwError);
        EXPECT_EQ(kContext, ((CInternetException*)e)->m_dwContext);
        e->Delete();
    }
    SetLastError(ERROR_INTERNET_NAME_NOT_RESOLVED);
    try
    {
        AfxThrowInternetException(0);
    }
    catch (CInternetException* e)
    {
        EXPECT_EQ((DWORD)ERROR_INTERNET_NAME_NOT_RESOLVED, e->m_dwError);
        e->Delete();
    }
}
