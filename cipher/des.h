#ifndef CIPHERBENCH_CIPHER_DES_H
#define CIPHERBENCH_CIPHER_DES_H

// DES (FIPS 46-3) and two-key triple DES (E K1, D K2, E K1) in ECB mode.
// A final partial block is zero-filled; no padding is removed. Each buffer
// operation writes ceil(length / 8) blocks and one zero byte after them.
//
// Constant time: blocks are computed bit-sliced, many at once, with the
// S-boxes as Boolean circuits (des_bitslice.h; 382 gates for the eight, which
// our generator tools/sboxgen/desgen.cpp derives from the FIPS 46-3 tables
// into cipher/generated/des_sbox_circuits.h), and the key schedule indexes
// only by table entries, so no branch and no memory address depends on key
// or data bits. A buffer operation runs all its blocks, the zero-filled last
// one included, through one batched call; triple DES applies its three passes
// to the whole batch. On x86-64 processors with AVX2 (detected at run time)
// long inputs go 256 blocks at a time in vectors, otherwise 64 at a time in
// 64-bit words; both give the same bytes.

#include <cstdint>

// True when buffer operations from now on use the AVX2 vector batches for
// long inputs: the processor has AVX2 and the portable batches are not forced.
bool desUsesVectors();
// Forces the 64-block portable batches (true) or allows the vectors again
// (false). The environment variable CIPHERBENCH_DES_PORTABLE, set to anything
// but empty or "0", forces them from the start of the process.
void desForcePortable(bool force);

class DesContext
{
public:
    DesContext();
    ~DesContext(); // wipes subkeys and block outputs

    DesContext(const DesContext &) = delete;
    DesContext &operator=(const DesContext &) = delete;

    // Reads 8 key bytes; slot 0 is K1, slot 1 is K2.
    void setSubKey(const char *key, int slot);
    void encryptDesBlock(const char *in, int slot); // result in encOut
    void decryptDesBlock(const char *in, int slot); // result in decOut

    int encryptDes(const void *in, int length, char *out);
    int decryptDes(const void *in, int length, char *out);
    int encrypt3Des(const void *in, int length, char *out);
    int decrypt3Des(const void *in, int length, char *out);

    unsigned char subKeys[2][16][48];
    unsigned char encOut[8];
    unsigned char decOut[8];

private:
    // subKeys again, each bit as a byte of all zeros or all ones, which the
    // bit-sliced rounds widen and XOR into every block of a batch at once.
    // Bytes keep the context small enough for the stack.
    unsigned char keyMasks[2][16][48];
};

#endif
