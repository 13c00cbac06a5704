// The Base64 page driven through its widgets: counters, code switches,
// encoding and decoding (RFC 4648 vectors), the hex guard of the input box.
#include "app/mainwindow.h"
#include "app/pagememory.h"
#include "support/bufferrefusal.h"
#include "support/debugcapture.h"
#include "support/messageboxanswerer.h"
#include "support/pagefixture.h"

#include <QAbstractTextDocumentLayout>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextLayout>

#include <algorithm>

namespace {

const QString hexMessage =
    QStringLiteral("输入数据不是有效的十六进制！\n有效十六进制范围：0~9、a~f、A~F。");
const QString invalidBase64Message = QStringLiteral(
    "待解码数据不是有效的base64字符串或十六进制。\n十六进制举例：0x12,0x34，则填1234。");

struct Base64Page : PageFixture
{
    QTextEdit *enc = find<QTextEdit>("txtEncBASE64");
    QTextEdit *dec = find<QTextEdit>("txtDecBASE64");
    QComboBox *inCode = find<QComboBox>("cboxInCodeBASE64");
    QComboBox *outCode = find<QComboBox>("cboxOutCodeBASE64");
    QPushButton *encode = find<QPushButton>("btnEncBASE64");
    QPushButton *decode = find<QPushButton>("btnDecBASE64");

    Base64Page()
    {
        // The guard works at the text cursor, which needs the page in view.
        window.show();
        tabs()->setCurrentIndex(2);
    }
    QString run(QPushButton *button, const QString &input)
    {
        enc->setPlainText(input);
        statuses.clear();
        QTest::mouseClick(button, Qt::LeftButton);
        return dec->toPlainText();
    }
    QStringList inputRow() const { return counterRow("Enc", "BASE64"); }
    QStringList outputRow() const { return counterRow("Dec", "BASE64"); }
    // Puts the cursor at the end of the input box and inserts there, as a paste does.
    void pasteAtEnd(const QString &text)
    {
        QTextCursor cursor = enc->textCursor();
        cursor.movePosition(QTextCursor::End);
        enc->setTextCursor(cursor);
        cursor.insertText(text);
        enc->setTextCursor(cursor);
    }
};

const QStringList encodingStatuses = {QStringLiteral("base64编码中..."),
                                      QStringLiteral("base64编码完成！")};
const QStringList decodingStatuses = {QStringLiteral("base64解码中..."),
                                      QStringLiteral("base64解码完成！")};

} // namespace

class TestBase64Page : public QObject
{
    Q_OBJECT

private slots:
    void startUp();
    void encode_data();
    void encode();
    void decode_data();
    void decode();
    void decodeThenShowAsString();
    void decodeOverEarlierResult();
    void refused_data();
    void refused();
    void inputCodeSwitch_data();
    void inputCodeSwitch();
    void outputCounterIgnoresWhitespace();
    void hexGuard_data();
    void hexGuard();
    void hexGuardLongPaste();
    void allocationFailure();
    void decodeBeyondTheLimit_data();
    void decodeBeyondTheLimit();
};

void TestBase64Page::startUp()
{
    Base64Page page;
    QCOMPARE(page.inputRow(), counterTexts("待编解码字符串：", 159, "位"));
    QCOMPARE(page.outputRow(), counterTexts("解码字符串：", 0, "位"));
    QCOMPARE(page.enc->toPlainText().size(), 65);
    QVERIFY(page.dec->isReadOnly());
    for (QComboBox *combo : {page.inCode, page.outCode}) {
        QCOMPARE(combo->count(), 2);
        QCOMPARE(combo->itemText(0), QStringLiteral("字符串"));
        QCOMPARE(combo->itemText(1), QStringLiteral("十六进制"));
        QCOMPARE(combo->currentIndex(), 0);
    }
}

void TestBase64Page::encode_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<bool>("hexIn");
    QTest::addColumn<bool>("hexOut");
    QTest::addColumn<QString>("expected");

    QTest::newRow("abc") << "abc" << false << false << "YWJj";
    QTest::newRow("abc, output hex") << "abc" << false << true << "59 57 4A 6A";
    QTest::newRow("single space") << " " << false << false << "IA==";
    QTest::newRow("hex input 61 62 63") << "61 62 63" << true << false << "YWJj";
    QTest::newRow("Chinese, UTF-8") << QStringLiteral("编码") << false << false << "57yW56CB";
    QTest::newRow("RFC 4648 section 10: f") << "f" << false << false << "Zg==";
    QTest::newRow("RFC 4648 section 10: fo") << "fo" << false << false << "Zm8=";
    QTest::newRow("RFC 4648 section 10: foo") << "foo" << false << false << "Zm9v";
    QTest::newRow("RFC 4648 section 10: foob") << "foob" << false << false << "Zm9vYg==";
    QTest::newRow("RFC 4648 section 10: fooba") << "fooba" << false << false << "Zm9vYmE=";
    QTest::newRow("RFC 4648 section 10: foobar") << "foobar" << false << false << "Zm9vYmFy";
    QTest::newRow("RFC 4648 section 10: foobar as hex")
        << "66 6F 6F 62 61 72" << true << false << "Zm9vYmFy";
}

