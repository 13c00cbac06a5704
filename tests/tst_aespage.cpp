// The AES page driven through its widgets: counters, key checks, encryption
// against OpenSSL, decryption paths, output re-rendering.
#include "app/mainwindow.h"
#include "app/pagememory.h"
#include "enginereference.h"
#include "support/bufferrefusal.h"
#include "support/debugcapture.h"
#include "support/messageboxanswerer.h"
#include "support/pagefixture.h"

#include <QAbstractTextDocumentLayout>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QStatusBar>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextLayout>

namespace {

const QString keyMessage = QStringLiteral("密钥长度只允许为128、192或256位！");
const QString invalidMessage = QStringLiteral(
    "待解密数据不是有效的base64字符串或十六进制。\n十六进制举例：0x12,0x34，则填1234。");
const QString failedStatus = QStringLiteral("小主，我尽力了，实在无法解密！！！");
const QString defaultIv = QStringLiteral("7306158249371560");

QString randomPrintable(QRandomGenerator &rng, int length)
{
    QString s;
    for (int i = 0; i < length; ++i)
        s += QChar(char16_t(0x21 + rng.bounded(0x7e - 0x21 + 1)));
    return s;
}

struct AesPage : PageFixture
{
    QTextEdit *enc = find<QTextEdit>("txtEncAES");
    QTextEdit *dec = find<QTextEdit>("txtDecAES");
    QLineEdit *key = find<QLineEdit>("txtKeyAES");
    QLineEdit *keyLen = find<QLineEdit>("txtKeyLenAES");
    QLineEdit *iv = find<QLineEdit>("txtKeyOffsetAES");
    QComboBox *alg = find<QComboBox>("cboxAlgAES");
    QComboBox *padding = find<QComboBox>("cboxPaddingAES");
    QComboBox *code = find<QComboBox>("cboxCModeAES");
    QPushButton *encrypt = find<QPushButton>("btnEncAES");
    QPushButton *decrypt = find<QPushButton>("btnDecAES");
    QLabel *encNum = find<QLabel>("labEncNumAES");

    void setup(bool cbc, const QString &keyText, bool base64Out, const QString &ivText = QString())
    {
        alg->setCurrentIndex(cbc ? 0 : 1);
        key->setText(keyText);
        iv->setText(ivText);
        code->setCurrentIndex(base64Out ? 0 : 1);
    }
    QString run(QPushButton *button, const QString &input)
    {
        enc->setPlainText(input);
        statuses.clear();
        QTest::mouseClick(button, Qt::LeftButton);
        return dec->toPlainText();
    }
    QStringList counter() const { return counterRow("Dec", "AES"); }
};

QByteArray fromHexText(const QString &text)
{
    return QByteArray::fromHex(text.toLatin1());
}

} // namespace

class TestAesPage : public QObject
{
    Q_OBJECT

private slots:
    void startUp();
    void keyLength_data();
    void keyLength();
    void roundTrip_data();
    void roundTrip();
    void matchesOpenSSL_data();
    void matchesOpenSSL();
    void ivFallsBackToDefault_data();
    void ivFallsBackToDefault();
    void paddingEntriesAgree();
    void reRenderSwitch();
    void reRenderEmptyBox();
    void refusedInput_data();
    void refusedInput();
    void decryptionFailure_data();
    void decryptionFailure();
    void evenBlockHexDecryptsAsHex();
    void lineWrappedBase64();
    void decryptOwnOutput_data();
    void decryptOwnOutput();
    void allocationFailure_data();
    void allocationFailure();
    void decryptBeyondTheLimit_data();
    void decryptBeyondTheLimit();
};

void TestAesPage::startUp()
{
    AesPage page;
    QCOMPARE(page.encNum->text(), QStringLiteral("74"));
    QCOMPARE(page.counter(), counterTexts("解密字符串：", 0, "位"));
    QCOMPARE(page.keyLen->text(), QStringLiteral("128"));
    QVERIFY(page.dec->isReadOnly());
    QVERIFY(!page.enc->isReadOnly());
}

