#include "cipher/des.h"
#include "cipher/des_bitslice.h"
#include "cipher/detail.h"

#include "enginereference.h"

#include <QtTest>

#include <cstring>
#include <memory>
#include <vector>

namespace {

const char guardByte = char(0xA5);

QByteArray fromHex(const char *hex)
{
    return QByteArray::fromHex(QByteArray(hex));
}

QByteArray encOutOf(const DesContext &context)
{
    return QByteArray(reinterpret_cast<const char *>(context.encOut), 8);
}

QByteArray decOutOf(const DesContext &context)
{
    return QByteArray(reinterpret_cast<const char *>(context.decOut), 8);
}

const char *asChars(const unsigned char *bytes)
{
    return reinterpret_cast<const char *>(bytes);
}

enum Operation { EncryptDes, DecryptDes, Encrypt3Des, Decrypt3Des };

struct Keyed
{
    explicit Keyed(const QByteArray &k1, const QByteArray &k2 = QByteArray())
    {
        context.setSubKey(k1.constData(), 0);
        if (!k2.isEmpty())
            context.setSubKey(k2.constData(), 1);
    }
    int run(Operation op, const void *in, int length, char *out)
    {
        switch (op) {
        case EncryptDes: return context.encryptDes(in, length, out);
        case DecryptDes: return context.decryptDes(in, length, out);
        case Encrypt3Des: return context.encrypt3Des(in, length, out);
        case Decrypt3Des: return context.decrypt3Des(in, length, out);
        }
        return -1;
    }
    // The buffer operation on `data`, in an output area of exactly 8n + 1
    // bytes followed by a guard that must stay untouched; returns the 8n
    // bytes and checks the count and the terminator.
    QByteArray runChecked(Operation op, const QByteArray &data)
    {
        const int blocks = (int(data.size()) + 7) / 8;
        QByteArray out(8 * blocks + 1 + 8, guardByte);
        std::vector<char> in(data.begin(), data.end());
        const int written = run(op, in.data(), int(in.size()), out.data());
        [&] {
            QCOMPARE(written, 8 * blocks);
            QCOMPARE(int(out[8 * blocks]), 0);
            QCOMPARE(out.mid(8 * blocks + 1), QByteArray(8, guardByte));
        }();
        return out.left(8 * blocks);
    }
    DesContext context;
};

// NIST SP 800-20 appendix A, with 0101010101010101 (all key bits zero but
// parity) or plaintext 0000000000000000 on the other side.
const char *const variablePlaintext[64] = {
    "95F8A5E5DD31D900", "DD7F121CA5015619", "2E8653104F3834EA", "4BD388FF6CD81D4F",
    "20B9E767B2FB1456", "55579380D77138EF", "6CC5DEFAAF04512F", "0D9F279BA5D87260",
    "D9031B0271BD5A0A", "424250B37C3DD951", "B8061B7ECD9A21E5", "F15D0F286B65BD28",
    "ADD0CC8D6E5DEBA1", "E6D5F82752AD63D1", "ECBFE3BD3F591A5E", "F356834379D165CD",
    "2B9F982F20037FA9", "889DE068A16F0BE6", "E19E275D846A1298", "329A8ED523D71AEC",
    "E7FCE22557D23C97", "12A9F5817FF2D65D", "A484C3AD38DC9C19", "FBE00A8A1EF8AD72",
    "750D079407521363", "64FEED9C724C2FAF", "F02B263B328E2B60", "9D64555A9A10B852",
    "D106FF0BED5255D7", "E1652C6B138C64A5", "E428581186EC8F46", "AEB5F5EDE22D1A36",
    "E943D7568AEC0C5C", "DF98C8276F54B04B", "B160E4680F6C696F", "FA0752B07D9C4AB8",
    "CA3A2B036DBC8502", "5E0905517BB59BCF", "814EEB3B91D90726", "4D49DB1532919C9F",
    "25EB5FC3F8CF0621", "AB6A20C0620D1C6F", "79E90DBC98F92CCA", "866ECEDD8072BB0E",
    "8B54536F2F3E64A8", "EA51D3975595B86B", "CAFFC6AC4542DE31", "8DD45A2DDF90796C",
    "1029D55E880EC2D0", "5D86CB23639DBEA9", "1D1CA853AE7C0C5F", "CE332329248F3228",
    "8405D1ABE24FB942", "E643D78090CA4207", "48221B9937748A23", "DD7C0BBD61FAFD54",
    "2FBC291A570DB5C4", "E07C30D7E4E26E12", "0953E2258E8E90A1", "5B711BC4CEEBF2EE",
    "CC083F1E6D9E85F6", "D2FD8867D50D2DFE", "06E7EA22CE92708F", "166B40B44ABA4BD6",
};

// One row per key bit that is not a parity bit, in order.
const char *const variableKey[56] = {
    "95A8D72813DAA94D", "0EEC1487DD8C26D5", "7AD16FFB79C45926", "D3746294CA6A6CF3",
    "809F5F873C1FD761", "C02FAFFEC989D1FC", "4615AA1D33E72F10", "2055123350C00858",
    "DF3B99D6577397C8", "31FE17369B5288C9", "DFDD3CC64DAE1642", "178C83CE2B399D94",
    "50F636324A9B7F80", "A8468EE3BC18F06D", "A2DC9E92FD3CDE92", "CAC09F797D031287",
    "90BA680B22AEB525", "CE7A24F350E280B6", "882BFF0AA01A0B87", "25610288924511C2",
    "C71516C29C75D170", "5199C29A52C9F059", "C22F0A294A71F29F", "EE371483714C02EA",
    "A81FBD448F9E522F", "4F644C92E192DFED", "1AFA9A66A6DF92AE", "B3C1CC715CB879D8",
    "19D032E64AB0BD8B", "3CFAA7A7DC8720DC", "B7265F7F447AC6F3", "9DB73B3C0D163F54",
    "8181B65BABF4A975", "93C9B64042EAA240", "5570530829705592", "8638809E878787A0",
    "41B9A79AF79AC208", "7A9BE42F2009A892", "29038D56BA6D2745", "5495C6ABF1E5DF51",
    "AE13DBD561488933", "024D1FFA8904E389", "D1399712F99BF02E", "14C1D7C1CFFEC79E",
    "1DE5279DAE3BED6F", "E941A33F85501303", "DA99DBBC9A03F379", "B7FC92F91D8E92E9",
    "AE8E5CAA3CA04E85", "9CC62DF43B6EED74", "D863DBB5C59A91A0", "A1AB2190545B91D7",
    "0875041E64C570F7", "5A594528BEBEF1CC", "FCDB3291DE21F0C0", "869EFD7F9F265A09",
};

// Key, plaintext, ciphertext: chosen so that together they reach every S-box entry.
const char *const substitutionTable[19][3] = {
    {"7CA110454A1A6E57", "01A1D6D039776742", "690F5B0D9A26939B"},
    {"0131D9619DC1376E", "5CD54CA83DEF57DA", "7A389D10354BD271"},
    {"07A1133E4A0B2686", "0248D43806F67172", "868EBB51CAB4599A"},
    {"3849674C2602319E", "51454B582DDF440A", "7178876E01F19B2A"},
    {"04B915BA43FEB5B6", "42FD443059577FA2", "AF37FB421F8C4095"},
    {"0113B970FD34F2CE", "059B5E0851CF143A", "86A560F10EC6D85B"},
    {"0170F175468FB5E6", "0756D8E0774761D2", "0CD3DA020021DC09"},
    {"43297FAD38E373FE", "762514B829BF486A", "EA676B2CB7DB2B7A"},
    {"07A7137045DA2A16", "3BDD119049372802", "DFD64A815CAF1A0F"},
    {"04689104C2FD3B2F", "26955F6835AF609A", "5C513C9C4886C088"},
    {"37D06BB516CB7546", "164D5E404F275232", "0A2AEEAE3FF4AB77"},
    {"1F08260D1AC2465E", "6B056E18759F5CCA", "EF1BF03E5DFA575A"},
    {"584023641ABA6176", "004BD6EF09176062", "88BF0DB6D70DEE56"},
    {"025816164629B007", "480D39006EE762F2", "A1F9915541020B56"},
    {"49793EBC79B3258F", "437540C8698F3CFA", "6FBF1CAFCFFD0556"},
    {"4FB05E1515AB73A7", "072D43A077075292", "2F22E49BAB7CA1AC"},
    {"49E95D6D4CA229BF", "02FE55778117F12A", "5A6B612CC26CCE4A"},
    {"018310DC409B26D6", "1D9D5C5018F728C2", "5F4C038ED12B2E41"},
    {"1C587F1C13924FEF", "305532286D6F295A", "63FAC0D034D9F793"},
};

const QByteArray fips81Key = fromHex("0123456789ABCDEF");
const QByteArray fips81Plain("Now is the time for all ");
const QByteArray fips81Cipher = fromHex("3FA40E8A984D4815"
                                        "6A271787AB8883F9"
                                        "893D51EC4B563B53");

} // namespace

