// Hex, Base64 and text conversions: known answers, valid/invalid input
// tables, buffer bounds of the Base64 coder and the box re-render routines.

#include "codec/codec.h"
#include "codec/workbuffer.h"
#include "support/bufferrefusal.h"
#include "support/debugcapture.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTest>

#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

namespace {

QByteArray hexBytes(const char *hex)
{
    return QByteArray::fromHex(hex);
}

// Stand-in for the QTextEdit the pages pass, counting text replacements.
struct FakeBox
{
    QString text;
    int setCount = 0;
    QString toPlainText() const { return text; }
    void setPlainText(const QString &t)
    {
        text = t;
        ++setCount;
    }
};

constexpr int kCanarySize = 16;
constexpr unsigned char kCanary = 0xA5;

bool canaryIntact(const char *p)
{
    for (int i = 0; i < kCanarySize; ++i) {
        if (static_cast<unsigned char>(p[i]) != kCanary)
            return false;
    }
    return true;
}

// Decodes `text` the way a careful caller does: the text in a heap block of
// exactly its own size (so AddressSanitizer sees any read past the
// terminator) and an output of exactly base64DecodedCapacity bytes, followed
// by a canary that must survive.
QByteArray decodeExact(const QByteArray &text, int *capacityOut = nullptr)
{
    std::unique_ptr<char[]> in(new char[text.size() + 1]);
    std::memcpy(in.get(), text.constData(), text.size() + 1);
    const int capacity = base64DecodedCapacity(int(std::strlen(in.get())));
    std::unique_ptr<char[]> out(new char[capacity + kCanarySize]);
    std::memset(out.get(), kCanary, capacity + kCanarySize);
    const int n = base64Decode(in.get(), out.get(), std::size_t(capacity));
    if (capacityOut)
        *capacityOut = capacity;
    if (n < 0 || n > capacity || !canaryIntact(out.get() + capacity))
        return QByteArray("<out of bounds>");
    return QByteArray(out.get(), n);
}

QByteArray encodeExact(const QByteArray &bytes)
{
    const int size = base64EncodedSize(int(bytes.size()));
    std::unique_ptr<char[]> out(new char[size + kCanarySize]);
    std::memset(out.get(), kCanary, size + kCanarySize);
    char *r = base64Encode(bytes.constData(), out.get(), int(bytes.size()));
    if (r != out.get() || out[size - 1] != '\0' || !canaryIntact(out.get() + size) ||
        int(std::strlen(out.get())) != size - 1)
        return QByteArray("<out of bounds>");
    return QByteArray(out.get());
}

QByteArray randomBytes(qsizetype n, quint32 seed)
{
    QRandomGenerator rng(seed);
    QByteArray bytes(n, Qt::Uninitialized);
    for (qsizetype i = 0; i < n; ++i)
        bytes[i] = char(rng.bounded(256));
    return bytes;
}

// The validators' patterns, matched the reference way on small texts.
bool regexHex(const QString &stripped)
{
    static const QRegularExpression re(
        QRegularExpression::anchoredPattern(QStringLiteral("([A-Fa-f0-9])+")));
    return re.match(stripped).hasMatch();
}

bool regexBase64(const QString &stripped)
{
    static const QRegularExpression re(QRegularExpression::anchoredPattern(QStringLiteral(
        "^([A-Za-z0-9+/]{4})*([A-Za-z0-9+/]{4}|[A-Za-z0-9+/]{3}=|[A-Za-z0-9+/]{2}==)$")));
    return re.match(stripped).hasMatch();
}

std::size_t lastRequestedSize = 0;
char *recordingSource(std::size_t size, const char *name)
{
    lastRequestedSize = size;
    return WorkBuffer::defaultSource(size, name);
}

} // namespace

