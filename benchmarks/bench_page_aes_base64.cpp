// Large inputs on the AES and Base64 pages: a real MainWindow, shown
// offscreen, timed from the user's action until the boxes are laid out and
// painted. Prints a Markdown table; every figure is the median of several runs.
//
// Beside each action: the same text shown by a bare QTextEdit, once as Qt
// leaves it (default word wrap) and once prepared as the pages prepare theirs,
// so that what our own code adds is visible.
//
// Usage: bench_page_aes_base64 [--quick]   (--quick: 64 KiB and 256 KiB only)
#include "app/mainwindow.h"
#include "app/textboxes.h"
#include "benchsupport.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTextCursor>
#include <QTextEdit>

#include <algorithm>
#include <cmath>
#include <cstdio>
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

// Lets the window finish what an action set off. Layouts settle level by
// level, each level through a request posted to the next, so one pass of the
// event loop can leave a change of size hints half way up the window.
void idle()
{
    for (int pass = 0; pass < 10; ++pass)
        QCoreApplication::processEvents();
}

// timeIt, with what the preparation posted handled before the clock starts.
Timing timeAfterEvents(int runs, const std::function<void()> &prepare,
                       const std::function<void()> &action)
{
    return timeIt(
        runs,
        [&] {
            prepare();
            QCoreApplication::processEvents();
        },
        action);
}

// A bare QTextEdit of the page box's size showing `text`.
Timing showInBareBox(const QString &text, bool prepared, const QSize &size, int runs)
{
    return timeAfterEvents(
        runs, [] {},
        [&] {
            QTextEdit box;
            box.resize(size);
            if (prepared)
                prepareTextBox(&box);
            box.show();
            QCoreApplication::processEvents();
            box.setPlainText(text);
            settle({&box});
        });
}

void pasteInto(QTextEdit *box, const QString &text)
{
    QTextCursor cursor = box->textCursor();
    cursor.select(QTextCursor::Document);
    cursor.insertText(text);
    box->setTextCursor(cursor);
}

void clearBox(QTextEdit *box)
{
    box->setPlainText(QString());
    QCoreApplication::processEvents();
}

// The two pages' widgets, and the texts of one size that a row leaves for
// the rows after it.
struct Pages
{
    MainWindow window;
    QTabWidget *tabs = window.findChild<QTabWidget *>(QStringLiteral("tabWidget"));
    TextPage aes{window, QStringLiteral("AES")};
    QComboBox *codeAES = window.findChild<QComboBox *>(QStringLiteral("cboxCModeAES"));
    TextPage base64{window, QStringLiteral("BASE64")};
    QComboBox *inCode64 = window.findChild<QComboBox *>(QStringLiteral("cboxInCodeBASE64"));
    QComboBox *outCode64 = window.findChild<QComboBox *>(QStringLiteral("cboxOutCodeBASE64"));
    QString sample; // the AES input box's text as the window opens
    QSize boxSize;  // the size of the bare boxes beside the page's

    QString plain;
    QString base64Cipher, hexCipher, spacedHexCipher, hexCipherLines; // AES encryptions
    QString spacedHex;                                                // AES output code switched
    QString encoded, outHex, decodedHex;                              // Base64 page

    Pages()
    {
        window.show();
        QCoreApplication::processEvents();
        sample = aes.input->toPlainText();
        boxSize = aes.output->size();
    }
};

using Step = std::function<void(Pages &)>;
using Result = std::function<QString(Pages &)>;
using PageOf = TextPage Pages::*;

struct Action
{
    const char *name;
    Step before;  // once per size, not timed; may be empty
    Step prepare; // before every run, not timed
    Step run;     // timed
    // Once the runs are done: checks what the page shows, keeps what later
    // rows need and returns the text the bare boxes show for comparison.
    Result after;
};

// Both buttons write the output box: the run lasts until it is settled.
Step click(PageOf page, QPushButton *TextPage::*button)
{
    return [=](Pages &p) {
        ((p.*page).*button)->click();
        settle({(p.*page).output});
    };
}

