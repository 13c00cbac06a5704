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

// The eight S-boxes as Boolean circuits of AND, OR, XOR, NOT and AND-NOT
// gates, 353 in all (S1 to S8: 49, 44, 46, 33, 48, 46, 46, 41). The
// expressions are Roman Rusakov's, generated for Openwall's John the Ripper
// (its nonstd.c, the variants chosen there for x86-64 SSE2). The formulas
// are not copyrighted and are free for reuse; that file's rendering of them,
// which this follows, is Copyright (c) 2011 Solar Designer, who permits
// redistribution and use in source and binary forms, with or without
// modification. Variable names are the truth tables over a1..a6 in hexadecimal.
// Inputs a1..a6 are the six bits of the S-box's group, a1 first; each circuit
// XORs its four output bits, out1 the most significant, into out1..out4.
// `a & ~b` is one instruction wherever vectors have AND-NOT.

template <class V>
CIPHER_ALWAYS_INLINE void s1(V a1, V a2, V a3, V a4, V a5, V a6, V &out1, V &out2, V &out3, V &out4)
{
    const V x55005500 = a1 & ~a5;
    const V x5A0F5A0F = a4 ^ x55005500;
    const V x3333FFFF = a3 | a6;
    const V x66666666 = a1 ^ a3;
    const V x22226666 = x3333FFFF & x66666666;
    const V x2D2D6969 = a4 ^ x22226666;
    const V x25202160 = x2D2D6969 & ~x5A0F5A0F;

    const V x00FFFF00 = a5 ^ a6;
    const V x33CCCC33 = a3 ^ x00FFFF00;
    const V x4803120C = x5A0F5A0F & ~x33CCCC33;
    const V x2222FFFF = a6 | x22226666;
    const V x6A21EDF3 = x4803120C ^ x2222FFFF;
    const V x4A01CC93 = x6A21EDF3 & ~x25202160;

    const V x5555FFFF = a1 | a6;
    const V x7F75FFFF = x6A21EDF3 | x5555FFFF;
    const V x00D20096 = a5 & ~x2D2D6969;
    const V x7FA7FF69 = x7F75FFFF ^ x00D20096;

    const V x0A0A0000 = a4 & ~x5555FFFF;
    const V x0AD80096 = x00D20096 ^ x0A0A0000;
    const V x00999900 = x00FFFF00 & ~x66666666;
    const V x0AD99996 = x0AD80096 | x00999900;

    const V x22332233 = a3 & ~x55005500;
    const V x257AA5F0 = x5A0F5A0F ^ x7F75FFFF;
    const V x054885C0 = x257AA5F0 & ~x22332233;
    const V xFAB77A3F = ~x054885C0;
    const V x2221EDF3 = x3333FFFF & x6A21EDF3;
    const V xD89697CC = xFAB77A3F ^ x2221EDF3;
    const V x20 = x7FA7FF69 & ~a2;
    const V x21 = x20 ^ xD89697CC;
    out3 ^= x21;

    const V x05B77AC0 = x00FFFF00 ^ x054885C0;
    const V x05F77AD6 = x00D20096 | x05B77AC0;
    const V x36C48529 = x3333FFFF ^ x05F77AD6;
    const V x6391D07C = a1 ^ x36C48529;
    const V xBB0747B0 = xD89697CC ^ x6391D07C;
    const V x00 = x25202160 | a2;
    const V x01 = x00 ^ xBB0747B0;
    out1 ^= x01;

    const V x4C460000 = x3333FFFF ^ x7F75FFFF;
    const V x4EDF9996 = x0AD99996 | x4C460000;
    const V x2D4E49EA = x6391D07C ^ x4EDF9996;
    const V xBBFFFFB0 = x00FFFF00 | xBB0747B0;
    const V x96B1B65A = x2D4E49EA ^ xBBFFFFB0;
    const V x10 = x4A01CC93 | a2;
    const V x11 = x10 ^ x96B1B65A;
    out2 ^= x11;

    const V x5AFF5AFF = a5 | x5A0F5A0F;
    const V x52B11215 = x5AFF5AFF & ~x2D4E49EA;
    const V x4201C010 = x4A01CC93 & x6391D07C;
    const V x10B0D205 = x52B11215 ^ x4201C010;
    const V x30 = x10B0D205 | a2;
    const V x31 = x30 ^ x0AD99996;
    out4 ^= x31;
}

