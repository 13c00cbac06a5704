#include "codec/codec.h"
#include "codec/workbuffer.h"

#include <QStringView>

#include <climits>
#include <cstring>

// Users paste texts of many megabytes, so every routine here makes one pass
// over its input and writes its result in place into a buffer sized up front.
// Where an odd input could make the fast path disagree with Qt's own integer
// conversion (signs, radix prefixes), the slow path simply asks Qt.

namespace {

// Whitespace among ASCII characters, bytes included: what QChar::isSpace
// accepts below 128.
constexpr bool isAsciiSpace(int c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Value of an ASCII character as a hexadecimal digit; whitespace and every
// other character get a marker of their own.
constexpr unsigned char kHexSpace = 0xFE;
constexpr unsigned char kHexOther = 0xFF;

struct HexDigitTable
{
    unsigned char value[128];
    constexpr HexDigitTable() : value()
    {
        for (int c = 0; c < 128; ++c)
            value[c] = isAsciiSpace(c) ? kHexSpace : kHexOther;
        for (int c = '0'; c <= '9'; ++c)
            value[c] = static_cast<unsigned char>(c - '0');
        for (int c = 'A'; c <= 'F'; ++c) {
            value[c] = static_cast<unsigned char>(c - 'A' + 10);
            value[c - 'A' + 'a'] = static_cast<unsigned char>(c - 'A' + 10);
        }
    }
};
constexpr HexDigitTable kHexDigits;

// Classifies one UTF-16 unit: 0-15 for a hex digit, kHexSpace for
// whitespace (as QChar::isSpace sees it), kHexOther for anything else.
inline unsigned char classifyHex(char16_t c)
{
    if (c < 128)
        return kHexDigits.value[c];
    return QChar::isSpace(c) ? kHexSpace : kHexOther;
}

constexpr char kBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Index of a character in the Base64 alphabet; 255 (all bits set) for every
// other character, '=' and the terminator included, as the decoder's
// arithmetic expects.
struct Base64IndexTable
{
    unsigned char index[256];
    constexpr Base64IndexTable() : index()
    {
        for (int c = 0; c < 256; ++c)
            index[c] = 255;
        for (int i = 0; i < 64; ++i)
            index[static_cast<unsigned char>(kBase64Alphabet[i])] = static_cast<unsigned char>(i);
    }
};
constexpr Base64IndexTable kBase64Index;

inline bool isBase64Char(char16_t c)
{
    return c < 128 && kBase64Index.index[c] != 255;
}

// Upper-case digit pairs of every byte value.
struct HexPairTable
{
    char16_t pair[256][2];
    constexpr HexPairTable() : pair()
    {
        constexpr char digits[] = "0123456789ABCDEF";
        for (int b = 0; b < 256; ++b) {
            pair[b][0] = static_cast<char16_t>(digits[b >> 4]);
            pair[b][1] = static_cast<char16_t>(digits[b & 15]);
        }
    }
};
constexpr HexPairTable kHexPairs;

// Reads one group of a hex text (one or two UTF-16 units with no
// whitespace) as the toolkit's integer conversion does; false when the
// conversion fails or the value exceeds a byte. Plain digit pairs, by far the
// common case, are read here; everything else goes to QStringView::toInt so
// that signs and other oddities are judged exactly as the toolkit judges them
// ("-1" converts, to -1, and is stored as its low 8 bits).
inline bool readHexGroup(const char16_t *group, qsizetype length, int *value)
{
    if (length == 2) {
        const unsigned char hi = classifyHex(group[0]);
        const unsigned char lo = classifyHex(group[1]);
        if (hi < 16 && lo < 16) {
            *value = hi << 4 | lo;
            return true;
        }
    } else if (length == 1) {
        const unsigned char v = classifyHex(group[0]);
        if (v < 16) {
            *value = v;
            return true;
        }
    }
    bool ok = false;
    *value = QStringView(group, length).toInt(&ok, 16);
    return ok && *value <= 255;
}

inline const char16_t *utf16Units(const QString &text)
{
    return reinterpret_cast<const char16_t *>(text.constData());
}

} // namespace

bool isHexDigitOrSpace(QChar c)
{
    return classifyHex(c.unicode()) != kHexOther;
}

QByteArray removeAsciiWhitespace(const QByteArray &bytes)
{
    QByteArray out = bytes;
    out.removeIf([](char c) { return isAsciiSpace(static_cast<unsigned char>(c)); });
    return out;
}

QString removeWhitespace(const QString &text)
{
    const qsizetype n = text.size();
    const char16_t *in = utf16Units(text);
    qsizetype first = 0;
    while (first < n && !QChar::isSpace(in[first]))
        ++first;
    if (first == n)
        return text; // nothing to remove: share the caller's data

    QString out(n, Qt::Uninitialized);
    char16_t *o = reinterpret_cast<char16_t *>(out.data());
    std::memcpy(o, in, first * sizeof(char16_t));
    qsizetype k = first;
    for (qsizetype i = first + 1; i < n; ++i) {
        if (!QChar::isSpace(in[i]))
            o[k++] = in[i];
    }
    out.truncate(k);
    return out;
}

QString bytesToHexStr(const QByteArray &bytes, int radix, bool spaced, QChar separator)
{
    const qsizetype n = bytes.size();
    if (radix != 16) {
        // Rare enough to be done the plain way, with Qt's own formatting.
        QString text;
        for (qsizetype i = 0; i < n; ++i) {
            text += QStringLiteral("%1").arg(uint(static_cast<uchar>(bytes[i])), 2, radix,
                                             QLatin1Char('0'));
            if (spaced && i < n - 1)
                text += separator;
        }
        return text.toUpper();
    }
    if (n == 0)
        return QString();

    // The whole text is upper-cased, the separator included.
    const QString sep = spaced ? QString(separator).toUpper() : QString();
    const qsizetype sepLength = sep.size();
    QString text(2 * n + (n - 1) * sepLength, Qt::Uninitialized);
    char16_t *o = reinterpret_cast<char16_t *>(text.data());
    const unsigned char *in = reinterpret_cast<const unsigned char *>(bytes.constData());

    if (sepLength == 1) {
        const char16_t s = sep.front().unicode();
        for (qsizetype i = 0; i < n - 1; ++i) {
            o[0] = kHexPairs.pair[in[i]][0];
            o[1] = kHexPairs.pair[in[i]][1];
            o[2] = s;
            o += 3;
        }
    } else {
        for (qsizetype i = 0; i < n - 1; ++i) {
            o[0] = kHexPairs.pair[in[i]][0];
            o[1] = kHexPairs.pair[in[i]][1];
            o += 2;
            for (qsizetype j = 0; j < sepLength; ++j)
                *o++ = sep.at(j).unicode();
        }
    }
    o[0] = kHexPairs.pair[in[n - 1]][0];
    o[1] = kHexPairs.pair[in[n - 1]][1];
    return text;
}

QString groupHexStr(const QString &text, int groupSize, QChar separator)
{
    const QString compact = removeWhitespace(text); // trimming first changes nothing
    const qsizetype n = compact.size();
    if (groupSize <= 0)
        return compact;
    const qsizetype groups = n / groupSize;
    if (groups == 0)
        return compact;

    // Inserting a separator after every whole group and trimming the result
    // comes to this: groups joined by separators, plus one after the last
    // whole group unless the text ends there and trimming takes it away.
    const bool dropLast = (n % groupSize == 0) && separator.isSpace();
    const qsizetype separators = dropLast ? groups - 1 : groups;
    QString out(n + separators, Qt::Uninitialized);
    char16_t *o = reinterpret_cast<char16_t *>(out.data());
    const char16_t *in = utf16Units(compact);
    const char16_t sep = separator.unicode();
    qsizetype written = 0;
    for (qsizetype g = 0; g < groups; ++g) {
        std::memcpy(o, in + g * groupSize, groupSize * sizeof(char16_t));
        o += groupSize;
        if (written < separators) {
            *o++ = sep;
            ++written;
        }
    }
    const qsizetype rest = n - groups * groupSize;
    std::memcpy(o, in + groups * groupSize, rest * sizeof(char16_t));
    return out;
}

QByteArray hexStrToBytes(const QString &text, int radix, QChar separator)
{
    const QString simple = text.simplified();
    const char16_t *in = utf16Units(simple);
    const qsizetype n = simple.size();
    const char16_t sep = separator.unicode();

    // Every part that converts holds at least one character, so there are at
    // most (n + 1) / 2 of them before the first failure ends the reading.
    QByteArray bytes((n + 1) / 2 + 1, Qt::Uninitialized);
    char *o = bytes.data();
    qsizetype count = 0;
    qsizetype start = 0;
    for (;;) {
        qsizetype end = start;
        while (end < n && in[end] != sep)
            ++end;
        int value = 0;
        bool ok = false;
        if (radix == 16) {
            ok = end > start && readHexGroup(in + start, end - start, &value);
        } else {
            value = QStringView(in + start, end - start).toInt(&ok, radix);
            ok = ok && value <= 255;
        }
        if (!ok)
            return QByteArray(); // never a partial result
        o[count++] = static_cast<char>(value & 0xFF);
        if (end == n)
            break;
        start = end + 1;
    }
    bytes.truncate(count);
    return bytes;
}

QByteArray readHex(const QString &text)
{
    // Grouping leaves the non-whitespace characters paired from the start,
    // the last one alone when their number is odd; the reading then converts
    // each pair and fails as a whole on the first bad one. Both in one pass.
    const char16_t *in = utf16Units(text);
    const qsizetype n = text.size();
    QByteArray bytes(n / 2 + 1, Qt::Uninitialized);
    char *o = bytes.data();
    qsizetype count = 0;
    char16_t group[2];
    int pending = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = in[i];
        const unsigned char v = classifyHex(c);
        if (v == kHexSpace)
            continue;
        if (pending == 0) {
            group[0] = c;
            pending = 1;
            continue;
        }
        group[1] = c;
        pending = 0;
        const unsigned char hi = classifyHex(group[0]);
        int value;
        if (hi < 16 && v < 16)
            value = hi << 4 | v;
        else if (!readHexGroup(group, 2, &value))
            return QByteArray();
        o[count++] = static_cast<char>(value & 0xFF);
    }
    if (pending) {
        int value;
        if (!readHexGroup(group, 1, &value))
            return QByteArray();
        o[count++] = static_cast<char>(value & 0xFF);
    }
    // An empty or all-whitespace text is one empty group, which never reads.
    if (count == 0)
        return QByteArray();
    bytes.truncate(count);
    if (bytes.capacity() > 2 * count + 64)
        bytes.squeeze(); // mostly whitespace: do not keep the slack
    return bytes;
}

