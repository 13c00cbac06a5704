// The DES page driven through its real widgets: modes, key and input guards,
// counter rows, code combos, and encryption/decryption checked against
// OpenSSL's DES-ECB and DES-EDE-ECB.

#include "app/mainwindow.h"
#include "app/pagememory.h"
#include "enginereference.h"
#include "support/bufferrefusal.h"
#include "support/debugcapture.h"
#include "support/messageboxanswerer.h"
#include "support/pagefixture.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTextCursor>
#include <QTextEdit>

#include <cstdlib>

namespace {

const QString invalidHexMessage =
    QStringLiteral("输入数据不是有效的十六进制！\n有效十六进制范围：0~9、a~f、A~F。");
const QString invalidKeyMessage =
    QStringLiteral("输入数据不是有效的密钥！\n有效密钥范围：0~9、a~z、A~Z。");
const QString key1NotHex =
    QStringLiteral("key1不是有效的十六进制。\n十六进制举例：0x12,0x34，则填1234。");
const QString key1LengthHex = QStringLiteral("key1长度不对，必须是8字节。\n如：C4E2B9F07D3A5E18。");
const QString key1LengthChar = QStringLiteral("key1长度不对，必须是8字节。\n如：48201759。");
const QString key2NotHex =
    QStringLiteral("key2不是有效的十六进制。\n十六进制举例：0x12,0x34，则填1234。");
const QString key2LengthHex = QStringLiteral("key2长度不对，必须是8字节。\n如：C4E2B9F07D3A5E18。");
const QString key2LengthChar = QStringLiteral("key2长度不对，必须是8字节。\n如：48201759。");
const QString sameKeys =
    QStringLiteral("3DES加解密时，密钥1和密钥2建议不要相同，不然无法发挥3DES的作用。\n"
                   "如果密钥1和密钥2相同，相当于DES加密。请更改后，重新操作。");
const QString nothingToEncrypt = QStringLiteral("没有可加密的数据！\n请输入后，继续操作。");
const QString nothingToDecrypt = QStringLiteral("没有可解密的数据！\n请输入后，继续操作。");

const QString hexCode = QStringLiteral("十六进制");
const QString stringCode = QStringLiteral("字符串");
const QString base64Code = QStringLiteral("base64");

bool legacyProviderLoaded = false;

QByteArray hexBytes(const char *hex)
{
    return QByteArray::fromHex(hex);
}

QString spacedHex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

// One window per test, showing the DES page.
struct DesPage : PageFixture
{
    QTextEdit *input = find<QTextEdit>("txtEncDES");
    QTextEdit *output = find<QTextEdit>("txtDecDES");
    QLineEdit *key1 = find<QLineEdit>("txtKey1DES");
    QLineEdit *key2 = find<QLineEdit>("txtKey2DES");
    QComboBox *inCode = find<QComboBox>("cboxInCodeDES");
    QComboBox *outCode = find<QComboBox>("cboxOutCodeDES");
    QRadioButton *single = find<QRadioButton>("rbtnDES");
    QRadioButton *triple = find<QRadioButton>("rbtn3DES");
    QRadioButton *keyHex = find<QRadioButton>("rbtnKeyHexDES");
    QRadioButton *keyChar = find<QRadioButton>("rbtnKeyCharDES");
    QPushButton *encrypt = find<QPushButton>("btnEncDES");
    QPushButton *decrypt = find<QPushButton>("btnDecDES");

    DesPage()
    {
        tabs()->setCurrentIndex(1);
        window.show();
    }

    QStringList inputRow() const { return counterRow("Enc", "DES"); }
    QStringList outputRow() const { return counterRow("Dec", "DES"); }

    void setAlgorithm(bool useTriple) { (useTriple ? triple : single)->click(); }
    void setKeyForm(bool hex) { (hex ? keyHex : keyChar)->click(); }

    void moveInputCursorToEnd()
    {
        QTextCursor cursor = input->textCursor();
        cursor.movePosition(QTextCursor::End);
        input->setTextCursor(cursor);
    }
    void press(bool enc) { QTest::mouseClick(enc ? encrypt : decrypt, Qt::LeftButton); }
};

QStringList hexRow(int n)
{
    return counterTexts("解密十六进制：", n, "个字节");
}

QStringList base64Row(int n)
{
    return counterTexts("解密字符串：", n, "位");
}

} // namespace

class TestDesPage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void startUp();
    void algorithmButtons();
    void keyFormSwitchCutsSilently();
    void keyGuard_data();
    void keyGuard();
    void refusedPress_data();
    void refusedPress();
    void acceptedKeys_data();
    void acceptedKeys();
    void results_data();
    void results();
    void randomAgainstOpenSSL();
    void roundTrip_data();
    void roundTrip();
    void inputCodeSwitch_data();
    void inputCodeSwitch();
    void outputCodeSwitch();
    void inputHexGuard_data();
    void inputHexGuard();
    void allocationFailure_data();
    void allocationFailure();
};

