#include "cipher/aes.h"
#include "cipher/aes_ct.h"

#include "enginereference.h"
#include "fips197tables.h"

#include <QtTest>

#include <cstring>
#include <memory>
#include <vector>

namespace {

const char guardByte = char(0xA5);
const int guardSize = 16;

QByteArray fromHex(const char *hex)
{
    return QByteArray::fromHex(QByteArray(hex));
}

const unsigned char *uchars(const QByteArray &a)
{
    return reinterpret_cast<const unsigned char *>(a.constData());
}

// An output area of `size` bytes followed by a guard; every byte starts as
// the guard value so untouched regions can be checked too.
struct GuardedBuffer
{
    explicit GuardedBuffer(int size) : size(size), bytes(size + guardSize, guardByte) {}
    char *data() { return bytes.data(); }
    unsigned char *udata() { return reinterpret_cast<unsigned char *>(bytes.data()); }
    QByteArray head(int n) const { return bytes.left(n); }
    // Nothing was written from `from` onwards, guard included.
    bool untouchedFrom(int from) const
    {
        for (int i = from; i < bytes.size(); ++i)
            if (bytes[i] != guardByte)
                return false;
        return true;
    }
    int size;
    QByteArray bytes;
};

QByteArray pkcs7(const QByteArray &plain)
{
    const int pad = 16 - plain.size() % 16;
    return plain + QByteArray(pad, char(pad));
}

// The engine under test, keyed from a QByteArray.
std::unique_ptr<AesCipher> keyed(const QByteArray &key)
{
    auto cipher = std::make_unique<AesCipher>();
    cipher->setKey(int(key.size()), key.constData());
    return cipher;
}

// The same encryption as the engine's, through OpenSSL with PKCS#7 on.
QByteArray referenceEncrypt(const QByteArray &key, bool cbc, const QByteArray &iv,
                            const QByteArray &plain)
{
    const QByteArray name = "AES-" + QByteArray::number(key.size() * 8) + (cbc ? "-CBC" : "-ECB");
    EvpReference reference(name.constData());
    return reference.run(true, key, cbc ? iv : QByteArray(), plain, true);
}

// What the processor offers, asked independently of the engine's own CPUID
// check.
bool processorHasAesInstructions()
{
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    __builtin_cpu_init();
    return __builtin_cpu_supports("aes") && __builtin_cpu_supports("sse4.1");
#else
    return false;
#endif
}

// Restores the choice of rounds a test changed, however it ends.
struct PathRestorer
{
    const bool hardware = aesUsesHardware();
    ~PathRestorer() { aesForcePortable(!hardware); }
};

// The state field holds a block as the matrix, row by row.
QByteArray asMatrix(const QByteArray &block)
{
    QByteArray m(16, '\0');
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            m[4 * r + c] = block[4 * c + r];
    return m;
}

// One buffer operation's whole observable effect, for comparing the rounds.
struct Outcome
{
    int result = 0;
    QByteArray out, in, iv;
    bool operator==(const Outcome &o) const
    {
        return result == o.result && out == o.out && in == o.in && iv == o.iv;
    }
};

enum Operation { EncryptEcb, DecryptEcb, EncryptCbc, DecryptCbc };

// In place, the output is the input buffer itself, with room for the
// padding block.
Outcome runOperation(bool portable, const QByteArray &key, Operation op, const QByteArray &input,
                     const QByteArray &iv, bool inPlace)
{
    aesForcePortable(portable);
    AesCipher cipher;
    cipher.setKey(int(key.size()), key.constData());
    Outcome o;
    QByteArray in = input + QByteArray(16, '\x7e');
    QByteArray out(in.size(), '\x5a');
    o.iv = iv;
    char *target = inPlace ? in.data() : out.data();
    unsigned char *utarget = reinterpret_cast<unsigned char *>(target);
    const unsigned int length = unsigned(input.size());
    switch (op) {
    case EncryptEcb: o.result = cipher.encryptEcb(in.data(), length, target); break;
    case DecryptEcb: o.result = cipher.decryptEcb(in.data(), length, utarget); break;
    case EncryptCbc: o.result = cipher.encryptCbc(in.data(), length, target, o.iv.data()); break;
    case DecryptCbc: o.result = cipher.decryptCbc(in.data(), length, utarget, o.iv.data()); break;
    }
    o.out = inPlace ? in : out;
    o.in = in;
    return o;
}

const QByteArray sp80038aPlain = fromHex("6bc1bee22e409f96e93d7e117393172a"
                                         "ae2d8a571e03ac9c9eb76fac45af8e51"
                                         "30c81c46a35ce411e5fbc1191a0a52ef"
                                         "f69f2445df4f9b17ad2b417be66c3710");
const QByteArray sp80038aIv = fromHex("000102030405060708090a0b0c0d0e0f");
const QByteArray sp80038aKey128 = fromHex("2b7e151628aed2a6abf7158809cf4f3c");
const QByteArray sp80038aKey192 = fromHex("8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b");
const QByteArray sp80038aKey256 =
    fromHex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");

} // namespace