void TestBase64Page::encode()
{
    QFETCH(QString, input);
    QFETCH(bool, hexIn);
    QFETCH(bool, hexOut);
    QFETCH(QString, expected);

    Base64Page page;
    MessageBoxAnswerer boxes;
    page.enc->setPlainText(input);
    page.inCode->setCurrentIndex(hexIn ? 1 : 0);
    page.outCode->setCurrentIndex(hexOut ? 1 : 0);
    page.statuses.clear();
    QTest::mouseClick(page.encode, Qt::LeftButton);
    QCOMPARE(page.dec->toPlainText(), expected);
    QCOMPARE(page.statusTexts(), encodingStatuses);
    const qsizetype length = QString(expected).remove(QLatin1Char(' ')).size();
    QCOMPARE(page.outputRow(), hexOut ? counterTexts("解码十六进制：", length / 2, "个字节")
                                      : counterTexts("解码字符串：", length, "位"));
    QVERIFY2(boxes.takeNone(), qPrintable(boxes.lastReport()));
}

void TestBase64Page::decode_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<bool>("hexIn");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("YWJj") << "YWJj" << false << QByteArray("abc");
    QTest::newRow("YQ==") << "YQ==" << false << QByteArray("a");
    QTest::newRow("hex input 59574A6A") << "59574A6A" << true << QByteArray("abc");
    QTest::newRow("RFC 4648 section 10: Zg==") << "Zg==" << false << QByteArray("f");
    QTest::newRow("RFC 4648 section 10: Zm8=") << "Zm8=" << false << QByteArray("fo");
    QTest::newRow("RFC 4648 section 10: Zm9v") << "Zm9v" << false << QByteArray("foo");
    QTest::newRow("RFC 4648 section 10: Zm9vYg==") << "Zm9vYg==" << false << QByteArray("foob");
    QTest::newRow("RFC 4648 section 10: Zm9vYmE=") << "Zm9vYmE=" << false << QByteArray("fooba");
    QTest::newRow("RFC 4648 section 10: Zm9vYmFy") << "Zm9vYmFy" << false << QByteArray("foobar");

    // Base64 as mail and PEM files carry it: lines of 76 or 64 characters.
    QByteArray binary;
    for (int i = 0; i < 300; ++i)
        binary += char((i * 37 + 11) & 0xFF);
    const QString base64 = QString::fromLatin1(binary.toBase64());
    QString mail, pem;
    for (int i = 0; i < base64.size(); i += 76)
        mail += base64.mid(i, 76) + QStringLiteral("\r\n");
    for (int i = 0; i < base64.size(); i += 64)
        pem += base64.mid(i, 64) + QLatin1Char('\n');
    QTest::newRow("line-wrapped, 76 with CRLF") << mail << false << binary;
    QTest::newRow("line-wrapped, 64 with LF") << pem << false << binary;
    QTest::newRow("spaces around and inside")
        << QStringLiteral("  YW Jj\n") << false << QByteArray("abc");
    // Hex digits of "YWJj" with a line break between two characters' bytes,
    // and the bytes of a line break itself (0A) inside the Base64 text.
    QTest::newRow("hex input, wrapped") << "5957\n4A6A" << true << QByteArray("abc");
    QTest::newRow("hex input holding a line break")
        << "59 57 0A 4A 6A 59 51 3D" << true << QByteArray("abca");
}

void TestBase64Page::decode()
{
    QFETCH(QString, input);
    QFETCH(bool, hexIn);
    QFETCH(QByteArray, bytes);

    Base64Page page;
    MessageBoxAnswerer boxes;
    page.enc->setPlainText(input);
    page.inCode->setCurrentIndex(hexIn ? 1 : 0);
    // The input code switch normalises hex; decode what the box holds now.
    page.statuses.clear();
    QTest::mouseClick(page.decode, Qt::LeftButton);
    QVERIFY2(boxes.takeNone(), qPrintable(boxes.lastReport()));
    QCOMPARE(page.outCode->currentIndex(), 1);
    QCOMPARE(page.dec->toPlainText(), QString::fromLatin1(bytes.toHex(' ').toUpper()));
    QCOMPARE(page.outputRow(), counterTexts("解码十六进制：", bytes.size(), "个字节"));
    QCOMPARE(page.statusTexts(), decodingStatuses);
}