template <class V>
CIPHER_ALWAYS_INLINE void s2(V a1, V a2, V a3, V a4, V a5, V a6, V &out1, V &out2, V &out3, V &out4)
{
    const V x33CC33CC = a2 ^ a5;

    const V x55550000 = a1 & ~a6;
    const V x00AA00FF = a5 & ~x55550000;
    const V x33BB33FF = a2 | x00AA00FF;

    const V x33CC0000 = x33CC33CC & ~a6;
    const V x11441144 = a1 & x33CC33CC;
    const V x11BB11BB = a5 ^ x11441144;
    const V x003311BB = x11BB11BB & ~x33CC0000;

    const V x00000F0F = a3 & a6;
    const V x336600FF = x00AA00FF ^ x33CC0000;
    const V x332200FF = x33BB33FF & x336600FF;
    const V x332200F0 = x332200FF & ~x00000F0F;

    const V x0302000F = a3 & x332200FF;
    const V xAAAAAAAA = ~a1;
    const V xA9A8AAA5 = x0302000F ^ xAAAAAAAA;
    const V x33CCCC33 = a6 ^ x33CC33CC;
    const V x33CCC030 = x33CCCC33 & ~x00000F0F;
    const V x9A646A95 = xA9A8AAA5 ^ x33CCC030;
    const V x10 = a4 & ~x332200F0;
    const V x11 = x10 ^ x9A646A95;
    out2 ^= x11;

    const V x00333303 = a2 & ~x33CCC030;
    const V x118822B8 = x11BB11BB ^ x00333303;
    const V xA8208805 = xA9A8AAA5 & ~x118822B8;
    const V x3CC3C33C = a3 ^ x33CCCC33;
    const V x94E34B39 = xA8208805 ^ x3CC3C33C;
    const V x00 = x33BB33FF & ~a4;
    const V x01 = x00 ^ x94E34B39;
    out1 ^= x01;

    const V x0331330C = x0302000F ^ x00333303;
    const V x3FF3F33C = x3CC3C33C | x0331330C;
    const V xA9DF596A = x33BB33FF ^ x9A646A95;
    const V xA9DF5F6F = x00000F0F | xA9DF596A;
    const V x962CAC53 = x3FF3F33C ^ xA9DF5F6F;

    const V x97D27835 = x94E34B39 ^ x0331330C;
    const V x81D25825 = xA9DF5F6F & x97D27835;
    const V x812D58DA = a5 ^ x81D25825;
    const V x802158DA = x812D58DA & ~x33CC0000;
    const V x1A45324F = x9A646A95 ^ x802158DA;
    const V x20 = x1A45324F | a4;
    const V x21 = x20 ^ x962CAC53;
    out3 ^= x21;

    const V x0A451047 = x1A45324F & ~x118822B8;
    const V xBBDFDD7B = x33CCCC33 | xA9DF596A;
    const V xB19ACD3C = x0A451047 ^ xBBDFDD7B;
    const V x30 = x003311BB | a4;
    const V x31 = x30 ^ xB19ACD3C;
    out4 ^= x31;
}