class TestAes : public QObject
{
    Q_OBJECT

private slots:
    void roundsInUse();
    void sBoxIsPermutationAndInverse();
    void computedSBoxMatchesTables();
    void blockFunctionsKeepState();
    void contextWithoutValidKey();
    void blockKnownAnswers_data();
    void blockKnownAnswers();
    void bufferKnownAnswers_data();
    void bufferKnownAnswers();
    void defaultKey();
    void encryptPadding_data();
    void encryptPadding();
    void decryptPaddingRule_data();
    void decryptPaddingRule();
    void decryptRefusesPartialBlocks_data();
    void decryptRefusesPartialBlocks();
    void cbcChainContinuesThroughIv();
    void cbcEncryptChangesInputBlocks();
    void invalidKeyLength_data();
    void invalidKeyLength();
    void nullOutput();
    void destructionWipesSecrets();
    void roundTrip_data();
    void roundTrip();
    void differential_data();
    void differential();
    void pathsAgree_data();
    void pathsAgree();
};

void TestAes::roundsInUse()
{
    PathRestorer restore;
    const QByteArray forced = qgetenv("CIPHERBENCH_AES_PORTABLE");
    const bool forcedByEnvironment = !forced.isEmpty() && forced != "0";
    qInfo("AES rounds of this run: %s",
          aesUsesHardware() ? "AES instructions" : "constant-time portable");
    QCOMPARE(aesUsesHardware(), processorHasAesInstructions() && !forcedByEnvironment);
    aesForcePortable(true);
    QVERIFY(!aesUsesHardware());
    aesForcePortable(false);
    QCOMPARE(aesUsesHardware(), processorHasAesInstructions());
}

void TestAes::computedSBoxMatchesTables()
{
    // The portable rounds compute the S-box; every byte against FIPS-197.
    const unsigned char *box = sBox;
    const unsigned char *inverse = invSBox;
    for (int x = 0; x < 256; ++x) {
        QCOMPARE(int(cipher::aesct::subByte(uchar(x))), int(box[x]));
        QCOMPARE(int(cipher::aesct::invSubByte(uchar(x))), int(inverse[x]));
    }
    // FIPS-197 A.1, i = 4: SubWord(cf4f3c09) = 8a84eb01 (byte j in bits 8j..).
    QCOMPARE(cipher::aesct::subWord(0x093c4fcfu), 0x01eb848au);
}

void TestAes::blockFunctionsKeepState()
{
    // The context's state is the matrix of the block a block function
    // produced last, row by row, even when it wrote over its input.
    for (int keyLength : {16, 24, 32}) {
        const QByteArray key = QByteArray("0123456789abcdefghijklmnopqrstuv").left(keyLength);
        AesContext context(keyLength, uchars(key));
        QByteArray block("sixteen byte blk");
        const QByteArray plain = block;
        unsigned char *bytes = reinterpret_cast<unsigned char *>(block.data());
        context.encryptBlock(bytes, bytes);
        QVERIFY(block != plain);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(context.state), 16), asMatrix(block));
        context.decryptBlock(bytes, bytes);
        QCOMPARE(block, plain);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(context.state), 16), asMatrix(plain));
    }
}

void TestAes::sBoxIsPermutationAndInverse()
{
    const unsigned char *box = sBox;
    const unsigned char *inverse = invSBox;
    bool seen[256] = {};
    for (int x = 0; x < 256; ++x) {
        QVERIFY2(!seen[box[x]], qPrintable(QString("S-box value %1 repeats").arg(box[x])));
        seen[box[x]] = true;
        QCOMPARE(int(inverse[box[x]]), x);
    }
    // Two values FIPS-197 works through in its text (5.1.1 and Figure 7).
    QCOMPARE(int(box[0x53]), 0xed);
    QCOMPARE(int(box[0x00]), 0x63);
}

