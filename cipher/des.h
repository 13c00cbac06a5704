#ifndef CIPHERBENCH_CIPHER_DES_H
#define CIPHERBENCH_CIPHER_DES_H

// DES (FIPS 46-3) and two-key triple DES (E K1, D K2, E K1) in ECB mode.
// A final partial block is zero-filled; no padding is removed. Each buffer
// operation writes ceil(length / 8) blocks and one zero byte after them.
//
// Not constant time, unlike the AES engine: every round looks up its S-box
// tables at indices made of key bits XOR data bits (and the permutation tables
// at data bits), so on a processor with caches the timing of a block can tell
// an observer sharing the machine about the key. DES is here to check and
// prepare what peer systems exchange, not to guard secrets against such an
// observer.

#include <cstdint>

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
    // subKeys again, each round's 48 bits packed into one word (bit 1 of the
    // subkey at bit 47), which is what the block function consumes.
    std::uint64_t packedKeys[2][16];
};

#endif
