#include "cipher/wipe.h"

namespace cipher {

void secureWipe(void *secret, std::size_t size)
{
    volatile unsigned char *bytes = static_cast<volatile unsigned char *>(secret);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = 0;
}

} // namespace cipher