void TestDesPage::initTestCase()
{
    // OpenSSL 3 keeps single DES in the legacy provider; loading any provider
    // explicitly stops the default one from loading by itself.
    legacyProviderLoaded = legacyProviders().isLegacyLoaded();
    QVERIFY(legacyProviders().isDefaultLoaded());
    if (legacyProviderLoaded) {
        // FIPS 81 / classic DES example: key 0123456789ABCDEF, "Now is t".
        QCOMPARE(desZeroFilledReference(hexBytes("0123456789ABCDEF"), hexBytes("4E6F772069732074"),
                                        true),
                 hexBytes("3FA40E8A984D4815"));
    }
}

void TestDesPage::startUp()
{
    DebugCapture capture;
    MessageBoxAnswerer boxes;
    DesPage page;

    QVERIFY(page.single->isChecked());
    QVERIFY(!page.triple->isChecked());
    QVERIFY(page.key1->isEnabled());
    QVERIFY(!page.key2->isEnabled());
    QVERIFY(page.keyHex->isChecked());
    QCOMPARE(page.key1->maxLength(), 16);
    QCOMPARE(page.key2->maxLength(), 16);
    QCOMPARE(page.key1->text(), QStringLiteral("9182736455463728"));
    QCOMPARE(page.key2->text(), QStringLiteral("C4E2B9F07D3A5E18"));

    QCOMPARE(page.inCode->count(), 2);
    QCOMPARE(page.inCode->itemText(0), stringCode);
    QCOMPARE(page.inCode->currentText(), hexCode);
    QCOMPARE(page.outCode->count(), 2);
    QCOMPARE(page.outCode->itemText(0), base64Code);
    QCOMPARE(page.outCode->currentText(), hexCode);

    QCOMPARE(page.input->toPlainText(), QStringLiteral("11 22 33 44 55 66 77 88"));
    QCOMPARE(page.inputRow(), QStringList({QStringLiteral("待加解密十六进制："),
                                           QStringLiteral("8"), QStringLiteral("个字节")}));
    QCOMPARE(page.outputRow(), hexRow(0));
    QVERIFY(page.output->isReadOnly());
    QVERIFY(page.output->toPlainText().isEmpty());

    QVERIFY2(boxes.takeNone(), qPrintable(boxes.lastReport()));
    QCOMPARE(capture.warnings(), QStringList());
    QVERIFY(
        !capture.debugLines().join(QLatin1Char('|')).contains(QStringLiteral("Clicked Button")));
}

void TestDesPage::algorithmButtons()
{
    DebugCapture capture;
    DesPage page;
    const QString k1 = page.key1->text();
    const QString k2 = page.key2->text();

    page.triple->click();
    QVERIFY(page.key1->isEnabled());
    QVERIFY(page.key2->isEnabled());
    page.triple->click(); // already checked: same state again
    QVERIFY(page.key2->isEnabled());
    page.single->click();
    QVERIFY(page.key1->isEnabled());
    QVERIFY(!page.key2->isEnabled());
    QCOMPARE(page.key1->text(), k1);
    QCOMPARE(page.key2->text(), k2);

    QCOMPARE(capture.takeDebugLines(), QStringList({QStringLiteral("Clicked Button : 3DES"),
                                                    QStringLiteral("Clicked Button : 3DES"),
                                                    QStringLiteral("Clicked Button : 单DES")}));

    page.keyChar->click();
    page.keyHex->click();
    QCOMPARE(capture.takeDebugLines(),
             QStringList({QStringLiteral("Clicked Button : ") + page.keyChar->text(),
                          QStringLiteral("Clicked Button : ") + page.keyHex->text()}));
}

void TestDesPage::keyFormSwitchCutsSilently()
{
    MessageBoxAnswerer boxes;
    DesPage page;
    page.output->setPlainText(QStringLiteral("AA BB"));

    page.keyChar->click();
    QCOMPARE(page.key1->maxLength(), 8);
    QCOMPARE(page.key2->maxLength(), 8);
    QCOMPARE(page.key1->text(), QStringLiteral("91827364"));
    QCOMPARE(page.key2->text(), QStringLiteral("C4E2B9F0"));
    QVERIFY2(boxes.takeNone(), qPrintable(boxes.lastReport()));

    page.keyHex->click();
    QCOMPARE(page.key1->maxLength(), 16);
    QCOMPARE(page.key1->text(), QStringLiteral("91827364"));
    QVERIFY2(boxes.takeNone(), qPrintable(boxes.lastReport()));

    page.press(true);
    QVERIFY2(boxes.takeOnly(key1LengthHex), qPrintable(boxes.lastReport()));
    QCOMPARE(page.output->toPlainText(), QStringLiteral("AA BB"));

    // In the character form the cut 8-character keys are keys as they stand.
    page.keyChar->click();
    page.press(true);
    QVERIFY2(boxes.takeNone(), qPrintable(boxes.lastReport()));
    QCOMPARE(page.output->toPlainText().size(), 23);
}

