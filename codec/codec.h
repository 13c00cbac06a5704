#ifndef CIPHERBENCH_CODEC_CODEC_H
#define CIPHERBENCH_CODEC_CODEC_H

// Conversions shared by every page: bytes <-> upper-case hex, Base64,
// the hex and Base64 validators, and the routines that re-render a result
// box when its code combo changes. Text and bytes meet as UTF-8 only.

#include <QByteArray>
#include <QChar>
#include <QString>
#include <QStringConverter>

#include <cstddef>

// Bytes as two-digit upper-case groups in `radix`; with `spaced`, one
// `separator` between neighbouring bytes, never leading or trailing.
QString bytesToHexStr(const QByteArray &bytes, int radix = 16, bool spaced = true,
                      QChar separator = QLatin1Char(' '));

// Whitespace removed, then cut into groups of `groupSize` joined by `separator`.
QString groupHexStr(const QString &text, int groupSize = 2, QChar separator = QLatin1Char(' '));

// One byte per `separator`-delimited group; empty when any group is invalid.
QByteArray hexStrToBytes(const QString &text, int radix = 16, QChar separator = QLatin1Char(' '));

// The one way hexadecimal text is read: groupHexStr(text, 2, ' ') then
// hexStrToBytes(..., 16, ' ').
QByteArray readHex(const QString &text);

// Writes 4 * ceil(len / 3) Base64 characters and a terminating zero to `out`,
// which must hold that many bytes plus one; returns `out`.
char *base64Encode(const char *in, char *out, int len);
// Bytes needed by base64Encode for `len` input bytes, terminator included.
int base64EncodedSize(int len);

// Decodes zero-terminated Base64 text into `out`, which holds `capacity`
// bytes; returns the bytes written (no terminator). A text needs 3 bytes for
// every group of four characters begun; one that needs more than `capacity`,
// or more than an int counts, is refused: -1, and nothing is written.
int base64Decode(const char *in, char *out, std::size_t capacity);
// Bytes base64Decode needs for a text of `textLen` characters; -1 beyond what
// an int counts, which no working buffer is given for.
int base64DecodedCapacity(qsizetype textLen);

bool isHexStr(const QString &text);
bool isBase64Str(const QString &text);

// What hex text may hold: a hex digit of either case, or whitespace as
// QChar::isSpace sees it (the validators and the hex reading see it so).
bool isHexDigitOrSpace(QChar c);
// The text without its whitespace (QChar::isSpace).
QString removeWhitespace(const QString &text);
// The bytes without ASCII whitespace (space, tab, line feed, vertical tab,
// form feed, carriage return); every other byte, 0x85 and 0xA0 included, stays.
QByteArray removeAsciiWhitespace(const QByteArray &bytes);

// Cores of the re-render routines: `current` is the box's plain text, `comboText`
// the combo's new text. They return the count to display and put the new box
// text in `*replacement`; false only when a working buffer could not be had
// (the debug line is written and the box must be left as it is).
bool renderHexBase64(const QString &current, const QString &comboText, QString *replacement,
                     int *count);
bool renderStringHex(const QString &current, const QString &comboText, QString *replacement,
                     int *count);

// Re-render a read-only output box (AES and DES pages) between hex and Base64.
// A template so that this library needs only QtCore; callers pass a QTextEdit*.
template <class TextBox>
int switchHexBase64(TextBox *box, const QString &comboText)
{
    QString text;
    int count = 0;
    if (!renderHexBase64(box->toPlainText(), comboText, &text, &count))
        return 0;
    box->setPlainText(text); // runs the box's text-changed slot before we return
    return count;
}

// Re-render a box between a character string and spaced hex of its UTF-8 bytes.
template <class TextBox>
int switchStringHex(TextBox *box, const QString &comboText)
{
    QString text;
    int count = 0;
    if (!renderStringHex(box->toPlainText(), comboText, &text, &count))
        return 0;
    box->setPlainText(text);
    return count;
}

// The encoding the DES page turns its texts into bytes with, through a
// QStringEncoder: UTF-8. An encoding rather than a codec object, which Qt 6
// no longer has; the name is kept from the codec it once returned.
QStringConverter::Encoding utf8Codec();

#endif