void TestAesPage::keyLength_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("bits");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("16 ASCII, AES-128") << QStringLiteral("0123456789abcdef") << "128" << true;
    QTest::newRow("24 ASCII, AES-192")
        << QStringLiteral("0123456789abcdefghijklmn") << "192" << true;
    QTest::newRow("32 ASCII, AES-256")
        << QStringLiteral("0123456789abcdefghijklmnopqrstuv") << "256" << true;
    QTest::newRow("8 Chinese = 24 bytes")
        << QStringLiteral("加解密工具小主你好").left(8) << "192" << true;
    QTest::newRow("17 ASCII") << QStringLiteral("0123456789abcdefg") << "136" << false;
    QTest::newRow("empty") << QString() << "0" << false;
    QTest::newRow("6 Chinese = 18 bytes") << QStringLiteral("加解密工具好") << "144" << false;
}

void TestAesPage::keyLength()
{
    QFETCH(QString, key);
    QFETCH(QString, bits);
    QFETCH(bool, accepted);

    for (bool encrypting : {true, false}) {
        AesPage page;
        page.key->setText(key);
        QCOMPARE(page.keyLen->text(), bits);
        // Something to decrypt: the page's own cipher text, under this key when it is usable.
        page.setup(true, accepted ? key : QStringLiteral("0123456789abcdef"), true);
        page.run(page.encrypt, QStringLiteral("abc"));
        const QString cipherText = page.dec->toPlainText();
        page.key->setText(key);

        MessageBoxAnswerer boxes;
        DebugCapture debug;
        page.dec->setPlainText(QStringLiteral("before"));
        page.enc->setPlainText(encrypting ? QStringLiteral("abc") : cipherText);
        const QStringList counterBefore = page.counter();
        const QString encNumBefore = page.encNum->text();
        page.bar->clearMessage();
        page.statuses.clear();
        QTest::mouseClick(encrypting ? page.encrypt : page.decrypt, Qt::LeftButton);
        const QString out = page.dec->toPlainText();
        if (accepted) {
            QVERIFY2(boxes.takeNone(), qPrintable(boxes.lastReport()));
            QCOMPARE(out, encrypting ? cipherText : QStringLiteral("abc"));
            QCOMPARE(page.statusTexts().last(),
                     encrypting ? QStringLiteral("加密完成！") : QStringLiteral("解密完成！"));
        } else {
            QVERIFY2(boxes.takeOnly(keyMessage), qPrintable(boxes.lastReport()));
            QCOMPARE(out, QStringLiteral("before"));
            QCOMPARE(page.counter(), counterBefore);
            QCOMPARE(page.encNum->text(), encNumBefore);
            QVERIFY(page.statusTexts().isEmpty());
            QCOMPARE(page.bar->currentMessage(), QString());
        }
        QVERIFY(debug.debugLines().isEmpty());
    }
}

void TestAesPage::roundTrip_data()
{
    QTest::addColumn<bool>("cbc");
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("base64Out");
    QTest::addColumn<QString>("plain");

    const QString keys[] = {QStringLiteral("k16-abcdefghijkl"),
                            QStringLiteral("k24-abcdefghijklmnopqrst"),
                            QStringLiteral("k32-abcdefghijklmnopqrstuvwxyz01")};
    // 3 bytes: one block; 16 bytes: a whole padding block (two blocks, even);
    // 40 bytes of Chinese and ASCII: three blocks.
    const QString plains[] = {QStringLiteral("abc"), QStringLiteral("0123456789ABCDEF"),
                              QStringLiteral("高级加密标准AES, 16 bytes+")};
    for (bool cbc : {true, false})
        for (const QString &key : keys)
            for (bool base64Out : {true, false})
                for (const QString &plain : plains) {
                    const QByteArray name = QStringLiteral("%1 AES-%2 %3 %4 bytes")
                                                .arg(cbc ? "CBC" : "ECB")
                                                .arg(key.size() * 8)
                                                .arg(base64Out ? "base64" : "hex")
                                                .arg(plain.toUtf8().size())
                                                .toUtf8();
                    QTest::newRow(name.constData()) << cbc << key << base64Out << plain;
                }
}

