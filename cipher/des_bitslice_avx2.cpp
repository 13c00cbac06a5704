// The vector batches: the same rounds on 256-bit words, 256 blocks at a
// time. Only this file is compiled for AVX2; des_bitslice.cpp calls it only
// after CPUID said the processor and the system support it.

#include "cipher/des_bitslice_core.h"

namespace {

typedef std::uint64_t Wide __attribute__((vector_size(32)));

template <>
struct Lanes<Wide>
{
    static constexpr int words = 4;
    static CIPHER_ALWAYS_INLINE Wide broadcast(std::uint64_t mask)
    {
        return Wide{mask, mask, mask, mask};
    }
    static CIPHER_ALWAYS_INLINE std::uint64_t &word(Wide &v, int g)
    {
        return reinterpret_cast<std::uint64_t *>(&v)[g];
    }
    static CIPHER_ALWAYS_INLINE Wide load(const unsigned char *p)
    {
        return Wide{loadBigEndian(p), loadBigEndian(p + 512), loadBigEndian(p + 1024),
                    loadBigEndian(p + 1536)};
    }
    static CIPHER_ALWAYS_INLINE void store(Wide v, unsigned char *p)
    {
        storeBigEndian(v[0], p);
        storeBigEndian(v[1], p + 512);
        storeBigEndian(v[2], p + 1024);
        storeBigEndian(v[3], p + 1536);
    }
};

} // namespace

void cipher::desbs::runAvx2(const Job &job, std::size_t first, std::size_t count)
{
    runBlocks<Wide>(job, first, count);
}
