#include "cipher/aes_ct.h"

#include "cipher/detail.h"

#include <cstring>

// Bit-sliced AES. Four blocks travel together in eight 64-bit words: word k
// holds bit k of every byte, and the byte in row r, column c of block b sits
// at bit 16r + 4c + b. A row of the four blocks is one 16-bit field, a column
// of a row one nibble, so ShiftRows rotates nibbles within each 16-bit field
// and MixColumns combines the word with itself rotated by multiples of 16
// bits (the rounds leave ShiftRows out altogether; see fixslicing below).
// Every step is a fixed sequence of AND, XOR, NOT, shifts and rotations.

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

const std::size_t blockSize = 16;
const int lanes = 4;

struct Slices
{
    std::uint64_t w[8];
};

// Byte j of x to byte 2j of the result, zeros between.
CIPHER_ALWAYS_INLINE std::uint64_t spreadBytes(std::uint32_t x)
{
    std::uint64_t v = x;
    v = (v | v << 16) & 0x0000FFFF0000FFFFull;
    v = (v | v << 8) & 0x00FF00FF00FF00FFull;
    return v;
}

// The inverse: byte 2j of v to byte j; odd bytes are ignored.
CIPHER_ALWAYS_INLINE std::uint32_t gatherBytes(std::uint64_t v)
{
    v &= 0x00FF00FF00FF00FFull;
    v = (v | v >> 8) & 0x0000FFFF0000FFFFull;
    return static_cast<std::uint32_t>(v | v >> 16);
}

// Before the transposition, word b (even columns) and word b + 4 (odd
// columns) hold block b's bytes, row r of column c at byte 2r + c / 2.
CIPHER_ALWAYS_INLINE void loadLane(Slices &q, int lane, const unsigned char *in)
{
    q.w[lane] = spreadBytes(loadWord(in)) | spreadBytes(loadWord(in + 8)) << 8;
    q.w[lane + 4] = spreadBytes(loadWord(in + 4)) | spreadBytes(loadWord(in + 12)) << 8;
}

CIPHER_ALWAYS_INLINE void storeLane(const Slices &q, int lane, unsigned char *out)
{
    storeWord(gatherBytes(q.w[lane]), out);
    storeWord(gatherBytes(q.w[lane + 4]), out + 4);
    storeWord(gatherBytes(q.w[lane] >> 8), out + 8);
    storeWord(gatherBytes(q.w[lane + 4] >> 8), out + 12);
}

CIPHER_ALWAYS_INLINE void swapBits(std::uint64_t &x, std::uint64_t &y, std::uint64_t lowMask,
                                   int shift)
{
    const std::uint64_t a = x, b = y, highMask = lowMask << shift;
    x = (a & lowMask) | ((b & lowMask) << shift);
    y = ((a & highMask) >> shift) | (b & highMask);
}

// In each of the eight byte positions, transposes the 8 x 8 bit matrix whose
// row i is that byte of word i: bit j of word i trades places with bit i of
// word j. Its own inverse; it turns the loaded bytes into bit slices and back.
CIPHER_ALWAYS_INLINE void transpose(Slices &q)
{
    swapBits(q.w[0], q.w[1], 0x5555555555555555ull, 1);
    swapBits(q.w[2], q.w[3], 0x5555555555555555ull, 1);
    swapBits(q.w[4], q.w[5], 0x5555555555555555ull, 1);
    swapBits(q.w[6], q.w[7], 0x5555555555555555ull, 1);
    swapBits(q.w[0], q.w[2], 0x3333333333333333ull, 2);
    swapBits(q.w[1], q.w[3], 0x3333333333333333ull, 2);
    swapBits(q.w[4], q.w[6], 0x3333333333333333ull, 2);
    swapBits(q.w[5], q.w[7], 0x3333333333333333ull, 2);
    swapBits(q.w[0], q.w[4], 0x0F0F0F0F0F0F0F0Full, 4);
    swapBits(q.w[1], q.w[5], 0x0F0F0F0F0F0F0F0Full, 4);
    swapBits(q.w[2], q.w[6], 0x0F0F0F0F0F0F0F0Full, 4);
    swapBits(q.w[3], q.w[7], 0x0F0F0F0F0F0F0F0Full, 4);
}