int base64EncodedSize(int len)
{
    if (len < 0)
        len = 0;
    const long long size = 4 * ((static_cast<long long>(len) + 2) / 3) + 1;
    // Beyond what an int can count no buffer can be sized; -1 makes every
    // allocation attempt fail cleanly instead of wrapping around.
    return size > INT_MAX ? -1 : static_cast<int>(size);
}

char *base64Encode(const char *in, char *out, int len)
{
    const unsigned char *p = reinterpret_cast<const unsigned char *>(in);
    char *o = out;
    int i = 0;
    for (; i + 2 < len; i += 3) {
        const unsigned v = unsigned(p[i]) << 16 | unsigned(p[i + 1]) << 8 | p[i + 2];
        o[0] = kBase64Alphabet[v >> 18];
        o[1] = kBase64Alphabet[(v >> 12) & 63];
        o[2] = kBase64Alphabet[(v >> 6) & 63];
        o[3] = kBase64Alphabet[v & 63];
        o += 4;
    }
    const int rest = len - i;
    if (rest == 1) {
        const unsigned v = unsigned(p[i]) << 16;
        o[0] = kBase64Alphabet[v >> 18];
        o[1] = kBase64Alphabet[(v >> 12) & 63];
        o[2] = '=';
        o[3] = '=';
        o += 4;
    } else if (rest == 2) {
        const unsigned v = unsigned(p[i]) << 16 | unsigned(p[i + 1]) << 8;
        o[0] = kBase64Alphabet[v >> 18];
        o[1] = kBase64Alphabet[(v >> 12) & 63];
        o[2] = kBase64Alphabet[(v >> 6) & 63];
        o[3] = '=';
        o += 4;
    }
    *o = '\0';
    return out;
}

