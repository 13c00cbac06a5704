// AES on the AES-NI instructions. This file alone is compiled with -maes
// -msse4.1, so it must not instantiate any inline function or template that
// other files share (a standard-library helper compiled here could be the
// copy the linker keeps for everyone, and fault on a processor without the
// instructions): it uses intrinsics and its own internal functions only.

#include "cipher/aes_ni.h"

#include "cipher/detail.h"

#include <emmintrin.h>
#include <wmmintrin.h>

namespace cipher {
namespace aesni {
namespace {

// Blocks in flight: the instructions' latency is several times their issue
// interval, so independent blocks fill the pipeline.
const int inFlight = 8;

inline __m128i load(const unsigned char *p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
}

inline void store(unsigned char *p, __m128i v)
{
    _mm_storeu_si128(reinterpret_cast<__m128i *>(p), v);
}

// The round keys of one call, wiped when it ends.
template <int Nr>
struct Schedule
{
    explicit Schedule(const unsigned char *bytes)
    {
        for (int i = 0; i <= Nr; ++i)
            k[i] = load(bytes + aesBlockSize * i);
    }
    ~Schedule() { secureWipe(k, sizeof k); }
    Schedule(const Schedule &) = delete;
    Schedule &operator=(const Schedule &) = delete;

    __m128i k[Nr + 1];
};

template <int Nr>
inline __m128i encryptOne(const Schedule<Nr> &s, __m128i x)
{
    x = _mm_xor_si128(x, s.k[0]);
    for (int round = 1; round < Nr; ++round)
        x = _mm_aesenc_si128(x, s.k[round]);
    return _mm_aesenclast_si128(x, s.k[Nr]);
}

template <int Nr>
inline __m128i decryptOne(const Schedule<Nr> &s, __m128i x)
{
    x = _mm_xor_si128(x, s.k[0]);
    for (int round = 1; round < Nr; ++round)
        x = _mm_aesdec_si128(x, s.k[round]);
    return _mm_aesdeclast_si128(x, s.k[Nr]);
}

template <int Nr>
inline void encryptMany(const Schedule<Nr> &s, __m128i *x)
{
#pragma GCC unroll 8
    for (int j = 0; j < inFlight; ++j)
        x[j] = _mm_xor_si128(x[j], s.k[0]);
    for (int round = 1; round < Nr; ++round) {
        const __m128i k = s.k[round];
#pragma GCC unroll 8
        for (int j = 0; j < inFlight; ++j)
            x[j] = _mm_aesenc_si128(x[j], k);
    }
#pragma GCC unroll 8
    for (int j = 0; j < inFlight; ++j)
        x[j] = _mm_aesenclast_si128(x[j], s.k[Nr]);
}

template <int Nr>
inline void decryptMany(const Schedule<Nr> &s, __m128i *x)
{
#pragma GCC unroll 8
    for (int j = 0; j < inFlight; ++j)
        x[j] = _mm_xor_si128(x[j], s.k[0]);
    for (int round = 1; round < Nr; ++round) {
        const __m128i k = s.k[round];
#pragma GCC unroll 8
        for (int j = 0; j < inFlight; ++j)
            x[j] = _mm_aesdec_si128(x[j], k);
    }
#pragma GCC unroll 8
    for (int j = 0; j < inFlight; ++j)
        x[j] = _mm_aesdeclast_si128(x[j], s.k[Nr]);
}

template <int Nr>
void ecbEncrypt(const unsigned char *roundKeys, const unsigned char *in, std::size_t blocks,
                const unsigned char *last, unsigned char *out)
{
    const Schedule<Nr> s(roundKeys);
    std::size_t i = 0;
    for (; i + inFlight <= blocks; i += inFlight) {
        __m128i x[inFlight];
#pragma GCC unroll 8
        for (int j = 0; j < inFlight; ++j)
            x[j] = load(in + aesBlockSize * (i + j));
        encryptMany(s, x);
#pragma GCC unroll 8
        for (int j = 0; j < inFlight; ++j)
            store(out + aesBlockSize * (i + j), x[j]);
    }
    for (; i < blocks; ++i)
        store(out + aesBlockSize * i, encryptOne(s, load(in + aesBlockSize * i)));
    store(out + aesBlockSize * blocks, encryptOne(s, load(last)));
}

template <int Nr>
void ecbDecrypt(const unsigned char *invKeys, const unsigned char *in, std::size_t blocks,
                unsigned char *out)
{
    const Schedule<Nr> s(invKeys);
    std::size_t i = 0;
    for (; i + inFlight <= blocks; i += inFlight) {
        __m128i x[inFlight];
#pragma GCC unroll 8
        for (int j = 0; j < inFlight; ++j)
            x[j] = load(in + aesBlockSize * (i + j));
        decryptMany(s, x);
#pragma GCC unroll 8
        for (int j = 0; j < inFlight; ++j)
            store(out + aesBlockSize * (i + j), x[j]);
    }
    for (; i < blocks; ++i)
        store(out + aesBlockSize * i, decryptOne(s, load(in + aesBlockSize * i)));
}

template <int Nr>
void cbcEncrypt(const unsigned char *roundKeys, unsigned char *in, std::size_t blocks,
                const unsigned char *last, unsigned char *out, unsigned char *iv)
{
    // One block after the other: each needs the cipher block before it.
    // The first round key joins the plaintext off the chain's critical path.
    const Schedule<Nr> s(roundKeys);
    __m128i chain = load(iv);
    for (std::size_t i = 0; i <= blocks; ++i) {
        const __m128i plain = i < blocks ? load(in + aesBlockSize * i) : load(last);
        if (i < blocks)
            store(in + aesBlockSize * i, _mm_xor_si128(plain, chain));
        __m128i x = _mm_xor_si128(_mm_xor_si128(plain, s.k[0]), chain);
        for (int round = 1; round < Nr; ++round)
            x = _mm_aesenc_si128(x, s.k[round]);
        chain = _mm_aesenclast_si128(x, s.k[Nr]);
        store(out + aesBlockSize * i, chain);
    }
    store(iv, chain);
}

template <int Nr>
void cbcDecrypt(const unsigned char *invKeys, const unsigned char *in, std::size_t blocks,
                unsigned char *out, unsigned char *iv)
{
    // All loads of a group come before its stores: the output may be the input.
    const Schedule<Nr> s(invKeys);
    __m128i chain = load(iv);
    std::size_t i = 0;
    for (; i + inFlight <= blocks; i += inFlight) {
        __m128i c[inFlight], x[inFlight];
#pragma GCC unroll 8
        for (int j = 0; j < inFlight; ++j)
            x[j] = c[j] = load(in + aesBlockSize * (i + j));
        decryptMany(s, x);
        store(out + aesBlockSize * i, _mm_xor_si128(x[0], chain));
#pragma GCC unroll 8
        for (int j = 1; j < inFlight; ++j)
            store(out + aesBlockSize * (i + j), _mm_xor_si128(x[j], c[j - 1]));
        chain = c[inFlight - 1];
    }
    for (; i < blocks; ++i) {
        const __m128i c = load(in + aesBlockSize * i);
        store(out + aesBlockSize * i, _mm_xor_si128(decryptOne(s, c), chain));
        chain = c;
    }
    store(iv, chain);
}

} // namespace

void deriveInvKeys(const unsigned char *roundKeys, int Nr, unsigned char *invKeys)
{
    store(invKeys, load(roundKeys + aesBlockSize * Nr));
    for (int i = 1; i < Nr; ++i)
        store(invKeys + aesBlockSize * i,
              _mm_aesimc_si128(load(roundKeys + aesBlockSize * (Nr - i))));
    store(invKeys + aesBlockSize * Nr, load(roundKeys));
}

void encryptEcb(const unsigned char *roundKeys, int Nr, const unsigned char *in, std::size_t blocks,
                const unsigned char *last, unsigned char *out)
{
    switch (Nr) {
    case 10: ecbEncrypt<10>(roundKeys, in, blocks, last, out); break;
    case 12: ecbEncrypt<12>(roundKeys, in, blocks, last, out); break;
    default: ecbEncrypt<14>(roundKeys, in, blocks, last, out); break;
    }
}

void decryptEcb(const unsigned char *invKeys, int Nr, const unsigned char *in, std::size_t blocks,
                unsigned char *out)
{
    switch (Nr) {
    case 10: ecbDecrypt<10>(invKeys, in, blocks, out); break;
    case 12: ecbDecrypt<12>(invKeys, in, blocks, out); break;
    default: ecbDecrypt<14>(invKeys, in, blocks, out); break;
    }
}

void encryptCbc(const unsigned char *roundKeys, int Nr, unsigned char *in, std::size_t blocks,
                const unsigned char *last, unsigned char *out, unsigned char *iv)
{
    switch (Nr) {
    case 10: cbcEncrypt<10>(roundKeys, in, blocks, last, out, iv); break;
    case 12: cbcEncrypt<12>(roundKeys, in, blocks, last, out, iv); break;
    default: cbcEncrypt<14>(roundKeys, in, blocks, last, out, iv); break;
    }
}

void decryptCbc(const unsigned char *invKeys, int Nr, const unsigned char *in, std::size_t blocks,
                unsigned char *out, unsigned char *iv)
{
    switch (Nr) {
    case 10: cbcDecrypt<10>(invKeys, in, blocks, out, iv); break;
    case 12: cbcDecrypt<12>(invKeys, in, blocks, out, iv); break;
    default: cbcDecrypt<14>(invKeys, in, blocks, out, iv); break;
    }
}

} // namespace aesni
} // namespace cipher
