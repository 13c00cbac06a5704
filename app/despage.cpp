#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/textboxes.h"
#include "cipher/des.h"
#include "cipher/wipe.h"
#include "codec/codec.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QDebug>
#include <QLineEdit>
#include <QMessageBox>
#include <QRegularExpression>
#include <QStatusBar>
#include <QStringEncoder>

#include <climits>
#include <cstddef>
#include <new>

// Set once a box's invalid-input message has been shown, so that the nested
// runs of its handler caused by the removal stay silent; cleared at the end of
// every run.
static bool hexErrorShownDES = false;
static bool key1ErrorShownDES = false;
static bool key2ErrorShownDES = false;

static const int desKeyBytes = 8;

static QByteArray utf8Bytes(const QString &text)
{
    QStringEncoder encoder(utf8Codec());
    return encoder(text);
}

static void showError(QWidget *parent, const QString &text)
{
    QMessageBox::critical(parent, MainWindow::tr("错误提示！"), text);
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
                showError(parent, MainWindow::tr("输入数据不是有效的十六进制！\n有效十六进制范围：0~9、a~f、A~F。"));
            }
            box->backspace();
        }
    } else {
        static const QRegularExpression keyChars(
            QRegularExpression::anchoredPattern(QStringLiteral("([A-Za-z0-9])+")));
        if (!text.isEmpty() && !keyChars.match(text).hasMatch()) {
            if (!*errorShown) {
                *errorShown = true;
                showError(parent, MainWindow::tr("输入数据不是有效的密钥！\n有效密钥范围：0~9、a~z、A~Z。"));
            }
            box->backspace();
        }
    }
    *errorShown = false;
}

// Reads one key box into `key`; returns the message that refuses it, or an
// empty text when the key is a usable 8-byte block.
static QString readKeyDES(const QString &text, bool keyHex, bool second, QByteArray *key)
{
    if (keyHex) {
        if (!isHexStr(text)) {
            return second ? MainWindow::tr("key2不是有效的十六进制。\n十六进制举例：0x12,0x34，则填1234。")
                          : MainWindow::tr("key1不是有效的十六进制。\n十六进制举例：0x12,0x34，则填1234。");
        }
        *key = readHex(text);
        if (key->size() != desKeyBytes) {
            return second ? MainWindow::tr("key2长度不对，必须是8字节。\n如：C4E2B9F07D3A5E18。")
                          : MainWindow::tr("key1长度不对，必须是8字节。\n如：C4E2B9F07D3A5E18。");
        }
    } else {
        *key = utf8Bytes(text);
        if (key->size() != desKeyBytes) {
            return second ? MainWindow::tr("key2长度不对，必须是8字节。\n如：48201759。")
                          : MainWindow::tr("key1长度不对，必须是8字节。\n如：48201759。");
        }
    }
    return QString();
}

// A key copy in a buffer of its own, as the engine reads it.
static char *copyKey(const QByteArray &key, const char *name)
{
    char *buffer = allocatePageBuffer(desKeyBytes);
    if (!buffer) {
        qDebug("Unable to allocate memory for %s\n", name);
        return nullptr;
    }
    for (int i = 0; i < desKeyBytes; ++i)
        buffer[i] = key.at(i);
    return buffer;
}

static void releaseKey(char *key)
{
    if (key) {
        cipher::secureWipe(key, desKeyBytes);
        delete[] key;
    }
}

void MainWindow::initDESPage()
{
    algGroupDES = new QButtonGroup(this);
    algGroupDES->addButton(ui->rbtnDES);
    algGroupDES->addButton(ui->rbtn3DES);
    ui->rbtnDES->setChecked(true);
    updateAlgDES();
    connect(algGroupDES, &QButtonGroup::buttonClicked, this, &MainWindow::onButtonAlgGroupClicked);

    keyGroupDES = new QButtonGroup(this);
    keyGroupDES->addButton(ui->rbtnKeyHexDES);
    keyGroupDES->addButton(ui->rbtnKeyCharDES);
    ui->rbtnKeyHexDES->setChecked(true);
    updateKeyFormDES();
    connect(keyGroupDES, &QButtonGroup::buttonClicked, this, &MainWindow::onButtonkeyGroupClicked);

    // Each fill runs the combo's slot; the hex selection normalises the sample input.
    ui->cboxInCodeDES->clear();
    ui->cboxInCodeDES->addItem(tr("字符串"));
    ui->cboxInCodeDES->addItem(tr("十六进制"));
    ui->cboxInCodeDES->setCurrentIndex(1);
    inCodeHexDES = true;

    ui->cboxOutCodeDES->clear();
    ui->cboxOutCodeDES->addItem(tr("base64"));
    ui->cboxOutCodeDES->addItem(tr("十六进制"));
    ui->cboxOutCodeDES->setCurrentIndex(1);
    outCodeHexDES = true;

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
    if (inCodeHexDES) {
        guardHexBox(ui->txtEncDES, &hexErrorShownDES, [this] {
            showError(this, tr("输入数据不是有效的十六进制！\n有效十六进制范围：0~9、a~f、A~F。"));
        });
    }
    hexErrorShownDES = false;

    const QString text = ui->txtEncDES->toPlainText();
    if (inCodeHexDES) {
        ui->labEncTagDES->setText(tr("待加解密十六进制："));
        ui->labEncNumDES->setText(QString::number(readHex(text).size(), 10));
        ui->labEncUnitDES->setText(tr("个字节"));
    } else {
        ui->labEncTagDES->setText(tr("待加解密字符串："));
        ui->labEncNumDES->setText(QString::number(utf8Bytes(text).size(), 10));
        ui->labEncUnitDES->setText(tr("位"));
    }
}