void TestAes::blockKnownAnswers_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("cipherText");
    const QByteArray plain = fromHex("00112233445566778899aabbccddeeff");
    QTest::newRow("FIPS-197 C.1") << fromHex("000102030405060708090a0b0c0d0e0f") << plain
                                  << fromHex("69c4e0d86a7b0430d8cdb78070b4c55a");
    QTest::newRow("FIPS-197 C.2") << fromHex("000102030405060708090a0b0c0d0e0f1011121314151617")
                                  << plain << fromHex("dda97ca4864cdfe06eaf70a0ec0d7191");
    QTest::newRow("FIPS-197 C.3")
        << fromHex("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f") << plain
        << fromHex("8ea2b7ca516745bfeafc49904b496089");
    // FIPS-197 A.1: the last word of the expanded 128-bit key is b6630ca6.
    QTest::newRow("FIPS-197 B") << fromHex("2b7e151628aed2a6abf7158809cf4f3c")
                                << fromHex("3243f6a8885a308d313198a2e0370734")
                                << fromHex("3925841d02dc09fbdc118597196a0b32");
}

void TestAes::blockKnownAnswers()
{
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, cipherText);
    AesContext context(int(key.size()), uchars(key));
    QCOMPARE(context.Nk, int(key.size()) / 4);
    QCOMPARE(context.Nr, context.Nk + 6);

    QByteArray out(16, '\0');
    context.encryptBlock(uchars(plain), reinterpret_cast<unsigned char *>(out.data()));
    QCOMPARE(out.toHex(), cipherText.toHex());
    context.decryptBlock(uchars(cipherText), reinterpret_cast<unsigned char *>(out.data()));
    QCOMPARE(out.toHex(), plain.toHex());
}

void TestAes::bufferKnownAnswers_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<bool>("cbc");
    QTest::addColumn<QByteArray>("cipherText");
    QTest::newRow("SP 800-38A F.1.1 ECB-AES128")
        << sp80038aKey128 << false
        << fromHex("3ad77bb40d7a3660a89ecaf32466ef97f5d3d58503b9699de785895a96fdbaaf"
                   "43b1cd7f598ece23881b00e3ed0306887b0c785e27e8ad3f8223207104725dd4");
    QTest::newRow("SP 800-38A F.1.3 ECB-AES192")
        << sp80038aKey192 << false
        << fromHex("bd334f1d6e45f25ff712a214571fa5cc974104846d0ad3ad7734ecb3ecee4eef"
                   "ef7afd2270e2e60adce0ba2face6444e9a4b41ba738d6c72fb16691603c18e0e");
    QTest::newRow("SP 800-38A F.1.5 ECB-AES256")
        << sp80038aKey256 << false
        << fromHex("f3eed1bdb5d2a03c064b5a7e3db181f8591ccb10d410ed26dc5ba74a31362870"
                   "b6ed21b99ca6f4f9f153e7b1beafed1d23304b7a39f9f3ff067d8d8f9e24ecc7");
    QTest::newRow("SP 800-38A F.2.1 CBC-AES128")
        << sp80038aKey128 << true
        << fromHex("7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b2"
                   "73bed6b8e3c1743b7116e69e222295163ff1caa1681fac09120eca307586e1a7");
    QTest::newRow("SP 800-38A F.2.3 CBC-AES192")
        << sp80038aKey192 << true
        << fromHex("4f021db243bc633d7178183a9fa071e8b4d9ada9ad7dedf4e5e738763f69145a"
                   "571b242012fb7ae07fa9baac3df102e008b0e27988598881d920a9e64f5615cd");
    QTest::newRow("SP 800-38A F.2.5 CBC-AES256")
        << sp80038aKey256 << true
        << fromHex("f58c4c04d6e5f1ba779eabfb5f7bfbd69cfc4e967edb808d679f777bc6702c7d"
                   "39f23369a9d9bacfa530e26304231461b2eb05e2c39be9fcda6c19078c6a9d1b");
}

