// What a desktop user expects beyond the pages' own behaviour: every control
// named for screen readers by its visible caption, the counters heard with
// their boxes, and Qt's own texts in Chinese.
#include "app/mainwindow.h"
#include "app/qttranslation.h"
#include "support/debugcapture.h"
#include "support/whenmodal.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTranslator>

namespace {

QAccessibleInterface *accessible(QWidget *widget)
{
    return QAccessible::queryAccessibleInterface(widget);
}

bool labelledBy(QWidget *widget, QLabel *label)
{
    const auto relations = accessible(widget)->relations(QAccessible::Label);
    for (const auto &relation : relations) {
        if (relation.first && relation.first->object() == label)
            return true;
    }
    return false;
}

} // namespace

class TestDesktop : public QObject
{
    Q_OBJECT

private slots:
    void controlsNamedByCaptions_data();
    void controlsNamedByCaptions();
    void countersInDescriptions_data();
    void countersInDescriptions();
    void namesFollowCaptions_data();
    void namesFollowCaptions();
    void radioGroupsDescribed();
    void qtTextsInChinese();
    void missingTranslationIsSilent();
};

void TestDesktop::controlsNamedByCaptions_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("label"); // empty: named without a caption beside it
    QTest::addColumn<QString>("name");

    const struct
    {
        const char *control;
        const char *label;
        const char *name;
    } rows[] = {
        {"treeDefence", "", "导航列表"},
        {"txtEncAES", "label_7", "待加解密字符串："},
        {"txtDecAES", "labDecTagAES", "解密字符串："},
        {"cboxAlgAES", "label", "算法模式："},
        {"txtKeyLenAES", "label_4", "密钥长度："},
        {"txtKeyAES", "label_2", "密钥："},
        {"txtKeyOffsetAES", "label_5", "密钥偏移量："},
        {"cboxPaddingAES", "label_3", "补码方式："},
        {"cboxCModeAES", "label_6", "输出编码："},
        {"txtEncDES", "labEncTagDES", "待加解密十六进制："},
        {"txtKey1DES", "label_17", "密钥1（8字节）："},
        {"txtKey2DES", "label_20", "密钥2（8字节）："},
        {"cboxInCodeDES", "label_19", "输入编码："},
        {"cboxOutCodeDES", "label_16", "输出编码："},
        {"txtDecDES", "labDecTagDES", "解密十六进制："},
        {"txtEncBASE64", "labEncTagBASE64", "待编解码字符串："},
        {"cboxInCodeBASE64", "label_34", "输入编码："},
        {"cboxOutCodeBASE64", "label_35", "输出编码："},
        {"txtDecBASE64", "labDecTagBASE64", "解码字符串："},
        {"txtEncHASH", "labEncTagHASH", "待校验字符串："},
        {"cboxInTxtHASH", "label_11", "输入类型："},
        {"txtDecHASH", "labDecTagHASH", "校验码结果"},
        {"prgFileHASH", "", "文件加载进度"},
    };
    for (const auto &row : rows) {
        QTest::newRow(row.control) << QString::fromLatin1(row.control)
                                   << QString::fromLatin1(row.label) << QString::fromUtf8(row.name);
    }
}

// The caption a sighted user reads beside a control is its name and its
// "labelled by" relation. Qt on Linux names a non-editable combo box by its
// current item and leaves the caption to the relation.
void TestDesktop::controlsNamedByCaptions()
{
    QFETCH(QString, control);
    QFETCH(QString, label);
    QFETCH(QString, name);

    MainWindow window;
    auto *widget = window.findChild<QWidget *>(control);
    QVERIFY(widget);
    QVERIFY(accessible(widget));
    if (!label.isEmpty()) {
        auto *caption = window.findChild<QLabel *>(label);
        QVERIFY(caption);
        QCOMPARE(caption->text(), name);
        QVERIFY(labelledBy(widget, caption));
    }
    if (!qobject_cast<QComboBox *>(widget))
        QCOMPARE(accessible(widget)->text(QAccessible::Name), name);
}

