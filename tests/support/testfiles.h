#ifndef CIPHERBENCH_TESTS_TESTFILES_H
#define CIPHERBENCH_TESTS_TESTFILES_H

#include <QByteArray>
#include <QString>

class QTemporaryDir;

// Files for the file-hashing tests.

// Writes `content` to `name` in `dir`; the path, or an empty text on failure.
QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &content);

// A file of `size` bytes that takes no disk space: all holes.
bool makeSparse(const QString &path, qint64 size);

// `size` bytes from a generator seeded with `seed`, the same on every run.
QByteArray randomBytes(qsizetype size, quint32 seed);

// A named pipe at `path`; false where the platform has none, or on failure.
bool makeFifo(const QString &path);

#endif
