// The file hashing worker on its own: real files in a temporary directory,
// every signal recorded as the worker emits it.

#include "app/readfile.h"
#include "support/debugcapture.h"
#include "support/digestreference.h"
#include "support/testfiles.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QOperatingSystemVersion>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <climits>
#include <functional>
#include <thread>

namespace {

// What one run of the worker emitted, in order.
struct Run
{
    QList<int> ranges;
    QList<int> values;
    QList<QByteArray> digests;
    QStringList order; // "range", "value", "digest"
    bool ended = false;
};

// Direct connections: the lambdas run on the worker thread, and the test
// reads the record only after wait(), which orders the two.
void record(ReadFile &worker, Run &run)
{
    QObject::connect(
        &worker, &ReadFile::PrgRangeSignal, &worker,
        [&run](int r) {
            run.ranges << r;
            run.order << QStringLiteral("range");
        },
        Qt::DirectConnection);
    QObject::connect(
        &worker, &ReadFile::PrgValueSignal, &worker,
        [&run](int v) {
            run.values << v;
            run.order << QStringLiteral("value");
        },
        Qt::DirectConnection);
    QObject::connect(
        &worker, &ReadFile::PrgFinshSignal, &worker,
        [&run](const QByteArray &d) {
            run.digests << d;
            run.order << QStringLiteral("digest");
        },
        Qt::DirectConnection);
}

// `prepare` connects to the worker before it starts; one still waiting after a
// minute is left running, and the test fails.
Run hashFile(const QString &path, QCryptographicHash::Algorithm algorithm,
             const std::function<void(ReadFile &)> &prepare = {})
{
    Run run;
    auto *worker = new ReadFile;
    record(*worker, run);
    if (prepare)
        prepare(*worker);
    worker->fileName = path;
    worker->hashAlgorithm = algorithm;
    worker->start(QThread::InheritPriority);
    run.ended = worker->wait(60000);
    if (run.ended)
        delete worker;
    return run;
}

} // namespace

class TestReadFile : public QObject
{
    Q_OBJECT

private slots:
    void progressFollowsWholeChunks_data();
    void progressFollowsWholeChunks();
    void knownAnswers_data();
    void knownAnswers();
    void namesInAnyScript_data();
    void namesInAnyScript();
    void unopenableFileEmitsNothing_data();
    void unopenableFileEmitsNothing();
    void digestOnlyOfWhatTheFileHolds_data();
    void digestOnlyOfWhatTheFileHolds();
    void shrinkingFileGivesNoDigest();
    void interruptedLoadGivesNoDigest();
    void progressShiftFitsAnInt_data();
    void progressShiftFitsAnInt();
    void pauseTimer_data();
    void pauseTimer();
};

void TestReadFile::progressFollowsWholeChunks_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<QList<int>>("values");

    QTest::newRow("empty file") << 0 << QList<int>{0};
    QTest::newRow("less than a chunk") << 50000 << QList<int>{50000, 50000};
    QTest::newRow("one chunk") << 102400 << QList<int>{102400};
    QTest::newRow("nine chunks and a byte") << 921601 << QList<int>{921601};
    // Still ten whole chunks after the last byte: reported in the loop and at the end.
    QTest::newRow("ten chunks and a byte") << 1024001 << QList<int>{1024000, 1024001, 1024001};
    QTest::newRow("eleven chunks") << 1126400 << QList<int>{1024000, 1126400};
    QTest::newRow("twenty chunks") << 2048000 << QList<int>{1024000, 2048000, 2048000};
}

void TestReadFile::progressFollowsWholeChunks()
{
    QFETCH(int, size);
    QFETCH(QList<int>, values);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray content = randomBytes(size, quint32(size) + 1);
    const QString path = writeFile(dir, QStringLiteral("data.bin"), content);
    QVERIFY(!path.isEmpty());

    const Run run = hashFile(path, QCryptographicHash::Md5);
    QCOMPARE(run.ranges, QList<int>{size});
    QCOMPARE(run.values, values);
    QCOMPARE(run.digests.size(), 1);
    QCOMPARE(run.digests.first(), referenceDigest(content, QCryptographicHash::Md5));
    // Range first, digest last: the window relies on that order.
    QCOMPARE(run.order.first(), QStringLiteral("range"));
    QCOMPARE(run.order.last(), QStringLiteral("digest"));
}

