// The hash page in a real window: text mode, the input code and its guard,
// and file mode with the worker reading real files.

#include "app/filedetails.h"
#include "app/mainwindow.h"
#include "app/readfile.h"
#include "support/debugcapture.h"
#include "support/digestreference.h"
#include "support/messageboxanswerer.h"
#include "support/pagefixture.h"
#include "support/pump.h"
#include "support/testfiles.h"
#include "support/whenmodal.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMimeData>
#include <QMimeDatabase>
#include <QPointer>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSemaphore>
#include <QSettings>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <QtTest>

#include <memory>

namespace {

const QString md5Description = QStringLiteral(
    "MD5即Message-Digest Algorithm 5（信息-摘要算法5），用于确保信息传输完整一致。是计算机广泛使用的杂凑算法之一（又译摘要算法、哈希算法），主流编程语言普遍已有MD5实现。");
const QString sha1Description = QStringLiteral(
    "安全哈希算法（Secure Hash Algorithm）主要适用于数字签名标准 （Digital Signature Standard DSS）里面定义的数字签名算法（Digital Signature Algorithm DSA）。");
const QString invalidHex =
    QStringLiteral("输入数据不是有效的十六进制！\n有效十六进制范围：0~9、a~f、A~F。");
const QString noText = QStringLiteral("没有可校验的数据！\n请输入后，继续操作。");
const QString noFile = QStringLiteral("没有可校验的数据！\n请选择文件后，继续操作。");
const QString chooseFile = QStringLiteral("选择文件");
const QString stopLoading = QStringLiteral("停止加载");

// A window, and the hash page's widgets in it, found by object name.
struct Page : PageFixture
{
    void choose(const QString &entry)
    {
        auto *tree = find<QTreeWidget>("treeDefence");
        const auto items = tree->findItems(entry, Qt::MatchExactly | Qt::MatchRecursive);
        QVERIFY(items.size() == 1);
        tree->setCurrentItem(items.first());
    }

    QString counter() const { return counterRow("Enc", "HASH").join(QString()); }
    bool idle() const
    {
        return window.fileHashWorker()->isFinished() && file->text() == chooseFile;
    }
    // Until the load has ended and the window has taken its result.
    bool waitIdle(int limitMs = 120000)
    {
        return pumpUntil([this] { return idle(); }, limitMs);
    }

    QTextEdit *input = find<QTextEdit>("txtEncHASH");
    QTextEdit *result = find<QTextEdit>("txtDecHASH");
    QComboBox *code = find<QComboBox>("cboxInTxtHASH");
    QPushButton *calc = find<QPushButton>("btnCalcHASH");
    QPushButton *file = find<QPushButton>("btnFileHASH");
    QProgressBar *progress = find<QProgressBar>("prgFileHASH");
    QRadioButton *textMode = find<QRadioButton>("rbtnTxtHASH");
    QRadioButton *fileMode = find<QRadioButton>("rbtnFileHASH");
};

// The result box's text for a digest, from its upper-case hex.
QString md5Lines(const QByteArray &digest)
{
    const QString hex = QString::fromLatin1(digest.toHex().toUpper());
    return QStringLiteral("16位 MD5：") + hex.mid(8, 16) + QStringLiteral("\n32位 MD5：") + hex;
}
QString sha1Line(const QByteArray &digest)
{
    return QStringLiteral("SHA1：") + QString::fromLatin1(digest.toHex().toUpper());
}

// The file's details as the page writes them: the path in the platform's
// form, the time as Qt 4's text date in the system locale.
QString information(const QString &path)
{
    const QFileInfo info(path);
    const QString format = qt4DayBeforeMonth() ? QStringLiteral("ddd d. MMM HH:mm:ss yyyy")
                                               : QStringLiteral("ddd MMM d HH:mm:ss yyyy");
    return QStringLiteral("文件：") + QDir::toNativeSeparators(path) + QStringLiteral("\n大小：") +
           QString::number(info.size()) + QStringLiteral(" 字节\n修改时间：") +
           QLocale::system().toString(info.lastModified(), format) + QStringLiteral("\n");
}

// A time whose day of the month has one digit, so Qt 4's unpadded day shows.
const QDateTime modified(QDate(2026, 12, 8), QTime(14, 11, 34));

// A drag from a file manager carrying `urls`, entered and then dropped on
// `target` as Qt delivers them (to the nearest widget that takes drops);
// `beforeDrop` runs in between. Returns whether the drag was accepted when it
// entered.
bool dragAndDrop(QWidget *target, const QList<QUrl> &urls,
                 const std::function<void()> &beforeDrop = {})
{
    QMimeData data;
    data.setUrls(urls);
    const QPoint point = target->rect().center();
    QDragEnterEvent enter(point, Qt::CopyAction | Qt::LinkAction, &data, Qt::LeftButton,
                          Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (beforeDrop)
        beforeDrop();
    QDropEvent drop(QPointF(point), Qt::CopyAction | Qt::LinkAction, &data, Qt::LeftButton,
                    Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    return enter.isAccepted();
}

} // namespace

class TestHashPage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void startUpState();
    void textDigests_data();
    void textDigests();
    void emptyInputLeavesResult();
    void inputCodeSwitch_data();
    void inputCodeSwitch();
    void hexGuard_data();
    void hexGuard();
    void treeDescriptionsWithHexCode();
    void modeSwitchKeepsEverything();

    void fileDialogCancelled();
    void fileDialogChoosesFile();
    void qt4TextDates_data();
    void qt4TextDates();
    void dateOrderOfThePlatform();
    void modificationTimeInSystemLocale_data();
    void modificationTimeInSystemLocale();
    void modificationTimeShown();
    void fileDialogKeepsOnlyQtSettings();
    void loadedDigestShownOnce_data();
    void loadedDigestShownOnce();
    void digestKeepsItsOwnLabel();
    void secondLoadReplacesFirst();
    void unopenableFile_data();
    void unopenableFile();
    void stopMidLoad();
    void staleCallsOfEndedLoadAreDropped();
    void fileTruncatedDuringLoad();
    void closingDuringLoad();
    void blockedReadLeftBehind_data();
    void blockedReadLeftBehind();
    void fileBeyond2GiB();

    void dialogDescribesEntriesByName_data();
    void dialogDescribesEntriesByName();

    void droppedFileLoads_data();
    void droppedFileLoads();
    void refusedDrops_data();
    void refusedDrops();
    void dropDuringLoadRefused();
};

void TestHashPage::startUpState()
{
    DebugCapture capture;
    Page page;
    QVERIFY2(capture.warnings().isEmpty(), qPrintable(capture.warnings().join('\n')));

    QCOMPARE(page.counter(), QStringLiteral("待校验字符串：229位"));
    QVERIFY(page.textMode->isChecked());
    QVERIFY(!page.input->isReadOnly());
    QVERIFY(page.result->isReadOnly());
    QVERIFY(page.code->isEnabled());
    QVERIFY(!page.file->isEnabled());
    QVERIFY(!page.progress->isEnabled());
    QCOMPARE(page.code->count(), 2);
    QCOMPARE(page.code->itemText(0), QStringLiteral("字符串"));
    QCOMPARE(page.code->itemText(1), QStringLiteral("十六进制"));
    QCOMPARE(page.code->currentIndex(), 0);
    QCOMPARE(page.file->text(), chooseFile);
    QVERIFY(page.window.fileHashWorker() != nullptr);
    QVERIFY(!page.window.fileHashWorker()->isRunning());
}

void TestHashPage::textDigests_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("status");

