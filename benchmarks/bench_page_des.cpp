// Large inputs on the DES page, driven through the real window (offscreen):
// pasting, encrypting, decrypting and switching the code combos, each timed
// until the counters are written and both boxes are laid out.
//
// Size N is the amount of data: a paste puts N characters into the input box
// (random letters and digits for the string code, spaced hex of N/3 bytes for
// the hex code); encryption takes an N-byte string; decryption takes the hex
// of an N-byte encryption; the combo switches work on an N-byte input text or
// on the result of an N-byte encryption.
//
// Prints one table: action, median milliseconds per size, 4 MiB / 1 MiB.
// Usage: bench_page_des [runs [KiB,KiB,...]]   (default: 5 runs, 64,1024,4096)

#include "app/mainwindow.h"
#include "benchsupport.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTextCursor>
#include <QTextEdit>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

struct Page
{
    MainWindow window;
    TextPage des{window, QStringLiteral("DES")};
    QComboBox *inCode = window.findChild<QComboBox *>(QStringLiteral("cboxInCodeDES"));
    QComboBox *outCode = window.findChild<QComboBox *>(QStringLiteral("cboxOutCodeDES"));
    QRadioButton *single = window.findChild<QRadioButton *>(QStringLiteral("rbtnDES"));
    QRadioButton *triple = window.findChild<QRadioButton *>(QStringLiteral("rbtn3DES"));
    QString clipboard; // what the next paste inserts, made before the clock starts

    Page()
    {
        window.findChild<QTabWidget *>(QStringLiteral("tabWidget"))->setCurrentIndex(1);
        window.show();
        settle();
    }

    void settle() { ::settle({des.input, des.output}); }

    void reset(const QString &inCodeText, const QString &outCodeText, bool useTriple)
    {
        inCode->setCurrentText(QStringLiteral("字符串")); // no conversion while clearing
        des.input->clear();
        des.output->clear();
        inCode->setCurrentText(inCodeText);
        outCode->setCurrentText(QStringLiteral("十六进制"));
        des.output->clear();
        outCode->setCurrentText(outCodeText);
        (useTriple ? triple : single)->click();
        settle();
    }

    void paste()
    {
        QTextCursor cursor = des.input->textCursor();
        cursor.movePosition(QTextCursor::End);
        des.input->setTextCursor(cursor);
        des.input->insertPlainText(clipboard);
    }
};

QString spacedHexOfSize(qsizetype n)
{
    return QString::fromLatin1(randomBytes(n / 3 + 1, 11).toHex(' ').toUpper()).left(n).trimmed();
}

struct Action
{
    const char *name;
    std::function<void(Page &, qsizetype)> prepare; // not timed
    std::function<void(Page &, qsizetype)> run;     // timed, followed by settle()
};

const QString hex = QStringLiteral("十六进制");
const QString str = QStringLiteral("字符串");
const QString b64 = QStringLiteral("base64");

void encryptedInput(Page &p, qsizetype n, bool useTriple, const QString &outCodeText)
{
    p.reset(str, outCodeText, useTriple);
    p.des.input->setPlainText(randomText(n, 7));
    p.settle();
}

// The hex of an n-byte encryption in the input box, hex input code.
void cipherTextInput(Page &p, qsizetype n, bool useTriple)
{
    encryptedInput(p, n, useTriple, hex);
    p.des.encrypt->click();
    const QString cipher = p.des.output->toPlainText();
    p.reset(hex, hex, useTriple);
    p.des.input->setPlainText(cipher);
    p.settle();
}

