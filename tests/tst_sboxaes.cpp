// The generated AES S-box circuits (cipher/generated/aes_sbox_circuits.h) on
// every input, against the tables FIPS-197 prints, evaluated the way the
// engine uses them: many bytes at once, one per bit of each slice word.

#include "cipher/aes_ct.h"
#include "cipher/generated/aes_sbox_circuits.h"
#include "fips197tables.h"

#include <QTest>

#include <array>
#include <cstdint>

namespace {

using Substitutes = std::array<unsigned char, 256>;

// All 256 bytes through a circuit on words of type W: bit j of slice i holds
// bit i of byte `first + j`, as many bytes per call as W has bits.
template <class W>
Substitutes evaluate(bool inverse)
{
    const int width = 8 * int(sizeof(W));
    Substitutes out{};
    for (int first = 0; first < 256; first += width) {
        W slices[8] = {};
        for (int j = 0; j < width; ++j)
            for (int i = 0; i < 8; ++i)
                slices[i] = W(slices[i] | W(((first + j) >> i) & 1) << j);
        if (inverse)
            cipher::aesSBoxInverse(slices);
        else
            cipher::aesSBoxForward(slices);
        for (int j = 0; j < width; ++j) {
            int byte = 0;
            for (int i = 0; i < 8; ++i)
                byte |= int((slices[i] >> j) & 1) << i;
            out[std::size_t(first + j)] = static_cast<unsigned char>(byte);
        }
    }
    return out;
}

} // namespace

class TestSBoxAes : public QObject
{
    Q_OBJECT

private slots:
    void everyInput_data();
    void everyInput();
    void subWordInEveryPosition();
};

void TestSBoxAes::everyInput_data()
{
    QTest::addColumn<bool>("inverse");
    QTest::addColumn<int>("width");
    // 64 is the width the rounds use, 8 the one-byte self-checks'; 8 and 16
    // also check that the circuits keep to the type they are given (~ on a
    // narrow type yields an int).
    for (bool inverse : {false, true})
        for (int width : {64, 32, 16, 8})
            QTest::addRow("%s, %d-bit slices", inverse ? "inverse" : "forward", width)
                << inverse << width;
}

void TestSBoxAes::everyInput()
{
    QFETCH(bool, inverse);
    QFETCH(int, width);
    const Substitutes got = width == 64   ? evaluate<std::uint64_t>(inverse)
                            : width == 32 ? evaluate<std::uint32_t>(inverse)
                            : width == 16 ? evaluate<std::uint16_t>(inverse)
                                          : evaluate<std::uint8_t>(inverse);
    const unsigned char *table = inverse ? invSBox : sBox;
    for (int x = 0; x < 256; ++x)
        QVERIFY2(got[std::size_t(x)] == table[x],
                 qPrintable(QStringLiteral("%1 -> %2, FIPS-197 says %3")
                                .arg(x, 2, 16, QLatin1Char('0'))
                                .arg(got[std::size_t(x)], 2, 16, QLatin1Char('0'))
                                .arg(table[x], 2, 16, QLatin1Char('0'))));
}

void TestSBoxAes::subWordInEveryPosition()
{
    // The key schedule's SubWord slices a word's four bytes itself; every
    // byte value in each of the four positions, beside three others.
    for (unsigned x = 0; x < 256; ++x) {
        std::uint32_t word = 0, expected = 0;
        for (unsigned j = 0; j < 4; ++j) {
            const unsigned byte = (x + 67 * j) & 0xFF;
            word |= std::uint32_t(byte) << (8 * j);
            expected |= std::uint32_t(sBox[byte]) << (8 * j);
        }
        QCOMPARE(cipher::aesct::subWord(word), expected);
    }
}

QTEST_GUILESS_MAIN(TestSBoxAes)
#include "tst_sboxaes.moc"
