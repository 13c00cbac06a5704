#ifndef CIPHERBENCH_CIPHER_DES_BITSLICE_CORE_H
#define CIPHERBENCH_CIPHER_DES_BITSLICE_CORE_H

// The bit-sliced DES rounds, written once for any lane word: a 64-bit
// integer (64 blocks per batch) or a compiler vector of them. Slice i of a
// batch holds bit i + 1 (FIPS 46-3 numbering) of every block in the batch, so
// IP, E, P and IP^-1 become fixed choices of slices and each S-box a Boolean
// circuit: no branch and no memory address depends on a key or data bit.
//
// Included by des_bitslice.cpp and des_bitslice_avx2.cpp only. Everything is
// in an unnamed namespace and nothing from outside is inlined into it, so
// the copy built for AVX2 can never stand in for the portable one.
//
// A lane type V supplies Lanes<V>: `words` (64-bit words per lane word),
// `broadcast` (one 64-bit mask into every word), `word` (word g), and `load`
// and `store` (word g the big-endian block at byte 512 g).

#include "cipher/des_bitslice.h"
#include "cipher/detail.h"
#include "cipher/generated/des_sbox_circuits.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

template <class V>
struct Lanes;

// The FIPS 46-3 tables the rounds read. Entries are bit numbers counted from
// 1 at the most significant bit of the first byte; output bit i is input bit
// table[i - 1]. They keep the standard's rows.
// clang-format off

// IP, the initial permutation.
constexpr unsigned char initialPermutation[64] = {
    58, 50, 42, 34, 26, 18, 10, 2,
    60, 52, 44, 36, 28, 20, 12, 4,
    62, 54, 46, 38, 30, 22, 14, 6,
    64, 56, 48, 40, 32, 24, 16, 8,
    57, 49, 41, 33, 25, 17, 9,  1,
    59, 51, 43, 35, 27, 19, 11, 3,
    61, 53, 45, 37, 29, 21, 13, 5,
    63, 55, 47, 39, 31, 23, 15, 7,
};

// IP^-1, the inverse of the initial permutation.
constexpr unsigned char finalPermutation[64] = {
    40, 8, 48, 16, 56, 24, 64, 32,
    39, 7, 47, 15, 55, 23, 63, 31,
    38, 6, 46, 14, 54, 22, 62, 30,
    37, 5, 45, 13, 53, 21, 61, 29,
    36, 4, 44, 12, 52, 20, 60, 28,
    35, 3, 43, 11, 51, 19, 59, 27,
    34, 2, 42, 10, 50, 18, 58, 26,
    33, 1, 41, 9,  49, 17, 57, 25,
};

// E, the bit-selection table: 32 bits of R to 48.
constexpr unsigned char expansion[48] = {
    32, 1,  2,  3,  4,  5,
    4,  5,  6,  7,  8,  9,
    8,  9,  10, 11, 12, 13,
    12, 13, 14, 15, 16, 17,
    16, 17, 18, 19, 20, 21,
    20, 21, 22, 23, 24, 25,
    24, 25, 26, 27, 28, 29,
    28, 29, 30, 31, 32, 1,
};

// P, the permutation of the S-box outputs.
constexpr unsigned char permutation[32] = {
    16, 7,  20, 21,
    29, 12, 28, 17,
    1,  15, 23, 26,
    5,  18, 31, 10,
    2,  8,  24, 14,
    32, 27, 3,  9,
    19, 13, 30, 6,
    22, 11, 4,  25,
};

// clang-format on

// Where P sends each S-box output bit: f bit (0-based) of output bit 4k + j
// (S-box k + 1, its bit j + 1), so a circuit XORs its outputs straight into L.
struct OutputPositions
{
    unsigned char of[32];
};

constexpr OutputPositions invertPermutation()
{
    OutputPositions p{};
    for (int i = 0; i < 32; ++i)
        p.of[permutation[i] - 1] = static_cast<unsigned char>(i);
    return p;
}

constexpr OutputPositions sBoxOutputPosition = invertPermutation();

