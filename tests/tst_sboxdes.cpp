// The generated DES S-box circuits (cipher/generated/des_sbox_circuits.h) on
// every input against the FIPS 46-3 tables. Each input word holds one input
// bit of all 64 groups (bit x of a1..a6 the bits of group x), so one call
// evaluates a whole S-box; the outputs start from nonzero words, since the
// circuits XOR into them.

#include "cipher/detail.h"
#include "cipher/generated/des_sbox_circuits.h"

#include <QTest>

#include <cstdint>

namespace {

using Word = std::uint64_t;

void runCircuit(int box, const Word *a, Word *out)
{
    switch (box) {
    case 0: desSBox1(a[0], a[1], a[2], a[3], a[4], a[5], out[0], out[1], out[2], out[3]); break;
    case 1: desSBox2(a[0], a[1], a[2], a[3], a[4], a[5], out[0], out[1], out[2], out[3]); break;
    case 2: desSBox3(a[0], a[1], a[2], a[3], a[4], a[5], out[0], out[1], out[2], out[3]); break;
    case 3: desSBox4(a[0], a[1], a[2], a[3], a[4], a[5], out[0], out[1], out[2], out[3]); break;
    case 4: desSBox5(a[0], a[1], a[2], a[3], a[4], a[5], out[0], out[1], out[2], out[3]); break;
    case 5: desSBox6(a[0], a[1], a[2], a[3], a[4], a[5], out[0], out[1], out[2], out[3]); break;
    case 6: desSBox7(a[0], a[1], a[2], a[3], a[4], a[5], out[0], out[1], out[2], out[3]); break;
    default: desSBox8(a[0], a[1], a[2], a[3], a[4], a[5], out[0], out[1], out[2], out[3]);
    }
}

} // namespace

class TestSBoxDes : public QObject
{
    Q_OBJECT

private slots:
    void everyInput_data();
    void everyInput();
};

void TestSBoxDes::everyInput_data()
{
    QTest::addColumn<int>("box");
    for (int box = 0; box < 8; ++box)
        QTest::addRow("S%d", box + 1) << box;
}

void TestSBoxDes::everyInput()
{
    QFETCH(int, box);
    Word a[6] = {};
    for (unsigned group = 0; group < 64; ++group)
        for (int i = 0; i < 6; ++i)
            a[i] |= Word((group >> (5 - i)) & 1u) << group;
    const Word start[4] = {0x0123456789abcdefu, 0xfedcba9876543210u, 0xa5a5a5a55a5a5a5au,
                           0xffffffff00000000u};
    Word out[4] = {start[0], start[1], start[2], start[3]};
    runCircuit(box, a, out);

    const unsigned char(*boxes)[64] = cipher::desSBoxes();
    for (unsigned group = 0; group < 64; ++group) {
        // FIPS 46-3: the first and last bit pick the row, the middle four the column.
        const unsigned row = ((group >> 4) & 2u) | (group & 1u);
        const unsigned column = (group >> 1) & 15u;
        unsigned got = 0;
        for (int j = 0; j < 4; ++j)
            got |= unsigned(((out[j] ^ start[j]) >> group) & 1u) << (3 - j);
        QVERIFY2(got == boxes[box][16 * row + column],
                 qPrintable(QStringLiteral("input %1: %2, FIPS 46-3 says %3")
                                .arg(group)
                                .arg(got)
                                .arg(boxes[box][16 * row + column])));
    }
}

QTEST_GUILESS_MAIN(TestSBoxDes)
#include "tst_sboxdes.moc"
