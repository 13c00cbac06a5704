#ifndef CIPHERBENCH_CIPHER_AES_H
#define CIPHERBENCH_CIPHER_AES_H

// AES (FIPS-197) with ECB and CBC buffer modes and PKCS#7 padding.
// Buffer contract: operations return the bytes written, 0 for failure.
//
// Two implementations compute the same results: the processor's AES
// instructions where it has them (x86-64 AES-NI, detected at run time), and
// a constant-time bit-sliced one everywhere else. A context takes the one in
// force when its key is expanded.

#include <cstddef>
#include <cstdint>

// The key lengths AES knows: 16, 24 or 32 bytes.
bool aesKeyLengthValid(int keyLength);

// True when contexts keyed from now on use the AES instructions: the
// processor has them and the portable rounds are not forced.
bool aesUsesHardware();
// Forces the constant-time portable rounds (true) or allows the instructions
// again (false) for contexts keyed afterwards. The environment variable
// CIPHERBENCH_AES_PORTABLE, set to anything but empty or "0", forces them from
// the start of the process.
void aesForcePortable(bool force);

class AesContext
{
public:
    // keyLength must be valid (aesKeyLengthValid); `key` holds that many bytes.
    AesContext(int keyLength, const unsigned char *key);
    ~AesContext(); // wipes key material and state

    AesContext(const AesContext &) = delete;
    AesContext &operator=(const AesContext &) = delete;

    void expandKey();
    void encryptBlock(const unsigned char *in, unsigned char *out);
    void decryptBlock(const unsigned char *in, unsigned char *out);

    unsigned char state[16];
    int Nb;
    int Nk;
    int Nr;
    unsigned char key[32];
    unsigned char roundKeys[240];

private:
    friend class AesCipher;

    // The buffer operations' block work; `last` is a block of the caller's
    // own that follows the `blocks` input blocks (the padding block).
    void encryptBlocksEcb(const unsigned char *in, std::size_t blocks, const unsigned char *last,
                          unsigned char *out);
    void decryptBlocksEcb(const unsigned char *in, std::size_t blocks, unsigned char *out);
    void encryptBlocksCbc(unsigned char *in, std::size_t blocks, const unsigned char *last,
                          unsigned char *out, unsigned char *iv);
    void decryptBlocksCbc(const unsigned char *in, std::size_t blocks, unsigned char *out,
                          unsigned char *iv);

    // roundKeys in the form the chosen rounds need: bit-sliced for the
    // portable ones (8 words per round key, for each direction), or for the instructions the
    // equivalent inverse cipher's keys (FIPS-197 5.3.5), last round first;
    // the instructions encrypt from roundKeys itself.
    std::uint64_t slicedKeys[240];
    unsigned char invRoundKeys[240];
    // The implementation chosen when the key was expanded.
    struct Rounds;
    const Rounds *rounds;
};

class AesCipher
{
public:
    AesCipher();
    ~AesCipher();

    AesCipher(const AesCipher &) = delete;
    AesCipher &operator=(const AesCipher &) = delete;

    // A length aesKeyLengthValid refuses leaves the cipher without a context.
    void setKey(int keyLength, const char *key);
    bool hasContext() const { return context != nullptr; }

    // Output needs length + 16 bytes.
    int encryptEcb(char *in, unsigned int length, char *out);
    // Output needs length bytes; returns the plaintext length or 0.
    int decryptEcb(char *in, unsigned int length, unsigned char *out);
    // Changes the caller's full input blocks; leaves the last cipher block in iv.
    int encryptCbc(char *in, unsigned int length, char *out, char *iv);
    int decryptCbc(char *in, unsigned int length, unsigned char *out, char *iv);

private:
    AesContext *context = nullptr;
};

#endif