void TestAes::bufferKnownAnswers()
{
    QFETCH(QByteArray, key);
    QFETCH(bool, cbc);
    QFETCH(QByteArray, cipherText);
    auto cipher = keyed(key);

    // Encryption: the four published blocks, then a fifth holding sixteen
    // bytes of 10 (chained in CBC), which is PKCS#7 as OpenSSL applies it.
    QByteArray in = sp80038aPlain;
    QByteArray iv = sp80038aIv;
    GuardedBuffer out(in.size() + 16);
    const int written = cbc ? cipher->encryptCbc(in.data(), in.size(), out.data(), iv.data())
                            : cipher->encryptEcb(in.data(), in.size(), out.data());
    QCOMPARE(written, 80);
    QCOMPARE(out.head(64).toHex(), cipherText.toHex());
    QCOMPARE(out.head(80).toHex(), referenceEncrypt(key, cbc, sp80038aIv, sp80038aPlain).toHex());
    QVERIFY(out.untouchedFrom(80));
    if (cbc)
        QCOMPARE(iv.toHex(), out.head(80).right(16).toHex());

    // Decryption with the padding block gives the 64 bytes back.
    QByteArray whole = out.head(80);
    iv = sp80038aIv;
    GuardedBuffer plain(80);
    const int read = cbc ? cipher->decryptCbc(whole.data(), 80, plain.udata(), iv.data())
                         : cipher->decryptEcb(whole.data(), 80, plain.udata());
    QCOMPARE(read, 64);
    QCOMPARE(plain.head(64).toHex(), sp80038aPlain.toHex());
    QCOMPARE(plain.head(80).right(16), QByteArray(16, '\0'));

    // Without it, the last published plaintext byte (10) reads as a whole
    // block of padding: only the last byte is examined.
    QByteArray published = cipherText;
    iv = sp80038aIv;
    GuardedBuffer shortPlain(64);
    const int shortRead =
        cbc ? cipher->decryptCbc(published.data(), 64, shortPlain.udata(), iv.data())
            : cipher->decryptEcb(published.data(), 64, shortPlain.udata());
    QCOMPARE(shortRead, 48);
    QCOMPARE(shortPlain.head(48), sp80038aPlain.left(48));
    QCOMPARE(shortPlain.head(64).right(16), QByteArray(16, '\0'));
    QVERIFY(shortPlain.untouchedFrom(64));
}

void TestAes::defaultKey()
{
    AesCipher cipher;
    QVERIFY(cipher.hasContext());
    QByteArray in("default key");
    GuardedBuffer out(in.size() + 16);
    QCOMPARE(cipher.encryptEcb(in.data(), in.size(), out.data()), 16);
    QCOMPARE(out.head(16).toHex(),
             referenceEncrypt("qmtzrwdlkfpxnvob", false, QByteArray(), in).toHex());
}

void TestAes::encryptPadding_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("expected");
    QTest::newRow("empty input") << 0 << 16;
    QTest::newRow("15 bytes") << 15 << 16;
    QTest::newRow("16 bytes") << 16 << 32;
    QTest::newRow("17 bytes") << 17 << 32;
    QTest::newRow("31 bytes") << 31 << 32;
}

void TestAes::encryptPadding()
{
    QFETCH(int, length);
    QFETCH(int, expected);
    const QByteArray key = fromHex("000102030405060708090a0b0c0d0e0f");
    const QByteArray plain = QByteArray("0123456789abcdefghijklmnopqrstuvwxyz").left(length);
    const QByteArray padded = pkcs7(plain);
    AesContext context(16, uchars(key));

    for (bool cbc : {false, true}) {
        auto cipher = keyed(key);
        QByteArray in = plain;
        QByteArray iv(16, '\x5c');
        const QByteArray ivBefore = iv;
        GuardedBuffer out(length + 16);
        const int written = cbc ? cipher->encryptCbc(in.data(), length, out.data(), iv.data())
                                : cipher->encryptEcb(in.data(), length, out.data());
        QCOMPARE(written, expected);
        QVERIFY2(out.untouchedFrom(written), "wrote past the padded length");

        // Undo the block cipher alone to see the bytes that went in.
        QByteArray chain = ivBefore;
        for (int i = 0; i < written; i += 16) {
            QByteArray block(16, '\0');
            context.decryptBlock(reinterpret_cast<const unsigned char *>(out.data() + i),
                                 reinterpret_cast<unsigned char *>(block.data()));
            if (cbc) {
                for (int j = 0; j < 16; ++j)
                    block[j] = char(block[j] ^ chain[j]);
                chain = out.head(i + 16).right(16);
            }
            QCOMPARE(block.toHex(), padded.mid(i, 16).toHex());
        }
    }
}

void TestAes::decryptPaddingRule_data()
{
    QTest::addColumn<int>("lastByte");
    QTest::addColumn<int>("expected"); // for two blocks; -1 when refused
    QTest::newRow("last byte 00 keeps everything") << 0x00 << 32;
    QTest::newRow("last byte 01") << 0x01 << 31;
    QTest::newRow("last byte 05 clears five") << 0x05 << 27;
    QTest::newRow("last byte 0F") << 0x0f << 17;
    QTest::newRow("last byte 10 clears the block") << 0x10 << 16;
    QTest::newRow("last byte 11 is refused") << 0x11 << -1;
    QTest::newRow("last byte FF is refused") << 0xff << -1;
}