void TestAesPage::roundTrip()
{
    QFETCH(bool, cbc);
    QFETCH(QString, key);
    QFETCH(bool, base64Out);
    QFETCH(QString, plain);

    AesPage page;
    MessageBoxAnswerer boxes;
    page.setup(cbc, key, base64Out, QStringLiteral("an IV, 16 chars."));
    const QString cipherText = page.run(page.encrypt, plain);
    const qsizetype bytes = 16 * (plain.toUtf8().size() / 16 + 1);
    QCOMPARE(page.statusTexts(),
             QStringList({QStringLiteral("加密中..."), QStringLiteral("加密完成！")}));
    if (base64Out) {
        QCOMPARE(cipherText.size(), 4 * ((bytes + 2) / 3));
        QCOMPARE(page.counter(), counterTexts("解密字符串：", cipherText.size(), "位"));
    } else {
        QCOMPARE(cipherText.size(), 2 * bytes);
        QCOMPARE(cipherText, cipherText.toUpper());
        QVERIFY(!cipherText.contains(QLatin1Char(' ')));
        QCOMPARE(page.counter(), counterTexts("解密十六进制：", bytes, "个字节"));
    }

    // Whatever the output code shows, decryption reports the plain text's size.
    page.code->setCurrentIndex(base64Out ? 1 : 0);
    QCOMPARE(page.run(page.decrypt, cipherText), plain);
    QCOMPARE(page.counter(), counterTexts("解密字符串：", plain.toUtf8().size(), "位"));
    QCOMPARE(page.statusTexts().last(), QStringLiteral("解密完成！"));
    QVERIFY2(boxes.takeNone(), qPrintable(boxes.lastReport()));
}

void TestAesPage::matchesOpenSSL_data()
{
    QTest::addColumn<bool>("cbc");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("iv");
    QTest::addColumn<QString>("plain");

    QRandomGenerator rng(20240601);
    const int keySizes[] = {16, 24, 32};
    const int lengths[] = {0, 1, 15, 16, 17, 31, 32, 33, 100, 1000};
    int n = 0;
    for (bool cbc : {true, false})
        for (int keySize : keySizes)
            for (int length : lengths) {
                // An empty box is refused; the empty row is a single space.
                const QString plain = length ? randomPrintable(rng, length) : QStringLiteral(" ");
                QTest::addRow("random %d: %s AES-%d, %d bytes", ++n, cbc ? "CBC" : "ECB",
                              keySize * 8, int(plain.size()))
                    << cbc << randomPrintable(rng, keySize) << randomPrintable(rng, 16) << plain;
            }
}

void TestAesPage::matchesOpenSSL()
{
    QFETCH(bool, cbc);
    QFETCH(QString, key);
    QFETCH(QString, iv);
    QFETCH(QString, plain);

    AesPage page;
    page.setup(cbc, key, false, iv);
    const QByteArray ours = fromHexText(page.run(page.encrypt, plain));
    const QByteArray theirs = aesReference(true, cbc, key.toUtf8(), iv.toUtf8(), plain.toUtf8());
    QCOMPARE(ours.toHex(), theirs.toHex());

    page.setup(cbc, key, true, iv);
    QCOMPARE(QByteArray::fromBase64(page.run(page.encrypt, plain).toLatin1()).toHex(),
             theirs.toHex());
}

void TestAesPage::ivFallsBackToDefault_data()
{
    QTest::addColumn<bool>("cbc");
    QTest::addColumn<QString>("iv");
    QTest::newRow("CBC, empty IV") << true << QString();
    QTest::newRow("CBC, 15 characters") << true << QStringLiteral("123456789012345");
    QTest::newRow("CBC, 17 characters") << true << QStringLiteral("12345678901234567");
    QTest::newRow("ECB, 16 other characters") << false << QStringLiteral("abcdefghijklmnop");
}

void TestAesPage::ivFallsBackToDefault()
{
    QFETCH(bool, cbc);
    QFETCH(QString, iv);
    const QString key = QStringLiteral("0123456789abcdef");
    const QString plain = QStringLiteral("The IV only chains CBC blocks.");

    AesPage page;
    page.setup(cbc, key, false, defaultIv);
    const QString withDefault = page.run(page.encrypt, plain);
    page.setup(cbc, key, false, iv);
    QCOMPARE(page.run(page.encrypt, plain), withDefault);
    QCOMPARE(fromHexText(withDefault).toHex(),
             aesReference(true, cbc, key.toUtf8(), defaultIv.toUtf8(), plain.toUtf8()).toHex());
}