// Every group of four characters begun gives at most three bytes.
static std::size_t decodedBytesAtMost(std::size_t textLen)
{
    return (textLen / 4 + (textLen % 4 != 0)) * 3;
}

int base64DecodedCapacity(qsizetype textLen)
{
    if (textLen <= 0)
        return 0;
    const std::size_t bytes = decodedBytesAtMost(std::size_t(textLen));
    return bytes > std::size_t(INT_MAX) ? -1 : static_cast<int>(bytes);
}

// Groups of four characters, each character worth its alphabet index or 255
// when it is outside the alphabet ('=' and whitespace included); a group with
// '=' in its third or fourth place ends the decoding after its bytes.
//
// The text may end inside a group (a text that is not Base64 at all, or
// Base64 with whitespace still in it). The decoder never looks beyond the
// terminator: a short last group decodes as if its missing places held '=',
// so three characters give two bytes and two characters give one byte, while
// a single character, too few bits for a whole byte, gives nothing. Hence at
// most three bytes are written for every group begun, the short one included.
// The room is checked before anything is written, so that a caller whose
// buffer was sized for another text loses its result, never its memory.
int base64Decode(const char *in, char *out, std::size_t capacity)
{
    if (!in || !out)
        return 0;
    const std::size_t length = std::strlen(in);
    const std::size_t needed = decodedBytesAtMost(length);
    if (needed > capacity || needed > std::size_t(INT_MAX))
        return -1;
    const unsigned char *p = reinterpret_cast<const unsigned char *>(in);
    const unsigned char *const wholeEnd = p + (length & ~std::size_t(3));
    const unsigned char *const index = kBase64Index.index;
    unsigned char *o = reinterpret_cast<unsigned char *>(out);

    for (; p != wholeEnd; p += 4) {
        const unsigned a = index[p[0]], b = index[p[1]], c = index[p[2]], d = index[p[3]];
        o[0] = static_cast<unsigned char>(a << 2 | (b >> 4 & 0x03));
        if (p[2] == '=')
            return static_cast<int>(o + 1 - reinterpret_cast<unsigned char *>(out));
        o[1] = static_cast<unsigned char>(b << 4 | (c >> 2 & 0x0F));
        if (p[3] == '=')
            return static_cast<int>(o + 2 - reinterpret_cast<unsigned char *>(out));
        o[2] = static_cast<unsigned char>(c << 6 | (d & 0x3F));
        o += 3;
    }

    const std::size_t rest = length & 3;
    if (rest >= 2) {
        const unsigned a = index[p[0]], b = index[p[1]];
        *o++ = static_cast<unsigned char>(a << 2 | (b >> 4 & 0x03));
        if (rest == 3 && p[2] != '=') {
            const unsigned c = index[p[2]];
            *o++ = static_cast<unsigned char>(b << 4 | (c >> 2 & 0x0F));
        }
    }
    return static_cast<int>(o - reinterpret_cast<unsigned char *>(out));
}