template <class V>
CIPHER_ALWAYS_INLINE void s3(V a1, V a2, V a3, V a4, V a5, V a6, V &out1, V &out2, V &out3, V &out4)
{
    const V x44444444 = a1 & ~a2;
    const V x0F0FF0F0 = a3 ^ a6;
    const V x4F4FF4F4 = x44444444 | x0F0FF0F0;
    const V x00FFFF00 = a4 ^ a6;
    const V x00AAAA00 = x00FFFF00 & ~a1;
    const V x4FE55EF4 = x4F4FF4F4 ^ x00AAAA00;

    const V x3C3CC3C3 = a2 ^ x0F0FF0F0;
    const V x3C3C0000 = x3C3CC3C3 & ~a6;
    const V x7373F4F4 = x4F4FF4F4 ^ x3C3C0000;
    const V x0C840A00 = x4FE55EF4 & ~x7373F4F4;

    const V x00005EF4 = a6 & x4FE55EF4;
    const V x00FF5EFF = a4 | x00005EF4;
    const V x00555455 = a1 & x00FF5EFF;
    const V x3C699796 = x3C3CC3C3 ^ x00555455;
    const V x30 = x4FE55EF4 & ~a5;
    const V x31 = x30 ^ x3C699796;
    out4 ^= x31;

    const V x000FF000 = x0F0FF0F0 & x00FFFF00;
    const V x55AA55AA = a1 ^ a4;
    const V x26D9A15E = x7373F4F4 ^ x55AA55AA;
    const V x2FDFAF5F = a3 | x26D9A15E;
    const V x2FD00F5F = x2FDFAF5F & ~x000FF000;

    const V x55AAFFAA = x00AAAA00 | x55AA55AA;
    const V x28410014 = x3C699796 & ~x55AAFFAA;
    const V x000000FF = a4 & a6;
    const V x000000CC = x000000FF & ~a2;
    const V x284100D8 = x28410014 ^ x000000CC;

    const V x204000D0 = x284100D8 & ~a3;
    const V x3C3CC3FF = x3C3CC3C3 | x000000FF;
    const V x1C3CC32F = x3C3CC3FF & ~x204000D0;
    const V x4969967A = a1 ^ x1C3CC32F;
    const V x10 = x2FD00F5F & a5;
    const V x11 = x10 ^ x4969967A;
    out2 ^= x11;

    const V x4CC44CC4 = x4FE55EF4 & ~a2;
    const V x40C040C0 = x4CC44CC4 & ~a3;
    const V x69963C69 = x3C3CC3C3 ^ x55AAFFAA;
    const V x9669C396 = ~x69963C69;
    const V xD6A98356 = x40C040C0 ^ x9669C396;
    const V x00 = a5 & ~x0C840A00;
    const V x01 = x00 ^ xD6A98356;
    out1 ^= x01;

    const V x000F00F0 = a4 & x0F0FF0F0;
    const V xFEBDC3D7 = x3C3CC3C3 | xD6A98356;
    const V xFEB0C307 = xFEBDC3D7 & ~x000F00F0;
    const V x4CEEEEC4 = x00AAAA00 | x4CC44CC4;
    const V xB25E2DC3 = xFEB0C307 ^ x4CEEEEC4;
    const V x20 = x284100D8 | a5;
    const V x21 = x20 ^ xB25E2DC3;
    out3 ^= x21;
}

