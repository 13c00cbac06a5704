#ifndef CIPHERBENCH_BENCHMARKS_BENCHSUPPORT_H
#define CIPHERBENCH_BENCHMARKS_BENCHSUPPORT_H

// What the benchmark programs share. Test data and message boxes are the
// tests' own helpers, so that a benchmark's input is made the way a test's is.
#include "support/messageboxanswerer.h"
#include "support/testfiles.h"

#include <QString>

#include <functional>
#include <initializer_list>
#include <vector>

class QLabel;
class QPushButton;
class QTextEdit;

// The middle value; for an even count, the mean of the two middle ones.
double median(std::vector<double> values);

// On a shared machine wall time counts other programs' turns too; the GUI
// thread's CPU time is what the user would wait for on a machine of its own.
double threadCpuMs();

// Milliseconds, by both clocks.
struct Timing
{
    double wall = 0;
    double cpu = 0;
};

// Medians of `runs` timings of `action`, each after an untimed `prepare`.
Timing timeIt(int runs, const std::function<void()> &prepare, const std::function<void()> &action);

// The widgets a text page names after itself (txtEncAES, btnDecDES, ...):
// its input and output boxes, the buttons that encrypt or encode and
// decrypt or decode, and the boxes' counters.
struct TextPage
{
    TextPage(const QObject &window, const QString &page);
    QTextEdit *input;
    QTextEdit *output;
    QPushButton *encrypt;
    QPushButton *decrypt;
    QLabel *inputCount;
    QLabel *outputCount;
};

// Lays the boxes out completely, lets queued work run and paints them, so
// that a time measured up to here includes what the user waits for.
void settle(std::initializer_list<QTextEdit *> boxes);

// `size` letters and digits from a generator seeded with `seed`.
QString randomText(qsizetype size, quint32 seed);

// The page benchmarks need no display of their own unless one is asked for.
void preferOffscreen();

#endif