bool isHexStr(const QString &text)
{
    const char16_t *in = utf16Units(text);
    const qsizetype n = text.size();
    bool anyDigit = false;
    for (qsizetype i = 0; i < n; ++i) {
        const unsigned char v = classifyHex(in[i]);
        if (v == kHexOther)
            return false;
        anyDigit |= (v != kHexSpace);
    }
    return anyDigit;
}

bool isBase64Str(const QString &text)
{
    // Whitespace aside: whole groups of four alphabet characters, of which
    // the last group may end in '=' or '=='.
    const char16_t *in = utf16Units(text);
    const qsizetype n = text.size();
    qsizetype count = 0;
    int padding = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = in[i];
        if (isBase64Char(c)) {
            if (padding)
                return false; // '=' only at the very end
            ++count;
        } else if (c == u'=') {
            if (++padding > 2)
                return false;
            ++count;
        } else if (!QChar::isSpace(c)) {
            return false;
        }
    }
    return count > 0 && count % 4 == 0;
}

bool renderHexBase64(const QString &current, const QString &comboText, QString *replacement,
                     int *count)
{
    if (comboText.contains(QLatin1String("base64"))) {
        const QByteArray bytes = readHex(current);
        const int size = bytes.size() <= INT_MAX ? base64EncodedSize(int(bytes.size())) : -1;
        const WorkBuffer buffer(size, "base64");
        if (!buffer)
            return false;
        base64Encode(bytes.constData(), buffer.data(), int(bytes.size()));
        *replacement = QString::fromLatin1(buffer.data(), size - 1);
        *count = size - 1;
        return true;
    }

    // The box is taken to hold Base64: decode its UTF-8 form, which like
    // every QByteArray ends in a terminator.
    const QByteArray text = current.toUtf8();
    const WorkBuffer buffer(base64DecodedCapacity(text.size()), "hex");
    if (!buffer)
        return false;
    const int n = base64Decode(text.constData(), buffer.data(), buffer.size());
    if (n < 0)
        return false; // not with a buffer sized for this very text
    *replacement = bytesToHexStr(QByteArray::fromRawData(buffer.data(), n));
    *count = n;
    return true;
}

bool renderStringHex(const QString &current, const QString &comboText, QString *replacement,
                     int *count)
{
    if (comboText.contains(QStringLiteral("字符串"))) {
        // Hex to text: the bytes as UTF-8, up to the first zero byte.
        const QByteArray bytes = readHex(current);
        const char *zero = static_cast<const char *>(
            std::memchr(bytes.constData(), '\0', std::size_t(bytes.size())));
        const qsizetype length = zero ? zero - bytes.constData() : bytes.size();
        *replacement = QString::fromUtf8(bytes.constData(), length);
        *count = int(bytes.size());
        return true;
    }

    // Text to hex: every character, whitespace included.
    const QByteArray bytes = current.toUtf8();
    *replacement = bytesToHexStr(bytes);
    *count = int(bytes.size());
    return true;
}

QStringConverter::Encoding utf8Codec()
{
    return QStringConverter::Utf8;
}