    const QString md5Abc =
        QStringLiteral("16位 MD5：3CD24FB0D6963F7D\n32位 MD5：900150983CD24FB0D6963F7D28E17F72");
    const QString sha1Abc = QStringLiteral("SHA1：A9993E364706816ABA3E25717850C26C9CD0D89D");
    const QString md5Empty =
        QStringLiteral("16位 MD5：8F00B204E9800998\n32位 MD5：D41D8CD98F00B204E9800998ECF8427E");

    QTest::newRow("RFC 1321 abc") << QString() << 0 << QStringLiteral("abc") << md5Abc
                                  << QStringLiteral("MD5计算完成！");
    QTest::newRow("RFC 1321 abc, MD5 entry")
        << QStringLiteral("MD5校验") << 0 << QStringLiteral("abc") << md5Abc
        << QStringLiteral("MD5计算完成！");
    QTest::newRow("FIPS 180 abc") << QStringLiteral("SHA1加密") << 0 << QStringLiteral("abc")
                                  << sha1Abc << QStringLiteral("SHA1计算完成！");
    QTest::newRow("hex 61 62 63") << QString() << 1 << QStringLiteral("61 62 63") << md5Abc
                                  << QStringLiteral("MD5计算完成！");
    QTest::newRow("hex 61 62 63, SHA1")
        << QStringLiteral("SHA1加密") << 1 << QStringLiteral("61 62 63") << sha1Abc
        << QStringLiteral("SHA1计算完成！");
    QTest::newRow("hex unspaced lower case")
        << QString() << 1 << QStringLiteral("616263") << md5Abc << QStringLiteral("MD5计算完成！");
    QTest::newRow("hex only spaces")
        << QString() << 1 << QStringLiteral("   ") << md5Empty << QStringLiteral("MD5计算完成！");
    // Whitespace is part of a string: a lone space is not the empty message.
    QTest::newRow("string space") << QString() << 0 << QStringLiteral(" ")
                                  << md5Lines(referenceDigest(" ", QCryptographicHash::Md5))
                                  << QStringLiteral("MD5计算完成！");
    QTest::newRow("string UTF-8") << QStringLiteral("SHA1加密") << 0 << QStringLiteral("中文\n摘要")
                                  << sha1Line(referenceDigest(QStringLiteral("中文\n摘要").toUtf8(),
                                                              QCryptographicHash::Sha1))
                                  << QStringLiteral("SHA1计算完成！");
}

void TestHashPage::textDigests()
{
    QFETCH(QString, entry);
    QFETCH(int, code);
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QFETCH(QString, status);

    MessageBoxAnswerer boxes;
    Page page;
    if (!entry.isEmpty())
        page.choose(entry);
    page.code->setCurrentIndex(code);
    page.input->setPlainText(text);
    QCOMPARE(page.input->toPlainText(), text);
    page.calc->click();

    QVERIFY2(boxes.takeNone(), qPrintable(boxes.lastReport()));
    QCOMPARE(page.result->toPlainText(), expected);
    QCOMPARE(page.status(), status);
}

void TestHashPage::emptyInputLeavesResult()
{
    MessageBoxAnswerer boxes;
    Page page;
    page.input->setPlainText(QStringLiteral("abc"));
    page.calc->click();
    const QString before = page.result->toPlainText();
    QVERIFY(!before.isEmpty());

    page.input->clear();
    page.window.statusBar()->clearMessage();
    page.calc->click();
    QVERIFY2(boxes.takeOnly(noText), qPrintable(boxes.lastReport()));
    QCOMPARE(page.result->toPlainText(), before);
    QCOMPARE(page.status(), QString());
}

void TestHashPage::inputCodeSwitch_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("asHex");
    QTest::addColumn<QString>("hexCounter");
    QTest::addColumn<QString>("backCounter");

    QTest::newRow("word becomes its UTF-8 bytes")
        << QStringLiteral("hello") << QStringLiteral("68 65 6C 6C 6F")
        << QStringLiteral("待校验十六进制：5个字节") << QStringLiteral("待校验字符串：14位");
    QTest::newRow("Chinese becomes three bytes")
        << QStringLiteral("中") << QStringLiteral("E4 B8 AD")
        << QStringLiteral("待校验十六进制：3个字节") << QStringLiteral("待校验字符串：8位");
    // Text that already reads as hex is read, not encoded.
    QTest::newRow("hex letters are read as hex")
        << QStringLiteral("abc") << QStringLiteral("AB 0C")
        << QStringLiteral("待校验十六进制：2个字节") << QStringLiteral("待校验字符串：5位");
    QTest::newRow("empty") << QString() << QString() << QStringLiteral("待校验十六进制：0个字节")
                           << QStringLiteral("待校验字符串：0位");
}

void TestHashPage::inputCodeSwitch()
{
    QFETCH(QString, text);
    QFETCH(QString, asHex);
    QFETCH(QString, hexCounter);
    QFETCH(QString, backCounter);

    MessageBoxAnswerer boxes;
    Page page;
    page.input->setPlainText(text);
    page.code->setCurrentIndex(1);
    QCOMPARE(page.input->toPlainText(), asHex);
    QCOMPARE(page.counter(), hexCounter);

    // Back to the string form: the text stays hex digits, counted as characters.
    page.code->setCurrentIndex(0);
    QCOMPARE(page.input->toPlainText(), asHex);
    QCOMPARE(page.counter(), backCounter);
    QVERIFY2(boxes.takeNone(), qPrintable(boxes.lastReport()));
}

