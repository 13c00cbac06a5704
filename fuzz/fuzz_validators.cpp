// isHexStr and isBase64Str against their regular expressions, matched the
// reference way (trim, drop whitespace, anchored QRegularExpression) on texts
// small enough for the regex engine; every size runs for crashes.

#include "codec/codec.h"
#include "fuzztext.h"

#include <QRegularExpression>

#include <cstdint>
#include <cstdlib>

namespace {

void quiet(QtMsgType, const QMessageLogContext &, const QString &) {}

QString naiveStrip(const QString &text)
{
    QString s = text.trimmed();
    s.removeIf([](QChar c) { return c.isSpace(); });
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const QRegularExpression hexPattern(
        QRegularExpression::anchoredPattern(QStringLiteral("([A-Fa-f0-9])+")));
    static const QRegularExpression base64Pattern(QRegularExpression::anchoredPattern(
        QStringLiteral("^([A-Za-z0-9+/]{4})*([A-Za-z0-9+/]{4}|[A-Za-z0-9+/]{3}=|"
                       "[A-Za-z0-9+/]{2}==)$")));
    static const bool installed = (qInstallMessageHandler(quiet), true);
    (void)installed;

    if (size > (1u << 20))
        return 0;
    unsigned selector = 0;
    const QString text = fuzzText(data, size, &selector);
    const QString copy = text;

    const bool hex = isHexStr(text);
    const bool base64 = isBase64Str(text);
    if (text != copy)
        std::abort();
    if (text.size() < 1024) {
        const QString stripped = naiveStrip(text);
        if (removeWhitespace(text) != stripped)
            std::abort();
        if (hex != hexPattern.match(stripped).hasMatch())
            std::abort();
        if (base64 != base64Pattern.match(stripped).hasMatch())
            std::abort();
    }
    return 0;
}
