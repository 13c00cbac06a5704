#ifndef CIPHERBENCH_APP_READFILE_H
#define CIPHERBENCH_APP_READFILE_H

#include "app/chunkpause.h"
#include "app/regularfile.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QString>
#include <QThread>

#include <atomic>

// Reads one file in chunks on its own thread and hashes it, reporting
// progress as it goes. The owner sets fileName and hashAlgorithm while the
// thread is idle, then start()s it; the same object serves every load.
//
// Only a regular file is read (RegularFile); anything else is a file that
// cannot be opened. It is read to its end, whatever its size said, and a
// digest is delivered only when the bytes read are as many as the size the
// file had when opened and still has at the end, and its modification time
// did not change: then it is the digest of the file that digestedFacts()
// describes. Otherwise there is none.
//
// Stopping is cooperative: requestInterruption() is honoured after every
// chunk. A read can wait without end (see RegularFile), so an owner waits
// for the end a short while at most; a worker that has not ended by then
// stays in its read, and its owner must leave it behind without waiting,
// touching nothing the worker still uses. A stopped load delivers no digest.
class ReadFile : public QThread
{
    Q_OBJECT

public:
    explicit ReadFile(QObject *parent = nullptr);
    ~ReadFile() override;

    static constexpr qint64 chunkSize = 102400;
    // Progress goes out every this many whole chunks (and once at the end).
    static constexpr qint64 chunksPerReport = 10;

    // The progress signals carry an int; a file too large for one is
    // reported in units of 2^shift bytes, range and values alike, so the
    // bar still shows the true fraction. Zero below 2^31 bytes.
    static int progressShift(qint64 size);

    QString fileName;
    QCryptographicHash::Algorithm hashAlgorithm = QCryptographicHash::Md5;

    // The timer that paced the last load that opened its file.
    ChunkPause::Timer lastPauseTimer() const { return lastTimer; }

    // Size and modification time of what the last digest is of; set before
    // PrgFinshSignal goes out, and read once it has arrived.
    RegularFile::Facts digestedFacts() const { return digested; }

signals:
    void PrgRangeSignal(int range);
    void PrgValueSignal(int value);
    void PrgFinshSignal(QByteArray digest);

protected:
    void run() override;

private:
    std::atomic<ChunkPause::Timer> lastTimer{ChunkPause::Timer::Sleep};
    RegularFile::Facts digested;
};

#endif