template <class V>
CIPHER_ALWAYS_INLINE void s4(V a1, V a2, V a3, V a4, V a5, V a6, V &out1, V &out2, V &out3, V &out4)
{
    const V x5A5A5A5A = a1 ^ a3;
    const V x0F0FF0F0 = a3 ^ a5;
    const V x33FF33FF = a2 | a4;
    const V x33FFCC00 = a5 ^ x33FF33FF;
    const V x0C0030F0 = x0F0FF0F0 & ~x33FFCC00;
    const V x0C0CC0C0 = x0F0FF0F0 & ~a2;
    const V x0CF3C03F = a4 ^ x0C0CC0C0;
    const V x5EFBDA7F = x5A5A5A5A | x0CF3C03F;
    const V x52FBCA0F = x5EFBDA7F & ~x0C0030F0;
    const V x61C8F93C = a2 ^ x52FBCA0F;

    const V x00C0C03C = x0CF3C03F & x61C8F93C;
    const V x0F0F30C0 = x0F0FF0F0 & ~x00C0C03C;
    const V x3B92A366 = x5A5A5A5A ^ x61C8F93C;
    const V x30908326 = x3B92A366 & ~x0F0F30C0;
    const V x3C90B3D6 = x0C0030F0 ^ x30908326;

    const V x33CC33CC = a2 ^ a4;
    const V x0C0CFFFF = a5 | x0C0CC0C0;
    const V x379E5C99 = x3B92A366 ^ x0C0CFFFF;
    const V x04124C11 = x379E5C99 & ~x33CC33CC;
    const V x56E9861E = x52FBCA0F ^ x04124C11;
    const V x00 = a6 & ~x3C90B3D6;
    const V x01 = x00 ^ x56E9861E;
    out1 ^= x01;

    const V xA91679E1 = ~x56E9861E;
    const V x10 = x3C90B3D6 & ~a6;
    const V x11 = x10 ^ xA91679E1;
    out2 ^= x11;

    const V x9586CA37 = x3C90B3D6 ^ xA91679E1;
    const V x8402C833 = x9586CA37 & ~x33CC33CC;
    const V x84C2C83F = x00C0C03C | x8402C833;
    const V xB35C94A6 = x379E5C99 ^ x84C2C83F;
    const V x20 = x61C8F93C | a6;
    const V x21 = x20 ^ xB35C94A6;
    out3 ^= x21;

    const V x30 = a6 & x61C8F93C;
    const V x31 = x30 ^ xB35C94A6;
    out4 ^= x31;
}

template <class V>
CIPHER_ALWAYS_INLINE void s5(V a1, V a2, V a3, V a4, V a5, V a6, V &out1, V &out2, V &out3, V &out4)
{
    const V x77777777 = a1 | a3;
    const V x77770000 = x77777777 & ~a6;
    const V x22225555 = a1 ^ x77770000;
    const V x11116666 = a3 ^ x22225555;
    const V x1F1F6F6F = a4 | x11116666;

    const V x70700000 = x77770000 & ~a4;
    const V x43433333 = a3 ^ x70700000;
    const V x00430033 = a5 & x43433333;
    const V x55557777 = a1 | x11116666;
    const V x55167744 = x00430033 ^ x55557777;
    const V x5A19784B = a4 ^ x55167744;

    const V x5A1987B4 = a6 ^ x5A19784B;
    const V x7A3BD7F5 = x22225555 | x5A1987B4;
    const V x003B00F5 = a5 & x7A3BD7F5;
    const V x221955A0 = x22225555 ^ x003B00F5;
    const V x05050707 = a4 & x55557777;
    const V x271C52A7 = x221955A0 ^ x05050707;

    const V x2A2A82A0 = x7A3BD7F5 & ~a1;
    const V x6969B193 = x43433333 ^ x2A2A82A0;
    const V x1FE06F90 = a5 ^ x1F1F6F6F;
    const V x16804E00 = x1FE06F90 & ~x6969B193;
    const V xE97FB1FF = ~x16804E00;
    const V x20 = xE97FB1FF & ~a2;
    const V x21 = x20 ^ x5A19784B;
    out3 ^= x21;

    const V x43403302 = x43433333 & ~x003B00F5;
    const V x35CAED30 = x2A2A82A0 ^ x1FE06F90;
    const V x37DEFFB7 = x271C52A7 | x35CAED30;
    const V x349ECCB5 = x37DEFFB7 & ~x43403302;
    const V x0B01234A = x1F1F6F6F & ~x349ECCB5;

    const V x101884B4 = x5A1987B4 & x349ECCB5;
    const V x0FF8EB24 = x1FE06F90 ^ x101884B4;
    const V x41413333 = x43433333 & x55557777;
    const V x4FF9FB37 = x0FF8EB24 | x41413333;
    const V x4FC2FBC2 = x003B00F5 ^ x4FF9FB37;
    const V x30 = x4FC2FBC2 & a2;
    const V x31 = x30 ^ x271C52A7;
    out4 ^= x31;

    const V x22222222 = a1 ^ x77777777;
    const V x16BCEE97 = x349ECCB5 ^ x22222222;
    const V x0F080B04 = a4 & x0FF8EB24;
    const V x19B4E593 = x16BCEE97 ^ x0F080B04;
    const V x00 = x0B01234A | a2;
    const V x01 = x00 ^ x19B4E593;
    out1 ^= x01;

    const V x5C5C5C5C = x1F1F6F6F ^ x43433333;
    const V x4448184C = x5C5C5C5C & ~x19B4E593;
    const V x2DDABE71 = x22225555 ^ x0FF8EB24;
    const V x6992A63D = x4448184C ^ x2DDABE71;
    const V x10 = x1F1F6F6F & a2;
    const V x11 = x10 ^ x6992A63D;
    out2 ^= x11;
}