class TestDes : public QObject
{
    Q_OBJECT

private slots:
    void sBoxRowsArePermutations();
    void sBoxCircuitsMatchTables();
    void blockKnownAnswers_data();
    void blockKnownAnswers();
    void fips81Buffer();
    void tripleDesKnownAnswers_data();
    void tripleDesKnownAnswers();
    void bufferLengths_data();
    void bufferLengths();
    void batchBoundaries_data();
    void batchBoundaries();
    void batchesInUse();
    void batchWidthsAgree();
    void parityBitsIgnored();
    void tripleDesWithEqualKeysIsDes();
    void tripleDesRoundTripAndKeyOrder();
    void refusedArguments();
    void destructionWipesSecrets();
    void differential_data();
    void differential();
};

void TestDes::sBoxRowsArePermutations()
{
    // Every row of every FIPS 46-3 S-box holds 0 to 15 once each.
    const unsigned char(*boxes)[64] = cipher::desSBoxes();
    for (int box = 0; box < 8; ++box)
        for (int row = 0; row < 4; ++row) {
            unsigned seen = 0;
            for (int column = 0; column < 16; ++column) {
                const int value = boxes[box][16 * row + column];
                QVERIFY(value < 16);
                seen |= 1u << value;
            }
            QVERIFY2(seen == 0xffffu, qPrintable(QString("S%1 row %2").arg(box + 1).arg(row)));
        }
}

