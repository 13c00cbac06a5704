// File hashing through the worker: throughput against md5sum/sha1sum and the
// pacing floor, stop latency in the real window, and peak memory.
//
//   bench_filehash [memory] [throughput] [stop]     (default: all three)
//
// Files are made in a temporary directory and removed afterwards. Run with
// QT_QPA_PLATFORM=offscreen (the stop measurement drives a real window).

#include "app/mainwindow.h"
#include "app/readfile.h"
#include "benchsupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

QTextStream out(stdout);

// Peak resident set size of this process, in KiB, from /proc/self/status.
qint64 peakRssKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

// Lets the kernel forget the peak so far (write 5 to clear_refs), so the
// measurement below starts from the current footprint.
bool resetPeakRss()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    return refs.open(QIODevice::WriteOnly) && refs.write("5") == 1;
}

// Random content, written 1 MiB at a time so the writer's own footprint stays small.
bool makeRandom(const QString &path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QRandomGenerator generator(20240601);
    std::vector<quint32> block((1 << 20) / sizeof(quint32));
    for (qint64 left = size; left > 0;) {
        generator.fillRange(block.data(), block.size());
        const qint64 n = qMin<qint64>(left, qint64(block.size() * sizeof(quint32)));
        if (file.write(reinterpret_cast<const char *>(block.data()), n) != n)
            return false;
        left -= n;
    }
    return true;
}

// One run of the worker over `path`; returns seconds, the digest in `*digest`.
double hashWithWorker(const QString &path, QCryptographicHash::Algorithm algorithm,
                      QByteArray *digest)
{
    ReadFile worker;
    QObject::connect(
        &worker, &ReadFile::PrgFinshSignal, &worker, [digest](const QByteArray &d) { *digest = d; },
        Qt::DirectConnection);
    worker.fileName = path;
    worker.hashAlgorithm = algorithm;
    QElapsedTimer timer;
    timer.start();
    worker.start(QThread::InheritPriority);
    worker.wait();
    return timer.nsecsElapsed() / 1e9;
}

// One run of a command-line tool over `path`; returns seconds, its hex in `*hex`.
double hashWithTool(const QString &tool, const QString &path, QByteArray *hex)
{
    QProcess process;
    QElapsedTimer timer;
    timer.start();
    process.start(tool, {path});
    process.waitForFinished(-1);
    const double seconds = timer.nsecsElapsed() / 1e9;
    *hex = process.readAllStandardOutput().split(' ').first();
    return seconds;
}

// Mean length of QThread::msleep(1) on this machine, in seconds.
double measuredSleep()
{
    const int n = 2000;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < n; ++i)
        QThread::msleep(1);
    return timer.nsecsElapsed() / 1e9 / n;
}

void memory(const QTemporaryDir &dir)
{
    const qint64 size = qint64(4) << 30;
    const QString path = dir.filePath(QStringLiteral("memory.bin"));
    if (!makeSparse(path, size)) {
        out << "memory: cannot create the sparse file\n";
        return;
    }
    // Warm up: thread creation and the hash code paths touched once.
    const QString small = dir.filePath(QStringLiteral("small.bin"));
    makeSparse(small, 4 * ReadFile::chunkSize);
    QByteArray digest;
    hashWithWorker(small, QCryptographicHash::Md5, &digest);

    const bool reset = resetPeakRss();
    const qint64 before = peakRssKiB();
    const double seconds = hashWithWorker(path, QCryptographicHash::Md5, &digest);
    const qint64 after = peakRssKiB();
    QFile::remove(path);

    out << "\n## Peak memory, 4 GiB sparse file, MD5\n\n"
        << "| VmHWM before | VmHWM after | rise | time | peak reset |\n|---|---|---|---|---|\n"
        << "| " << before << " KiB | " << after << " KiB | " << (after - before) << " KiB | "
        << QString::number(seconds, 'f', 1) << " s | " << (reset ? "yes" : "no") << " |\n";
    out.flush();
}