void TestReadFile::knownAnswers_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QCryptographicHash::Algorithm>("algorithm");
    QTest::addColumn<QByteArray>("digestHex");

    const auto md5 = QCryptographicHash::Md5;
    const auto sha1 = QCryptographicHash::Sha1;
    QTest::newRow("RFC 1321 empty")
        << QByteArray() << md5 << QByteArray("d41d8cd98f00b204e9800998ecf8427e");
    QTest::newRow("RFC 1321 a") << QByteArray("a") << md5
                                << QByteArray("0cc175b9c0f1b6a831c399e269772661");
    QTest::newRow("RFC 1321 abc") << QByteArray("abc") << md5
                                  << QByteArray("900150983cd24fb0d6963f7d28e17f72");
    QTest::newRow("RFC 1321 message digest")
        << QByteArray("message digest") << md5 << QByteArray("f96b697d7cb7938d525a2f31aaf161d0");
    QTest::newRow("RFC 1321 alphabet") << QByteArray("abcdefghijklmnopqrstuvwxyz") << md5
                                       << QByteArray("c3fcd3d76192e4007dfb496cca67e13b");
    QTest::newRow("RFC 1321 alphanumeric")
        << QByteArray("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789") << md5
        << QByteArray("d174ab98d277d9f5a5611c2c9f419d9f");
    QTest::newRow("RFC 1321 digits") << QByteArray("1234567890").repeated(8) << md5
                                     << QByteArray("57edf4a22be3c955ac49da2e2107b67a");
    QTest::newRow("FIPS 180 abc") << QByteArray("abc") << sha1
                                  << QByteArray("a9993e364706816aba3e25717850c26c9cd0d89d");
    QTest::newRow("FIPS 180 two blocks")
        << QByteArray("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq") << sha1
        << QByteArray("84983e441c3bd26ebaae4aa1f95129e5e54670f1");
    // Ten whole chunks less some: crosses many chunk boundaries.
    QTest::newRow("FIPS 180 million a") << QByteArray(1000000, 'a') << sha1
                                        << QByteArray("34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}

void TestReadFile::knownAnswers()
{
    QFETCH(QByteArray, content);
    QFETCH(QCryptographicHash::Algorithm, algorithm);
    QFETCH(QByteArray, digestHex);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = writeFile(dir, QStringLiteral("vector.txt"), content);
    QVERIFY(!path.isEmpty());

    const Run run = hashFile(path, algorithm);
    QCOMPARE(run.digests.size(), 1);
    QCOMPARE(run.digests.first().size(), algorithm == QCryptographicHash::Sha1 ? 20 : 16);
    QCOMPARE(run.digests.first().toHex(), digestHex);
}

// Downloads land in folders named in the user's language; on Windows the
// path reaches the system through a different API than on Linux.
void TestReadFile::namesInAnyScript_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("name");

    QTest::newRow("Chinese file name") << QString() << QStringLiteral("校验数据.bin");
    QTest::newRow("Chinese folder, spaces")
        << QStringLiteral("下载 文件") << QStringLiteral("数据 1.txt");
    QTest::newRow("mixed scripts")
        << QStringLiteral("Überprüfung") << QStringLiteral("файл-文件.iso");
}

void TestReadFile::namesInAnyScript()
{
    QFETCH(QString, folder);
    QFETCH(QString, name);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    if (!folder.isEmpty()) {
        QVERIFY(QDir(dir.path()).mkdir(folder));
        name = folder + QLatin1Char('/') + name;
    }
    const QByteArray content = randomBytes(150000, 7);
    const QString path = writeFile(dir, name, content);
    QVERIFY(!path.isEmpty());

    const Run run = hashFile(path, QCryptographicHash::Sha1);
    QCOMPARE(run.digests.size(), 1);
    QCOMPARE(run.digests.first(), referenceDigest(content, QCryptographicHash::Sha1));
}

void TestReadFile::unopenableFileEmitsNothing_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("missing file") << QStringLiteral("no-such-file");
    QTest::newRow("directory") << QStringLiteral("subdir");
}

void TestReadFile::unopenableFileEmitsNothing()
{
    QFETCH(QString, name);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("subdir")));

    DebugCapture capture;
    const Run run = hashFile(dir.filePath(name), QCryptographicHash::Md5);
    QVERIFY(run.order.isEmpty());
    QCOMPARE(capture.debugLines(), QStringList{QStringLiteral("file open error.")});
    QVERIFY2(capture.warnings().isEmpty(), qPrintable(capture.warnings().join('\n')));
}

