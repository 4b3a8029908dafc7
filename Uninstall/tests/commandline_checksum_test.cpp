// The switches and what is passed on to the temporary copy, and the policy section's checksum.
#include "IniChecksum.h"
#include "UninstallApp.h"
#include "VglTestSupport.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <string>
#include <vector>

namespace
{
// Parses as the application does: a leading '/' or '-' marks a switch.
void Parse(CAppCommandLineInfo& info, const std::vector<const char*>& args)
{
    for (size_t i = 0; i < args.size(); ++i)
    {
        const char* psz = args[i];
        BOOL fFlag = psz[0] == '/' || psz[0] == '-';
        info.ParseParam(fFlag ? psz + 1 : psz, fFlag, i + 1 == args.size());
    }
}

struct SwitchCase
{
    std::vector<const char*> args;
    BOOL fNoAskPassword, fSilent, fCalledByItself;
    const char* pszPassedOn;
};

const SwitchCase g_switchCases[] = {
    {{}, FALSE, FALSE, FALSE, ""},
    {{"/silent"}, FALSE, TRUE, FALSE, "\"/Silent\""},
    {{"-SILENT"}, FALSE, TRUE, FALSE, "\"/Silent\""},
    {{"/Silent"}, FALSE, TRUE, FALSE, "\"/Silent\""},
    {{"/noaskpassword"}, TRUE, FALSE, FALSE, "\"/NoAskPassword\""},
    {{"/Silent", "-NoAskPassword", "/VIGILON"}, TRUE, TRUE, TRUE, "\"/NoAskPassword\" \"/Silent\""},
    {{"/vigilon"}, FALSE, FALSE, TRUE, ""},
    // Not switches: a plain word, a switch with more after its name, an unknown switch.
    {{"Silent", "/SilentX", "/Quiet"}, FALSE, FALSE, FALSE, ""},
};

std::string ChecksumOf(const std::string& strSection)
{
    std::string strIni = ScratchFile("checksum.ini");
    WriteWholeFile(strIni, strSection);
    EXPECT_EQ(INI_CHECKSUM_WRITTEN, writeIniSectionChecksum(strIni.c_str(), "SLF_PRODUCT_VIGILON_CE", "CheckSum"));
    return ReadIni(strIni, "SLF_PRODUCT_VIGILON_CE", "CheckSum");
}
}

TEST(CommandLineTest, SwitchesInAnyCaseAndWhatTheCopyIsGiven)
{
    for (const SwitchCase& c : g_switchCases)
    {
        CAppCommandLineInfo info;
        Parse(info, c.args);
        std::string strArgs;
        for (const char* psz : c.args)
            strArgs += std::string(psz) + " ";
        EXPECT_EQ(c.fNoAskPassword, info.m_bNoAskPassword) << strArgs;
        EXPECT_EQ(c.fSilent, info.m_bSilent) << strArgs;
        EXPECT_EQ(c.fCalledByItself, info.m_bCalledByItself) << strArgs;
        EXPECT_STREQ(c.pszPassedOn, (LPCSTR)info.GetSwitchText()) << strArgs;
    }
}

TEST(CommandLineTest, TheCopyTakesItselfItsLanguageAndTheLibrariesItLinks)
{
    CStringArray arrNames;
    SUninstallCopyFiles::Get(arrNames);
    std::vector<std::string> names;
    for (int i = 0; i < arrNames.GetSize(); ++i)
        names.push_back((LPCSTR)arrNames[i]);
    EXPECT_EQ((std::vector<std::string>{"Uninstall_tests.exe", "Uninstall_tests.dll", "c4dll.dll", "LedraCfg.dll",
                                        "LedraDat.dll", "LedraLog.dll", "msvcrt.dll", "msvcirt.dll", "kvdbg20.dll",
                                        "wininet.dll", "ZaVuz.dll"}),
              names);
}

TEST(ChecksumTest, WorkedExamples)
{
    // Only the checksum line: the sum is 0.
    EXPECT_EQ("26162", ChecksumOf("[SLF_PRODUCT_VIGILON_CE]\r\nCheckSum=1\r\n"));
    // a, b, c, = and 1 sum to 0x194.
    EXPECT_EQ("35114", ChecksumOf("[SLF_PRODUCT_VIGILON_CE]\r\nCheckSum=1\r\nabc=1\r\n"));
    // A missing checksum key is added.
    EXPECT_EQ("35114", ChecksumOf("[SLF_PRODUCT_VIGILON_CE]\r\nabc=1\r\n"));
}

TEST(ChecksumTest, EveryOtherCharacterCountsTheOrderDoesNot)
{
    std::string strOne = ChecksumOf("[SLF_PRODUCT_VIGILON_CE]\r\nEnable=1\r\nPorts=80\r\nCheckSum=0\r\n");
    EXPECT_EQ(strOne, ChecksumOf("[SLF_PRODUCT_VIGILON_CE]\r\nCheckSum=7\r\nPorts=80\r\nEnable=1\r\n"));
    EXPECT_NE(strOne, ChecksumOf("[SLF_PRODUCT_VIGILON_CE]\r\nEnable=0\r\nPorts=80\r\nCheckSum=0\r\n"));
    // A line that names the key later than at its start is counted; the key is compared
    // with regard to case.
    EXPECT_NE(strOne, ChecksumOf("[SLF_PRODUCT_VIGILON_CE]\r\nEnable=1\r\nPorts=80\r\nCheckSum=0\r\nx=CheckSum\r\n"));
    EXPECT_NE("26162", ChecksumOf("[SLF_PRODUCT_VIGILON_CE]\r\nCHECKSUM=1\r\n"));
}

TEST(ChecksumTest, CharactersAbove127CountNegative)
{
    // "e\xE9=1": 0x65 - 23 + 0x3D + 0x31.
    WORD wSum = 0x65 - 23 + 0x3D + 0x31;
    char szExpected[16];
    sprintf(szExpected, "%04d", (int)(WORD)((wSum ^ 0xC57D) * 19866));
    EXPECT_EQ(szExpected, ChecksumOf("[SLF_PRODUCT_VIGILON_CE]\r\ne\xE9=1\r\n"));
    WORD wAccumulator = 5;
    addStringToChecksum("\xE9", wAccumulator);
    EXPECT_EQ((WORD)(5 - 23), wAccumulator);
}

TEST(ChecksumTest, MissingOrTooLargeSectionsWriteNothing)
{
    std::string strIni = ScratchFile("checksum.ini");
    WriteWholeFile(strIni, "[Other]\r\na=1\r\n");
    EXPECT_EQ(INI_CHECKSUM_E_EMPTY, writeIniSectionChecksum(strIni.c_str(), "SLF_PRODUCT_VIGILON_CE", "CheckSum"));
    EXPECT_EQ("[Other]\r\na=1\r\n", ReadWholeFile(strIni));

    std::string strLarge = "[SLF_PRODUCT_VIGILON_CE]\r\n";
    for (int i = 0; strLarge.size() < 40000; ++i)
        strLarge += "Entry" + std::to_string(i) + "=" + std::string(60, 'v') + "\r\n";
    WriteWholeFile(strIni, strLarge);
    EXPECT_EQ(INI_CHECKSUM_E_TOO_LARGE, writeIniSectionChecksum(strIni.c_str(), "SLF_PRODUCT_VIGILON_CE", "CheckSum"));
    EXPECT_EQ("", ReadIni(strIni, "SLF_PRODUCT_VIGILON_CE", "CheckSum"));
}