void TestAes::decryptPaddingRule()
{
    QFETCH(int, lastByte);
    QFETCH(int, expected);
    const QByteArray key = fromHex("8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b");
    // Bytes before the last one are not padding-like on purpose: only the
    // last one may decide.
    QByteArray plain = QByteArray("A plaintext of thirty-two bytes!");
    QCOMPARE(plain.size(), 32);
    plain[31] = char(lastByte);
    const QByteArray iv = fromHex("f0e1d2c3b4a5968778695a4b3c2d1e0f");

    for (bool cbc : {false, true}) {
        EvpReference reference(cbc ? "AES-192-CBC" : "AES-192-ECB");
        QByteArray in = reference.run(true, key, cbc ? iv : QByteArray(), plain);
        QCOMPARE(in.size(), 32);
        auto cipher = keyed(key);
        QByteArray ivBuffer = iv;
        GuardedBuffer out(32);
        const int read = cbc ? cipher->decryptCbc(in.data(), 32, out.udata(), ivBuffer.data())
                             : cipher->decryptEcb(in.data(), 32, out.udata());
        if (expected < 0) {
            QCOMPARE(read, 0);
            QCOMPARE(out.head(32), plain); // the decrypted blocks stay
        } else {
            QCOMPARE(read, expected);
            QCOMPARE(out.head(expected), plain.left(expected));
            QCOMPARE(out.head(32).mid(expected), QByteArray(32 - expected, '\0'));
        }
        QVERIFY(out.untouchedFrom(32));
        if (cbc)
            QCOMPARE(ivBuffer.toHex(), in.right(16).toHex());
    }
}

void TestAes::decryptRefusesPartialBlocks_data()
{
    QTest::addColumn<int>("length");
    QTest::newRow("empty input") << 0;
    QTest::newRow("1 byte") << 1;
    QTest::newRow("15 bytes") << 15;
    QTest::newRow("17 bytes") << 17;
    QTest::newRow("33 bytes") << 33;
}

void TestAes::decryptRefusesPartialBlocks()
{
    QFETCH(int, length);
    auto cipher = keyed(sp80038aKey256);
    std::vector<char> in(length, 'x');
    GuardedBuffer ecbOut(length);
    QCOMPARE(cipher->decryptEcb(in.data(), unsigned(length), ecbOut.udata()), 0);
    QVERIFY(ecbOut.untouchedFrom(0));

    QByteArray iv = sp80038aIv;
    GuardedBuffer cbcOut(length);
    QCOMPARE(cipher->decryptCbc(in.data(), unsigned(length), cbcOut.udata(), iv.data()), 0);
    QVERIFY(cbcOut.untouchedFrom(0));
    QCOMPARE(iv, sp80038aIv);
}

void TestAes::cbcChainContinuesThroughIv()
{
    // Two calls sharing one IV buffer equal one CBC pass over both padded
    // messages, in both directions.
    const QByteArray key = sp80038aKey128;
    const QByteArray first("a first message of 28 bytes.");
    const QByteArray second("and a second one of 36 bytes, padded");
    QCOMPARE(first.size(), 28);
    QCOMPARE(second.size(), 36);
    EvpReference reference("AES-128-CBC");
    const QByteArray whole = reference.run(true, key, sp80038aIv, pkcs7(first) + pkcs7(second));
    QCOMPARE(whole.size(), 80);

    auto cipher = keyed(key);
    QByteArray iv = sp80038aIv;
    QByteArray in1 = first, in2 = second;
    GuardedBuffer out1(in1.size() + 16), out2(in2.size() + 16);
    QCOMPARE(cipher->encryptCbc(in1.data(), in1.size(), out1.data(), iv.data()), 32);
    QCOMPARE(iv, whole.mid(16, 16));
    QCOMPARE(cipher->encryptCbc(in2.data(), in2.size(), out2.data(), iv.data()), 48);
    QCOMPARE((out1.head(32) + out2.head(48)).toHex(), whole.toHex());
    QCOMPARE(iv, whole.right(16));

    iv = sp80038aIv;
    QByteArray c1 = whole.left(32), c2 = whole.mid(32);
    GuardedBuffer p1(32), p2(48);
    QCOMPARE(cipher->decryptCbc(c1.data(), 32, p1.udata(), iv.data()), 28);
    QCOMPARE(iv, whole.mid(16, 16));
    QCOMPARE(cipher->decryptCbc(c2.data(), 48, p2.udata(), iv.data()), 36);
    QCOMPARE(p1.head(28), first);
    QCOMPARE(p2.head(36), second);
    QCOMPARE(iv, whole.right(16));
}

