#ifndef CIPHERBENCH_CIPHER_DETAIL_H
#define CIPHERBENCH_CIPHER_DETAIL_H

// Internals shared by the engines and their self-checks; not part of the
// interface the window code uses.

#include "cipher/wipe.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

// The bit-sliced rounds keep their state in registers only if every step is
// inlined, which -O2 alone does not do.
#if defined(__GNUC__)
#define CIPHER_ALWAYS_INLINE inline __attribute__((always_inline))
#elif defined(_MSC_VER)
#define CIPHER_ALWAYS_INLINE __forceinline
#else
#define CIPHER_ALWAYS_INLINE inline
#endif

namespace cipher {

// The block sizes of FIPS-197 and FIPS 46-3, in bytes.
constexpr int aesBlockSize = 16;
constexpr int desBlockSize = 8;

// FIPS 46-3 S1..S8; entry [box][row * 16 + column].
const unsigned char (*desSBoxes())[64];

// A little-endian 32-bit word: byte j is bits 8j to 8j + 7, as the AES key
// schedule and the bit-sliced lanes read and write them.
CIPHER_ALWAYS_INLINE std::uint32_t loadWord(const unsigned char *p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

CIPHER_ALWAYS_INLINE void storeWord(std::uint32_t w, unsigned char *p)
{
    p[0] = static_cast<unsigned char>(w);
    p[1] = static_cast<unsigned char>(w >> 8);
    p[2] = static_cast<unsigned char>(w >> 16);
    p[3] = static_cast<unsigned char>(w >> 24);
}

// XORs one AES block into another.
inline void xorBlock(unsigned char *block, const unsigned char *with)
{
    for (std::size_t i = 0; i < aesBlockSize; ++i)
        block[i] ^= with[i];
}

} // namespace cipher

#endif
