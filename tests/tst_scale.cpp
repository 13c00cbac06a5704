// Every page whole at the display scales users run, 100 % to 200 %, and the
// window reachable on a screen too small for it.
//
// Qt reads the scale once, when the application starts, so each scale is a
// run of this program of its own: everyScale() starts one per scale (on an
// offscreen screen of the size given), which runs pagesWhole() and nothing
// else; pagesWhole() on its own checks the scale this process runs at, which
// is how the Windows check runs it at the display scale Windows sets.
#include "app/mainwindow.h"
#include "app/screenfit.h"
#include "support/pump.h"
#include "support/testfiles.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QComboBox>
#include <QHash>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProcess>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QStyleHints>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QStyleOptionFrame>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTextEdit>
#include <QTreeWidget>
#include <QWindow>

#include <cmath>

namespace {

// The smallest room a text box may be left: three lines of its font, and
// twenty characters across.
constexpr int minimumBoxLines = 3;
constexpr int minimumBoxChars = 20;

QString nameOf(const QWidget *w)
{
    return w->objectName().isEmpty()
               ? QStringLiteral("%1 in %2")
                     .arg(QLatin1String(w->metaObject()->className()), nameOf(w->parentWidget()))
               : w->objectName();
}

QString rectText(const QRect &r)
{
    return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

// What of `root` and its descendants is not whole: a widget outside its
// parent, a text wider or taller than the room it is drawn in, a combo's
// current item cut, a text box left too small to use.
QStringList problemsIn(QWidget *root)
{
    QStringList out;
    QList<QWidget *> widgets = root->findChildren<QWidget *>();
    widgets.prepend(root);
    for (QWidget *w : std::as_const(widgets)) {
        if (w->isWindow() || !w->isVisible())
            continue;
        const QWidget *parent = w->parentWidget();
        if (parent && !parent->rect().contains(w->geometry()))
            out << QStringLiteral("%1 (%2) reaches outside %3 (%4)")
                       .arg(nameOf(w), rectText(w->geometry()), nameOf(parent),
                            rectText(parent->rect()));

        const QFontMetrics fm = w->fontMetrics();
        if (auto *label = qobject_cast<QLabel *>(w)) {
            if (label->text().isEmpty() || label->textFormat() == Qt::RichText ||
                (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(label->text())))
                continue;
            const QRect room = label->contentsRect().marginsRemoved(
                QMargins(label->margin(), label->margin(), label->margin(), label->margin()));
            const int flags = int(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0);
            const QRect need = fm.boundingRect(room, flags, label->text());
            if (need.width() > room.width() || need.height() > room.height())
                out << QStringLiteral("label %1 \"%2\" needs %3x%4, has %5x%6")
                           .arg(nameOf(label), label->text())
                           .arg(need.width())
                           .arg(need.height())
                           .arg(room.width())
                           .arg(room.height());
        } else if (auto *combo = qobject_cast<QComboBox *>(w)) {
            QStyleOptionComboBox option;
            option.initFrom(combo);
            option.editable = combo->isEditable();
            option.currentText = combo->currentText();
            const QRect field = combo->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                               QStyle::SC_ComboBoxEditField, combo);
            const int need = fm.horizontalAdvance(combo->currentText());
            if (need > field.width())
                out << QStringLiteral("combo %1 shows \"%2\" (%3 wide) in %4")
                           .arg(nameOf(combo), combo->currentText())
                           .arg(need)
                           .arg(field.width());
        } else if (auto *button = qobject_cast<QAbstractButton *>(w)) {
            QStyleOptionButton option;
            option.initFrom(button);
            const bool radio = qobject_cast<QRadioButton *>(button) != nullptr;
            const QRect room = button->style()->subElementRect(
                radio ? QStyle::SE_RadioButtonContents : QStyle::SE_PushButtonContents, &option,
                button);
            const QRect need = fm.boundingRect(room, Qt::AlignCenter, button->text());
            if (need.width() > room.width() || need.height() > room.height())
                out << QStringLiteral("button %1 \"%2\" needs %3x%4, has %5x%6")
                           .arg(nameOf(button), button->text().replace(QLatin1Char('\n'), u' '))
                           .arg(need.width())
                           .arg(need.height())
                           .arg(room.width())
                           .arg(room.height());
        } else if (auto *edit = qobject_cast<QLineEdit *>(w)) {
            QStyleOptionFrame option;
            option.initFrom(edit);
            option.lineWidth =
                edit->hasFrame()
                    ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit)
                    : 0;
            // Qt keeps two pixels clear on either side of the text.
            const int room = edit->style()
                                 ->subElementRect(QStyle::SE_LineEditContents, &option, edit)
                                 .marginsRemoved(edit->textMargins())
                                 .width() -
                             2 * 2;
            const int need = fm.horizontalAdvance(edit->text());
            if (need > room)
                out << QStringLiteral("line edit %1 shows \"%2\" (%3 wide) in %4")
                           .arg(nameOf(edit), edit->text())
                           .arg(need)
                           .arg(room);
        } else if (auto *box = qobject_cast<QTextEdit *>(w)) {
            const QSize view = box->viewport()->size();
            if (qobject_cast<QTextBrowser *>(box)) {
                // A note: read whole, never scrolled.
                const int need = int(std::ceil(box->document()->size().height()));
                if (need > view.height() || box->verticalScrollBar()->isVisible())
                    out << QStringLiteral("note %1 needs %2 high, shows %3")
                               .arg(nameOf(box))
                               .arg(need)
                               .arg(view.height());
            } else if (view.height() < minimumBoxLines * fm.lineSpacing() ||
                       view.width() < minimumBoxChars * fm.averageCharWidth()) {
                out << QStringLiteral("text box %1 is left %2x%3")
                           .arg(nameOf(box))
                           .arg(view.width())
                           .arg(view.height());
            }
        }
    }
    return out;
}

