#include "KeyFile.h"
#include "Base64Coder.h"
#include <stdio.h>
#include <string.h>

namespace {

// One DER element: tag and content.
struct SDer
{
    unsigned char tag;
    const unsigned char* p;
    size_t cb;
};

// Reads the element at pos within [p, p + cb) and moves pos past it.
bool ReadDer(const unsigned char* p, size_t cb, size_t& pos, SDer& out)
{
    if (pos + 2 > cb)
        return false;
    out.tag = p[pos++];
    size_t len = p[pos++];
    if (len & 0x80) {
        size_t nBytes = len & 0x7F;
        if (nBytes == 0 || nBytes > 4 || pos + nBytes > cb)
            return false;
        len = 0;
        while (nBytes--)
            len = (len << 8) | p[pos++];
    }
    if (len > cb - pos)
        return false;
    out.p = p + pos;
    out.cb = len;
    pos += len;
    return true;
}

bool ReadInteger(const SDer& seq, size_t& pos, std::vector<unsigned char>& value)
{
    SDer item;
    if (!ReadDer(seq.p, seq.cb, pos, item) || item.tag != 0x02 || item.cb == 0)
        return false;
    size_t skip = 0;
    while (skip + 1 < item.cb && item.p[skip] == 0)
        skip++;
    value.assign(item.p + skip, item.p + item.cb);
    return true;
}

// RSAPrivateKey: SEQUENCE { version, modulus, publicExponent, privateExponent, ... }
bool ParseRsaPrivateKey(const unsigned char* p, size_t cb, SRsaPrivateKey& key)
{
    size_t pos = 0, inner = 0;
    SDer seq;
    std::vector<unsigned char> version, publicExponent;
    return ReadDer(p, cb, pos, seq) && seq.tag == 0x30 &&
           ReadInteger(seq, inner, version) && ReadInteger(seq, inner, key.modulus) &&
           ReadInteger(seq, inner, publicExponent) && ReadInteger(seq, inner, key.privateExponent);
}

// PrivateKeyInfo: SEQUENCE { version, SEQUENCE { rsaEncryption, ... }, OCTET STRING }
bool ParsePrivateKeyInfo(const unsigned char* p, size_t cb, SRsaPrivateKey& key)
{
    static const unsigned char s_abRsaOid[] = { 0x2a, 0x86, 0x48, 0x86, 0xf7, 0x0d, 0x01, 0x01, 0x01 };
    size_t pos = 0, inner = 0, algPos = 0;
    SDer seq, alg, oid, octets;
    std::vector<unsigned char> version;
    return ReadDer(p, cb, pos, seq) && seq.tag == 0x30 && ReadInteger(seq, inner, version) &&
           ReadDer(seq.p, seq.cb, inner, alg) && alg.tag == 0x30 &&
           ReadDer(alg.p, alg.cb, algPos, oid) && oid.tag == 0x06 &&
           oid.cb == sizeof(s_abRsaOid) && memcmp(oid.p, s_abRsaOid, oid.cb) == 0 &&
           ReadDer(seq.p, seq.cb, inner, octets) && octets.tag == 0x04 &&
           ParseRsaPrivateKey(octets.p, octets.cb, key);
}

} // namespace

bool ReadPrivateKeyFile(const char* pszPath, SRsaPrivateKey& key, std::string& error)
{
    FILE* pf = fopen(pszPath, "rb");
    if (!pf) {
        error = "cannot open the key file";
        return false;
    }
    std::string text;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), pf)) > 0 && text.size() < 65536)
        text.append(buf, n);
    fclose(pf);

    static const struct { const char* pszLabel; bool fPkcs8; } kinds[] = {
        { "RSA PRIVATE KEY", false },
        { "PRIVATE KEY", true },
    };
    for (const auto& kind : kinds) {
        std::string begin = std::string("-----BEGIN ") + kind.pszLabel + "-----";
        std::string end = std::string("-----END ") + kind.pszLabel + "-----";
        size_t b = text.find(begin);
        if (b == std::string::npos)
            continue;
        b += begin.size();
        size_t e = text.find(end, b);
        if (e == std::string::npos)
            break;
        std::string body = text.substr(b, e - b);
        if (body.find(':') != std::string::npos) {
            error = "encrypted keys are not supported";
            return false;
        }
        Base64Coder coder;
        if (!coder.Decode(body.data(), (UINT)body.size())) {
            error = "the key's Base64 text is damaged";
            return false;
        }
        const unsigned char* p = coder.GetDecoded();
        size_t cb = coder.GetDecodedLength();
        if (kind.fPkcs8 ? ParsePrivateKeyInfo(p, cb, key) : ParseRsaPrivateKey(p, cb, key))
            return true;
        error = "not an RSA private key";
        return false;
    }
    error = "no PEM private key in the file";
    return false;
}
