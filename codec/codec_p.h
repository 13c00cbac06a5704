#ifndef CIPHERBENCH_CODEC_CODEC_P_H
#define CIPHERBENCH_CODEC_CODEC_P_H

// Internal to the codec library and its tests; not part of the interface.

#include <cstddef>

// Source of the re-render routines' working buffers: returns a buffer of
// `size` bytes, or nullptr when it cannot be had. Replaceable so that the
// out-of-memory paths can be exercised; returns the previous allocator.
using WorkBufferAllocator = char *(*)(std::size_t size);
WorkBufferAllocator setWorkBufferAllocator(WorkBufferAllocator allocator);

#endif
