// vgltool: command-line access to the client's algorithms.
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <string.h>
#include <string>
#include <vector>

#include "Base64Coder.h"
#include "CryptString.h"
#include "KeyFile.h"
#include "KeyedCipher.h"
#include "MessageDigest5.h"
#include "SignedFile.h"

namespace {

enum { EXIT_OK = 0, EXIT_FAILED = 1, EXIT_USAGE = 2 };

const char s_szUsage[] =
    "usage: vgltool COMMAND [ARGUMENTS]\n"
    "\n"
    "INPUT is a text argument, or -f FILE for the bytes of a file.\n"
    "\n"
    "  md5 INPUT              MD5 digest as 32 lower-case hex characters\n"
    "  crypt INPUT            scramble into the \"!CRYPT!\" form\n"
    "  uncrypt INPUT          unscramble a \"!CRYPT!\" text\n"
    "  keyhex INPUT           encipher into keyed hex digits\n"
    "  unkeyhex INPUT         decipher keyed hex digits\n"
    "  b64enc INPUT           Base64 encoding\n"
    "  b64dec INPUT [-o OUT]  Base64 decoding, written to OUT or printed\n"
    "  verify FILE            check a signed file: prints 1 (valid),\n"
    "                         0 (signature does not verify) or -1 (cannot inspect)\n"
    "  sign KEY IN OUT        write OUT: IN signed with the PEM RSA private key KEY\n"
    "  winver                 the Windows version this program sees\n"
    "\n"
    "Results go to standard output, one line each.\n"
    "Exit code: 0 success, 1 failure (verify: not valid), 2 usage.\n";

int Usage()
{
    fputs(s_szUsage, stderr);
    return EXIT_USAGE;
}

int Fail(const char* pszWhat, const std::string& detail = std::string())
{
    fprintf(stderr, "vgltool: %s%s%s\n", pszWhat, detail.empty() ? "" : ": ", detail.c_str());
    return EXIT_FAILED;
}

bool ReadFileBytes(const char* pszPath, std::string& data)
{
    FILE* pf = fopen(pszPath, "rb");
    if (!pf)
        return false;
    data.clear();
    char buf[16384];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), pf)) > 0)
        data.append(buf, n);
    bool fOk = !ferror(pf);
    fclose(pf);
    return fOk;
}

bool WriteFileBytes(const char* pszPath, const std::string& data)
{
    FILE* pf = fopen(pszPath, "wb");
    if (!pf)
        return false;
    bool fOk = fwrite(data.data(), 1, data.size(), pf) == data.size();
    return fclose(pf) == 0 && fOk;
}

// The INPUT of a command, from args[0] (and args[1] after -f).
// Returns the number of arguments used, 0 on a usage error, -1 when the
// file cannot be read.
int GetInput(int argc, char** argv, std::string& input)
{
    if (argc >= 1 && strcmp(argv[0], "-f") == 0) {
        if (argc < 2)
            return 0;
        if (!ReadFileBytes(argv[1], input)) {
            Fail("cannot read", argv[1]);
            return -1;
        }
        return 2;
    }
    if (argc < 1)
        return 0;
    input = argv[0];
    return 1;
}

bool HasZeroByte(const std::string& s)
{
    return s.find('\0') != std::string::npos;
}

int PrintLine(const std::string& s)
{
    fwrite(s.data(), 1, s.size(), stdout);
    fputc('\n', stdout);
    return fflush(stdout) == 0 ? EXIT_OK : EXIT_FAILED;
}

int CmdMd5(const std::string& input)
{
    CMessageDigest5 md5;
    char szHex[33];
    md5.GetHexDigest(input.data(), (UINT)input.size(), szHex, sizeof(szHex));
    return PrintLine(szHex);
}

int CmdCrypt(const std::string& input)
{
    if (HasZeroByte(input))
        return Fail("the text contains a zero byte");
    std::vector<char> out(NewEncryptStrSize(input.size()));
    if (!NewEncryptStr(input.c_str(), out.data(), out.size()))
        return Fail("the text is too long to scramble");
    return PrintLine(out.data());
}

int CmdUncrypt(const std::string& input)
{
    if (input.compare(0, CRYPT_MARKER_LEN, CRYPT_MARKER) != 0)
        return Fail("not a \"!CRYPT!\" text");
    std::vector<char> text(input.begin(), input.end());
    text.push_back('\0');
    if (!NewDecryptStr(text.data()))
        return Fail("the text is too long to unscramble");
    return PrintLine(text.data());
}

int CmdKeyHex(const std::string& input)
{
    if (HasZeroByte(input))
        return Fail("the text contains a zero byte");
    int nSize = (int)(2 * input.size() + 1);
    std::vector<char> out(nSize);
    int rc = PWDEncrypt(out.data(), input.c_str(), &nSize);
    if (rc != 0)
        return Fail("cannot encipher", std::to_string(rc));
    return PrintLine(out.data());
}

int CmdUnkeyHex(const std::string& input)
{
    if (input.size() % 2 != 0 ||
        input.find_first_not_of("0123456789ABCDEFabcdef") != std::string::npos)
        return Fail("not a keyed hex text (pairs of hexadecimal digits)");
    int nSize = (int)(input.size() / 2 + 1);
    std::vector<char> out(nSize);
    int rc = PWDDecrypt(out.data(), input.c_str(), &nSize);
    if (rc != 0)
        return Fail("cannot decipher", std::to_string(rc));
    return PrintLine(out.data());
}

