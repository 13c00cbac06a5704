#include "support/messageboxanswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPushButton>
#include <QTest>

MessageBoxAnswerer::MessageBoxAnswerer(QObject *parent) : QObject(parent)
{
    timer.setInterval(0);
    connect(&timer, &QTimer::timeout, this, &MessageBoxAnswerer::answer);
    timer.start();
}

MessageBoxAnswerer::~MessageBoxAnswerer() = default;

void MessageBoxAnswerer::answer()
{
    const auto widgets = QApplication::topLevelWidgets();
    for (QWidget *w : widgets) {
        auto *box = qobject_cast<QMessageBox *>(w);
        if (!box || !box->isVisible())
            continue;
        seen.append({box->windowTitle(), box->icon(), box->text()});
        QAbstractButton *ok = box->button(QMessageBox::Ok);
        if (!ok)
            ok = box->defaultButton();
        if (ok)
            ok->click();
        else
            box->done(QMessageBox::Ok);
    }
}

QList<SeenBox> MessageBoxAnswerer::take()
{
    QList<SeenBox> out;
    out.swap(seen);
    return out;
}

static QString describe(const QList<SeenBox> &boxes)
{
    QStringList parts;
    for (const SeenBox &b : boxes)
        parts << QStringLiteral("[%1|%2|%3]").arg(b.title).arg(int(b.icon)).arg(b.text);
    return parts.isEmpty() ? QStringLiteral("(none)") : parts.join(QLatin1Char(' '));
}

bool MessageBoxAnswerer::takeOnly(const QString &text)
{
    return takeOnly(SeenBox{QStringLiteral("错误提示！"), QMessageBox::Critical, text});
}

bool MessageBoxAnswerer::takeOnly(const SeenBox &expected)
{
    const QList<SeenBox> boxes = take();
    if (boxes.size() == 1 && boxes.first() == expected) {
        report.clear();
        return true;
    }
    report =
        QStringLiteral("expected one box %1, saw %2").arg(describe({expected}), describe(boxes));
    return false;
}

bool MessageBoxAnswerer::takeNone()
{
    const QList<SeenBox> boxes = take();
    if (boxes.isEmpty()) {
        report.clear();
        return true;
    }
    report = QStringLiteral("expected no box, saw %1").arg(describe(boxes));
    return false;
}

char *toString(const SeenBox &box)
{
    return QTest::toString(describe({box}));
}