class TestCodec : public QObject
{
    Q_OBJECT

private slots:
    void bytesToHexStr_data();
    void bytesToHexStr();
    void bytesToHexStrEveryByte();
    void groupHexStr_data();
    void groupHexStr();
    void hexStrToBytes_data();
    void hexStrToBytes();
    void hexReading_data();
    void hexReading();
    void base64Encode_data();
    void base64Encode();
    void base64Decode_data();
    void base64Decode();
    void base64RoundTrip();
    void base64Sizes_data();
    void base64Sizes();
    void base64DecodedCapacityOfLongTexts_data();
    void base64DecodedCapacityOfLongTexts();
    void base64DecodeRefusesTooLittleRoom_data();
    void base64DecodeRefusesTooLittleRoom();
    void isHexStr_data();
    void isHexStr();
    void isBase64Str_data();
    void isBase64Str();
    void hexDigitOrSpaceEveryUnit();
    void removeAsciiWhitespace_data();
    void removeAsciiWhitespace();
    void largeTexts_data();
    void largeTexts();
    void switchHexBase64_data();
    void switchHexBase64();
    void switchStringHex_data();
    void switchStringHex();
    void workBufferFailure_data();
    void workBufferFailure();
    void workBufferSize();
    void utf8RoundTrip();
};

void TestCodec::bytesToHexStr_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("radix");
    QTest::addColumn<bool>("spaced");
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<QString>("expected");

    const QChar space(u' ');
    QTest::newRow("00 AB 0F spaced") << hexBytes("00AB0F") << 16 << true << space << "00 AB 0F";
    QTest::newRow("00 AB 0F unspaced") << hexBytes("00AB0F") << 16 << false << space << "00AB0F";
    QTest::newRow("0A FF 10 spaced") << hexBytes("0AFF10") << 16 << true << space << "0A FF 10";
    QTest::newRow("0A FF 10 unspaced") << hexBytes("0AFF10") << 16 << false << space << "0AFF10";
    QTest::newRow("empty array spaced") << QByteArray() << 16 << true << space << "";
    QTest::newRow("empty array unspaced") << QByteArray() << 16 << false << space << "";
    QTest::newRow("7F upper case") << hexBytes("7F") << 16 << true << space << "7F";
    QTest::newRow("0A leading zero") << hexBytes("0A") << 16 << false << space << "0A";
    QTest::newRow("one byte, no separator") << hexBytes("FF") << 16 << true << space << "FF";
    QTest::newRow("separator upper-cased with the text")
        << hexBytes("00AB") << 16 << true << QChar(u'x') << "00XAB";
    QTest::newRow("radix 10") << hexBytes("05FF") << 10 << true << space << "05 255";
    QTest::newRow("radix 2 wider than the field")
        << hexBytes("0501") << 2 << false << space << "10101";
}

void TestCodec::bytesToHexStr()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, radix);
    QFETCH(bool, spaced);
    QFETCH(QChar, separator);
    QFETCH(QString, expected);
    QCOMPARE(::bytesToHexStr(bytes, radix, spaced, separator), expected);
}

void TestCodec::bytesToHexStrEveryByte()
{
    // Every byte value against Qt's own formatting of the same rule.
    QByteArray all;
    QString spaced, unspaced;
    for (int b = 0; b < 256; ++b) {
        all.append(char(b));
        const QString pair = QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
        unspaced += pair;
        spaced += (b ? QStringLiteral(" ") : QString()) + pair;
    }
    QCOMPARE(::bytesToHexStr(all, 16, true, QLatin1Char(' ')), spaced);
    QCOMPARE(::bytesToHexStr(all, 16, false, QLatin1Char(' ')), unspaced);
}

void TestCodec::groupHexStr_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("groupSize");
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<QString>("expected");

    const QChar space(u' ');
    QTest::newRow("abcd, no trailing space") << "abcd" << 2 << space << "ab cd";
    QTest::newRow("single character") << "a" << 2 << space << "a";
    QTest::newRow("odd count, last group short") << "abc" << 2 << space << "ab c";
    QTest::newRow("one whole group") << "ab" << 2 << space << "ab";
    QTest::newRow("spaces and a line break around") << " a1b2\n c3 " << 2 << space << "a1 b2 c3";
    QTest::newRow("regrouped from the start") << "A 1B2" << 2 << space << "A1 B2";
    QTest::newRow("Unicode whitespace removed")
        << QString::fromUtf16(u"a\u3000b\u00A0c\u2028d") << 2 << space << "ab cd";
    QTest::newRow("empty text") << "" << 2 << space << "";
    QTest::newRow("only whitespace") << " \t\n " << 2 << space << "";
    QTest::newRow("groups of three, comma") << "abcdefg" << 3 << QChar(u',') << "abc,def,g";
    QTest::newRow("trimming keeps a non-space separator")
        << "abcdef" << 3 << QChar(u',') << "abc,def,";
}

