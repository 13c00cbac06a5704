#ifndef CIPHERBENCH_TESTS_ENGINEREFERENCE_H
#define CIPHERBENCH_TESTS_ENGINEREFERENCE_H

// OpenSSL's libcrypto as the reference the engine tests compare against, and
// the random inputs they feed both sides. Header-only: shared by the AES and
// DES tests, nothing else links it.

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <openssl/evp.h>
#include <openssl/provider.h>

#include <cstdint>
#include <random>

// One cipher by OpenSSL name ("AES-128-CBC", "DES-EDE-ECB", ...), run whole
// buffers at a time, with padding off unless asked for (PKCS#7 when on).
class EvpReference
{
public:
    explicit EvpReference(const char *name)
        : cipher(EVP_CIPHER_fetch(nullptr, name, nullptr)), ctx(EVP_CIPHER_CTX_new())
    {}
    ~EvpReference()
    {
        EVP_CIPHER_CTX_free(ctx);
        EVP_CIPHER_free(cipher);
    }
    EvpReference(const EvpReference &) = delete;
    EvpReference &operator=(const EvpReference &) = delete;

    bool isValid() const { return cipher != nullptr && ctx != nullptr; }

    // Returns an empty array and sets `ok` to false when OpenSSL refuses.
    QByteArray run(bool encrypt, const QByteArray &key, const QByteArray &iv, const QByteArray &in,
                   bool padding = false, bool *ok = nullptr)
    {
        QByteArray out(in.size() + 32, '\0');
        int written = 0;
        int finalWritten = 0;
        const bool done =
            EVP_CipherInit_ex(ctx, cipher, nullptr, bytes(key), iv.isEmpty() ? nullptr : bytes(iv),
                              encrypt ? 1 : 0) == 1 &&
            EVP_CIPHER_CTX_set_padding(ctx, padding ? 1 : 0) == 1 &&
            EVP_CipherUpdate(ctx, writable(out), &written, bytes(in), int(in.size())) == 1 &&
            EVP_CipherFinal_ex(ctx, writable(out) + written, &finalWritten) == 1;
        if (ok)
            *ok = done;
        if (!done)
            return QByteArray();
        out.truncate(written + finalWritten);
        return out;
    }

private:
    static const unsigned char *bytes(const QByteArray &a)
    {
        return reinterpret_cast<const unsigned char *>(a.constData());
    }
    static unsigned char *writable(QByteArray &a)
    {
        return reinterpret_cast<unsigned char *>(a.data());
    }

    EVP_CIPHER *cipher;
    EVP_CIPHER_CTX *ctx;
};

// AES by key length (16, 24 bytes; 256 bits otherwise), ECB or CBC, with
// PKCS#7 padding unless `padding` is false: the AES page's reference.
inline QByteArray aesReference(bool encrypt, bool cbc, const QByteArray &key, const QByteArray &iv,
                               const QByteArray &in, bool padding = true, bool *ok = nullptr)
{
    const int bits = key.size() == 16 ? 128 : key.size() == 24 ? 192 : 256;
    const QByteArray name = "AES-" + QByteArray::number(bits) + (cbc ? "-CBC" : "-ECB");
    EvpReference reference(name.constData());
    return reference.run(encrypt, key, cbc ? iv : QByteArray(), in, padding, ok);
}

// The last byte of a decryption without padding removal, what a padding
// check looks at; -1 when there is none.
inline int aesLastDecryptedByte(bool cbc, const QByteArray &key, const QByteArray &iv,
                                const QByteArray &cipher)
{
    const QByteArray raw = aesReference(false, cbc, key, iv, cipher, false);
    return raw.isEmpty() ? -1 : static_cast<unsigned char>(raw.back());
}

// The DES engine's fill: zero bytes up to a whole number of 8-byte blocks.
inline QByteArray zeroFilled(const QByteArray &data)
{
    return data + QByteArray((8 - data.size() % 8) % 8, '\0');
}

// DES (an 8-byte key) or two-key triple DES (K1 || K2) in ECB mode without
// padding, the input zero-filled to whole blocks as the DES engine does.
// "openssl failed" when OpenSSL refuses, which no page output can equal.
inline QByteArray desZeroFilledReference(const QByteArray &key, const QByteArray &data,
                                         bool encrypt)
{
    if (data.isEmpty())
        return data;
    EvpReference reference(key.size() == 16 ? "DES-EDE-ECB" : "DES-ECB");
    bool ok = false;
    const QByteArray out = reference.run(encrypt, key, QByteArray(), zeroFilled(data), false, &ok);
    return ok ? out : QByteArray("openssl failed");
}

// OpenSSL 3 keeps single DES in its legacy provider; loading it by name also
// requires loading the default provider explicitly. Both stay loaded while the
// holder lives and are unloaded when it goes, or OpenSSL's own clean-up at
// exit would leave them behind.
class LegacyProviders
{
public:
    LegacyProviders()
        : legacy(OSSL_PROVIDER_load(nullptr, "legacy")),
          fallback(OSSL_PROVIDER_load(nullptr, "default"))
    {}
    ~LegacyProviders()
    {
        if (fallback)
            OSSL_PROVIDER_unload(fallback);
        if (legacy)
            OSSL_PROVIDER_unload(legacy);
    }
    LegacyProviders(const LegacyProviders &) = delete;
    LegacyProviders &operator=(const LegacyProviders &) = delete;

    bool isLegacyLoaded() const { return legacy != nullptr; }
    bool isDefaultLoaded() const { return fallback != nullptr; }

private:
    OSSL_PROVIDER *legacy;
    OSSL_PROVIDER *fallback;
};

// The one way the tests load the providers: once, on first use, for the
// rest of the process (unloaded before OpenSSL's own clean-up at exit, which
// was registered while they loaded).
inline const LegacyProviders &legacyProviders()
{
    static const LegacyProviders providers;
    return providers;
}

inline bool loadLegacyProvider()
{
    return legacyProviders().isLegacyLoaded() && legacyProviders().isDefaultLoaded();
}

inline QByteArray randomBytes(std::mt19937_64 &rng, int size)
{
    QByteArray out(size, Qt::Uninitialized);
    for (int i = 0; i < size; i += 8) {
        std::uint64_t word = rng();
        for (int j = i; j < size && j < i + 8; ++j, word >>= 8)
            out[j] = char(word & 0xff);
    }
    return out;
}

inline int randomInt(std::mt19937_64 &rng, int low, int high)
{
    return std::uniform_int_distribution<int>(low, high)(rng);
}

// Cases per configuration for the differential tests: the regular run's
// count unless CIPHERBENCH_DIFF_CASES asks for more (or fewer) for one run.
inline int differentialCases(int regular)
{
    bool ok = false;
    const int requested = qEnvironmentVariableIntValue("CIPHERBENCH_DIFF_CASES", &ok);
    return ok && requested > 0 ? requested : regular;
}

// A fixed seed keeps a failure reproducible; CIPHERBENCH_DIFF_SEED varies it.
inline std::uint64_t differentialSeed()
{
    bool ok = false;
    const qulonglong requested = qEnvironmentVariable("CIPHERBENCH_DIFF_SEED").toULongLong(&ok, 0);
    return ok ? requested : 0x43495048455242ull;
}

#endif