template <class V>
CIPHER_ALWAYS_INLINE void s6(V a1, V a2, V a3, V a4, V a5, V a6, V &out1, V &out2, V &out3, V &out4)
{
    const V x33CC33CC = a2 ^ a5;

    const V x3333FFFF = a2 | a6;
    const V x11115555 = a1 & x3333FFFF;
    const V x22DD6699 = x33CC33CC ^ x11115555;
    const V x22DD9966 = a6 ^ x22DD6699;
    const V x00220099 = a5 & ~x22DD9966;

    const V x00551144 = a1 & x22DD9966;
    const V x33662277 = a2 ^ x00551144;
    const V x5A5A5A5A = a1 ^ a3;
    const V x7B7E7A7F = x33662277 | x5A5A5A5A;
    const V x59A31CE6 = x22DD6699 ^ x7B7E7A7F;

    const V x09030C06 = a3 & x59A31CE6;
    const V x09030000 = x09030C06 & ~a6;
    const V x336622FF = x00220099 | x33662277;
    const V x3A6522FF = x09030000 ^ x336622FF;
    const V x30 = x3A6522FF & a4;
    const V x31 = x30 ^ x59A31CE6;
    out4 ^= x31;

    const V x484D494C = a2 ^ x7B7E7A7F;
    const V x0000B6B3 = a6 & ~x484D494C;
    const V x0F0FB9BC = a3 ^ x0000B6B3;
    const V x00FC00F9 = a5 & ~x09030C06;
    const V x0FFFB9FD = x0F0FB9BC | x00FC00F9;

    const V x5DF75DF7 = a1 | x59A31CE6;
    const V x116600F7 = x336622FF & x5DF75DF7;
    const V x1E69B94B = x0F0FB9BC ^ x116600F7;
    const V x1668B94B = x1E69B94B & ~x09030000;
    const V x20 = x00220099 | a4;
    const V x21 = x20 ^ x1668B94B;
    out3 ^= x21;

    const V x7B7B7B7B = a2 | x5A5A5A5A;
    const V x411E5984 = x3A6522FF ^ x7B7B7B7B;
    const V x1FFFFDFD = x11115555 | x0FFFB9FD;
    const V x5EE1A479 = x411E5984 ^ x1FFFFDFD;

    const V x3CB4DFD2 = x22DD6699 ^ x1E69B94B;
    const V x004B002D = a5 & ~x3CB4DFD2;
    const V xB7B2B6B3 = ~x484D494C;
    const V xCCC9CDC8 = x7B7B7B7B ^ xB7B2B6B3;
    const V xCC82CDE5 = x004B002D ^ xCCC9CDC8;
    const V x10 = xCC82CDE5 & ~a4;
    const V x11 = x10 ^ x5EE1A479;
    out2 ^= x11;

    const V x0055EEBB = a6 ^ x00551144;
    const V x5A5AECE9 = a1 ^ x0F0FB9BC;
    const V x0050ECA9 = x0055EEBB & x5A5AECE9;
    const V xC5CAC1CE = x09030C06 ^ xCCC9CDC8;
    const V xC59A2D67 = x0050ECA9 ^ xC5CAC1CE;
    const V x00 = x0FFFB9FD & ~a4;
    const V x01 = x00 ^ xC59A2D67;
    out1 ^= x01;
}