void TestCodec::groupHexStr()
{
    QFETCH(QString, text);
    QFETCH(int, groupSize);
    QFETCH(QChar, separator);
    QFETCH(QString, expected);
    QCOMPARE(::groupHexStr(text, groupSize, separator), expected);
}

void TestCodec::hexStrToBytes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("radix");
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<QByteArray>("expected");

    const QChar space(u' ');
    QTest::newRow("spaced pairs") << "61 62 63" << 16 << space << QByteArray("abc");
    QTest::newRow("whitespace runs collapse")
        << " 61 \t 62\n\n63 " << 16 << space << QByteArray("abc");
    QTest::newRow("lower case") << "ff 0a" << 16 << space << hexBytes("FF0A");
    QTest::newRow("three digits up to 255") << "0FF" << 16 << space << hexBytes("FF");
    QTest::newRow("value above 255") << "61 100" << 16 << space << QByteArray();
    QTest::newRow("no partial result") << "61 62 zz" << 16 << space << QByteArray();
    QTest::newRow("empty text") << "" << 16 << space << QByteArray();
    QTest::newRow("only whitespace") << " \n " << 16 << space << QByteArray();
    QTest::newRow("comma separator") << "61,62" << 16 << QChar(u',') << QByteArray("ab");
    QTest::newRow("empty part kept") << "61,,62" << 16 << QChar(u',') << QByteArray();
    QTest::newRow("trailing separator") << "61," << 16 << QChar(u',') << QByteArray();
    QTest::newRow("radix 10") << "97 98 255" << 10 << space << QByteArray("ab\xff");
    QTest::newRow("radix 10 above 255") << "256" << 10 << space << QByteArray();
}

void TestCodec::hexStrToBytes()
{
    QFETCH(QString, text);
    QFETCH(int, radix);
    QFETCH(QChar, separator);
    QFETCH(QByteArray, expected);
    QCOMPARE(::hexStrToBytes(text, radix, separator), expected);
}

void TestCodec::hexReading_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("a1B2") << "a1B2" << hexBytes("A1B2");
    QTest::newRow("line break and spaces around") << "  A1 \n B2  " << hexBytes("A1B2");
    QTest::newRow("A1B odd count") << "A1B" << hexBytes("A10B");
    QTest::newRow("A 1B2 paired from the start") << "A 1B2" << hexBytes("A1B2");
    QTest::newRow("A1G2 letter beyond F") << "A1G2" << QByteArray();
    QTest::newRow("empty text") << "" << QByteArray();
    QTest::newRow("only whitespace") << " \t\r\n" << QByteArray();
    QTest::newRow("Unicode whitespace ignored")
        << QString::fromUtf16(u"A1\u3000B2\u00A0C3\u2028D4\u0085E5") << hexBytes("A1B2C3D4E5");
    QTest::newRow("punctuation empties all") << "A1,B2" << QByteArray();
    QTest::newRow("0x prefix") << "0x12" << QByteArray();
    QTest::newRow("spaced output read back") << "00 AB 0F" << hexBytes("00AB0F");
    QTest::newRow("full-width digits") << QString::fromUtf16(u"\uFF11\uFF12") << QByteArray();
    QTest::newRow("bad single last digit") << "A1g" << QByteArray();
    QTest::newRow("lone sign at the end") << "A1+" << QByteArray();
    // A pair is read by QString::toInt, which takes a sign.
    QTest::newRow("toInt: plus sign") << "+1A2" << hexBytes("01A2");
    QTest::newRow("toInt: minus sign, low 8 bits") << "-1 -F" << hexBytes("FFF1");
}

void TestCodec::hexReading()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, expected);
    QCOMPARE(readHex(text), expected);
    // The fused reading and the two steps it stands for agree.
    QCOMPARE(::hexStrToBytes(::groupHexStr(text, 2, QLatin1Char(' ')), 16, QLatin1Char(' ')),
             expected);
}