// Each step from `page` up to its window lies inside the one above it.
QStringList ancestorsOutside(QWidget *page)
{
    QStringList out;
    for (QWidget *w = page; w && !w->isWindow(); w = w->parentWidget()) {
        const QWidget *parent = w->parentWidget();
        if (!parent->rect().contains(w->geometry()))
            out << QStringLiteral("%1 (%2) reaches outside %3 (%4)")
                       .arg(nameOf(w), rectText(w->geometry()), nameOf(parent),
                            rectText(parent->rect()));
    }
    return out;
}

// The device pixels Qt paints a widget into in its window's picture: its
// edges, each rounded.
QRect devicePixels(const QWidget *w, const QWidget *window, qreal dpr)
{
    const QRectF device(QPointF(w->mapTo(window, QPoint(0, 0))) * dpr, QSizeF(w->size()) * dpr);
    return QRect(QPoint(qRound(device.left()), qRound(device.top())),
                 QPoint(qRound(device.right()) - 1, qRound(device.bottom()) - 1));
}

bool near(QRgb a, QRgb b)
{
    return qAbs(qRed(a) - qRed(b)) <= 24 && qAbs(qGreen(a) - qGreen(b)) <= 24 &&
           qAbs(qBlue(a) - qBlue(b)) <= 24;
}

