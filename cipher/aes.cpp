#include "cipher/aes.h"

#include "cipher/detail.h"

#include "cipher/aes_ct.h"
#if defined(CIPHERBENCH_HAVE_AESNI)
#include "cipher/aes_ni.h"

#include <cpuid.h>
#endif

#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// The rounds compute the S-box and its inverse (aes_ct.cpp) or leave them to
// the processor; these tables are the standard's, kept as the reference the
// circuits are checked against.

// FIPS-197 Figure 7, the S-box: entry 16 * x + y is the substitution for the
// byte xy (x the high nibble, y the low nibble).
static const unsigned char sBox[256] = {
    0x63, 0x7c, 0x77, 0x7b, 0xf2, 0x6b, 0x6f, 0xc5, 0x30, 0x01, 0x67, 0x2b, 0xfe, 0xd7, 0xab, 0x76,
    0xca, 0x82, 0xc9, 0x7d, 0xfa, 0x59, 0x47, 0xf0, 0xad, 0xd4, 0xa2, 0xaf, 0x9c, 0xa4, 0x72, 0xc0,
    0xb7, 0xfd, 0x93, 0x26, 0x36, 0x3f, 0xf7, 0xcc, 0x34, 0xa5, 0xe5, 0xf1, 0x71, 0xd8, 0x31, 0x15,
    0x04, 0xc7, 0x23, 0xc3, 0x18, 0x96, 0x05, 0x9a, 0x07, 0x12, 0x80, 0xe2, 0xeb, 0x27, 0xb2, 0x75,
    0x09, 0x83, 0x2c, 0x1a, 0x1b, 0x6e, 0x5a, 0xa0, 0x52, 0x3b, 0xd6, 0xb3, 0x29, 0xe3, 0x2f, 0x84,
    0x53, 0xd1, 0x00, 0xed, 0x20, 0xfc, 0xb1, 0x5b, 0x6a, 0xcb, 0xbe, 0x39, 0x4a, 0x4c, 0x58, 0xcf,
    0xd0, 0xef, 0xaa, 0xfb, 0x43, 0x4d, 0x33, 0x85, 0x45, 0xf9, 0x02, 0x7f, 0x50, 0x3c, 0x9f, 0xa8,
    0x51, 0xa3, 0x40, 0x8f, 0x92, 0x9d, 0x38, 0xf5, 0xbc, 0xb6, 0xda, 0x21, 0x10, 0xff, 0xf3, 0xd2,
    0xcd, 0x0c, 0x13, 0xec, 0x5f, 0x97, 0x44, 0x17, 0xc4, 0xa7, 0x7e, 0x3d, 0x64, 0x5d, 0x19, 0x73,
    0x60, 0x81, 0x4f, 0xdc, 0x22, 0x2a, 0x90, 0x88, 0x46, 0xee, 0xb8, 0x14, 0xde, 0x5e, 0x0b, 0xdb,
    0xe0, 0x32, 0x3a, 0x0a, 0x49, 0x06, 0x24, 0x5c, 0xc2, 0xd3, 0xac, 0x62, 0x91, 0x95, 0xe4, 0x79,
    0xe7, 0xc8, 0x37, 0x6d, 0x8d, 0xd5, 0x4e, 0xa9, 0x6c, 0x56, 0xf4, 0xea, 0x65, 0x7a, 0xae, 0x08,
    0xba, 0x78, 0x25, 0x2e, 0x1c, 0xa6, 0xb4, 0xc6, 0xe8, 0xdd, 0x74, 0x1f, 0x4b, 0xbd, 0x8b, 0x8a,
    0x70, 0x3e, 0xb5, 0x66, 0x48, 0x03, 0xf6, 0x0e, 0x61, 0x35, 0x57, 0xb9, 0x86, 0xc1, 0x1d, 0x9e,
    0xe1, 0xf8, 0x98, 0x11, 0x69, 0xd9, 0x8e, 0x94, 0x9b, 0x1e, 0x87, 0xe9, 0xce, 0x55, 0x28, 0xdf,
    0x8c, 0xa1, 0x89, 0x0d, 0xbf, 0xe6, 0x42, 0x68, 0x41, 0x99, 0x2d, 0x0f, 0xb0, 0x54, 0xbb, 0x16,
};

