#include "cipher/aes.h"

#include "cipher/detail.h"

#include "cipher/acceleration.h"
#include "cipher/aes_ct.h"
#if defined(CIPHERBENCH_HAVE_AESNI)
#include "cipher/aes_ni.h"
#endif

#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// FIPS-197 section 5.2, the round constants: Rcon[i] is the word
// (rcon[i], 00, 00, 00) for i = 1 to 10; entry 0 is never used.
static const unsigned char rcon[11] = {
    0x00, 0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80, 0x1b, 0x36,
};

// FIPS-197 5.2 RotWord on a key word whose byte j is bits 8j to 8j + 7:
// (a0, a1, a2, a3) becomes (a1, a2, a3, a0).
inline std::uint32_t rotWord(std::uint32_t w)
{
    return (w >> 8) | (w << 24);
}

// The state field keeps the matrix of the last block row by row (row r,
// column c at 4r + c); blocks travel column by column.
inline void keepState(unsigned char *state, const unsigned char *block)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            state[4 * r + c] = block[4 * c + r];
}

// The last-byte padding rule shared by both decryptions: a last byte n of
// 1 to 16 clears the last n bytes and shortens the result by n, 0 keeps
// everything, anything larger is refused. Only that one byte is examined,
// so ISO 10126 and ANSI X.923 padding come off as well as PKCS#7, while zero
// padding, whose last byte is 0, stays in place.
int removePadding(unsigned char *out, unsigned int length)
{
    const unsigned int n = out[length - 1];
    if (n > cipher::aesBlockSize)
        return 0;
    std::memset(out + length - n, 0, n);
    return static_cast<int>(length - n);
}

} // namespace

bool aesKeyLengthValid(int keyLength)
{
    return keyLength == 16 || keyLength == 24 || keyLength == 32;
}

// The block work of one implementation, each function on the round keys in
// the form that implementation reads for its direction. expandKey picks one
// for the context.
struct AesContext::Rounds
{
    void (*encryptEcb)(const AesContext &, const unsigned char *in, std::size_t blocks,
                       const unsigned char *last, unsigned char *out);
    void (*decryptEcb)(const AesContext &, const unsigned char *in, std::size_t blocks,
                       unsigned char *out);
    void (*encryptCbc)(const AesContext &, unsigned char *in, std::size_t blocks,
                       const unsigned char *last, unsigned char *out, unsigned char *iv);
    void (*decryptCbc)(const AesContext &, const unsigned char *in, std::size_t blocks,
                       unsigned char *out, unsigned char *iv);

    // Binds an implementation's four functions to the context's keys.
    template <class Keys, Keys AesContext::*enc, Keys AesContext::*dec, auto encEcb, auto decEcb,
              auto encCbc, auto decCbc>
    static constexpr Rounds bind()
    {
        return {
            [](const AesContext &c, const unsigned char *in, std::size_t blocks,
               const unsigned char *last,
               unsigned char *out) { encEcb(c.*enc, c.Nr, in, blocks, last, out); },
            [](const AesContext &c, const unsigned char *in, std::size_t blocks,
               unsigned char *out) { decEcb(c.*dec, c.Nr, in, blocks, out); },
            [](const AesContext &c, unsigned char *in, std::size_t blocks,
               const unsigned char *last, unsigned char *out,
               unsigned char *iv) { encCbc(c.*enc, c.Nr, in, blocks, last, out, iv); },
            [](const AesContext &c, const unsigned char *in, std::size_t blocks, unsigned char *out,
               unsigned char *iv) { decCbc(c.*dec, c.Nr, in, blocks, out, iv); },
        };
    }

    static const Rounds portable;
#if defined(CIPHERBENCH_HAVE_AESNI)
    static const Rounds instructions;
#endif
};

const AesContext::Rounds AesContext::Rounds::portable =
    bind<std::uint64_t[240], &AesContext::slicedKeys, &AesContext::slicedKeys,
         cipher::aesct::encryptEcb, cipher::aesct::decryptEcb, cipher::aesct::encryptCbc,
         cipher::aesct::decryptCbc>();

