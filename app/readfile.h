#ifndef CIPHERBENCH_APP_READFILE_H
#define CIPHERBENCH_APP_READFILE_H

#include "app/chunkpause.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QString>
#include <QThread>

#include <atomic>

// Reads one file in chunks on its own thread and hashes it, reporting
// progress as it goes. The owner sets fileName and hashAlgorithm while the
// thread is idle, then start()s it; the same object serves every load.
//
// Stopping is cooperative: requestInterruption() is honoured after every
// chunk, then the owner wait()s. A stopped load delivers no digest.
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

signals:
    void PrgRangeSignal(int range);
    void PrgValueSignal(int value);
    void PrgFinshSignal(QByteArray digest);

protected:
    void run() override;

private:
    std::atomic<ChunkPause::Timer> lastTimer{ChunkPause::Timer::Sleep};
};

#endif