void TestDesPage::keyGuard_data()
{
    QTest::addColumn<bool>("hexForm");
    QTest::addColumn<int>("box");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("pasted"); // inserted as one edit after typing
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QStringList>("messages");

    const QStringList none;
    for (int box : {1, 2}) {
        const QByteArray k = "key " + QByteArray::number(box) + ", ";
        QTest::newRow(k + "hex form: g removed") << true << box << "12g"
                                                 << ""
                                                 << "12" << QStringList{invalidHexMessage};
        QTest::newRow(k + "hex form: g typed twice, one message each")
            << true << box << "1g2g"
            << ""
            << "12" << QStringList{invalidHexMessage, invalidHexMessage};
        QTest::newRow(k + "hex form: spaces accepted") << true << box << "12 34 ab"
                                                       << ""
                                                       << "12 34 ab" << none;
        QTest::newRow(k + "hex form: 17th character refused") << true << box << "0123456789ABCDEF0"
                                                              << ""
                                                              << "0123456789ABCDEF" << none;
        QTest::newRow(k + "hex form: xyz pasted") << true << box << "12"
                                                  << "xyz"
                                                  << "12" << QStringList{invalidHexMessage};
        QTest::newRow(k + "char form: space removed") << false << box << "ab c"
                                                      << ""
                                                      << "abc" << QStringList{invalidKeyMessage};
        QTest::newRow(k + "char form: hyphen removed") << false << box << "ab-"
                                                       << ""
                                                       << "ab" << QStringList{invalidKeyMessage};
        QTest::newRow(k + "char form: ninth character refused") << false << box << "abcdefghi"
                                                                << ""
                                                                << "abcdefgh" << none;
        QTest::newRow(k + "char form: letters and digits") << false << box << "aZ09"
                                                           << ""
                                                           << "aZ09" << none;
        QTest::newRow(k + "char form: -+ pasted") << false << box << "ab"
                                                  << "-+"
                                                  << "ab" << QStringList{invalidKeyMessage};
    }
}

void TestDesPage::keyGuard()
{
    QFETCH(bool, hexForm);
    QFETCH(int, box);
    QFETCH(QString, typed);
    QFETCH(QString, pasted);
    QFETCH(QString, expected);
    QFETCH(QStringList, messages);

    MessageBoxAnswerer boxes;
    DesPage page;
    page.setAlgorithm(true); // key 2 takes input only in triple DES
    page.setKeyForm(hexForm);
    QLineEdit *edit = box == 1 ? page.key1 : page.key2;
    edit->clear();
    edit->setFocus();
    QTest::keyClicks(edit, typed);
    if (!pasted.isEmpty())
        edit->insert(pasted);

    QCOMPARE(edit->text(), expected);
    QStringList seen;
    for (const SeenBox &b : boxes.take()) {
        QCOMPARE(b.title, QStringLiteral("错误提示！"));
        QCOMPARE(b.icon, QMessageBox::Critical);
        seen << b.text;
    }
    QCOMPARE(seen, messages);

    // The flag is cleared at the end of each run: the next bad edit speaks again.
    edit->clear();
    edit->insert(hexForm ? QStringLiteral("q") : QStringLiteral("!"));
    QVERIFY2(boxes.takeOnly(hexForm ? invalidHexMessage : invalidKeyMessage),
             qPrintable(boxes.lastReport()));
}