// The output box's text, kept for the rows after this one.
Result keep(QString Pages::*result, PageOf page)
{
    return [=](Pages &p) { return p.*result = (p.*page).output->toPlainText(); };
}

Result expect(PageOf page, QString Pages::*text, const char *failure)
{
    return [=](Pages &p) {
        if ((p.*page).output->toPlainText() != p.*text)
            qFatal("%s", failure);
        return p.*text;
    };
}

// An output code combo switched with `from` shown in the output box.
Action switchCode(const char *name, PageOf page, QComboBox *Pages::*combo, int fromIndex,
                  QString Pages::*from, int toIndex, Result after)
{
    return {name,
            {},
            [=](Pages &p) {
                (p.*combo)->setCurrentIndex(fromIndex);
                (p.*page).output->setPlainText(p.*from);
                QCoreApplication::processEvents();
            },
            [=](Pages &p) {
                (p.*combo)->setCurrentIndex(toIndex);
                settle({(p.*page).output});
            },
            std::move(after)};
}

Action paste(const char *name, Step before, PageOf page, const char *failure)
{
    return {name, std::move(before), [=](Pages &p) { (p.*page).input->setPlainText(p.sample); },
            [=](Pages &p) {
                pasteInto((p.*page).input, p.plain);
                settle({(p.*page).input});
            },
            [=](Pages &p) {
                if ((p.*page).inputCount->text() != QString::number(p.plain.size()))
                    qFatal("%s", failure);
                return p.plain;
            }};
}

Action keystroke(const char *name, Step inputCode, PageOf page, QString Pages::*text, QChar typed)
{
    return {name,
            {},
            [=](Pages &p) {
                inputCode(p);
                QTextEdit *box = (p.*page).input;
                box->setPlainText(p.*text);
                box->setFocus();
                box->moveCursor(QTextCursor::End);
            },
            [=](Pages &p) {
                QTest::keyClick((p.*page).input, Qt::Key_A);
                settle({(p.*page).input});
            },
            [=](Pages &p) { return p.*text + typed; }};
}

Action encryptAes(const char *name, Step before, int code, Result after)
{
    return {name, std::move(before),
            [=](Pages &p) {
                clearBox(p.aes.output);
                p.codeAES->setCurrentIndex(code);
            },
            click(&Pages::aes, &TextPage::encrypt), std::move(after)};
}

Action decryptAes(const char *name, QString Pages::*cipherText)
{
    return {name,
            {},
            [=](Pages &p) {
                p.aes.input->setPlainText(p.*cipherText);
                clearBox(p.aes.output);
            },
            click(&Pages::aes, &TextPage::decrypt),
            expect(&Pages::aes, &Pages::plain, "AES decryption did not restore the plain text")};
}

// A Base64 page button pressed with `input` in the input box and the output
// box empty, its code at `outCode`.
Action intoEmptyOutput(const char *name, QString Pages::*input, int outCode,
                       QPushButton *TextPage::*button, Result after)
{
    return {name,
            {},
            [=](Pages &p) {
                p.base64.input->setPlainText(p.*input);
                p.outCode64->setCurrentIndex(outCode);
                clearBox(p.base64.output);
            },
            click(&Pages::base64, button),
            std::move(after)};
}

// Hex cipher text also arrives spaced (as the DES page writes it) and in
// lines (hex dumps, mail): the hex check and the hex reading skip the
// whitespace, and every form must stay linear.
QString keepHexCipher(Pages &p)
{
    p.hexCipher = p.aes.output->toPlainText();
    const QString &hex = p.hexCipher;
    p.spacedHexCipher.clear();
    p.hexCipherLines.clear();
    p.spacedHexCipher.reserve(hex.size() / 2 * 3);
    p.hexCipherLines.reserve(hex.size() + hex.size() / 32 + 2);
    for (qsizetype i = 0; i < hex.size(); i += 2) {
        if (i)
            p.spacedHexCipher += QLatin1Char(' ');
        p.spacedHexCipher += QStringView(hex).mid(i, 2);
    }
    for (qsizetype i = 0; i < hex.size(); i += 64) {
        p.hexCipherLines += QStringView(hex).mid(i, 64);
        p.hexCipherLines += QLatin1String("\r\n");
    }
    return hex;
}