void TestCodec::base64Encode_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("RFC 4648 10: empty") << QByteArray() << QByteArray("");
    QTest::newRow("RFC 4648 10: f") << QByteArray("f") << QByteArray("Zg==");
    QTest::newRow("RFC 4648 10: fo") << QByteArray("fo") << QByteArray("Zm8=");
    QTest::newRow("RFC 4648 10: foo") << QByteArray("foo") << QByteArray("Zm9v");
    QTest::newRow("RFC 4648 10: foob") << QByteArray("foob") << QByteArray("Zm9vYg==");
    QTest::newRow("RFC 4648 10: fooba") << QByteArray("fooba") << QByteArray("Zm9vYmE=");
    QTest::newRow("RFC 4648 10: foobar") << QByteArray("foobar") << QByteArray("Zm9vYmFy");
    QTest::newRow("abc") << QByteArray("abc") << QByteArray("YWJj");
    QTest::newRow("byte 00") << hexBytes("00") << QByteArray("AA==");
    QTest::newRow("bytes 00 00") << hexBytes("0000") << QByteArray("AAA=");
    QTest::newRow("last two letters") << hexBytes("FBEFBEFFFFFF") << QByteArray("++++////");
    QTest::newRow("single space") << QByteArray(" ") << QByteArray("IA==");
}

void TestCodec::base64Encode()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, expected);
    QCOMPARE(encodeExact(bytes), expected);
}

void TestCodec::base64Decode_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("RFC 4648 10: empty") << QByteArray("") << QByteArray();
    QTest::newRow("RFC 4648 10: Zg==") << QByteArray("Zg==") << QByteArray("f");
    QTest::newRow("RFC 4648 10: Zm8=") << QByteArray("Zm8=") << QByteArray("fo");
    QTest::newRow("RFC 4648 10: Zm9v") << QByteArray("Zm9v") << QByteArray("foo");
    QTest::newRow("RFC 4648 10: Zm9vYg==") << QByteArray("Zm9vYg==") << QByteArray("foob");
    QTest::newRow("RFC 4648 10: Zm9vYmE=") << QByteArray("Zm9vYmE=") << QByteArray("fooba");
    QTest::newRow("RFC 4648 10: Zm9vYmFy") << QByteArray("Zm9vYmFy") << QByteArray("foobar");
    QTest::newRow("YWJj writes 3") << QByteArray("YWJj") << QByteArray("abc");
    QTest::newRow("YQ== writes 1") << QByteArray("YQ==") << QByteArray("a");
    QTest::newRow("YWI= writes 2") << QByteArray("YWI=") << QByteArray("ab");
    QTest::newRow("YQ== then YWJj ignored") << QByteArray("YQ==YWJj") << QByteArray("a");
    QTest::newRow("= third, rest ignored") << QByteArray("AA=AAAAA") << hexBytes("00");
    QTest::newRow("AAA= then more ignored") << QByteArray("AAA=YWJj") << hexBytes("0000");

    // Short last groups: missing places count as '='; one character alone
    // holds too few bits for a byte.
    QTest::newRow("short group of three") << QByteArray("YWI") << QByteArray("ab");
    QTest::newRow("short group of two") << QByteArray("YQ") << QByteArray("a");
    QTest::newRow("short group of one") << QByteArray("Y") << QByteArray();
    QTest::newRow("whole group then one") << QByteArray("YWJjY") << QByteArray("abc");
    QTest::newRow("whole group then two") << QByteArray("YWJjYQ") << QByteArray("abca");
    QTest::newRow("whole group then three") << QByteArray("YWJjYWI") << QByteArray("abcab");
    QTest::newRow("short group ending in =") << QByteArray("YQ=") << QByteArray("a");
    QTest::newRow("short group A=") << QByteArray("A=") << hexBytes("03");
    QTest::newRow("lone =") << QByteArray("=") << QByteArray();
    QTest::newRow("short ==") << QByteArray("==") << hexBytes("FF");

    // Characters outside the alphabet are worth 255.
    QTest::newRow("stray space inside") << QByteArray("YW Jj") << hexBytes("616FC9");
    QTest::newRow("stray line break inside") << QByteArray("YW\nJj") << hexBytes("616FC9");
    QTest::newRow("whitespace around") << QByteArray(" YWJj\n") << hexBytes("FD85898F");
    QTest::newRow("plain text, short last group")
        << QByteArray("hello world") << hexBytes("85E965A3FC28AE57");
    QTest::newRow("UTF-8 bytes") << QByteArray("\xE4\xB8\xAD\xE6") << hexBytes("FFFFFF");
    QTest::newRow("= in the first place") << QByteArray("=AAA") << hexBytes("FC0000");
    QTest::newRow("= in the second place") << QByteArray("A=AA") << hexBytes("03F000");
    QTest::newRow("Y===") << QByteArray("Y===") << hexBytes("63");
    QTest::newRow("====") << QByteArray("====") << hexBytes("FF");
    QTest::newRow("terminator inside a group") << QByteArray("YW\0Jj", 5) << QByteArray("a");
}