void TestDesPage::refusedPress_data()
{
    QTest::addColumn<bool>("triple");
    QTest::addColumn<bool>("hexForm");
    QTest::addColumn<QString>("key1");
    QTest::addColumn<QString>("key2");
    QTest::addColumn<QString>("input");
    QTest::addColumn<bool>("encrypt");
    QTest::addColumn<QString>("message");

    const QString good1 = QStringLiteral("0123456789ABCDEF");
    const QString good2 = QStringLiteral("FEDCBA9876543210");
    const QString data = QStringLiteral("11 22");
    // A key text that is not hex can only be in a hex-form box when it was
    // typed in the character form; "~" marks such a text below.
    QTest::newRow("key1 empty, hex form")
        << false << true << "" << good2 << data << true << key1NotHex;
    QTest::newRow("key1 not hex after form switch")
        << false << true << "~hello123" << good2 << data << true << key1NotHex;
    QTest::newRow("key1 14 digits")
        << false << true << "0123456789ABCD" << good2 << data << true << key1LengthHex;
    QTest::newRow("key1 13 digits with spaces")
        << false << true << "0123 4567 89ABC" << good2 << data << false << key1LengthHex;
    QTest::newRow("key1 7 characters") << false << false << "abcdefg"
                                       << "" << data << true << key1LengthChar;
    QTest::newRow("key1 empty, char form") << false << false << ""
                                           << "" << data << false << key1LengthChar;
    QTest::newRow("key1 checked before key2") << true << true << ""
                                              << ""
                                              << "" << true << key1NotHex;
    QTest::newRow("key2 empty, hex form")
        << true << true << good1 << "" << data << true << key2NotHex;
    QTest::newRow("key2 not hex after form switch")
        << true << true << good1 << "~ghijklmn" << data << false << key2NotHex;
    QTest::newRow("key2 14 digits")
        << true << true << good1 << "0123456789ABCD" << data << true << key2LengthHex;
    QTest::newRow("key2 7 characters") << true << false << "abcdefgh"
                                       << "abcdefg" << data << true << key2LengthChar;
    QTest::newRow("key2 length checked before equality")
        << true << true << good1 << "0123456789ABCD" << data << true << key2LengthHex;
    QTest::newRow("same keys, hex") << true << true << good1 << good1 << data << true << sameKeys;
    QTest::newRow("same keys, spelled differently")
        << true << true << good1 << "0123456789abcdef" << data << false << sameKeys;
    QTest::newRow("same keys, with zero bytes") << true << true << "0000000000000000"
                                                << "0000000000000000" << data << true << sameKeys;
    QTest::newRow("same keys, char form") << true << false << "abcdefgh"
                                          << "abcdefgh" << data << true << sameKeys;
    QTest::newRow("same keys checked before empty input")
        << true << true << good1 << good1 << "" << true << sameKeys;
    QTest::newRow("encrypt, empty input") << false << true << good1 << ""
                                          << "" << true << nothingToEncrypt;
    QTest::newRow("decrypt, empty input") << false << true << good1 << ""
                                          << "" << false << nothingToDecrypt;
    QTest::newRow("3DES encrypt, empty input") << true << false << "abcdefgh"
                                               << "abcdefgi"
                                               << "" << true << nothingToEncrypt;
}

// Puts the key texts into the boxes; a leading "~" enters the text in the
// character form and then switches back to the hex form.
static void enterKeys(DesPage &page, bool hexForm, QString key1, QString key2)
{
    const bool viaChar1 = key1.startsWith(QLatin1Char('~'));
    const bool viaChar2 = key2.startsWith(QLatin1Char('~'));
    if (viaChar1 || viaChar2 || !hexForm) {
        page.setKeyForm(false);
        if (viaChar1)
            page.key1->setText(key1.mid(1));
        if (viaChar2)
            page.key2->setText(key2.mid(1));
    }
    page.setKeyForm(hexForm);
    if (!viaChar1)
        page.key1->setText(key1);
    if (!viaChar2)
        page.key2->setText(key2);
}

void TestDesPage::refusedPress()
{
    QFETCH(bool, triple);
    QFETCH(bool, hexForm);
    QFETCH(QString, key1);
    QFETCH(QString, key2);
    QFETCH(QString, input);
    QFETCH(bool, encrypt);
    QFETCH(QString, message);

    MessageBoxAnswerer boxes;
    DesPage page;
    page.setAlgorithm(true); // key 2 editable while the keys go in
    enterKeys(page, hexForm, key1, key2);
    page.setAlgorithm(triple);
    page.input->setPlainText(input);
    QVERIFY2(boxes.takeNone(), qPrintable(boxes.lastReport()));

    page.output->setPlainText(QStringLiteral("AA BB CC"));
    page.window.statusBar()->showMessage(QStringLiteral("before"));
    const QStringList outRow = page.outputRow();
    const QStringList inRow = page.inputRow();

    page.press(encrypt);

    QVERIFY2(boxes.takeOnly(message), qPrintable(boxes.lastReport()));
    QCOMPARE(page.output->toPlainText(), QStringLiteral("AA BB CC"));
    QCOMPARE(page.outputRow(), outRow);
    QCOMPARE(page.inputRow(), inRow);
    QCOMPARE(page.status(), QStringLiteral("before"));
    QCOMPARE(page.inCode->currentText(), hexCode);
    QCOMPARE(page.outCode->currentText(), hexCode);
}