template <class V>
CIPHER_ALWAYS_INLINE void s7(V a1, V a2, V a3, V a4, V a5, V a6, V &out1, V &out2, V &out3, V &out4)
{
    const V x0FF00FF0 = a4 ^ a5;
    const V x3CC33CC3 = a3 ^ x0FF00FF0;
    const V x00003CC3 = a6 & x3CC33CC3;
    const V x0F000F00 = a4 & x0FF00FF0;
    const V x5A555A55 = a2 ^ x0F000F00;
    const V x00001841 = x00003CC3 & x5A555A55;

    const V x00000F00 = a6 & x0F000F00;
    const V x33333C33 = a3 ^ x00000F00;
    const V x7B777E77 = x5A555A55 | x33333C33;
    const V x0FF0F00F = a6 ^ x0FF00FF0;
    const V x74878E78 = x7B777E77 ^ x0FF0F00F;
    const V x30 = a1 & ~x00001841;
    const V x31 = x30 ^ x74878E78;
    out4 ^= x31;

    const V x003C003C = a5 & ~x3CC33CC3;
    const V x5A7D5A7D = x5A555A55 | x003C003C;
    const V x333300F0 = x00003CC3 ^ x33333C33;
    const V x694E5A8D = x5A7D5A7D ^ x333300F0;

    const V x0FF0CCCC = x00003CC3 ^ x0FF0F00F;
    const V x000F0303 = a4 & ~x0FF0CCCC;
    const V x5A505854 = x5A555A55 & ~x000F0303;
    const V x33CC000F = a5 ^ x333300F0;
    const V x699C585B = x5A505854 ^ x33CC000F;

    const V x7F878F78 = x0F000F00 | x74878E78;
    const V x21101013 = a3 & x699C585B;
    const V x7F979F7B = x7F878F78 | x21101013;
    const V x30030CC0 = x3CC33CC3 & ~x0FF0F00F;
    const V x4F9493BB = x7F979F7B ^ x30030CC0;
    const V x00 = x4F9493BB & ~a1;
    const V x01 = x00 ^ x694E5A8D;
    out1 ^= x01;

    const V x6F9CDBFB = x699C585B | x4F9493BB;
    const V x0000DBFB = a6 & x6F9CDBFB;
    const V x00005151 = a2 & x0000DBFB;
    const V x26DAC936 = x694E5A8D ^ x4F9493BB;
    const V x26DA9867 = x00005151 ^ x26DAC936;

    const V x21FF10FF = a5 | x21101013;
    const V x21FFCB04 = x0000DBFB ^ x21FF10FF;
    const V x2625C9C9 = a5 ^ x26DAC936;
    const V x27FFCBCD = x21FFCB04 | x2625C9C9;
    const V x20 = x27FFCBCD & a1;
    const V x21 = x20 ^ x699C585B;
    out3 ^= x21;

    const V x27FF1036 = x0000DBFB ^ x27FFCBCD;
    const V x27FF103E = x003C003C | x27FF1036;
    const V xB06B6C44 = ~x4F9493BB;
    const V x97947C7A = x27FF103E ^ xB06B6C44;
    const V x10 = x97947C7A & ~a1;
    const V x11 = x10 ^ x26DA9867;
    out2 ^= x11;
}

