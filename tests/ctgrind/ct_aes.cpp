// Constant-time check of the portable AES rounds, run under valgrind's
// memcheck (ctgrind's method): key, IV and data are marked undefined, so
// memcheck reports "Conditional jump or move depends on uninitialised
// value(s)" for any branch and "Use of uninitialised value" for any memory
// address computed from them, as a table lookup by a secret byte would be.
// The results are marked defined again before they are compared, so the
// check also proves the runs computed the right thing.
//
// Covered: key expansion (with SubWord), both block functions, both buffer
// encryptions, and the bulk of both buffer decryptions (every block through
// the rounds and the chaining). Not covered: the padding removal that ends a
// decryption, which by its nature branches on the last plaintext byte.

#include "cipher/aes.h"
#include "cipher/aes_ct.h"

#include <valgrind/memcheck.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

int failures = 0;

void expect(bool condition, const char *what, int keyLength)
{
    if (!condition) {
        std::printf("FAIL: AES-%d %s\n", keyLength * 8, what);
        ++failures;
    }
}

void secret(void *p, std::size_t size)
{
    VALGRIND_MAKE_MEM_UNDEFINED(p, size);
}

void published(void *p, std::size_t size)
{
    VALGRIND_MAKE_MEM_DEFINED(p, size);
}

std::vector<unsigned char> pattern(std::size_t size, unsigned int seed)
{
    std::vector<unsigned char> out(size);
    std::uint32_t x = seed;
    for (unsigned char &b : out) {
        x = x * 1103515245u + 12345u;
        b = static_cast<unsigned char>(x >> 16);
    }
    return out;
}

// FIPS-197 C.1 to C.3: key 00 01 02 ..., plaintext 00 11 22 ... ff.
void checkKeyLength(int keyLength)
{
    static const unsigned char expected[3][16] = {
        {0x69, 0xc4, 0xe0, 0xd8, 0x6a, 0x7b, 0x04, 0x30, 0xd8, 0xcd, 0xb7, 0x80, 0x70, 0xb4, 0xc5,
         0x5a},
        {0xdd, 0xa9, 0x7c, 0xa4, 0x86, 0x4c, 0xdf, 0xe0, 0x6e, 0xaf, 0x70, 0xa0, 0xec, 0x0d, 0x71,
         0x91},
        {0x8e, 0xa2, 0xb7, 0xca, 0x51, 0x67, 0x45, 0xbf, 0xea, 0xfc, 0x49, 0x90, 0x4b, 0x49, 0x60,
         0x89},
    };
    unsigned char key[32], plain[16], cipherBlock[16], back[16];
    for (int i = 0; i < 32; ++i)
        key[i] = static_cast<unsigned char>(i);
    for (int i = 0; i < 16; ++i)
        plain[i] = static_cast<unsigned char>(0x11 * i);
    secret(key, sizeof key);
    secret(plain, sizeof plain);

    // Key expansion (the constructor runs it) and both block functions.
    AesContext context(keyLength, key);
    context.encryptBlock(plain, cipherBlock);
    context.decryptBlock(cipherBlock, back);
    published(cipherBlock, sizeof cipherBlock);
    published(back, sizeof back);
    published(plain, sizeof plain);
    expect(std::memcmp(cipherBlock, expected[keyLength / 8 - 2], 16) == 0, "encryptBlock",
           keyLength);
    expect(std::memcmp(back, plain, 16) == 0, "decryptBlock", keyLength);

    // Both buffer encryptions over several groups of blocks and a partial
    // tail, so every path through the multi-block code runs.
    const unsigned int length = 150;
    const std::vector<unsigned char> message = pattern(length, unsigned(keyLength));
    const std::vector<unsigned char> ivStart = pattern(16, 99);
    std::vector<char> ecbIn(message.begin(), message.end()), cbcIn = ecbIn;
    std::vector<char> iv(ivStart.begin(), ivStart.end());
    std::vector<char> ecbOut(length + 16), cbcOut(length + 16);

    AesCipher engine;
    engine.setKey(keyLength, reinterpret_cast<const char *>(key));
    secret(ecbIn.data(), length);
    secret(cbcIn.data(), length);
    secret(iv.data(), iv.size());
    const int ecbWritten = engine.encryptEcb(ecbIn.data(), length, ecbOut.data());
    const int cbcWritten = engine.encryptCbc(cbcIn.data(), length, cbcOut.data(), iv.data());
    published(ecbOut.data(), ecbOut.size());
    published(cbcOut.data(), cbcOut.size());
    published(iv.data(), iv.size());
    published(cbcIn.data(), cbcIn.size());
    expect(ecbWritten == 160 && cbcWritten == 160, "buffer encryption lengths", keyLength);
    expect(std::memcmp(iv.data(), cbcOut.data() + 144, 16) == 0, "CBC IV update", keyLength);

    // The decryptions' block work, without the final padding step: the
    // rounds and chaining on secret cipher text, through the same functions
    // the buffer decryptions call.
    std::vector<std::uint64_t> sliced(16 * std::size_t(context.Nr + 1));
    cipher::aesct::sliceRoundKeys(context.roundKeys, context.Nr, sliced.data());
    std::vector<unsigned char> ecbCipher(ecbOut.begin(), ecbOut.end());
    std::vector<unsigned char> cbcCipher(cbcOut.begin(), cbcOut.end());
    std::vector<unsigned char> ecbPlain(160), cbcPlain(160);
    std::vector<unsigned char> chain(ivStart);
    secret(ecbCipher.data(), ecbCipher.size());
    secret(cbcCipher.data(), cbcCipher.size());
    secret(chain.data(), chain.size());
    cipher::aesct::decryptEcb(sliced.data(), context.Nr, ecbCipher.data(), 10, ecbPlain.data());
    cipher::aesct::decryptCbc(sliced.data(), context.Nr, cbcCipher.data(), 10, cbcPlain.data(),
                              chain.data());
    published(ecbPlain.data(), ecbPlain.size());
    published(cbcPlain.data(), cbcPlain.size());
    expect(std::memcmp(ecbPlain.data(), message.data(), length) == 0, "ECB decryption", keyLength);
    expect(std::memcmp(cbcPlain.data(), message.data(), length) == 0, "CBC decryption", keyLength);
    expect(ecbPlain[159] == 10 && cbcPlain[159] == 10, "padding block", keyLength);
}

} // namespace

int main()
{
    aesForcePortable(true);
    if (aesUsesHardware()) {
        std::printf("FAIL: the portable rounds could not be forced\n");
        return 1;
    }
    if (!RUNNING_ON_VALGRIND)
        std::printf("note: not under valgrind, only the results are checked\n");
    for (int keyLength : {16, 24, 32})
        checkKeyLength(keyLength);
    if (failures != 0)
        return 1;
    std::printf("AES portable rounds: key expansion, block functions, ECB and CBC ran on "
                "secret key and data (AES-128, -192, -256)\n");
    return 0;
}
