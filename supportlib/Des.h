// DES block cipher (electronic code book, one 8-byte block at a time).
//
// Bit numbering: bit 1 of every byte of the key, the input block and the
// output block is the byte's least significant bit. This is standard DES on
// bytes whose bit order has been reversed (reverse each byte in, apply the
// standard cipher, reverse each byte out). Key parity bits are ignored.
#ifndef VGL_DES_H
#define VGL_DES_H

#include <stdint.h>

struct SDesSubkeys
{
    uint64_t k[16];   // the 48-bit round keys, right-aligned
};

// The 16 round keys of an 8-byte key.
void DesComputeSubkeys(const unsigned char key[8], SDesSubkeys* pSubkeys);

// Enciphers or deciphers one 8-byte block; in and out may be the same buffer.
void DesEncryptBlock(const SDesSubkeys& subkeys, const unsigned char in[8], unsigned char out[8]);
void DesDecryptBlock(const SDesSubkeys& subkeys, const unsigned char in[8], unsigned char out[8]);

#endif