// The eight S-boxes are gate circuits of AND, OR, XOR, NOT and AND-NOT
// (`a & ~b`, one instruction wherever vectors have it), in
// cipher/generated/des_sbox_circuits.h. Our generator, tools/sboxgen/desgen.cpp,
// derives them from the FIPS 46-3 tables by the search M. Kwan describes in
// "Reducing the gate count of bitslice DES" (2000), then improves them by
// remaking sets of outputs from the other outputs' gates: 382 gates in all
// (S1 to S8: 53, 48, 48, 37, 52, 48, 49, 47).
// desSBoxN takes the six bits of its group, a1 first, and XORs the four
// output bits, out1 the most significant, into out1..out4.
template <int box, class V>
CIPHER_ALWAYS_INLINE void sBox(V a1, V a2, V a3, V a4, V a5, V a6, V &o1, V &o2, V &o3, V &o4)
{
    if constexpr (box == 0)
        desSBox1(a1, a2, a3, a4, a5, a6, o1, o2, o3, o4);
    else if constexpr (box == 1)
        desSBox2(a1, a2, a3, a4, a5, a6, o1, o2, o3, o4);
    else if constexpr (box == 2)
        desSBox3(a1, a2, a3, a4, a5, a6, o1, o2, o3, o4);
    else if constexpr (box == 3)
        desSBox4(a1, a2, a3, a4, a5, a6, o1, o2, o3, o4);
    else if constexpr (box == 4)
        desSBox5(a1, a2, a3, a4, a5, a6, o1, o2, o3, o4);
    else if constexpr (box == 5)
        desSBox6(a1, a2, a3, a4, a5, a6, o1, o2, o3, o4);
    else if constexpr (box == 6)
        desSBox7(a1, a2, a3, a4, a5, a6, o1, o2, o3, o4);
    else
        desSBox8(a1, a2, a3, a4, a5, a6, o1, o2, o3, o4);
}

// A subkey bit's mask byte (0x00 or 0xff) sign-extended to a word mask.
template <class V>
CIPHER_ALWAYS_INLINE V keyMask(unsigned char mask)
{
    return Lanes<V>::broadcast(std::uint64_t(std::int64_t(static_cast<signed char>(mask))));
}

// S-box `box` of f(R, K) = P(S(E(R) XOR K)), XORed into L: E picks the six R
// slices, the subkey bits come as all-zero or all-one masks.
template <int box, class V>
CIPHER_ALWAYS_INLINE void feistelBox(const V *r, const unsigned char *k, V *l)
{
    constexpr int e = 6 * box;
    constexpr int o = 4 * box;
    sBox<box>(r[expansion[e] - 1] ^ keyMask<V>(k[e]),
              r[expansion[e + 1] - 1] ^ keyMask<V>(k[e + 1]),
              r[expansion[e + 2] - 1] ^ keyMask<V>(k[e + 2]),
              r[expansion[e + 3] - 1] ^ keyMask<V>(k[e + 3]),
              r[expansion[e + 4] - 1] ^ keyMask<V>(k[e + 4]),
              r[expansion[e + 5] - 1] ^ keyMask<V>(k[e + 5]), l[sBoxOutputPosition.of[o]],
              l[sBoxOutputPosition.of[o + 1]], l[sBoxOutputPosition.of[o + 2]],
              l[sBoxOutputPosition.of[o + 3]]);
}

// One round, L ^= f(R, K); the caller swaps the halves' roles.
template <class V>
void feistelRound(const V *r, V *l, const unsigned char *k)
{
    feistelBox<0>(r, k, l);
    feistelBox<1>(r, k, l);
    feistelBox<2>(r, k, l);
    feistelBox<3>(r, k, l);
    feistelBox<4>(r, k, l);
    feistelBox<5>(r, k, l);
    feistelBox<6>(r, k, l);
    feistelBox<7>(r, k, l);
}

// Sixteen rounds on L0 (l) and R0 (r), which then hold L16 and R16. Decryption
// takes the subkeys from round 16 down.
template <class V>
void desRounds(V *l, V *r, const unsigned char (*keys)[48], bool decrypt)
{
    for (int round = 0; round < 16; round += 2) {
        feistelRound(r, l, keys[decrypt ? 15 - round : round]);
        feistelRound(l, r, keys[decrypt ? 14 - round : round + 1]);
    }
}

// The 64 x 64 bit matrix transpose that turns 64 blocks into 64 slices and
// back: bit 63 - c of row r and bit 63 - r of row c trade places. It is done
// blockwise: split the matrix into 2 x 2 blocks of half its size, exchange
// the two off-diagonal blocks, then do the same inside each block with half
// the size, down to single bits. Each stage pairs a row of a block's upper
// half with the row `half` below it, and exchanges the upper row's right
// half-block (its lower bits under `low`) with the lower row's left one, all
// blocks of the two rows at once. The work is the same whatever the bits.
// With wider lane words every 64-bit word of them is its own matrix.
template <int half, class V>
CIPHER_ALWAYS_INLINE void exchangeOffDiagonal(V *rows, std::uint64_t low)
{
    const V mask = Lanes<V>::broadcast(low);
    for (int top = 0; top < 64; top += 2 * half)
        for (int upper = top; upper < top + half; ++upper) {
            V &lower = rows[upper + half];
            const V moved = (rows[upper] ^ (lower >> half)) & mask;
            rows[upper] ^= moved;
            lower ^= moved << half;
        }
}