template <class V>
CIPHER_ALWAYS_INLINE void s8(V a1, V a2, V a3, V a4, V a5, V a6, V &out1, V &out2, V &out3, V &out4)
{
    const V x0C0C0C0C = a3 & ~a2;
    const V x0000F0F0 = a5 & ~a3;
    const V x00FFF00F = a4 ^ x0000F0F0;
    const V x00555005 = a1 & x00FFF00F;
    const V x00515001 = x00555005 & ~x0C0C0C0C;

    const V x33000330 = a2 & ~x00FFF00F;
    const V x77555775 = a1 | x33000330;
    const V x30303030 = a2 & ~a3;
    const V x3030CFCF = a5 ^ x30303030;
    const V x30104745 = x77555775 & x3030CFCF;
    const V x30555745 = x00555005 | x30104745;

    const V xFF000FF0 = ~x00FFF00F;
    const V xCF1048B5 = x30104745 ^ xFF000FF0;
    const V x080A080A = a3 & ~x77555775;
    const V xC71A40BF = xCF1048B5 ^ x080A080A;
    const V xCB164CB3 = x0C0C0C0C ^ xC71A40BF;
    const V x10 = x00515001 | a6;
    const V x11 = x10 ^ xCB164CB3;
    out2 ^= x11;

    const V x9E4319E6 = a1 ^ xCB164CB3;
    const V x000019E6 = a5 & x9E4319E6;
    const V xF429738C = a2 ^ xC71A40BF;
    const V xF4296A6A = x000019E6 ^ xF429738C;
    const V xC729695A = x33000330 ^ xF4296A6A;

    const V xC47C3D2F = x30555745 ^ xF4296A6A;
    const V xF77F3F3F = a2 | xC47C3D2F;
    const V x9E43E619 = a5 ^ x9E4319E6;
    const V x693CD926 = xF77F3F3F ^ x9E43E619;
    const V x20 = x30555745 & a6;
    const V x21 = x20 ^ x693CD926;
    out3 ^= x21;

    const V xF719A695 = x3030CFCF ^ xC729695A;
    const V xF4FF73FF = a4 | xF429738C;
    const V x03E6D56A = xF719A695 ^ xF4FF73FF;
    const V x56B3803F = a1 ^ x03E6D56A;
    const V x30 = x56B3803F & a6;
    const V x31 = x30 ^ xC729695A;
    out4 ^= x31;

    const V xF700A600 = xF719A695 & ~a4;
    const V x61008000 = x693CD926 & xF700A600;
    const V x03B7856B = x00515001 ^ x03E6D56A;
    const V x62B7056B = x61008000 ^ x03B7856B;
    const V x00 = x62B7056B | a6;
    const V x01 = x00 ^ xC729695A;
    out1 ^= x01;
}

template <int box, class V>
CIPHER_ALWAYS_INLINE void sBox(V a1, V a2, V a3, V a4, V a5, V a6, V &o1, V &o2, V &o3, V &o4)
{
    if constexpr (box == 0)
        s1(a1, a2, a3, a4, a5, a6, o1, o2, o3, o4);
    else if constexpr (box == 1)
        s2(a1, a2, a3, a4, a5, a6, o1, o2, o3, o4);
    else if constexpr (box == 2)
        s3(a1, a2, a3, a4, a5, a6, o1, o2, o3, o4);
    else if constexpr (box == 3)
        s4(a1, a2, a3, a4, a5, a6, o1, o2, o3, o4);
    else if constexpr (box == 4)
        s5(a1, a2, a3, a4, a5, a6, o1, o2, o3, o4);
    else if constexpr (box == 5)
        s6(a1, a2, a3, a4, a5, a6, o1, o2, o3, o4);
    else if constexpr (box == 6)
        s7(a1, a2, a3, a4, a5, a6, o1, o2, o3, o4);
    else
        s8(a1, a2, a3, a4, a5, a6, o1, o2, o3, o4);
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

// Transposes a 64 x 64 bit matrix in place by masked swaps of ever smaller
// blocks (Hacker's Delight, 7-3): bit 63 - c of row r goes to bit 63 - r of
// row c. The work is the same whatever the bits. With wider lane words every
// 64-bit word of them is its own matrix, all transposed at once.
template <class V>
CIPHER_ALWAYS_INLINE void transpose64(V *rows)
{
    std::uint64_t mask = 0x00000000ffffffffu;
    for (int width = 32; width != 0; width >>= 1, mask ^= mask << width) {
        const V m = Lanes<V>::broadcast(mask);
        for (int k = 0; k < 64; k = ((k | width) + 1) & ~width) {
            const V t = (rows[k] ^ (rows[k | width] >> width)) & m;
            rows[k] ^= t;
            rows[k | width] ^= t << width;
        }
    }
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
