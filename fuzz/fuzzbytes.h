#ifndef CIPHERBENCH_FUZZ_FUZZBYTES_H
#define CIPHERBENCH_FUZZ_FUZZBYTES_H

// Helpers of the engine fuzzers.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

// A heap copy of exactly `size` bytes, so that AddressSanitizer sees any
// read or write past the end of the buffer an engine was given.
inline std::unique_ptr<char[]> copyOf(const std::uint8_t *data, std::size_t size)
{
    std::unique_ptr<char[]> copy(new char[size]);
    if (size != 0)
        std::memcpy(copy.get(), data, size);
    return copy;
}

// A property the engines must keep; a failure stops the fuzzer with a crash
// report and the input that caused it.
inline void check(bool condition)
{
    if (!condition)
        std::abort();
}

#endif
