#include "app/textboxes.h"

#include "app/errorbox.h"
#include "app/mainwindow.h"
#include "codec/codec.h"

#include <QComboBox>

#include <QCoreApplication>
#include <QEvent>
#include <QFont>
#include <QPointer>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextOption>
#include <QTimer>

// Why boxes need preparing: with the default word wrap, Qt looks for a word
// boundary before breaking a line, and in a run without one (Base64, unspaced
// hex) it measures the rest of the run again for every line, so laying out a
// run costs time quadratic in its length: seconds for a few hundred kilobytes,
// minutes for a megabyte. Breaking anywhere lays out the same run in linear
// time. Prose keeps the friendlier word wrap; a box switches to breaking
// anywhere once it holds a long run, and back when it is nearly emptied.
//
// The switch must happen before Qt lays out the new text. QTextDocument
// announces a change (contentsChange) before its layout handles it, so that is
// where the decision is made.

namespace {

// A run of this many non-whitespace characters is laid out quickly enough
// either way (well under a millisecond); longer ones switch the box.
constexpr int longRun = 1024;

bool hasLongRunNear(const QTextDocument *doc, int from, int to)
{
    const int end = doc->characterCount();
    from = qMax(0, from - longRun);
    to = qMin(end, to + longRun);
    int run = 0;
    for (QTextBlock block = doc->findBlock(from); block.isValid() && block.position() < to;
         block = block.next()) {
        const int start = block.position();
        const QString text = block.text();
        const int first = qMax(from, start) - start;
        const int last = qMin<int>(to - start, text.size());
        const QChar *chars = text.constData();
        for (int i = first; i < last; ++i) {
            if (chars[i].isSpace()) {
                run = 0;
            } else if (++run >= longRun) {
                return true;
            }
        }
        run = 0; // the block separator breaks the run
    }
    return false;
}

void setBreakAnywhere(QTextEdit *box, bool anywhere)
{
    const QTextOption::WrapMode mode =
        anywhere ? QTextOption::WrapAnywhere : QTextOption::WrapAtWordBoundaryOrAnywhere;
    if (box->wordWrapMode() != mode)
        box->setWordWrapMode(mode);
}

} // namespace

void prepareTextBox(QTextEdit *box)
{
    // Kerning and ligatures mean nothing for Base64 and hex, and skipping them
    // halves the time Qt takes to lay out long texts. Scripts that need
    // shaping to be legible are shaped regardless of this strategy.
    QFont font = box->font();
    font.setStyleStrategy(QFont::PreferNoShaping);
    box->setFont(font);
    box->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);

    QTextDocument *doc = box->document();
    QObject::connect(doc, &QTextDocument::contentsChange, box, [box, doc](int pos, int, int added) {
        if (box->wordWrapMode() == QTextOption::WrapAnywhere) {
            // Going back is cheap only for a short text, and setPlainText
            // empties the box just before it fills it again: decide once the
            // change is complete.
            if (doc->characterCount() <= longRun) {
                QPointer<QTextEdit> guarded(box);
                QTimer::singleShot(0, box, [guarded] {
                    if (guarded && guarded->document()->characterCount() <= longRun)
                        setBreakAnywhere(guarded, false);
                });
            }
            return;
        }
        if (hasLongRunNear(doc, pos, pos + added))
            setBreakAnywhere(box, true);
    });
}

namespace {

Qt::ScrollBarPolicy fixedPolicy(const QScrollBar *bar)
{
    return bar->isVisible() ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff;
}

} // namespace

LayoutHold::LayoutHold(QTextEdit *box)
    : box(box), vertical(box->verticalScrollBarPolicy()),
      horizontal(box->horizontalScrollBarPolicy())
{
    box->setVerticalScrollBarPolicy(fixedPolicy(box->verticalScrollBar()));
    box->setHorizontalScrollBarPolicy(fixedPolicy(box->horizontalScrollBar()));
    box->viewport()->installEventFilter(this);
    box->document()->setPageSize(QSizeF(0, 0));
}

LayoutHold::~LayoutHold()
{
    box->setVerticalScrollBarPolicy(vertical);
    box->setHorizontalScrollBarPolicy(horizontal);
    box->viewport()->removeEventFilter(this);
    box->setLineWrapColumnOrWidth(box->lineWrapColumnOrWidth()); // lays out again
}

bool LayoutHold::eventFilter(QObject *, QEvent *event)
{
    return event->type() == QEvent::Resize;
}

void settleLayouts(QWidget *widget)
{
    for (QWidget *level = widget; level; level = level->parentWidget())
        QCoreApplication::sendPostedEvents(level, QEvent::LayoutRequest);
}

void guardHexBox(QTextEdit *box, bool *errorShown, const std::function<void()> &showMessage)
{
    const QString text = box->toPlainText();
    qsizetype bad = 0;
    for (QChar c : text) {
        if (!isHexDigitOrSpace(c))
            ++bad;
    }
    if (bad == 0)
        return; // valid hex, or nothing but whitespace

    if (!*errorShown) {
        *errorShown = true;
        showMessage();
    }

    // Walk back from the cursor as repeated deletions of the previous
    // character would, stopping once no bad character is left.
    QTextCursor cursor = box->textCursor();
    const int end = cursor.position();
    int start = end;
    while (start > 0 && bad > 0) {
        const QChar c = text.at(start - 1);
        if (!isHexDigitOrSpace(c))
            --bad;
        --start;
    }
    if (start == end)
        return; // nothing before the cursor: the text stays as it is

    cursor.setPosition(start);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    box->setTextCursor(cursor);
}

qsizetype switchInputCode(QTextEdit *box, bool toHex)
{
    const QString text = box->toPlainText();
    if (!toHex)
        return text.toUtf8().size();
    const QByteArray bytes = isHexStr(text) ? readHex(text) : text.toUtf8();
    box->setPlainText(bytesToHexStr(bytes, 16, true, QLatin1Char(' ')));
    return bytes.size();
}

void fillCodeCombo(QComboBox *combo, const char *first, const char *second, int index,
                   bool *hexForm)
{
    combo->clear();
    combo->addItem(MainWindow::tr(first));
    combo->addItem(MainWindow::tr(second));
    combo->setCurrentIndex(index);
    *hexForm = index == 1;
}

InputBox::InputBox(QWidget *window, QTextEdit *box, QComboBox *code, const CounterRow &row,
                   bool *hex, bool *errorShown, Encoder utf8)
    : window(window), box(box), code(code), row(row), hex(hex), errorShown(errorShown), utf8(utf8)
{}

void InputBox::fillCodes(bool hexForm)
{
    fillCodeCombo(code, QT_TRANSLATE_NOOP("MainWindow", "字符串"),
                  QT_TRANSLATE_NOOP("MainWindow", "十六进制"), hexForm ? 1 : 0, hex);
}

void InputBox::textChanged()
{
    if (*hex) {
        QWidget *parent = window;
        guardHexBox(box, errorShown, [parent] { showErrorBox(parent, ErrorText::InvalidHex); });
    }
    *errorShown = false;
    const QString text = box->toPlainText();
    if (*hex)
        row.show(CounterRow::Hex, readHex(text).size());
    else
        row.show(CounterRow::String, utf8(text).size());
}

void InputBox::codeChanged(const QString &codeText)
{
    const bool toHex = !codeText.contains(QStringLiteral("字符串"));
    const qsizetype count = switchInputCode(box, toHex);
    row.show(toHex ? CounterRow::Hex : CounterRow::String, count);
    *hex = toHex;
}

QByteArray InputBox::bytes(const QString &text) const
{
    return *hex ? readHex(text) : utf8(text);
}
