#ifndef CIPHERBENCH_APP_TEXTBOXES_H
#define CIPHERBENCH_APP_TEXTBOXES_H

#include <QtGlobal>

#include <functional>

class QTextEdit;

// What the pages' text boxes share: quick layout of long runs, the guard of
// hex input, and the switch of an input box between string and hex.

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

// The input-code switch of the DES, Base64 and hash pages. Towards the hex
// form the box's text is replaced by spaced upper-case hex: of the bytes it
// already reads to when it is hex, else of its UTF-8 bytes (the replacement
// runs the box's text-changed handler before this returns). Towards the string
// form the text stays. Returns the byte count for the box's counter row.
qsizetype switchInputCode(QTextEdit *box, bool toHex);

#endif
