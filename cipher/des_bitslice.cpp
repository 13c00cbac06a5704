#include "cipher/des_bitslice.h"

#include "cipher/des_bitslice_core.h"

#if defined(CIPHERBENCH_HAVE_AVX2)
#include <cpuid.h>
#endif

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {

template <>
struct Lanes<std::uint64_t>
{
    static constexpr int words = 1;
    static CIPHER_ALWAYS_INLINE std::uint64_t broadcast(std::uint64_t mask) { return mask; }
    static CIPHER_ALWAYS_INLINE std::uint64_t &word(std::uint64_t &v, int) { return v; }
    static CIPHER_ALWAYS_INLINE std::uint64_t load(const unsigned char *p)
    {
        return loadBigEndian(p);
    }
    static CIPHER_ALWAYS_INLINE void store(std::uint64_t v, unsigned char *p)
    {
        storeBigEndian(v, p);
    }
};

// Blocks per vector batch.
const std::size_t vectorLanes = 256;

bool processorHasAvx2()
{
#if defined(CIPHERBENCH_HAVE_AVX2)
    // CPUID leaf 1, ECX: bit 27 OSXSAVE, bit 28 AVX; the system must also
    // save the YMM registers (XCR0 bits 1 and 2); leaf 7, EBX bit 5: AVX2.
    unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0)
        return false;
    if ((ecx & (1u << 27)) == 0 || (ecx & (1u << 28)) == 0)
        return false;
    unsigned int xcr0 = 0, xcr0High = 0;
    __asm__("xgetbv" : "=a"(xcr0), "=d"(xcr0High) : "c"(0));
    if ((xcr0 & 6u) != 6u)
        return false;
    if (__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) == 0)
        return false;
    return (ebx & (1u << 5)) != 0;
#else
    return false;
#endif
}

// Both read once, on first use.
struct PathChoice
{
    const bool vectorsAvailable = processorHasAvx2();
    std::atomic<bool> portableForced{cipher::environmentAsksPortable("CIPHERBENCH_DES_PORTABLE")};
};

PathChoice &pathChoice()
{
    static PathChoice choice;
    return choice;
}

} // namespace

namespace cipher {
namespace desbs {

void expandKeyMasks(const unsigned char (*subKeys)[48], unsigned char (*masks)[48])
{
    for (int round = 0; round < 16; ++round)
        for (int j = 0; j < 48; ++j)
            masks[round][j] = static_cast<unsigned char>(0 - (subKeys[round][j] & 1u));
}

void run(const Job &job)
{
    const std::size_t total = jobTotal(job);
    std::size_t wide = 0;
#if defined(CIPHERBENCH_HAVE_AVX2)
    // A vector batch costs about what a 64-block one does, so vectors take
    // everything but a remainder that one 64-block batch holds.
    if (usesVectors()) {
        const std::size_t tail = total % vectorLanes;
        wide = tail <= 64 ? total - tail : total;
        if (wide != 0)
            runAvx2(job, 0, wide);
    }
#endif
    if (wide < total)
        runBlocks<std::uint64_t>(job, wide, total - wide);
}

bool usesVectors()
{
    PathChoice &choice = pathChoice();
    return choice.vectorsAvailable && !choice.portableForced.load();
}

void forcePortable(bool force)
{
    pathChoice().portableForced.store(force);
}

unsigned char sBoxCircuit(int box, unsigned int group)
{
    std::uint64_t a[6], out[4] = {};
    for (int i = 0; i < 6; ++i)
        a[i] = 0 - std::uint64_t((group >> (5 - i)) & 1u);
    switch (box) {
    case 0: s1(a[0], a[1], a[2], a[3], a[4], a[5], out[0], out[1], out[2], out[3]); break;
    case 1: s2(a[0], a[1], a[2], a[3], a[4], a[5], out[0], out[1], out[2], out[3]); break;
    case 2: s3(a[0], a[1], a[2], a[3], a[4], a[5], out[0], out[1], out[2], out[3]); break;
    case 3: s4(a[0], a[1], a[2], a[3], a[4], a[5], out[0], out[1], out[2], out[3]); break;
    case 4: s5(a[0], a[1], a[2], a[3], a[4], a[5], out[0], out[1], out[2], out[3]); break;
    case 5: s6(a[0], a[1], a[2], a[3], a[4], a[5], out[0], out[1], out[2], out[3]); break;
    case 6: s7(a[0], a[1], a[2], a[3], a[4], a[5], out[0], out[1], out[2], out[3]); break;
    default: s8(a[0], a[1], a[2], a[3], a[4], a[5], out[0], out[1], out[2], out[3]); break;
    }
    return static_cast<unsigned char>((out[0] & 8u) | (out[1] & 4u) | (out[2] & 2u) |
                                      (out[3] & 1u));
}

} // namespace desbs
} // namespace cipher
