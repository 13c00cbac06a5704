#include "app/screenfit.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QLineEdit>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTextDocument>
#include <QTextEdit>

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>

void refreshComboMinimum(QComboBox *combo)
{
    // Qt drops both of its kept hints when the least contents length changes,
    // and recomputes them from the items when next asked.
    const int length = combo->minimumContentsLength();
    combo->setMinimumContentsLength(length + 1);
    combo->setMinimumContentsLength(length);
}

int lineEditWidthFor(const QLineEdit *edit, const QString &text)
{
    // As QLineEdit::sizeHint() adds up its width, with the text in place of
    // its seventeen x's: two pixels clear either side, the cursor, margins.
    const QFontMetrics fm = edit->fontMetrics();
    const QMargins textMargins = edit->textMargins();
    const QMargins contents = edit->contentsMargins();
    const int w = fm.horizontalAdvance(text) + 2 * 2 + 1 + textMargins.left() +
                  textMargins.right() + contents.left() + contents.right();
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.lineWidth = edit->hasFrame()
                           ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit)
                           : 0;
    option.midLineWidth = 0;
    option.state |= QStyle::State_Sunken;
    return edit->style()
        ->sizeFromContents(QStyle::CT_LineEdit, &option, QSize(w, edit->height()), edit)
        .width();
}

NoteHeight::NoteHeight(QTextEdit *note, std::function<void()> changed)
    : QObject(note), note(note), changed(std::move(changed)), formCap(note->maximumHeight())
{
    note->installEventFilter(this);
    update();
}

int NoteHeight::neededHeight(const QTextEdit *note)
{
    // Measured on a copy: laying out the note's own document at another
    // width would move its scroll bar.
    std::unique_ptr<QTextDocument> copy(note->document()->clone());
    copy->setTextWidth(note->contentsRect().width());
    const QMargins frame = note->contentsMargins();
    return int(std::ceil(copy->size().height())) + frame.top() + frame.bottom();
}

bool NoteHeight::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == note && (event->type() == QEvent::Resize || event->type() == QEvent::Show ||
                            event->type() == QEvent::FontChange))
        update();
    return QObject::eventFilter(watched, event);
}

void NoteHeight::update()
{
    if (!note->isVisible())
        return;
    const int needed = neededHeight(note);
    const int least = needed > formCap ? needed : 0;
    const int most = std::max(needed, formCap);
    if (least == note->minimumHeight() && most == note->maximumHeight())
        return;
    note->setMinimumHeight(least);
    note->setMaximumHeight(most);
    if (changed)
        changed();
}

QSize fittedWindowSize(QSize designed, QSize least, QRect area, QMargins frame)
{
    const QSize room = area.size().shrunkBy(frame);
    return designed.boundedTo(room).expandedTo(least);
}

QPoint reachableFramePosition(QRect frame, QRect area)
{
    const auto inside = [](int start, int length, int areaStart, int areaLength) {
        // The far edge in first, then the near one, which wins: a window
        // larger than the area keeps its title bar and its left edge in it.
        start = std::min(start, areaStart + areaLength - length);
        return std::max(start, areaStart);
    };
    return {inside(frame.left(), frame.width(), area.left(), area.width()),
            inside(frame.top(), frame.height(), area.top(), area.height())};
}

void WholeFrameStyle::drawPrimitive(PrimitiveElement element, const QStyleOption *option,
                                    QPainter *painter, const QWidget *widget) const
{
    const QTransform toDevice = painter->deviceTransform();
    const bool wholeScale = toDevice.m11() == std::floor(toDevice.m11()) &&
                            toDevice.m22() == std::floor(toDevice.m22());
    const bool framing =
        element == PE_Frame || element == PE_FrameLineEdit || element == PE_PanelLineEdit;
    if (!framing || option->rect.isEmpty() || toDevice.type() > QTransform::TxScale || wholeScale) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    // The pixels Qt paints the widget into: its edges, each rounded.
    const QRectF device = toDevice.mapRect(QRectF(option->rect));
    const QRect pixels(QPoint(qRound(device.left()), qRound(device.top())),
                       QPoint(qRound(device.right()) - 1, qRound(device.bottom()) - 1));
    QImage frame(option->rect.size(), QImage::Format_ARGB32_Premultiplied);
    frame.fill(Qt::transparent);
    {
        QPainter plain(&frame);
        plain.translate(-option->rect.topLeft());
        QProxyStyle::drawPrimitive(element, option, &plain, widget);
    }
    painter->save();
    painter->setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter->drawImage(toDevice.inverted().mapRect(QRectF(pixels)), frame);
    painter->restore();
}

void useWholeFrames()
{
    QApplication::setStyle(new WholeFrameStyle(QApplication::style()->name()));
}
