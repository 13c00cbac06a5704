#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/errorbox.h"
#include "app/pagememory.h"
#include "app/textboxes.h"
#include "cipher/des.h"
#include "codec/codec.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QDebug>
#include <QLineEdit>
#include <QRegularExpression>
#include <QStatusBar>
#include <QStringEncoder>

#include <algorithm>
#include <climits>
#include <new>
#include <optional>

static const int desKeyBytes = 8;

static QByteArray utf8Bytes(const QString &text)
{
    QStringEncoder encoder(utf8Codec());
    return encoder(text);
}

QByteArray MainWindow::utf8BytesDES(const QString &text)
{
    return utf8Bytes(text);
}

// The guard shared by both key boxes. Each backspace() re-enters the guard
// through textChanged; `errorShown`, still set, keeps those runs silent. The
// boxes hold at most 16 characters, so the nesting stays shallow.
static void guardKeyBox(QWidget *parent, QLineEdit *box, const QString &text, bool keyHex,
                        bool *errorShown)
{
    if (keyHex) {
        const QString digits = removeWhitespace(text.trimmed());
        if (!digits.isEmpty() && !isHexStr(digits)) {
            if (!*errorShown) {
                *errorShown = true;
                showErrorBox(parent, ErrorText::InvalidHex);
            }
            box->backspace();
        }
    } else {
        static const QRegularExpression keyChars(
            QRegularExpression::anchoredPattern(QStringLiteral("([A-Za-z0-9])+")));
        if (!text.isEmpty() && !keyChars.match(text).hasMatch()) {
            if (!*errorShown) {
                *errorShown = true;
                showErrorBox(parent, ErrorText::InvalidKeyChars);
            }
            box->backspace();
        }
    }
    *errorShown = false;
}

// Reads one key box into `key`; returns the message that refuses it, or
// nothing when the key is a usable 8-byte block.
static std::optional<ErrorText> readKeyDES(const QString &text, bool keyHex, bool second,
                                           SecretBytes *key)
{
    if (keyHex) {
        if (!isHexStr(text))
            return second ? ErrorText::Key2NotHex : ErrorText::Key1NotHex;
        *key = readHex(text);
        if (key->size() != desKeyBytes)
            return second ? ErrorText::Key2LengthHex : ErrorText::Key1LengthHex;
    } else {
        *key = utf8Bytes(text);
        if (key->size() != desKeyBytes)
            return second ? ErrorText::Key2LengthChar : ErrorText::Key1LengthChar;
    }
    return std::nullopt;
}

// A key copy in a working buffer of its own, as the engine reads it.
static SecretBuffer copyKey(const SecretBytes &key, const char *name)
{
    SecretBuffer buffer(desKeyBytes, name);
    if (buffer)
        std::copy_n(key.constData(), desKeyBytes, buffer.data());
    return buffer;
}

// The engine context of one press. Its storage is a working buffer like the
// page's others, so that one source serves all of them; the context is
// destroyed, its subkeys wiped, when the press ends.
class DesPress
{
public:
    explicit DesPress(DesContext *&slot)
        : slot(slot), storage(sizeof(DesContext), "desContext", WorkBuffer::Silent)
    {
        static_assert(alignof(DesContext) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__,
                      "page buffers are aligned as new char[] is");
        if (storage)
            slot = new (storage.data()) DesContext;
    }
    ~DesPress()
    {
        if (storage) {
            slot->~DesContext();
            slot = nullptr;
        }
    }
    DesPress(const DesPress &) = delete;
    DesPress &operator=(const DesPress &) = delete;

    explicit operator bool() const { return bool(storage); }

private:
    DesContext *&slot;
    WorkBuffer storage;
};

void MainWindow::initDESPage()
{
    initRadioGroup(algGroupDES, ui->rbtnDES, ui->rbtn3DES, ui->label_18, &MainWindow::updateAlgDES,
                   &MainWindow::onButtonAlgGroupClicked);
    initRadioGroup(keyGroupDES, ui->rbtnKeyHexDES, ui->rbtnKeyCharDES, ui->label_22,
                   &MainWindow::updateKeyFormDES, &MainWindow::onButtonkeyGroupClicked);

    // Each fill runs the combo's slot; the hex selection normalises the sample input.
    encInputDES.fillCodes(true);
    fillCodeCombo(ui->cboxOutCodeDES, QT_TR_NOOP("base64"), QT_TR_NOOP("十六进制"), 1,
                  &outCodeHexDES);

    on_txtEncDES_textChanged();
    on_txtDecDES_textChanged();

    ui->txtDecDES->setReadOnly(true);
}

void MainWindow::updateAlgDES()
{
    QAbstractButton *checked = algGroupDES->checkedButton();
    if (!checked)
        return;
    if (checked->text().contains(QStringLiteral("3DES"))) {
        ui->txtKey1DES->setEnabled(true);
        ui->txtKey2DES->setEnabled(true);
        tripleDES = true;
    } else {
        ui->txtKey1DES->setEnabled(true);
        ui->txtKey2DES->setEnabled(false);
        tripleDES = false;
    }
}

void MainWindow::updateKeyFormDES()
{
    QAbstractButton *checked = keyGroupDES->checkedButton();
    if (!checked)
        return;
    // keyHexDES changes last: a cut made by setMaxLength is guarded in the old form.
    if (checked->text().contains(QStringLiteral("十六进制"))) {
        ui->txtKey1DES->setMaxLength(16);
        ui->txtKey2DES->setMaxLength(16);
        keyHexDES = true;
    } else {
        ui->txtKey1DES->setMaxLength(8);
        ui->txtKey2DES->setMaxLength(8);
        keyHexDES = false;
    }
}