void TestDesktop::countersInDescriptions_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("description"); // after the box is set to "41 42 43"

    QTest::newRow("AES input") << "txtEncAES"
                               << "labEncNumAES"
                               << "label_12"
                               << "8位";
    QTest::newRow("AES result, Base64") << "txtDecAES"
                                        << "labDecNumAES"
                                        << "labDecUnitAES"
                                        << "8位";
    QTest::newRow("DES input, hex") << "txtEncDES"
                                    << "labEncNumDES"
                                    << "labEncUnitDES"
                                    << "3个字节";
    QTest::newRow("DES result, hex") << "txtDecDES"
                                     << "labDecNumDES"
                                     << "labDecUnitDES"
                                     << "3个字节";
    QTest::newRow("Base64 input") << "txtEncBASE64"
                                  << "labEncNumBASE64"
                                  << "labEncUnitBASE64"
                                  << "8位";
    QTest::newRow("Base64 result") << "txtDecBASE64"
                                   << "labDecNumBASE64"
                                   << "labDecUnitBASE64"
                                   << "6位";
    QTest::newRow("hash input") << "txtEncHASH"
                                << "labEncNumHASH"
                                << "labEncUnitHASH"
                                << "8位";
}

// The number and unit under a box reach the listener with the box, and
// follow its content.
void TestDesktop::countersInDescriptions()
{
    QFETCH(QString, box);
    QFETCH(QString, number);
    QFETCH(QString, unit);
    QFETCH(QString, description);

    MainWindow window;
    auto *edit = window.findChild<QTextEdit *>(box);
    auto *numberLabel = window.findChild<QLabel *>(number);
    auto *unitLabel = window.findChild<QLabel *>(unit);
    QVERIFY(edit && numberLabel && unitLabel);
    QCOMPARE(accessible(edit)->text(QAccessible::Description),
             numberLabel->text() + unitLabel->text());

    edit->setPlainText(QStringLiteral("41 42 43"));
    QCOMPARE(numberLabel->text() + unitLabel->text(), description);
    QCOMPARE(accessible(edit)->text(QAccessible::Description), description);
}

void TestDesktop::namesFollowCaptions_data()
{
    QTest::addColumn<QString>("combo");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("description");

    QTest::newRow("DES input to string") << "cboxInCodeDES" << 0 << "txtEncDES"
                                         << "待加解密字符串："
                                         << "23位";
    QTest::newRow("DES result to Base64") << "cboxOutCodeDES" << 0 << "txtDecDES"
                                          << "解密字符串："
                                          << "0位";
    QTest::newRow("AES result to hex") << "cboxCModeAES" << 1 << "txtDecAES"
                                       << "解密十六进制："
                                       << "0个字节";
    QTest::newRow("Base64 input to hex")
        << "cboxInCodeBASE64" << 1 << "txtEncBASE64"
        << "待编解码十六进制："
        << QString::number(
               QStringLiteral("Base64是网络上最常见的用于传输8Bit字节码的编码方式之一，"
                              "Base64就是一种基于64个可打印字符来表示二进制数据的方法。")
                   .toUtf8()
                   .size()) +
               QStringLiteral("个字节");
    QTest::newRow("Base64 result to hex") << "cboxOutCodeBASE64" << 1 << "txtDecBASE64"
                                          << "解码十六进制："
                                          << "0个字节";
    QTest::newRow("hash input to hex") << "cboxInTxtHASH" << 1 << "txtEncHASH"
                                       << "待校验十六进制："
                                       << "229个字节";
}

// A page that changes a box's caption changes the box's name with it.
void TestDesktop::namesFollowCaptions()
{
    QFETCH(QString, combo);
    QFETCH(int, index);
    QFETCH(QString, box);
    QFETCH(QString, name);
    QFETCH(QString, description);

    MainWindow window;
    auto *comboBox = window.findChild<QComboBox *>(combo);
    auto *edit = window.findChild<QTextEdit *>(box);
    QVERIFY(comboBox && edit);
    comboBox->setCurrentIndex(index);
    QCOMPARE(accessible(edit)->text(QAccessible::Name), name);
    QCOMPARE(accessible(edit)->text(QAccessible::Description), description);
}