void TestCodec::base64Decode()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, expected);
    QCOMPARE(decodeExact(text), expected);
}

void TestCodec::base64RoundTrip()
{
    QRandomGenerator rng(4648);
    for (int len = 0; len < 600; ++len) {
        const QByteArray bytes = randomBytes(len, rng.generate());
        const QByteArray text = encodeExact(bytes);
        QCOMPARE(text, bytes.toBase64());
        QCOMPARE(decodeExact(text), bytes);
    }
}

void TestCodec::base64Sizes_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("encodedSize");
    QTest::addColumn<int>("decodedCapacity");

    QTest::newRow("0") << 0 << 1 << 0;
    QTest::newRow("1") << 1 << 5 << 3;
    QTest::newRow("3") << 3 << 5 << 3;
    QTest::newRow("4") << 4 << 9 << 3;
    QTest::newRow("5") << 5 << 9 << 6;
    QTest::newRow("largest encodable") << 1610612733 << 2147483645 << 1207959552;
    QTest::newRow("beyond an int") << 1610612736 << -1 << 1207959552;
    QTest::newRow("INT_MAX") << 2147483647 << -1 << 1610612736;
}

void TestCodec::base64Sizes()
{
    QFETCH(int, length);
    QFETCH(int, encodedSize);
    QFETCH(int, decodedCapacity);
    QCOMPARE(base64EncodedSize(length), encodedSize);
    QCOMPARE(base64DecodedCapacity(length), decodedCapacity);
}

// Capacities of qsizetype lengths, without wrapping: -1 once an int cannot
// count the bytes, and for that no working buffer is even asked for.
void TestCodec::base64DecodedCapacityOfLongTexts_data()
{
    QTest::addColumn<qsizetype>("length");
    QTest::addColumn<int>("capacity");

    QTest::newRow("negative") << qsizetype(-4) << 0;
    QTest::newRow("INT_MAX + 1") << qsizetype(2147483648LL) << 1610612736;
    QTest::newRow("largest with a capacity") << qsizetype(2863311528LL) << 2147483646;
    QTest::newRow("one group more") << qsizetype(2863311529LL) << -1;
    QTest::newRow("largest qsizetype") << std::numeric_limits<qsizetype>::max() << -1;
}

void TestCodec::base64DecodedCapacityOfLongTexts()
{
    QFETCH(qsizetype, length);
    QFETCH(int, capacity);
    QCOMPARE(base64DecodedCapacity(length), capacity);
    if (capacity < 0) {
        lastRequestedSize = 0;
        const BufferSourceSwap recording(recordingSource);
        DebugCapture capture;
        QVERIFY(!WorkBuffer(capacity, "base64"));
        QCOMPARE(lastRequestedSize, std::size_t(0));
        QCOMPARE(capture.debugLines(),
                 QStringList{QStringLiteral("Unable to allocate memory for base64\n")});
    }
}

// The room is checked against the whole text before anything is written: a
// buffer too short gets nothing, not the bytes that fit; a canary follows it.
void TestCodec::base64DecodeRefusesTooLittleRoom_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("capacity");
    QTest::addColumn<int>("result");

    QTest::newRow("YWJj, room for 3") << QByteArray("YWJj") << 3 << 3;
    QTest::newRow("YWJj, room for 2") << QByteArray("YWJj") << 2 << -1;
    QTest::newRow("YWJjYQ, room for 6") << QByteArray("YWJjYQ") << 6 << 4;
    QTest::newRow("YWJjYQ, room for 5") << QByteArray("YWJjYQ") << 5 << -1;
    QTest::newRow("empty, room for none") << QByteArray("") << 0 << 0;
    QTest::newRow("1000 groups, one short") << QByteArray("YWJj").repeated(1000) << 2999 << -1;
}

