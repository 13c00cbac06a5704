// The one-pass hex reading against the literal two-step reading built from
// plain QString operations (whitespace removal, one insert per separator,
// simplified + split + toInt), plus groupHexStr, hexStrToBytes and
// bytesToHexStr against the same kind of reference, on arbitrary text.

#include "codec/codec.h"
#include "fuzztext.h"

#include <QByteArray>
#include <QStringList>

#include <cstdint>
#include <cstdlib>

namespace {

QString naiveGroup(const QString &text, int groupSize, QChar separator)
{
    QString s = text.trimmed();
    s.removeIf([](QChar c) { return c.isSpace(); });
    const int inserts = int(s.size()) / groupSize;
    qsizetype position = groupSize;
    for (int i = 0; i < inserts; ++i) {
        s.insert(position, separator);
        position += groupSize + 1;
    }
    if (inserts > 0)
        s = s.trimmed();
    return s;
}

QByteArray naiveToBytes(const QString &text, int radix, QChar separator)
{
    QByteArray bytes;
    const QStringList parts = text.simplified().split(separator, Qt::KeepEmptyParts);
    for (const QString &part : parts) {
        bool ok = false;
        const int value = part.toInt(&ok, radix);
        if (!ok || value > 255)
            return QByteArray();
        bytes.append(char(value & 0xFF));
    }
    return bytes;
}

QString naiveHexStr(const QByteArray &bytes, bool spaced, QChar separator)
{
    QString text;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        text += QStringLiteral("%1").arg(uint(uchar(bytes[i])), 2, 16, QLatin1Char('0'));
        if (spaced && i < bytes.size() - 1)
            text += separator;
    }
    return text.toUpper();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size > (1u << 20))
        return 0;
    unsigned selector = 0;
    const QString text = fuzzText(data, size, &selector);
    const QChar space(u' ');

    const QByteArray bytes = readHex(text);
    if (text.size() <= 4096) {
        if (bytes != naiveToBytes(naiveGroup(text, 2, space), 16, space))
            std::abort();
        if (groupHexStr(text, 2, space) != naiveGroup(text, 2, space))
            std::abort();
        if (hexStrToBytes(text, 16, space) != naiveToBytes(text, 16, space))
            std::abort();

        static const QChar separators[] = {u' ', u',', u'\t', u'x', u'\u3000', u'='};
        const QChar separator = separators[(selector >> 2) % 6];
        const int groupSize = int((selector >> 5) % 4) + 1;
        if (groupHexStr(text, groupSize, separator) != naiveGroup(text, groupSize, separator))
            std::abort();
        if (hexStrToBytes(text, 16, separator) != naiveToBytes(text, 16, separator))
            std::abort();
        const int radix = (selector & 0x80) ? 10 : 8;
        if (hexStrToBytes(text, radix, space) != naiveToBytes(text, radix, space))
            std::abort();
    }

    // Whatever was read prints back as hex that reads the same.
    const QString spaced = bytesToHexStr(bytes, 16, true, space);
    if (readHex(spaced) != bytes)
        std::abort();
    if (bytes.size() <= 1024) {
        if (spaced != naiveHexStr(bytes, true, space))
            std::abort();
        if (bytesToHexStr(bytes, 16, false, space) != naiveHexStr(bytes, false, space))
            std::abort();
        const QChar odd = (selector & 8) ? QChar(u'x') : QChar(0xDF); // 'ß' upper-cases to "SS"
        if (bytesToHexStr(bytes, 16, true, odd) != naiveHexStr(bytes, true, odd))
            std::abort();
    }
    return 0;
}
