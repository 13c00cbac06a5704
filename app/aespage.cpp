#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/errorbox.h"
#include "app/pagememory.h"
#include "cipher/aes.h"
#include "cipher/wipe.h"
#include "codec/codec.h"

#include <QStatusBar>

#include <climits>
#include <cstring>

namespace {

const char defaultIvAES[] = "7306158249371560";
constexpr int aesBlock = 16;

// The cipher of one button press, from preparation to the slot's return.
class AesPress
{
public:
    explicit AesPress(AesCipher *&slot) : slot(slot) { slot = new AesCipher; }
    ~AesPress()
    {
        delete slot;
        slot = nullptr;
    }
    AesPress(const AesPress &) = delete;
    AesPress &operator=(const AesPress &) = delete;

private:
    AesCipher *&slot;
};

} // namespace

void MainWindow::initAESPage()
{
    ui->txtDecAES->setReadOnly(true);
    on_txtEncAES_textChanged();
    on_txtDecAES_textChanged();
    on_txtKeyAES_textChanged();
}

int MainWindow::keyLengthAES()
{
    return int(ui->txtKeyAES->text().toUtf8().size());
}

void MainWindow::on_txtEncAES_textChanged()
{
    encRowAES.show(CounterRow::String, ui->txtEncAES->toPlainText().toUtf8().size());
}

void MainWindow::on_txtDecAES_textChanged()
{
    const qsizetype n = ui->txtDecAES->toPlainText().toUtf8().size();
    if (ui->cboxCModeAES->currentText().contains(QLatin1String("base64")))
        decRowAES.show(CounterRow::String, n);
    else
        decRowAES.show(CounterRow::Hex, n / 2);
}

void MainWindow::on_txtKeyAES_textChanged()
{
    ui->txtKeyLenAES->setText(QString::number(keyLengthAES() * 8, 10));
}

// The first steps of both buttons after the key and IV copies: the key check
// and the key schedule. False when the press ends here.
static bool prepareAES(MainWindow *window, AesCipher *cipher, int keyLength, SecretBytes &key)
{
    if (keyLength != 16 && keyLength != 24 && keyLength != 32) {
        showErrorBox(window, ErrorText::AesKeyLength);
        return false;
    }
    cipher->setKey(keyLength, key.data());
    return true;
}

// Any IV text but one of exactly 16 characters means the default IV.
static QString ivTextAES(const QString &text)
{
    return text.size() == aesBlock ? text : QString::fromLatin1(defaultIvAES);
}

void MainWindow::on_btnEncAES_clicked()
{
    AesPress press(aesCipher);
    SecretBytes key(ui->txtKeyAES->text().toUtf8());
    SecretBytes iv(ivTextAES(ui->txtKeyOffsetAES->text()).toUtf8());
    if (!prepareAES(this, aesCipher, keyLengthAES(), key))
        return;

    const QString text = ui->txtEncAES->toPlainText();
    if (text.isEmpty()) {
        showErrorBox(this, ErrorText::NothingToEncrypt);
        return;
    }

    SecretBytes plain(text.toUtf8());
    const qsizetype length = plain.size();
    const WorkBuffer out(length <= INT_MAX - aesBlock ? length + aesBlock : -1, "encryptStr");
    if (!out)
        return;

    showRunning(Operation::Encrypt);
    const bool cbc = ui->cboxAlgAES->currentText().contains(QLatin1String("CBC"));
    const int n = cbc ? aesCipher->encryptCbc(plain.data(), unsigned(length), out.data(), iv.data())
                      : aesCipher->encryptEcb(plain.data(), unsigned(length), out.data());
    plain.clear();

    if (ui->cboxCModeAES->currentText().contains(QLatin1String("base64"))) {
        const int size = base64EncodedSize(n);
        const WorkBuffer base64(size, "base64");
        if (!base64)
            return;
        base64Encode(out.data(), base64.data(), n);
        ui->txtDecAES->setPlainText(QString::fromLatin1(base64.data(), size - 1));
    } else {
        ui->txtDecAES->setPlainText(
            bytesToHexStr(QByteArray::fromRawData(out.data(), n), 16, false, QLatin1Char(' ')));
    }
    showDone(Operation::Encrypt);
}