void TestCodec::base64DecodeRefusesTooLittleRoom()
{
    QFETCH(QByteArray, text);
    QFETCH(int, capacity);
    QFETCH(int, result);

    std::unique_ptr<char[]> out(new char[capacity + kCanarySize]);
    std::memset(out.get(), kCanary, capacity + kCanarySize);
    QCOMPARE(::base64Decode(text.constData(), out.get(), std::size_t(capacity)), result);
    QVERIFY(canaryIntact(out.get() + capacity));
    if (result < 0)
        QCOMPARE(QByteArray(out.get(), capacity), QByteArray(capacity, char(kCanary)));
    else
        QCOMPARE(QByteArray(out.get(), result), QByteArray::fromBase64(text));
}

void TestCodec::isHexStr_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("expected");

    QTest::newRow("0a 1B, whitespace around") << " \n 0a 1B \n" << true;
    QTest::newRow("odd count") << "abc" << true;
    QTest::newRow("single digit") << "7" << true;
    QTest::newRow("all digits") << "0123456789abcdefABCDEF" << true;
    QTest::newRow("Unicode whitespace inside") << QString::fromUtf16(u"0a\u30001B\u2029") << true;
    QTest::newRow("0x12") << "0x12" << false;
    QTest::newRow("empty text") << "" << false;
    QTest::newRow("only whitespace") << " \t\n" << false;
    QTest::newRow("letter beyond F") << "0g" << false;
    QTest::newRow("sign") << "-1" << false;
    QTest::newRow("comma") << "12,34" << false;
    QTest::newRow("full-width digits") << QString::fromUtf16(u"\uFF11\uFF12") << false;
    QTest::newRow("bad character last") << "0123456789abcdeF!" << false;
    QTest::newRow("embedded NUL") << QString::fromUtf16(u"12\u000034", 5) << false;
}

void TestCodec::isHexStr()
{
    QFETCH(QString, text);
    QFETCH(bool, expected);
    const QString copy = text;
    QCOMPARE(::isHexStr(text), expected);
    QCOMPARE(regexHex(removeWhitespace(text.trimmed())), expected);
    QCOMPARE(text, copy);
}

void TestCodec::isBase64Str_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("expected");

    QTest::newRow("YW Jj, spaces inside and around") << "  YW Jj \n" << true;
    QTest::newRow("YWJj") << "YWJj" << true;
    QTest::newRow("YQ==") << "YQ==" << true;
    QTest::newRow("YWI=") << "YWI=" << true;
    QTest::newRow("two groups") << "YWJjYQ==" << true;
    QTest::newRow("+ and /") << "+/+/" << true;
    QTest::newRow("padding, then whitespace") << "YQ== \n" << true;
    QTest::newRow("Unicode whitespace inside") << QString::fromUtf16(u"YW\u3000Jj") << true;
    QTest::newRow("hex cipher text of one block") << "00112233445566778899AABBCCDDEEFF" << true;
    QTest::newRow("YWJ") << "YWJ" << false;
    QTest::newRow("YQ=") << "YQ=" << false;
    QTest::newRow("empty text") << "" << false;
    QTest::newRow("only whitespace") << " \r\n" << false;
    QTest::newRow("padding in the middle") << "YQ==YWJj" << false;
    QTest::newRow("= third, letter fourth") << "YW=j" << false;
    QTest::newRow("three padding") << "Y===" << false;
    QTest::newRow("four padding") << "====" << false;
    QTest::newRow("URL-safe alphabet") << "-_-_" << false;
    QTest::newRow("non-ASCII letter") << QString::fromUtf16(u"YWJ\u00E9") << false;
    QTest::newRow("comma") << "YW,j" << false;
    QTest::newRow("five characters") << "YWJjY" << false;
}

void TestCodec::isBase64Str()
{
    QFETCH(QString, text);
    QFETCH(bool, expected);
    const QString copy = text;
    QCOMPARE(::isBase64Str(text), expected);
    QCOMPARE(regexBase64(removeWhitespace(text.trimmed())), expected);
    QCOMPARE(text, copy);
}