void TestAes::cbcEncryptChangesInputBlocks()
{
    const QByteArray plain = sp80038aPlain + "tail";
    QByteArray in = plain;
    QByteArray iv = sp80038aIv;
    auto cipher = keyed(sp80038aKey128);
    GuardedBuffer out(in.size() + 16);
    QCOMPARE(cipher->encryptCbc(in.data(), in.size(), out.data(), iv.data()), 80);
    // Each full block became plaintext XOR the chaining value used for it.
    const QByteArray chains = sp80038aIv + out.head(48);
    for (int i = 0; i < 64; ++i)
        QCOMPARE(int(uchar(in[i])), int(uchar(plain[i] ^ chains[i])));
    // The partial tail goes into a padding block of the engine's own.
    QCOMPARE(in.right(4), QByteArray("tail"));
}

void TestAes::invalidKeyLength_data()
{
    QTest::addColumn<int>("length");
    for (int length : {-1, 0, 1, 8, 15, 17, 20, 23, 25, 31, 33, 64})
        QTest::newRow(qPrintable(QString("%1 bytes").arg(length))) << length;
}

void TestAes::invalidKeyLength()
{
    QFETCH(int, length);
    AesCipher cipher;
    QVERIFY(cipher.hasContext());
    // Exactly as many key bytes as claimed, so a read past them shows under ASan.
    std::unique_ptr<char[]> key(new char[std::max(length, 0)]);
    std::memset(key.get(), 'k', std::max(length, 0));
    cipher.setKey(length, key.get());
    QVERIFY(!cipher.hasContext());

    QByteArray in(32, 'p');
    QByteArray iv(16, 'i');
    GuardedBuffer out(48);
    QCOMPARE(cipher.encryptEcb(in.data(), 32, out.data()), 0);
    QCOMPARE(cipher.encryptCbc(in.data(), 32, out.data(), iv.data()), 0);
    QCOMPARE(cipher.decryptEcb(in.data(), 32, out.udata()), 0);
    QCOMPARE(cipher.decryptCbc(in.data(), 32, out.udata(), iv.data()), 0);
    QVERIFY(out.untouchedFrom(0));
    QCOMPARE(in, QByteArray(32, 'p'));
    QCOMPARE(iv, QByteArray(16, 'i'));

    cipher.setKey(16, nullptr);
    QVERIFY(!cipher.hasContext());
}

void TestAes::nullOutput()
{
    auto cipher = keyed(sp80038aKey128);
    QByteArray in = sp80038aPlain;
    QByteArray iv = sp80038aIv;
    QCOMPARE(cipher->encryptEcb(in.data(), 64, nullptr), 0);
    QCOMPARE(cipher->encryptCbc(in.data(), 64, nullptr, iv.data()), 0);
    QCOMPARE(cipher->decryptEcb(in.data(), 64, nullptr), 0);
    QCOMPARE(cipher->decryptCbc(in.data(), 64, nullptr, iv.data()), 0);
    QCOMPARE(in, sp80038aPlain);
    QCOMPARE(iv, sp80038aIv);
}

void TestAes::destructionWipesSecrets()
{
    // The context lives in storage the test owns, so its bytes can be read
    // after the destructor ran.
    alignas(AesContext) unsigned char storage[sizeof(AesContext)] = {};
    const QByteArray key = sp80038aKey256;
    auto *context = new (storage) AesContext(32, uchars(key));
    QByteArray block(16, 'b');
    context->encryptBlock(uchars(block), reinterpret_cast<unsigned char *>(block.data()));
    context->~AesContext();
    // Only Nb, Nk and Nr may survive.
    const QByteArray left(reinterpret_cast<const char *>(storage), sizeof storage);
    QVERIFY(!left.contains(key.left(4)));
    QVERIFY(left.count('\0') >= int(sizeof storage) - 3 * int(sizeof(int)));
}

void TestAes::roundTrip_data()
{
    QTest::addColumn<int>("keyLength");
    QTest::addColumn<bool>("cbc");
    for (int keyLength : {16, 24, 32})
        for (bool cbc : {false, true})
            QTest::newRow(
                qPrintable(QString("AES-%1 %2").arg(keyLength * 8).arg(cbc ? "CBC" : "ECB")))
                << keyLength << cbc;
}

