#include "app/pagememory.h"

#include "cipher/wipe.h"

#include <utility>

SecretBuffer &SecretBuffer::operator=(SecretBuffer &&other) noexcept
{
    if (this != &other) {
        wipe();
        buffer = std::move(other.buffer);
    }
    return *this;
}

void SecretBuffer::wipe()
{
    if (buffer)
        cipher::secureWipe(buffer.data(), buffer.size());
}

SecretBytes::SecretBytes(QByteArray bytes) : bytes(std::move(bytes)) {}

SecretBytes::~SecretBytes()
{
    clear();
}

SecretBytes &SecretBytes::operator=(QByteArray other)
{
    clear();
    bytes = std::move(other);
    return *this;
}

void SecretBytes::clear()
{
    if (!bytes.isEmpty())
        cipher::secureWipe(bytes.data(), std::size_t(bytes.size()));
    bytes.clear();
}