void TestDes::sBoxCircuitsMatchTables()
{
    // The rounds compute the S-boxes as gate circuits; every input of every
    // circuit against the FIPS 46-3 table.
    const unsigned char(*boxes)[64] = cipher::desSBoxes();
    for (int box = 0; box < 8; ++box)
        for (unsigned group = 0; group < 64; ++group) {
            const int row = int(((group >> 4) & 2) | (group & 1));
            const int column = int((group >> 1) & 15);
            QVERIFY2(cipher::desbs::sBoxCircuit(box, group) == boxes[box][16 * row + column],
                     qPrintable(QString("S%1 input %2").arg(box + 1).arg(group)));
        }
}

void TestDes::blockKnownAnswers_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("cipherText");
    const QByteArray zeroKey = fromHex("0101010101010101");
    for (int bit = 0; bit < 64; ++bit) {
        QByteArray plain(8, '\0');
        plain[bit / 8] = char(0x80 >> (bit % 8));
        QTest::addRow("SP 800-20 variable plaintext %d", bit + 1)
            << zeroKey << plain << fromHex(variablePlaintext[bit]);
    }
    int row = 0;
    for (int bit = 0; bit < 64; ++bit) {
        if (bit % 8 == 7)
            continue; // parity bit
        QByteArray key = zeroKey;
        key[bit / 8] = char((0x80 >> (bit % 8)) | 1);
        QTest::addRow("SP 800-20 variable key %d", row + 1)
            << key << QByteArray(8, '\0') << fromHex(variableKey[row]);
        ++row;
    }
    for (int i = 0; i < 19; ++i)
        QTest::addRow("SP 800-20 substitution table %d", i + 1)
            << fromHex(substitutionTable[i][0]) << fromHex(substitutionTable[i][1])
            << fromHex(substitutionTable[i][2]);
    for (int i = 0; i < 3; ++i)
        QTest::addRow("FIPS 81 ECB block %d", i + 1)
            << fips81Key << fips81Plain.mid(8 * i, 8) << fips81Cipher.mid(8 * i, 8);
}