void TestDesPage::acceptedKeys_data()
{
    QTest::addColumn<bool>("triple");
    QTest::addColumn<bool>("hexForm");
    QTest::addColumn<QString>("key1");
    QTest::addColumn<QString>("key2");
    QTest::addColumn<QByteArray>("engineKey"); // K1, or K1 || K2

    QTest::newRow("single DES, key 2 empty") << false << true << "9182736455463728"
                                             << "" << hexBytes("9182736455463728");
    QTest::newRow("single DES, key 2 not hex") << false << true << "9182736455463728"
                                               << "~ghijklmn" << hexBytes("9182736455463728");
    QTest::newRow("single DES, key 2 too short") << false << false << "48201759"
                                                 << "482" << QByteArray("48201759");
    QTest::newRow("15 digits: last digit its own byte") << false << true << "918273645546372"
                                                        << "" << hexBytes("9182736455463702");
    QTest::newRow("digits with a space") << false << true << "91827364 5546372"
                                         << "" << hexBytes("9182736455463702");
    QTest::newRow("lower-case digits") << false << true << "c4e2b9f07d3a5e18"
                                       << "" << hexBytes("C4E2B9F07D3A5E18");
    QTest::newRow("character form") << false << false << "48201759"
                                    << "" << QByteArray("48201759");
    QTest::newRow("3DES, differ in first byte")
        << true << true << "0123456789ABCDEF"
        << "1123456789ABCDEF" << hexBytes("0123456789ABCDEF1123456789ABCDEF");
    QTest::newRow("3DES, differ in last byte")
        << true << true << "0123456789ABCDEF"
        << "0123456789ABCD00" << hexBytes("0123456789ABCDEF0123456789ABCD00");
    QTest::newRow("3DES, differ after a zero byte")
        << true << true << "00AA000000000000"
        << "00BB000000000000" << hexBytes("00AA00000000000000BB000000000000");
    QTest::newRow("3DES, differ after zero bytes at the end")
        << true << true << "0000000000000001"
        << "0000000000000002" << hexBytes("00000000000000010000000000000002");
    QTest::newRow("3DES, character form") << true << false << "48201759"
                                          << "48201758" << QByteArray("4820175948201758");
}

void TestDesPage::acceptedKeys()
{
    QFETCH(bool, triple);
    QFETCH(bool, hexForm);
    QFETCH(QString, key1);
    QFETCH(QString, key2);
    QFETCH(QByteArray, engineKey);
    if (!triple && !legacyProviderLoaded)
        QSKIP("OpenSSL's legacy provider (single DES) is not available");

    MessageBoxAnswerer boxes;
    DesPage page;
    page.setAlgorithm(true);
    enterKeys(page, hexForm, key1, key2);
    page.setAlgorithm(triple);
    QVERIFY2(boxes.takeNone(), qPrintable(boxes.lastReport()));

    const QByteArray plain = hexBytes("0011223344556677889900");
    page.input->setPlainText(spacedHex(plain));
    page.press(true);
    QVERIFY2(boxes.takeNone(), qPrintable(boxes.lastReport()));
    QCOMPARE(page.output->toPlainText(), spacedHex(desZeroFilledReference(engineKey, plain, true)));
    QCOMPARE(page.status(), QStringLiteral("加密完成！"));
}

void TestDesPage::results_data()
{
    QTest::addColumn<bool>("triple");
    QTest::addColumn<bool>("encrypt");
    QTest::addColumn<QString>("inCode");
    QTest::addColumn<QString>("outCode");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QByteArray>("inputBytes");
    QTest::addColumn<int>("resultBytes");

    QTest::newRow("hello to hex") << false << true << stringCode << hexCode << "hello"
                                  << QByteArray("hello") << 8;
    QTest::newRow("hello to Base64")
        << false << true << stringCode << base64Code << "hello" << QByteArray("hello") << 8;
    QTest::newRow("3DES hello to Base64")
        << true << true << stringCode << base64Code << "hello" << QByteArray("hello") << 8;
    QTest::newRow("8 bytes stay 8")
        << false << true << hexCode << hexCode << "11 22 33 44 55 66 77 88"
        << hexBytes("1122334455667788") << 8;
    QTest::newRow("9 bytes become 16")
        << false << true << hexCode << hexCode << "11 22 33 44 55 66 77 88 99"
        << hexBytes("112233445566778899") << 16;
    QTest::newRow("3DES 9 bytes become 16")
        << true << true << hexCode << hexCode << "112233445566778899"
        << hexBytes("112233445566778899") << 16;
    QTest::newRow("a space as a string")
        << false << true << stringCode << hexCode << " " << QByteArray(" ") << 8;
    QTest::newRow("a space as hex: no bytes")
        << false << true << hexCode << hexCode << " " << QByteArray() << 0;
    QTest::newRow("a space as hex to Base64: no bytes")
        << false << true << hexCode << base64Code << " " << QByteArray() << 0;
    QTest::newRow("Chinese text (UTF-8)") << false << true << stringCode << hexCode << "中文"
                                          << QByteArray("\xE4\xB8\xAD\xE6\x96\x87") << 8;
    QTest::newRow("decrypt 5 bytes")
        << false << false << hexCode << hexCode << "68 65 6C 6C 6F" << hexBytes("68656C6C6F") << 8;
    QTest::newRow("3DES decrypt 16 bytes to Base64")
        << true << false << hexCode << base64Code << "00112233445566778899AABBCCDDEEFF"
        << hexBytes("00112233445566778899AABBCCDDEEFF") << 16;
    QTest::newRow("decrypt string bytes")
        << false << false << stringCode << hexCode << "hello" << QByteArray("hello") << 8;
}

