#ifndef CIPHERBENCH_CIPHER_AES_CT_H
#define CIPHERBENCH_CIPHER_AES_CT_H

// The portable AES rounds: bit-sliced, four blocks at a time, with the S-box
// computed by a Boolean circuit. No memory address and no branch depends on
// key or data, so the timing reveals neither on any processor.
//
// Round keys are taken in bit-sliced form (sliceRoundKeys): eight 64-bit
// words per round key, for encryption and again, arranged differently, for
// decryption: 16 * (Nr + 1) words in all. Blocks are 16 bytes, column
// by column as in FIPS-197. The functions only compute; the caller keeps the
// engine's buffer contract (lengths, padding, return values).

#include <cstddef>
#include <cstdint>

namespace cipher {
namespace aesct {

// FIPS-197 SubWord on a key word whose byte j is bits 8j to 8j + 7.
std::uint32_t subWord(std::uint32_t word);

// roundKeys: the FIPS-197 schedule, 16 bytes per round key.
void sliceRoundKeys(const unsigned char *roundKeys, int Nr, std::uint64_t *sliced);

// Encrypts `blocks` blocks from `in`, then the block `last`, to `out`
// (blocks + 1 blocks). `in` may be `out`.
void encryptEcb(const std::uint64_t *sliced, int Nr, const unsigned char *in, std::size_t blocks,
                const unsigned char *last, unsigned char *out);
// `in` may be `out`.
void decryptEcb(const std::uint64_t *sliced, int Nr, const unsigned char *in, std::size_t blocks,
                unsigned char *out);
// Each of the `blocks` blocks of `in` is replaced by itself XOR its chaining
// value, then encrypted; `last` (not changed) is chained and encrypted after
// them. `iv` holds the first chaining value and receives the last cipher block.
void encryptCbc(const std::uint64_t *sliced, int Nr, unsigned char *in, std::size_t blocks,
                const unsigned char *last, unsigned char *out, unsigned char *iv);
// `in` may be `out`; `iv` receives the last cipher block.
void decryptCbc(const std::uint64_t *sliced, int Nr, const unsigned char *in, std::size_t blocks,
                unsigned char *out, unsigned char *iv);

// The circuits for one byte, so they can be checked against the FIPS tables.
unsigned char subByte(unsigned char x);
unsigned char invSubByte(unsigned char x);

} // namespace aesct
} // namespace cipher

#endif
