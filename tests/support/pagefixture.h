#ifndef CIPHERBENCH_TESTS_PAGEFIXTURE_H
#define CIPHERBENCH_TESTS_PAGEFIXTURE_H

#include "app/mainwindow.h"

#include <QLabel>
#include <QList>
#include <QSignalSpy>
#include <QStatusBar>
#include <QString>
#include <QStringList>
#include <QTabWidget>
#include <QVariant>

// A real window, one per test, and what every page test reads from it: the
// status bar's messages in the order they came and the counter rows under
// the boxes. A page's own fixture derives from it and names its widgets.
struct PageFixture
{
    MainWindow window;
    QStatusBar *bar = window.statusBar();
    QSignalSpy statuses{bar, &QStatusBar::messageChanged};

    template <typename Widget>
    Widget *find(const char *name) const
    {
        return window.findChild<Widget *>(QLatin1String(name));
    }
    QTabWidget *tabs() const { return find<QTabWidget>("tabWidget"); }

    QString status() const { return bar->currentMessage(); }
    QStringList statusTexts() const
    {
        QStringList out;
        for (const QList<QVariant> &args : statuses)
            out << args.at(0).toString();
        return out;
    }
    // The tag, number and unit labels of a counter row: lab<box>Tag<page>,
    // lab<box>Num<page>, lab<box>Unit<page>, e.g. box "Dec", page "AES".
    QStringList counterRow(const char *box, const char *page) const
    {
        QStringList out;
        for (const char *part : {"Tag", "Num", "Unit"}) {
            const QString name =
                QStringLiteral("lab%1%2%3")
                    .arg(QLatin1String(box), QLatin1String(part), QLatin1String(page));
            const QLabel *label = window.findChild<QLabel *>(name);
            out << (label ? label->text() : QStringLiteral("<no %1>").arg(name));
        }
        return out;
    }
};

// A counter row as the labels should read.
inline QStringList counterTexts(const char *tag, qsizetype n, const char *unit)
{
    return {QString::fromUtf8(tag), QString::number(n), QString::fromUtf8(unit)};
}

#endif