void TestDes::blockKnownAnswers()
{
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, cipherText);
    DesContext context;
    context.setSubKey(key.constData(), 1);
    context.encryptDesBlock(plain.constData(), 1);
    QCOMPARE(encOutOf(context).toHex(), cipherText.toHex());
    context.decryptDesBlock(cipherText.constData(), 1);
    QCOMPARE(decOutOf(context).toHex(), plain.toHex());
}

void TestDes::fips81Buffer()
{
    Keyed des(fips81Key);
    QCOMPARE(des.runChecked(EncryptDes, fips81Plain).toHex(), fips81Cipher.toHex());
    QCOMPARE(des.runChecked(DecryptDes, fips81Cipher), fips81Plain);
}

void TestDes::tripleDesKnownAnswers_data()
{
    QTest::addColumn<QByteArray>("k1");
    QTest::addColumn<QByteArray>("k2");
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("cipherText");
    // With K1 = K2 the construction collapses to single DES: FIPS 81 again.
    QTest::newRow("K1 = K2, FIPS 81 text") << fips81Key << fips81Key << fips81Plain << fips81Cipher;
    // Precomputed once with OpenSSL's DES-EDE-ECB (two-key EDE).
    QTest::newRow("two-key EDE, FIPS 81 text")
        << fips81Key << fromHex("23456789ABCDEF01") << fips81Plain
        << fromHex("B7835779EE26ACB75D2731A8D9B401623DD3FC69A08CC6D9");
    QTest::newRow("two-key EDE, one block")
        << fromHex("FEDCBA9876543210") << fromHex("0123456789ABCDEF") << fromHex("0123456789ABCDEF")
        << fromHex("E02E4FD4DC850651");
}

void TestDes::tripleDesKnownAnswers()
{
    QFETCH(QByteArray, k1);
    QFETCH(QByteArray, k2);
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, cipherText);
    Keyed tdes(k1, k2);
    QCOMPARE(tdes.runChecked(Encrypt3Des, plain).toHex(), cipherText.toHex());
    QCOMPARE(tdes.runChecked(Decrypt3Des, cipherText).toHex(), plain.toHex());
}

void TestDes::bufferLengths_data()
{
    QTest::addColumn<int>("length");
    QTest::newRow("empty input") << 0;
    QTest::newRow("5 bytes") << 5;
    QTest::newRow("8 bytes") << 8;
    QTest::newRow("9 bytes") << 9;
    QTest::newRow("23 bytes") << 23;
}

// Count, terminator and zero fill for every operation (runChecked checks the
// count, the terminator at 8n and the guard after it).
void TestDes::bufferLengths()
{
    QFETCH(int, length);
    const QByteArray data = QByteArray("The quick brown fox jumps").left(length);
    Keyed keyed(fromHex("133457799BBCDFF1"), fromHex("0E329232EA6D0D73"));
    for (auto [encrypt, decrypt] :
         {std::pair{EncryptDes, DecryptDes}, {Encrypt3Des, Decrypt3Des}}) {
        const QByteArray cipherText = keyed.runChecked(encrypt, data);
        if (QTest::currentTestFailed())
            return;
        // The zero fill comes back as trailing zeros: nothing is removed.
        QCOMPARE(keyed.runChecked(decrypt, cipherText), zeroFilled(data));
        // A partial last block on decryption is zero-filled like on encryption.
        QCOMPARE(keyed.runChecked(decrypt, data), keyed.runChecked(decrypt, zeroFilled(data)));
    }
}