// Only a regular file is read, links followed, and telling one never waits:
// opening a pipe waits for a writer, reading a device for data. It is read to
// its end, and its digest kept only when the bytes read are as many as its size
// at the start and at the end and its time did not change: none for a file
// written while it is read, nor for one of /proc or /sys, whose size says
// nothing of what it holds; never the digest of other bytes, or of none.
void TestReadFile::digestOnlyOfWhatTheFileHolds_data()
{
    QTest::addColumn<QString>("path");   // in the test's folder, unless absolute
    QTest::addColumn<QString>("debug");  // what the worker says instead of a digest
    QTest::addColumn<QString>("change"); // what happens to it at the first progress report

    const QString unopenable = QStringLiteral("file open error.");
    const QString changed = QStringLiteral("file changed during reading.");
    QTest::newRow("regular file") << "file" << QString() << "";
    QTest::newRow("grown by a writer thread during the load") << "file" << changed << "grow";
    QTest::newRow("rewritten in place during the load") << "file" << changed << "rewrite";
#ifdef Q_OS_UNIX
    QTest::newRow("link to a regular file") << "link to file" << QString() << "";
    QTest::newRow("link to a named pipe") << "link to pipe" << unopenable << "";
    QTest::newRow("character device") << "/dev/null" << unopenable << "";
    QTest::newRow("/proc/version") << "/proc/version" << changed << "";
    QTest::newRow("/sys/kernel/uevent_seqnum") << "/sys/kernel/uevent_seqnum" << changed << "";
#endif
}

void TestReadFile::digestOnlyOfWhatTheFileHolds()
{
    QFETCH(QString, path);
    QFETCH(QString, debug);
    QFETCH(QString, change);

    QTemporaryDir dir;
    const QByteArray content = randomBytes(30 * ReadFile::chunkSize, 5);
    const QString file = writeFile(dir, QStringLiteral("file"), content);
    {
        // Long ago, so that a write now changes it whatever the clock's resolution.
        QFile times(file);
        QVERIFY(times.open(QIODevice::ReadWrite));
        QVERIFY(times.setFileTime(QDateTime(QDate(2020, 1, 2), QTime(3, 4, 5)),
                                  QFileDevice::FileModificationTime));
    }
    if (path.endsWith(QLatin1String("pipe")))
        QVERIFY(makeFifo(dir.filePath(QStringLiteral("pipe"))));
    if (path.startsWith(QLatin1String("link")))
        QVERIFY(QFile::link(dir.filePath(path.section(u' ', -1)), dir.filePath(path)));
    if (!QDir::isAbsolutePath(path))
        path = dir.filePath(path);
    else if (!QFileInfo::exists(path))
        QSKIP("not here");

    // On the worker's thread; a writer thread then grows the file on, as a
    // download does.
    const bool rewrite = change == QStringLiteral("rewrite");
    const QByteArray block = rewrite ? QByteArray("rewritten") : randomBytes(50000, 3);
    const auto write = [&] {
        QFile out(file);
        if (out.open(rewrite ? QIODevice::ReadWrite : QIODevice::Append))
            out.write(block);
    };
    bool started = false;
    std::thread writer;
    const auto changeOnce = [&] {
        if (std::exchange(started, true))
            return;
        write();
        if (!rewrite) {
            writer = std::thread([&] {
                for (int i = 1; i < 10; ++i) {
                    QThread::msleep(2);
                    write();
                }
            });
        }
    };
    const bool unopenable = debug == QStringLiteral("file open error.");
    QCOMPARE(RegularFile::isRegular(path), !unopenable);
    DebugCapture capture;
    const Run run = hashFile(path, QCryptographicHash::Md5, [&](ReadFile &worker) {
        if (!change.isEmpty())
            QObject::connect(&worker, &ReadFile::PrgValueSignal, &worker, changeOnce,
                             Qt::DirectConnection);
    });
    if (writer.joinable())
        writer.join();

    QVERIFY2(run.ended, "the worker waits on what the path names");
    QCOMPARE(run.digests, debug.isEmpty()
                              ? QList<QByteArray>{referenceDigest(content, QCryptographicHash::Md5)}
                              : QList<QByteArray>());
    QCOMPARE(capture.debugLines(), debug.isEmpty() ? QStringList() : QStringList{debug});
    if (unopenable)
        QVERIFY(run.order.isEmpty());
    else if (!change.isEmpty())
        QCOMPARE(run.ranges, QList<int>{int(content.size())});
}

void TestReadFile::shrinkingFileGivesNoDigest()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("shrinks.bin"));
    const qint64 size = 30 * ReadFile::chunkSize;
    const qint64 cut = 15 * ReadFile::chunkSize + 123;
    QVERIFY(makeSparse(path, size));

    Run run;
    ReadFile worker;
    record(worker, run);
    // The size is taken before the range goes out; cut the file right then,
    // before the first read.
    bool cutDone = false;
    QObject::connect(
        &worker, &ReadFile::PrgRangeSignal, &worker, [&] { cutDone = QFile::resize(path, cut); },
        Qt::DirectConnection);

    DebugCapture capture;
    worker.fileName = path;
    worker.hashAlgorithm = QCryptographicHash::Md5;
    worker.start();
    QVERIFY(worker.wait(60000));

    QVERIFY(cutDone);
    QCOMPARE(run.ranges, QList<int>{int(size)});
    QVERIFY(run.digests.isEmpty());
    QCOMPARE(run.values, QList<int>{int(10 * ReadFile::chunkSize)});
    QCOMPARE(capture.debugLines(), QStringList{QStringLiteral("file changed during reading.")});
}

