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

// Special files, where the platform has them (false where it has not, or on
// failure): a named pipe, and a socket bound to `path` and closed again,
// which leaves the socket file behind.
bool makeFifo(const QString &path);
bool makeSocketFile(const QString &path);

// A writer appending to an existing file on a thread of its own, as a
// download or a log does: `blocks` blocks of `blockSize` bytes, `pauseMs`
// apart. The first block is written before the constructor returns; the
// destructor waits for the rest.
class GrowingFile
{
public:
    GrowingFile(const QString &path, int blocks, qint64 blockSize, int pauseMs);
    ~GrowingFile();
    GrowingFile(const GrowingFile &) = delete;
    GrowingFile &operator=(const GrowingFile &) = delete;

    // Waits for the writer; whether every block was written.
    bool finish();

private:
    struct Writer;
    Writer *writer;
};

#endif
