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
    {
    }
    ~EvpReference()
    {
        EVP_CIPHER_CTX_free(ctx);
        EVP_CIPHER_free(cipher);
    }
    EvpReference(const EvpReference &) = delete;
    EvpReference &operator=(const EvpReference &) = delete;

    bool isValid() const { return cipher != nullptr && ctx != nullptr; }

    // Returns an empty array and sets `ok` to false when OpenSSL refuses.
    QByteArray run(bool encrypt, const QByteArray &key, const QByteArray &iv,
                   const QByteArray &in, bool padding = false, bool *ok = nullptr)
    {
        QByteArray out(in.size() + 32, '\0');
        int written = 0;
        int finalWritten = 0;
        const bool done =
            EVP_CipherInit_ex(ctx, cipher, nullptr, bytes(key), iv.isEmpty() ? nullptr : bytes(iv),
                              encrypt ? 1 : 0) == 1
            && EVP_CIPHER_CTX_set_padding(ctx, padding ? 1 : 0) == 1
            && EVP_CipherUpdate(ctx, writable(out), &written, bytes(in), int(in.size())) == 1
            && EVP_CipherFinal_ex(ctx, writable(out) + written, &finalWritten) == 1;
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
    {
    }
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

// Loads both providers once, for the rest of the process. Idempotent.
inline bool loadLegacyProvider()
{
    static const LegacyProviders providers;
    return providers.isLegacyLoaded() && providers.isDefaultLoaded();
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
    const qulonglong requested =
        qEnvironmentVariable("CIPHERBENCH_DIFF_SEED").toULongLong(&ok, 0);
    return ok ? requested : 0x43495048455242ull;
}

#endif
