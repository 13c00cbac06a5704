#ifndef CIPHERBENCH_CIPHER_ACCELERATION_H
#define CIPHERBENCH_CIPHER_ACCELERATION_H

// Which processor extensions the engines may use. Each engine has one
// extension it can speed up with (AES: the AES instructions; DES: AVX2
// vectors) and a portable path that gives the same bytes everywhere. The
// processor is asked once, at first use; a switch per engine forces the
// portable path, set from the engine's environment variable at first use
// (anything but empty or "0" forces it) and by forcePortable afterwards.

namespace cipher {

enum class Acceleration {
    AesInstructions, // x86-64 AES-NI with SSE4.1, read by aes_ni.cpp
    Avx2Vectors,     // x86-64 AVX2 with the system saving YMM registers
};

// The processor (and, for vectors, the system) supports it, and this build
// carries code for it.
bool accelerationAvailable(Acceleration which);

// Available and not forced off.
bool accelerationInUse(Acceleration which);

void forcePortable(Acceleration which, bool force);

} // namespace cipher

#endif