// FIPS-197 Figure 14, the inverse S-box, indexed like sBox.
static const unsigned char invSBox[256] = {
    0x52, 0x09, 0x6a, 0xd5, 0x30, 0x36, 0xa5, 0x38, 0xbf, 0x40, 0xa3, 0x9e, 0x81, 0xf3, 0xd7, 0xfb,
    0x7c, 0xe3, 0x39, 0x82, 0x9b, 0x2f, 0xff, 0x87, 0x34, 0x8e, 0x43, 0x44, 0xc4, 0xde, 0xe9, 0xcb,
    0x54, 0x7b, 0x94, 0x32, 0xa6, 0xc2, 0x23, 0x3d, 0xee, 0x4c, 0x95, 0x0b, 0x42, 0xfa, 0xc3, 0x4e,
    0x08, 0x2e, 0xa1, 0x66, 0x28, 0xd9, 0x24, 0xb2, 0x76, 0x5b, 0xa2, 0x49, 0x6d, 0x8b, 0xd1, 0x25,
    0x72, 0xf8, 0xf6, 0x64, 0x86, 0x68, 0x98, 0x16, 0xd4, 0xa4, 0x5c, 0xcc, 0x5d, 0x65, 0xb6, 0x92,
    0x6c, 0x70, 0x48, 0x50, 0xfd, 0xed, 0xb9, 0xda, 0x5e, 0x15, 0x46, 0x57, 0xa7, 0x8d, 0x9d, 0x84,
    0x90, 0xd8, 0xab, 0x00, 0x8c, 0xbc, 0xd3, 0x0a, 0xf7, 0xe4, 0x58, 0x05, 0xb8, 0xb3, 0x45, 0x06,
    0xd0, 0x2c, 0x1e, 0x8f, 0xca, 0x3f, 0x0f, 0x02, 0xc1, 0xaf, 0xbd, 0x03, 0x01, 0x13, 0x8a, 0x6b,
    0x3a, 0x91, 0x11, 0x41, 0x4f, 0x67, 0xdc, 0xea, 0x97, 0xf2, 0xcf, 0xce, 0xf0, 0xb4, 0xe6, 0x73,
    0x96, 0xac, 0x74, 0x22, 0xe7, 0xad, 0x35, 0x85, 0xe2, 0xf9, 0x37, 0xe8, 0x1c, 0x75, 0xdf, 0x6e,
    0x47, 0xf1, 0x1a, 0x71, 0x1d, 0x29, 0xc5, 0x89, 0x6f, 0xb7, 0x62, 0x0e, 0xaa, 0x18, 0xbe, 0x1b,
    0xfc, 0x56, 0x3e, 0x4b, 0xc6, 0xd2, 0x79, 0x20, 0x9a, 0xdb, 0xc0, 0xfe, 0x78, 0xcd, 0x5a, 0xf4,
    0x1f, 0xdd, 0xa8, 0x33, 0x88, 0x07, 0xc7, 0x31, 0xb1, 0x12, 0x10, 0x59, 0x27, 0x80, 0xec, 0x5f,
    0x60, 0x51, 0x7f, 0xa9, 0x19, 0xb5, 0x4a, 0x0d, 0x2d, 0xe5, 0x7a, 0x9f, 0x93, 0xc9, 0x9c, 0xef,
    0xa0, 0xe0, 0x3b, 0x4d, 0xae, 0x2a, 0xf5, 0xb0, 0xc8, 0xeb, 0xbb, 0x3c, 0x83, 0x53, 0x99, 0x61,
    0x17, 0x2b, 0x04, 0x7e, 0xba, 0x77, 0xd6, 0x26, 0xe1, 0x69, 0x14, 0x63, 0x55, 0x21, 0x0c, 0x7d,
};

