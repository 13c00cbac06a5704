#ifndef CIPHERBENCH_APP_PAGEMEMORY_H
#define CIPHERBENCH_APP_PAGEMEMORY_H

#include "codec/workbuffer.h"

#include <QByteArray>

// Secrets in the pages' own memory.
//
// The rule: every copy a page makes of key material (keys, IVs) or of
// plaintext (the input of an encryption, the output of a decryption) to
// encrypt or decrypt it is wiped before its memory is given back, on every
// path out of the slot. Such copies live in a SecretBuffer or SecretBytes,
// which wipe themselves when they go.
//
// Its limits: a text is in memory as long as its box shows it, and the
// toolkit copies it where no wipe reaches (each text() and toPlainText() is
// such a copy, and the box's undo history keeps more). So not covered are the
// boxes' own texts and the toolkit's copies, the short-lived UTF-8 and hex
// copies from which the counters beside the boxes take their byte counts on
// every keystroke (aespage.cpp, despage.cpp, textboxes.cpp), and the text
// forms (hex, Base64) a result is turned into for its box. Wiping those would
// promise a secrecy that the box itself does not keep.

// A working buffer (codec/workbuffer.h) wiped before it is freed.
class SecretBuffer
{
public:
    SecretBuffer() = default;
    SecretBuffer(qsizetype size, const char *name,
                 WorkBuffer::Notice notice = WorkBuffer::LineBreak)
        : buffer(size, name, notice)
    {}
    ~SecretBuffer() { wipe(); }
    SecretBuffer(SecretBuffer &&other) noexcept = default;
    SecretBuffer &operator=(SecretBuffer &&other) noexcept;

    char *data() const { return buffer.data(); }
    explicit operator bool() const { return bool(buffer); }

private:
    void wipe();
    WorkBuffer buffer;
};

// A byte array wiped (through cipher::secureWipe) when it goes or is
// replaced. Zero-terminated, as a byte array always is, which is how the AES
// engine reads keys and IVs. It must be the only holder of its bytes: a shared
// copy would be detached and the wipe would miss the original.
class SecretBytes
{
public:
    SecretBytes() = default;
    explicit SecretBytes(QByteArray bytes);
    ~SecretBytes();
    SecretBytes(const SecretBytes &) = delete;
    SecretBytes &operator=(const SecretBytes &) = delete;
    SecretBytes &operator=(QByteArray other);

    char *data() { return bytes.data(); }
    const char *constData() const { return bytes.constData(); }
    qsizetype size() const { return bytes.size(); }
    bool operator==(const SecretBytes &other) const { return bytes == other.bytes; }
    // Wipes the bytes and empties the array.
    void clear();

private:
    QByteArray bytes;
};

#endif