// FIPS-197 5.1.1 SubBytes as the 113-gate circuit of Boyar and Peralta ("A
// depth-16 circuit for the AES S-box", 2011): a linear layer in, the inversion
// in GF(2^8) through GF(2^4) as 32 AND gates and their XORs, a linear layer
// out that also applies the affine map. Their x0 is the top bit (word 7).
CIPHER_ALWAYS_INLINE void subBytes(Slices &q)
{
    const std::uint64_t x0 = q.w[7], x1 = q.w[6], x2 = q.w[5], x3 = q.w[4];
    const std::uint64_t x4 = q.w[3], x5 = q.w[2], x6 = q.w[1], x7 = q.w[0];

    // Top linear layer.
    const std::uint64_t y14 = x3 ^ x5;
    const std::uint64_t y13 = x0 ^ x6;
    const std::uint64_t y9 = x0 ^ x3;
    const std::uint64_t y8 = x0 ^ x5;
    const std::uint64_t t0 = x1 ^ x2;
    const std::uint64_t y1 = t0 ^ x7;
    const std::uint64_t y4 = y1 ^ x3;
    const std::uint64_t y12 = y13 ^ y14;
    const std::uint64_t y2 = y1 ^ x0;
    const std::uint64_t y5 = y1 ^ x6;
    const std::uint64_t y3 = y5 ^ y8;
    const std::uint64_t t1 = x4 ^ y12;
    const std::uint64_t y15 = t1 ^ x5;
    const std::uint64_t y20 = t1 ^ x1;
    const std::uint64_t y6 = y15 ^ x7;
    const std::uint64_t y10 = y15 ^ t0;
    const std::uint64_t y11 = y20 ^ y9;
    const std::uint64_t y7 = x7 ^ y11;
    const std::uint64_t y17 = y10 ^ y11;
    const std::uint64_t y19 = y10 ^ y8;
    const std::uint64_t y16 = t0 ^ y11;
    const std::uint64_t y21 = y13 ^ y16;
    const std::uint64_t y18 = x0 ^ y16;

    // Non-linear middle: the inversion.
    const std::uint64_t t2 = y12 & y15;
    const std::uint64_t t3 = y3 & y6;
    const std::uint64_t t4 = t3 ^ t2;
    const std::uint64_t t5 = y4 & x7;
    const std::uint64_t t6 = t5 ^ t2;
    const std::uint64_t t7 = y13 & y16;
    const std::uint64_t t8 = y5 & y1;
    const std::uint64_t t9 = t8 ^ t7;
    const std::uint64_t t10 = y2 & y7;
    const std::uint64_t t11 = t10 ^ t7;
    const std::uint64_t t12 = y9 & y11;
    const std::uint64_t t13 = y14 & y17;
    const std::uint64_t t14 = t13 ^ t12;
    const std::uint64_t t15 = y8 & y10;
    const std::uint64_t t16 = t15 ^ t12;
    const std::uint64_t t17 = t4 ^ t14;
    const std::uint64_t t18 = t6 ^ t16;
    const std::uint64_t t19 = t9 ^ t14;
    const std::uint64_t t20 = t11 ^ t16;
    const std::uint64_t t21 = t17 ^ y20;
    const std::uint64_t t22 = t18 ^ y19;
    const std::uint64_t t23 = t19 ^ y21;
    const std::uint64_t t24 = t20 ^ y18;

    const std::uint64_t t25 = t21 ^ t22;
    const std::uint64_t t26 = t21 & t23;
    const std::uint64_t t27 = t24 ^ t26;
    const std::uint64_t t28 = t25 & t27;
    const std::uint64_t t29 = t28 ^ t22;
    const std::uint64_t t30 = t23 ^ t24;
    const std::uint64_t t31 = t22 ^ t26;
    const std::uint64_t t32 = t31 & t30;
    const std::uint64_t t33 = t32 ^ t24;
    const std::uint64_t t34 = t23 ^ t33;
    const std::uint64_t t35 = t27 ^ t33;
    const std::uint64_t t36 = t24 & t35;
    const std::uint64_t t37 = t36 ^ t34;
    const std::uint64_t t38 = t27 ^ t36;
    const std::uint64_t t39 = t29 & t38;
    const std::uint64_t t40 = t25 ^ t39;

    const std::uint64_t t41 = t40 ^ t37;
    const std::uint64_t t42 = t29 ^ t33;
    const std::uint64_t t43 = t29 ^ t40;
    const std::uint64_t t44 = t33 ^ t37;
    const std::uint64_t t45 = t42 ^ t41;
    const std::uint64_t z0 = t44 & y15;
    const std::uint64_t z1 = t37 & y6;
    const std::uint64_t z2 = t33 & x7;
    const std::uint64_t z3 = t43 & y16;
    const std::uint64_t z4 = t40 & y1;
    const std::uint64_t z5 = t29 & y7;
    const std::uint64_t z6 = t42 & y11;
    const std::uint64_t z7 = t45 & y17;
    const std::uint64_t z8 = t41 & y10;
    const std::uint64_t z9 = t44 & y12;
    const std::uint64_t z10 = t37 & y3;
    const std::uint64_t z11 = t33 & y4;
    const std::uint64_t z12 = t43 & y13;
    const std::uint64_t z13 = t40 & y5;
    const std::uint64_t z14 = t29 & y2;
    const std::uint64_t z15 = t42 & y9;
    const std::uint64_t z16 = t45 & y14;
    const std::uint64_t z17 = t41 & y8;

    // Bottom linear layer, with the affine constant 63 as the NOTs.
    const std::uint64_t t46 = z15 ^ z16;
    const std::uint64_t t47 = z10 ^ z11;
    const std::uint64_t t48 = z5 ^ z13;
    const std::uint64_t t49 = z9 ^ z10;
    const std::uint64_t t50 = z2 ^ z12;
    const std::uint64_t t51 = z2 ^ z5;
    const std::uint64_t t52 = z7 ^ z8;
    const std::uint64_t t53 = z0 ^ z3;
    const std::uint64_t t54 = z6 ^ z7;
    const std::uint64_t t55 = z16 ^ z17;
    const std::uint64_t t56 = z12 ^ t48;
    const std::uint64_t t57 = t50 ^ t53;
    const std::uint64_t t58 = z4 ^ t46;
    const std::uint64_t t59 = z3 ^ t54;
    const std::uint64_t t60 = t46 ^ t57;
    const std::uint64_t t61 = z14 ^ t57;
    const std::uint64_t t62 = t52 ^ t58;
    const std::uint64_t t63 = t49 ^ t58;
    const std::uint64_t t64 = z4 ^ t59;
    const std::uint64_t t65 = t61 ^ t62;
    const std::uint64_t t66 = z1 ^ t63;
    const std::uint64_t s0 = t59 ^ t63;
    const std::uint64_t s6 = t56 ^ ~t62;
    const std::uint64_t s7 = t48 ^ ~t60;
    const std::uint64_t t67 = t64 ^ t65;
    const std::uint64_t s3 = t53 ^ t66;
    const std::uint64_t s4 = t51 ^ t66;
    const std::uint64_t s5 = t47 ^ t65;
    const std::uint64_t s1 = t64 ^ ~s3;
    const std::uint64_t s2 = t55 ^ ~t67;

    q.w[7] = s0;
    q.w[6] = s1;
    q.w[5] = s2;
    q.w[4] = s3;
    q.w[3] = s4;
    q.w[2] = s5;
    q.w[1] = s6;
    q.w[0] = s7;
}

