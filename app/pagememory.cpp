#include "app/pagememory.h"

#include "cipher/wipe.h"

#include <QByteArray>
#include <QDebug>

#include <climits>
#include <new>
#include <utility>

static char *newPageBuffer(std::size_t size)
{
    return new (std::nothrow) char[size ? size : 1];
}

static PageBufferSource pageBufferSource = newPageBuffer;

PageBufferSource setPageBufferSource(PageBufferSource source)
{
    const PageBufferSource previous = pageBufferSource;
    pageBufferSource = source ? source : newPageBuffer;
    return previous;
}

WorkBuffer::WorkBuffer(qsizetype size, const char *name, Contents contents)
    : contents(contents)
{
    if (size >= 0 && size <= INT_MAX) {
        buffer = pageBufferSource(std::size_t(size));
        this->size = buffer ? std::size_t(size) : 0;
    }
    if (!buffer && name)
        qDebug("Unable to allocate memory for %s", name);
}

WorkBuffer::~WorkBuffer()
{
    release();
}

WorkBuffer::WorkBuffer(WorkBuffer &&other) noexcept
    : buffer(std::exchange(other.buffer, nullptr)), size(std::exchange(other.size, 0)),
      contents(other.contents)
{
}

WorkBuffer &WorkBuffer::operator=(WorkBuffer &&other) noexcept
{
    if (this != &other) {
        release();
        buffer = std::exchange(other.buffer, nullptr);
        size = std::exchange(other.size, 0);
        contents = other.contents;
    }
    return *this;
}

void WorkBuffer::release()
{
    if (buffer && contents == Secret)
        cipher::secureWipe(buffer, size);
    delete[] buffer;
    buffer = nullptr;
    size = 0;
}

void wipeSecret(QByteArray &bytes)
{
    if (!bytes.isEmpty())
        cipher::secureWipe(bytes.data(), std::size_t(bytes.size()));
    bytes.clear();
}
