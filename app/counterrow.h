#ifndef CIPHERBENCH_APP_COUNTERROW_H
#define CIPHERBENCH_APP_COUNTERROW_H

#include <QtGlobal>

class QLabel;
class QWidget;

// The row under a text box that says what the box holds: a caption, a number
// and a unit. In the string form the number counts UTF-8 bytes in "位", in
// the hex form bytes in "个字节"; each form has its own caption. Captions and
// units pass through MainWindow's tr().
//
// A screen reader takes the box's name from the caption, its buddy; the
// number and unit reach it as the box's accessible description, which the
// row keeps current.
class CounterRow
{
public:
    enum Form { String, Hex };

    CounterRow() = default;
    // `stringCaption` and `hexCaption` are tr() source texts; a row that is
    // never shown in the hex form has no hex caption.
    CounterRow(QWidget *box, QLabel *caption, QLabel *number, QLabel *unit,
               const char *stringCaption, const char *hexCaption = nullptr);

    void show(Form form, qsizetype count) const;

private:
    QWidget *box = nullptr;
    QLabel *caption = nullptr;
    QLabel *number = nullptr;
    QLabel *unit = nullptr;
    const char *stringCaption = nullptr;
    const char *hexCaption = nullptr;
};

#endif