#if defined(CIPHERBENCH_HAVE_AESNI)
// The instructions encrypt from roundKeys itself.
const AesContext::Rounds AesContext::Rounds::instructions =
    bind<unsigned char[240], &AesContext::roundKeys, &AesContext::invRoundKeys,
         cipher::aesni::encryptEcb, cipher::aesni::decryptEcb, cipher::aesni::encryptCbc,
         cipher::aesni::decryptCbc>();
#endif

bool aesUsesHardware()
{
    return cipher::accelerationInUse(cipher::Acceleration::AesInstructions);
}

void aesForcePortable(bool force)
{
    cipher::forcePortable(cipher::Acceleration::AesInstructions, force);
}

AesContext::AesContext(int keyLength, const unsigned char *key)
    : state{}, Nb(4), Nk(0), Nr(0), key{}, roundKeys{}, slicedKeys{}, invRoundKeys{},
      rounds(&Rounds::portable)
{
    // Any other length leaves Nk = Nr = 0 and an all-zero schedule: such a
    // context computes nothing meaningful, but never reads past its keys.
    if (key != nullptr && aesKeyLengthValid(keyLength)) {
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
}

// FIPS-197 5.2 KeyExpansion, SubWord computed by the constant-time circuit.
void AesContext::expandKey()
{
    std::memset(roundKeys, 0, sizeof roundKeys);
    std::memset(slicedKeys, 0, sizeof slicedKeys);
    std::memset(invRoundKeys, 0, sizeof invRoundKeys);
    rounds = &Rounds::portable;
    if (Nk == 0)
        return;
    std::memcpy(roundKeys, key, 4 * static_cast<std::size_t>(Nk));
    const int words = Nb * (Nr + 1);
    for (int i = Nk; i < words; ++i) {
        std::uint32_t temp = cipher::loadWord(roundKeys + 4 * (i - 1));
        if (i % Nk == 0)
            temp = cipher::aesct::subWord(rotWord(temp)) ^ rcon[i / Nk];
        else if (Nk > 6 && i % Nk == 4)
            temp = cipher::aesct::subWord(temp);
        cipher::storeWord(cipher::loadWord(roundKeys + 4 * (i - Nk)) ^ temp, roundKeys + 4 * i);
        cipher::secureWipe(&temp, sizeof temp);
    }

#if defined(CIPHERBENCH_HAVE_AESNI)
    if (aesUsesHardware()) {
        cipher::aesni::deriveInvKeys(roundKeys, Nr, invRoundKeys);
        rounds = &Rounds::instructions;
        return;
    }
#endif
    cipher::aesct::sliceRoundKeys(roundKeys, Nr, slicedKeys);
}

void AesContext::encryptBlocksEcb(const unsigned char *in, std::size_t blocks,
                                  const unsigned char *last, unsigned char *out)
{
    rounds->encryptEcb(*this, in, blocks, last, out);
    keepState(state, out + cipher::aesBlockSize * blocks);
}

void AesContext::decryptBlocksEcb(const unsigned char *in, std::size_t blocks, unsigned char *out)
{
    rounds->decryptEcb(*this, in, blocks, out);
    keepState(state, out + cipher::aesBlockSize * (blocks - 1));
}

void AesContext::encryptBlocksCbc(unsigned char *in, std::size_t blocks, const unsigned char *last,
                                  unsigned char *out, unsigned char *iv)
{
    rounds->encryptCbc(*this, in, blocks, last, out, iv);
    keepState(state, out + cipher::aesBlockSize * blocks);
}

void AesContext::decryptBlocksCbc(const unsigned char *in, std::size_t blocks, unsigned char *out,
                                  unsigned char *iv)
{
    // The state is the last block as InvCipher left it, before the chaining
    // value went in; that value may be overwritten by the output, so keep it.
    unsigned char lastChain[cipher::aesBlockSize];
    std::memcpy(lastChain, blocks > 1 ? in + cipher::aesBlockSize * (blocks - 2) : iv,
                cipher::aesBlockSize);
    rounds->decryptCbc(*this, in, blocks, out, iv);
    cipher::xorBlock(lastChain, out + cipher::aesBlockSize * (blocks - 1));
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
    if (key == nullptr || !aesKeyLengthValid(keyLength))
        return;
    context =
        new (std::nothrow) AesContext(keyLength, reinterpret_cast<const unsigned char *>(key));
}

// Results are counted in int, so an input whose padded length would not fit
// is refused like any other failure.
static bool paddedLengthFits(unsigned int length)
{
    return length <= static_cast<unsigned int>(INT_MAX) - cipher::aesBlockSize;
}

// The final block of an encryption: the r bytes left over, then 16 - r bytes
// of value 16 - r (a whole block of 10 hexadecimal when nothing is left over).
static void buildPaddingBlock(unsigned char *block, const unsigned char *rest, unsigned int r)
{
    if (r != 0)
        std::memcpy(block, rest, r);
    std::memset(block + r, static_cast<int>(cipher::aesBlockSize - r), cipher::aesBlockSize - r);
}

int AesCipher::encryptEcb(char *in, unsigned int length, char *out)
{
    if (context == nullptr || out == nullptr || (in == nullptr && length != 0) ||
        !paddedLengthFits(length))
        return 0;
    const unsigned char *src = reinterpret_cast<const unsigned char *>(in);
    const unsigned int full = length / cipher::aesBlockSize;
    unsigned char last[cipher::aesBlockSize];
    buildPaddingBlock(last, src + full * cipher::aesBlockSize, length % cipher::aesBlockSize);
    context->encryptBlocksEcb(src, full, last, reinterpret_cast<unsigned char *>(out));
    cipher::secureWipe(last, sizeof last);
    return static_cast<int>((full + 1) * cipher::aesBlockSize);
}

int AesCipher::decryptEcb(char *in, unsigned int length, unsigned char *out)
{
    if (context == nullptr || out == nullptr || in == nullptr || length == 0 ||
        length % cipher::aesBlockSize != 0 || length > static_cast<unsigned int>(INT_MAX))
        return 0;
    context->decryptBlocksEcb(reinterpret_cast<const unsigned char *>(in),
                              length / cipher::aesBlockSize, out);
    return removePadding(out, length);
}

int AesCipher::encryptCbc(char *in, unsigned int length, char *out, char *iv)
{
    if (context == nullptr || out == nullptr || iv == nullptr || (in == nullptr && length != 0) ||
        !paddedLengthFits(length))
        return 0;
    // The chaining value is XORed into the caller's full blocks in place, so
    // the input buffer holds plaintext XOR chaining value afterwards: that is
    // the engine's documented behaviour, and it saves a copy.
    unsigned char *src = reinterpret_cast<unsigned char *>(in);
    const unsigned int full = length / cipher::aesBlockSize;
    unsigned char last[cipher::aesBlockSize];
    buildPaddingBlock(last, src + full * cipher::aesBlockSize, length % cipher::aesBlockSize);
    context->encryptBlocksCbc(src, full, last, reinterpret_cast<unsigned char *>(out),
                              reinterpret_cast<unsigned char *>(iv));
    cipher::secureWipe(last, sizeof last);
    return static_cast<int>((full + 1) * cipher::aesBlockSize);
}

int AesCipher::decryptCbc(char *in, unsigned int length, unsigned char *out, char *iv)
{
    if (context == nullptr || out == nullptr || in == nullptr || iv == nullptr || length == 0 ||
        length % cipher::aesBlockSize != 0 || length > static_cast<unsigned int>(INT_MAX))
        return 0;
    context->decryptBlocksCbc(reinterpret_cast<const unsigned char *>(in),
                              length / cipher::aesBlockSize, out,
                              reinterpret_cast<unsigned char *>(iv));
    return removePadding(out, length);
}