void TestDesPage::results()
{
    QFETCH(bool, triple);
    QFETCH(bool, encrypt);
    QFETCH(QString, inCode);
    QFETCH(QString, outCode);
    QFETCH(QString, input);
    QFETCH(QByteArray, inputBytes);
    QFETCH(int, resultBytes);
    if (!triple && !legacyProviderLoaded)
        QSKIP("OpenSSL's legacy provider (single DES) is not available");

    MessageBoxAnswerer boxes;
    DesPage page;
    page.setAlgorithm(triple);
    page.inCode->setCurrentText(inCode);
    page.outCode->setCurrentText(outCode);
    page.input->setPlainText(input);
    page.output->setPlainText(QStringLiteral("AA")); // a previous result, to be overwritten

    page.press(encrypt);
    QVERIFY2(boxes.takeNone(), qPrintable(boxes.lastReport()));
    QCOMPARE(page.status(), encrypt ? QStringLiteral("加密完成！") : QStringLiteral("解密完成！"));

    const QByteArray key =
        triple ? hexBytes("9182736455463728C4E2B9F07D3A5E18") : hexBytes("9182736455463728");
    const QByteArray expected = desZeroFilledReference(key, inputBytes, encrypt);
    QCOMPARE(expected.size(), resultBytes);
    if (outCode == hexCode) {
        QCOMPARE(page.output->toPlainText(), spacedHex(expected));
        QCOMPARE(page.outputRow(), hexRow(resultBytes));
    } else {
        const QString base64 = QString::fromLatin1(expected.toBase64());
        QCOMPARE(page.output->toPlainText(), base64);
        QCOMPARE(page.outputRow(), base64Row(int(base64.size())));
    }
    if (input == QStringLiteral("hello") && outCode == base64Code)
        QCOMPARE(page.outputRow(), base64Row(12));
}

void TestDesPage::randomAgainstOpenSSL()
{
    if (!legacyProviderLoaded)
        QSKIP("OpenSSL's legacy provider (single DES) is not available");

    MessageBoxAnswerer boxes;
    DesPage page;
    QRandomGenerator random(20240513);
    for (int round = 0; round < 48; ++round) {
        const bool triple = round % 2;
        const bool encrypt = (round / 2) % 2;
        const bool toBase64 = (round / 4) % 2;
        QByteArray k1(8, '\0');
        QByteArray k2(8, '\0');
        random.fillRange(reinterpret_cast<quint32 *>(k1.data()), 2);
        random.fillRange(reinterpret_cast<quint32 *>(k2.data()), 2);
        QByteArray data(random.bounded(0, 41), '\0');
        for (char &c : data)
            c = char(random.bounded(256));
        if (data.isEmpty())
            data = "x"; // an empty text is refused; that is tested elsewhere

        page.setAlgorithm(triple);
        page.inCode->setCurrentText(hexCode);
        page.outCode->setCurrentText(toBase64 ? base64Code : hexCode);
        page.key1->setText(QString::fromLatin1(k1.toHex()));
        page.key2->setText(QString::fromLatin1(k2.toHex()));
        page.input->setPlainText(QString::fromLatin1(data.toHex()));
        page.press(encrypt);

        const QString where =
            QStringLiteral("round %1 key1 %2 key2 %3 data %4")
                .arg(round)
                .arg(QString::fromLatin1(k1.toHex()), QString::fromLatin1(k2.toHex()),
                     QString::fromLatin1(data.toHex()));
        if (triple && k1 == k2) {
            QVERIFY2(boxes.takeOnly(sameKeys), qPrintable(where));
            continue;
        }
        QVERIFY2(boxes.takeNone(), qPrintable(where + boxes.lastReport()));
        const QByteArray expected = desZeroFilledReference(triple ? k1 + k2 : k1, data, encrypt);
        const QString shown =
            toBase64 ? QString::fromLatin1(expected.toBase64()) : spacedHex(expected);
        QVERIFY2(page.output->toPlainText() == shown, qPrintable(where));
    }
}