void TestHashPage::hexGuard_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("after");
    QTest::addColumn<QString>("counter");

    QTest::newRow("typed letter beyond F")
        << QString() << QStringLiteral("61 6z") << QStringLiteral("61 6")
        << QStringLiteral("待校验十六进制：2个字节");
    QTest::newRow("pasted run of bad characters")
        << QStringLiteral("61 62") << QStringLiteral(" x-y 63 ?") << QStringLiteral("61 62 ")
        << QStringLiteral("待校验十六进制：2个字节");
    QTest::newRow("valid paste") << QStringLiteral("61") << QStringLiteral(" 62 63")
                                 << QStringLiteral("61 62 63")
                                 << QStringLiteral("待校验十六进制：3个字节");
}

void TestHashPage::hexGuard()
{
    QFETCH(QString, before);
    QFETCH(QString, typed);
    QFETCH(QString, after);
    QFETCH(QString, counter);

    MessageBoxAnswerer boxes;
    Page page;
    page.input->clear();
    page.code->setCurrentIndex(1);
    page.input->setPlainText(before);
    QTextCursor cursor = page.input->textCursor();
    cursor.movePosition(QTextCursor::End);
    page.input->setTextCursor(cursor);
    QVERIFY2(boxes.takeNone(), qPrintable(boxes.lastReport()));

    if (typed.contains(QLatin1Char(' '))) {
        cursor.insertText(typed); // one edit, as a paste is
    } else {
        page.input->setFocus();
        QTest::keyClicks(page.input, typed);
    }
    const bool bad = after != before + typed;
    if (bad)
        QVERIFY2(boxes.takeOnly(invalidHex), qPrintable(boxes.lastReport()));
    else
        QVERIFY2(boxes.takeNone(), qPrintable(boxes.lastReport()));
    QCOMPARE(page.input->toPlainText(), after);
    QCOMPARE(page.counter(), counter);
}

void TestHashPage::treeDescriptionsWithHexCode()
{
    MessageBoxAnswerer boxes;
    Page page;
    page.input->setPlainText(QStringLiteral("61"));
    page.code->setCurrentIndex(1);
    QVERIFY2(boxes.takeNone(), qPrintable(boxes.lastReport()));

    // A freshly set text has its cursor at the start: nothing to delete.
    page.choose(QStringLiteral("MD5校验"));
    QVERIFY2(boxes.takeOnly(invalidHex), qPrintable(boxes.lastReport()));
    QCOMPARE(page.input->toPlainText(), md5Description);

    page.choose(QStringLiteral("SHA1加密"));
    QVERIFY2(boxes.takeOnly(invalidHex), qPrintable(boxes.lastReport()));
    QCOMPARE(page.input->toPlainText(), sha1Description);
    QCOMPARE(page.code->currentIndex(), 1);
}

void TestHashPage::modeSwitchKeepsEverything()
{
    MessageBoxAnswerer boxes;
    DebugCapture capture;
    Page page;
    page.code->setCurrentIndex(1);
    page.input->setPlainText(QStringLiteral("61 62 63"));
    page.calc->click();
    const QString result = page.result->toPlainText();
    const QString counter = page.counter();
    capture.clear();

    page.fileMode->click();
    QCOMPARE(capture.takeDebugLines(), QStringList{QStringLiteral("\"Clicked Button : 文件\"")});
    QVERIFY(page.input->isReadOnly());
    QVERIFY(!page.code->isEnabled());
    QVERIFY(page.file->isEnabled());
    QVERIFY(page.progress->isEnabled());
    QCOMPARE(page.input->toPlainText(), QStringLiteral("61 62 63"));
    QCOMPARE(page.result->toPlainText(), result);

    page.textMode->click();
    QCOMPARE(capture.takeDebugLines(), QStringList{QStringLiteral("\"Clicked Button : 文本\"")});
    QVERIFY(!page.input->isReadOnly());
    QVERIFY(page.code->isEnabled());
    QVERIFY(!page.file->isEnabled());
    QVERIFY(!page.progress->isEnabled());
    QCOMPARE(page.input->toPlainText(), QStringLiteral("61 62 63"));
    QCOMPARE(page.result->toPlainText(), result);
    QCOMPARE(page.code->currentIndex(), 1);
    QCOMPARE(page.counter(), counter);

    // The hex code still holds: the same digest once more.
    page.result->clear();
    page.calc->click();
    QCOMPARE(page.result->toPlainText(), result);
    QVERIFY2(boxes.takeNone(), qPrintable(boxes.lastReport()));
}

void TestHashPage::initTestCase()
{
    // Settings files go to a test folder instead of the user's, where the
    // platform's settings are files.
    QStandardPaths::setTestModeEnabled(true);
}

void TestHashPage::fileDialogCancelled()
{
    MessageBoxAnswerer boxes;
    Page page;
    page.fileMode->click();
    const QString input = page.input->toPlainText();
    const int value = page.progress->value();

    QString title;
    QFileDialog::FileMode mode = QFileDialog::AnyFile;
    QFileDialog::ViewMode view = QFileDialog::List;
    QString directory;
    QString directoryAsGiven;
    QWidget *parent = nullptr;
    whenModal<QFileDialog>([&](QFileDialog *dialog) {
        title = dialog->windowTitle();
        mode = dialog->fileMode();
        view = dialog->viewMode();
        directory = dialog->directory().absolutePath();
        directoryAsGiven = dialog->directory().path();
        parent = dialog->parentWidget();
        dialog->reject();
    });
    page.file->click();

    QCOMPARE(title, QStringLiteral("打开文件"));
    QCOMPARE(mode, QFileDialog::ExistingFile);
    QCOMPARE(view, QFileDialog::Detail);
    QCOMPARE(directory, QDir::current().absolutePath());
    // A native dialog is handed the path as given, and opens a relative one
    // somewhere else.
    QVERIFY2(QDir::isAbsolutePath(directoryAsGiven), qPrintable(directoryAsGiven));
    QCOMPARE(directoryAsGiven, QDir::currentPath());
    QCOMPARE(parent, static_cast<QWidget *>(&page.window));

    QCOMPARE(page.file->text(), chooseFile);
    QCOMPARE(page.progress->value(), value);
    QCOMPARE(page.input->toPlainText(), input);
    QVERIFY(!page.window.fileHashWorker()->isRunning());
    page.calc->click();
    QVERIFY2(boxes.takeOnly(noFile), qPrintable(boxes.lastReport()));
}

void TestHashPage::fileDialogChoosesFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray content = randomBytes(50000, 7);
    const QString path = writeFile(dir, QStringLiteral("chosen.bin"), content);
    QVERIFY(!path.isEmpty());

    MessageBoxAnswerer boxes;
    Page page;
    page.fileMode->click();
    whenModal<QFileDialog>([&](QFileDialog *dialog) {
        dialog->selectFile(path);
        static_cast<QDialog *>(dialog)->accept(); // QFileDialog narrows it to protected
    });
    page.file->click();
    QVERIFY(page.waitIdle());

    QCOMPARE(page.input->toPlainText(), information(path));
    const QString pathLine = page.input->toPlainText().section(u'\n', 0, 0);
