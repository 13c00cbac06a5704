// Large inputs on the AES and Base64 pages: a real MainWindow, shown
// offscreen, timed from the user's action until the boxes are laid out and
// painted. Prints a Markdown table; every figure is the median of several runs.
//
// Beside each action: the same text shown by a bare QTextEdit, once as Qt
// leaves it (default word wrap) and once prepared as the pages prepare theirs,
// so that what our own code adds is visible.
#include "app/mainwindow.h"
#include "app/textboxes.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTabWidget>
#include <QTest>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>
#include <iterator>
#include <map>
#include <utility>
#include <vector>

namespace {

constexpr int KiB = 1024;
constexpr int MiB = 1024 * KiB;
// Qt's default word wrap is quadratic in a run's length; beyond this
// estimate the plain figure is extrapolated instead of measured.
constexpr double plainBudgetMs = 120000;

void settle(QTextEdit *box)
{
    box->document()->documentLayout()->documentSize();
    QCoreApplication::processEvents();
    box->viewport()->grab();
}

// Lets the window finish what an action set off. Layouts settle level by
// level, each level through a request posted to the next, so one pass of the
// event loop can leave a change of size hints half way up the window.
void idle()
{
    for (int pass = 0; pass < 10; ++pass)
        QCoreApplication::processEvents();
}

double threadCpuMs()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// The machine may be shared: wall-clock time then counts other programs'
// turns too, while the GUI thread's CPU time is what the user would wait for
// on a machine of its own. Both are kept and printed as two tables.
struct Timing
{
    double wall = 0;
    double cpu = 0;
};

// Medians of `runs` timings of `action`, each after an untimed `prepare`.
Timing timeIt(int runs, const std::function<void()> &prepare, const std::function<void()> &action)
{
    std::vector<double> wall, cpu;
    for (int i = 0; i < runs; ++i) {
        prepare();
        QCoreApplication::processEvents();
        QElapsedTimer timer;
        timer.start();
        const double start = threadCpuMs();
        action();
        cpu.push_back(threadCpuMs() - start);
        wall.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    return {wall[wall.size() / 2], cpu[cpu.size() / 2]};
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

// A bare QTextEdit of the page box's size showing `text`.
Timing showInBareBox(const QString &text, bool prepared, const QSize &size, int runs)
{
    return timeIt(
        runs, [] {},
        [&] {
            QTextEdit box;
            box.resize(size);
            if (prepared)
                prepareTextBox(&box);
            box.show();
            QCoreApplication::processEvents();
            box.setPlainText(text);
            settle(&box);
        });
}

struct Row
{
    QString action;
    std::map<int, Timing> page, plain, prepared;
    std::map<int, bool> plainEstimated;
};

void pasteInto(QTextEdit *box, const QString &text)
{
    QTextCursor cursor = box->textCursor();
    cursor.select(QTextCursor::Document);
    cursor.insertText(text);
    box->setTextCursor(cursor);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    // Any message box would stop the run: answer and count it.
    int boxes = 0;
    QTimer answerer;
    QObject::connect(&answerer, &QTimer::timeout, [&] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible()) {
                ++boxes;
                box->done(QMessageBox::Ok);
            }
    });
    answerer.start(0);

    // --quick: 64 KiB and 256 KiB only, for a first look.
    std::vector<int> sizes = {64 * KiB, 1 * MiB, 4 * MiB};
    if (argc > 1 && QByteArray(argv[1]) == "--quick")
        sizes = {64 * KiB, 256 * KiB};

    MainWindow window;
    window.show();
    QCoreApplication::processEvents();
    auto *tabs = window.findChild<QTabWidget *>("tabWidget");
    auto *encAES = window.findChild<QTextEdit *>("txtEncAES");
    auto *decAES = window.findChild<QTextEdit *>("txtDecAES");
    auto *codeAES = window.findChild<QComboBox *>("cboxCModeAES");
    auto *btnEncAES = window.findChild<QPushButton *>("btnEncAES");
    auto *btnDecAES = window.findChild<QPushButton *>("btnDecAES");
    auto *encNumAES = window.findChild<QLabel *>("labEncNumAES");
    auto *enc64 = window.findChild<QTextEdit *>("txtEncBASE64");
    auto *dec64 = window.findChild<QTextEdit *>("txtDecBASE64");
    auto *inCode64 = window.findChild<QComboBox *>("cboxInCodeBASE64");
    auto *outCode64 = window.findChild<QComboBox *>("cboxOutCodeBASE64");
    auto *btnEnc64 = window.findChild<QPushButton *>("btnEncBASE64");
    auto *btnDec64 = window.findChild<QPushButton *>("btnDecBASE64");
    auto *encNum64 = window.findChild<QLabel *>("labEncNumBASE64");
    const QString sample = encAES->toPlainText();
    const QSize boxSize = decAES->size();

    std::vector<Row> rows;
    auto record = [&](const QString &action, int size, Timing ms, const QString &shown) {
        auto it = std::find_if(rows.begin(), rows.end(),
                               [&](const Row &r) { return r.action == action; });
        if (it == rows.end()) {
            rows.push_back(Row{action, {}, {}, {}, {}});
            it = rows.end() - 1;
        }
        it->page[size] = ms;
        const int runs = size >= 4 * MiB ? 1 : 3;
        it->prepared[size] = showInBareBox(shown, true, boxSize, runs);
        // Estimate from the growth seen so far (quadratic until two sizes
        // were measured) and skip the run when it would take too long.
        Timing estimate;
        if (!it->plain.empty()) {
            const auto last = std::prev(it->plain.end());
            double exponent = 2;
            if (it->plain.size() >= 2 && !it->plainEstimated.count(last->first)) {
                const auto before = std::prev(last);
                exponent = std::log(last->second.cpu / before->second.cpu) /
                           std::log(double(last->first) / before->first);
            }
            const double f = std::pow(double(size) / last->first, exponent);
            estimate = {last->second.wall * f, last->second.cpu * f};
        }
        if (estimate.wall > plainBudgetMs) {
            it->plain[size] = estimate;
            it->plainEstimated[size] = true;
        } else {
            it->plain[size] = showInBareBox(shown, false, boxSize, 1);
        }
        std::fprintf(stderr,
                     "%-46s %8d  page %9.1f ms (cpu %9.1f)  prepared %9.1f  plain %9.1f%s\n",
                     qPrintable(action), size, ms.wall, ms.cpu, it->prepared[size].cpu,
                     it->plain[size].cpu, it->plainEstimated.count(size) ? " (est.)" : "");
    };
    auto clearBox = [](QTextEdit *box) {
        box->setPlainText(QString());
        QCoreApplication::processEvents();
    };

    for (int size : sizes) {
        const int runs = size >= 4 * MiB ? 3 : 5;
        const QString plain = randomText(size, 0xC1B4 + size);

        // AES page.
        tabs->setCurrentIndex(0);
        QCoreApplication::processEvents();
        const Timing paste = timeIt(
            runs, [&] { encAES->setPlainText(sample); },
            [&] {
                pasteInto(encAES, plain);
                settle(encAES);
            });
        if (encNumAES->text() != QString::number(size))
            qFatal("AES input counter did not show the pasted size");
        record(QStringLiteral("AES: paste into the input box"), size, paste, plain);

        const Timing keystroke = timeIt(
            runs,
            [&] {
                encAES->setPlainText(plain);
                encAES->setFocus();
                encAES->moveCursor(QTextCursor::End);
            },
            [&] {
                QTest::keyClick(encAES, Qt::Key_A);
                settle(encAES);
            });
        record(QStringLiteral("AES: one keystroke at the end"), size, keystroke,
               plain + QLatin1Char('A'));

        encAES->setPlainText(plain);
        QString base64Cipher, hexCipher;
        for (int code : {0, 1}) {
            const Timing t = timeIt(
                runs,
                [&] {
                    clearBox(decAES);
                    codeAES->setCurrentIndex(code);
                },
                [&] {
                    btnEncAES->click();
                    settle(decAES);
                });
            (code == 0 ? base64Cipher : hexCipher) = decAES->toPlainText();
            record(code == 0 ? QStringLiteral("AES: encrypt to Base64")
                             : QStringLiteral("AES: encrypt to hex"),
                   size, t, decAES->toPlainText());
        }

        // Hex cipher text also arrives spaced (as the DES page writes it) and
        // in lines (hex dumps, mail): the hex check and the hex reading skip
        // the whitespace, and every form must stay linear.
        QString spacedHexCipher, hexCipherLines;
        spacedHexCipher.reserve(hexCipher.size() / 2 * 3);
        hexCipherLines.reserve(hexCipher.size() + hexCipher.size() / 32 + 2);
        for (qsizetype i = 0; i < hexCipher.size(); i += 2) {
            if (i)
                spacedHexCipher += QLatin1Char(' ');
            spacedHexCipher += QStringView(hexCipher).mid(i, 2);
        }
        for (qsizetype i = 0; i < hexCipher.size(); i += 64) {
            hexCipherLines += QStringView(hexCipher).mid(i, 64);
            hexCipherLines += QLatin1String("\r\n");
        }
        const std::pair<QString, const QString *> ciphers[] = {
            {QStringLiteral("AES: decrypt Base64"), &base64Cipher},
            {QStringLiteral("AES: decrypt hex"), &hexCipher},
            {QStringLiteral("AES: decrypt spaced hex"), &spacedHexCipher},
            {QStringLiteral("AES: decrypt hex in lines of 64"), &hexCipherLines},
        };
        for (const auto &[action, cipherText] : ciphers) {
            const Timing t = timeIt(
                runs,
                [&] {
                    encAES->setPlainText(*cipherText);
                    clearBox(decAES);
                },
                [&] {
                    btnDecAES->click();
                    settle(decAES);
                });
            if (decAES->toPlainText() != plain)
                qFatal("AES decryption did not restore the plain text");
            record(action, size, t, plain);
        }

        // The round trip a user makes: the page's own hex output copied back
        // into the input box and decrypted while the result box still shows
        // it. The result row turns from hex to string, which can move the
        // split between the navigation tree and the pages, and the boxes'
        // layouts that follow may run in posted events after the click: this
        // row starts from an idle window, as a user's click does, and times
        // until the window is idle again.
        const Timing ownHex = timeIt(
            runs,
            [&] {
                encAES->setPlainText(plain);
                codeAES->setCurrentIndex(1);
                btnEncAES->click();
                pasteInto(encAES, decAES->toPlainText());
                idle();
            },
            [&] {
                btnDecAES->click();
                settle(decAES);
                idle();
            });
        if (decAES->toPlainText() != plain)
            qFatal("AES decryption of its own hex output did not restore the plain text");
        record(QStringLiteral("AES: decrypt its own hex output (result box full)"), size, ownHex,
               plain);

        QString spacedHex;
        const Timing toHex = timeIt(
            runs,
            [&] {
                codeAES->setCurrentIndex(0);
                decAES->setPlainText(base64Cipher);
                QCoreApplication::processEvents();
            },
            [&] {
                codeAES->setCurrentIndex(1);
                settle(decAES);
            });
        spacedHex = decAES->toPlainText();
        record(QStringLiteral("AES: output code Base64 -> hex"), size, toHex, spacedHex);
        const Timing toBase64 = timeIt(
            runs,
            [&] {
                codeAES->setCurrentIndex(1);
                decAES->setPlainText(spacedHex);
                QCoreApplication::processEvents();
            },
            [&] {
                codeAES->setCurrentIndex(0);
                settle(decAES);
            });
        if (decAES->toPlainText() != base64Cipher)
            qFatal("switching the AES output code back did not restore the Base64 text");
        record(QStringLiteral("AES: output code hex -> Base64"), size, toBase64, base64Cipher);
        clearBox(decAES);
        clearBox(encAES);

        // Base64 page.
        tabs->setCurrentIndex(2);
        QCoreApplication::processEvents();
        inCode64->setCurrentIndex(0);
        const Timing paste64 = timeIt(
            runs, [&] { enc64->setPlainText(sample); },
            [&] {
                pasteInto(enc64, plain);
                settle(enc64);
            });
        if (encNum64->text() != QString::number(size))
            qFatal("Base64 input counter did not show the pasted size");
        record(QStringLiteral("Base64: paste into the input box"), size, paste64, plain);

        QString encoded;
        const Timing encode = timeIt(
            runs,
            [&] {
                enc64->setPlainText(plain);
                outCode64->setCurrentIndex(0);
                clearBox(dec64);
            },
            [&] {
                btnEnc64->click();
                settle(dec64);
            });
        encoded = dec64->toPlainText();
        record(QStringLiteral("Base64: encode"), size, encode, encoded);

        QString outHex;
        const Timing outToHex = timeIt(
            runs,
            [&] {
                outCode64->setCurrentIndex(0);
                dec64->setPlainText(encoded);
                QCoreApplication::processEvents();
            },
            [&] {
                outCode64->setCurrentIndex(1);
                settle(dec64);
            });
        outHex = dec64->toPlainText();
        record(QStringLiteral("Base64: output code string -> hex"), size, outToHex, outHex);
        const Timing outToString = timeIt(
            runs,
            [&] {
                outCode64->setCurrentIndex(1);
                dec64->setPlainText(outHex);
                QCoreApplication::processEvents();
            },
            [&] {
                outCode64->setCurrentIndex(0);
                settle(dec64);
            });
        if (dec64->toPlainText() != encoded)
            qFatal("switching the Base64 output code back did not restore the text");
        record(QStringLiteral("Base64: output code hex -> string"), size, outToString, encoded);

        // Decoding right after an encoding: the output box still holds the
        // encoded text in string form, which the switch to hex re-renders first.
        QString decodedHex;
        const Timing decode = timeIt(
            runs,
            [&] {
                enc64->setPlainText(encoded);
                outCode64->setCurrentIndex(0);
                dec64->setPlainText(encoded);
                QCoreApplication::processEvents();
            },
            [&] {
                btnDec64->click();
                settle(dec64);
            });
        decodedHex = dec64->toPlainText();
        record(QStringLiteral("Base64: decode (after an encode)"), size, decode, decodedHex);
        const Timing decodeEmpty = timeIt(
            runs,
            [&] {
                enc64->setPlainText(encoded);
                outCode64->setCurrentIndex(1);
                clearBox(dec64);
            },
            [&] {
                btnDec64->click();
                settle(dec64);
            });
        record(QStringLiteral("Base64: decode (output empty)"), size, decodeEmpty, decodedHex);

        // A keystroke in a full box read as hex runs the hex guard.
        const QString hexInput = decodedHex;
        const Timing hexKey = timeIt(
            runs,
            [&] {
                inCode64->setCurrentIndex(1);
                enc64->setPlainText(hexInput);
                enc64->setFocus();
                enc64->moveCursor(QTextCursor::End);
            },
            [&] {
                QTest::keyClick(enc64, Qt::Key_A);
                settle(enc64);
            });
        record(QStringLiteral("Base64: one keystroke at the end (hex input)"), size, hexKey,
               hexInput + QLatin1Char('a'));
        inCode64->setCurrentIndex(0);
        clearBox(enc64);
        clearBox(dec64);
    }

    const auto sizeName = [](int s) {
        return s >= MiB ? QStringLiteral("%1 MiB").arg(s / MiB)
                        : QStringLiteral("%1 KiB").arg(s / KiB);
    };
    for (bool wall : {false, true}) {
        std::printf("\n%s\n\n| action |", wall ? "Wall-clock time" : "GUI-thread CPU time");
        for (int s : sizes) {
            const QString name = sizeName(s);
            std::printf(" %s page | %s bare, prepared | %s bare, Qt default |", qPrintable(name),
                        qPrintable(name), qPrintable(name));
        }
        std::printf(" page %s/%s |\n|---|", qPrintable(QString::number(sizes.back() / KiB)),
                    qPrintable(QString::number(sizes[sizes.size() - 2] / KiB)));
        for (size_t i = 0; i < sizes.size() * 3 + 1; ++i)
            std::printf("---:|");
        std::printf("\n");
        const auto pick = [wall](const Timing &t) { return wall ? t.wall : t.cpu; };
        for (const Row &r : rows) {
            std::printf("| %s |", qPrintable(r.action));
            for (int s : sizes)
                std::printf(" %.0f | %.0f | %s%.0f |", pick(r.page.at(s)), pick(r.prepared.at(s)),
                            r.plainEstimated.count(s) ? "~" : "", pick(r.plain.at(s)));
            std::printf(" %.2f |\n",
                        pick(r.page.at(sizes.back())) / pick(r.page.at(sizes[sizes.size() - 2])));
        }
    }
    // The target of the decode right after an encode: close to a bare box
    // that shows the decoded hex once, the only text the user gets to see.
    const auto decodeRow = std::find_if(rows.begin(), rows.end(), [](const Row &r) {
        return r.action == QLatin1String("Base64: decode (after an encode)");
    });
    std::printf(
        "\nBase64: decode (after an encode), GUI-thread CPU time against a bare box showing the "
        "decoded hex once\n\n| size | page | bare, prepared | bare, Qt default | page / prepared "
        "| page / Qt default |\n|---|---:|---:|---:|---:|---:|\n");
    for (int s : sizes) {
        const double page = decodeRow->page.at(s).cpu;
        const double prepared = decodeRow->prepared.at(s).cpu;
        const double plain = decodeRow->plain.at(s).cpu;
        std::printf("| %s | %.0f | %.0f | %.0f | %.2f | %.2f |\n", qPrintable(sizeName(s)), page,
                    prepared, plain, page / prepared, page / plain);
    }
    std::printf("\n(ms, median; ~ = extrapolated from the smaller sizes' growth, not run; "
                "message boxes seen: %d)\n",
                boxes);
    return 0;
}