std::vector<Action> actions()
{
    return {
        {"paste, string input code",
         [](Page &p, qsizetype n) {
             p.reset(str, hex, false);
             p.clipboard = randomText(n, 7);
         },
         [](Page &p, qsizetype) { p.paste(); }},
        {"paste, hex input code",
         [](Page &p, qsizetype n) {
             p.reset(hex, hex, false);
             p.clipboard = spacedHexOfSize(n);
         },
         [](Page &p, qsizetype) { p.paste(); }},
        {"DES encrypt to hex", [](Page &p, qsizetype n) { encryptedInput(p, n, false, hex); },
         [](Page &p, qsizetype) { p.des.encrypt->click(); }},
        {"DES encrypt to Base64", [](Page &p, qsizetype n) { encryptedInput(p, n, false, b64); },
         [](Page &p, qsizetype) { p.des.encrypt->click(); }},
        {"3DES encrypt to hex", [](Page &p, qsizetype n) { encryptedInput(p, n, true, hex); },
         [](Page &p, qsizetype) { p.des.encrypt->click(); }},
        {"3DES encrypt to Base64", [](Page &p, qsizetype n) { encryptedInput(p, n, true, b64); },
         [](Page &p, qsizetype) { p.des.encrypt->click(); }},
        {"DES decrypt of that hex", [](Page &p, qsizetype n) { cipherTextInput(p, n, false); },
         [](Page &p, qsizetype) { p.des.decrypt->click(); }},
        {"3DES decrypt of that hex", [](Page &p, qsizetype n) { cipherTextInput(p, n, true); },
         [](Page &p, qsizetype) { p.des.decrypt->click(); }},
        {"input code string -> hex",
         [](Page &p, qsizetype n) {
             p.reset(str, hex, false);
             p.des.input->setPlainText(randomText(n, 7));
             p.settle();
         },
         [](Page &p, qsizetype) { p.inCode->setCurrentText(hex); }},
        {"input code hex -> string",
         [](Page &p, qsizetype n) {
             p.reset(hex, hex, false);
             p.des.input->setPlainText(spacedHexOfSize(n));
             p.settle();
         },
         [](Page &p, qsizetype) { p.inCode->setCurrentText(str); }},
        {"output code hex -> Base64",
         [](Page &p, qsizetype n) {
             encryptedInput(p, n, false, hex);
             p.des.encrypt->click();
             p.settle();
         },
         [](Page &p, qsizetype) { p.outCode->setCurrentText(b64); }},
        {"output code Base64 -> hex",
         [](Page &p, qsizetype n) {
             encryptedInput(p, n, false, b64);
             p.des.encrypt->click();
             p.settle();
         },
         [](Page &p, qsizetype) { p.outCode->setCurrentText(hex); }},
    };
}

} // namespace

int main(int argc, char **argv)
{
    preferOffscreen();
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    std::vector<qsizetype> sizes = {64 * 1024, 1024 * 1024, 4 * 1024 * 1024};
    if (argc > 2) {
        sizes.clear();
        for (const QString &kib :
             QString::fromLocal8Bit(argv[2]).split(QLatin1Char(','), Qt::SkipEmptyParts))
            sizes.push_back(qsizetype(kib.toLongLong()) * 1024);
    }

    // Every input here is valid; a message box would mean a broken run.
    int boxesSeen = 0;
    MessageBoxAnswerer boxes;

    Page page;

    const auto printTable = [&sizes](const char *title,
                                     const std::vector<std::vector<double>> &rows,
                                     const std::vector<Action> &list) {
        std::printf("\n%s\n\n| action |", title);
        for (qsizetype size : sizes)
            std::printf(" %lld KiB (ms) |", static_cast<long long>(size / 1024));
        std::printf(" last / previous |\n|---|");
        for (std::size_t s = 0; s <= sizes.size(); ++s)
            std::printf("---:|");
        std::printf("\n");
        for (std::size_t a = 0; a < rows.size(); ++a) {
            std::printf("| %s |", list[a].name);
            for (double m : rows[a])
                std::printf(" %.1f |", m);
            if (rows[a].size() >= 2)
                std::printf(" %.2f |\n", rows[a].back() / rows[a][rows[a].size() - 2]);
            else
                std::printf(" - |\n");
        }
        std::fflush(stdout);
    };

    const std::vector<Action> list = actions();
    std::vector<std::vector<double>> wallRows, cpuRows;
    for (const Action &action : list) {
        std::vector<double> wallMedians, cpuMedians;
        for (qsizetype size : sizes) {
            const Timing t = timeIt(
                runs, [&] { action.prepare(page, size); },
                [&] {
                    action.run(page, size);
                    page.settle();
                });
            wallMedians.push_back(t.wall);
            cpuMedians.push_back(t.cpu);
        }
        wallRows.push_back(wallMedians);
        cpuRows.push_back(cpuMedians);
        for (const SeenBox &box : boxes.take()) {
            ++boxesSeen;
            std::fprintf(stderr, "unexpected message box: %s\n", qPrintable(box.text));
        }
        std::fprintf(stderr, "done: %s\n", action.name);
    }
    printTable("Wall time, median of runs:", wallRows, list);
    printTable("GUI thread CPU time, median of runs:", cpuRows, list);

    // Keep the counters' texts alive in the output, so a broken page shows.
    std::printf("\nlast counters: input %s, output %s; unexpected message boxes: %d\n",
                qPrintable(page.des.inputCount->text()), qPrintable(page.des.outputCount->text()),
                boxesSeen);
    return boxesSeen == 0 ? 0 : 1;
}