void TestDes::batchBoundaries_data()
{
    // Batches hold 64 blocks (portable) or 256 (AVX2), and with AVX2 a
    // remainder of up to 64 blocks goes to one portable batch.
    QTest::addColumn<int>("length");
    for (int blocks : {1, 63, 64, 65, 127, 128, 255, 256, 257, 320, 321}) {
        QTest::addRow("%d blocks", blocks) << 8 * blocks;
        QTest::addRow("%d blocks, the last partial", blocks) << 8 * blocks - 3;
    }
}

// Every operation against OpenSSL, and the block outputs as the block by
// block definition leaves them: the last block's result, and for triple
// DES, in the other output, that block after its middle step.
void TestDes::batchBoundaries()
{
    QFETCH(int, length);
    std::mt19937_64 rng(differentialSeed() + std::uint64_t(length));
    const QByteArray k1 = randomBytes(rng, 8), k2 = randomBytes(rng, 8);
    const QByteArray data = randomBytes(rng, length);
    const QByteArray lastBlock = zeroFilled(data).right(8);
    Keyed keyed(k1, k2), steps(k1, k2);

    for (bool encrypt : {true, false}) {
        const QByteArray des = keyed.runChecked(encrypt ? EncryptDes : DecryptDes, data);
        QCOMPARE(des.toHex(), desZeroFilledReference(k1 + k1, data, encrypt).toHex());
        const QByteArray desResult = encrypt ? encOutOf(keyed.context) : decOutOf(keyed.context);
        QCOMPARE(desResult.toHex(), des.right(8).toHex());

        const QByteArray tdes = keyed.runChecked(encrypt ? Encrypt3Des : Decrypt3Des, data);
        QCOMPARE(tdes.toHex(), desZeroFilledReference(k1 + k2, data, encrypt).toHex());
        DesContext &s = steps.context;
        if (encrypt) {
            s.encryptDesBlock(lastBlock.constData(), 0);
            s.decryptDesBlock(asChars(s.encOut), 1);
            QCOMPARE(encOutOf(keyed.context).toHex(), tdes.right(8).toHex());
            QCOMPARE(decOutOf(keyed.context).toHex(), decOutOf(s).toHex());
        } else {
            s.decryptDesBlock(lastBlock.constData(), 0);
            s.encryptDesBlock(asChars(s.decOut), 1);
            QCOMPARE(decOutOf(keyed.context).toHex(), tdes.right(8).toHex());
            QCOMPARE(encOutOf(keyed.context).toHex(), encOutOf(s).toHex());
        }
    }
}

// The vector batches are used exactly where the processor and the system
// offer AVX2 (asked here of the compiler's runtime, not of the engine's own
// check) and the portable ones are not forced, so a broken check cannot
// leave them untested unnoticed; the line names the batches of this run.
void TestDes::batchesInUse()
{
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    const bool processorHasAvx2 = __builtin_cpu_supports("avx2");
#else
    const bool processorHasAvx2 = false;
#endif
    const QByteArray variable = qgetenv("CIPHERBENCH_DES_PORTABLE");
    const bool forced = !variable.isEmpty() && variable != "0";
    qInfo("DES batches of this run: %s", desUsesVectors() ? "AVX2 vectors" : "64-bit words");
    QCOMPARE(desUsesVectors(), processorHasAvx2 && !forced);
    desForcePortable(true);
    QVERIFY(!desUsesVectors());
    desForcePortable(false);
    QCOMPARE(desUsesVectors(), processorHasAvx2);
    desForcePortable(forced);
}

