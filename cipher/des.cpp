#include "cipher/des.h"

#include "cipher/detail.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

// The FIPS 46-3 tables. Permutation and selection entries are bit numbers,
// counted from 1 at the most significant bit of the first byte; output bit i
// is input bit table[i - 1]. They keep the standard's rows.
// clang-format off

// IP, the initial permutation.
static const unsigned char initialPermutation[64] = {
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
static const unsigned char finalPermutation[64] = {
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
static const unsigned char expansion[48] = {
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
static const unsigned char permutation[32] = {
    16, 7,  20, 21,
    29, 12, 28, 17,
    1,  15, 23, 26,
    5,  18, 31, 10,
    2,  8,  24, 14,
    32, 27, 3,  9,
    19, 13, 30, 6,
    22, 11, 4,  25,
};

// S1 to S8, the selection functions: entry [k][16 * row + column].
static const unsigned char sBoxes[8][64] = {
    { 14, 4,  13, 1,  2,  15, 11, 8,  3,  10, 6,  12, 5,  9,  0,  7,
      0,  15, 7,  4,  14, 2,  13, 1,  10, 6,  12, 11, 9,  5,  3,  8,
      4,  1,  14, 8,  13, 6,  2,  11, 15, 12, 9,  7,  3,  10, 5,  0,
      15, 12, 8,  2,  4,  9,  1,  7,  5,  11, 3,  14, 10, 0,  6,  13 },
    { 15, 1,  8,  14, 6,  11, 3,  4,  9,  7,  2,  13, 12, 0,  5,  10,
      3,  13, 4,  7,  15, 2,  8,  14, 12, 0,  1,  10, 6,  9,  11, 5,
      0,  14, 7,  11, 10, 4,  13, 1,  5,  8,  12, 6,  9,  3,  2,  15,
      13, 8,  10, 1,  3,  15, 4,  2,  11, 6,  7,  12, 0,  5,  14, 9 },
    { 10, 0,  9,  14, 6,  3,  15, 5,  1,  13, 12, 7,  11, 4,  2,  8,
      13, 7,  0,  9,  3,  4,  6,  10, 2,  8,  5,  14, 12, 11, 15, 1,
      13, 6,  4,  9,  8,  15, 3,  0,  11, 1,  2,  12, 5,  10, 14, 7,
      1,  10, 13, 0,  6,  9,  8,  7,  4,  15, 14, 3,  11, 5,  2,  12 },
    { 7,  13, 14, 3,  0,  6,  9,  10, 1,  2,  8,  5,  11, 12, 4,  15,
      13, 8,  11, 5,  6,  15, 0,  3,  4,  7,  2,  12, 1,  10, 14, 9,
      10, 6,  9,  0,  12, 11, 7,  13, 15, 1,  3,  14, 5,  2,  8,  4,
      3,  15, 0,  6,  10, 1,  13, 8,  9,  4,  5,  11, 12, 7,  2,  14 },
    { 2,  12, 4,  1,  7,  10, 11, 6,  8,  5,  3,  15, 13, 0,  14, 9,
      14, 11, 2,  12, 4,  7,  13, 1,  5,  0,  15, 10, 3,  9,  8,  6,
      4,  2,  1,  11, 10, 13, 7,  8,  15, 9,  12, 5,  6,  3,  0,  14,
      11, 8,  12, 7,  1,  14, 2,  13, 6,  15, 0,  9,  10, 4,  5,  3 },
    { 12, 1,  10, 15, 9,  2,  6,  8,  0,  13, 3,  4,  14, 7,  5,  11,
      10, 15, 4,  2,  7,  12, 9,  5,  6,  1,  13, 14, 0,  11, 3,  8,
      9,  14, 15, 5,  2,  8,  12, 3,  7,  0,  4,  10, 1,  13, 11, 6,
      4,  3,  2,  12, 9,  5,  15, 10, 11, 14, 1,  7,  6,  0,  8,  13 },
    { 4,  11, 2,  14, 15, 0,  8,  13, 3,  12, 9,  7,  5,  10, 6,  1,
      13, 0,  11, 7,  4,  9,  1,  10, 14, 3,  5,  12, 2,  15, 8,  6,
      1,  4,  11, 13, 12, 3,  7,  14, 10, 15, 6,  8,  0,  5,  9,  2,
      6,  11, 13, 8,  1,  4,  10, 7,  9,  5,  0,  15, 14, 2,  3,  12 },
    { 13, 2,  8,  4,  6,  15, 11, 1,  10, 9,  3,  14, 5,  0,  12, 7,
      1,  15, 13, 8,  10, 3,  7,  4,  12, 5,  6,  11, 0,  14, 9,  2,
      7,  11, 4,  1,  9,  12, 14, 2,  0,  6,  10, 13, 15, 3,  5,  8,
      2,  1,  14, 7,  4,  10, 8,  13, 15, 12, 9,  0,  3,  5,  6,  11 },
};

// PC-1, permuted choice 1: 56 of the 64 key bits; the parity bits
// 8, 16, ..., 64 are not selected and so never matter.
static const unsigned char permutedChoice1[56] = {
    57, 49, 41, 33, 25, 17, 9,
    1,  58, 50, 42, 34, 26, 18,
    10, 2,  59, 51, 43, 35, 27,
    19, 11, 3,  60, 52, 44, 36,
    63, 55, 47, 39, 31, 23, 15,
    7,  62, 54, 46, 38, 30, 22,
    14, 6,  61, 53, 45, 37, 29,
    21, 13, 5,  28, 20, 12, 4,
};

// PC-2, permuted choice 2: 48 of the 56 bits of C followed by D.
static const unsigned char permutedChoice2[48] = {
    14, 17, 11, 24, 1,  5,
    3,  28, 15, 6,  21, 10,
    23, 19, 12, 4,  26, 8,
    16, 7,  27, 20, 13, 2,
    41, 52, 31, 37, 47, 55,
    30, 40, 51, 45, 33, 48,
    44, 49, 39, 56, 34, 53,
    46, 42, 50, 36, 29, 32,
};

// clang-format on

// The key schedule's left shifts of C and D for rounds 1 to 16.
static const unsigned char leftShifts[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

const int blockBytes = 8;

// Applies a FIPS permutation table to the low `inBits` bits of `in` (bit 1
// the most significant), giving `outBits` bits.
std::uint64_t permuteBits(std::uint64_t in, int inBits, const unsigned char *table, int outBits)
{
    std::uint64_t out = 0;
    for (int i = 0; i < outBits; ++i) {
        const std::uint64_t bit = (in >> (inBits - table[i])) & 1u;
        out |= bit << (outBits - 1 - i);
    }
    return out;
}

// The FIPS tables recast for words: a permutation or expansion becomes the OR
// of one lookup per nibble or byte of its input, and S-box k followed by P
// becomes one lookup per 6-bit group. Built once, from the tables above only.
struct PackedTables
{
    std::uint64_t ip[16][16]; // [nibble index, 0 = bits 1-4][nibble value]
    std::uint64_t fp[16][16];
    std::uint64_t expand[4][256]; // [byte index of R][byte value] -> 48 bits
    std::uint32_t sp[8][64];      // [k][6-bit group, first bit high]

    PackedTables()
    {
        for (int n = 0; n < 16; ++n)
            for (std::uint64_t v = 0; v < 16; ++v) {
                ip[n][v] = permuteBits(v << (60 - 4 * n), 64, initialPermutation, 64);
                fp[n][v] = permuteBits(v << (60 - 4 * n), 64, finalPermutation, 64);
            }
        for (int b = 0; b < 4; ++b)
            for (std::uint64_t v = 0; v < 256; ++v)
                expand[b][v] = permuteBits(v << (24 - 8 * b), 32, expansion, 48);
        for (int k = 0; k < 8; ++k)
            for (int v = 0; v < 64; ++v) {
                // Row from the group's first and sixth bits, column from bits 2 to 5.
                const int row = ((v >> 4) & 2) | (v & 1);
                const int column = (v >> 1) & 15;
                const std::uint64_t s = sBoxes[k][16 * row + column];
                sp[k][v] =
                    static_cast<std::uint32_t>(permuteBits(s << (28 - 4 * k), 32, permutation, 32));
            }
    }
};

const PackedTables &packedTables()
{
    static const PackedTables tables;
    return tables;
}

inline std::uint64_t permute(const std::uint64_t (&table)[16][16], std::uint64_t x)
{
    std::uint64_t out = 0;
    for (int n = 0; n < 16; ++n)
        out |= table[n][(x >> (60 - 4 * n)) & 15];
    return out;
}

// f(R, K) = P(S(E(R) xor K)).
inline std::uint32_t feistel(const PackedTables &t, std::uint32_t r, std::uint64_t subKey)
{
    const std::uint64_t e = (t.expand[0][r >> 24] | t.expand[1][(r >> 16) & 0xff] |
                             t.expand[2][(r >> 8) & 0xff] | t.expand[3][r & 0xff]) ^
                            subKey;
    std::uint32_t f = 0;
    for (int k = 0; k < 8; ++k)
        f |= t.sp[k][(e >> (42 - 6 * k)) & 63];
    return f;
}

// One block: IP, sixteen rounds (subkeys 16 to 1 when decrypting), then
// IP^-1 of R16 followed by L16.
std::uint64_t desBlock(std::uint64_t block, const std::uint64_t *subKeys, bool decrypt)
{
    const PackedTables &t = packedTables();
    block = permute(t.ip, block);
    std::uint32_t l = static_cast<std::uint32_t>(block >> 32);
    std::uint32_t r = static_cast<std::uint32_t>(block);
    for (int round = 0; round < 16; ++round) {
        const std::uint32_t next = l ^ feistel(t, r, subKeys[decrypt ? 15 - round : round]);
        l = r;
        r = next;
    }
    return permute(t.fp, (std::uint64_t(r) << 32) | l);
}

inline std::uint64_t loadBlock(const char *in)
{
    std::uint64_t block = 0;
    for (int i = 0; i < blockBytes; ++i)
        block = (block << 8) | static_cast<unsigned char>(in[i]);
    return block;
}

inline void storeBlock(std::uint64_t block, unsigned char *out)
{
    for (int i = blockBytes - 1; i >= 0; --i) {
        out[i] = static_cast<unsigned char>(block);
        block >>= 8;
    }
}

// The shared buffer contract: ceil(length / 8) blocks, a final partial block
// zero-filled, then one zero byte; `blockOp` returns where its result is.
template <typename BlockOp>
int processBlocks(const void *in, int length, char *out, BlockOp blockOp)
{
    // The count is returned as an int, so it must fit after rounding up.
    if (out == nullptr || length < 0 || length > INT_MAX - (blockBytes - 1) ||
        (in == nullptr && length != 0))
        return 0;
    const char *src = static_cast<const char *>(in);
    const int full = length / blockBytes;
    const int rest = length % blockBytes;
    for (int i = 0; i < full; ++i)
        std::memcpy(out + i * blockBytes, blockOp(src + i * blockBytes), blockBytes);
    int blocks = full;
    if (rest != 0) {
        char last[blockBytes] = {};
        std::memcpy(last, src + full * blockBytes, static_cast<std::size_t>(rest));
        std::memcpy(out + full * blockBytes, blockOp(last), blockBytes);
        cipher::secureWipe(last, sizeof last);
        ++blocks;
    }
    out[blocks * blockBytes] = 0;
    return blocks * blockBytes;
}

inline const char *asBlock(const unsigned char *bytes)
{
    return reinterpret_cast<const char *>(bytes);
}

} // namespace

namespace cipher {

const unsigned char (*desSBoxes())[64]
{
    return sBoxes;
}

} // namespace cipher

DesContext::DesContext() : subKeys{}, encOut{}, decOut{}, packedKeys{} {}

DesContext::~DesContext()
{
    cipher::secureWipe(subKeys, sizeof subKeys);
    cipher::secureWipe(packedKeys, sizeof packedKeys);
    cipher::secureWipe(encOut, sizeof encOut);
    cipher::secureWipe(decOut, sizeof decOut);
}

// FIPS 46-3 key schedule, one bit per byte.
void DesContext::setSubKey(const char *key, int slot)
{
    if (key == nullptr || slot < 0 || slot > 1)
        return;
    unsigned char keyBits[64];
    for (int i = 0; i < 64; ++i)
        keyBits[i] = (static_cast<unsigned char>(key[i / 8]) >> (7 - i % 8)) & 1u;
    // C is cd[0..27], D is cd[28..55].
    unsigned char cd[56];
    for (int i = 0; i < 56; ++i)
        cd[i] = keyBits[permutedChoice1[i] - 1];
    for (int round = 0; round < 16; ++round) {
        std::rotate(cd, cd + leftShifts[round], cd + 28);
        std::rotate(cd + 28, cd + 28 + leftShifts[round], cd + 56);
        std::uint64_t packed = 0;
        for (int j = 0; j < 48; ++j) {
            subKeys[slot][round][j] = cd[permutedChoice2[j] - 1];
            packed = (packed << 1) | subKeys[slot][round][j];
        }
        packedKeys[slot][round] = packed;
    }
    cipher::secureWipe(keyBits, sizeof keyBits);
    cipher::secureWipe(cd, sizeof cd);
}

void DesContext::encryptDesBlock(const char *in, int slot)
{
    if (slot < 0 || slot > 1)
        return;
    storeBlock(desBlock(loadBlock(in), packedKeys[slot], false), encOut);
}

void DesContext::decryptDesBlock(const char *in, int slot)
{
    if (slot < 0 || slot > 1)
        return;
    storeBlock(desBlock(loadBlock(in), packedKeys[slot], true), decOut);
}

int DesContext::encryptDes(const void *in, int length, char *out)
{
    return processBlocks(in, length, out, [this](const char *block) {
        encryptDesBlock(block, 0);
        return encOut;
    });
}

int DesContext::decryptDes(const void *in, int length, char *out)
{
    return processBlocks(in, length, out, [this](const char *block) {
        decryptDesBlock(block, 0);
        return decOut;
    });
}

int DesContext::encrypt3Des(const void *in, int length, char *out)
{
    return processBlocks(in, length, out, [this](const char *block) {
        encryptDesBlock(block, 0);
        decryptDesBlock(asBlock(encOut), 1);
        encryptDesBlock(asBlock(decOut), 0);
        return encOut;
    });
}

int DesContext::decrypt3Des(const void *in, int length, char *out)
{
    return processBlocks(in, length, out, [this](const char *block) {
        decryptDesBlock(block, 0);
        encryptDesBlock(asBlock(decOut), 1);
        decryptDesBlock(asBlock(encOut), 0);
        return decOut;
    });
}
