#ifndef CIPHERBENCH_APP_TEXTBOXES_H
#define CIPHERBENCH_APP_TEXTBOXES_H

#include "app/counterrow.h"

#include <QObject>
#include <QtGlobal>

#include <functional>

class QByteArray;
class QComboBox;
class QString;
class QTextEdit;
class QWidget;

// What the pages' text boxes share: quick layout of long runs, a result laid
// out once when it replaces another, the guard of hex input, and the switch of
// an input box between string and hex.

// Set up a box so that long unbroken runs (Base64, unspaced hex) are laid out
// in time linear in their length; texts, signals and counters are unchanged.
void prepareTextBox(QTextEdit *box);

// The guard of an input box whose input code is hexadecimal. When the box's
// text, whitespace ignored, is not empty and holds a character that is not a
// hex digit: `showMessage` runs unless `*errorShown` is already set (then it
// is set), and the characters before the cursor are removed back to the point
// where the text is valid hex or nothing is left before the cursor.
//
// The removal is one edit, so the box's text-changed handler runs once more,
// nested, and finds the text valid (or nothing left to remove); a paste of
// any number of bad characters costs time linear in the text, not one nested
// handler run per character.
void guardHexBox(QTextEdit *box, bool *errorShown, const std::function<void()> &showMessage);

// Keeps a box's text unlaid while it lives; the box then lays out what it
// holds, once, at its present width. Qt does not lay out a document whose page
// size is null, but the box sets the size again whenever its viewport changes
// width: when a scroll bar comes or goes, or the box adjusts its bars to a
// document it finds unlaid. So the bars stay as they are and resizes wait.
class LayoutHold : public QObject
{
public:
    explicit LayoutHold(QTextEdit *box);
    ~LayoutHold() override;
    LayoutHold(const LayoutHold &) = delete;
    LayoutHold &operator=(const LayoutHold &) = delete;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QTextEdit *box;
    Qt::ScrollBarPolicy vertical, horizontal;
};

// Delivers the layout requests pending on the way from `widget` up to its
// window, innermost first. Each level of layouts posts its request to the next
// one up, so a change of size hints reaches the window's layout only after
// several passes of the event loop; this takes the new geometry at once, with
// the boxes' widths final, while a LayoutHold still keeps a box unlaid.
void settleLayouts(QWidget *widget);

// The input-code switch of the DES, Base64 and hash pages. Towards the hex
// form the box's text is replaced by spaced upper-case hex: of the bytes it
// already reads to when it is hex, else of its UTF-8 bytes (the replacement
// runs the box's text-changed handler before this returns). Towards the string
// form the text stays. Returns the byte count for the box's counter row.
qsizetype switchInputCode(QTextEdit *box, bool toHex);

// Fills a code combo with the items `first` and `second` (tr() source texts),
// the second being the hex form, and selects `index`. Qt reports every step
// (the clear, the first item, the selection) to the combo's slot, which runs
// each time; `*hexForm` is set last, to whether the hex form is selected.
void fillCodeCombo(QComboBox *combo, const char *first, const char *second, int index,
                   bool *hexForm);

// The input box of the DES, Base64 and hash pages with its input-code combo
// ("字符串" or "十六进制") and its counter row. The page's flags stay the
// window's own members; the box reads and writes them through the pointers it
// is given: `hex`, the input code, and `errorShown`, set while the invalid-hex
// message of the current edit has been shown (see guardHexBox).
class InputBox
{
public:
    // How the page turns text into UTF-8 bytes.
    using Encoder = QByteArray (*)(const QString &text);

    InputBox() = default;
    InputBox(QWidget *window, QTextEdit *box, QComboBox *code, const CounterRow &row, bool *hex,
             bool *errorShown, Encoder utf8);

    // Fills the code combo ("字符串", "十六进制"), selecting the hex form or
    // the string form; the flag is set last, whatever the combo's slot left in it.
    void fillCodes(bool hexForm);
    // The box's text-changed handler: the hex guard, then the counter row.
    void textChanged();
    // The code combo's handler. Towards hex it runs the box's handler while
    // the flag still holds the old form; the row written last is the one that
    // stays.
    void codeChanged(const QString &codeText);
    // `text` as bytes in the box's input code: read as hex or UTF-8 encoded.
    QByteArray bytes(const QString &text) const;

private:
    QWidget *window = nullptr;
    QTextEdit *box = nullptr;
    QComboBox *code = nullptr;
    CounterRow row;
    bool *hex = nullptr;
    bool *errorShown = nullptr;
    Encoder utf8 = nullptr;
};

#endif
