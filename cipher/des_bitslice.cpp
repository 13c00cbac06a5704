#include "cipher/des_bitslice.h"

#include "cipher/acceleration.h"
#include "cipher/des_bitslice_core.h"

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

// A 6-bit group (the first bit the most significant) through S-box `box`'s
// circuit, one input word per bit.
template <int box>
unsigned char evaluateSBox(unsigned int group)
{
    std::uint64_t a[6], out[4] = {};
    for (int i = 0; i < 6; ++i)
        a[i] = 0 - std::uint64_t((group >> (5 - i)) & 1u);
    sBox<box>(a[0], a[1], a[2], a[3], a[4], a[5], out[0], out[1], out[2], out[3]);
    return static_cast<unsigned char>((out[0] & 8u) | (out[1] & 4u) | (out[2] & 2u) |
                                      (out[3] & 1u));
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
    if (accelerationInUse(Acceleration::Avx2Vectors)) {
        const std::size_t tail = total % vectorLanes;
        wide = tail <= 64 ? total - tail : total;
        if (wide != 0)
            runAvx2(job, 0, wide);
    }
#endif
    if (wide < total)
        runBlocks<std::uint64_t>(job, wide, total - wide);
}

unsigned char sBoxCircuit(int box, unsigned int group)
{
    using Evaluate = unsigned char (*)(unsigned int);
    static constexpr Evaluate boxes[8] = {evaluateSBox<0>, evaluateSBox<1>, evaluateSBox<2>,
                                          evaluateSBox<3>, evaluateSBox<4>, evaluateSBox<5>,
                                          evaluateSBox<6>, evaluateSBox<7>};
    return boxes[box & 7](group);
}

} // namespace desbs
} // namespace cipher