std::vector<Action> actions()
{
    const auto noInputCode = [](Pages &) {};
    const auto hexInputCode = [](Pages &p) { p.inCode64->setCurrentIndex(1); };
    return {
        paste(
            "AES: paste into the input box",
            [](Pages &p) {
                p.tabs->setCurrentIndex(0);
                QCoreApplication::processEvents();
            },
            &Pages::aes, "AES input counter did not show the pasted size"),
        keystroke("AES: one keystroke at the end", noInputCode, &Pages::aes, &Pages::plain,
                  QLatin1Char('A')),
        encryptAes(
            "AES: encrypt to Base64", [](Pages &p) { p.aes.input->setPlainText(p.plain); }, 0,
            keep(&Pages::base64Cipher, &Pages::aes)),
        encryptAes("AES: encrypt to hex", {}, 1, keepHexCipher),
        decryptAes("AES: decrypt Base64", &Pages::base64Cipher),
        decryptAes("AES: decrypt hex", &Pages::hexCipher),
        decryptAes("AES: decrypt spaced hex", &Pages::spacedHexCipher),
        decryptAes("AES: decrypt hex in lines of 64", &Pages::hexCipherLines),
        // The round trip a user makes: the page's own hex output copied back
        // into the input box and decrypted while the result box still shows
        // it. The result row turns from hex to string, which can move the
        // split between the navigation tree and the pages, and the boxes'
        // layouts that follow may run in posted events after the click: this
        // row starts from an idle window, as a user's click does, and times
        // until the window is idle again.
        {"AES: decrypt its own hex output (result box full)",
         {},
         [](Pages &p) {
             p.aes.input->setPlainText(p.plain);
             p.codeAES->setCurrentIndex(1);
             p.aes.encrypt->click();
             pasteInto(p.aes.input, p.aes.output->toPlainText());
             idle();
         },
         [](Pages &p) {
             p.aes.decrypt->click();
             settle({p.aes.output});
             idle();
         },
         expect(&Pages::aes, &Pages::plain,
                "AES decryption of its own hex output did not restore the plain text")},
        switchCode("AES: output code Base64 -> hex", &Pages::aes, &Pages::codeAES, 0,
                   &Pages::base64Cipher, 1, keep(&Pages::spacedHex, &Pages::aes)),
        switchCode("AES: output code hex -> Base64", &Pages::aes, &Pages::codeAES, 1,
                   &Pages::spacedHex, 0,
                   expect(&Pages::aes, &Pages::base64Cipher,
                          "switching the AES output code back did not restore the Base64 text")),
        paste(
            "Base64: paste into the input box",
            [](Pages &p) {
                clearBox(p.aes.output);
                clearBox(p.aes.input);
                p.tabs->setCurrentIndex(2);
                QCoreApplication::processEvents();
                p.inCode64->setCurrentIndex(0);
            },
            &Pages::base64, "Base64 input counter did not show the pasted size"),
        intoEmptyOutput("Base64: encode", &Pages::plain, 0, &TextPage::encrypt,
                        keep(&Pages::encoded, &Pages::base64)),
        switchCode("Base64: output code string -> hex", &Pages::base64, &Pages::outCode64, 0,
                   &Pages::encoded, 1, keep(&Pages::outHex, &Pages::base64)),
        switchCode("Base64: output code hex -> string", &Pages::base64, &Pages::outCode64, 1,
                   &Pages::outHex, 0,
                   expect(&Pages::base64, &Pages::encoded,
                          "switching the Base64 output code back did not restore the text")),
        // Decoding right after an encoding: the output box still holds the
        // encoded text in string form, which the switch to hex re-renders first.
        {"Base64: decode (after an encode)",
         {},
         [](Pages &p) {
             p.base64.input->setPlainText(p.encoded);
             p.outCode64->setCurrentIndex(0);
             p.base64.output->setPlainText(p.encoded);
             QCoreApplication::processEvents();
         },
         click(&Pages::base64, &TextPage::decrypt),
         keep(&Pages::decodedHex, &Pages::base64)},
        intoEmptyOutput("Base64: decode (output empty)", &Pages::encoded, 1, &TextPage::decrypt,
                        [](Pages &p) { return p.decodedHex; }),
        // A keystroke in a full box read as hex runs the hex guard.
        keystroke("Base64: one keystroke at the end (hex input)", hexInputCode, &Pages::base64,
                  &Pages::decodedHex, QLatin1Char('a')),
    };
}

