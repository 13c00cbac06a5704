#ifndef CIPHERBENCH_CODEC_WORKBUFFER_H
#define CIPHERBENCH_CODEC_WORKBUFFER_H

#include <QtGlobal>

#include <cstddef>

// A working buffer of the codecs or the pages, freed when its holder goes.
// Every one comes from one replaceable source, so that tests can refuse a
// particular buffer, picked by its name, and exercise the out-of-memory
// paths. An empty holder means the buffer could not be had: the source
// refused it, or `size` is negative or beyond what an int counts (which the
// engines' and coders' lengths are).
class WorkBuffer
{
public:
    // What the debug output receives when the buffer cannot be had: "Unable
    // to allocate memory for " and the name, then a line break (LineBreak) or
    // not (NoBreak); Silent writes nothing.
    enum Notice { LineBreak, NoBreak, Silent };

    // Gives a buffer of `size` bytes (at least one, aligned as new char[] is,
    // freed with delete[]) for the buffer called `name`, or nullptr.
    using Source = char *(*)(std::size_t size, const char *name);
    // Replaces the source; nullptr restores the default. Returns the previous one.
    static Source setSource(Source source);
    static char *defaultSource(std::size_t size, const char *name);

    WorkBuffer() = default;
    WorkBuffer(qsizetype size, const char *name, Notice notice = LineBreak);
    ~WorkBuffer();
    WorkBuffer(WorkBuffer &&other) noexcept;
    WorkBuffer &operator=(WorkBuffer &&other) noexcept;
    WorkBuffer(const WorkBuffer &) = delete;
    WorkBuffer &operator=(const WorkBuffer &) = delete;

    char *data() const { return buffer; }
    std::size_t size() const { return length; }
    explicit operator bool() const { return buffer != nullptr; }

private:
    char *buffer = nullptr;
    std::size_t length = 0;
};

#endif
