// Arbitrary bytes into the AES engine. The first byte chooses the key length
// (16, 24, 32, or any length 0 to 39 read from the next byte), the mode, the
// check and the rounds (AES instructions or portable); then come the key, the
// IV (CBC) and the payload. Where the processor has the AES instructions,
// the first operation also runs on the other rounds and must agree exactly. Every buffer
// is a heap block of exactly the size the engine's contract names, so
// AddressSanitizer reports any access past it.

#include "cipher/aes.h"
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
    const std::uint8_t selector = data[0];
    ++data;
    --size;

    static const int keyLengths[4] = {16, 24, 32, -1};
    int keyLength = keyLengths[selector & 3];
    if (keyLength < 0) {
        if (size < 1)
            return 0;
        keyLength = data[0] % 40;
        ++data;
        --size;
    }
    if (size < std::size_t(keyLength))
        return 0;
    const std::unique_ptr<char[]> key = copyOf(data, std::size_t(keyLength));
    data += keyLength;
    size -= std::size_t(keyLength);

    const bool cbc = (selector & 4) != 0;
    const bool roundTrip = (selector & 8) != 0;
    std::uint8_t ivStart[16] = {};
    if (cbc) {
        if (size < 16)
            return 0;
        std::memcpy(ivStart, data, 16);
        data += 16;
        size -= 16;
    }
    const bool validKey = keyLength == 16 || keyLength == 24 || keyLength == 32;
    const unsigned int length = static_cast<unsigned int>(size);
    const bool portable = (selector & 16) != 0;

    aesForcePortable(false);
    const bool bothRounds = aesUsesHardware();
    aesForcePortable(!portable);
    AesCipher other;
    other.setKey(keyLength, key.get());
    aesForcePortable(portable);
    AesCipher cipher;
    cipher.setKey(keyLength, key.get());
    check(cipher.hasContext() == validKey);

    std::unique_ptr<char[]> in = copyOf(data, size);
    std::unique_ptr<char[]> iv = copyOf(ivStart, 16);

    if (!roundTrip) {
        std::unique_ptr<unsigned char[]> out(new unsigned char[size]);
        const int read = cbc ? cipher.decryptCbc(in.get(), length, out.get(), iv.get())
                             : cipher.decryptEcb(in.get(), length, out.get());
        if (bothRounds && validKey && length != 0 && length % 16 == 0) {
            std::unique_ptr<unsigned char[]> out2(new unsigned char[size]);
            std::unique_ptr<char[]> iv2 = copyOf(ivStart, 16);
            const int read2 = cbc ? other.decryptCbc(in.get(), length, out2.get(), iv2.get())
                                  : other.decryptEcb(in.get(), length, out2.get());
            check(read2 == read && std::memcmp(out.get(), out2.get(), size) == 0 &&
                  std::memcmp(iv.get(), iv2.get(), 16) == 0);
        }
        if (!validKey || length == 0 || length % 16 != 0) {
            check(read == 0);
        } else if (read != 0) {
            // At most one block of padding came off, and it reads as zeros.
            check(read <= int(length) && read >= int(length) - 16);
            for (unsigned int i = unsigned(read); i < length; ++i)
                check(out[i] == 0);
        }
        if (cbc && validKey && length != 0 && length % 16 == 0)
            check(std::memcmp(iv.get(), data + length - 16, 16) == 0);
        return 0;
    }

    std::unique_ptr<char[]> cipherText(new char[size + 16]);
    const int written = cbc ? cipher.encryptCbc(in.get(), length, cipherText.get(), iv.get())
                            : cipher.encryptEcb(in.get(), length, cipherText.get());
    if (!validKey) {
        check(written == 0);
        return 0;
    }
    if (bothRounds) {
        // CBC changes the input blocks, so the other rounds get the original.
        std::unique_ptr<char[]> in2 = copyOf(data, size);
        std::unique_ptr<char[]> cipherText2(new char[size + 16]);
        std::unique_ptr<char[]> iv2 = copyOf(ivStart, 16);
        const int written2 = cbc ? other.encryptCbc(in2.get(), length, cipherText2.get(), iv2.get())
                                 : other.encryptEcb(in2.get(), length, cipherText2.get());
        check(written2 == written &&
              std::memcmp(cipherText.get(), cipherText2.get(), std::size_t(written)) == 0 &&
              std::memcmp(iv.get(), iv2.get(), 16) == 0 &&
              (size == 0 || std::memcmp(in.get(), in2.get(), size) == 0));
    }
    check(written == int(length / 16 + 1) * 16);
    if (cbc)
        check(std::memcmp(iv.get(), cipherText.get() + written - 16, 16) == 0);

    std::unique_ptr<unsigned char[]> plain(new unsigned char[std::size_t(written)]);
    std::unique_ptr<char[]> iv2 = copyOf(ivStart, 16);
    const int read =
        cbc ? cipher.decryptCbc(cipherText.get(), unsigned(written), plain.get(), iv2.get())
            : cipher.decryptEcb(cipherText.get(), unsigned(written), plain.get());
    check(read == int(length));
    check(size == 0 || std::memcmp(plain.get(), data, size) == 0);
    for (int i = read; i < written; ++i)
        check(plain[i] == 0);
    return 0;
}
