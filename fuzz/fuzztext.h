#ifndef CIPHERBENCH_FUZZ_FUZZTEXT_H
#define CIPHERBENCH_FUZZ_FUZZTEXT_H

// Turns fuzzer bytes into a QString: the first byte picks how the rest is
// read. UTF-8 and raw UTF-16 (lone surrogates included) reach every code
// unit; the small-alphabet form makes long valid hex and Base64 texts
// likely, whitespace of several kinds mixed in.

#include <QString>

#include <cstdint>
#include <cstring>
#include <string>

inline QString fuzzText(const std::uint8_t *data, std::size_t size, unsigned *selector)
{
    *selector = size ? data[0] : 0;
    if (size)
        ++data, --size;
    switch (*selector % 3) {
    case 0: return QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    case 1: {
        std::u16string units(size / 2, u'\0');
        std::memcpy(units.data(), data, units.size() * 2);
        return QString::fromUtf16(units.data(), qsizetype(units.size()));
    }
    default: {
        static const char16_t alphabet[] = u"0123456789abcdefABCDEFxyzXYZ+/=-, \t\n\r"
                                           u"\u00A0\u3000\u2028\u0085\uFF11";
        constexpr std::size_t count = sizeof(alphabet) / sizeof(alphabet[0]) - 1;
        QString text(qsizetype(size), Qt::Uninitialized);
        for (std::size_t i = 0; i < size; ++i)
            text[qsizetype(i)] = QChar(alphabet[data[i] % count]);
        return text;
    }
    }
}

#endif