struct Row
{
    const char *action;
    std::map<int, Timing> page, plain, prepared;
    std::map<int, bool> plainEstimated;
};

// Adds the page's figure for `size` and times the bare boxes beside it.
void record(Row &row, int size, Timing ms, const QString &shown, const QSize &boxSize)
{
    row.page[size] = ms;
    const int runs = size >= 4 * MiB ? 1 : 3;
    row.prepared[size] = showInBareBox(shown, true, boxSize, runs);
    // Estimate from the growth seen so far (quadratic until two sizes
    // were measured) and skip the run when it would take too long.
    Timing estimate;
    if (!row.plain.empty()) {
        const auto last = std::prev(row.plain.end());
        double exponent = 2;
        if (row.plain.size() >= 2 && !row.plainEstimated.count(last->first)) {
            const auto before = std::prev(last);
            exponent = std::log(last->second.cpu / before->second.cpu) /
                       std::log(double(last->first) / before->first);
        }
        const double f = std::pow(double(size) / last->first, exponent);
        estimate = {last->second.wall * f, last->second.cpu * f};
    }
    if (estimate.wall > plainBudgetMs) {
        row.plain[size] = estimate;
        row.plainEstimated[size] = true;
    } else {
        row.plain[size] = showInBareBox(shown, false, boxSize, 1);
    }
    std::fprintf(stderr, "%-46s %8d  page %9.1f ms (cpu %9.1f)  prepared %9.1f  plain %9.1f%s\n",
                 row.action, size, ms.wall, ms.cpu, row.prepared[size].cpu, row.plain[size].cpu,
                 row.plainEstimated.count(size) ? " (est.)" : "");
}

QString sizeName(int s)
{
    return s >= MiB ? QStringLiteral("%1 MiB").arg(s / MiB) : QStringLiteral("%1 KiB").arg(s / KiB);
}

void printTables(const std::vector<Row> &rows, const std::vector<int> &sizes)
{
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
            std::printf("| %s |", r.action);
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
        return QLatin1String(r.action) == QLatin1String("Base64: decode (after an encode)");
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
}

} // namespace

int main(int argc, char **argv)
{
    preferOffscreen();
    QApplication app(argc, argv);

    // Any message box would stop the run: answer and count it.
    MessageBoxAnswerer boxes;

    std::vector<int> sizes = {64 * KiB, 1 * MiB, 4 * MiB};
    if (argc > 1 && QByteArray(argv[1]) == "--quick")
        sizes = {64 * KiB, 256 * KiB};

    Pages pages;
    const std::vector<Action> list = actions();
    std::vector<Row> rows;
    for (const Action &action : list)
        rows.push_back(Row{action.name, {}, {}, {}, {}});

    for (int size : sizes) {
        const int runs = size >= 4 * MiB ? 3 : 5;
        pages.plain = randomText(size, 0xC1B4 + size);
        for (std::size_t a = 0; a < list.size(); ++a) {
            const Action &action = list[a];
            if (action.before)
                action.before(pages);
            const auto prepare = [&] { action.prepare(pages); };
            const auto run = [&] { action.run(pages); };
            const Timing t = timeAfterEvents(runs, prepare, run);
            record(rows[a], size, t, action.after(pages), pages.boxSize);
        }
        pages.inCode64->setCurrentIndex(0);
        clearBox(pages.base64.input);
        clearBox(pages.base64.output);
    }

    printTables(rows, sizes);
    std::printf("\n(ms, median; ~ = extrapolated from the smaller sizes' growth, not run; "
                "message boxes seen: %d)\n",
                int(boxes.take().size()));
    return 0;
}