void TestBase64Page::decodeThenShowAsString()
{
    Base64Page page;
    MessageBoxAnswerer boxes;
    QCOMPARE(page.run(page.decode, QStringLiteral("YWJj")), QStringLiteral("61 62 63"));
    QCOMPARE(page.outCode->currentText(), QStringLiteral("十六进制"));
    QCOMPARE(page.outputRow(), counterTexts("解码十六进制：", 3, "个字节"));
    page.outCode->setCurrentIndex(0);
    QCOMPARE(page.dec->toPlainText(), QStringLiteral("abc"));
    QCOMPARE(page.outputRow(), counterTexts("解码字符串：", 3, "位"));

    // A second decode with the output already in hex.
    QCOMPARE(page.run(page.decode, QStringLiteral("Zm9v")), QStringLiteral("66 6F 6F"));
    page.outCode->setCurrentIndex(0);
    QCOMPARE(page.dec->toPlainText(), QStringLiteral("foo"));
    QVERIFY2(boxes.takeNone(), qPrintable(boxes.lastReport()));
}

// Decoding over an encoded result: the output handler first sees the old
// result re-rendered as hex, then the decoded hex, and the box ends laid out
// at its own width with its scroll bars as they were set up.
void TestBase64Page::decodeOverEarlierResult()
{
    Base64Page page;
    MessageBoxAnswerer boxes;
    QCOMPARE(page.run(page.encode, QStringLiteral("abc")), QStringLiteral("YWJj"));
    QTextDocument *document = page.dec->document();
    const QSizeF pageSize = document->pageSize();
    QVERIFY(!pageSize.isNull());

    QStringList seen; // the box's text and the row the output handler left
    connect(page.dec, &QTextEdit::textChanged, this,
            [&] { seen << (QStringList{page.dec->toPlainText()} + page.outputRow()).join(u'|'); });
    QCOMPARE(page.run(page.decode, QStringLiteral("YWJj")), QStringLiteral("61 62 63"));
    QCOMPARE(seen, QStringList({QStringLiteral("59 57 4A 6A|解码字符串：|8|位"),
                                QStringLiteral("61 62 63|解码十六进制：|3|个字节")}));
    QCOMPARE(page.outputRow(), counterTexts("解码十六进制：", 3, "个字节"));

    QCOMPARE(document->pageSize(), pageSize);
    QCOMPARE(page.dec->verticalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
    QCOMPARE(page.dec->horizontalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
    document->documentLayout()->documentSize();
    QVERIFY(document->firstBlock().layout()->lineCount() > 0);
    QVERIFY2(boxes.takeNone(), qPrintable(boxes.lastReport()));
}

void TestBase64Page::refused_data()
{
    QTest::addColumn<bool>("encoding");
    QTest::addColumn<QString>("input");
    QTest::addColumn<bool>("hexIn");
    QTest::addColumn<QString>("message");
    QTest::newRow("encode, empty box")
        << true << QString() << false << QStringLiteral("没有可编码的数据！\n请输入后，继续操作。");
    QTest::newRow("decode, empty box")
        << false << QString() << false
        << QStringLiteral("没有可解码的数据！\n请输入后，继续操作。");
    QTest::newRow("decode, YWJ") << false << QStringLiteral("YWJ") << false << invalidBase64Message;
    QTest::newRow("decode, YQ=") << false << QStringLiteral("YQ=") << false << invalidBase64Message;
    QTest::newRow("decode, comma")
        << false << QStringLiteral("YW,j") << false << invalidBase64Message;
    QTest::newRow("decode, hex input 595745")
        << false << QStringLiteral("595745") << true << invalidBase64Message;
}

void TestBase64Page::refused()
{
    QFETCH(bool, encoding);
    QFETCH(QString, input);
    QFETCH(bool, hexIn);
    QFETCH(QString, message);

    Base64Page page;
    MessageBoxAnswerer boxes;
    page.run(page.encode, QStringLiteral("earlier"));
    page.enc->setPlainText(input);
    page.inCode->setCurrentIndex(hexIn ? 1 : 0);
    const QStringList outBefore = page.outputRow();
    page.statuses.clear();
    QTest::mouseClick(encoding ? page.encode : page.decode, Qt::LeftButton);
    QVERIFY2(boxes.takeOnly(message), qPrintable(boxes.lastReport()));
    QCOMPARE(page.dec->toPlainText(), QStringLiteral("ZWFybGllcg=="));
    QCOMPARE(page.outputRow(), outBefore);
    QCOMPARE(page.outCode->currentIndex(), 0);
    QVERIFY(page.statusTexts().isEmpty());
}

void TestBase64Page::inputCodeSwitch_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("asHex");
    QTest::addColumn<int>("bytes");
    QTest::addColumn<int>("backAsString");
    QTest::newRow("hello") << "hello"
                           << "68 65 6C 6C 6F" << 5 << 14;
    QTest::newRow("abc, all hex digits") << "abc"
                                         << "AB 0C" << 2 << 5;
    QTest::newRow("hex, normalised") << " 0a1B\n2c "
                                     << "0A 1B 2C" << 3 << 8;
    QTest::newRow("Chinese") << QStringLiteral("编") << "E7 BC 96" << 3 << 8;
}

void TestBase64Page::inputCodeSwitch()
{
    QFETCH(QString, input);
    QFETCH(QString, asHex);
    QFETCH(int, bytes);
    QFETCH(int, backAsString);

    Base64Page page;
    MessageBoxAnswerer boxes;
    page.enc->setPlainText(input);
    page.inCode->setCurrentIndex(1);
    QCOMPARE(page.enc->toPlainText(), asHex);
    QCOMPARE(page.inputRow(), counterTexts("待编解码十六进制：", bytes, "个字节"));
    page.inCode->setCurrentIndex(0);
    QCOMPARE(page.enc->toPlainText(), asHex);
    QCOMPARE(page.inputRow(), counterTexts("待编解码字符串：", backAsString, "位"));
    QVERIFY2(boxes.takeNone(), qPrintable(boxes.lastReport()));
}

void TestBase64Page::outputCounterIgnoresWhitespace()
{
    Base64Page page;
    page.run(page.encode, QStringLiteral("abc"));
    QCOMPARE(page.outputRow(), counterTexts("解码字符串：", 4, "位"));
    page.outCode->setCurrentIndex(1);
    QCOMPARE(page.dec->toPlainText(), QStringLiteral("59 57 4A 6A"));
    QCOMPARE(page.outputRow(), counterTexts("解码十六进制：", 4, "个字节"));
    page.run(page.decode, QStringLiteral("YWJj"));
    QCOMPARE(page.dec->toPlainText(), QStringLiteral("61 62 63"));
    QCOMPARE(page.outputRow(), counterTexts("解码十六进制：", 3, "个字节"));
}

void TestBase64Page::hexGuard_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("paste");
    QTest::addColumn<QString>("left");
    QTest::addColumn<int>("bytes");
    QTest::newRow("g typed after 12") << "12"
                                      << "g" << false << "12" << 1;
    QTest::newRow("xyz pasted after valid hex") << "61 62"
                                                << "xyz" << true << "61 62" << 2;
    QTest::newRow("pasted hex with a bad tail") << "61"
                                                << " 62 6z" << true << "61 62 6" << 3;
    QTest::newRow("valid digits typed") << "61"
                                        << " 6a" << false << "61 6a" << 2;
}

