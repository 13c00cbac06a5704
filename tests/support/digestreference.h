#ifndef CIPHERBENCH_TESTS_DIGESTREFERENCE_H
#define CIPHERBENCH_TESTS_DIGESTREFERENCE_H

#include <QByteArray>
#include <QCryptographicHash>

#include <openssl/evp.h>

// The reference the program's digests are compared with: libcrypto's MD5 or
// SHA1 of the same bytes, given in parts (a file too large to hold) or at
// once. An empty result means libcrypto failed.
class ReferenceDigest
{
public:
    explicit ReferenceDigest(QCryptographicHash::Algorithm algorithm) : context(EVP_MD_CTX_new())
    {
        const EVP_MD *md = algorithm == QCryptographicHash::Sha1 ? EVP_sha1() : EVP_md5();
        ok = context && EVP_DigestInit_ex(context, md, nullptr);
    }
    ~ReferenceDigest() { EVP_MD_CTX_free(context); }
    ReferenceDigest(const ReferenceDigest &) = delete;
    ReferenceDigest &operator=(const ReferenceDigest &) = delete;

    void add(const char *data, qsizetype size)
    {
        ok = ok && EVP_DigestUpdate(context, data, size_t(size));
    }
    void add(const QByteArray &bytes) { add(bytes.constData(), bytes.size()); }
    QByteArray result()
    {
        unsigned char out[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        if (!ok || !EVP_DigestFinal_ex(context, out, &length))
            return QByteArray();
        return QByteArray(reinterpret_cast<const char *>(out), int(length));
    }

private:
    EVP_MD_CTX *context;
    bool ok = false;
};

inline QByteArray referenceDigest(const QByteArray &bytes, QCryptographicHash::Algorithm algorithm)
{
    ReferenceDigest digest(algorithm);
    digest.add(bytes);
    return digest.result();
}

#endif