void MainWindow::on_txtDecDES_textChanged()
{
    const QString text = ui->txtDecDES->toPlainText();
    if (outCodeHexDES) {
        const qsizetype digits = utf8Bytes(removeWhitespace(text.trimmed())).size();
        ui->labDecTagDES->setText(tr("解密十六进制："));
        ui->labDecNumDES->setText(QString::number(digits / 2, 10));
        ui->labDecUnitDES->setText(tr("个字节"));
    } else {
        ui->labDecTagDES->setText(tr("解密字符串："));
        ui->labDecNumDES->setText(QString::number(utf8Bytes(text).size(), 10));
        ui->labDecUnitDES->setText(tr("位"));
    }
}

void MainWindow::on_cboxInCodeDES_currentIndexChanged(QString arg1)
{
    const bool hex = !arg1.contains(QStringLiteral("字符串"));
    // Towards hex this runs the input handler while the flag still holds the
    // old form; the row written below is the one that stays.
    const qsizetype count = switchInputCode(ui->txtEncDES, hex);
    ui->labEncTagDES->setText(hex ? tr("待加解密十六进制：") : tr("待加解密字符串："));
    ui->labEncNumDES->setText(QString::number(count, 10));
    ui->labEncUnitDES->setText(hex ? tr("个字节") : tr("位"));
    inCodeHexDES = hex;
}

void MainWindow::on_cboxOutCodeDES_currentIndexChanged(QString arg1)
{
    const int n = switchHexBase64(ui->txtDecDES, arg1);
    if (arg1.contains(QStringLiteral("base64"))) {
        ui->labDecTagDES->setText(tr("解密字符串："));
        ui->labDecNumDES->setText(QString::number(n, 10));
        ui->labDecUnitDES->setText(tr("位"));
        outCodeHexDES = false;
    } else {
        ui->labDecTagDES->setText(tr("解密十六进制："));
        ui->labDecNumDES->setText(QString::number(n, 10));
        ui->labDecUnitDES->setText(tr("个字节"));
        outCodeHexDES = true;
    }
}

void MainWindow::on_btnEncDES_clicked()
{
    runDES(true);
}

void MainWindow::on_btnDecDES_clicked()
{
    runDES(false);
}

void MainWindow::runDES(bool encrypt)
{
    QByteArray key1;
    QByteArray key2;
    QString refusal = readKeyDES(ui->txtKey1DES->text(), keyHexDES, false, &key1);
    if (refusal.isEmpty() && tripleDES)
        refusal = readKeyDES(ui->txtKey2DES->text(), keyHexDES, true, &key2);
    if (refusal.isEmpty() && tripleDES && key1 == key2) {
        refusal = tr("3DES加解密时，密钥1和密钥2建议不要相同，不然无法发挥3DES的作用。\n"
                     "如果密钥1和密钥2相同，相当于DES加密。请更改后，重新操作。");
    }
    const QString text = ui->txtEncDES->toPlainText();
    if (refusal.isEmpty() && text.isEmpty()) {
        refusal = encrypt ? tr("没有可加密的数据！\n请输入后，继续操作。")
                          : tr("没有可解密的数据！\n请输入后，继续操作。");
    }
    if (!refusal.isEmpty()) {
        wipeSecret(key1);
        wipeSecret(key2);
        showError(this, refusal);
        return;
    }

    char *key1Buffer = copyKey(key1, "key1");
    char *key2Buffer = (key1Buffer && tripleDES) ? copyKey(key2, "key2") : nullptr;
    wipeSecret(key1);
    wipeSecret(key2);
    if (!key1Buffer || (tripleDES && !key2Buffer)) {
        releaseKey(key1Buffer);
        releaseKey(key2Buffer);
        return;
    }

    const QByteArray input = inCodeHexDES ? readHex(text) : utf8Bytes(text);

    char *result = nullptr;
    desContext = new (std::nothrow) DesContext;
    if (desContext && input.size() <= INT_MAX - 8)
        result = allocatePageBuffer(std::size_t(input.size()) + 8);
    if (!result) {
        if (desContext)
            qDebug("Unable to allocate memory for encryptStr\n");
        delete desContext;
        desContext = nullptr;
        releaseKey(key1Buffer);
        releaseKey(key2Buffer);
        return;
    }

    ui->statusBar->showMessage(encrypt ? tr("加密中...") : tr("解密中..."), 2000);

    const int length = int(input.size());
    int count;
    desContext->setSubKey(key1Buffer, 0);
    if (tripleDES) {
        desContext->setSubKey(key2Buffer, 1);
        count = encrypt ? desContext->encrypt3Des(input.constData(), length, result)
                        : desContext->decrypt3Des(input.constData(), length, result);
    } else {
        count = encrypt ? desContext->encryptDes(input.constData(), length, result)
                        : desContext->decryptDes(input.constData(), length, result);
    }
    // The subkeys are wiped as the context goes.
    delete desContext;
    desContext = nullptr;
    releaseKey(key1Buffer);
    releaseKey(key2Buffer);

    bool shown = true;
    if (outCodeHexDES) {
        ui->txtDecDES->setPlainText(bytesToHexStr(QByteArray::fromRawData(result, count), 16, true,
                                                  QLatin1Char(' ')));
    } else {
        char *base64 = allocatePageBuffer(std::size_t(base64EncodedSize(count)));
        if (base64) {
            base64Encode(result, base64, count);
            ui->txtDecDES->setPlainText(QString::fromLatin1(base64));
            delete[] base64;
        } else {
            qDebug("Unable to allocate memory for base64\n");
            shown = false;
        }
    }
    delete[] result;

    if (shown)
        ui->statusBar->showMessage(encrypt ? tr("加密完成！") : tr("解密完成！"), 2000);
}