#ifdef Q_OS_WIN
    QVERIFY2(pathLine.contains(u'\\') && !pathLine.contains(u'/'), qPrintable(pathLine));
#else
    QCOMPARE(pathLine, QStringLiteral("文件：") + path);
#endif
    page.calc->click();
    QCOMPARE(page.result->toPlainText(),
             md5Lines(referenceDigest(content, QCryptographicHash::Md5)));
    QVERIFY2(boxes.takeNone(), qPrintable(boxes.lastReport()));
}

void TestHashPage::qt4TextDates_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<bool>("dayFirst");
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<QString>("text");

    const QLocale c(QLocale::C);
    const QLocale chinese(QLocale::Chinese, QLocale::China);
    QTest::newRow("C") << c << false << modified << QStringLiteral("Tue Dec 8 14:11:34 2026");
    QTest::newRow("C, day first (Windows)")
        << c << true << modified << QStringLiteral("Tue 8. Dec 14:11:34 2026");
    QTest::newRow("zh_CN") << chinese << false << modified
                           << QStringLiteral("周二 12月 8 14:11:34 2026");
    QTest::newRow("two-digit day, midnight")
        << c << false << QDateTime(QDate(2000, 1, 31), QTime(0, 0, 5))
        << QStringLiteral("Mon Jan 31 00:00:05 2000");
    QTest::newRow("year of three digits")
        << c << false << QDateTime(QDate(999, 6, 1), QTime(23, 59, 59))
        << QStringLiteral("Sat Jun 1 23:59:59 999");
    QTest::newRow("invalid time") << c << false << QDateTime() << QString();
}

void TestHashPage::qt4TextDates()
{
    QFETCH(QLocale, locale);
    QFETCH(bool, dayFirst);
    QFETCH(QDateTime, time);
    QFETCH(QString, text);
    QCOMPARE(qt4TextDate(time, locale, dayFirst), text);
}

// Qt 4 read the order from Windows itself; Qt's system locale reads the
// long date format from the same settings, so the two agree.
void TestHashPage::dateOrderOfThePlatform()
{
#ifdef Q_OS_WIN
    const QString format = QLocale::system().dateFormat(QLocale::LongFormat);
    const auto dayAt = [&format] {
        for (qsizetype i = 0; i < format.size(); ++i) {
            // d or dd is the day of the month; ddd and dddd name the weekday.
            if (format.at(i) == u'd') {
                qsizetype run = 1;
                while (i + run < format.size() && format.at(i + run) == u'd')
                    ++run;
                if (run <= 2)
                    return i;
                i += run - 1;
            }
        }
        return qsizetype(-1);
    }();
    const qsizetype monthAt = format.indexOf(u'M');
    QVERIFY2(dayAt >= 0 && monthAt >= 0, qPrintable(format));
    QCOMPARE(qt4DayBeforeMonth(), dayAt < monthAt && format.indexOf(u'y') > dayAt);
#else
    QVERIFY(!qt4DayBeforeMonth());
#endif
}

// The page's time in the system locale, which a process takes from its
// environment when it starts: each row is a run of modificationTimeShown()
// of its own.
void TestHashPage::modificationTimeInSystemLocale_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("line");
    QTest::newRow("C") << QStringLiteral("C")
                       << QStringLiteral("修改时间：Tue Dec 8 14:11:34 2026");
    QTest::newRow("zh_CN") << QStringLiteral("zh_CN.UTF-8")
                           << QStringLiteral("修改时间：周二 12月 8 14:11:34 2026");
}

void TestHashPage::modificationTimeInSystemLocale()
{
#ifdef Q_OS_WIN
    // There the user's locale comes from the user's settings (under Wine
    // from the host's own locales), and qt4TextDates covers the names.
    QSKIP("Windows does not take the locale from the environment");
#endif
    QFETCH(QString, locale);
    QFETCH(QString, line);
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"LC_ALL", "LC_TIME", "LANG"})
        env.insert(QLatin1String(name), locale);
    env.insert(QStringLiteral("CIPHERBENCH_EXPECTED_LINE"), line);
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("modificationTimeShown")});
    QVERIFY(child.waitForFinished(120000));
    const QString output = QString::fromUtf8(child.readAll());
    QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0 &&
                 output.contains(QLatin1String("PASS   : TestHashPage::modificationTimeShown()")),
             qPrintable(output));
}

void TestHashPage::modificationTimeShown()
{
    const QString line = qEnvironmentVariable("CIPHERBENCH_EXPECTED_LINE");
    if (line.isEmpty())
        QSKIP("run by modificationTimeInSystemLocale, in the locale of one of its rows");
    QTemporaryDir dir;
    const QString path = writeFile(dir, QStringLiteral("dated.bin"), QByteArray("abc"));
    QVERIFY(!path.isEmpty());
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(modified, QFileDevice::FileModificationTime));
    }
    Page page;
    page.fileMode->click();
    page.window.loadFileHASH(path);
    QVERIFY(page.waitIdle());
    QCOMPARE(page.input->toPlainText().section(u'\n', 2, 2), line);
}

void TestHashPage::loadedDigestShownOnce_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("sizeLine");

    QTest::newRow("empty file") << 0 << QString() << QStringLiteral("大小：0 字节");
    QTest::newRow("50000 bytes") << 50000 << QString() << QStringLiteral("大小：50000 字节");
    QTest::newRow("20 chunks") << 2048000 << QString() << QStringLiteral("大小：2048000 字节");
    QTest::newRow("SHA1 entry") << 300000 << QStringLiteral("SHA1加密")
                                << QStringLiteral("大小：300000 字节");
}