void throughput(const QTemporaryDir &dir, int runs)
{
    const qint64 size = qint64(1) << 30;
    const QString path = dir.filePath(QStringLiteral("throughput.bin"));
    if (!makeRandom(path, size)) {
        out << "throughput: cannot create the file\n";
        return;
    }
    // Into the page cache for everyone alike.
    QByteArray hex;
    hashWithTool(QStringLiteral("md5sum"), path, &hex);

    const qint64 chunks = (size + ReadFile::chunkSize - 1) / ReadFile::chunkSize;
    const double sleep = measuredSleep();
    const double floor = double(chunks - 1) * sleep;

    out << "\n## 1 GiB random file (" << chunks << " chunks), median of " << runs << " runs\n\n"
        << "measured msleep(1): " << QString::number(sleep * 1e3, 'f', 4) << " ms; pacing floor "
        << (chunks - 1) << " x sleep = " << QString::number(floor, 'f', 2) << " s\n\n"
        << "| algorithm | ours (s) | tool (s) | floor + tool (s) | ours / (floor + tool) | "
           "target | digests agree |\n|---|---|---|---|---|---|---|\n";
    out.flush();

    const struct
    {
        const char *name;
        QCryptographicHash::Algorithm algorithm;
        const char *tool;
    } cases[] = {{"MD5", QCryptographicHash::Md5, "md5sum"},
                 {"SHA1", QCryptographicHash::Sha1, "sha1sum"}};
    for (const auto &c : cases) {
        std::vector<double> ours, tool;
        QByteArray digest, toolHex;
        for (int i = 0; i < runs; ++i) {
            tool.push_back(hashWithTool(QString::fromLatin1(c.tool), path, &toolHex));
            ours.push_back(hashWithWorker(path, c.algorithm, &digest));
        }
        const double o = median(ours), t = median(tool);
        const double ratio = o / (floor + t);
        out << "| " << c.name << " | " << QString::number(o, 'f', 2) << " | "
            << QString::number(t, 'f', 2) << " | " << QString::number(floor + t, 'f', 2) << " | "
            << QString::number(ratio, 'f', 3) << " | <= 1.15 " << (ratio <= 1.15 ? "met" : "MISSED")
            << " | " << (digest.toHex() == toolHex ? "yes" : "NO") << " |\n";
        out.flush();
    }
    QFile::remove(path);
}

void stopLatency(const QTemporaryDir &dir, int runs)
{
    const QString path = dir.filePath(QStringLiteral("stop.bin"));
    if (!makeSparse(path, qint64(1) << 30)) {
        out << "stop: cannot create the sparse file\n";
        return;
    }
    MainWindow window;
    window.show();
    auto *button = window.findChild<QPushButton *>(QStringLiteral("btnFileHASH"));
    auto *bar = window.findChild<QProgressBar *>(QStringLiteral("prgFileHASH"));
    window.findChild<QAbstractButton *>(QStringLiteral("rbtnFileHASH"))->click();

    std::vector<double> latencies;
    for (int i = 0; i < runs; ++i) {
        window.loadFileHASH(path);
        // Well into the load: the bar has moved.
        while (bar->value() <= 0)
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        QElapsedTimer timer;
        timer.start();
        button->click();
        while (!(button->text() == MainWindow::tr("选择文件") &&
                 window.fileHashWorker()->isFinished()))
            QApplication::processEvents();
        latencies.push_back(timer.nsecsElapsed() / 1e6);
    }
    const double worst = *std::max_element(latencies.begin(), latencies.end());
    out << "\n## Stop latency (click to button \"选择文件\" and worker ended), " << runs
        << " stops\n\n| median | worst | target |\n|---|---|---|\n| "
        << QString::number(median(latencies), 'f', 2) << " ms | " << QString::number(worst, 'f', 2)
        << " ms | < 50 ms " << (worst < 50 ? "met" : "MISSED") << " |\n";
    out.flush();
    QFile::remove(path);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QStringList sections = app.arguments().mid(1);
    if (sections.isEmpty())
        sections = {QStringLiteral("memory"), QStringLiteral("throughput"), QStringLiteral("stop")};

    QTemporaryDir dir;
    if (!dir.isValid()) {
        out << "cannot create a temporary directory\n";
        return 1;
    }
    // Memory first: nothing else has raised the peak yet.
    if (sections.contains(QStringLiteral("memory")))
        memory(dir);
    if (sections.contains(QStringLiteral("throughput")))
        throughput(dir, 3);
    if (sections.contains(QStringLiteral("stop")))
        stopLatency(dir, 20);
    return 0;
}