void TestDesPage::roundTrip_data()
{
    QTest::addColumn<bool>("triple");
    QTest::newRow("single DES") << false;
    QTest::newRow("3DES") << true;
}

void TestDesPage::roundTrip()
{
    QFETCH(bool, triple);

    MessageBoxAnswerer boxes;
    DesPage page;
    page.setAlgorithm(triple);
    page.inCode->setCurrentText(stringCode);
    page.input->setPlainText(QStringLiteral("hello"));
    page.press(true);
    const QString cipherText = page.output->toPlainText();
    QCOMPARE(cipherText.size(), 23);

    page.input->setPlainText(cipherText);
    page.inCode->setCurrentText(hexCode);
    QCOMPARE(page.input->toPlainText(), cipherText);
    page.press(false);
    QVERIFY2(boxes.takeNone(), qPrintable(boxes.lastReport()));
    QCOMPARE(page.output->toPlainText(), QStringLiteral("68 65 6C 6C 6F 00 00 00"));
    QCOMPARE(page.outputRow(), hexRow(8));
    QCOMPARE(page.status(), QStringLiteral("解密完成！"));
}

void TestDesPage::inputCodeSwitch_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("asHex");
    QTest::addColumn<int>("bytes");
    QTest::addColumn<int>("backAsString"); // UTF-8 bytes of the hex text

    QTest::newRow("hello: replaced by its UTF-8 bytes") << "hello"
                                                        << "68 65 6C 6C 6F" << 5 << 14;
    QTest::newRow("abc: read as hex digits") << "abc"
                                             << "AB 0C" << 2 << 5;
    QTest::newRow("lower-case hex normalised") << " a1b2\nc3 "
                                               << "A1 B2 C3" << 3 << 8;
    QTest::newRow("Chinese character: three bytes") << "中"
                                                    << "E4 B8 AD" << 3 << 8;
    QTest::newRow("empty") << ""
                           << "" << 0 << 0;
}

void TestDesPage::inputCodeSwitch()
{
    QFETCH(QString, text);
    QFETCH(QString, asHex);
    QFETCH(int, bytes);
    QFETCH(int, backAsString);

    MessageBoxAnswerer boxes;
    DesPage page;
    page.inCode->setCurrentText(stringCode);
    page.input->setPlainText(text);
    QCOMPARE(page.inputRow(),
             QStringList({QStringLiteral("待加解密字符串："), QString::number(text.toUtf8().size()),
                          QStringLiteral("位")}));

    page.inCode->setCurrentText(hexCode);
    QCOMPARE(page.input->toPlainText(), asHex);
    QCOMPARE(page.inputRow(), QStringList({QStringLiteral("待加解密十六进制："),
                                           QString::number(bytes), QStringLiteral("个字节")}));

    page.inCode->setCurrentText(stringCode);
    QCOMPARE(page.input->toPlainText(), asHex);
    QCOMPARE(page.inputRow(), QStringList({QStringLiteral("待加解密字符串："),
                                           QString::number(backAsString), QStringLiteral("位")}));
    QVERIFY2(boxes.takeNone(), qPrintable(boxes.lastReport()));
}

void TestDesPage::outputCodeSwitch()
{
    MessageBoxAnswerer boxes;
    DesPage page;
    page.inCode->setCurrentText(stringCode);
    page.input->setPlainText(QStringLiteral("hello"));
    page.press(true);
    const QString hex = page.output->toPlainText();
    QCOMPARE(page.outputRow(), hexRow(8));

    page.outCode->setCurrentText(base64Code);
    const QString base64 = page.output->toPlainText();
    QCOMPARE(base64, QString::fromLatin1(QByteArray::fromHex(hex.toLatin1()).toBase64()));
    QCOMPARE(base64.size(), 12);
    QCOMPARE(page.outputRow(), base64Row(12));

    page.outCode->setCurrentText(hexCode);
    QCOMPARE(page.output->toPlainText(), hex);
    QCOMPARE(page.outputRow(), hexRow(8));

    // An encryption with the Base64 code shows what the switch showed.
    page.outCode->setCurrentText(base64Code);
    page.press(true);
    QCOMPARE(page.output->toPlainText(), base64);
    QVERIFY2(boxes.takeNone(), qPrintable(boxes.lastReport()));
}

