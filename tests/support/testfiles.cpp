#include "support/testfiles.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <thread>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#endif

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &content)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return QString();
    return path;
}

bool makeSparse(const QString &path, qint64 size)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.resize(size);
}

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    for (char &c : bytes)
        c = char(generator.bounded(256));
    return bytes;
}

bool makeFifo(const QString &path)
{
#ifdef Q_OS_UNIX
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
#else
    Q_UNUSED(path);
    return false;
#endif
}

bool makeSocketFile(const QString &path)
{
#ifdef Q_OS_UNIX
    const QByteArray name = QFile::encodeName(path);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (name.size() >= qsizetype(sizeof(address.sun_path)))
        return false;
    std::memcpy(address.sun_path, name.constData(), std::size_t(name.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    const bool bound =
        ::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return bound;
#else
    Q_UNUSED(path);
    return false;
#endif
}

struct GrowingFile::Writer
{
    QString path;
    QByteArray block;
    std::atomic<bool> ok{true};
    std::thread thread;

    bool append()
    {
        QFile file(path);
        const bool done = file.open(QIODevice::Append) && file.write(block) == block.size();
        if (!done)
            ok = false;
        return done;
    }
};

GrowingFile::GrowingFile(const QString &path, int blocks, qint64 blockSize, int pauseMs)
    : writer(new Writer)
{
    writer->path = path;
    writer->block = randomBytes(blockSize, quint32(blockSize));
    if (blocks > 0 && writer->append()) {
        writer->thread = std::thread([w = writer, blocks, pauseMs] {
            for (int i = 1; i < blocks && w->ok; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
                w->append();
            }
        });
    }
}

GrowingFile::~GrowingFile()
{
    finish();
    delete writer;
}

bool GrowingFile::finish()
{
    if (writer->thread.joinable())
        writer->thread.join();
    return writer->ok;
}