void TestBase64Page::hexGuard()
{
    QFETCH(QString, start);
    QFETCH(QString, typed);
    QFETCH(bool, paste);
    QFETCH(QString, left);
    QFETCH(int, bytes);

    Base64Page page;
    MessageBoxAnswerer boxes;
    page.enc->setPlainText(start);
    page.inCode->setCurrentIndex(1);
    page.enc->setPlainText(start); // as typed, not normalised
    page.enc->setFocus();
    QSignalSpy changes(page.enc, &QTextEdit::textChanged);
    if (paste) {
        page.pasteAtEnd(typed);
    } else {
        page.enc->moveCursor(QTextCursor::End);
        QTest::keyClicks(page.enc, typed);
    }
    QCOMPARE(page.enc->toPlainText(), left);
    const bool bad = left != start + typed;
    if (bad)
        QVERIFY2(boxes.takeOnly(hexMessage), qPrintable(boxes.lastReport()));
    else
        QVERIFY2(boxes.takeNone(), qPrintable(boxes.lastReport()));
    QCOMPARE(page.inputRow(), counterTexts("待编解码十六进制：", bytes, "个字节"));
    // One edit, then at most one removal: no handler run per removed character.
    if (bad && paste)
        QCOMPARE(changes.size(), 2);
}

// Thousands of bad characters in one paste: one message, one removal edit.
void TestBase64Page::hexGuardLongPaste()
{
    Base64Page page;
    MessageBoxAnswerer boxes;
    page.enc->setPlainText(QStringLiteral("0a1b"));
    page.inCode->setCurrentIndex(1);
    QCOMPARE(page.enc->toPlainText(), QStringLiteral("0A 1B"));
    QSignalSpy changes(page.enc, &QTextEdit::textChanged);
    page.pasteAtEnd(QString(20000, QLatin1Char('x')));
    QVERIFY2(boxes.takeOnly(hexMessage), qPrintable(boxes.lastReport()));
    QCOMPARE(page.enc->toPlainText(), QStringLiteral("0A 1B"));
    QCOMPARE(changes.size(), 2);
    QCOMPARE(page.inputRow(), counterTexts("待编解码十六进制：", 2, "个字节"));

    // The next edit shows its own message again.
    page.pasteAtEnd(QStringLiteral("q"));
    QVERIFY2(boxes.takeOnly(hexMessage), qPrintable(boxes.lastReport()));
    QCOMPARE(page.enc->toPlainText(), QStringLiteral("0A 1B"));
}