void TestHashPage::loadedDigestShownOnce()
{
    QFETCH(int, size);
    QFETCH(QString, entry);
    QFETCH(QString, sizeLine);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray content = randomBytes(size, quint32(size));
    const QString path = writeFile(dir, QStringLiteral("load.bin"), content);
    QVERIFY(!path.isEmpty());
    const bool sha1 = !entry.isEmpty();

    MessageBoxAnswerer boxes;
    Page page;
    if (sha1)
        page.choose(entry);
    page.fileMode->click();
    page.calc->click();
    QVERIFY2(boxes.takeOnly(noFile), qPrintable(boxes.lastReport()));

    page.window.loadFileHASH(path);
    QCOMPARE(page.file->text(), stopLoading);
    QCOMPARE(page.progress->value(), 0);
    QVERIFY(page.waitIdle());

    const QString info = page.input->toPlainText();
    QCOMPARE(info, information(path));
    QVERIFY(info.split(QLatin1Char('\n')).contains(sizeLine));
    QCOMPARE(page.progress->maximum(), size);
    QCOMPARE(page.progress->value(), size);

    page.calc->click();
    QCOMPARE(page.result->toPlainText(),
             sha1 ? sha1Line(referenceDigest(content, QCryptographicHash::Sha1))
                  : md5Lines(referenceDigest(content, QCryptographicHash::Md5)));
    QCOMPARE(page.status(),
             sha1 ? QStringLiteral("SHA1计算完成！") : QStringLiteral("MD5计算完成！"));
    QVERIFY2(boxes.takeNone(), qPrintable(boxes.lastReport()));

    const QString shown = page.result->toPlainText();
    page.calc->click();
    QVERIFY2(boxes.takeOnly(noFile), qPrintable(boxes.lastReport()));
    QCOMPARE(page.result->toPlainText(), shown);
}

void TestHashPage::digestKeepsItsOwnLabel()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray content = randomBytes(4096, 11);
    const QString path = writeFile(dir, QStringLiteral("labelled.bin"), content);
    QVERIFY(!path.isEmpty());

    MessageBoxAnswerer boxes;
    Page page;

    // Loaded as SHA1, shown after the tree went back to MD5.
    page.choose(QStringLiteral("SHA1加密"));
    page.fileMode->click();
    page.window.loadFileHASH(path);
    QVERIFY(page.waitIdle());
    page.choose(QStringLiteral("MD5校验"));
    page.calc->click();
    QCOMPARE(page.result->toPlainText(),
             sha1Line(referenceDigest(content, QCryptographicHash::Sha1)));
    QCOMPARE(page.status(), QStringLiteral("SHA1计算完成！"));

    // And the other way round.
    page.window.loadFileHASH(path);
    QVERIFY(page.waitIdle());
    page.choose(QStringLiteral("SHA1加密"));
    page.calc->click();
    QCOMPARE(page.result->toPlainText(),
             md5Lines(referenceDigest(content, QCryptographicHash::Md5)));
    QCOMPARE(page.status(), QStringLiteral("MD5计算完成！"));
    QVERIFY2(boxes.takeNone(), qPrintable(boxes.lastReport()));
}

void TestHashPage::secondLoadReplacesFirst()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray first = randomBytes(1500000, 1);
    const QByteArray second = randomBytes(70000, 2);
    const QString firstPath = writeFile(dir, QStringLiteral("first.bin"), first);
    const QString secondPath = writeFile(dir, QStringLiteral("second.bin"), second);
    QVERIFY(!firstPath.isEmpty() && !secondPath.isEmpty());

    MessageBoxAnswerer boxes;
    Page page;
    page.fileMode->click();
    page.window.loadFileHASH(firstPath);
    QVERIFY(page.waitIdle());
    QCOMPARE(page.progress->value(), 1500000);

    page.window.loadFileHASH(secondPath);
    QCOMPARE(page.progress->value(), 0);
    QVERIFY(page.waitIdle());
    QCOMPARE(page.input->toPlainText(), information(secondPath));
    QCOMPARE(page.progress->maximum(), 70000);
    page.calc->click();
    QCOMPARE(page.result->toPlainText(),
             md5Lines(referenceDigest(second, QCryptographicHash::Md5)));
    QVERIFY2(boxes.takeNone(), qPrintable(boxes.lastReport()));
}

void TestHashPage::unopenableFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("missing path") << QStringLiteral("missing.bin");
    QTest::newRow("directory") << QStringLiteral("folder");
}

void TestHashPage::unopenableFile()
{
    QFETCH(QString, name);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));

    MessageBoxAnswerer boxes;
    DebugCapture capture;
    Page page;
    page.fileMode->click();
    const QString input = page.input->toPlainText();
    capture.clear();

    page.window.loadFileHASH(dir.filePath(name));
    QVERIFY(page.waitIdle());
    QCOMPARE(capture.debugLines(), QStringList{QStringLiteral("file open error.")});
    QCOMPARE(page.input->toPlainText(), input);
    QCOMPARE(page.progress->value(), 0);
    QVERIFY2(capture.warnings().isEmpty(), qPrintable(capture.warnings().join('\n')));
    page.calc->click();
    QVERIFY2(boxes.takeOnly(noFile), qPrintable(boxes.lastReport()));
}

void TestHashPage::stopMidLoad()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("long.bin"));
    const qint64 size = qint64(256) << 20;
    QVERIFY(makeSparse(path, size));

    MessageBoxAnswerer boxes;
    Page page;
    page.fileMode->click();
    const QString input = page.input->toPlainText();
    page.window.loadFileHASH(path);
    QVERIFY(pumpUntil([&] { return page.progress->value() > 0; }));
    QCOMPARE(page.progress->maximum(), int(size));

    const QPointer<ReadFile> worker = page.window.fileHashWorker();
    page.file->click(); // stop
    QCOMPARE(page.file->text(), chooseFile);
    // Ended after its chunk, or left to end on its own.
    QVERIFY(pumpUntil([&] { return !worker || worker->isFinished(); }));
    const int value = page.progress->value();
    QVERIFY(value < int(size));

    // What the stopped load had queued is dropped: the bar keeps its value.
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    QCOMPARE(page.progress->value(), value);
    QCOMPARE(page.input->toPlainText(), input);
    QCOMPARE(page.file->text(), chooseFile);
    page.calc->click();
    QVERIFY2(boxes.takeOnly(noFile), qPrintable(boxes.lastReport()));
}

void TestHashPage::staleCallsOfEndedLoadAreDropped()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = writeFile(dir, QStringLiteral("quick.bin"), randomBytes(1000, 3));
    QVERIFY(!path.isEmpty());

    MessageBoxAnswerer boxes;
    Page page;
    page.fileMode->click();
    const QString input = page.input->toPlainText();

    // The first load ends with its digest still queued; the next load, of a
    // file that cannot be opened, starts before that call is handled.
    page.window.loadFileHASH(path);
    page.window.fileHashWorker()->wait();
    page.window.loadFileHASH(dir.filePath(QStringLiteral("missing.bin")));
    QVERIFY(page.waitIdle());
    QCoreApplication::processEvents();

    QCOMPARE(page.input->toPlainText(), input);
    QCOMPARE(page.file->text(), chooseFile);
    page.calc->click();
    QVERIFY2(boxes.takeOnly(noFile), qPrintable(boxes.lastReport()));
}

