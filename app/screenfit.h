#ifndef CIPHERBENCH_APP_SCREENFIT_H
#define CIPHERBENCH_APP_SCREENFIT_H

#include <QMargins>
#include <QObject>
#include <QPoint>
#include <QProxyStyle>
#include <QRect>
#include <QSize>

#include <functional>

class QComboBox;
class QLineEdit;
class QTextEdit;

// What keeps the window and its pages whole at any display scale. The form's
// sizes are logical pixels, but text is measured in the fonts of the scale in
// use, which round differently at 125 % than at 100 %; so where a text's room
// was only ever right for one font's metrics, it is taken from the text.

// A combo box works out its least width once and keeps it; the form's combos
// do so before their items have texts, which leaves them a least width that
// shows none. This makes it that of the widest item again.
void refreshComboMinimum(QComboBox *combo);

// The least width at which `edit` shows `text` whole.
int lineEditWidthFor(const QLineEdit *edit, const QString &text);

// Keeps a borderless note as high as its text needs at its present width,
// never lower than the height the form caps it at: where the cap holds the
// text (the font it was made for), nothing changes. Only a note on show is
// measured, since one not yet laid out has no width of its own; `changed`
// runs whenever the note's height changes.
class NoteHeight : public QObject
{
public:
    NoteHeight(QTextEdit *note, std::function<void()> changed);

    // The height `note` needs to show all of its text at its present width.
    static int neededHeight(const QTextEdit *note);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void update();
    QTextEdit *note;
    std::function<void()> changed;
    int formCap;
};

// The size a fixed-size window designed at `designed` takes in the work
// area `area`, its frame adding `frame`: the designed size where it fits,
// otherwise what the area leaves, but never less than `least`, the size its
// layout needs to show everything whole.
QSize fittedWindowSize(QSize designed, QSize least, QRect area, QMargins frame);

// Where a window whose frame is `frame` goes so that it lies in `area`:
// where it is, if it does already; else moved in as far as it must be, its
// title bar (the frame's top left) kept inside when the window is larger
// than the area.
QPoint reachableFramePosition(QRect frame, QRect area);

// Frames with every side at any display scale. At 125 % or 175 % a widget
// may start or end between two device pixels. Qt paints it into the pixels
// of its rectangle rounded, and a text box's viewport into its own, one
// logical pixel inside; the style's one-pixel frame lines, drawn at their
// scaled positions, then fall outside the widget or under the viewport, and
// sides of the frame are missing, which ones depending on where the box
// lies. This style draws the frames of text boxes and line edits as the
// style it wraps draws them at 100 % and scales that picture, pixel for
// pixel, onto the device pixels Qt gives the widget: every line keeps a
// pixel, the outermost ones too, which the viewport leaves free. At whole
// scales it draws as the style it wraps. Qt 6.8 still paints this way: without
// this style, Fusion loses frame sides at 125 %, 150 % and 175 % there too.
class WholeFrameStyle : public QProxyStyle
{
public:
    using QProxyStyle::QProxyStyle;
    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget = nullptr) const override;
};

// Wraps the application's style, whichever the platform chose, in a
// WholeFrameStyle.
void useWholeFrames();

#endif
