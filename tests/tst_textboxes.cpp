// The shared text-box pieces: the hex guard's end state, the wrap mode that
// keeps long unbroken runs out of Qt's quadratic word-wrap layout, and the
// window geometry a held result box waits for.
#include "app/textboxes.h"

#include <QApplication>
#include <QBoxLayout>
#include <QLabel>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTextCursor>
#include <QTextEdit>

#include <memory>

namespace {

// What the guard must reach: deleting the character before the cursor, one
// at a time, while the text (whitespace ignored) is not valid hex.
QString removeOneByOne(QString text, int cursor)
{
    const auto valid = [](const QString &t) {
        for (QChar c : t) {
            if (!c.isSpace() && !isxdigit(c.unicode() < 128 ? c.unicode() : 'x'))
                return false;
        }
        return true;
    };
    while (!valid(text) && cursor > 0) {
        text.remove(cursor - 1, 1);
        --cursor;
    }
    return text;
}

// A window split like the program's: a box beside a column whose minimum
// width is its label's text, nested `depth` containers deep, in a tab widget
// or not. The window is narrower than both want, so the split follows the
// label's width.
struct SplitWindow
{
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    QTextEdit *side = nullptr;
    QWidget *column = nullptr;
    QLabel *label = nullptr;

    SplitWindow(int depth, bool inTabs)
    {
        auto *row = new QHBoxLayout(window.get());
        side = new QTextEdit;
        side->setMinimumWidth(60);
        row->addWidget(side);
        QWidget *inner = nullptr;
        if (inTabs) {
            auto *tabs = new QTabWidget;
            inner = new QWidget;
            tabs->addTab(inner, QStringLiteral("page"));
            column = tabs;
        } else {
            column = inner = new QWidget;
        }
        row->addWidget(column);
        for (int level = 1; level < depth; ++level) {
            auto *child = new QWidget;
            (new QVBoxLayout(inner))->addWidget(child);
            inner = child;
        }
        label = new QLabel(QStringLiteral("short"));
        auto *innermost = new QVBoxLayout(inner);
        innermost->addWidget(label);
        innermost->addWidget(new QTextEdit);
        window->resize(420, 300);
        window->show();
        idle();
    }
    static void idle()
    {
        for (int pass = 0; pass < 10; ++pass)
            QCoreApplication::processEvents();
    }
};

} // namespace

class TestTextBoxes : public QObject
{
    Q_OBJECT

private slots:
    void guard_data();
    void guard();
    void guardRunsNoHandlerPerCharacter();
    void wrapMode_data();
    void wrapMode();
    void wrapModeFollowsEdits();
    void textAndSignalsUnchanged();
    void settleLayouts_data();
    void settleLayouts();
};

void TestTextBoxes::guard_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<bool>("alreadyShown");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("message");

    QTest::newRow("valid hex") << "0a 1B\n2c" << 8 << false << "0a 1B\n2c" << false;
    QTest::newRow("only whitespace") << " \n " << 3 << false << " \n " << false;
    QTest::newRow("empty") << "" << 0 << false << "" << false;
    QTest::newRow("g after 12") << "12g" << 3 << false << "12" << true;
    QTest::newRow("xyz after valid hex") << "61 62xyz" << 8 << false << "61 62" << true;
    QTest::newRow("bad character in the middle, cursor after it")
        << "12g34" << 3 << false << "1234" << true;
    QTest::newRow("bad character before valid digits") << "g12" << 3 << false << "" << true;
    QTest::newRow("nothing before the cursor") << "g12" << 0 << false << "g12" << true;
    QTest::newRow("bad character after the cursor") << "12 g" << 2 << false << " g" << true;
    QTest::newRow("message already shown") << "12g" << 3 << true << "12" << false;
    QTest::newRow("Chinese character") << QStringLiteral("ab编cd") << 3 << false << "abcd" << true;
    QTest::newRow("spaces between bad characters") << "a x y z" << 7 << false << "a " << true;
}

void TestTextBoxes::guard()
{
    QFETCH(QString, text);
    QFETCH(int, cursor);
    QFETCH(bool, alreadyShown);
    QFETCH(QString, expected);
    QFETCH(bool, message);

    QCOMPARE(removeOneByOne(text, cursor), expected); // the row agrees with the one-by-one rule

    QTextEdit box;
    box.setPlainText(text);
    QTextCursor c = box.textCursor();
    c.setPosition(cursor);
    box.setTextCursor(c);
    bool shown = alreadyShown;
    int messages = 0;
    guardHexBox(&box, &shown, [&] { ++messages; });
    QCOMPARE(box.toPlainText(), expected);
    QCOMPARE(messages, message ? 1 : 0);
    QCOMPARE(shown, alreadyShown || message);
}

// Removing 20,000 pasted characters is one edit, not 20,000 nested ones.
void TestTextBoxes::guardRunsNoHandlerPerCharacter()
{
    QTextEdit box;
    bool shown = false;
    int messages = 0;
    int runs = 0;
    int depth = 0;
    int deepest = 0;
    QObject::connect(&box, &QTextEdit::textChanged, [&] {
        ++runs;
        deepest = qMax(deepest, ++depth);
        guardHexBox(&box, &shown, [&] { ++messages; });
        shown = false;
        --depth;
    });
    box.setPlainText(QStringLiteral("0123"));
    box.moveCursor(QTextCursor::End);
    runs = 0;
    deepest = 0;
    box.textCursor().insertText(QString(20000, QLatin1Char('z')));
    QCOMPARE(box.toPlainText(), QStringLiteral("0123"));
    QCOMPARE(messages, 1);
    QCOMPARE(runs, 2);
    QCOMPARE(deepest, 2);
}