void TestAesPage::paddingEntriesAgree()
{
    AesPage page;
    QCOMPARE(page.padding->count(), 2);
    for (bool cbc : {true, false}) {
        page.setup(cbc, QStringLiteral("0123456789abcdef"), true);
        page.padding->setCurrentIndex(0);
        const QString pkcs5 = page.run(page.encrypt, QStringLiteral("padding"));
        page.padding->setCurrentIndex(1);
        QCOMPARE(page.run(page.encrypt, QStringLiteral("padding")), pkcs5);
    }
}

void TestAesPage::reRenderSwitch()
{
    AesPage page;
    // ECB, "abc": one block, 24 Base64 characters.
    page.setup(false, QStringLiteral("0123456789abcdef"), true);
    const QString base64 = page.run(page.encrypt, QStringLiteral("abc"));
    QCOMPARE(base64.size(), 24);
    QCOMPARE(page.counter(), counterTexts("解密字符串：", 24, "位"));

    page.code->setCurrentIndex(1);
    const QString spaced = page.dec->toPlainText();
    QCOMPARE(spaced.size(), 16 * 3 - 1);
    QCOMPARE(spaced.split(QLatin1Char(' ')).size(), 16);
    QCOMPARE(fromHexText(QString(spaced).remove(QLatin1Char(' '))),
             QByteArray::fromBase64(base64.toLatin1()));
    QCOMPARE(page.counter(), counterTexts("解密十六进制：", 16, "个字节"));

    page.code->setCurrentIndex(0);
    QCOMPARE(page.dec->toPlainText(), base64);
    QCOMPARE(page.counter(), counterTexts("解密字符串：", 24, "位"));

    // Unspaced hex straight from an encryption converts to the same Base64.
    page.code->setCurrentIndex(1);
    const QString hex = page.run(page.encrypt, QStringLiteral("abc"));
    QCOMPARE(hex, QString(spaced).remove(QLatin1Char(' ')));
    page.code->setCurrentIndex(0);
    QCOMPARE(page.dec->toPlainText(), base64);
    QCOMPARE(page.counter(), counterTexts("解密字符串：", 24, "位"));
}

void TestAesPage::reRenderEmptyBox()
{
    AesPage page;
    page.code->setCurrentIndex(1);
    QCOMPARE(page.dec->toPlainText(), QString());
    QCOMPARE(page.counter(), counterTexts("解密十六进制：", 0, "个字节"));
    page.code->setCurrentIndex(0);
    QCOMPARE(page.dec->toPlainText(), QString());
    QCOMPARE(page.counter(), counterTexts("解密字符串：", 0, "位"));
}

void TestAesPage::refusedInput_data()
{
    QTest::addColumn<bool>("encrypting");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("message");
    QTest::newRow("encrypt, empty box")
        << true << QString() << QStringLiteral("没有可加密的数据！\n请输入后，继续操作。");
    QTest::newRow("decrypt, empty box")
        << false << QString() << QStringLiteral("没有可解密的数据！\n请输入后，继续操作。");
    QTest::newRow("decrypt, comma") << false << QStringLiteral("12,34") << invalidMessage;
    QTest::newRow("decrypt, 0x prefix") << false << QStringLiteral("0x12345678") << invalidMessage;
    QTest::newRow("decrypt, not a multiple of four")
        << false << QStringLiteral("YWJ") << invalidMessage;
}

void TestAesPage::refusedInput()
{
    QFETCH(bool, encrypting);
    QFETCH(QString, input);
    QFETCH(QString, message);

    AesPage page;
    MessageBoxAnswerer boxes;
    page.dec->setPlainText(QStringLiteral("before"));
    const QStringList counterBefore = page.counter();
    page.run(encrypting ? page.encrypt : page.decrypt, input);
    QVERIFY2(boxes.takeOnly(message), qPrintable(boxes.lastReport()));
    QCOMPARE(page.dec->toPlainText(), QStringLiteral("before"));
    QCOMPARE(page.counter(), counterBefore);
    QVERIFY(page.statusTexts().isEmpty());
}

