#include "benchsupport.h"

#include <QAbstractTextDocumentLayout>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTextDocument>
#include <QTextEdit>

#include <algorithm>
#include <ctime>

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double threadCpuMs()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

Timing timeIt(int runs, const std::function<void()> &prepare, const std::function<void()> &action)
{
    std::vector<double> wall, cpu;
    for (int i = 0; i < runs; ++i) {
        prepare();
        QElapsedTimer timer;
        timer.start();
        const double start = threadCpuMs();
        action();
        cpu.push_back(threadCpuMs() - start);
        wall.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    return {median(wall), median(cpu)};
}

TextPage::TextPage(const QObject &window, const QString &page)
    : input(window.findChild<QTextEdit *>(QStringLiteral("txtEnc") + page)),
      output(window.findChild<QTextEdit *>(QStringLiteral("txtDec") + page)),
      encrypt(window.findChild<QPushButton *>(QStringLiteral("btnEnc") + page)),
      decrypt(window.findChild<QPushButton *>(QStringLiteral("btnDec") + page)),
      inputCount(window.findChild<QLabel *>(QStringLiteral("labEncNum") + page)),
      outputCount(window.findChild<QLabel *>(QStringLiteral("labDecNum") + page))
{}

void settle(std::initializer_list<QTextEdit *> boxes)
{
    for (QTextEdit *box : boxes)
        box->document()->documentLayout()->documentSize();
    QCoreApplication::processEvents();
    for (QTextEdit *box : boxes)
        box->viewport()->grab();
}

QString randomText(qsizetype size, quint32 seed)
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QRandomGenerator rng(seed);
    QString text(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        text[i] = QLatin1Char(alphabet[rng.bounded(62)]);
    return text;
}

void preferOffscreen()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}