// The sides of framed text boxes and line edits that the window does not
// show: in the middle of each side, the outermost line of the frame, against
// the same box drawn at 100 %, where every line of its frame falls on a
// pixel. The line is the first pixel in from the edge that the style paints
// whole: Windows 10's style and Fusion draw it on the edge, Windows 11's a
// pixel in, beside a margin it leaves clear.
QStringList framesCut(QWidget *window)
{
    QStringList out;
    const QImage whole = window->grab().toImage();
    const qreal dpr = whole.devicePixelRatio();
    for (QWidget *w : window->findChildren<QWidget *>()) {
        const auto *box = qobject_cast<QFrame *>(w);
        const auto *edit = qobject_cast<QLineEdit *>(w);
        if (!w->isVisible() || !(qobject_cast<QAbstractScrollArea *>(w) || edit) ||
            (box && box->frameShape() == QFrame::NoFrame) || (edit && !edit->hasFrame()))
            continue;
        QImage plain(w->size(), QImage::Format_ARGB32_Premultiplied);
        plain.fill(Qt::transparent);
        w->render(&plain);
        const QRect in = devicePixels(w, window, dpr);
        const QRect own = plain.rect();
        const struct
        {
            const char *side;
            QPoint there, here;
        } sides[] = {
            {"top", {in.center().x(), in.top()}, {own.center().x(), own.top()}},
            {"bottom", {in.center().x(), in.bottom()}, {own.center().x(), own.bottom()}},
            {"left", {in.left(), in.center().y()}, {own.left(), own.center().y()}},
            {"right", {in.right(), in.center().y()}, {own.right(), own.center().y()}},
        };
        for (const auto &side : sides) {
            const QPoint inward = (in.center() - side.there).x() == 0
                                      ? QPoint(0, side.there.y() < in.center().y() ? 1 : -1)
                                      : QPoint(side.there.x() < in.center().x() ? 1 : -1, 0);
            constexpr int deepestLine = 4;
            int line = 0;
            while (line < deepestLine && qAlpha(plain.pixel(side.here + line * inward)) != 255)
                ++line;
            if (line == deepestLine) {
                out << QStringLiteral("%1's %2 side has no frame line within %3 pixels")
                           .arg(nameOf(w), QLatin1String(side.side))
                           .arg(deepestLine);
                continue;
            }
            const QRgb drawn = plain.pixel(side.here + line * inward);
            // The device pixels that logical pixel covers at this scale; at
            // a whole scale a line may lie anywhere in them.
            const int first = int(std::floor(line * dpr));
            const int last = int(std::ceil((line + 1) * dpr)) - 1;
            QRgb shown = whole.pixel(side.there + first * inward);
            for (int step = first + 1; step <= last && !near(shown, drawn); ++step)
                shown = whole.pixel(side.there + step * inward);
            if (!near(shown, drawn))
                out << QStringLiteral("%1's %2 side shows #%3 where its frame is #%4")
                           .arg(nameOf(w), QLatin1String(side.side))
                           .arg(shown & 0xffffff, 6, 16, QLatin1Char('0'))
                           .arg(drawn & 0xffffff, 6, 16, QLatin1Char('0'));
        }
    }
    return out;
}

void choose(MainWindow &window, const char *entry)
{
    auto *tree = window.findChild<QTreeWidget *>(QStringLiteral("treeDefence"));
    const auto items =
        tree->findItems(QString::fromUtf8(entry), Qt::MatchExactly | Qt::MatchRecursive);
    QVERIFY(!items.isEmpty());
    tree->setCurrentItem(items.first());
}

template <typename Widget>
Widget *find(MainWindow &window, const char *name)
{
    auto *w = window.findChild<Widget *>(QLatin1String(name));
    if (!w)
        qFatal("no widget %s", name);
    return w;
}

// The pages in the states whose texts are longest: the captions of the hex
// counters, the long combo items, the other radio buttons, a load running.
enum class PageState {
    AesStart,
    AesHexEcb,
    DesStart,
    DesTripleCharString,
    Base64Start,
    Base64Hex,
    HashStart,
    HashLoading,
};

struct ScaleRun
{
    const char *tag;
    double scale;
    QSize screen; // device pixels
};

// The screens: as large as the window needs at every scale, then the
// screens of laptops that cannot hold it at theirs (the height a taskbar
// leaves), the last too small even for the window's least size.
const ScaleRun scaleRuns[] = {
    {"100 %", 1.0, {2560, 1600}},
    {"125 %", 1.25, {2560, 1600}},
    {"150 %", 1.5, {2560, 1600}},
    {"175 %", 1.75, {2560, 1600}},
    {"200 %", 2.0, {2560, 1600}},
    {"150 % on 1366x728", 1.5, {1366, 728}},
    {"175 % on 1920x1040", 1.75, {1920, 1040}},
    {"200 % on 1280x680", 2.0, {1280, 680}},
};

const struct
{
    const char *tag;
    PageState state;
} pageRows[] = {
    {"AES", PageState::AesStart},
    {"AES, hex output, ECB", PageState::AesHexEcb},
    {"DES", PageState::DesStart},
    {"DES, 3DES, string keys and input", PageState::DesTripleCharString},
    {"Base64", PageState::Base64Start},
    {"Base64, hex codes", PageState::Base64Hex},
    {"MD5/SHA1", PageState::HashStart},
    {"MD5/SHA1, a file loading", PageState::HashLoading},
};

} // namespace

Q_DECLARE_METATYPE(PageState)