// FIPS-197 section 5.2, the round constants: Rcon[i] is the word
// (rcon[i], 00, 00, 00) for i = 1 to 10; entry 0 is never used.
static const unsigned char rcon[11] = {
    0x00, 0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80, 0x1b, 0x36,
};

const unsigned int blockSize = 16;

inline std::uint32_t loadWord(const unsigned char *p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16
         | std::uint32_t(p[3]) << 24;
}

inline void storeWord(std::uint32_t w, unsigned char *p)
{
    for (int j = 0; j < 4; ++j)
        p[j] = static_cast<unsigned char>(w >> (8 * j));
}

// FIPS-197 5.2 RotWord on a key word whose byte j is bits 8j to 8j + 7:
// (a0, a1, a2, a3) becomes (a1, a2, a3, a0).
inline std::uint32_t rotWord(std::uint32_t w)
{
    return (w >> 8) | (w << 24);
}

bool processorHasAesInstructions()
{
#if defined(CIPHERBENCH_HAVE_AESNI)
    // CPUID leaf 1, ECX: bit 25 AES, bit 19 SSE4.1 (what aes_ni.cpp is built for).
    unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0)
        return false;
    return (ecx & (1u << 25)) != 0 && (ecx & (1u << 19)) != 0;
#else
    return false;
#endif
}

bool portableRequestedByEnvironment()
{
    const char *value = std::getenv("CIPHERBENCH_AES_PORTABLE");
    return value != nullptr && value[0] != '\0' && std::strcmp(value, "0") != 0;
}

// Both read once, on first use.
struct PathChoice
{
    const bool hardwareAvailable = processorHasAesInstructions();
    std::atomic<bool> portableForced{portableRequestedByEnvironment()};
};

PathChoice &pathChoice()
{
    static PathChoice choice;
    return choice;
}

// The state field keeps the matrix of the last block row by row (row r,
// column c at 4r + c); blocks travel column by column.
inline void keepState(unsigned char *state, const unsigned char *block)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            state[4 * r + c] = block[4 * c + r];
}

inline void xorBlock(unsigned char *block, const unsigned char *with)
{
    for (unsigned int i = 0; i < blockSize; ++i)
        block[i] ^= with[i];
}

// The last-byte padding rule shared by both decryptions: a last byte n of
// 1 to 16 clears the last n bytes and shortens the result by n, 0 keeps
// everything, anything larger is refused. Only that one byte is examined,
// so zero, ISO 10126 and ANSI X.923 padding come off as well as PKCS#7.
int removePadding(unsigned char *out, unsigned int length)
{
    const unsigned int n = out[length - 1];
    if (n > blockSize)
        return 0;
    std::memset(out + length - n, 0, n);
    return static_cast<int>(length - n);
}

} // namespace

namespace cipher {

const unsigned char *aesSBox()
{
    return sBox;
}

const unsigned char *aesInvSBox()
{
    return invSBox;
}

} // namespace cipher

bool aesUsesHardware()
{
    PathChoice &choice = pathChoice();
    return choice.hardwareAvailable && !choice.portableForced.load();
}

void aesForcePortable(bool force)
{
    pathChoice().portableForced.store(force);
}

AesContext::AesContext(int keyLength, const unsigned char *key)
    : state{}, Nb(4), Nk(0), Nr(0), key{}, roundKeys{}, slicedKeys{}, invRoundKeys{},
      hardware(false)
{
    // Any other length leaves Nk = Nr = 0 and an all-zero schedule: such a
    // context computes nothing meaningful, but never reads past its keys.
    if (key != nullptr && (keyLength == 16 || keyLength == 24 || keyLength == 32)) {
        Nk = keyLength / 4;
        Nr = Nk + 6;
        std::memcpy(this->key, key, static_cast<std::size_t>(keyLength));
    }
    expandKey();
}

AesContext::~AesContext()
{
    cipher::secureWipe(state, sizeof state);
    cipher::secureWipe(key, sizeof key);
    cipher::secureWipe(roundKeys, sizeof roundKeys);
    cipher::secureWipe(slicedKeys, sizeof slicedKeys);
    cipher::secureWipe(invRoundKeys, sizeof invRoundKeys);
    cipher::secureWipe(&hardware, sizeof hardware);
}

