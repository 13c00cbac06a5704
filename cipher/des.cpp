#include "cipher/des.h"

#include "cipher/acceleration.h"
#include "cipher/des_bitslice.h"
#include "cipher/detail.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

// The FIPS 46-3 tables the key schedule and the S-box check read
// (des_bitslice_core.h holds those of the rounds). Selection entries are bit
// numbers, counted from 1 at the most significant bit of the first byte;
// output bit i is input bit table[i - 1]. They keep the standard's rows.
// clang-format off

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

// The buffer contract shared by the four operations: ceil(length / 8)
// blocks, a final partial block zero-filled, then one zero byte. All blocks
// go through `passes` in one run; `result` receives the last block's output
// and `middle` (with more than one pass) that block as the pass before the
// last left it.
int processBlocks(const void *in, int length, char *out, const cipher::desbs::Pass *passes,
                  int passCount, unsigned char *result, unsigned char *middle)
{
    // The count is returned as an int, so it must fit after rounding up.
    if (out == nullptr || length < 0 || length > INT_MAX - (cipher::desBlockSize - 1) ||
        (in == nullptr && length != 0))
        return 0;
    const int full = length / cipher::desBlockSize;
    const int rest = length % cipher::desBlockSize;
    const int blocks = full + (rest != 0 ? 1 : 0);
    if (blocks != 0) {
        unsigned char last[cipher::desBlockSize] = {};
        if (rest != 0)
            std::memcpy(last, static_cast<const char *>(in) + full * cipher::desBlockSize,
                        static_cast<std::size_t>(rest));
        unsigned char *dst = reinterpret_cast<unsigned char *>(out);
        const cipher::desbs::Job job{passes,
                                     passCount,
                                     static_cast<const unsigned char *>(in),
                                     static_cast<std::size_t>(full),
                                     rest != 0 ? last : nullptr,
                                     dst,
                                     middle};
        cipher::desbs::run(job);
        std::memcpy(result, dst + (blocks - 1) * cipher::desBlockSize, cipher::desBlockSize);
        cipher::secureWipe(last, sizeof last);
    }
    out[blocks * cipher::desBlockSize] = 0;
    return blocks * cipher::desBlockSize;
}

} // namespace

namespace cipher {

const unsigned char (*desSBoxes())[64]
{
    return sBoxes;
}

} // namespace cipher

bool desUsesVectors()
{
    return cipher::accelerationInUse(cipher::Acceleration::Avx2Vectors);
}

void desForcePortable(bool force)
{
    cipher::forcePortable(cipher::Acceleration::Avx2Vectors, force);
}

DesContext::DesContext() : subKeys{}, encOut{}, decOut{}, keyMasks{} {}

DesContext::~DesContext()
{
    cipher::secureWipe(subKeys, sizeof subKeys);
    cipher::secureWipe(keyMasks, sizeof keyMasks);
    cipher::secureWipe(encOut, sizeof encOut);
    cipher::secureWipe(decOut, sizeof decOut);
}

// FIPS 46-3 key schedule, one bit per byte. Every index is a table entry or
// a round number, never a key bit, so the schedule is constant time too.
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
        for (int j = 0; j < 48; ++j)
            subKeys[slot][round][j] = cd[permutedChoice2[j] - 1];
    }
    cipher::desbs::expandKeyMasks(subKeys[slot], keyMasks[slot]);
    cipher::secureWipe(keyBits, sizeof keyBits);
    cipher::secureWipe(cd, sizeof cd);
}

void DesContext::encryptDesBlock(const char *in, int slot)
{
    if (slot < 0 || slot > 1)
        return;
    const cipher::desbs::Pass pass{keyMasks[slot], false};
    const auto *block = reinterpret_cast<const unsigned char *>(in);
    cipher::desbs::run({&pass, 1, block, 1, nullptr, encOut, nullptr});
}

void DesContext::decryptDesBlock(const char *in, int slot)
{
    if (slot < 0 || slot > 1)
        return;
    const cipher::desbs::Pass pass{keyMasks[slot], true};
    const auto *block = reinterpret_cast<const unsigned char *>(in);
    cipher::desbs::run({&pass, 1, block, 1, nullptr, decOut, nullptr});
}

int DesContext::encryptDes(const void *in, int length, char *out)
{
    const cipher::desbs::Pass pass{keyMasks[0], false};
    return processBlocks(in, length, out, &pass, 1, encOut, nullptr);
}

int DesContext::decryptDes(const void *in, int length, char *out)
{
    const cipher::desbs::Pass pass{keyMasks[0], true};
    return processBlocks(in, length, out, &pass, 1, decOut, nullptr);
}

// E K1, D K2, E K1 over the whole run; as block by block, encOut ends with the
// last block's result and decOut with its D K2 step.
int DesContext::encrypt3Des(const void *in, int length, char *out)
{
    const cipher::desbs::Pass passes[3] = {
        {keyMasks[0], false}, {keyMasks[1], true}, {keyMasks[0], false}};
    return processBlocks(in, length, out, passes, 3, encOut, decOut);
}

// D K1, E K2, D K1; decOut ends with the last block's result, encOut with its
// E K2 step.
int DesContext::decrypt3Des(const void *in, int length, char *out)
{
    const cipher::desbs::Pass passes[3] = {
        {keyMasks[0], true}, {keyMasks[1], false}, {keyMasks[0], true}};
    return processBlocks(in, length, out, passes, 3, decOut, encOut);
}
