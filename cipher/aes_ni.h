#ifndef CIPHERBENCH_CIPHER_AES_NI_H
#define CIPHERBENCH_CIPHER_AES_NI_H

// The AES rounds on the x86-64 AES instructions (AES-NI). Only aes_ni.cpp is
// compiled for them; nothing here may be called unless the processor has
// them, so AesContext uses these only for keys expanded while
// aesUsesHardware() (aes.h) said so.
//
// `roundKeys` is the FIPS-197 schedule, 16 bytes per round key, which is the
// instructions' own layout. `invKeys` (from deriveInvKeys) are the round keys
// of the equivalent inverse cipher (FIPS-197 5.3.5), last round first. Nr is
// 10, 12 or 14. The buffer functions behave as their namesakes in aes_ct.h.

#include <cstddef>

namespace cipher {
namespace aesni {

void deriveInvKeys(const unsigned char *roundKeys, int Nr, unsigned char *invKeys);

void encryptEcb(const unsigned char *roundKeys, int Nr, const unsigned char *in, std::size_t blocks,
                const unsigned char *last, unsigned char *out);
void decryptEcb(const unsigned char *invKeys, int Nr, const unsigned char *in, std::size_t blocks,
                unsigned char *out);
void encryptCbc(const unsigned char *roundKeys, int Nr, unsigned char *in, std::size_t blocks,
                const unsigned char *last, unsigned char *out, unsigned char *iv);
void decryptCbc(const unsigned char *invKeys, int Nr, const unsigned char *in, std::size_t blocks,
                unsigned char *out, unsigned char *iv);

} // namespace aesni
} // namespace cipher

#endif
