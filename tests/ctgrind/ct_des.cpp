// Constant-time check of the DES engine, run under valgrind's memcheck
// (ctgrind's method): keys and data are marked undefined, so memcheck
// reports "Conditional jump or move depends on uninitialised value(s)" for
// any branch and "Use of uninitialised value" for any memory address
// computed from them, as a table lookup by a secret bit would be. The
// results are marked defined again before they are compared, so the check
// also proves the runs computed the right thing.
//
// Covered, on the portable batches and (where the processor has AVX2) the
// vector batches: the key schedule of both slots, both block functions and
// all four buffer operations, over lengths that fill vector and portable
// batches, leave one partly filled and end in a partial block.

#include "cipher/des.h"

#include <valgrind/memcheck.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

int failures = 0;

void expect(bool condition, const char *what, const char *path)
{
    if (!condition) {
        std::printf("FAIL: %s (%s)\n", what, path);
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

std::vector<char> pattern(std::size_t size, unsigned int seed)
{
    std::vector<char> out(size);
    std::uint32_t x = seed;
    for (char &b : out) {
        x = x * 1103515245u + 12345u;
        b = static_cast<char>(x >> 16);
    }
    return out;
}

// One buffer operation on secret input; returns the published output.
template <class Operation>
std::vector<char> runSecret(const std::vector<char> &input, Operation operation)
{
    std::vector<char> in(input), out(input.size() + 9);
    secret(in.data(), in.size());
    const int written = operation(in.data(), int(in.size()), out.data());
    published(out.data(), out.size());
    out.resize(std::size_t(written));
    return out;
}

std::vector<char> zeroFilled(std::vector<char> data)
{
    data.resize((data.size() + 7) / 8 * 8, 0);
    return data;
}

void checkPath(const char *path)
{
    // FIPS 81: key 0123456789ABCDEF, "Now is t" encrypts to 3FA40E8A984D4815.
    char key1[8] = {0x01, 0x23, 0x45, 0x67, char(0x89), char(0xAB), char(0xCD), char(0xEF)};
    char key2[8] = {0x23, 0x45, 0x67, char(0x89), char(0xAB), char(0xCD), char(0xEF), 0x01};
    char plain[8] = {'N', 'o', 'w', ' ', 'i', 's', ' ', 't'};
    const unsigned char expected[8] = {0x3F, 0xA4, 0x0E, 0x8A, 0x98, 0x4D, 0x48, 0x15};
    secret(key1, sizeof key1);
    secret(key2, sizeof key2);
    secret(plain, sizeof plain);

    DesContext context;
    context.setSubKey(key1, 0);
    context.setSubKey(key2, 1);
    context.encryptDesBlock(plain, 0);
    char cipherBlock[8];
    std::memcpy(cipherBlock, context.encOut, 8);
    context.decryptDesBlock(cipherBlock, 0);
    published(context.encOut, 8);
    published(context.decOut, 8);
    published(plain, sizeof plain);
    expect(std::memcmp(context.encOut, expected, 8) == 0, "encryptDesBlock", path);
    expect(std::memcmp(context.decOut, plain, 8) == 0, "decryptDesBlock", path);

    for (std::size_t length : {std::size_t(2405), std::size_t(803), std::size_t(5)}) {
        const std::vector<char> message = pattern(length, unsigned(length));
        const auto des = [&](const std::vector<char> &in, bool encrypt) {
            return runSecret(in, [&](const char *p, int n, char *o) {
                return encrypt ? context.encryptDes(p, n, o) : context.decryptDes(p, n, o);
            });
        };
        const auto tdes = [&](const std::vector<char> &in, bool encrypt) {
            return runSecret(in, [&](const char *p, int n, char *o) {
                return encrypt ? context.encrypt3Des(p, n, o) : context.decrypt3Des(p, n, o);
            });
        };
        const std::vector<char> desCipher = des(message, true);
        const std::vector<char> tdesCipher = tdes(message, true);
        expect(desCipher.size() == (length + 7) / 8 * 8, "encryptDes length", path);
        expect(des(desCipher, false) == zeroFilled(message), "decryptDes", path);
        expect(tdes(tdesCipher, false) == zeroFilled(message), "decrypt3Des", path);
        expect(tdesCipher != desCipher, "encrypt3Des uses K2", path);
        published(context.encOut, 8);
        published(context.decOut, 8);
    }
}

} // namespace

int main()
{
    if (!RUNNING_ON_VALGRIND)
        std::printf("note: not under valgrind, only the results are checked\n");
    const bool vectors = desUsesVectors();
    desForcePortable(true);
    if (desUsesVectors()) {
        std::printf("FAIL: the portable batches could not be forced\n");
        return 1;
    }
    checkPath("portable batches");
    if (vectors) {
        desForcePortable(false);
        checkPath("AVX2 batches");
    }
    if (failures != 0)
        return 1;
    std::printf("DES: key schedule, block functions and the four buffer operations ran on secret "
                "keys and data (portable batches%s)\n",
                vectors ? " and AVX2 batches" : "; no AVX2 on this processor");
    return 0;
}