int CmdB64Enc(const std::string& input)
{
    Base64Coder coder;
    if (!coder.Encode(reinterpret_cast<const BYTE*>(input.data()), (UINT)input.size()))
        return Fail("out of memory");
    return PrintLine(coder.GetEncoded());
}

int CmdB64Dec(const std::string& input, const char* pszOut)
{
    Base64Coder coder;
    if (!coder.Decode(input.data(), (UINT)input.size()))
        return Fail("not a Base64 text");
    std::string data(reinterpret_cast<const char*>(coder.GetDecoded()), coder.GetDecodedLength());
    if (pszOut)
        return WriteFileBytes(pszOut, data) ? EXIT_OK : Fail("cannot write", pszOut);
    return PrintLine(data);
}

int CmdVerify(const char* pszPath)
{
    int r = kvAuthMD5(pszPath);
    printf("%d\n", r);
    return r == 1 ? EXIT_OK : EXIT_FAILED;
}

int CmdSign(const char* pszKey, const char* pszIn, const char* pszOut)
{
    SRsaPrivateKey key;
    std::string error;
    if (!ReadPrivateKeyFile(pszKey, key, error))
        return Fail(error.c_str(), pszKey);
    const UINT cbMod = (UINT)key.modulus.size();
    if (cbMod > SIGNEDFILE_MAX_SIGNATURE)
        return Fail("the key is longer than a signed file's signature may be");

    std::string body;
    if (!ReadFileBytes(pszIn, body))
        return Fail("cannot read", pszIn);

    BYTE abDigest[16];
    CMessageDigest5 md5;
    md5.Update(body.data(), (UINT)body.size());
    md5.Final(abDigest, sizeof(abDigest));

    std::vector<BYTE> block(cbMod), signature(cbMod);
    if (!BuildMD5SignatureBlock(abDigest, block.data(), cbMod))
        return Fail("the key is too short for an MD5 signature");
    if (!RsaModExp(block.data(), cbMod, key.privateExponent.data(),
                   (UINT)key.privateExponent.size(), key.modulus.data(), cbMod,
                   signature.data()))
        return Fail("the key is not usable");

    int nLength = (int)cbMod;
    std::string out = body;
    out.append(reinterpret_cast<const char*>(signature.data()), signature.size());
    out.append(reinterpret_cast<const char*>(&nLength), 4);
    if (!WriteFileBytes(pszOut, out))
        return Fail("cannot write", pszOut);
    if (kvAuthMD5(pszOut) != 1)
        fprintf(stderr, "vgltool: note: the program's built-in key does not accept %s\n", pszOut);
    return EXIT_OK;
}

int CmdWinver()
{
    OSVERSIONINFOA vi;
    memset(&vi, 0, sizeof(vi));
    vi.dwOSVersionInfoSize = sizeof(vi);
    if (!GetVersionExA(&vi)) {
        fprintf(stderr, "GetVersionEx failed (%lu)\n", GetLastError());
        return EXIT_FAILED;
    }
    printf("platform %lu, version %lu.%lu, build %lu\n", vi.dwPlatformId, vi.dwMajorVersion,
           vi.dwMinorVersion, vi.dwBuildNumber & 0xFFFF);
    return EXIT_OK;
}

} // namespace

int main(int argc, char** argv)
{
    // Results end in "\n" and decoded bytes pass unchanged.
    _setmode(_fileno(stdout), _O_BINARY);

    if (argc < 2)
        return Usage();
    const char* pszCmd = argv[1];
    int nArgs = argc - 2;
    char** args = argv + 2;

    if (strcmp(pszCmd, "winver") == 0)
        return nArgs == 0 ? CmdWinver() : Usage();
    if (strcmp(pszCmd, "verify") == 0)
        return nArgs == 1 ? CmdVerify(args[0]) : Usage();
    if (strcmp(pszCmd, "sign") == 0)
        return nArgs == 3 ? CmdSign(args[0], args[1], args[2]) : Usage();

    static const struct { const char* pszName; int (*pfn)(const std::string&); } transforms[] = {
        { "md5", CmdMd5 }, { "crypt", CmdCrypt }, { "uncrypt", CmdUncrypt },
        { "keyhex", CmdKeyHex }, { "unkeyhex", CmdUnkeyHex }, { "b64enc", CmdB64Enc },
    };
    bool fB64Dec = strcmp(pszCmd, "b64dec") == 0;
    for (const auto& t : transforms) {
        if (strcmp(pszCmd, t.pszName) != 0 && !fB64Dec)
            continue;
        std::string input;
        int nUsed = GetInput(nArgs, args, input);
        if (nUsed < 0)
            return EXIT_FAILED;
        if (nUsed == 0)
            return Usage();
        if (!fB64Dec)
            return nUsed == nArgs ? t.pfn(input) : Usage();
        if (nUsed == nArgs)
            return CmdB64Dec(input, NULL);
        if (nUsed + 2 == nArgs && strcmp(args[nUsed], "-o") == 0)
            return CmdB64Dec(input, args[nUsed + 1]);
        return Usage();
    }
    return Usage();
}