// Decrypts `length` bytes in the page's current mode into `out`, starting
// from the prepared IV whatever an earlier attempt left in its own copy.
static int decryptAES(AesCipher *cipher, bool cbc, char *in, qsizetype length, char *out,
                      SecretBytes &iv)
{
    auto *result = reinterpret_cast<unsigned char *>(out);
    if (!cbc)
        return cipher->decryptEcb(in, unsigned(length), result);
    char chain[aesBlock];
    std::memcpy(chain, iv.data(), aesBlock);
    const int r = cipher->decryptCbc(in, unsigned(length), result, chain);
    cipher::secureWipe(chain, sizeof chain);
    return r;
}

void MainWindow::on_btnDecAES_clicked()
{
    AesPress press(aesCipher);
    SecretBytes key(ui->txtKeyAES->text().toUtf8());
    SecretBytes iv(ivTextAES(ui->txtKeyOffsetAES->text()).toUtf8());
    if (!prepareAES(this, aesCipher, keyLengthAES(), key))
        return;

    const QString text = ui->txtEncAES->toPlainText();
    if (text.isEmpty()) {
        showErrorBox(this, ErrorText::NothingToDecrypt);
        return;
    }
    if (!isBase64Str(text)) {
        showErrorBox(this, ErrorText::NotCipherText);
        return;
    }

    const bool cbc = ui->cboxAlgAES->currentText().contains(QLatin1String("CBC"));
    const char *const noDecryptBuffer = "decryptStr";
    SecretBuffer out;
    int r = 0;

    // Hex cipher text is made of Base64 characters too, and an even number
    // of blocks of it would also read as whole blocks of Base64, whose
    // decryption passes the padding check about once in fifteen: such text
    // is taken as the hex it almost surely is.
    QByteArray hex = isHexStr(text) ? readHex(text) : QByteArray();
    if (!hex.isEmpty() && hex.size() % aesBlock == 0) {
        out = SecretBuffer(hex.size(), noDecryptBuffer, WorkBuffer::NoBreak);
        if (!out)
            return;
        showStatus(QT_TR_NOOP("十六进制模式解密中..."));
        r = decryptAES(aesCipher, cbc, hex.data(), hex.size(), out.data(), iv);
    } else {
        {
            // Base64 copied from mail or files is often wrapped into lines.
            const QByteArray base64 = removeWhitespace(text).toUtf8();
            const WorkBuffer decoded(
                base64DecodedCapacity(int(qMin<qsizetype>(base64.size(), INT_MAX - 3))), "base64");
            if (!decoded)
                return;
            const int m = base64Decode(base64.constData(), decoded.data());
            out = SecretBuffer(m, noDecryptBuffer, WorkBuffer::NoBreak);
            if (!out)
                return;
            showStatus(QT_TR_NOOP("base64模式解密中..."));
            r = decryptAES(aesCipher, cbc, decoded.data(), m, out.data(), iv);
        }
        if (r == 0) {
            hex = readHex(text);
            out = SecretBuffer(hex.size(), noDecryptBuffer, WorkBuffer::NoBreak);
            if (!out)
                return;
            showStatus(QT_TR_NOOP("十六进制模式解密中..."));
            r = decryptAES(aesCipher, cbc, hex.data(), hex.size(), out.data(), iv);
        }
    }

    ui->txtDecAES->setPlainText(QString::fromUtf8(out.data(), r));
    decRowAES.show(CounterRow::String, r);

    if (r != 0)
        showDone(Operation::Decrypt);
    else
        showStatus(QT_TR_NOOP("小主，我尽力了，实在无法解密！！！"));
}

void MainWindow::on_cboxCModeAES_currentIndexChanged(QString arg1)
{
    const int n = switchHexBase64(ui->txtDecAES, arg1);
    decRowAES.show(arg1.contains(QLatin1String("base64")) ? CounterRow::String : CounterRow::Hex, n);
}