void TestAesPage::decryptionFailure_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QStringList>("statuses");
    const QString base64 = QStringLiteral("base64模式解密中...");
    const QString hex = QStringLiteral("十六进制模式解密中...");

    QTest::newRow("Base64 of 3 bytes, not hex")
        << QStringLiteral("YWJj") << QStringList{base64, hex, failedStatus};
    QTest::newRow("hex of 2 bytes")
        << QStringLiteral("AAAA") << QStringList{base64, hex, failedStatus};
    // One block of zeros never passes the padding check with this key.
    QTest::newRow("one zero block as hex, wrong key")
        << QString(32, QLatin1Char('0')) << QStringList{hex, failedStatus};
}

void TestAesPage::decryptionFailure()
{
    QFETCH(QString, input);
    QFETCH(QStringList, statuses);

    const QString key = QStringLiteral("0123456789abcdef");
    if (input.startsWith(QLatin1Char('0')))
        QVERIFY(aesLastDecryptedByte(true, key.toUtf8(), defaultIv.toUtf8(), QByteArray(16, '\0')) >
                16);

    AesPage page;
    MessageBoxAnswerer boxes;
    page.setup(true, key, true);
    page.dec->setPlainText(QStringLiteral("an earlier result"));
    QCOMPARE(page.run(page.decrypt, input), QString());
    QCOMPARE(page.counter(), counterTexts("解密字符串：", 0, "位"));
    QCOMPARE(page.statusTexts(), statuses);
    QCOMPARE(page.bar->currentMessage(), failedStatus);
    QVERIFY2(boxes.takeNone(), qPrintable(boxes.lastReport()));
}

// Hex cipher text with an even number of blocks also reads as whole blocks
// of Base64. Pick texts whose Base64 reading passes the padding check by
// chance: the page must still decrypt them as the hex they are.
void TestAesPage::evenBlockHexDecryptsAsHex()
{
    const QByteArray key = "0123456789abcdef";
    int found = 0;
    for (int i = 0; i < 400 && found < 3; ++i) {
        const QByteArray plain = QByteArray("sample text number ") + QByteArray::number(i);
        QCOMPARE(plain.size() / 16, 1); // two blocks of cipher text
        const QByteArray cipher = aesReference(true, true, key, defaultIv.toUtf8(), plain);
        const QByteArray hexText = cipher.toHex().toUpper();
        const QByteArray asBase64 = QByteArray::fromBase64(hexText);
        QCOMPARE(asBase64.size(), 48);
        if (aesLastDecryptedByte(true, key, defaultIv.toUtf8(), asBase64) > 16)
            continue;
        ++found;

        AesPage page;
        MessageBoxAnswerer boxes;
        page.setup(true, QString::fromLatin1(key), true);
        // Spaces and line breaks do not change what the text is.
        const QString typed = QString::fromLatin1(hexText.left(20)) + QStringLiteral(" \n ") +
                              QString::fromLatin1(hexText.mid(20));
        QCOMPARE(page.run(page.decrypt, typed), QString::fromLatin1(plain));
        QCOMPARE(page.statusTexts(), QStringList({QStringLiteral("十六进制模式解密中..."),
                                                  QStringLiteral("解密完成！")}));
        QCOMPARE(page.counter(), counterTexts("解密字符串：", plain.size(), "位"));
        QVERIFY2(boxes.takeNone(), qPrintable(boxes.lastReport()));
    }
    QCOMPARE(found, 3);
}

void TestAesPage::lineWrappedBase64()
{
    const QString plain =
        QStringLiteral("A secret of some length, long enough for several lines of Base64 "
                       "once it is encrypted and encoded: 高级加密标准。")
            .repeated(2);
    AesPage page;
    MessageBoxAnswerer boxes;
    page.setup(true, QStringLiteral("0123456789abcdefghijklmnopqrstuv"), true);
    const QString base64 = page.run(page.encrypt, plain);
    QVERIFY(base64.size() > 128);

    for (const QString &newline : {QStringLiteral("\n"), QStringLiteral("\r\n")}) {
        QString wrapped;
        for (int i = 0; i < base64.size(); i += 64)
            wrapped += base64.mid(i, 64) + newline;
        QCOMPARE(page.run(page.decrypt, wrapped), plain);
        QCOMPARE(page.statusTexts(), QStringList({QStringLiteral("base64模式解密中..."),
                                                  QStringLiteral("解密完成！")}));
    }
    QVERIFY2(boxes.takeNone(), qPrintable(boxes.lastReport()));
}

