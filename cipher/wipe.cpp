#include "cipher/wipe.h"

#include <cstring>

namespace cipher {

void secureWipe(void *secret, std::size_t size)
{
#if defined(__GNUC__)
    // Cleared at memset speed (the bit-sliced batches wipe several KiB per
    // call); the empty asm claims to read the memory, so the compiler must
    // keep the stores even when nothing reads the buffer afterwards.
    std::memset(secret, 0, size);
    __asm__ __volatile__("" : : "r"(secret) : "memory");
#else
    volatile unsigned char *bytes = static_cast<volatile unsigned char *>(secret);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = 0;
#endif
}

} // namespace cipher
