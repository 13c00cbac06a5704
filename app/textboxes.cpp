#include "app/textboxes.h"

#include "codec/codec.h"

#include <QTextCursor>
#include <QTextEdit>

void prepareTextBox(QTextEdit *box)
{
    Q_UNUSED(box);
}

static bool isHexDigit(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F');
}

void guardHexBox(QTextEdit *box, bool *errorShown, const std::function<void()> &showMessage)
{
    const QString text = box->toPlainText();
    qsizetype bad = 0;
    for (QChar c : text) {
        if (!c.isSpace() && !isHexDigit(c))
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
        if (!c.isSpace() && !isHexDigit(c))
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
