#include "app/readfile.h"

#include "app/chunkpause.h"

#include <QDebug>

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
    RegularFile file;
    RegularFile::Facts before;
    if (!file.open(fileName) || !file.facts(&before)) {
        qDebug() << "file open error.";
        return;
    }

    // Made for this load and gone with it: where it raises the system's
    // timer resolution, that lasts no longer than the load.
    ChunkPause pause;
    lastTimer = pause.timer();
    QCryptographicHash hash(hashAlgorithm);
    const qint64 total = before.size;
    const int shift = progressShift(total);
    qint64 done = 0;

    emit PrgRangeSignal(int(total >> shift));

    // One chunk is all that is ever held, whatever the file's size. The file
    // is read to its end: a file that grew is seen to have grown, and one
    // whose size says nothing of its content (/proc, /sys) is read whole.
    QByteArray buffer(int(chunkSize), Qt::Uninitialized);
    for (;;) {
        const qint64 got = file.read(buffer.data(), chunkSize);
        if (got < 0) {
            // Unreadable under us: a digest of part of it would be a wrong answer.
            qDebug() << "file read error.";
            return;
        }
        if (got == 0)
            break;
        hash.addData(QByteArrayView(buffer.constData(), got));
        done += got;
        if (done > total) {
            // More than the file had: no digest will describe it, so the
            // rest, which may never end, is not read.
            qDebug() << "file changed during reading.";
            return;
        }

        if ((quint64(done) / quint64(chunkSize)) % quint64(chunksPerReport) == 0)
            emit PrgValueSignal(int(done >> shift));
        if (isInterruptionRequested())
            return;
        // Leaves the disk and the GUI thread room to breathe on big files;
        // at the expected end, the read that finds the end follows at once.
        if (done < total)
            pause.pause();
    }

    // The bytes read are the file's only if the file is still what it was.
    RegularFile::Facts after;
    if (done != total || !file.facts(&after) || !after.sameFile(before)) {
        qDebug() << "file changed during reading.";
        return;
    }
    file.close();
    const QByteArray digest = hash.result();
    digested = before;
    emit PrgValueSignal(int(done >> shift));
    if (isInterruptionRequested())
        return;
    emit PrgFinshSignal(digest);
}