void TestAes::roundTrip()
{
    QFETCH(int, keyLength);
    QFETCH(bool, cbc);
    std::mt19937_64 rng(differentialSeed() + keyLength + cbc);
    for (int length = 0; length <= 300; ++length) {
        const QByteArray key = randomBytes(rng, keyLength);
        const QByteArray iv = randomBytes(rng, 16);
        const QByteArray plain = randomBytes(rng, length);
        auto cipher = keyed(key);
        std::vector<char> in(plain.begin(), plain.end());
        std::vector<char> cipherText(length + 16);
        QByteArray ivBuffer = iv;
        const int written =
            cbc ? cipher->encryptCbc(in.data(), length, cipherText.data(), ivBuffer.data())
                : cipher->encryptEcb(in.data(), length, cipherText.data());
        QCOMPARE(written, (length / 16 + 1) * 16);

        std::vector<unsigned char> out(written);
        ivBuffer = iv;
        const int read =
            cbc ? cipher->decryptCbc(cipherText.data(), written, out.data(), ivBuffer.data())
                : cipher->decryptEcb(cipherText.data(), written, out.data());
        // An empty plaintext decrypts to a count of 0, indistinguishable from failure.
        QCOMPARE(read, length);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(out.data()), length), plain);
        QVERIFY(
            std::all_of(out.begin() + length, out.end(), [](unsigned char b) { return b == 0; }));
    }
}

void TestAes::differential_data()
{
    QTest::addColumn<int>("keyLength");
    QTest::addColumn<bool>("cbc");
    QTest::addColumn<bool>("encrypt");
    for (int keyLength : {16, 24, 32})
        for (bool cbc : {false, true})
            for (bool encrypt : {true, false})
                QTest::newRow(qPrintable(QString("AES-%1 %2 %3")
                                             .arg(keyLength * 8)
                                             .arg(cbc ? "CBC" : "ECB")
                                             .arg(encrypt ? "encrypt" : "decrypt")))
                    << keyLength << cbc << encrypt;
}

// Random keys, IVs and lengths of 0 to 1024 bytes against OpenSSL with
// padding off: PKCS#7 is added on the OpenSSL side for encryption, and the
// last-byte removal applied to its raw output for decryption.
void TestAes::differential()
{
    QFETCH(int, keyLength);
    QFETCH(bool, cbc);
    QFETCH(bool, encrypt);
    const QByteArray name = "AES-" + QByteArray::number(keyLength * 8) + (cbc ? "-CBC" : "-ECB");
    EvpReference reference(name.constData());
    QVERIFY(reference.isValid());
    std::mt19937_64 rng(differentialSeed() ^ (std::uint64_t(keyLength) << 8 | cbc << 1 | encrypt));
    const int cases = differentialCases(20000);

    for (int n = 0; n < cases; ++n) {
        const QByteArray key = randomBytes(rng, keyLength);
        const QByteArray iv = cbc ? randomBytes(rng, 16) : QByteArray();
        auto cipher = keyed(key);
        QByteArray ivBuffer = cbc ? iv : QByteArray(16, '\0');

        if (encrypt) {
            const int length = randomInt(rng, 0, 1024);
            const QByteArray plain = randomBytes(rng, length);
            const QByteArray expected = reference.run(true, key, iv, pkcs7(plain));
            std::vector<char> in(plain.begin(), plain.end());
            std::vector<char> out(length + 16);
            const int written =
                cbc ? cipher->encryptCbc(in.data(), length, out.data(), ivBuffer.data())
                    : cipher->encryptEcb(in.data(), length, out.data());
            QCOMPARE(written, int(expected.size()));
            if (QByteArray(out.data(), written) != expected)
                QFAIL(qPrintable(QString("case %1: length %2, key %3, iv %4")
                                     .arg(n)
                                     .arg(length)
                                     .arg(QString(key.toHex()), QString(iv.toHex()))));
            if (cbc) {
                QCOMPARE(ivBuffer, expected.right(16));
                const QByteArray chains = iv + expected;
                for (int i = 0; i < length / 16 * 16; ++i)
                    QCOMPARE(in[i], char(plain[i] ^ chains[i]));
            }
        } else {
            const int length = 16 * randomInt(rng, 0, 64);
            QByteArray cipherText;
            if (length > 0 && randomInt(rng, 0, 2) == 0) {
                // Steer the last plaintext byte near the padding values.
                QByteArray plain = randomBytes(rng, length);
                plain[length - 1] = char(randomInt(rng, 0, 17));
                cipherText = reference.run(true, key, iv, plain);
            } else {
                cipherText = randomBytes(rng, length);
            }
            QByteArray expected = reference.run(false, key, iv, cipherText);
            int expectedCount = 0;
            if (length > 0) {
                const int last = uchar(expected[length - 1]);
                if (last <= 16) {
                    expected.replace(length - last, last, QByteArray(last, '\0'));
                    expectedCount = length - last;
                }
            }
            std::vector<char> in(cipherText.begin(), cipherText.end());
            std::vector<unsigned char> out(length);
            const int read =
                cbc ? cipher->decryptCbc(in.data(), length, out.data(), ivBuffer.data())
                    : cipher->decryptEcb(in.data(), length, out.data());
            QCOMPARE(read, expectedCount);
            if (QByteArray(reinterpret_cast<const char *>(out.data()), length) != expected)
                QFAIL(qPrintable(QString("case %1: length %2, key %3, iv %4")
                                     .arg(n)
                                     .arg(length)
                                     .arg(QString(key.toHex()), QString(iv.toHex()))));
            if (cbc)
                QCOMPARE(ivBuffer, length > 0 ? cipherText.right(16) : iv);
        }
    }
}