void TestTextBoxes::wrapMode_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("anywhere");

    QString prose;
    while (prose.size() < 200000)
        prose += QStringLiteral("Plain words wrap at their boundaries as usual. ");
    QString base64;
    for (int i = 0; base64.size() < 200000; ++i)
        base64 += QLatin1Char(
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"[i * 7 % 64]);

    QTest::newRow("short sentence") << QStringLiteral("密码学中的高级加密标准（AES）。") << false;
    QTest::newRow("long prose") << prose << false;
    QTest::newRow("spaced hex") << QStringLiteral("0A ").repeated(60000) << false;
    QTest::newRow("run just below the limit") << QString(1023, QLatin1Char('A')) << false;
    QTest::newRow("run at the limit") << QString(1024, QLatin1Char('A')) << true;
    QTest::newRow("unspaced hex") << QStringLiteral("0A").repeated(60000) << true;
    QTest::newRow("Base64") << base64 << true;
    QTest::newRow("long run after prose") << prose + base64 << true;
    QTest::newRow("long run on a later line")
        << QStringLiteral("line\n").repeated(100) + base64 << true;
}

void TestTextBoxes::wrapMode()
{
    QFETCH(QString, text);
    QFETCH(bool, anywhere);

    QTextEdit box;
    prepareTextBox(&box);
    box.setPlainText(text);
    QCOMPARE(box.wordWrapMode(),
             anywhere ? QTextOption::WrapAnywhere : QTextOption::WrapAtWordBoundaryOrAnywhere);
    QCOMPARE(box.toPlainText(), text);
}

void TestTextBoxes::wrapModeFollowsEdits()
{
    QTextEdit box;
    prepareTextBox(&box);
    box.show();

    // Typing a run character by character switches once the run is long.
    box.setPlainText(QStringLiteral("key: "));
    box.moveCursor(QTextCursor::End);
    for (int i = 0; i < 1023; ++i)
        box.textCursor().insertText(QStringLiteral("f"));
    QCOMPARE(box.wordWrapMode(), QTextOption::WrapAtWordBoundaryOrAnywhere);
    box.textCursor().insertText(QStringLiteral("f"));
    QCOMPARE(box.wordWrapMode(), QTextOption::WrapAnywhere);

    // Joining two shorter runs by deleting the space between them.
    box.clear();
    QCoreApplication::processEvents();
    box.setPlainText(QString(600, QLatin1Char('a')) + QLatin1Char(' ') +
                     QString(600, QLatin1Char('b')));
    QCOMPARE(box.wordWrapMode(), QTextOption::WrapAtWordBoundaryOrAnywhere);
    QTextCursor c = box.textCursor();
    c.setPosition(601);
    c.deletePreviousChar();
    QCOMPARE(box.wordWrapMode(), QTextOption::WrapAnywhere);

    // Replacing a long run by another stays in the cheap mode throughout.
    box.setPlainText(QString(5000, QLatin1Char('c')));
    QCOMPARE(box.wordWrapMode(), QTextOption::WrapAnywhere);
    QCoreApplication::processEvents();
    QCOMPARE(box.wordWrapMode(), QTextOption::WrapAnywhere);

    // Emptied, the box goes back to word wrap once the edit is over.
    box.clear();
    QCoreApplication::processEvents();
    QCOMPARE(box.wordWrapMode(), QTextOption::WrapAtWordBoundaryOrAnywhere);
}

// The preparation must not show up in what the pages observe.
void TestTextBoxes::textAndSignalsUnchanged()
{
    const QString long64 = QStringLiteral("QUJD").repeated(5000);
    for (const QString &text : {QStringLiteral("short"), long64}) {
        QTextEdit plain, prepared;
        prepareTextBox(&prepared);
        QSignalSpy plainChanges(&plain, &QTextEdit::textChanged);
        QSignalSpy preparedChanges(&prepared, &QTextEdit::textChanged);
        for (QTextEdit *box : {&plain, &prepared}) {
            box->setPlainText(text);
            box->moveCursor(QTextCursor::End);
            box->textCursor().insertText(QStringLiteral("x"));
            box->textCursor().deletePreviousChar();
        }
        QCOMPARE(prepared.toPlainText(), plain.toPlainText());
        QCOMPARE(preparedChanges.size(), plainChanges.size());
        QCOMPARE(prepared.document()->blockCount(), plain.document()->blockCount());
    }
}

void TestTextBoxes::settleLayouts_data()
{
    QTest::addColumn<int>("depth");
    QTest::addColumn<bool>("inTabs");
    QTest::newRow("label in the column") << 1 << false;
    QTest::newRow("three containers deep") << 3 << false;
    QTest::newRow("in a tab widget's page") << 1 << true;
    QTest::newRow("two deep in a tab widget's page") << 2 << true;
}

// A wider label must move the split at once, to where the event loop would
// take it after its passes, and every level between must have followed.
void TestTextBoxes::settleLayouts()
{
    QFETCH(int, depth);
    QFETCH(bool, inTabs);
    const QString wide = QStringLiteral("a caption wide enough to move the split");

    SplitWindow settled(depth, inTabs), looped(depth, inTabs);
    const int before = settled.column->width();
    QCOMPARE(looped.column->width(), before);

    settled.label->setText(wide);
    ::settleLayouts(settled.label);
    const QList<int> widths = {settled.column->width(), settled.side->width(),
                               settled.label->width()};

    looped.label->setText(wide);
    SplitWindow::idle();
    QVERIFY(looped.column->width() > before);
    QCOMPARE(widths,
             QList<int>({looped.column->width(), looped.side->width(), looped.label->width()}));
}

QTEST_MAIN(TestTextBoxes)
#include "tst_textboxes.moc"
