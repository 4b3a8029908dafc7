// RSA private keys in PEM files ("RSA PRIVATE KEY" or unencrypted
// "PRIVATE KEY"), for signing files.
#ifndef VGL_KEYFILE_H
#define VGL_KEYFILE_H

#include <string>
#include <vector>

struct SRsaPrivateKey
{
    std::vector<unsigned char> modulus;          // big-endian, no leading zeros
    std::vector<unsigned char> privateExponent;  // big-endian
};

// Reads the key; on failure returns false with the reason in error.
bool ReadPrivateKeyFile(const char* pszPath, SRsaPrivateKey& key, std::string& error);

#endif