class TestScale : public QObject
{
    Q_OBJECT

private slots:
    // As the program does.
    void initTestCase() { useWholeFrames(); }
    void pagesWhole_data();
    void pagesWhole();
    void everyScale_data();
    void everyScale();

private:
    // The output of the run of pagesWhole() at one of scaleRuns.
    QString runAt(const ScaleRun &run);
    QHash<QString, QString> runs;
    QTemporaryDir scratch;
};

void TestScale::pagesWhole_data()
{
    QTest::addColumn<PageState>("state");
    for (const auto &row : pageRows)
        QTest::newRow(row.tag) << row.state;
}

void TestScale::pagesWhole()
{
    QFETCH(PageState, state);
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    // Where a run is told what the system asks for, it must be what Qt took.
    const QByteArray expected = qgetenv("CIPHERBENCH_EXPECTED_SCALE");
    if (!expected.isEmpty())
        QCOMPARE(window.devicePixelRatio(), expected.toDouble());
    const QByteArray style = qgetenv("CIPHERBENCH_EXPECTED_STYLE");
    if (!style.isEmpty()) {
        const auto *proxy = qobject_cast<const QProxyStyle *>(QApplication::style());
        QVERIFY(proxy);
        QCOMPARE(proxy->baseStyle()->name(), QString::fromLatin1(style));
    }
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
    const QByteArray scheme = qgetenv("CIPHERBENCH_EXPECTED_SCHEME");
    if (!scheme.isEmpty())
        QCOMPARE(QGuiApplication::styleHints()->colorScheme() == Qt::ColorScheme::Dark,
                 scheme == "dark");
#endif
    // The palette the pages are drawn with (Windows 10's style keeps its
    // light one whatever the scheme).
    const QByteArray palette = qgetenv("CIPHERBENCH_EXPECTED_PALETTE");
    if (!palette.isEmpty())
        QCOMPARE(window.palette().color(QPalette::Base).lightness() < 128, palette == "dark");

    QTemporaryDir dir;
    const QString big = dir.filePath(QStringLiteral("big.bin"));
    switch (state) {
    case PageState::AesStart: choose(window, "AES加解密"); break;
    case PageState::AesHexEcb:
        choose(window, "AES加解密");
        find<QComboBox>(window, "cboxCModeAES")->setCurrentIndex(1);
        find<QComboBox>(window, "cboxAlgAES")->setCurrentIndex(1);
        find<QPushButton>(window, "btnEncAES")->click();
        break;
    case PageState::DesStart: choose(window, "3DES加解密"); break;
    case PageState::DesTripleCharString:
        choose(window, "3DES加解密");
        find<QRadioButton>(window, "rbtn3DES")->click();
        find<QRadioButton>(window, "rbtnKeyCharDES")->click();
        find<QComboBox>(window, "cboxInCodeDES")->setCurrentIndex(0);
        find<QPushButton>(window, "btnEncDES")->click();
        break;
    case PageState::Base64Start: choose(window, "Base64编解码"); break;
    case PageState::Base64Hex:
        choose(window, "Base64编解码");
        find<QComboBox>(window, "cboxInCodeBASE64")->setCurrentIndex(1);
        find<QComboBox>(window, "cboxOutCodeBASE64")->setCurrentIndex(1);
        find<QPushButton>(window, "btnEncBASE64")->click();
        break;
    case PageState::HashStart:
        choose(window, "MD5校验");
        find<QPushButton>(window, "btnCalcHASH")->click();
        break;
    case PageState::HashLoading:
        choose(window, "MD5校验");
        find<QRadioButton>(window, "rbtnFileHASH")->click();
        QVERIFY(makeSparse(big, qint64(1) << 32));
        window.loadFileHASH(big);
        QVERIFY(pumpUntil([&] { return find<QProgressBar>(window, "prgFileHASH")->value() > 0; }));
        break;
    }
    QApplication::processEvents();

    const auto *tabs = find<QTabWidget>(window, "tabWidget");
    QWidget *page = tabs->currentWidget();
    QStringList problems = ancestorsOutside(page) + problemsIn(page);
    // The window's own bars, beside the page.
    problems += problemsIn(window.menuBar()) + problemsIn(window.statusBar());
    for (QWidget *w : {static_cast<QWidget *>(window.menuBar()),
                       static_cast<QWidget *>(window.statusBar()), window.centralWidget()}) {
        if (!window.rect().contains(w->geometry()))
            problems << QStringLiteral("%1 (%2) reaches outside the window (%3)")
                            .arg(nameOf(w), rectText(w->geometry()), rectText(window.rect()));
    }

    problems += framesCut(&window);

    // Reachable: the title bar in the work area, and the whole window there
    // too wherever its least size allows.
    const QRect area = window.screen()->availableGeometry();
    const QRect frame = window.frameGeometry();
    if (!area.contains(frame.topLeft()))
        problems << QStringLiteral("the window's frame (%1) starts outside the work area (%2)")
                        .arg(rectText(frame), rectText(area));
    const QSize least = window.minimumSizeHint().grownBy(window.windowHandle()->frameMargins());
    if (least.width() <= area.width() && least.height() <= area.height() && !area.contains(frame))
        problems << QStringLiteral("the window (%1) could fit the work area (%2) but does not")
                        .arg(rectText(frame), rectText(area));
    if (window.width() < window.minimumSizeHint().width() ||
        window.height() < window.minimumSizeHint().height())
        problems << QStringLiteral("the window (%1) is smaller than its layout allows (%2x%3)")
                        .arg(rectText(window.geometry()))
                        .arg(window.minimumSizeHint().width())
                        .arg(window.minimumSizeHint().height());

    if (state == PageState::HashLoading)
        find<QPushButton>(window, "btnFileHASH")->click(); // stops the load
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1String("\n   "))));
}