// FIPS-197 5.2 KeyExpansion, SubWord computed by the constant-time circuit.
void AesContext::expandKey()
{
    std::memset(roundKeys, 0, sizeof roundKeys);
    std::memset(slicedKeys, 0, sizeof slicedKeys);
    std::memset(invRoundKeys, 0, sizeof invRoundKeys);
    hardware = false;
    if (Nk == 0)
        return;
    std::memcpy(roundKeys, key, 4 * static_cast<std::size_t>(Nk));
    const int words = Nb * (Nr + 1);
    for (int i = Nk; i < words; ++i) {
        std::uint32_t temp = loadWord(roundKeys + 4 * (i - 1));
        if (i % Nk == 0)
            temp = cipher::aesct::subWord(rotWord(temp)) ^ rcon[i / Nk];
        else if (Nk > 6 && i % Nk == 4)
            temp = cipher::aesct::subWord(temp);
        storeWord(loadWord(roundKeys + 4 * (i - Nk)) ^ temp, roundKeys + 4 * i);
        cipher::secureWipe(&temp, sizeof temp);
    }

#if defined(CIPHERBENCH_HAVE_AESNI)
    hardware = aesUsesHardware();
    if (hardware) {
        cipher::aesni::deriveInvKeys(roundKeys, Nr, invRoundKeys);
        return;
    }
#endif
    cipher::aesct::sliceRoundKeys(roundKeys, Nr, slicedKeys);
}

void AesContext::encryptBlocksEcb(const unsigned char *in, std::size_t blocks,
                                  const unsigned char *last, unsigned char *out)
{
#if defined(CIPHERBENCH_HAVE_AESNI)
    if (hardware)
        cipher::aesni::encryptEcb(roundKeys, Nr, in, blocks, last, out);
    else
#endif
        cipher::aesct::encryptEcb(slicedKeys, Nr, in, blocks, last, out);
    keepState(state, out + blockSize * blocks);
}

void AesContext::decryptBlocksEcb(const unsigned char *in, std::size_t blocks,
                                  unsigned char *out)
{
#if defined(CIPHERBENCH_HAVE_AESNI)
    if (hardware)
        cipher::aesni::decryptEcb(invRoundKeys, Nr, in, blocks, out);
    else
#endif
        cipher::aesct::decryptEcb(slicedKeys, Nr, in, blocks, out);
    keepState(state, out + blockSize * (blocks - 1));
}

void AesContext::encryptBlocksCbc(unsigned char *in, std::size_t blocks,
                                  const unsigned char *last, unsigned char *out,
                                  unsigned char *iv)
{
#if defined(CIPHERBENCH_HAVE_AESNI)
    if (hardware)
        cipher::aesni::encryptCbc(roundKeys, Nr, in, blocks, last, out, iv);
    else
#endif
        cipher::aesct::encryptCbc(slicedKeys, Nr, in, blocks, last, out, iv);
    keepState(state, out + blockSize * blocks);
}

void AesContext::decryptBlocksCbc(const unsigned char *in, std::size_t blocks,
                                  unsigned char *out, unsigned char *iv)
{
    // The state is the last block as InvCipher left it, before the chaining
    // value went in; that value may be overwritten by the output, so keep it.
    unsigned char lastChain[blockSize];
    std::memcpy(lastChain, blocks > 1 ? in + blockSize * (blocks - 2) : iv, blockSize);
#if defined(CIPHERBENCH_HAVE_AESNI)
    if (hardware)
        cipher::aesni::decryptCbc(invRoundKeys, Nr, in, blocks, out, iv);
    else
#endif
        cipher::aesct::decryptCbc(slicedKeys, Nr, in, blocks, out, iv);
    xorBlock(lastChain, out + blockSize * (blocks - 1));
    keepState(state, lastChain);
    cipher::secureWipe(lastChain, sizeof lastChain);
}

