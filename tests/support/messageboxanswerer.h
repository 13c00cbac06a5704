#ifndef CIPHERBENCH_TESTS_MESSAGEBOXANSWERER_H
#define CIPHERBENCH_TESTS_MESSAGEBOXANSWERER_H

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTimer>

// A modal message box as the answerer saw it.
struct SeenBox
{
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString text;
    bool operator==(const SeenBox &o) const
    {
        return title == o.title && icon == o.icon && text == o.text;
    }
};

// While alive, answers every modal QMessageBox that opens: records its title,
// icon and text and presses its OK (or default) button. Boxes open inside a
// nested event loop, where the answerer's timer fires.
//
//   MessageBoxAnswerer boxes;
//   QTest::mouseClick(button, Qt::LeftButton);
//   QVERIFY2(boxes.takeOnly(expectedText), qPrintable(boxes.lastReport()));
//   QVERIFY2(boxes.takeNone(), qPrintable(boxes.lastReport()));
class MessageBoxAnswerer : public QObject
{
    Q_OBJECT
public:
    explicit MessageBoxAnswerer(QObject *parent = nullptr);
    ~MessageBoxAnswerer() override;

    // Every box seen since the last take, then forgets them.
    QList<SeenBox> take();
    // Exactly one box since the last take: a critical "错误提示！" box with `text`.
    bool takeOnly(const QString &text);
    // Exactly one box with this title, icon and text.
    bool takeOnly(const SeenBox &expected);
    // No box since the last take.
    bool takeNone();
    // Why the last takeOnly/takeNone failed, for QVERIFY2.
    QString lastReport() const { return report; }

private:
    void answer();
    QTimer timer;
    QList<SeenBox> seen;
    QString report;
};

char *toString(const SeenBox &box); // for QCOMPARE

#endif
