// base64Decode on arbitrary bytes taken as a zero-terminated text, with an
// output of exactly base64DecodedCapacity bytes (AddressSanitizer watches the
// edges of both blocks), checked against a plain character-by-character
// decoder, and refusing one group less room untouched; and the encode ->
// decode round trip on the same bytes.

#include "codec/codec.h"

#include <QByteArray>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

unsigned alphabetValue(char c)
{
    static const char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const char *p = c ? std::strchr(alphabet, c) : nullptr;
    return p ? unsigned(p - alphabet) : 255u;
}

// Groups of four; places missing at the end count as '=', a group of one
// character gives nothing.
std::string referenceDecode(const char *in)
{
    std::string out;
    std::size_t i = 0;
    while (in[i]) {
        char g[4];
        int k = 0;
        while (k < 4 && in[i])
            g[k++] = in[i++];
        if (k < 2)
            break;
        for (int j = k; j < 4; ++j)
            g[j] = '=';
        const unsigned a = alphabetValue(g[0]), b = alphabetValue(g[1]);
        const unsigned c = alphabetValue(g[2]), d = alphabetValue(g[3]);
        out += char((a << 2 | (b >> 4 & 3)) & 0xFF);
        if (g[2] == '=')
            break;
        out += char((b << 4 | (c >> 2 & 15)) & 0xFF);
        if (g[3] == '=')
            break;
        out += char((c << 6 | (d & 63)) & 0xFF);
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size > (1u << 20))
        return 0;

    // Decoding arbitrary text.
    std::unique_ptr<char[]> text(new char[size + 1]);
    std::memcpy(text.get(), data, size);
    text[size] = '\0';
    const int length = int(std::strlen(text.get()));
    const int capacity = base64DecodedCapacity(length);
    std::unique_ptr<char[]> out(new char[capacity]);
    const int n = base64Decode(text.get(), out.get(), std::size_t(capacity));
    if (n < 0 || n > capacity)
        std::abort();
    if (referenceDecode(text.get()) != std::string(out.get(), std::size_t(n)))
        std::abort();
    // One group less room: refused before anything is written.
    if (capacity > 0) {
        std::memset(out.get(), 0x5A, std::size_t(capacity));
        if (base64Decode(text.get(), out.get(), std::size_t(capacity - 3)) != -1)
            std::abort();
        for (int i = 0; i < capacity; ++i) {
            if (out[i] != 0x5A)
                std::abort();
        }
    }

    // Round trip of the raw bytes.
    const int encodedSize = base64EncodedSize(int(size));
    std::unique_ptr<char[]> encoded(new char[encodedSize]);
    if (base64Encode(reinterpret_cast<const char *>(data), encoded.get(), int(size)) !=
        encoded.get())
        std::abort();
    if (int(std::strlen(encoded.get())) != encodedSize - 1)
        std::abort();
    const QByteArray raw =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    if (raw.toBase64() != QByteArray(encoded.get()))
        std::abort();
    const int backCapacity = base64DecodedCapacity(encodedSize - 1);
    std::unique_ptr<char[]> back(new char[backCapacity]);
    const int m = base64Decode(encoded.get(), back.get(), std::size_t(backCapacity));
    if (m != int(size) || (size && std::memcmp(back.get(), data, size) != 0))
        std::abort();
    return 0;
}
