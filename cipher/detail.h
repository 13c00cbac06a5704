#ifndef CIPHERBENCH_CIPHER_DETAIL_H
#define CIPHERBENCH_CIPHER_DETAIL_H

// Internals shared by the engines and their self-checks; not part of the
// interface the window code uses.

#include "cipher/wipe.h"

#include <cstddef>

namespace cipher {

// Read-only views of the standards' substitution tables.
const unsigned char *aesSBox();    // FIPS-197 Figure 7, 256 entries
const unsigned char *aesInvSBox(); // FIPS-197 Figure 14, 256 entries
// FIPS 46-3 S1..S8; entry [box][row * 16 + column].
const unsigned char (*desSBoxes())[64];

} // namespace cipher

#endif
