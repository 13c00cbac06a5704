// Arbitrary bytes into the DES engine. The first byte chooses single or
// triple DES and the check; then come K1 (and K2) and the payload. Every
// buffer is a heap block of exactly the size the engine's contract names
// (8n + 1 bytes of output), so AddressSanitizer reports any access past it.

#include "cipher/des.h"
#include "fuzz/fuzzbytes.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    const bool triple = (data[0] & 1) != 0;
    const bool roundTrip = (data[0] & 2) != 0;
    ++data;
    --size;
    const std::size_t keyBytes = triple ? 16 : 8;
    if (size < keyBytes)
        return 0;
    const std::unique_ptr<char[]> k1 = copyOf(data, 8);
    const std::unique_ptr<char[]> k2 = copyOf(data + (triple ? 8 : 0), 8);
    data += keyBytes;
    size -= keyBytes;

    DesContext context;
    context.setSubKey(k1.get(), 0);
    if (triple)
        context.setSubKey(k2.get(), 1);

    const int length = int(size);
    const int blocks = (length + 7) / 8;
    const std::unique_ptr<char[]> in = copyOf(data, size);
    std::unique_ptr<char[]> out(new char[std::size_t(8 * blocks + 1)]);

    if (!roundTrip) {
        const int read = triple ? context.decrypt3Des(in.get(), length, out.get())
                                : context.decryptDes(in.get(), length, out.get());
        check(read == 8 * blocks);
        check(out[8 * blocks] == 0);
        return 0;
    }

    const int written = triple ? context.encrypt3Des(in.get(), length, out.get())
                               : context.encryptDes(in.get(), length, out.get());
    check(written == 8 * blocks);
    check(out[8 * blocks] == 0);
    std::unique_ptr<char[]> plain(new char[std::size_t(8 * blocks + 1)]);
    const int read = triple ? context.decrypt3Des(out.get(), written, plain.get())
                            : context.decryptDes(out.get(), written, plain.get());
    check(read == written);
    check(size == 0 || std::memcmp(plain.get(), data, size) == 0);
    for (int i = length; i <= 8 * blocks; ++i)
        check(plain[i] == 0);
    return 0;
}