void TestDesktop::radioGroupsDescribed()
{
    MainWindow window;
    const struct
    {
        const char *button;
        const char *text;
        const char *group;
    } rows[] = {
        {"rbtnDES", "单DES", "算法模式："},
        {"rbtn3DES", "3DES", "算法模式："},
        {"rbtnKeyHexDES", "以十六进制形式输入\n（如：C4E2B9F07D3A5E18）", "密钥输入形式："},
        {"rbtnKeyCharDES", "以字符串形式输入\n（如：48201759）", "密钥输入形式："},
        {"rbtnTxtHASH", "文本", "输入类型："},
        {"rbtnFileHASH", "文件", "输入类型："},
    };
    for (const auto &row : rows) {
        auto *button = window.findChild<QRadioButton *>(QString::fromLatin1(row.button));
        QVERIFY2(button, row.button);
        QCOMPARE(button->text(), QString::fromUtf8(row.text));
        QCOMPARE(accessible(button)->text(QAccessible::Name), QString::fromUtf8(row.text));
        QCOMPARE(accessible(button)->text(QAccessible::Description), QString::fromUtf8(row.group));
    }
}

// With Qt's Chinese translation installed, the standard buttons of the error
// boxes and the file dialog speak Chinese; the program's own texts do not
// change.
void TestDesktop::qtTextsInChinese()
{
    // Cross-built, the tests run beside a Qt without translations and take
    // the build host's, which the Windows folder ships.
    const QString directory = qEnvironmentVariable(
        "CIPHERBENCH_QT_TRANSLATIONS", QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    if (!QFile::exists(directory + QStringLiteral("/qtbase_zh_CN.qm")))
        QSKIP("Qt's Chinese translation (Debian package qt6-translations-l10n) is not installed");

    QTranslator *translator = installQtChineseTranslation(directory);
    QVERIFY(translator);
    {
        MainWindow window;
        QCOMPARE(window.windowTitle(), QStringLiteral("加解密工具"));
        QCOMPARE(window.findChild<QPushButton *>(QStringLiteral("btnEncAES"))->text(),
                 QStringLiteral("加密"));

        QString title, text, ok;
        whenModal<QMessageBox>([&](QMessageBox *box) {
            title = box->windowTitle();
            text = box->text();
            ok = box->button(QMessageBox::Ok)->text();
            box->button(QMessageBox::Ok)->click();
        });
        window.findChild<QTextEdit *>(QStringLiteral("txtEncAES"))->clear();
        window.findChild<QPushButton *>(QStringLiteral("btnEncAES"))->click();
        QCOMPARE(title, QStringLiteral("错误提示！"));
        QCOMPARE(text, QStringLiteral("没有可加密的数据！\n请输入后，继续操作。"));
        QCOMPARE(ok, QStringLiteral("确定"));

        QString cancel;
        whenModal<QFileDialog>([&](QFileDialog *dialog) {
            if (auto *buttons = dialog->findChild<QDialogButtonBox *>())
                cancel = buttons->button(QDialogButtonBox::Cancel)->text();
            dialog->reject();
        });
        window.findChild<QRadioButton *>(QStringLiteral("rbtnFileHASH"))->click();
        window.findChild<QPushButton *>(QStringLiteral("btnFileHASH"))->click();
        QCOMPARE(cancel, QStringLiteral("取消"));
    }
    QCoreApplication::removeTranslator(translator);
    delete translator;
}

void TestDesktop::missingTranslationIsSilent()
{
    QTemporaryDir empty;
    QVERIFY(empty.isValid());
    DebugCapture capture;
    QVERIFY(!installQtChineseTranslation(empty.path()));
    QVERIFY(capture.warnings().isEmpty());
    QVERIFY(capture.debugLines().isEmpty());
}

QTEST_MAIN(TestDesktop)
#include "tst_desktop.moc"
