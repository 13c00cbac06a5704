#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/errorbox.h"
#include "app/pagememory.h"
#include "app/textboxes.h"
#include "cipher/aes.h"
#include "cipher/wipe.h"
#include "codec/codec.h"

#include <QStatusBar>

#include <climits>
#include <cstring>

namespace {

const char defaultIvAES[] = "7306158249371560";
constexpr int aesBlock = 16;

// Any IV text but one of exactly 16 characters means the default IV.
QString ivTextAES(const QString &text)
{
    return text.size() == aesBlock ? text : QString::fromLatin1(defaultIvAES);
}

// One press of either button, from its first step to the slot's return: the
// cipher in `aesCipher` and the copies of key and IV.
class AesPress
{
public:
    AesPress(AesCipher *&slot, const QString &keyText, const QString &ivText)
        : slot(slot), key(keyText.toUtf8()), iv(ivTextAES(ivText).toUtf8())
    {
        slot = new AesCipher;
    }
    ~AesPress()
    {
        delete slot;
        slot = nullptr;
    }
    AesPress(const AesPress &) = delete;
    AesPress &operator=(const AesPress &) = delete;

    // The checks both buttons open with: the key's length, which keys the
    // cipher, then a text to work on. False, after the message that refuses
    // the press, when the press ends here.
    bool checkKeyAndText(QWidget *window, const QString &text, ErrorText nothingTo)
    {
        const int keyLength = int(key.size());
        if (!aesKeyLengthValid(keyLength)) {
            showErrorBox(window, ErrorText::AesKeyLength);
            return false;
        }
        slot->setKey(keyLength, key.data());
        if (text.isEmpty()) {
            showErrorBox(window, nothingTo);
            return false;
        }
        return true;
    }

    int encrypt(bool cbc, char *in, qsizetype length, char *out)
    {
        return cbc ? slot->encryptCbc(in, unsigned(length), out, iv.data())
                   : slot->encryptEcb(in, unsigned(length), out);
    }

    // Starts from the IV copy whatever an earlier attempt left in the chain.
    int decrypt(bool cbc, char *in, qsizetype length, char *out)
    {
        auto *result = reinterpret_cast<unsigned char *>(out);
        if (!cbc)
            return slot->decryptEcb(in, unsigned(length), result);
        char chain[aesBlock];
        std::memcpy(chain, iv.data(), aesBlock);
        const int r = slot->decryptCbc(in, unsigned(length), result, chain);
        cipher::secureWipe(chain, sizeof chain);
        return r;
    }

private:
    AesCipher *&slot;
    SecretBytes key;
    SecretBytes iv;
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

bool MainWindow::cbcModeAES() const
{
    return ui->cboxAlgAES->currentText().contains(QLatin1String("CBC"));
}

bool MainWindow::showCipherTextAES(const char *bytes, int n)
{
    if (ui->cboxCModeAES->currentText().contains(QLatin1String("base64"))) {
        const int size = base64EncodedSize(n);
        const WorkBuffer base64(size, "base64");
        if (!base64)
            return false;
        base64Encode(bytes, base64.data(), n);
        ui->txtDecAES->setPlainText(QString::fromLatin1(base64.data(), size - 1));
    } else {
        ui->txtDecAES->setPlainText(
            bytesToHexStr(QByteArray::fromRawData(bytes, n), 16, false, QLatin1Char(' ')));
    }
    return true;
}

void MainWindow::on_btnEncAES_clicked()
{
    AesPress press(aesCipher, ui->txtKeyAES->text(), ui->txtKeyOffsetAES->text());
    const QString text = ui->txtEncAES->toPlainText();
    if (!press.checkKeyAndText(this, text, ErrorText::NothingToEncrypt))
        return;

    SecretBytes plain(text.toUtf8());
    const qsizetype length = plain.size();
    const WorkBuffer out(length <= INT_MAX - aesBlock ? length + aesBlock : -1, "encryptStr");
    if (!out)
        return;

    showRunning(Operation::Encrypt);
    const int n = press.encrypt(cbcModeAES(), plain.data(), length, out.data());
    plain.clear();
    if (!showCipherTextAES(out.data(), n))
        return;
    showDone(Operation::Encrypt);
}

void MainWindow::on_btnDecAES_clicked()
{
    AesPress press(aesCipher, ui->txtKeyAES->text(), ui->txtKeyOffsetAES->text());
    const QString text = ui->txtEncAES->toPlainText();
    if (!press.checkKeyAndText(this, text, ErrorText::NothingToDecrypt))
        return;
    if (!isBase64Str(text)) {
        showErrorBox(this, ErrorText::NotCipherText);
        return;
    }

    const bool cbc = cbcModeAES();
    SecretBuffer out;
    int r = 0;
    // One attempt, into a buffer of its own; false when that cannot be had.
    const auto attempt = [&](char *in, qsizetype length, const char *status) {
        out = SecretBuffer(length, "decryptStr", WorkBuffer::NoBreak);
        if (!out)
            return false;
        showStatus(status);
        r = press.decrypt(cbc, in, length, out.data());
        return true;
    };

    // Hex cipher text is made of Base64 characters too, and an even number
    // of blocks of it would also read as whole blocks of Base64, whose
    // decryption passes the padding check about once in fifteen: such text
    // is taken as the hex it almost surely is. Any other text is tried as
    // Base64 first, then as hex.
    QByteArray hex = isHexStr(text) ? readHex(text) : QByteArray();
    const bool hexOnly = !hex.isEmpty() && hex.size() % aesBlock == 0;
    if (!hexOnly) {
        // Base64 copied from mail or files is often wrapped into lines.
        const QByteArray base64 = removeWhitespace(text).toUtf8();
        // Sized for the whole text: one whose bytes an int cannot count gets
        // no buffer, and this press ends as for any buffer that cannot be had.
        const WorkBuffer decoded(base64DecodedCapacity(base64.size()), "base64");
        if (!decoded)
            return;
        const int m = base64Decode(base64.constData(), decoded.data(), decoded.size());
        if (m < 0)
            return;
        if (!attempt(decoded.data(), m, QT_TR_NOOP("base64模式解密中...")))
            return;
        if (r == 0)
            hex = readHex(text);
    }
    if (r == 0 && !attempt(hex.data(), hex.size(), QT_TR_NOOP("十六进制模式解密中...")))
        return;

    {
        // The result row's caption and count change with the result, and with
        // them the page's minimum width, which can move the split between the
        // navigation tree and the pages: every box then takes a new width and
        // Qt lays its text out again. The window settles while the result is
        // held, so that the result is laid out once, at its final width, not
        // once for every width and scroll bar it passes through.
        const LayoutHold hold(ui->txtDecAES);
        ui->txtDecAES->setPlainText(QString::fromUtf8(out.data(), r));
        decRowAES.show(CounterRow::String, r);
        settleLayouts(ui->txtDecAES);
    }

    if (r != 0)
        showDone(Operation::Decrypt);
    else
        showStatus(QT_TR_NOOP("小主，我尽力了，实在无法解密！！！"));
}

void MainWindow::on_cboxCModeAES_currentIndexChanged(QString arg1)
{
    const int n = switchHexBase64(ui->txtDecAES, arg1);
    decRowAES.show(arg1.contains(QLatin1String("base64")) ? CounterRow::String : CounterRow::Hex,
                   n);
}