void TestAes::contextWithoutValidKey()
{
    // The window never builds one, but a context given another key length
    // must stay within its own arrays (ASan watches) and still invert itself.
    const QByteArray key(20, 'k');
    AesContext context(20, uchars(key));
    QCOMPARE(context.Nk, 0);
    QCOMPARE(context.Nr, 0);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(context.roundKeys), 240),
             QByteArray(240, '\0'));
    const QByteArray plain("sixteen byte blk");
    QByteArray block(16, '\0'), back(16, '\0');
    context.encryptBlock(uchars(plain), reinterpret_cast<unsigned char *>(block.data()));
    context.decryptBlock(uchars(block), reinterpret_cast<unsigned char *>(back.data()));
    QCOMPARE(back, plain);
}

void TestAes::pathsAgree_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<bool>("inPlace");
    const char *names[] = {"encryptEcb", "decryptEcb", "encryptCbc", "decryptCbc"};
    for (int op = EncryptEcb; op <= DecryptCbc; ++op)
        for (bool inPlace : {false, true})
            QTest::newRow(qPrintable(
                QString("%1, %2").arg(names[op], inPlace ? "in place" : "separate output")))
                << op << inPlace;
}

// The instructions and the portable rounds give the same return value,
// output, IV and changed input, for lengths around every multiple of the
// blocks the two keep in flight (4 and 8), refused lengths included.
void TestAes::pathsAgree()
{
    QFETCH(int, operation);
    QFETCH(bool, inPlace);
    if (!processorHasAesInstructions())
        QSKIP("no AES instructions on this processor: only the portable rounds run");
    PathRestorer restore;
    const Operation op = Operation(operation);
    const bool encrypt = op == EncryptEcb || op == EncryptCbc;
    std::mt19937_64 rng(differentialSeed() + 77 * operation + inPlace);
    for (int n = 0; n < 2000; ++n) {
        const int keyLength = 16 + 8 * randomInt(rng, 0, 2);
        const QByteArray key = randomBytes(rng, keyLength);
        const QByteArray iv = randomBytes(rng, 16);
        int length = encrypt ? randomInt(rng, 0, 300) : 16 * randomInt(rng, 0, 20);
        if (!encrypt && randomInt(rng, 0, 9) == 0)
            length += randomInt(rng, 1, 15);
        QByteArray input = randomBytes(rng, length);
        if (!encrypt && length >= 16 && randomInt(rng, 0, 1) == 0) {
            // A valid last padding byte now and then, so both outcomes occur.
            QByteArray plain = randomBytes(rng, length);
            plain[length - 1] = char(randomInt(rng, 0, 16));
            EvpReference reference(qPrintable(
                QString("AES-%1-%2").arg(keyLength * 8).arg(op == DecryptCbc ? "CBC" : "ECB")));
            input = reference.run(true, key, op == DecryptCbc ? iv : QByteArray(), plain);
        }
        const Outcome hardware = runOperation(false, key, op, input, iv, inPlace);
        const Outcome portable = runOperation(true, key, op, input, iv, inPlace);
        if (!(hardware == portable))
            QFAIL(qPrintable(QString("case %1: length %2, key %3, iv %4, result %5 / %6")
                                 .arg(n)
                                 .arg(length)
                                 .arg(QString(key.toHex()), QString(iv.toHex()))
                                 .arg(hardware.result)
                                 .arg(portable.result)));
        if (inPlace) {
            // Writing over the input gives what a separate output receives.
            const Outcome separate = runOperation(true, key, op, input, iv, false);
            const bool refused = !encrypt && (length == 0 || length % 16 != 0);
            const int written = encrypt ? (length / 16 + 1) * 16 : refused ? 0 : length;
            QCOMPARE(portable.result, separate.result);
            QCOMPARE(portable.out.left(written), separate.out.left(written));
            QCOMPARE(portable.iv, separate.iv);
        }
    }
}

QTEST_GUILESS_MAIN(TestAes)
#include "tst_aes.moc"