void TestHashPage::fileTruncatedDuringLoad()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("shrinking.bin"));
    const qint64 size = qint64(400) << 20;
    QVERIFY(makeSparse(path, size));

    MessageBoxAnswerer boxes;
    DebugCapture capture;
    Page page;
    page.fileMode->click();
    const QString input = page.input->toPlainText();
    capture.clear();

    page.window.loadFileHASH(path);
    // The range has arrived: the worker has the old size and is reading.
    QVERIFY(pumpUntil([&] { return page.progress->maximum() == int(size); }));
    QVERIFY(QFile::resize(path, size / 2));
    QVERIFY(page.waitIdle(300000));
    QCoreApplication::processEvents();

    QCOMPARE(capture.debugLines(), QStringList{QStringLiteral("file changed during reading.")});
    QVERIFY(page.progress->value() <= int(size / 2));
    QCOMPARE(page.input->toPlainText(), input);
    page.calc->click();
    QVERIFY2(boxes.takeOnly(noFile), qPrintable(boxes.lastReport()));
}

void TestHashPage::closingDuringLoad()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("long.bin"));
    QVERIFY(makeSparse(path, qint64(256) << 20));

    DebugCapture capture;
    auto window = std::make_unique<MainWindow>();
    window->show();
    window->findChild<QRadioButton *>(QStringLiteral("rbtnFileHASH"))->click();
    const auto *progress = window->findChild<QProgressBar *>(QStringLiteral("prgFileHASH"));
    window->loadFileHASH(path);
    QVERIFY(pumpUntil([&] { return progress->value() > 0; }));
    // The worker goes with the window: stopped, then deleted once ended.
    QPointer<ReadFile> worker = window->fileHashWorker();
    QVERIFY(worker->isRunning());

    window->close();
    window.reset();
    QVERIFY(pumpUntil([&] { return worker.isNull(); }));
    QVERIFY2(capture.warnings().isEmpty(), qPrintable(capture.warnings().join('\n')));
}

void TestHashPage::blockedReadLeftBehind_data()
{
    QTest::addColumn<bool>("close"); // the window, rather than stopping the load
    QTest::newRow("stop") << false;
    QTest::newRow("close") << true;
}

// A worker stuck in a read (a stalled share, /proc/kmsg) is left behind: the
// stop and the close answer at once, the next load has a worker of its own,
// and the stuck one, once its read returns, reaches no window and goes. That
// load's details are those of the bytes it digested, though the file grows
// before the page has them, as a download or a log does.
void TestHashPage::blockedReadLeftBehind()
{
    QFETCH(bool, close);
    QTemporaryDir dir;
    const QString longPath = dir.filePath(QStringLiteral("long.bin"));
    QVERIFY(makeSparse(longPath, qint64(256) << 20));
    const QByteArray content = randomBytes(300000, 21);
    const QString next = writeFile(dir, QStringLiteral("next.bin"), content);
    const QString details = information(next);

    MessageBoxAnswerer boxes;
    DebugCapture capture;
    auto page = std::make_unique<Page>();
    page->fileMode->click();
    // Held at its first report as by a read that does not return.
    const QPointer<ReadFile> worker = page->window.fileHashWorker();
    const auto held = std::make_shared<QSemaphore>();
    const auto gate = std::make_shared<QSemaphore>();
    const auto hold = [held, gate](int) {
        held->release();
        gate->acquire();
    };
    connect(worker, &ReadFile::PrgValueSignal, worker, hold, Qt::DirectConnection);
    page->window.loadFileHASH(longPath);
    QVERIFY(held->tryAcquire(1, 30000));

    QElapsedTimer clock;
    clock.start();
    if (close) {
        page->window.close();
        page.reset();
    } else {
        page->file->click(); // stop
    }
    const qint64 elapsed = clock.elapsed();
    QVERIFY2(elapsed < 100, qPrintable(QString::number(elapsed)));
    QVERIFY(worker->isRunning());
    if (!close) {
        QCOMPARE(page->file->text(), chooseFile);
        page->window.loadFileHASH(next);
        QVERIFY(page->window.fileHashWorker()->wait(30000)); // not the stuck one
        QFile grown(next);
        QVERIFY(grown.open(QIODevice::Append) && grown.write("more") == 4 && grown.flush());
        QVERIFY(page->waitIdle());
    }

    gate->release(1 << 20); // for good
    QVERIFY(pumpUntil([&] { return worker.isNull(); }));
    QVERIFY2(capture.warnings().isEmpty(), qPrintable(capture.warnings().join('\n')));
    if (close)
        return;
    QCOMPARE(page->input->toPlainText(), details);
    QCOMPARE(page->progress->value(), content.size());
    page->calc->click();
    QCOMPARE(page->result->toPlainText(),
             md5Lines(referenceDigest(content, QCryptographicHash::Md5)));
    QVERIFY2(boxes.takeNone(), qPrintable(boxes.lastReport()));
}

void TestHashPage::fileBeyond2GiB()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("huge.bin"));
    // Not a whole number of chunks, and marked at both ends so that a digest
    // of anything but the whole file differs.
    const qint64 size = (qint64(1) << 31) + 3 * ReadFile::chunkSize + 17;
    const QByteArray head("head of the file");
    const QByteArray tail("tail of the file");
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(size));
        QCOMPARE(file.write(head), head.size());
        QVERIFY(file.seek(size - tail.size()));
        QCOMPARE(file.write(tail), tail.size());
    }
    QCOMPARE(QFileInfo(path).size(), size);

    // The reference, streamed: head, zeros, tail.
    QByteArray expected;
    {
        ReferenceDigest digest(QCryptographicHash::Md5);
        digest.add(head);
        const QByteArray zeros(1 << 20, '\0');
        qint64 left = size - head.size() - tail.size();
        while (left > 0) {
            const qint64 n = qMin<qint64>(left, zeros.size());
            digest.add(zeros.constData(), n);
            left -= n;
        }
        digest.add(tail);
        expected = digest.result();
        QVERIFY(!expected.isEmpty());
    }

    MessageBoxAnswerer boxes;
    Page page;
    page.fileMode->click();
    QList<int> values;
    QList<int> ranges;
    connect(page.window.fileHashWorker(), &ReadFile::PrgRangeSignal, this,
            [&](int r) { ranges << r; });
    connect(page.window.fileHashWorker(), &ReadFile::PrgValueSignal, this,
            [&](int v) { values << v; });

    page.window.loadFileHASH(path);
    QVERIFY(page.waitIdle(600000));
    disconnect(page.window.fileHashWorker(), nullptr, this, nullptr);

    // Range and values scaled alike: half the bytes, and the bar ends full.
    QCOMPARE(ranges, QList<int>{int(size >> 1)});
    QVERIFY(values.size() > 2);
    QVERIFY(std::is_sorted(values.cbegin(), values.cend()));
    QVERIFY(values.first() > 0);
    QCOMPARE(values.last(), int(size >> 1));
    QCOMPARE(page.progress->maximum(), int(size >> 1));
    QCOMPARE(page.progress->value(), page.progress->maximum());
    QVERIFY(page.input->toPlainText().contains(QStringLiteral("大小：%1 字节").arg(size)));

    page.calc->click();
    QCOMPARE(page.result->toPlainText(), md5Lines(expected));
    QVERIFY2(boxes.takeNone(), qPrintable(boxes.lastReport()));
}