// Where the processor has AVX2, the vector and the portable batches give the
// same bytes on the same long input; the ctest run with
// CIPHERBENCH_DES_PORTABLE=1 repeats the whole suite on the portable ones.
void TestDes::batchWidthsAgree()
{
    if (!desUsesVectors())
        QSKIP("no AVX2 vector batches here (or CIPHERBENCH_DES_PORTABLE is set)");
    std::mt19937_64 rng(differentialSeed() + 2);
    const QByteArray k1 = randomBytes(rng, 8), k2 = randomBytes(rng, 8);
    const QByteArray data = randomBytes(rng, 8 * 1000 + 5);
    Keyed keyed(k1, k2);
    QList<QByteArray> vectors;
    for (Operation op : {EncryptDes, DecryptDes, Encrypt3Des, Decrypt3Des})
        vectors << keyed.runChecked(op, data);
    desForcePortable(true);
    const std::unique_ptr<void, void (*)(void *)> restore(this,
                                                          [](void *) { desForcePortable(false); });
    QVERIFY(!desUsesVectors());
    int i = 0;
    for (Operation op : {EncryptDes, DecryptDes, Encrypt3Des, Decrypt3Des})
        QCOMPARE(keyed.runChecked(op, data).toHex(), vectors[i++].toHex());
}

void TestDes::parityBitsIgnored()
{
    // The last bit of every key byte flipped.
    const QByteArray key = fromHex("0123456789ABCDEF");
    const QByteArray flipped = fromHex("0022446688AACCEE");
    DesContext a, b;
    a.setSubKey(key.constData(), 0);
    b.setSubKey(flipped.constData(), 0);
    QVERIFY(std::memcmp(a.subKeys[0], b.subKeys[0], sizeof a.subKeys[0]) == 0);
    QCOMPARE(Keyed(flipped).runChecked(EncryptDes, fips81Plain).toHex(), fips81Cipher.toHex());
    // Any other bit does matter.
    const QByteArray other = fromHex("0323456789ABCDEF");
    QVERIFY(Keyed(other).runChecked(EncryptDes, fips81Plain) != fips81Cipher);
}

void TestDes::tripleDesWithEqualKeysIsDes()
{
    std::mt19937_64 rng(differentialSeed());
    for (int n = 0; n < 200; ++n) {
        const QByteArray key = randomBytes(rng, 8);
        const QByteArray data = randomBytes(rng, randomInt(rng, 0, 64));
        Keyed des(key), tdes(key, key);
        QCOMPARE(tdes.runChecked(Encrypt3Des, data), des.runChecked(EncryptDes, data));
        QCOMPARE(tdes.runChecked(Decrypt3Des, data), des.runChecked(DecryptDes, data));
    }
}

void TestDes::tripleDesRoundTripAndKeyOrder()
{
    std::mt19937_64 rng(differentialSeed() + 1);
    for (int n = 0; n < 200; ++n) {
        const QByteArray k1 = randomBytes(rng, 8), k2 = randomBytes(rng, 8);
        const QByteArray data = randomBytes(rng, randomInt(rng, 0, 64));
        Keyed forward(k1, k2), swapped(k2, k1), des(k1);
        const QByteArray cipherText = forward.runChecked(Encrypt3Des, data);
        QCOMPARE(forward.runChecked(Decrypt3Des, cipherText), zeroFilled(data));
        QCOMPARE(des.runChecked(DecryptDes, des.runChecked(EncryptDes, data)), zeroFilled(data));
        if (!data.isEmpty())
            QVERIFY(swapped.runChecked(Encrypt3Des, data) != cipherText);
    }
}