// Without a working buffer neither button produces a result or a success status.
void TestBase64Page::allocationFailure()
{
    Base64Page page;
    MessageBoxAnswerer boxes;
    for (QPushButton *button : {page.encode, page.decode}) {
        page.dec->setPlainText(QStringLiteral("before"));
        page.enc->setPlainText(QStringLiteral("YWJj"));
        page.statuses.clear();
        DebugCapture debug;
        {
            const BufferRefusal refusal("base64");
            QTest::mouseClick(button, Qt::LeftButton);
            QVERIFY(refusal.fired());
        }
        QCOMPARE(debug.debugLines(),
                 QStringList{QStringLiteral("Unable to allocate memory for base64\n")});
        QCOMPARE(page.statusTexts(), QStringList{button == page.encode ? encodingStatuses.first()
                                                                       : decodingStatuses.first()});
        QCOMPARE(page.dec->toPlainText(), QStringLiteral("before"));
        QCOMPARE(page.outCode->currentIndex(), 0);
        QVERIFY2(boxes.takeNone(), qPrintable(boxes.lastReport()));
    }
}

void TestBase64Page::decodeBeyondTheLimit_data()
{
    QTest::addColumn<bool>("hexInput");
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("capacity"); // what the text needs: beyond 300, refused

    const QByteArray groups = QByteArray("YWJj").repeated(100); // 300 bytes decoded
    QTest::newRow("at the limit") << false << QString::fromLatin1(groups) << 300;
    QTest::newRow("one group beyond") << false << QString::fromLatin1(groups + "YQ==") << 303;
    QTest::newRow("with a line break, one group beyond")
        << false << QString::fromLatin1(groups + "\nYWI=") << 303;
    QTest::newRow("hex input, one group beyond")
        << true << QString::fromLatin1((groups + "YQ==").toHex(' ').toUpper()) << 303;
}

// The decoding buffer is asked for the room the whole text needs; one beyond
// the limit, standing in for an int's, gets none, and the press ends as for
// any buffer that cannot be had.
void TestBase64Page::decodeBeyondTheLimit()
{
    QFETCH(bool, hexInput);
    QFETCH(QString, input);
    QFETCH(int, capacity);

    Base64Page page;
    MessageBoxAnswerer boxes;
    page.inCode->setCurrentIndex(hexInput ? 1 : 0);
    page.enc->setPlainText(input);
    page.dec->setPlainText(QStringLiteral("before"));
    page.statuses.clear();
    DebugCapture debug;
    {
        const BufferSizeLimit limit(300);
        QTest::mouseClick(page.decode, Qt::LeftButton);
        QVERIFY(std::find(limit.requests().cbegin(), limit.requests().cend(),
                          std::size_t(capacity)) != limit.requests().cend());
    }

    if (capacity <= 300) {
        QVERIFY2(debug.debugLines().isEmpty(), qPrintable(debug.debugLines().join('\n')));
        QCOMPARE(page.statusTexts(), decodingStatuses);
        QCOMPARE(page.dec->toPlainText(),
                 QString::fromLatin1(QByteArray("abc").repeated(100).toHex(' ').toUpper()));
    } else {
        QCOMPARE(debug.debugLines(),
                 QStringList{QStringLiteral("Unable to allocate memory for base64\n")});
        QCOMPARE(page.statusTexts(), QStringList{decodingStatuses.first()});
        QCOMPARE(page.dec->toPlainText(), QStringLiteral("before"));
        QCOMPARE(page.outCode->currentIndex(), 0);
    }
    QVERIFY2(boxes.takeNone(), qPrintable(boxes.lastReport()));
}

QTEST_MAIN(TestBase64Page)
#include "tst_base64page.moc"
