#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/textboxes.h"
#include "cipher/aes.h"
#include "cipher/wipe.h"
#include "codec/codec.h"

#include <QDebug>
#include <QMessageBox>

#include <climits>
#include <cstring>
#include <new>

namespace {

const char defaultIvAES[] = "7306158249371560";
constexpr int aesBlock = 16;

// A zero-terminated copy of the UTF-8 form of key material, wiped and freed
// when it goes; the intermediate byte array is wiped at once.
class SecretBuffer
{
public:
    SecretBuffer(const QString &text, const char *name)
    {
        QByteArray bytes = text.toUtf8();
        size = std::size_t(bytes.size()) + 1;
        data = new (std::nothrow) char[size];
        if (data) {
            std::memcpy(data, bytes.constData(), size - 1);
            data[size - 1] = '\0';
        } else {
            qDebug("Unable to allocate memory for %s\n", name);
        }
        wipeSecret(bytes);
    }
    ~SecretBuffer()
    {
        if (data) {
            cipher::secureWipe(data, size);
            delete[] data;
        }
    }
    SecretBuffer(const SecretBuffer &) = delete;
    SecretBuffer &operator=(const SecretBuffer &) = delete;

    char *get() const { return data; }

private:
    std::size_t size = 0;
    char *data = nullptr;
};

// A working buffer of the engines; nullptr when it cannot be had.
char *allocateWork(qsizetype size, const char *name)
{
    char *buffer = nullptr;
    if (size >= 0 && size <= INT_MAX)
        buffer = allocatePageBuffer(std::size_t(size));
    if (!buffer)
        qDebug("%s", name);
    return buffer;
}

struct WorkBuffer
{
    char *data = nullptr;
    WorkBuffer() = default;
    explicit WorkBuffer(char *p) : data(p) {}
    ~WorkBuffer() { delete[] data; }
    WorkBuffer(const WorkBuffer &) = delete;
    WorkBuffer &operator=(const WorkBuffer &) = delete;
    void reset(char *p)
    {
        delete[] data;
        data = p;
    }
};

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
    const qsizetype n = ui->txtEncAES->toPlainText().toUtf8().size();
    ui->labEncNumAES->setText(QString::number(n, 10));
}

void MainWindow::on_txtDecAES_textChanged()
{
    const qsizetype n = ui->txtDecAES->toPlainText().toUtf8().size();
    if (ui->cboxCModeAES->currentText().contains(QLatin1String("base64"))) {
        ui->labDecTagAES->setText(tr("解密字符串："));
        ui->labDecNumAES->setText(QString::number(n, 10));
        ui->labDecUnitAES->setText(tr("位"));
    } else {
        ui->labDecTagAES->setText(tr("解密十六进制："));
        ui->labDecNumAES->setText(QString::number(n / 2, 10));
        ui->labDecUnitAES->setText(tr("个字节"));
    }
}

void MainWindow::on_txtKeyAES_textChanged()
{
    ui->txtKeyLenAES->setText(QString::number(keyLengthAES() * 8, 10));
}

// The first steps of both buttons: the key and IV copies, the key check and
// the key schedule. False when the press ends here.
static bool prepareAES(MainWindow *window, AesCipher *cipher, int keyLength,
                       const SecretBuffer &key, const SecretBuffer &iv)
{
    if (!key.get() || !iv.get())
        return false;
    if (keyLength != 16 && keyLength != 24 && keyLength != 32) {
        QMessageBox::critical(window, MainWindow::tr("错误提示！"),
                              MainWindow::tr("密钥长度只允许为128、192或256位！"));
        return false;
    }
    cipher->setKey(keyLength, key.get());
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
    const SecretBuffer key(ui->txtKeyAES->text(), "key");
    SecretBuffer iv(ivTextAES(ui->txtKeyOffsetAES->text()), "iv");
    if (!prepareAES(this, aesCipher, keyLengthAES(), key, iv))
        return;

    const QString text = ui->txtEncAES->toPlainText();
    if (text.isEmpty()) {
        QMessageBox::critical(this, tr("错误提示！"), tr("没有可加密的数据！\n请输入后，继续操作。"));
        return;
    }

    QByteArray plain = text.toUtf8();
    const qsizetype length = plain.size();
    WorkBuffer out(allocateWork(length <= INT_MAX - aesBlock ? length + aesBlock : -1,
                                "Unable to allocate memory for encryptStr\n"));
    if (!out.data)
        return;

    ui->statusBar->showMessage(tr("加密中..."), 2000);
    const bool cbc = ui->cboxAlgAES->currentText().contains(QLatin1String("CBC"));
    const int n = cbc ? aesCipher->encryptCbc(plain.data(), unsigned(length), out.data, iv.get())
                      : aesCipher->encryptEcb(plain.data(), unsigned(length), out.data);
    wipeSecret(plain);

    if (ui->cboxCModeAES->currentText().contains(QLatin1String("base64"))) {
        const int size = base64EncodedSize(n);
        WorkBuffer base64(allocateWork(size, "Unable to allocate memory for base64\n"));
        if (!base64.data)
            return;
        base64Encode(out.data, base64.data, n);
        ui->txtDecAES->setPlainText(QString::fromLatin1(base64.data, size - 1));
    } else {
        ui->txtDecAES->setPlainText(
            bytesToHexStr(QByteArray::fromRawData(out.data, n), 16, false, QLatin1Char(' ')));
    }
    ui->statusBar->showMessage(tr("加密完成！"), 2000);
}