void TestDes::refusedArguments()
{
    Keyed keyed(fips81Key, fips81Key);
    const QByteArray data = fips81Plain;
    for (Operation op : {EncryptDes, DecryptDes, Encrypt3Des, Decrypt3Des}) {
        QCOMPARE(keyed.run(op, data.constData(), int(data.size()), nullptr), 0);
        QByteArray out(32, guardByte);
        QCOMPARE(keyed.run(op, data.constData(), -1, out.data()), 0);
        QCOMPARE(keyed.run(op, data.constData(), -8, out.data()), 0);
        QCOMPARE(out, QByteArray(32, guardByte));
        // An empty input may come as a null pointer: only the terminator.
        QCOMPARE(keyed.run(op, nullptr, 0, out.data()), 0);
        QCOMPARE(int(out[0]), 0);
        QCOMPARE(out.mid(1), QByteArray(31, guardByte));
    }
}

void TestDes::destructionWipesSecrets()
{
    // The context lives in storage the test owns, so its bytes can be read
    // after the destructor ran.
    alignas(DesContext) unsigned char storage[sizeof(DesContext)] = {};
    auto *context = new (storage) DesContext;
    context->setSubKey(fips81Key.constData(), 0);
    context->setSubKey(fips81Key.constData(), 1);
    QByteArray out(25, '\0');
    QCOMPARE(context->encrypt3Des(fips81Plain.constData(), 24, out.data()), 24);
    QVERIFY(std::any_of(storage, storage + sizeof storage, [](unsigned char b) { return b != 0; }));
    context->~DesContext();
    QVERIFY(std::all_of(storage, storage + sizeof storage, [](unsigned char b) { return b == 0; }));
}

void TestDes::differential_data()
{
    QTest::addColumn<bool>("triple");
    QTest::addColumn<bool>("encrypt");
    QTest::newRow("DES encrypt") << false << true;
    QTest::newRow("DES decrypt") << false << false;
    QTest::newRow("3DES encrypt") << true << true;
    QTest::newRow("3DES decrypt") << true << false;
}

// Random keys and lengths of 0 to 1024 bytes against OpenSSL with padding
// off, the zero fill of a final partial block applied on its side.
void TestDes::differential()
{
    QFETCH(bool, triple);
    QFETCH(bool, encrypt);
    // Single DES lives in OpenSSL 3's legacy provider; without it, two-key
    // EDE with K1 = K2 is OpenSSL's single DES all the same.
    const bool legacy = !triple && loadLegacyProvider();
    EvpReference reference(triple || !legacy ? "DES-EDE-ECB" : "DES-ECB");
    QVERIFY(reference.isValid());
    std::mt19937_64 rng(differentialSeed() ^ (triple << 1 | encrypt));
    const int cases = differentialCases(20000);
    const Operation op =
        triple ? (encrypt ? Encrypt3Des : Decrypt3Des) : (encrypt ? EncryptDes : DecryptDes);

    for (int n = 0; n < cases; ++n) {
        const QByteArray k1 = randomBytes(rng, 8);
        const QByteArray k2 = triple ? randomBytes(rng, 8) : QByteArray();
        const QByteArray referenceKey = triple ? k1 + k2 : legacy ? k1 : k1 + k1;
        const int length = randomInt(rng, 0, 1024);
        const QByteArray data = randomBytes(rng, length);
        const QByteArray expected =
            reference.run(encrypt, referenceKey, QByteArray(), zeroFilled(data));

        Keyed keyed(k1, k2);
        const int blocks = (length + 7) / 8;
        std::vector<char> in(data.begin(), data.end());
        std::vector<char> out(8 * blocks + 1, guardByte);
        const int written = keyed.run(op, in.data(), length, out.data());
        QCOMPARE(written, 8 * blocks);
        QCOMPARE(int(out[8 * blocks]), 0);
        if (QByteArray(out.data(), written) != expected)
            QFAIL(qPrintable(QString("case %1: length %2, keys %3 %4")
                                 .arg(n)
                                 .arg(length)
                                 .arg(QString(k1.toHex()), QString(k2.toHex()))));
    }
}

QTEST_GUILESS_MAIN(TestDes)
#include "tst_des.moc"
