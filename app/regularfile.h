#ifndef CIPHERBENCH_APP_REGULARFILE_H
#define CIPHERBENCH_APP_REGULARFILE_H

#include <QDateTime>
#include <QString>
#include <QtGlobal>

// A regular file opened for reading, and nothing else. A folder, a named
// pipe, a socket or a device is refused, and deciding so never waits on what
// the path names: opening a pipe waits for a writer, and reading one or a
// terminal waits for data that may never come. Whatever is opened is checked
// again once open, so that a path swapped meanwhile is refused too.
//
// A regular file's read can still wait (a stalled network share, or a file
// of /proc such as kmsg, which waits for the next kernel message); the
// caller must be able to leave a reader behind.
class RegularFile
{
public:
    // What the system says of an open file now: its size and the time of its
    // last modification. Equal facts before and after a read mean the bytes
    // read are those of one version of the file.
    struct Facts
    {
        qint64 size = -1;
        qint64 stamp = 0; // modification time in the platform's own units
        QDateTime modified;

        bool sameFile(const Facts &other) const
        {
            return size == other.size && stamp == other.stamp;
        }
    };

    RegularFile() = default;
    ~RegularFile();
    RegularFile(const RegularFile &) = delete;
    RegularFile &operator=(const RegularFile &) = delete;

    // False when `path` names no regular file or it cannot be opened.
    bool open(const QString &path);
    void close();
    bool isOpen() const;

    // Up to `maxSize` bytes into `data`: how many were read, 0 at the end of
    // the file, -1 on an error.
    qint64 read(char *data, qint64 maxSize);

    // False when the system cannot tell.
    bool facts(Facts *out) const;

    // Whether `path` names a regular file (following links), asked of the
    // file system without opening anything.
    static bool isRegular(const QString &path);

private:
#ifdef Q_OS_WIN
    void *handle = nullptr;
#else
    int fd = -1;
#endif
};

#endif