// Decrypts `length` bytes in the page's current mode into `out`, starting
// from the prepared IV whatever an earlier attempt left in its own copy.
static int decryptAES(AesCipher *cipher, bool cbc, char *in, qsizetype length, char *out,
                      const SecretBuffer &iv)
{
    auto *result = reinterpret_cast<unsigned char *>(out);
    if (!cbc)
        return cipher->decryptEcb(in, unsigned(length), result);
    char chain[aesBlock];
    std::memcpy(chain, iv.get(), aesBlock);
    const int r = cipher->decryptCbc(in, unsigned(length), result, chain);
    cipher::secureWipe(chain, sizeof chain);
    return r;
}

void MainWindow::on_btnDecAES_clicked()
{
    AesPress press(aesCipher);
    const SecretBuffer key(ui->txtKeyAES->text(), "key");
    const SecretBuffer iv(ivTextAES(ui->txtKeyOffsetAES->text()), "iv");
    if (!prepareAES(this, aesCipher, keyLengthAES(), key, iv))
        return;

    const QString text = ui->txtEncAES->toPlainText();
    if (text.isEmpty()) {
        QMessageBox::critical(this, tr("错误提示！"), tr("没有可解密的数据！\n请输入后，继续操作。"));
        return;
    }
    if (!isBase64Str(text)) {
        QMessageBox::critical(
            this, tr("错误提示！"),
            tr("待解密数据不是有效的base64字符串或十六进制。\n十六进制举例：0x12,0x34，则填1234。"));
        return;
    }

    const bool cbc = ui->cboxAlgAES->currentText().contains(QLatin1String("CBC"));
    const char *const noDecryptBuffer = "Unable to allocate memory for decryptStr";
    WorkBuffer out;
    int r = 0;

    // Hex cipher text is made of Base64 characters too, and an even number
    // of blocks of it would also read as whole blocks of Base64, whose
    // decryption passes the padding check about once in fifteen: such text
    // is taken as the hex it almost surely is.
    QByteArray hex = isHexStr(text) ? readHex(text) : QByteArray();
    if (!hex.isEmpty() && hex.size() % aesBlock == 0) {
        out.reset(allocateWork(hex.size(), noDecryptBuffer));
        if (!out.data)
            return;
        ui->statusBar->showMessage(tr("十六进制模式解密中..."), 2000);
        r = decryptAES(aesCipher, cbc, hex.data(), hex.size(), out.data, iv);
    } else {
        {
            // Base64 copied from mail or files is often wrapped into lines.
            const QByteArray base64 = removeWhitespace(text).toUtf8();
            WorkBuffer decoded(allocateWork(base64DecodedCapacity(int(qMin<qsizetype>(
                                                base64.size(), INT_MAX - 3))),
                                            "Unable to allocate memory for base64\n"));
            if (!decoded.data)
                return;
            const int m = base64Decode(base64.constData(), decoded.data);
            out.reset(allocateWork(m, noDecryptBuffer));
            if (!out.data)
                return;
            ui->statusBar->showMessage(tr("base64模式解密中..."), 2000);
            r = decryptAES(aesCipher, cbc, decoded.data, m, out.data, iv);
        }
        if (r == 0) {
            hex = readHex(text);
            out.reset(allocateWork(hex.size(), noDecryptBuffer));
            if (!out.data)
                return;
            ui->statusBar->showMessage(tr("十六进制模式解密中..."), 2000);
            r = decryptAES(aesCipher, cbc, hex.data(), hex.size(), out.data, iv);
        }
    }

    ui->txtDecAES->setPlainText(QString::fromUtf8(out.data, r));
    ui->labDecTagAES->setText(tr("解密字符串："));
    ui->labDecNumAES->setText(QString::number(r, 10));
    ui->labDecUnitAES->setText(tr("位"));

    if (r != 0)
        ui->statusBar->showMessage(tr("解密完成！"), 2000);
    else
        ui->statusBar->showMessage(tr("小主，我尽力了，实在无法解密！！！"), 2000);
}

void MainWindow::on_cboxCModeAES_currentIndexChanged(QString arg1)
{
    const int n = switchHexBase64(ui->txtDecAES, arg1);
    if (arg1.contains(QLatin1String("base64"))) {
        ui->labDecTagAES->setText(tr("解密字符串："));
        ui->labDecNumAES->setText(QString::number(n, 10));
        ui->labDecUnitAES->setText(tr("位"));
    } else {
        ui->labDecTagAES->setText(tr("解密十六进制："));
        ui->labDecNumAES->setText(QString::number(n, 10));
        ui->labDecUnitAES->setText(tr("个字节"));
    }
}