// The inverse of the S-box's affine map (FIPS-197 5.3.2), constant included:
// bit i becomes b[i + 2] ^ b[i + 5] ^ b[i + 7] ^ (bit i of 05).
CIPHER_ALWAYS_INLINE void invAffine(Slices &q)
{
    const Slices b = q;
    CIPHER_EACH_SLICE(i)
        q.w[i] = b.w[(i + 2) & 7] ^ b.w[(i + 5) & 7] ^ b.w[(i + 7) & 7];
    q.w[0] = ~q.w[0];
    q.w[2] = ~q.w[2];
}

// S(x) = A(x^-1) ^ 63, so x^-1 = A^-1(S(x) ^ 63), and the inverse S-box
// A^-1(y ^ 63)^-1 is the forward circuit between two inverse affine maps.
CIPHER_ALWAYS_INLINE void invSubBytes(Slices &q)
{
    invAffine(q);
    subBytes(q);
    invAffine(q);
}

CIPHER_ALWAYS_INLINE void addRoundKey(Slices &q, const std::uint64_t *roundKey)
{
    CIPHER_EACH_SLICE(i)
        q.w[i] ^= roundKey[i];
}

// Exchanges the bits selected by `mask` with those `shift` places above them.
CIPHER_ALWAYS_INLINE std::uint64_t swapWithin(std::uint64_t x, std::uint64_t mask, int shift)
{
    const std::uint64_t t = ((x >> shift) ^ x) & mask;
    return x ^ t ^ (t << shift);
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
    Slices q{};
    for (int lane = 0; lane < count; ++lane)
        loadLane(q, lane, in[lane]);
    transpose(q);
    encryptSlices(q, sliced, Nr);
    transpose(q);
    for (int lane = 0; lane < count; ++lane)
        storeLane(q, lane, out[lane]);
    secureWipe(&q, sizeof q);
}

void decryptLanes(const std::uint64_t *sliced, int Nr, const unsigned char *in, unsigned char *out,
                  int count)
{
    const std::uint64_t *decryption = sliced + 8 * (Nr + 1);
    Slices q{};
    for (int lane = 0; lane < count; ++lane)
        loadLane(q, lane, in + blockSize * lane);
    transpose(q);
    decryptSlices(q, decryption, Nr);
    transpose(q);
    for (int lane = 0; lane < count; ++lane)
        storeLane(q, lane, out + blockSize * lane);
    secureWipe(&q, sizeof q);
}

} // namespace

