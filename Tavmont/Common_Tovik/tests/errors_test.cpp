// Error and exception texts.
#include <gtest/gtest.h>

#include "SystemError.h"

#include <string>

namespace
{
std::string SystemText(DWORD dwCode)
{
    CSystemError error(dwCode, "", 0);
    LPSTR pszText = error.GetSystemMessage();
    std::string strText = pszText != NULL ? pszText : "";
    if (pszText != NULL)
        LocalFree(pszText);
    return strText;
}
} // namespace

TEST(ErrorTypes, SystemErrorTexts)
{
    const std::string strNotFound = SystemText(ERROR_FILE_NOT_FOUND);
    ASSERT_FALSE(strNotFound.empty());
    EXPECT_EQ(std::string::npos, strNotFound.find_first_of("\r\n"));
    // 193's system text carries an insert "%1" that no argument fills.
    const std::string strBadExe = SystemText(ERROR_BAD_EXE_FORMAT);
    ASSERT_NE(std::string::npos, strBadExe.find("%1"));

    static const struct
    {
        DWORD dwCode;
        const char* pszFile;
        int nLine;
        const char* pszTail;   // after "(code) system text"
    } cases[] = {
        {ERROR_FILE_NOT_FOUND, "C:\\src\\Misutils.cpp", 35, ", C:\\src\\Misutils.cpp|35"},
        {ERROR_FILE_NOT_FOUND, "", 35, ""},
        {ERROR_FILE_NOT_FOUND, NULL, 35, ""},
        {ERROR_BAD_EXE_FORMAT, "a.cpp", 7, ", a.cpp|7"},
    };
    for (const auto& c : cases)
    {
        CSystemError error(c.dwCode, c.pszFile, c.nLine);
        std::string strExpected = "(" + std::to_string(c.dwCode) + ") " + SystemText(c.dwCode) +
                                  c.pszTail;
        EXPECT_EQ(strExpected, (LPCSTR)error.GetErrorMessage());
        EXPECT_EQ(strExpected, (LPCSTR)error.ToString());
    }

    // No system text: an empty text, nothing thrown.
    CSystemError unknown(0x2FFF0000, "x.cpp", 1);
    EXPECT_EQ(NULL, unknown.GetSystemMessage());
    EXPECT_TRUE(unknown.ToString().IsEmpty());
}

TEST(ErrorTypes, SystemErrorSurvivesThrowAndCopy)
{
    CSystemError copy(0, "", 0);
    int nLine = 0;
    try
    {
        nLine = __LINE__; THROW_SYSTEM_ERROR(ERROR_ACCESS_DENIED);
    }
    catch (CSystemError& e)
    {
        copy = e;
    }
    CSystemError second(copy);
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, second.GetErrorCode());
    EXPECT_EQ(__FILE__, second.GetSourceFile());
    EXPECT_EQ(nLine, second.GetSourceLine());
}

TEST(ErrorTypes, CommonExceptionTexts)
{
    const std::string strBase126 = "Error : 126, Description : " + SystemText(126);
    const std::string strPath = "Z:\\nowhere\\missing.dll";
    const std::string strFull = "CLibraryHandleException: " + strBase126 + ", Path = " + strPath;

    CCommonException* pException = new CLibraryHandleException(126, strPath.c_str());
    char szText[1024];
    UINT nHelp = 99;
    EXPECT_TRUE(pException->GetErrorMessage(szText, sizeof(szText), &nHelp));
    EXPECT_EQ(strFull, szText);
    EXPECT_EQ(0u, nHelp);
    EXPECT_EQ(126, pException->GetErrorCode());

    // Cut to the caller's buffer, the zero counted.
    char szShort[21];
    memset(szShort, 'x', sizeof(szShort));
    EXPECT_TRUE(pException->GetErrorMessage(szShort, 20, NULL));
    EXPECT_EQ(strFull.substr(0, 19), szShort);
    EXPECT_EQ('x', szShort[20]);
    pException->Delete();

    CCommonException common(ERROR_ACCESS_DENIED);
    EXPECT_TRUE(common.GetErrorMessage(szText, sizeof(szText), NULL));
    EXPECT_EQ("Error : 5, Description : " + SystemText(5), szText);
}

namespace
{
BOOL CALLBACK FindErrorBox(HWND hwnd, LPARAM lParam)
{
    char szCaption[32] = "";
    GetWindowTextA(hwnd, szCaption, sizeof(szCaption));
    if (strcmp(szCaption, "Error") != 0)
        return TRUE;
    *(HWND*)lParam = hwnd;
    return FALSE;
}

// Answers the message box captioned "Error" on the given thread with "No".
DWORD WINAPI AnswerErrorBox(LPVOID pvThreadId)
{
    DWORD dwThreadId = (DWORD)(DWORD_PTR)pvThreadId;   // a thread id carried as the parameter
    for (int i = 0; i < 200; ++i)
    {
        HWND hBox = NULL;
        EnumThreadWindows(dwThreadId, FindErrorBox, (LPARAM)&hBox);
        if (hBox != NULL)
        {
            PostMessageA(hBox, WM_COMMAND, IDNO, 0);
            return 1;
        }
        Sleep(50);
    }
    return 0;
}
} // namespace

TEST(ErrorTypes, ReportErrorReturnsTheButtonPressed)
{
    HANDLE hThread = CreateThread(NULL, 0, AnswerErrorBox, (LPVOID)(DWORD_PTR)GetCurrentThreadId(),
                                  0, NULL);
    CCommonException exception(ERROR_ACCESS_DENIED);
    EXPECT_EQ(IDNO, exception.ReportError(MB_YESNO | MB_ICONSTOP));
    WaitForSingleObject(hThread, 15000);
    DWORD dwFound = 0;
    GetExitCodeThread(hThread, &dwFound);
    CloseHandle(hThread);
    EXPECT_EQ(1u, dwFound);
}