void MainWindow::onButtonAlgGroupClicked(QAbstractButton *button)
{
    qDebug().noquote() << QStringLiteral("Clicked Button : %1").arg(button->text());
    updateAlgDES();
}

void MainWindow::onButtonkeyGroupClicked(QAbstractButton *button)
{
    qDebug().noquote() << QStringLiteral("Clicked Button : %1").arg(button->text());
    updateKeyFormDES();
}

void MainWindow::on_txtKey1DES_textChanged(const QString &arg1)
{
    guardKeyBox(this, ui->txtKey1DES, arg1, keyHexDES, &key1ErrorShownDES);
}

void MainWindow::on_txtKey2DES_textChanged(const QString &arg1)
{
    guardKeyBox(this, ui->txtKey2DES, arg1, keyHexDES, &key2ErrorShownDES);
}

void MainWindow::on_txtEncDES_textChanged()
{
    encInputDES.textChanged();
}

void MainWindow::on_txtDecDES_textChanged()
{
    const QString text = ui->txtDecDES->toPlainText();
    if (outCodeHexDES)
        decRowDES.show(CounterRow::Hex, utf8Bytes(removeWhitespace(text.trimmed())).size() / 2);
    else
        decRowDES.show(CounterRow::String, utf8Bytes(text).size());
}

void MainWindow::on_cboxInCodeDES_currentIndexChanged(QString arg1)
{
    encInputDES.codeChanged(arg1);
}

void MainWindow::on_cboxOutCodeDES_currentIndexChanged(QString arg1)
{
    const int n = switchHexBase64(ui->txtDecDES, arg1);
    outCodeHexDES = !arg1.contains(QStringLiteral("base64"));
    decRowDES.show(outCodeHexDES ? CounterRow::Hex : CounterRow::String, n);
}

void MainWindow::on_btnEncDES_clicked()
{
    runDES(true);
}

void MainWindow::on_btnDecDES_clicked()
{
    runDES(false);
}

// Both keys as the page reads them, checked; the message that refuses them,
// if any.
std::optional<ErrorText> MainWindow::readKeysDES(SecretBytes *key1, SecretBytes *key2) const
{
    std::optional<ErrorText> refusal = readKeyDES(ui->txtKey1DES->text(), keyHexDES, false, key1);
    if (!refusal && tripleDES)
        refusal = readKeyDES(ui->txtKey2DES->text(), keyHexDES, true, key2);
    if (!refusal && tripleDES && *key1 == *key2)
        refusal = ErrorText::SameKeysDES;
    return refusal;
}

int MainWindow::runEngineDES(bool encrypt, const char *key1, const char *key2,
                             const SecretBytes &input, char *out)
{
    const int length = int(input.size());
    desContext->setSubKey(key1, 0);
    if (!tripleDES) {
        return encrypt ? desContext->encryptDes(input.constData(), length, out)
                       : desContext->decryptDes(input.constData(), length, out);
    }
    desContext->setSubKey(key2, 1);
    return encrypt ? desContext->encrypt3Des(input.constData(), length, out)
                   : desContext->decrypt3Des(input.constData(), length, out);
}

bool MainWindow::showResultDES(const char *bytes, int count)
{
    if (outCodeHexDES) {
        ui->txtDecDES->setPlainText(
            bytesToHexStr(QByteArray::fromRawData(bytes, count), 16, true, QLatin1Char(' ')));
        return true;
    }
    const WorkBuffer base64(base64EncodedSize(count), "base64");
    if (!base64)
        return false;
    base64Encode(bytes, base64.data(), count);
    ui->txtDecDES->setPlainText(QString::fromLatin1(base64.data()));
    return true;
}

void MainWindow::runDES(bool encrypt)
{
    SecretBytes key1;
    SecretBytes key2;
    const QString text = ui->txtEncDES->toPlainText();
    std::optional<ErrorText> refusal = readKeysDES(&key1, &key2);
    if (!refusal && text.isEmpty())
        refusal = encrypt ? ErrorText::NothingToEncrypt : ErrorText::NothingToDecrypt;
    if (refusal) {
        key1.clear();
        key2.clear();
        showErrorBox(this, *refusal);
        return;
    }

    const SecretBuffer key1Buffer = copyKey(key1, "key1");
    const SecretBuffer key2Buffer =
        (key1Buffer && tripleDES) ? copyKey(key2, "key2") : SecretBuffer();
    key1.clear();
    key2.clear();
    if (!key1Buffer || (tripleDES && !key2Buffer))
        return;

    const SecretBytes input(encInputDES.bytes(text));
    const DesPress press(desContext);
    if (!press)
        return;
    // Plaintext when decrypting.
    const SecretBuffer result(input.size() <= INT_MAX - 8 ? input.size() + 8 : -1, "encryptStr");
    if (!result)
        return;

    const Operation operation = encrypt ? Operation::Encrypt : Operation::Decrypt;
    showRunning(operation);
    const int count =
        runEngineDES(encrypt, key1Buffer.data(), key2Buffer.data(), input, result.data());
    if (!showResultDES(result.data(), count))
        return;
    showDone(operation);
}
