#include "app/counterrow.h"

#include "app/mainwindow.h"

#include <QAccessible>
#include <QLabel>
#include <QWidget>

CounterRow::CounterRow(QWidget *box, QLabel *caption, QLabel *number, QLabel *unit,
                       const char *stringCaption, const char *hexCaption)
    : box(box), caption(caption), number(number), unit(unit), stringCaption(stringCaption),
      hexCaption(hexCaption)
{}

void CounterRow::show(Form form, qsizetype count) const
{
    const bool hex = form == Hex && hexCaption;
    const QString captionText = MainWindow::tr(hex ? hexCaption : stringCaption);
    if (caption->text() != captionText) {
        caption->setText(captionText);
        // The box is named by its caption: screen readers that keep names
        // learn of the new one.
        QAccessibleEvent renamed(box, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&renamed);
    }
    number->setText(QString::number(count, 10));
    unit->setText(hex ? MainWindow::tr("个字节") : MainWindow::tr("位"));
    box->setAccessibleDescription(number->text() + unit->text());
}
