#ifndef CIPHERBENCH_APP_PAGEMEMORY_H
#define CIPHERBENCH_APP_PAGEMEMORY_H

#include <QtGlobal>

#include <cstddef>

class QByteArray;

// Memory the pages handle themselves: the engines' working buffers, all from
// one replaceable source, and the wiping of secrets before they are freed.

// The source of every working buffer of the pages: a buffer of `size` bytes
// (at least one, aligned as new char[] is, freed with delete[]), or nullptr
// when it cannot be had. Tests replace the source to exercise the
// out-of-memory paths; setting nullptr restores the default. Returns the
// previous source.
using PageBufferSource = char *(*)(std::size_t size);
PageBufferSource setPageBufferSource(PageBufferSource source);

// One working buffer, from the source, freed when the holder goes; a holder
// of Secret contents wipes the buffer first. An empty holder means the
// buffer could not be had: the source refused it, or `size` is negative or
// beyond what an int counts (which the engines' lengths are). Then, unless
// `name` is null, the debug output receives "Unable to allocate memory for "
// followed by `name` (some of those lines end in a line break, some do not).
class WorkBuffer
{
public:
    enum Contents { Data, Secret };

    WorkBuffer() = default;
    WorkBuffer(qsizetype size, const char *name, Contents contents = Data);
    ~WorkBuffer();
    WorkBuffer(WorkBuffer &&other) noexcept;
    WorkBuffer &operator=(WorkBuffer &&other) noexcept;
    WorkBuffer(const WorkBuffer &) = delete;
    WorkBuffer &operator=(const WorkBuffer &) = delete;

    char *data() const { return buffer; }
    explicit operator bool() const { return buffer != nullptr; }

private:
    void release();

    char *buffer = nullptr;
    std::size_t size = 0;
    Contents contents = Data;
};

// Wipes key material held in a byte array (through cipher::secureWipe), then
// empties it.
void wipeSecret(QByteArray &bytes);

#endif