void TestReadFile::interruptedLoadGivesNoDigest()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("long.bin"));
    const qint64 size = qint64(64) << 20;
    QVERIFY(makeSparse(path, size));

    Run run;
    ReadFile worker;
    record(worker, run);
    worker.fileName = path;
    worker.hashAlgorithm = QCryptographicHash::Sha1;
    worker.start();
    worker.requestInterruption();
    QVERIFY(worker.wait(60000));

    QCOMPARE(run.ranges, QList<int>{int(size)});
    QVERIFY(run.digests.isEmpty());
    // Stopped after its first chunk: never reached a progress report.
    QVERIFY(run.values.isEmpty());
}

void TestReadFile::progressShiftFitsAnInt_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<int>("shift");
    QTest::newRow("empty") << qint64(0) << 0;
    QTest::newRow("largest int") << qint64(INT_MAX) << 0;
    QTest::newRow("2^31") << (qint64(1) << 31) << 1;
    QTest::newRow("2^32 - 1") << (qint64(1) << 32) - 1 << 1;
    QTest::newRow("2^32") << (qint64(1) << 32) << 2;
    QTest::newRow("1 TiB") << (qint64(1) << 40) << 10;
    QTest::newRow("largest file") << qint64(LLONG_MAX) << 32;
}

void TestReadFile::progressShiftFitsAnInt()
{
    QFETCH(qint64, size);
    QFETCH(int, shift);
    QCOMPARE(ReadFile::progressShift(size), shift);
    QVERIFY((size >> shift) <= INT_MAX);
    // The least shift: one less would not fit.
    if (shift > 0)
        QVERIFY((size >> (shift - 1)) > INT_MAX);
}

// Which timer paces the chunks, the one preferred and the fallback: on
// Windows a 1 ms wait needs one or the other (chunkpause.h); the raised
// resolution is held only while a pause lives, and a load's pause only while
// the load runs. The time a pause takes is printed, not judged: it is the
// platform's to keep.
void TestReadFile::pauseTimer_data()
{
    QTest::addColumn<bool>("fallback");
    QTest::addColumn<int>("timer");
#ifdef Q_OS_WIN
    const QOperatingSystemVersion withHighResolution(QOperatingSystemVersion::Windows, 10, 0,
                                                     17134); // 1803
    QTest::newRow("preferred") << false
                               << int(QOperatingSystemVersion::current() >= withHighResolution
                                          ? ChunkPause::Timer::HighResolution
                                          : ChunkPause::Timer::RaisedResolution);
    QTest::newRow("fallback") << true << int(ChunkPause::Timer::RaisedResolution);
#else
    QTest::newRow("preferred") << false << int(ChunkPause::Timer::Sleep);
    QTest::newRow("fallback") << true << int(ChunkPause::Timer::Sleep);
#endif
}

void TestReadFile::pauseTimer()
{
    QFETCH(bool, fallback);
    QFETCH(int, timer);
    const auto expected = ChunkPause::Timer(timer);
    const int raisedWhileUsed = expected == ChunkPause::Timer::RaisedResolution ? 1 : 0;
    ChunkPause::forceFallback(fallback);
    const auto restore = qScopeGuard([] { ChunkPause::forceFallback(false); });

    {
        ChunkPause pause;
        QCOMPARE(pause.timer(), expected);
        QCOMPARE(ChunkPause::raisedResolutions(), raisedWhileUsed);
        constexpr int pauses = 200;
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < pauses; ++i)
            pause.pause();
        const double each = double(clock.nsecsElapsed()) / pauses / 1e6;
        qInfo("%.3f ms a pause", each);
        // A pause that returns at once is no pacing at all.
        QVERIFY2(each >= 0.9, qPrintable(QString::number(each)));
    }
    QCOMPARE(ChunkPause::raisedResolutions(), 0);

    QTemporaryDir dir;
    const QString path =
        writeFile(dir, QStringLiteral("five.bin"), QByteArray(int(5 * ReadFile::chunkSize), 'x'));
    QVERIFY(!path.isEmpty());
    ReadFile worker;
    worker.fileName = path;
    int raisedDuringLoad = -1;
    QObject::connect(
        &worker, &ReadFile::PrgRangeSignal, &worker,
        [&raisedDuringLoad](int) { raisedDuringLoad = ChunkPause::raisedResolutions(); },
        Qt::DirectConnection);
    worker.start();
    QVERIFY(worker.wait(60000));
    QCOMPARE(worker.lastPauseTimer(), expected);
    QCOMPARE(raisedDuringLoad, raisedWhileUsed);
    QCOMPARE(ChunkPause::raisedResolutions(), 0);
}

QTEST_GUILESS_MAIN(TestReadFile)
#include "tst_readfile.moc"
