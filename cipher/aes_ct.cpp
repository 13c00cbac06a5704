#include "cipher/aes_ct.h"

#include "cipher/detail.h"
#include "cipher/generated/aes_sbox_circuits.h"

#include <cstring>

// Bit-sliced AES. Four blocks travel together in eight 64-bit words: word k
// holds bit k of every byte, and the byte in row r, column c of block b sits
// at bit 16r + 4c + b. A row of the four blocks is one 16-bit field, a column
// of a row one nibble, so ShiftRows rotates nibbles within each 16-bit field
// and MixColumns combines the word with itself rotated by multiples of 16
// bits (the rounds leave ShiftRows out altogether; see fixslicing below).
// Every step is a fixed sequence of AND, OR, XOR, NOT, shifts and rotations.

// The eight slices live in registers only if every loop over them is
// unrolled too (CIPHER_ALWAYS_INLINE, in detail.h, inlines the steps).
#if defined(__GNUC__)
#define CIPHER_EACH_SLICE(i) _Pragma("GCC unroll 8") for (int i = 0; i < 8; ++i)
#else
#define CIPHER_EACH_SLICE(i) for (int i = 0; i < 8; ++i)
#endif

namespace cipher {
namespace aesct {
namespace {

const int lanes = 4;

struct Slices
{
    std::uint64_t w[8];
};

// Exchanges the bits selected by `mask` with those `shift` places above them.
CIPHER_ALWAYS_INLINE std::uint64_t swapWithin(std::uint64_t x, std::uint64_t mask, int shift)
{
    const std::uint64_t t = ((x >> shift) ^ x) & mask;
    return x ^ t ^ (t << shift);
}

// Exchanges the bits of `high` selected by mask << shift with the bits of
// `low` selected by mask.
CIPHER_ALWAYS_INLINE void swapAcross(std::uint64_t &high, std::uint64_t &low, std::uint64_t mask,
                                     int shift)
{
    const std::uint64_t t = ((high >> shift) ^ low) & mask;
    low ^= t;
    high ^= t << shift;
}

// Loading four blocks into the slices and storing them back. Each step below
// transposes bit or byte matrices (by exchanging their off-diagonal quarters,
// then those of the quarters, and so on), so each is its own inverse and
// storing runs the same steps in reverse order.
//  1. Block b's bytes 8h to 8h + 7 (columns 2h and 2h + 1) are one 64-bit
//     word, byte 4 (c & 1) + r. Within each 32-bit half of the four words of
//     a column pair, the 4 x 4 byte matrix (block, row) is transposed, so that
//     word 2r + h holds row r of columns 2h, 2h + 1: byte 4 (c & 1) + b. These
//     are the eight bytes of the slices' byte 2r + h, bit 4 (c & 1) + b.
//  2. In each of those words the 8 x 8 bit matrix (byte, bit) is transposed
//     by three exchanges within the word (Warren, "Hacker's Delight",
//     "Transposing a Bit Matrix"): byte k now holds bit k of the eight bytes,
//     which is slice k's byte 2r + h.
//  3. The 8 x 8 byte matrix (word, byte) is transposed across the eight words:
//     word k holds byte 2r + h of slice k, for every r and h.

// Step 1 on the four words of a column pair.
CIPHER_ALWAYS_INLINE void transposeRowsAndBlocks(std::uint64_t (&v)[4])
{
    swapAcross(v[0], v[1], 0x00FF00FF00FF00FFull, 8);
    swapAcross(v[2], v[3], 0x00FF00FF00FF00FFull, 8);
    swapAcross(v[0], v[2], 0x0000FFFF0000FFFFull, 16);
    swapAcross(v[1], v[3], 0x0000FFFF0000FFFFull, 16);
}

// Step 2: bit k of byte j trades places with bit j of byte k.
CIPHER_ALWAYS_INLINE std::uint64_t transposeBits(std::uint64_t x)
{
    x = swapWithin(x, 0x00AA00AA00AA00AAull, 7);
    x = swapWithin(x, 0x0000CCCC0000CCCCull, 14);
    return swapWithin(x, 0x00000000F0F0F0F0ull, 28);
}

// Step 3: byte k of word j trades places with byte j of word k.
CIPHER_ALWAYS_INLINE void transposeBytes(std::uint64_t (&v)[8])
{
    swapAcross(v[0], v[1], 0x00FF00FF00FF00FFull, 8);
    swapAcross(v[2], v[3], 0x00FF00FF00FF00FFull, 8);
    swapAcross(v[4], v[5], 0x00FF00FF00FF00FFull, 8);
    swapAcross(v[6], v[7], 0x00FF00FF00FF00FFull, 8);
    swapAcross(v[0], v[2], 0x0000FFFF0000FFFFull, 16);
    swapAcross(v[1], v[3], 0x0000FFFF0000FFFFull, 16);
    swapAcross(v[4], v[6], 0x0000FFFF0000FFFFull, 16);
    swapAcross(v[5], v[7], 0x0000FFFF0000FFFFull, 16);
    swapAcross(v[0], v[4], 0x00000000FFFFFFFFull, 32);
    swapAcross(v[1], v[5], 0x00000000FFFFFFFFull, 32);
    swapAcross(v[2], v[6], 0x00000000FFFFFFFFull, 32);
    swapAcross(v[3], v[7], 0x00000000FFFFFFFFull, 32);
}

// Bytes 8h to 8h + 7 of a block as a little-endian word.
CIPHER_ALWAYS_INLINE std::uint64_t loadHalf(const unsigned char *const *in, int count, int block,
                                            int h)
{
    if (block >= count)
        return 0;
    const unsigned char *p = in[block] + 8 * h;
    return std::uint64_t(loadWord(p)) | std::uint64_t(loadWord(p + 4)) << 32;
}

CIPHER_ALWAYS_INLINE void storeHalf(std::uint64_t v, unsigned char *const *out, int count,
                                    int block, int h)
{
    if (block >= count)
        return;
    unsigned char *p = out[block] + 8 * h;
    storeWord(static_cast<std::uint32_t>(v), p);
    storeWord(static_cast<std::uint32_t>(v >> 32), p + 4);
}

// Steps 1 and 2 for columns 2h and 2h + 1.
CIPHER_ALWAYS_INLINE void loadColumnPair(Slices &q, const unsigned char *const *in, int count,
                                         int h)
{
    std::uint64_t v[lanes] = {loadHalf(in, count, 0, h), loadHalf(in, count, 1, h),
                              loadHalf(in, count, 2, h), loadHalf(in, count, 3, h)};
    transposeRowsAndBlocks(v);
    q.w[h] = transposeBits(v[0]);
    q.w[2 + h] = transposeBits(v[1]);
    q.w[4 + h] = transposeBits(v[2]);
    q.w[6 + h] = transposeBits(v[3]);
}

CIPHER_ALWAYS_INLINE void storeColumnPair(const Slices &q, unsigned char *const *out, int count,
                                          int h)
{
    std::uint64_t v[lanes] = {transposeBits(q.w[h]), transposeBits(q.w[2 + h]),
                              transposeBits(q.w[4 + h]), transposeBits(q.w[6 + h])};
    transposeRowsAndBlocks(v);
    storeHalf(v[0], out, count, 0, h);
    storeHalf(v[1], out, count, 1, h);
    storeHalf(v[2], out, count, 2, h);
    storeHalf(v[3], out, count, 3, h);
}

// Blocks in[0] to in[count - 1] into lanes 0 to count - 1; the other lanes
// hold zero blocks.
CIPHER_ALWAYS_INLINE void loadBlocks(Slices &q, const unsigned char *const *in, int count)
{
    loadColumnPair(q, in, count, 0);
    loadColumnPair(q, in, count, 1);
    transposeBytes(q.w);
}

// Lanes 0 to count - 1 to out[0] to out[count - 1]; `q` is left unusable.
CIPHER_ALWAYS_INLINE void storeBlocks(Slices &q, unsigned char *const *out, int count)
{
    transposeBytes(q.w);
    storeColumnPair(q, out, count, 0);
    storeColumnPair(q, out, count, 1);
}

// FIPS-197 5.1.1 SubBytes and 5.3.2 InvSubBytes: the circuits sboxgen-aes
// generates (cipher/generated/aes_sbox_circuits.h, where their gate counts and
// tower field are given), inversion in GF(2^8) through GF(2^4) and GF(2^2) by
// Canright's method, the linear layers reduced with Boyar and Peralta's
// heuristic, the affine maps merged into them.
CIPHER_ALWAYS_INLINE void subBytes(Slices &q)
{
    aesSBoxForward(q.w);
}

CIPHER_ALWAYS_INLINE void invSubBytes(Slices &q)
{
    aesSBoxInverse(q.w);
}

CIPHER_ALWAYS_INLINE void addRoundKey(Slices &q, const std::uint64_t *roundKey)
{
    CIPHER_EACH_SLICE(i)
        q.w[i] ^= roundKey[i];
}

// FIPS-197 5.1.2: row r moves left by r columns, i.e. its 16-bit field
// rotates right by 4r bits. As two exchanges of nibbles, on every row at
// once: first the two nibbles of each byte of rows 1 and 3 (c0 c1 c2 c3
// becomes c1 c0 c3 c2), then nibbles two apart: columns 1 and 3 of row 1,
// 0 and 2 and 1 and 3 of row 2, 0 and 2 of row 3.
const std::uint64_t nibblesOfBytes = 0x0F0F00000F0F0000ull;
const std::uint64_t nibblesTwoApart = 0x000F00FF00F00000ull;

CIPHER_ALWAYS_INLINE void shiftRows(Slices &q)
{
    CIPHER_EACH_SLICE(i)
        q.w[i] = swapWithin(swapWithin(q.w[i], nibblesOfBytes, 4), nibblesTwoApart, 8);
}

// FIPS-197 5.3.1: the same exchanges in the opposite order.
CIPHER_ALWAYS_INLINE void invShiftRows(Slices &q)
{
    CIPHER_EACH_SLICE(i)
        q.w[i] = swapWithin(swapWithin(q.w[i], nibblesTwoApart, 8), nibblesOfBytes, 4);
}

// Skipping ShiftRows ("fixslicing", Adomnicai and Peyrin 2020). ShiftRows
// only moves bytes, and SubBytes does not care where they are, so the rounds
// leave it out and let the state drift: after j skipped ShiftRows the true
// state is ShiftRows^j of the one held. MixColumns then finds the bytes of
// true column c on a diagonal, row r at column c + jr, and the round keys
// are moved by ShiftRows^-j beforehand (sliceRoundKeys). ShiftRows^4 is the
// identity, so there are four kinds of round; one correction at the end
// (ShiftRows^Nr) puts the state back.

// Row r + rows, column c + cols (both mod 4) brought to row r, column c.
// Bit 16r + 4c + b comes from 16 (r + rows) + 4 (c + cols) + b, or, where
// c + cols wraps, from 16 bits lower: two rotations, chosen by a mask of the
// columns that do not wrap.
template <int rows, int cols>
CIPHER_ALWAYS_INLINE std::uint64_t fromRowCol(std::uint64_t x)
{
    constexpr int c = cols & 3;
    constexpr int bits = (16 * (rows & 3) + 4 * c) & 63;
    constexpr std::uint64_t noWrap = 0x0001000100010001ull * ((1u << (4 * (4 - c))) - 1);
    const std::uint64_t straight = bits == 0 ? x : (x >> bits) | (x << ((64 - bits) & 63));
    if (c == 0)
        return straight;
    constexpr int wrapBits = (bits + 48) & 63;
    const std::uint64_t wrapped = (x >> wrapBits) | (x << ((64 - wrapBits) & 63));
    return wrapped ^ ((straight ^ wrapped) & noWrap);
}

// FIPS-197 4.2.1 xtime on sliced bytes: shift up one bit, reduce by 1B.
CIPHER_ALWAYS_INLINE Slices xtime(const Slices &a)
{
    Slices r;
    r.w[0] = a.w[7];
    r.w[1] = a.w[0] ^ a.w[7];
    r.w[2] = a.w[1];
    r.w[3] = a.w[2] ^ a.w[7];
    r.w[4] = a.w[3] ^ a.w[7];
    r.w[5] = a.w[4];
    r.w[6] = a.w[5];
    r.w[7] = a.w[6];
    return r;
}

// FIPS-197 5.1.3 with `drift` ShiftRows skipped: row r of a column becomes
// 02 a[r] ^ 03 a[r+1] ^ a[r+2] ^ a[r+3] = xtime(a[r] ^ a[r+1]) ^ a[r+1]
// ^ (a[r+2] ^ a[r+3]), where a[r+k] lies k rows down, drift * k columns on.
template <int drift>
CIPHER_ALWAYS_INLINE void mixColumns(Slices &q)
{
    Slices next, sum;
    CIPHER_EACH_SLICE(i) {
        next.w[i] = fromRowCol<1, drift>(q.w[i]);
        sum.w[i] = q.w[i] ^ next.w[i];
    }
    const Slices doubled = xtime(sum);
    CIPHER_EACH_SLICE(i)
        q.w[i] = doubled.w[i] ^ next.w[i] ^ fromRowCol<2, 2 * drift>(sum.w[i]);
}

// FIPS-197 5.3.3. The inverse matrix is the forward one times the matrix
// with rows (05 00 04 00) and its rotations: 0E 0B 0D 09 as a polynomial is
// (03 x^3 + x^2 + x + 02)(04 x^2 + 05) mod x^4 + 1. So each row first becomes
// a[r] ^ 04 (a[r] ^ a[r+2]), then MixColumns runs.
template <int drift>
CIPHER_ALWAYS_INLINE void invMixColumns(Slices &q)
{
    Slices sum;
    CIPHER_EACH_SLICE(i)
        sum.w[i] = q.w[i] ^ fromRowCol<2, 2 * drift>(q.w[i]);
    const Slices quadrupled = xtime(xtime(sum));
    CIPHER_EACH_SLICE(i)
        q.w[i] ^= quadrupled.w[i];
    mixColumns<drift>(q);
}

// ShiftRows^2, and its own inverse: rows 1 and 3 swap their halves.
CIPHER_ALWAYS_INLINE void shiftRowsTwice(Slices &q)
{
    CIPHER_EACH_SLICE(i)
        q.w[i] = swapWithin(q.w[i], 0x00FF000000FF0000ull, 8);
}

template <int drift>
CIPHER_ALWAYS_INLINE void encryptRound(Slices &q, const std::uint64_t *roundKey)
{
    subBytes(q);
    mixColumns<drift>(q);
    addRoundKey(q, roundKey);
}

// An inverse round: (InvShiftRows skipped,) InvSubBytes, AddRoundKey,
// InvMixColumns. After m of them the held state is ShiftRows^m of the true
// one, which is the drift -m of the forward rounds.
template <int drift>
CIPHER_ALWAYS_INLINE void decryptRound(Slices &q, const std::uint64_t *roundKey)
{
    invSubBytes(q);
    addRoundKey(q, roundKey);
    invMixColumns<drift>(q);
}

// FIPS-197 5.1 Cipher; `keys` from sliceRoundKeys (encryption half).
CIPHER_ALWAYS_INLINE void encryptSlices(Slices &q, const std::uint64_t *keys, int Nr)
{
    addRoundKey(q, keys);
    // A context without a valid key has Nr = 0: no inner rounds then.
    for (int round = 1; round < Nr;) {
        encryptRound<1>(q, keys + 8 * round);
        if (++round == Nr)
            break;
        encryptRound<2>(q, keys + 8 * round);
        if (++round == Nr)
            break;
        encryptRound<3>(q, keys + 8 * round);
        if (++round == Nr)
            break;
        encryptRound<0>(q, keys + 8 * round);
        if (++round == Nr)
            break;
    }
    subBytes(q);
    addRoundKey(q, keys + 8 * Nr);
    // ShiftRows^Nr: Nr is 10, 12 or 14.
    if (Nr % 4 == 2)
        shiftRowsTwice(q);
}

// FIPS-197 5.3 InvCipher; `keys` from sliceRoundKeys (decryption half).
CIPHER_ALWAYS_INLINE void decryptSlices(Slices &q, const std::uint64_t *keys, int Nr)
{
    addRoundKey(q, keys + 8 * Nr);
    for (int round = Nr - 1; round > 0;) {
        decryptRound<3>(q, keys + 8 * round);
        if (--round == 0)
            break;
        decryptRound<2>(q, keys + 8 * round);
        if (--round == 0)
            break;
        decryptRound<1>(q, keys + 8 * round);
        if (--round == 0)
            break;
        decryptRound<0>(q, keys + 8 * round);
        if (--round == 0)
            break;
    }
    invSubBytes(q);
    addRoundKey(q, keys);
    if (Nr % 4 == 2)
        shiftRowsTwice(q);
}

// Blocks go in and out lane by lane; lanes without a block stay zero.
void encryptLanes(const std::uint64_t *sliced, int Nr, const unsigned char *const *in,
                  unsigned char *const *out, int count)
{
    Slices q;
    loadBlocks(q, in, count);
    encryptSlices(q, sliced, Nr);
    storeBlocks(q, out, count);
    secureWipe(&q, sizeof q);
}

void decryptLanes(const std::uint64_t *sliced, int Nr, const unsigned char *in, unsigned char *out,
                  int count)
{
    const std::uint64_t *decryption = sliced + 8 * (Nr + 1);
    const unsigned char *from[lanes];
    unsigned char *to[lanes];
    for (int lane = 0; lane < lanes; ++lane) {
        from[lane] = in + aesBlockSize * std::size_t(lane);
        to[lane] = out + aesBlockSize * std::size_t(lane);
    }
    Slices q;
    loadBlocks(q, from, count);
    decryptSlices(q, decryption, Nr);
    storeBlocks(q, to, count);
    secureWipe(&q, sizeof q);
}

} // namespace

namespace {

// The circuit on the four bytes of a word, each byte a lane of its own: the
// in-word bit transposition turns byte j's bit k into bit j of byte k, slice k.
template <bool inverse>
std::uint32_t substituteBytes(std::uint32_t word)
{
    std::uint64_t bits = transposeBits(word);
    std::uint8_t slices[8];
    CIPHER_EACH_SLICE(k)
        slices[k] = static_cast<std::uint8_t>(bits >> (8 * k));
    if (inverse)
        aesSBoxInverse(slices);
    else
        aesSBoxForward(slices);
    bits = 0;
    CIPHER_EACH_SLICE(k)
        bits |= std::uint64_t(slices[k]) << (8 * k);
    secureWipe(slices, sizeof slices);
    return static_cast<std::uint32_t>(transposeBits(bits));
}

} // namespace

std::uint32_t subWord(std::uint32_t word)
{
    return substituteBytes<false>(word);
}

unsigned char subByte(unsigned char x)
{
    return static_cast<unsigned char>(substituteBytes<false>(x));
}

unsigned char invSubByte(unsigned char x)
{
    return static_cast<unsigned char>(substituteBytes<true>(x));
}

void sliceRoundKeys(const unsigned char *roundKeys, int Nr, std::uint64_t *sliced)
{
    // Every lane gets the same round key. Round k of the cipher finds the
    // state k ShiftRows behind, so its key is moved back by ShiftRows^-k;
    // round k of the inverse cipher, Nr - k inverse rounds in, finds it
    // Nr - k ShiftRows ahead.
    std::uint64_t *decryption = sliced + 8 * (Nr + 1);
    for (int round = 0; round <= Nr; ++round) {
        const unsigned char *key = roundKeys + aesBlockSize * round;
        const unsigned char *const copies[lanes] = {key, key, key, key};
        Slices q;
        loadBlocks(q, copies, lanes);
        Slices back = q;
        for (int k = 0; k < round % 4; ++k)
            invShiftRows(back);
        for (int k = 0; k < (Nr - round) % 4; ++k)
            shiftRows(q);
        std::memcpy(sliced + 8 * round, back.w, sizeof back.w);
        std::memcpy(decryption + 8 * round, q.w, sizeof q.w);
        secureWipe(&q, sizeof q);
        secureWipe(&back, sizeof back);
    }
}

void encryptEcb(const std::uint64_t *sliced, int Nr, const unsigned char *in, std::size_t blocks,
                const unsigned char *last, unsigned char *out)
{
    const std::size_t total = blocks + 1;
    for (std::size_t first = 0; first < total; first += lanes) {
        const int count = total - first < std::size_t(lanes) ? int(total - first) : lanes;
        const unsigned char *from[lanes];
        unsigned char *to[lanes];
        for (int lane = 0; lane < count; ++lane) {
            const std::size_t i = first + std::size_t(lane);
            from[lane] = i < blocks ? in + aesBlockSize * i : last;
            to[lane] = out + aesBlockSize * i;
        }
        encryptLanes(sliced, Nr, from, to, count);
    }
}

void decryptEcb(const std::uint64_t *sliced, int Nr, const unsigned char *in, std::size_t blocks,
                unsigned char *out)
{
    for (std::size_t first = 0; first < blocks; first += lanes) {
        const int count = blocks - first < std::size_t(lanes) ? int(blocks - first) : lanes;
        decryptLanes(sliced, Nr, in + aesBlockSize * first, out + aesBlockSize * first, count);
    }
}

void encryptCbc(const std::uint64_t *sliced, int Nr, unsigned char *in, std::size_t blocks,
                const unsigned char *last, unsigned char *out, unsigned char *iv)
{
    // Chaining allows one block per pass, in lane 0. The XOR with the chaining
    // value is linear, so it happens on the slices: the chain stays sliced
    // from one block to the next, and blocks are converted four at a time.
    const std::uint64_t laneZero = 0x1111111111111111ull;
    const std::size_t total = blocks + 1;
    unsigned char previous[aesBlockSize];
    unsigned char cipherBlocks[lanes * aesBlockSize];
    std::memcpy(previous, iv, aesBlockSize);
    Slices chain, plain, cipherText, q{};
    const unsigned char *const start[1] = {iv};
    loadBlocks(chain, start, 1);
    for (std::size_t first = 0; first < total; first += lanes) {
        const int count = total - first < std::size_t(lanes) ? int(total - first) : lanes;
        const unsigned char *from[lanes];
        unsigned char *to[lanes];
        for (int lane = 0; lane < count; ++lane) {
            const std::size_t i = first + std::size_t(lane);
            from[lane] = i < blocks ? in + aesBlockSize * i : last;
            to[lane] = cipherBlocks + aesBlockSize * std::size_t(lane);
        }
        loadBlocks(plain, from, count);
        cipherText = Slices{};
        for (int lane = 0; lane < count; ++lane) {
            CIPHER_EACH_SLICE(i)
                q.w[i] = chain.w[i] ^ ((plain.w[i] >> lane) & laneZero);
            encryptSlices(q, sliced, Nr);
            CIPHER_EACH_SLICE(i) {
                chain.w[i] = q.w[i] & laneZero;
                cipherText.w[i] |= chain.w[i] << lane;
            }
        }
        storeBlocks(cipherText, to, count);
        // The caller's full blocks become plaintext XOR chaining value, before
        // the cipher text is written: the output may be the input's memory.
        for (int lane = 0; lane < count; ++lane) {
            const std::size_t i = first + std::size_t(lane);
            if (i < blocks)
                xorBlock(in + aesBlockSize * i,
                         lane == 0 ? previous : cipherBlocks + aesBlockSize * (lane - 1));
        }
        std::memcpy(out + aesBlockSize * first, cipherBlocks, aesBlockSize * std::size_t(count));
        std::memcpy(previous, cipherBlocks + aesBlockSize * (count - 1), aesBlockSize);
    }
    std::memcpy(iv, previous, aesBlockSize);
    secureWipe(&q, sizeof q);
    secureWipe(&plain, sizeof plain);
    secureWipe(&chain, sizeof chain);
    secureWipe(&cipherText, sizeof cipherText);
    secureWipe(cipherBlocks, sizeof cipherBlocks);
}

void decryptCbc(const std::uint64_t *sliced, int Nr, const unsigned char *in, std::size_t blocks,
                unsigned char *out, unsigned char *iv)
{
    unsigned char chain[aesBlockSize];
    unsigned char cipherBlocks[lanes * aesBlockSize];
    std::memcpy(chain, iv, aesBlockSize);
    for (std::size_t first = 0; first < blocks; first += lanes) {
        const int count = blocks - first < std::size_t(lanes) ? int(blocks - first) : lanes;
        // Kept before the output is written: it may be the input's memory.
        std::memcpy(cipherBlocks, in + aesBlockSize * first, aesBlockSize * std::size_t(count));
        unsigned char *plain = out + aesBlockSize * first;
        decryptLanes(sliced, Nr, cipherBlocks, plain, count);
        xorBlock(plain, chain);
        for (int lane = 1; lane < count; ++lane)
            xorBlock(plain + aesBlockSize * lane, cipherBlocks + aesBlockSize * (lane - 1));
        std::memcpy(chain, cipherBlocks + aesBlockSize * (count - 1), aesBlockSize);
    }
    std::memcpy(iv, chain, aesBlockSize);
}

} // namespace aesct
} // namespace cipher
