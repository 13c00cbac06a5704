#ifndef CIPHERBENCH_CIPHER_AES_H
#define CIPHERBENCH_CIPHER_AES_H

// AES (FIPS-197) with ECB and CBC buffer modes and PKCS#7 padding.
// Buffer contract: operations return the bytes written, 0 for failure.

#include <cstdint>

class AesContext
{
public:
    // keyLength must be 16, 24 or 32; `key` holds that many bytes.
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
    // roundKeys as column words (row r in bits 8r to 8r + 7): the schedule w
    // for encryption, and dw of the equivalent inverse cipher (FIPS-197
    // 5.3.5) for decryption.
    std::uint32_t encKeys[60];
    std::uint32_t decKeys[60];
};

class AesCipher
{
public:
    AesCipher();
    ~AesCipher();

    AesCipher(const AesCipher &) = delete;
    AesCipher &operator=(const AesCipher &) = delete;

    // Any length but 16, 24 or 32 leaves the cipher without a context.
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