template <class V>
CIPHER_ALWAYS_INLINE void transpose64(V *rows)
{
    exchangeOffDiagonal<32>(rows, 0x00000000FFFFFFFFull);
    exchangeOffDiagonal<16>(rows, 0x0000FFFF0000FFFFull);
    exchangeOffDiagonal<8>(rows, 0x00FF00FF00FF00FFull);
    exchangeOffDiagonal<4>(rows, 0x0F0F0F0F0F0F0F0Full);
    exchangeOffDiagonal<2>(rows, 0x3333333333333333ull);
    exchangeOffDiagonal<1>(rows, 0x5555555555555555ull);
}

inline std::uint64_t loadBigEndian(const unsigned char *p)
{
#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return __builtin_bswap64(v);
#else
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i)
        v = (v << 8) | p[i];
    return v;
#endif
}

inline void storeBigEndian(std::uint64_t v, unsigned char *p)
{
#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    v = __builtin_bswap64(v);
    std::memcpy(p, &v, 8);
#else
    for (int i = 7; i >= 0; --i) {
        p[i] = static_cast<unsigned char>(v);
        v >>= 8;
    }
#endif
}

inline std::size_t jobTotal(const cipher::desbs::Job &job)
{
    return job.blocks + (job.last != nullptr ? 1 : 0);
}

// One batch of Lanes<V>::words * 64 blocks in slices, as L and R.
template <class V>
struct Batch
{
    static constexpr int words = Lanes<V>::words;
    static constexpr std::size_t lanes = 64 * std::size_t(words);

    V slices[64];
    V halves[2][32];
    unsigned char bytes[lanes * 8];

    // Reads blocks [first, first + n) of the job; lanes beyond n are zero.
    void load(const cipher::desbs::Job &job, std::size_t first, std::size_t n)
    {
        std::memset(bytes, 0, sizeof bytes);
        const std::size_t direct = first < job.blocks ? job.blocks - first : 0;
        const std::size_t fromInput = direct < n ? direct : n;
        if (fromInput != 0)
            std::memcpy(bytes, job.in + 8 * first, 8 * fromInput);
        if (fromInput < n)
            std::memcpy(bytes + 8 * fromInput, job.last, 8);
        // Lane word g of row b is block 64g + b; once transposed, row i is
        // slice i.
        for (int b = 0; b < 64; ++b)
            slices[b] = Lanes<V>::load(bytes + 8 * b);
        transpose64(slices);
        for (int j = 0; j < 32; ++j) {
            halves[0][j] = slices[initialPermutation[j] - 1];
            halves[1][j] = slices[initialPermutation[32 + j] - 1];
        }
    }

    // IP^-1 of `first` followed by `second` (R16, then L16) into slices.
    void finish(const V *first, const V *second)
    {
        for (int i = 0; i < 64; ++i) {
            const int from = finalPermutation[i] - 1;
            slices[i] = from < 32 ? first[from] : second[from - 32];
        }
    }

    // Writes n blocks from the slices (and leaves the slices transposed).
    void store(unsigned char *out, std::size_t n)
    {
        transpose64(slices);
        for (int b = 0; b < 64; ++b)
            Lanes<V>::store(slices[b], bytes + 8 * b);
        std::memcpy(out, bytes, 8 * n);
    }

    // The block in `lane` from the slices: shifts by the lane number only.
    void storeLane(std::size_t lane, unsigned char *out)
    {
        const int g = int(lane / 64);
        const int shift = 63 - int(lane % 64);
        std::uint64_t block = 0;
        for (int i = 0; i < 64; ++i)
            block = (block << 1) | ((Lanes<V>::word(slices[i], g) >> shift) & 1u);
        storeBigEndian(block, out);
    }

    void clear() { cipher::secureWipe(this, sizeof *this); }
};

// Runs blocks [first, first + count) of the job through all its passes, one
// batch at a time.
template <class V>
void runBlocks(const cipher::desbs::Job &job, std::size_t first, std::size_t count)
{
    Batch<V> batch;
    const std::size_t total = jobTotal(job);
    for (std::size_t done = 0; done < count;) {
        const std::size_t start = first + done;
        const std::size_t n = count - done < batch.lanes ? count - done : batch.lanes;
        batch.load(job, start, n);
        // Between passes IP cancels the IP^-1 before it, so a pass starts
        // from R16 and L16 of the one before, in that order.
        V *left = batch.halves[0];
        V *right = batch.halves[1];
        for (int p = 0; p < job.passCount; ++p) {
            if (p == job.passCount - 1 && p > 0 && job.middle != nullptr && start + n == total) {
                batch.finish(left, right);
                batch.storeLane(n - 1, job.middle);
            }
            desRounds(left, right, job.passes[p].keys, job.passes[p].decrypt);
            V *swap = left;
            left = right;
            right = swap;
        }
        batch.finish(left, right);
        batch.store(job.out + 8 * start, n);
        done += n;
    }
    batch.clear();
}

} // namespace

#endif
