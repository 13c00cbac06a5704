#ifndef CIPHERBENCH_CIPHER_DES_BITSLICE_H
#define CIPHERBENCH_CIPHER_DES_BITSLICE_H

// The DES block function for many blocks at once, bit-sliced: every block of
// a batch goes through the same gates, and no branch or memory address
// depends on key or data. Batches are 64 blocks in 64-bit words everywhere;
// on x86-64 processors with AVX2 (detected at run time) long runs go 256
// blocks at a time in vectors. The functions only compute; DesContext keeps
// the engine's buffer contract.

#include <cstddef>
#include <cstdint>

namespace cipher {
namespace desbs {

// One DES pass: the 16 subkeys, each bit as a byte of all zeros or all ones
// (expandKeyMasks), and the direction.
struct Pass
{
    const unsigned char (*keys)[48];
    bool decrypt;
};

// A sequence of blocks through one or more passes (E K1, D K2, E K1 for
// triple DES): `blocks` full blocks from `in`, then the block `last` if it is
// not null, to `out`, all in one call. With `middle` set and more than one
// pass, `middle` receives the final block as the pass before the last one
// left it. `out` may be `in`.
struct Job
{
    const Pass *passes;
    int passCount;
    const unsigned char *in;
    std::size_t blocks;
    const unsigned char *last;
    unsigned char *out;
    unsigned char *middle;
};

// subKeys: the 16 rounds' 48 bits, one byte (0 or 1) per bit.
void expandKeyMasks(const unsigned char (*subKeys)[48], unsigned char (*masks)[48]);

void run(const Job &job);

// S-box `box` (0 to 7) as its circuit computes it for one 6-bit group (the
// first bit the most significant), so it can be checked against FIPS 46-3.
unsigned char sBoxCircuit(int box, unsigned int group);

#if defined(CIPHERBENCH_HAVE_AVX2)
// The vector batches; des_bitslice_avx2.cpp, built for AVX2, holds them.
void runAvx2(const Job &job, std::size_t first, std::size_t count);
#endif

} // namespace desbs
} // namespace cipher

#endif