void TestAesPage::decryptOwnOutput_data()
{
    QTest::addColumn<bool>("cbc");
    QTest::addColumn<bool>("base64Out");
    QTest::addColumn<QString>("status");
    QTest::newRow("hex, CBC") << true << false << QStringLiteral("十六进制模式解密中...");
    QTest::newRow("hex, ECB") << false << false << QStringLiteral("十六进制模式解密中...");
    QTest::newRow("Base64, CBC") << true << true << QStringLiteral("base64模式解密中...");
}

// The round trip users make: the page's own output pasted back into the
// input box and decrypted while the result box still shows it. The result
// replaces the cipher text under a held layout; the box must end laid out at
// its own width, scroll bars as they were set up, showing the plain text.
void TestAesPage::decryptOwnOutput()
{
    QFETCH(bool, cbc);
    QFETCH(bool, base64Out);
    QFETCH(QString, status);

    QRandomGenerator rng(0xAE5);
    const QString plain = randomPrintable(rng, 30000);
    AesPage page;
    MessageBoxAnswerer boxes;
    page.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page.window));
    page.setup(cbc, QStringLiteral("0123456789abcdefghijklmn"), base64Out);
    const QString cipher = page.run(page.encrypt, plain);
    QVERIFY(page.dec->verticalScrollBar()->isVisible());

    QTextCursor paste = page.enc->textCursor();
    paste.select(QTextCursor::Document);
    paste.insertText(cipher);
    page.statuses.clear();
    QTest::mouseClick(page.decrypt, Qt::LeftButton);

    QCOMPARE(page.dec->toPlainText(), plain);
    QCOMPARE(page.counter(), counterTexts("解密字符串：", plain.size(), "位"));
    QCOMPARE(page.statusTexts(), QStringList({status, QStringLiteral("解密完成！")}));
    QTextDocument *document = page.dec->document();
    QCOMPARE(document->pageSize(), QSizeF(page.dec->viewport()->width(), -1));
    QCOMPARE(page.dec->verticalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
    QCOMPARE(page.dec->horizontalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
    QVERIFY(document->documentLayout()->documentSize().height() > page.dec->viewport()->height());
    QVERIFY(page.dec->verticalScrollBar()->isVisible());
    QVERIFY(document->firstBlock().layout()->lineCount() > 1);
    QVERIFY2(boxes.takeNone(), qPrintable(boxes.lastReport()));
}

void TestAesPage::allocationFailure_data()
{
    QTest::addColumn<bool>("encrypting");
    QTest::addColumn<bool>("base64Out");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QByteArray>("buffer");
    QTest::addColumn<int>("occurrence");
    QTest::addColumn<QString>("debugLine");
    QTest::addColumn<QStringList>("statuses");

    const QString base64Line = QStringLiteral("Unable to allocate memory for base64\n");
    const QString decryptLine = QStringLiteral("Unable to allocate memory for decryptStr");
    // Hex digits of one whole block: decrypted as hex only.
    const QString oneBlockHex = QStringLiteral("A1E1A5F8A1D4C8B4B9D6A2C3F1E0D9C8");
    QTest::newRow("encrypt: cipher text buffer")
        << true << true << "abc" << QByteArray("encryptStr") << 1
        << "Unable to allocate memory for encryptStr\n"
        << QStringList();
    QTest::newRow("encrypt: Base64 buffer")
        << true << true << "abc" << QByteArray("base64") << 1 << base64Line
        << QStringList{QStringLiteral("加密中...")};
    QTest::newRow("decrypt: Base64 decoding buffer")
        << false << true << "YWJjZGVm" << QByteArray("base64") << 1 << base64Line << QStringList();
    QTest::newRow("decrypt: Base64 attempt's buffer")
        << false << true << "YWJjZGVm" << QByteArray("decryptStr") << 1 << decryptLine
        << QStringList();
    QTest::newRow("decrypt: hex retry's buffer")
        << false << true << "AAAA" << QByteArray("decryptStr") << 2 << decryptLine
        << QStringList{QStringLiteral("base64模式解密中...")};
    QTest::newRow("decrypt: buffer for hex cipher text")
        << false << true << oneBlockHex << QByteArray("decryptStr") << 1 << decryptLine
        << QStringList();
}

// A buffer that cannot be had ends the press: its debug line, no write into
// the missing buffer (the sanitizer build checks that), no success status.
void TestAesPage::allocationFailure()
{
    QFETCH(bool, encrypting);
    QFETCH(bool, base64Out);
    QFETCH(QString, input);
    QFETCH(QByteArray, buffer);
    QFETCH(int, occurrence);
    QFETCH(QString, debugLine);
    QFETCH(QStringList, statuses);

    AesPage page;
    MessageBoxAnswerer boxes;
    page.code->setCurrentIndex(base64Out ? 0 : 1);
    page.dec->setPlainText(QStringLiteral("before"));
    page.enc->setPlainText(input);
    const QStringList counterBefore = page.counter();
    page.statuses.clear();

    DebugCapture debug;
    {
        const BufferRefusal refusal(buffer.constData(), occurrence);
        QTest::mouseClick(encrypting ? page.encrypt : page.decrypt, Qt::LeftButton);
        QVERIFY(refusal.fired());
    }

    QCOMPARE(debug.debugLines(), QStringList{debugLine});
    QCOMPARE(page.statusTexts(), statuses);
    QCOMPARE(page.dec->toPlainText(), QStringLiteral("before"));
    QCOMPARE(page.counter(), counterBefore);
    QVERIFY2(boxes.takeNone(), qPrintable(boxes.lastReport()));

    // The next press works again.
    QTest::mouseClick(page.encrypt, Qt::LeftButton);
    QCOMPARE(page.statusTexts().last(), QStringLiteral("加密完成！"));
}

void TestAesPage::decryptBeyondTheLimit_data()
{
    QTest::addColumn<int>("room"); // bytes more or less than the text needs
    QTest::newRow("room for the whole text") << 0;
    QTest::newRow("one byte short") << -1;
}

// Base64 cipher text is decoded into a buffer asked for the room the whole
// text needs. One whose bytes an int cannot count gets none, and the press
// ends as for any buffer that cannot be had; a limit just below the text's
// need stands in for an int's.
void TestAesPage::decryptBeyondTheLimit()
{
    QFETCH(int, room);

    AesPage page;
    MessageBoxAnswerer boxes;
    page.setup(false, QStringLiteral("0123456789abcdef"), true);
    const QString plain(280, QLatin1Char('x'));
    const QString cipher = page.run(page.encrypt, plain);
    QCOMPARE(cipher.size(), 384); // 288 bytes: 280 and a block's padding
    const int capacity = 288;

    page.enc->setPlainText(cipher);
    page.dec->setPlainText(QStringLiteral("before"));
    const QStringList counterBefore = page.counter();
    page.statuses.clear();
    DebugCapture debug;
    {
        const BufferSizeLimit limit(std::size_t(capacity + room));
        QTest::mouseClick(page.decrypt, Qt::LeftButton);
        QCOMPARE(limit.requests().front(), std::size_t(capacity));
    }

    if (room >= 0) {
        QCOMPARE(page.dec->toPlainText(), plain);
        QCOMPARE(page.statusTexts().last(), QStringLiteral("解密完成！"));
    } else {
        QCOMPARE(debug.debugLines(),
                 QStringList{QStringLiteral("Unable to allocate memory for base64\n")});
        QCOMPARE(page.statusTexts(), QStringList());
        QCOMPARE(page.dec->toPlainText(), QStringLiteral("before"));
        QCOMPARE(page.counter(), counterBefore);
    }
    QVERIFY2(boxes.takeNone(), qPrintable(boxes.lastReport()));
}

QTEST_MAIN(TestAesPage)
#include "tst_aespage.moc"
