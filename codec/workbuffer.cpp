#include "codec/workbuffer.h"

#include <QDebug>

#include <climits>
#include <new>
#include <utility>

static WorkBuffer::Source currentSource = WorkBuffer::defaultSource;

char *WorkBuffer::defaultSource(std::size_t size, const char *)
{
    // An empty text still needs a valid buffer.
    return new (std::nothrow) char[size ? size : 1];
}

WorkBuffer::Source WorkBuffer::setSource(Source source)
{
    return std::exchange(currentSource, source ? source : defaultSource);
}

WorkBuffer::WorkBuffer(qsizetype size, const char *name, Notice notice)
{
    if (size >= 0 && size <= INT_MAX) {
        buffer = currentSource(std::size_t(size), name);
        length = buffer ? std::size_t(size) : 0;
    }
    if (!buffer && notice != Silent)
        qDebug("Unable to allocate memory for %s%s", name, notice == LineBreak ? "\n" : "");
}

WorkBuffer::~WorkBuffer()
{
    delete[] buffer;
}

WorkBuffer::WorkBuffer(WorkBuffer &&other) noexcept
    : buffer(std::exchange(other.buffer, nullptr)), length(std::exchange(other.length, 0))
{}

WorkBuffer &WorkBuffer::operator=(WorkBuffer &&other) noexcept
{
    if (this != &other) {
        delete[] buffer;
        buffer = std::exchange(other.buffer, nullptr);
        length = std::exchange(other.length, 0);
    }
    return *this;
}