void TestHashPage::droppedFileLoads_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("entry");

    QTest::newRow("onto the input box") << "txtEncHASH" << QString();
    QTest::newRow("onto the progress bar, SHA1") << "prgFileHASH" << QStringLiteral("SHA1加密");
    QTest::newRow("onto the result box") << "txtDecHASH" << QStringLiteral("MD5校验");
}

// One local file dropped in file mode loads as if chosen in the dialog, with
// the algorithm of the tree at that moment.
void TestHashPage::droppedFileLoads()
{
    QFETCH(QString, target);
    QFETCH(QString, entry);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray content = randomBytes(300000, 11);
    const QString path = writeFile(dir, QStringLiteral("dropped.bin"), content);
    QVERIFY(!path.isEmpty());

    MessageBoxAnswerer boxes;
    Page page;
    if (!entry.isEmpty())
        page.choose(entry);
    page.fileMode->click();
    auto *widget = page.window.findChild<QWidget *>(target);
    if (auto *box = qobject_cast<QTextEdit *>(widget))
        widget = box->viewport(); // where a drag over a text box arrives
    QVERIFY(dragAndDrop(widget, {QUrl::fromLocalFile(path)}));
    QVERIFY(page.waitIdle());

    QCOMPARE(page.input->toPlainText(), information(path));
    QCOMPARE(page.progress->value(), page.progress->maximum());
    page.calc->click();
    const bool sha1 = entry == QStringLiteral("SHA1加密");
    QCOMPARE(page.result->toPlainText(),
             sha1 ? sha1Line(referenceDigest(content, QCryptographicHash::Sha1))
                  : md5Lines(referenceDigest(content, QCryptographicHash::Md5)));
    QVERIFY2(boxes.takeNone(), qPrintable(boxes.lastReport()));
}

void TestHashPage::refusedDrops_data()
{
    QTest::addColumn<bool>("textMode");
    QTest::addColumn<QStringList>("urls"); // "FILE", "DIR", "PIPE": a file, a folder, a pipe

    QTest::newRow("in text mode") << true << QStringList{"FILE"};
    QTest::newRow("two files") << false << QStringList{"FILE", "FILE"};
    QTest::newRow("a folder") << false << QStringList{"DIR"};
    QTest::newRow("a web address") << false << QStringList{"https://example.org/file.iso"};
#ifdef Q_OS_UNIX
    QTest::newRow("a named pipe") << false << QStringList{"PIPE"};
#endif
}

// Every other drop is refused, not accepted, and changes nothing: not the
// button, the bar, the input box nor the kept digest.
void TestHashPage::refusedDrops()
{
    QFETCH(bool, textMode);
    QFETCH(QStringList, urls);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray kept = randomBytes(1000, 3);
    const QString keptPath = writeFile(dir, QStringLiteral("kept.bin"), kept);
    const QString other = writeFile(dir, QStringLiteral("other.bin"), QByteArray(10, 'x'));
    QVERIFY(!keptPath.isEmpty() && !other.isEmpty());
    const QString pipe = dir.filePath(QStringLiteral("pipe"));
    QVERIFY(!urls.contains(QStringLiteral("PIPE")) || makeFifo(pipe));
    QList<QUrl> dropped;
    for (const QString &url : urls) {
        dropped << (url == QStringLiteral("FILE")   ? QUrl::fromLocalFile(other)
                    : url == QStringLiteral("DIR")  ? QUrl::fromLocalFile(dir.path())
                    : url == QStringLiteral("PIPE") ? QUrl::fromLocalFile(pipe)
                                                    : QUrl(url));
    }

    MessageBoxAnswerer boxes;
    Page page;
    page.fileMode->click();
    page.window.loadFileHASH(keptPath);
    QVERIFY(page.waitIdle());
    if (textMode)
        page.textMode->click();
    const QString input = page.input->toPlainText();
    const int bar = page.progress->value();

    for (QWidget *target :
         {static_cast<QWidget *>(page.input->viewport()), static_cast<QWidget *>(page.progress)}) {
        QVERIFY(!dragAndDrop(target, dropped));
        QCoreApplication::processEvents();
        QVERIFY(!page.window.fileHashWorker()->isRunning());
        QCOMPARE(page.file->text(), chooseFile);
        QCOMPARE(page.progress->value(), bar);
        QCOMPARE(page.input->toPlainText(), input);
    }
    page.fileMode->click();
    page.calc->click();
    QCOMPARE(page.result->toPlainText(), md5Lines(referenceDigest(kept, QCryptographicHash::Md5)));
    QVERIFY2(boxes.takeNone(), qPrintable(boxes.lastReport()));
}

// A drop while a load runs is refused, also when the drag entered before the
// load began; the running load goes on.
void TestHashPage::dropDuringLoadRefused()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString longPath = dir.filePath(QStringLiteral("long.bin"));
    QVERIFY(makeSparse(longPath, qint64(256) << 20));
    const QString small = writeFile(dir, QStringLiteral("small.bin"), QByteArray(10, 'x'));
    QVERIFY(!small.isEmpty());

    MessageBoxAnswerer boxes;
    Page page;
    page.fileMode->click();
    QWidget *target = page.input->viewport();

    page.window.loadFileHASH(longPath);
    QVERIFY(!dragAndDrop(target, {QUrl::fromLocalFile(small)}));
    QCOMPARE(page.window.fileHashWorker()->fileName, longPath);
    QCOMPARE(page.file->text(), stopLoading);
    page.file->click(); // stop
    QVERIFY(page.waitIdle());

    QVERIFY(dragAndDrop(target, {QUrl::fromLocalFile(small)},
                        [&] { page.window.loadFileHASH(longPath); }));
    QCOMPARE(page.window.fileHashWorker()->fileName, longPath);
    QCOMPARE(page.file->text(), stopLoading);
    page.file->click(); // stop
    QVERIFY(page.waitIdle());
    page.calc->click();
    QVERIFY2(boxes.takeOnly(noFile), qPrintable(boxes.lastReport()));
}

