#include "app/readfile.h"

#include "app/chunkpause.h"

#include <QDebug>
#include <QFile>

#include <climits>

ReadFile::ReadFile(QObject *parent) : QThread(parent) {}

ReadFile::~ReadFile() = default;

int ReadFile::progressShift(qint64 size)
{
    int shift = 0;
    while ((size >> shift) > INT_MAX)
        ++shift;
    return shift;
}

void ReadFile::run()
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        qDebug() << "file open error.";
        return;
    }

    // Made for this load and gone with it: where it raises the system's
    // timer resolution, that lasts no longer than the load.
    ChunkPause pause;
    lastTimer = pause.timer();
    QCryptographicHash hash(hashAlgorithm);
    const qint64 total = file.size();
    const int shift = progressShift(total);
    qint64 remaining = total;
    qint64 done = 0;

    emit PrgRangeSignal(int(total >> shift));

    // One chunk is all that is ever held, whatever the file's size.
    QByteArray buffer(int(chunkSize), Qt::Uninitialized);
    while (remaining != 0) {
        const qint64 got = file.read(buffer.data(), qMin(remaining, chunkSize));
        if (got <= 0) {
            // The file shrank or became unreadable under us: a digest of
            // part of it would be a wrong answer, so there is none.
            qDebug() << "file read error.";
            return;
        }
        hash.addData(QByteArrayView(buffer.constData(), got));
        done += got;
        remaining -= got;

        if ((quint64(done) / quint64(chunkSize)) % quint64(chunksPerReport) == 0)
            emit PrgValueSignal(int(done >> shift));
        if (isInterruptionRequested())
            return;
        if (done == total)
            break;
        // Leaves the disk and the GUI thread room to breathe on big files.
        pause.pause();
    }

    file.close();
    const QByteArray digest = hash.result();
    emit PrgValueSignal(int(done >> shift));
    if (isInterruptionRequested())
        return;
    emit PrgFinshSignal(digest);
}