void AesContext::encryptBlock(const unsigned char *in, unsigned char *out)
{
    encryptBlocksEcb(nullptr, 0, in, out);
}

void AesContext::decryptBlock(const unsigned char *in, unsigned char *out)
{
    decryptBlocksEcb(in, 1, out);
}

AesCipher::AesCipher()
{
    static const char defaultKey[] = "qmtzrwdlkfpxnvob";
    setKey(16, defaultKey);
}

AesCipher::~AesCipher()
{
    delete context;
}

void AesCipher::setKey(int keyLength, const char *key)
{
    delete context;
    context = nullptr;
    // The length is checked before the key is touched, so a wrong length
    // never reads past the bytes the caller has.
    if (key == nullptr || (keyLength != 16 && keyLength != 24 && keyLength != 32))
        return;
    context = new (std::nothrow)
        AesContext(keyLength, reinterpret_cast<const unsigned char *>(key));
}

// Results are counted in int, so an input whose padded length would not fit
// is refused like any other failure.
static bool paddedLengthFits(unsigned int length)
{
    return length <= static_cast<unsigned int>(INT_MAX) - blockSize;
}

// The final block of an encryption: the r bytes left over, then 16 - r bytes
// of value 16 - r (a whole block of 10 hexadecimal when nothing is left over).
static void buildPaddingBlock(unsigned char *block, const unsigned char *rest, unsigned int r)
{
    if (r != 0)
        std::memcpy(block, rest, r);
    std::memset(block + r, static_cast<int>(blockSize - r), blockSize - r);
}

int AesCipher::encryptEcb(char *in, unsigned int length, char *out)
{
    if (context == nullptr || out == nullptr || (in == nullptr && length != 0)
        || !paddedLengthFits(length))
        return 0;
    const unsigned char *src = reinterpret_cast<const unsigned char *>(in);
    const unsigned int full = length / blockSize;
    unsigned char last[blockSize];
    buildPaddingBlock(last, src + full * blockSize, length % blockSize);
    context->encryptBlocksEcb(src, full, last, reinterpret_cast<unsigned char *>(out));
    cipher::secureWipe(last, sizeof last);
    return static_cast<int>((full + 1) * blockSize);
}

int AesCipher::decryptEcb(char *in, unsigned int length, unsigned char *out)
{
    if (context == nullptr || out == nullptr || in == nullptr || length == 0
        || length % blockSize != 0 || length > static_cast<unsigned int>(INT_MAX))
        return 0;
    context->decryptBlocksEcb(reinterpret_cast<const unsigned char *>(in), length / blockSize,
                              out);
    return removePadding(out, length);
}

int AesCipher::encryptCbc(char *in, unsigned int length, char *out, char *iv)
{
    if (context == nullptr || out == nullptr || iv == nullptr
        || (in == nullptr && length != 0) || !paddedLengthFits(length))
        return 0;
    // The chaining value is XORed into the caller's full blocks in place, so
    // the input buffer holds plaintext XOR chaining value afterwards: that is
    // the engine's documented behaviour, and it saves a copy.
    unsigned char *src = reinterpret_cast<unsigned char *>(in);
    const unsigned int full = length / blockSize;
    unsigned char last[blockSize];
    buildPaddingBlock(last, src + full * blockSize, length % blockSize);
    context->encryptBlocksCbc(src, full, last, reinterpret_cast<unsigned char *>(out),
                              reinterpret_cast<unsigned char *>(iv));
    cipher::secureWipe(last, sizeof last);
    return static_cast<int>((full + 1) * blockSize);
}

int AesCipher::decryptCbc(char *in, unsigned int length, unsigned char *out, char *iv)
{
    if (context == nullptr || out == nullptr || in == nullptr || iv == nullptr || length == 0
        || length % blockSize != 0 || length > static_cast<unsigned int>(INT_MAX))
        return 0;
    context->decryptBlocksCbc(reinterpret_cast<const unsigned char *>(in), length / blockSize,
                              out, reinterpret_cast<unsigned char *>(iv));
    return removePadding(out, length);
}