void TestScale::everyScale_data()
{
    QTest::addColumn<int>("run");
    QTest::addColumn<QString>("page");
    for (int i = 0; i < int(std::size(scaleRuns)); ++i) {
        for (const auto &row : pageRows)
            QTest::addRow("%s, %s", scaleRuns[i].tag, row.tag) << i << QString::fromUtf8(row.tag);
    }
}

void TestScale::everyScale()
{
    QFETCH(int, run);
    QFETCH(QString, page);
    const QString output = runAt(scaleRuns[run]);
    const QString passed = QStringLiteral("PASS   : TestScale::pagesWhole(%1)").arg(page);
    if (output.contains(passed))
        return;
    // The run's report on this row: its failure and the lines after it.
    const QString failed = QStringLiteral("TestScale::pagesWhole(%1)").arg(page);
    const qsizetype at = output.indexOf(failed);
    QString report = at < 0 ? output : output.mid(at);
    const qsizetype next = report.indexOf(QLatin1String("\nPASS   :"), 1);
    const qsizetype nextFail = report.indexOf(QLatin1String("\nFAIL!  :"), 1);
    const qsizetype end =
        qMin(next < 0 ? report.size() : next, nextFail < 0 ? report.size() : nextFail);
    QFAIL(qPrintable(report.left(end)));
}

QString TestScale::runAt(const ScaleRun &run)
{
    const QString key = QString::fromUtf8(run.tag);
    if (runs.contains(key))
        return runs.value(key);

    // Named relative to the run's folder: the platform's options are split
    // at colons, which a Windows path holds.
    const QString config = QStringLiteral("screen-%1.json").arg(runs.size());
    QFile file(scratch.filePath(config));
    if (!file.open(QIODevice::WriteOnly))
        return QStringLiteral("cannot write %1").arg(config);
    file.write(QStringLiteral("{\"screens\": [{\"name\": \"screen\", \"width\": %1, \"height\": "
                              "%2, \"logicalDpi\": 96, \"logicalBaseDpi\": 96, \"dpr\": 1}]}")
                   .arg(run.screen.width())
                   .arg(run.screen.height())
                   .toUtf8());
    file.close();

    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen:configfile=") + config);
    env.insert(QStringLiteral("QT_SCALE_FACTOR"), QString::number(run.scale));
    env.insert(QStringLiteral("CIPHERBENCH_EXPECTED_SCALE"), QString::number(run.scale));
    child.setProcessEnvironment(env);
    child.setWorkingDirectory(scratch.path());
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("pagesWhole")});
    QString output;
    if (!child.waitForFinished(300000))
        output = QStringLiteral("the run at %1 did not end\n").arg(key);
    output += QString::fromUtf8(child.readAll());
    runs.insert(key, output);
    return output;
}

QTEST_MAIN(TestScale)
#include "tst_scale.moc"