void TestHashPage::dialogDescribesEntriesByName_data()
{
    QTest::addColumn<bool>("rememberingProc");
    QTest::newRow("folder holding a named pipe") << false;
#ifdef Q_OS_LINUX
    QTest::newRow("settings remembering /proc") << true;
#endif
}

// Qt's own provider fills the Type column by reading each file on the GUI
// thread, and some reads never return (a pipe's, /proc/kmsg's); the page's
// dialog tells a type by the name alone. Qt's settings remember /proc once a
// file was chosen there, and every later dialog lists it while it is built:
// that row runs in a process of its own with such settings. A pipe can still
// be chosen by its name: it is a file that cannot be opened.
void TestHashPage::dialogDescribesEntriesByName()
{
    QFETCH(bool, rememberingProc);
    if (rememberingProc && !qEnvironmentVariableIsSet("CIPHERBENCH_REMEMBERING_PROC")) {
        QTemporaryDir home; // test mode keeps Qt's settings in $HOME/.qttest/config
        QSettings(home.filePath(QStringLiteral(".qttest/config/QtProject.conf")),
                  QSettings::IniFormat)
            .setValue(QStringLiteral("FileDialog/lastVisited"), QStringLiteral("file:///proc"));
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("CIPHERBENCH_REMEMBERING_PROC"), QStringLiteral("1"));
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("dialogDescribesEntriesByName:settings remembering /proc")});
        const bool answered = child.waitForFinished(60000); // else killed as it goes
        const QString output = QString::fromUtf8(child.readAll());
        QVERIFY2(
            answered && child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0 &&
                output.contains(QLatin1String(
                    "PASS   : TestHashPage::dialogDescribesEntriesByName(settings remembering /proc)")),
            qPrintable(output));
        return;
    }
    QVERIFY(!rememberingProc || QSettings(QSettings::UserScope, QStringLiteral("QtProject"))
                                        .value(QStringLiteral("FileDialog/lastVisited"))
                                        .toString() == QStringLiteral("file:///proc"));

    QTemporaryDir dir;
    const QString picture = writeFile(dir, QStringLiteral("picture"),
                                      QByteArray("\x89PNG\r\n\x1a\n") + QByteArray(64, 0));
    const QString pipe = dir.filePath(QStringLiteral("pipe"));
    const bool piped = makeFifo(pipe);
#ifdef Q_OS_UNIX
    QVERIFY(piped);
#endif
    const QString entry = rememberingProc ? QStringLiteral("/proc/version") : picture;
    const QMimeType sniffed = QMimeDatabase().mimeTypeForFile(entry, QMimeDatabase::MatchContent);
    QVERIFY(rememberingProc || sniffed.name() == QStringLiteral("image/png"));
    // The dialog opens in the current folder.
    const QString folder = QDir::currentPath();
    const auto back = qScopeGuard([&folder] { QDir::setCurrent(folder); });
    QVERIFY(QDir::setCurrent(dir.path()));

    MessageBoxAnswerer boxes;
    Page page;
    page.fileMode->click();
    DebugCapture capture;
    QString type = QStringLiteral("<no dialog>");
    whenModal<QFileDialog>([&](QFileDialog *dialog) {
        // Entries are described as the event loop gets to the lists of them.
        QTest::qWait(500);
        const auto *model = dialog->findChild<QFileSystemModel *>();
        type = model ? model->type(model->index(entry)) : QStringLiteral("<no model>");
        if (!piped)
            return dialog->reject();
        dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(pipe);
        static_cast<QDialog *>(dialog)->accept();
    });
    page.file->click();
    // Without a pipe (Windows has none in folders) nothing is loaded.
    QVERIFY(!piped || page.waitIdle(30000));

    QVERIFY2(!type.isEmpty() && !type.startsWith(u'<') && type != sniffed.comment(),
             qPrintable(type));
    if (piped) {
        QCOMPARE(page.window.fileHashWorker()->fileName, pipe);
        QCOMPARE(capture.debugLines(), QStringList{QStringLiteral("file open error.")});
    }
    page.calc->click();
    QVERIFY2(boxes.takeOnly(noFile), qPrintable(boxes.lastReport()));
}

// The program keeps no settings of its own; Qt's file dialog reads and
// writes its own group in Qt's shared "QtProject" settings, and that is all
// that is left behind after the dialog was opened and closed.
void TestHashPage::fileDialogKeepsOnlyQtSettings()
{
    const QStringList dialogKeys = {"FileDialog/history",      "FileDialog/lastVisited",
                                    "FileDialog/qtVersion",    "FileDialog/shortcuts",
                                    "FileDialog/sidebarWidth", "FileDialog/treeViewHeader",
                                    "FileDialog/viewMode"};
#ifdef Q_OS_WIN
    // The registry, which test mode does not redirect: what was there stays.
    const QStringList before =
        QSettings(QSettings::UserScope, QStringLiteral("QtProject")).allKeys();
#else
    // A file in the test folder: start without one.
    QVERIFY(QStandardPaths::isTestModeEnabled());
    const QString file = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                         QStringLiteral("/QtProject.conf");
    QVERIFY(!QFile::exists(file) || QFile::remove(file));
    QCOMPARE(QSettings(QSettings::UserScope, QStringLiteral("QtProject")).fileName(), file);
    const QStringList before;
    // Nor does anything else appear beside it.
    const auto configFiles = [] {
        const QString dir = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
        QStringList files =
            QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
        files.removeOne(QStringLiteral("QtProject.conf"));
        return files;
    };
    const QStringList filesBefore = configFiles();
#endif

    MessageBoxAnswerer boxes;
    {
        Page page;
        page.fileMode->click();
        bool opened = false;
        whenModal<QFileDialog>([&](QFileDialog *dialog) {
            opened = true;
            dialog->reject();
        });
        page.file->click();
        QVERIFY(opened);
    }

    const QSettings qt(QSettings::UserScope, QStringLiteral("QtProject"));
    QCOMPARE(qt.childGroups(), QStringList{QStringLiteral("FileDialog")});
    for (const QString &key : qt.allKeys())
        QVERIFY2(dialogKeys.contains(key) || before.contains(key), qPrintable(key));
    QCOMPARE(qt.value("FileDialog/viewMode").toString(), QStringLiteral("Detail"));
    QVERIFY(qt.contains("FileDialog/lastVisited"));
#ifndef Q_OS_WIN
    QVERIFY(QFile::exists(file));
    QCOMPARE(configFiles(), filesBefore);
#endif
    QVERIFY2(boxes.takeNone(), qPrintable(boxes.lastReport()));
}

QTEST_MAIN(TestHashPage)
#include "tst_hashpage.moc"