void TestCodec::hexDigitOrSpaceEveryUnit()
{
    // What hex text may hold: the hex digits and exactly what QChar::isSpace
    // calls whitespace, so the guard, the validators and the reading agree.
    for (int u = 0; u <= 0xFFFF; ++u) {
        const QChar c{char16_t(u)};
        const bool digit =
            (u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F');
        if (::isHexDigitOrSpace(c) != (digit || c.isSpace()))
            QFAIL(qPrintable(QStringLiteral("U+%1").arg(u, 4, 16, QLatin1Char('0'))));
    }
}

void TestCodec::removeAsciiWhitespace_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("every ASCII whitespace byte")
        << QByteArray("Y W\tJ\nj\v\f\r") << QByteArray("YWJj");
    QTest::newRow("NEL, NBSP and separators stay")
        << QByteArray("\x85\xA0\x1C\x1F") << QByteArray("\x85\xA0\x1C\x1F");
    QTest::newRow("zero bytes stay") << QByteArray("a\0 b", 4) << QByteArray("a\0b", 3);
}

void TestCodec::removeAsciiWhitespace()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, expected);
    QCOMPARE(::removeAsciiWhitespace(bytes), expected);
}

void TestCodec::largeTexts_data()
{
    QTest::addColumn<int>("mebibytes");
    QTest::newRow("8 MiB") << 8;
    QTest::newRow("64 MiB") << 64;
    // Set CODEC_LARGE_TEXT_MIB to try a bigger text as well.
    const int extra = qEnvironmentVariableIntValue("CODEC_LARGE_TEXT_MIB");
    if (extra > 64)
        QTest::newRow(qPrintable(QStringLiteral("%1 MiB").arg(extra))) << extra;
}

void TestCodec::largeTexts()
{
    QFETCH(int, mebibytes);
    const qsizetype textSize = qsizetype(mebibytes) << 20;

    // Spaced hex: three characters a byte.
    const QByteArray bytes = randomBytes(textSize / 3, 7u + mebibytes);
    QString hex = ::bytesToHexStr(bytes, 16, true, QLatin1Char(' '));
    QVERIFY(hex.size() >= textSize - 3);
    QVERIFY(::isHexStr(hex));
    QCOMPARE(readHex(hex), bytes);
    hex.append(QLatin1Char('G'));
    QVERIFY(!::isHexStr(hex));
    QVERIFY(readHex(hex).isEmpty());
    hex.clear();

    // Unspaced hex with a line break every 64 digits.
    QString lined = ::bytesToHexStr(bytes.left(textSize / 2), 16, false, QLatin1Char(' '));
    for (qsizetype i = lined.size() - 64; i > 0; i -= 64)
        lined[i] = QLatin1Char('\n'); // overwrite, keeping the size
    QVERIFY(::isHexStr(lined));
    lined.append(QLatin1Char(','));
    QVERIFY(!::isHexStr(lined));
    lined.clear();

    // Base64: four characters for every three bytes.
    const QByteArray raw = randomBytes(textSize / 4 * 3, 11u + mebibytes);
    const QByteArray encoded = encodeExact(raw);
    QCOMPARE(encoded.size(), textSize);
    QString text = QString::fromLatin1(encoded);
    QVERIFY(::isBase64Str(text));
    QCOMPARE(decodeExact(encoded), raw);
    text.append(QLatin1Char('!'));
    QVERIFY(!::isBase64Str(text));
    text.chop(1);
    text.append(QLatin1String("\n\n"));
    QVERIFY(::isBase64Str(text));
    text[text.size() / 2] = QLatin1Char('=');
    QVERIFY(!::isBase64Str(text));
}

void TestCodec::switchHexBase64_data()
{
    QTest::addColumn<QString>("content");
    QTest::addColumn<QString>("comboText");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("count");

    const QString toBase64 = QStringLiteral("base64");
    const QString toHex = QStringLiteral("十六进制");
    QTest::newRow("61 62 63 to base64") << "61 62 63" << toBase64 << "YWJj" << 4;
    QTest::newRow("YWJj to hex") << "YWJj" << toHex << "61 62 63" << 3;
    QTest::newRow("unspaced hex to base64") << "0A0B0C0D" << toBase64 << "CgsMDQ==" << 8;
    QTest::newRow("not hex: cleared") << "hello" << toBase64 << "" << 0;
    QTest::newRow("empty box to base64") << "" << toBase64 << "" << 0;
    QTest::newRow("empty box to hex") << "" << toHex << "" << 0;
    QTest::newRow("plain text to hex") << "hello world" << toHex << "85 E9 65 A3 FC 28 AE 57" << 8;
    QTest::newRow("short last group to hex") << "YQ" << toHex << "61" << 1;
}

