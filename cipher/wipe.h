#ifndef CIPHERBENCH_CIPHER_WIPE_H
#define CIPHERBENCH_CIPHER_WIPE_H

#include <cstddef>

namespace cipher {

// Zeroes `size` bytes through a volatile pointer, so the stores survive even
// when the buffer is never read again (the optimiser may drop a memset).
void secureWipe(void *secret, std::size_t size);

} // namespace cipher

#endif
