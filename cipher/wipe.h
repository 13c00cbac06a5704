#ifndef CIPHERBENCH_CIPHER_WIPE_H
#define CIPHERBENCH_CIPHER_WIPE_H

#include <cstddef>

namespace cipher {

// Zeroes `size` bytes in a way the optimiser may not drop, even when the
// buffer is never read again (it may drop a plain memset then).
void secureWipe(void *secret, std::size_t size);

} // namespace cipher

#endif