void TestDesPage::inputHexGuard_data()
{
    QTest::addColumn<QString>("inCode");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("messages");

    const QString sample = QStringLiteral("11 22 33 44 55 66 77 88");
    QTest::newRow("x typed after valid hex") << hexCode << "x"
                                             << "" << sample << 1;
    QTest::newRow("x and y typed: one message each") << hexCode << "xy"
                                                     << "" << sample << 2;
    QTest::newRow("digits and a space typed") << hexCode << " 9a"
                                              << "" << sample + QStringLiteral(" 9a") << 0;
    QTest::newRow("xyz pasted") << hexCode << ""
                                << "xyz" << sample << 1;
    QTest::newRow("digits then bad characters pasted") << hexCode << ""
                                                       << "99xyz" << sample + "99" << 1;
    QTest::newRow("20,000 invalid characters pasted")
        << hexCode << "" << QString(20000, QLatin1Char('x')) << sample << 1;
    QTest::newRow("string code: no guard") << stringCode << "x"
                                           << "yz" << sample + "xyz" << 0;
}

void TestDesPage::inputHexGuard()
{
    QFETCH(QString, inCode);
    QFETCH(QString, typed);
    QFETCH(QString, pasted);
    QFETCH(QString, expected);
    QFETCH(int, messages);

    MessageBoxAnswerer boxes;
    DesPage page;
    page.inCode->setCurrentText(inCode);
    page.input->setFocus();
    page.moveInputCursorToEnd();
    QTest::keyClicks(page.input, typed);
    if (!pasted.isEmpty())
        page.input->insertPlainText(pasted);

    QCOMPARE(page.input->toPlainText(), expected);
    const QList<SeenBox> seen = boxes.take();
    QCOMPARE(seen.size(), messages);
    for (const SeenBox &b : seen)
        QCOMPARE(b,
                 (SeenBox{QStringLiteral("错误提示！"), QMessageBox::Critical, invalidHexMessage}));
    if (inCode == hexCode) {
        QCOMPARE(page.inputRow(),
                 QStringList({QStringLiteral("待加解密十六进制："),
                              QString::number(QByteArray::fromHex(expected.toLatin1()).size()),
                              QStringLiteral("个字节")}));
    } else {
        QCOMPARE(page.inputRow(),
                 QStringList({QStringLiteral("待加解密字符串："), QString::number(expected.size()),
                              QStringLiteral("位")}));
    }
}

void TestDesPage::allocationFailure_data()
{
    QTest::addColumn<bool>("triple");
    QTest::addColumn<QString>("outCode");
    QTest::addColumn<QByteArray>("buffer");
    QTest::addColumn<QString>("debugLine");
    QTest::addColumn<QString>("status");

    // The working buffers of a press: the key copies, the context's storage,
    // the result and the Base64 text.
    QTest::newRow("key1") << false << hexCode << QByteArray("key1")
                          << "Unable to allocate memory for key1\n"
                          << "before";
    QTest::newRow("key2") << true << hexCode << QByteArray("key2")
                          << "Unable to allocate memory for key2\n"
                          << "before";
    QTest::newRow("context") << false << hexCode << QByteArray("desContext") << ""
                             << "before";
    QTest::newRow("encryptStr") << false << hexCode << QByteArray("encryptStr")
                                << "Unable to allocate memory for encryptStr\n"
                                << "before";
    QTest::newRow("3DES encryptStr") << true << hexCode << QByteArray("encryptStr")
                                     << "Unable to allocate memory for encryptStr\n"
                                     << "before";
    QTest::newRow("base64") << false << base64Code << QByteArray("base64")
                            << "Unable to allocate memory for base64\n"
                            << "加密中...";
}

void TestDesPage::allocationFailure()
{
    QFETCH(bool, triple);
    QFETCH(QString, outCode);
    QFETCH(QByteArray, buffer);
    QFETCH(QString, debugLine);
    QFETCH(QString, status);

    MessageBoxAnswerer boxes;
    DesPage page;
    page.setAlgorithm(triple);
    page.outCode->setCurrentText(outCode);
    page.output->setPlainText(QStringLiteral("previous"));
    page.window.statusBar()->showMessage(QStringLiteral("before"));

    DebugCapture capture;
    bool fired;
    {
        const BufferRefusal refusal(buffer.constData());
        page.press(true);
        fired = refusal.fired();
    }
    QVERIFY(fired);

    QCOMPARE(capture.debugLines(), debugLine.isEmpty() ? QStringList() : QStringList{debugLine});
    QCOMPARE(page.output->toPlainText(), QStringLiteral("previous"));
    QCOMPARE(page.status(), status);
    QVERIFY2(boxes.takeNone(), qPrintable(boxes.lastReport()));

    // The page is intact: the next press works.
    page.press(true);
    QCOMPARE(page.status(), QStringLiteral("加密完成！"));
    QVERIFY(page.output->toPlainText() != QStringLiteral("previous"));
}

QTEST_MAIN(TestDesPage)
#include "tst_despage.moc"