void TestCodec::switchHexBase64()
{
    QFETCH(QString, content);
    QFETCH(QString, comboText);
    QFETCH(QString, expected);
    QFETCH(int, count);

    FakeBox box;
    box.text = content;
    QCOMPARE(::switchHexBase64(&box, comboText), count);
    QCOMPARE(box.text, expected);
    QCOMPARE(box.setCount, 1);
}

void TestCodec::switchStringHex_data()
{
    QTest::addColumn<QString>("content");
    QTest::addColumn<QString>("comboText");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("count");

    const QString toString = QStringLiteral("字符串");
    const QString toHex = QStringLiteral("十六进制");
    QTest::newRow("abc to hex") << "abc" << toHex << "61 62 63" << 3;
    QTest::newRow("61 00 62 to string") << "61 00 62" << toString << "a" << 3;
    QTest::newRow("Chinese character to hex") << QStringLiteral("中") << toHex << "E4 B8 AD" << 3;
    QTest::newRow("Chinese character back") << "E4 B8 AD" << toString << QStringLiteral("中") << 3;
    QTest::newRow("whitespace is encoded too") << "a b\n" << toHex << "61 20 62 0A" << 4;
    QTest::newRow("not hex: cleared") << "xyz" << toString << "" << 0;
    QTest::newRow("empty box to string") << "" << toString << "" << 0;
    QTest::newRow("empty box to hex") << "" << toHex << "" << 0;
}

void TestCodec::switchStringHex()
{
    QFETCH(QString, content);
    QFETCH(QString, comboText);
    QFETCH(QString, expected);
    QFETCH(int, count);

    FakeBox box;
    box.text = content;
    QCOMPARE(::switchStringHex(&box, comboText), count);
    QCOMPARE(box.text, expected);
    QCOMPARE(box.setCount, 1);
}

void TestCodec::workBufferFailure_data()
{
    QTest::addColumn<QString>("content");
    QTest::addColumn<QString>("comboText");
    QTest::addColumn<QByteArray>("buffer");
    QTest::addColumn<QString>("debugLine");

    QTest::newRow("to base64") << "61 62 63"
                               << "base64" << QByteArray("base64")
                               << "Unable to allocate memory for base64\n";
    QTest::newRow("to hex") << "YWJj" << QStringLiteral("十六进制") << QByteArray("hex")
                            << "Unable to allocate memory for hex\n";
}

void TestCodec::workBufferFailure()
{
    QFETCH(QString, content);
    QFETCH(QString, comboText);
    QFETCH(QByteArray, buffer);
    QFETCH(QString, debugLine);

    DebugCapture capture;
    FakeBox box;
    box.text = content;
    int count;
    {
        const BufferRefusal refusal(buffer.constData());
        count = ::switchHexBase64(&box, comboText);
        QVERIFY(refusal.fired());
    }

    QCOMPARE(count, 0);
    QCOMPARE(box.setCount, 0);
    QCOMPARE(box.text, content);
    QCOMPARE(capture.debugLines(), QStringList{debugLine});
}

void TestCodec::workBufferSize()
{
    // The working buffers are exactly as large as the coder needs.
    FakeBox box;
    box.text = QStringLiteral("61 62 63 64");
    {
        const BufferSourceSwap recording(recordingSource);
        QCOMPARE(::switchHexBase64(&box, QStringLiteral("base64")), 8);
        QCOMPARE(lastRequestedSize, std::size_t(9)); // text and terminator
        QCOMPARE(::switchHexBase64(&box, QStringLiteral("十六进制")), 4);
        QCOMPARE(lastRequestedSize, std::size_t(6)); // two groups of four
    }
    QCOMPARE(box.text, QStringLiteral("61 62 63 64"));
}

void TestCodec::utf8RoundTrip()
{
    const QString title = QStringLiteral("加解密工具");
    QStringEncoder encoder(utf8Codec());
    const QByteArray bytes = encoder(title);
    QVERIFY(!encoder.hasError());
    QCOMPARE(bytes, hexBytes("E58AA0E8A7A3E5AF86E5B7A5E585B7"));
    QStringDecoder decoder(utf8Codec());
    const QString back = decoder(bytes);
    QVERIFY(!decoder.hasError());
    QCOMPARE(back, title);
}

QTEST_GUILESS_MAIN(TestCodec)
#include "tst_codec.moc"