std::uint32_t subWord(std::uint32_t word)
{
    Slices q{};
    q.w[0] = spreadBytes(word);
    transpose(q);
    subBytes(q);
    transpose(q);
    const std::uint32_t result = gatherBytes(q.w[0]);
    secureWipe(&q, sizeof q);
    return result;
}

unsigned char subByte(unsigned char x)
{
    return static_cast<unsigned char>(subWord(x));
}

unsigned char invSubByte(unsigned char x)
{
    Slices q{};
    q.w[0] = spreadBytes(x);
    transpose(q);
    invSubBytes(q);
    transpose(q);
    return static_cast<unsigned char>(gatherBytes(q.w[0]));
}

void sliceRoundKeys(const unsigned char *roundKeys, int Nr, std::uint64_t *sliced)
{
    // Every lane gets the same round key. Round k of the cipher finds the
    // state k ShiftRows behind, so its key is moved back by ShiftRows^-k;
    // round k of the inverse cipher, Nr - k inverse rounds in, finds it
    // Nr - k ShiftRows ahead.
    std::uint64_t *decryption = sliced + 8 * (Nr + 1);
    for (int round = 0; round <= Nr; ++round) {
        Slices q;
        for (int lane = 0; lane < lanes; ++lane)
            loadLane(q, lane, roundKeys + blockSize * round);
        transpose(q);
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
            from[lane] = i < blocks ? in + blockSize * i : last;
            to[lane] = out + blockSize * i;
        }
        encryptLanes(sliced, Nr, from, to, count);
    }
}

void decryptEcb(const std::uint64_t *sliced, int Nr, const unsigned char *in, std::size_t blocks,
                unsigned char *out)
{
    for (std::size_t first = 0; first < blocks; first += lanes) {
        const int count = blocks - first < std::size_t(lanes) ? int(blocks - first) : lanes;
        decryptLanes(sliced, Nr, in + blockSize * first, out + blockSize * first, count);
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
    unsigned char previous[blockSize];
    unsigned char cipherBlocks[lanes * blockSize];
    std::memcpy(previous, iv, blockSize);
    Slices chain{}, plain{}, cipherText{}, q{};
    loadLane(chain, 0, iv);
    transpose(chain);
    for (std::size_t first = 0; first < total; first += lanes) {
        const int count = total - first < std::size_t(lanes) ? int(total - first) : lanes;
        plain = Slices{};
        for (int lane = 0; lane < count; ++lane) {
            const std::size_t i = first + std::size_t(lane);
            loadLane(plain, lane, i < blocks ? in + blockSize * i : last);
        }
        transpose(plain);
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
        transpose(cipherText);
        for (int lane = 0; lane < count; ++lane)
            storeLane(cipherText, lane, cipherBlocks + blockSize * lane);
        // The caller's full blocks become plaintext XOR chaining value, before
        // the cipher text is written: the output may be the input's memory.
        for (int lane = 0; lane < count; ++lane) {
            const std::size_t i = first + std::size_t(lane);
            if (i < blocks)
                xorBlock(in + blockSize * i,
                         lane == 0 ? previous : cipherBlocks + blockSize * (lane - 1));
        }
        std::memcpy(out + blockSize * first, cipherBlocks, blockSize * std::size_t(count));
        std::memcpy(previous, cipherBlocks + blockSize * (count - 1), blockSize);
    }
    std::memcpy(iv, previous, blockSize);
    secureWipe(&q, sizeof q);
    secureWipe(&plain, sizeof plain);
    secureWipe(&chain, sizeof chain);
    secureWipe(&cipherText, sizeof cipherText);
    secureWipe(cipherBlocks, sizeof cipherBlocks);
}

void decryptCbc(const std::uint64_t *sliced, int Nr, const unsigned char *in, std::size_t blocks,
                unsigned char *out, unsigned char *iv)
{
    unsigned char chain[blockSize];
    unsigned char cipherBlocks[lanes * blockSize];
    std::memcpy(chain, iv, blockSize);
    for (std::size_t first = 0; first < blocks; first += lanes) {
        const int count = blocks - first < std::size_t(lanes) ? int(blocks - first) : lanes;
        // Kept before the output is written: it may be the input's memory.
        std::memcpy(cipherBlocks, in + blockSize * first, blockSize * std::size_t(count));
        unsigned char *plain = out + blockSize * first;
        decryptLanes(sliced, Nr, cipherBlocks, plain, count);
        xorBlock(plain, chain);
        for (int lane = 1; lane < count; ++lane)
            xorBlock(plain + blockSize * lane, cipherBlocks + blockSize * (lane - 1));
        std::memcpy(chain, cipherBlocks + blockSize * (count - 1), blockSize);
    }
    std::memcpy(iv, chain, blockSize);
}

} // namespace aesct
} // namespace cipher
