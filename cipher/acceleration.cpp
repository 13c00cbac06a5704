#include "cipher/acceleration.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#if defined(CIPHERBENCH_HAVE_AESNI) || defined(CIPHERBENCH_HAVE_AVX2)
#include <cpuid.h>
#endif

namespace cipher {
namespace {

// CPUID leaf 1, ECX: bit 25 AES, bit 19 SSE4.1 (what aes_ni.cpp is built for).
bool processorHasAesInstructions()
{
#if defined(CIPHERBENCH_HAVE_AESNI)
    unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0)
        return false;
    return (ecx & (1u << 25)) != 0 && (ecx & (1u << 19)) != 0;
#else
    return false;
#endif
}

// CPUID leaf 1, ECX: bit 27 OSXSAVE, bit 28 AVX; the system must also save
// the YMM registers (XCR0 bits 1 and 2); leaf 7, EBX bit 5: AVX2.
bool processorHasAvx2()
{
#if defined(CIPHERBENCH_HAVE_AVX2)
    unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0)
        return false;
    if ((ecx & (1u << 27)) == 0 || (ecx & (1u << 28)) == 0)
        return false;
    unsigned int xcr0 = 0, xcr0High = 0;
    __asm__("xgetbv" : "=a"(xcr0), "=d"(xcr0High) : "c"(0));
    if ((xcr0 & 6u) != 6u)
        return false;
    if (__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) == 0)
        return false;
    return (ebx & (1u << 5)) != 0;
#else
    return false;
#endif
}

bool environmentForcesPortable(const char *name)
{
    const char *value = std::getenv(name);
    return value != nullptr && value[0] != '\0' && std::strcmp(value, "0") != 0;
}

struct Choice
{
    const bool available;
    std::atomic<bool> portableForced;
};

// Read once, on first use; both engines' tests switch their own one only.
Choice &choice(Acceleration which)
{
    static Choice aes{processorHasAesInstructions(),
                      {environmentForcesPortable("CIPHERBENCH_AES_PORTABLE")}};
    static Choice avx2{processorHasAvx2(), {environmentForcesPortable("CIPHERBENCH_DES_PORTABLE")}};
    return which == Acceleration::AesInstructions ? aes : avx2;
}

} // namespace

bool accelerationAvailable(Acceleration which)
{
    return choice(which).available;
}

bool accelerationInUse(Acceleration which)
{
    const Choice &c = choice(which);
    return c.available && !c.portableForced.load();
}

void forcePortable(Acceleration which, bool force)
{
    choice(which).portableForced.store(force);
}

} // namespace cipher
