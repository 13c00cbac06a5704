#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/textboxes.h"
#include "codec/codec.h"

#include <QDebug>
#include <QEvent>
#include <QMessageBox>
#include <QScrollBar>
#include <QTextDocument>
#include <QTextEdit>

#include <climits>
#include <memory>

// Set once the invalid-hex message of the input box has been shown, so that
// one edit brings one message; cleared at the end of every handler run.
static bool hexErrorShownBASE64 = false;

namespace {

struct ArrayDeleter
{
    void operator()(char *p) const { delete[] p; }
};
using Buffer = std::unique_ptr<char, ArrayDeleter>;

char *allocateBase64Work(int size)
{
    char *buffer = size > 0 ? allocatePageBuffer(std::size_t(size)) : nullptr;
    if (!buffer)
        qDebug("Unable to allocate memory for base64\n");
    return buffer;
}

// Base64 text from mail or files comes wrapped into lines; the decoder wants
// the characters alone.
QByteArray withoutAsciiWhitespace(const QByteArray &bytes)
{
    QByteArray out = bytes;
    out.removeIf([](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); });
    return out;
}

// Keeps a box's text unlaid while it lives; the box then lays out what it
// holds, once, at its present width. Qt does not lay out a document whose page
// size is null, but the box sets the size again whenever its viewport changes
// width: when a scroll bar comes or goes, or the box adjusts its bars to a
// document it finds unlaid. So the bars stay as they are and resizes wait.
class LayoutHold : public QObject
{
public:
    explicit LayoutHold(QTextEdit *box)
        : box(box), vertical(box->verticalScrollBarPolicy()), horizontal(box->horizontalScrollBarPolicy())
    {
        box->setVerticalScrollBarPolicy(fixed(box->verticalScrollBar()));
        box->setHorizontalScrollBarPolicy(fixed(box->horizontalScrollBar()));
        box->viewport()->installEventFilter(this);
        box->document()->setPageSize(QSizeF(0, 0));
    }
    ~LayoutHold() override
    {
        box->setVerticalScrollBarPolicy(vertical);
        box->setHorizontalScrollBarPolicy(horizontal);
        box->viewport()->removeEventFilter(this);
        box->setLineWrapColumnOrWidth(box->lineWrapColumnOrWidth()); // lays out again
    }
    LayoutHold(const LayoutHold &) = delete;
    LayoutHold &operator=(const LayoutHold &) = delete;

protected:
    bool eventFilter(QObject *, QEvent *event) override { return event->type() == QEvent::Resize; }

private:
    static Qt::ScrollBarPolicy fixed(const QScrollBar *bar)
    {
        return bar->isVisible() ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff;
    }

    QTextEdit *box;
    Qt::ScrollBarPolicy vertical, horizontal;
};

} // namespace

void MainWindow::initBase64Page()
{
    ui->cboxInCodeBASE64->clear();
    ui->cboxInCodeBASE64->addItem(tr("字符串"));
    ui->cboxInCodeBASE64->addItem(tr("十六进制"));
    ui->cboxInCodeBASE64->setCurrentIndex(0);
    inCodeHexBASE64 = false;

    ui->cboxOutCodeBASE64->clear();
    ui->cboxOutCodeBASE64->addItem(tr("字符串"));
    ui->cboxOutCodeBASE64->addItem(tr("十六进制"));
    ui->cboxOutCodeBASE64->setCurrentIndex(0);
    outCodeHexBASE64 = false;

    on_txtEncBASE64_textChanged();
    on_txtDecBASE64_textChanged();
    ui->txtDecBASE64->setReadOnly(true);
}

void MainWindow::on_txtEncBASE64_textChanged()
{
    if (inCodeHexBASE64) {
        guardHexBox(ui->txtEncBASE64, &hexErrorShownBASE64, [this] {
            QMessageBox::critical(this, tr("错误提示！"),
                                  tr("输入数据不是有效的十六进制！\n有效十六进制范围：0~9、a~f、A~F。"));
        });
    }
    hexErrorShownBASE64 = false;

    const QString text = ui->txtEncBASE64->toPlainText();
    if (inCodeHexBASE64) {
        ui->labEncTagBASE64->setText(tr("待编解码十六进制："));
        ui->labEncNumBASE64->setText(QString::number(readHex(text).size(), 10));
        ui->labEncUnitBASE64->setText(tr("个字节"));
    } else {
        ui->labEncTagBASE64->setText(tr("待编解码字符串："));
        ui->labEncNumBASE64->setText(QString::number(text.toUtf8().size(), 10));
        ui->labEncUnitBASE64->setText(tr("位"));
    }
}

void MainWindow::on_txtDecBASE64_textChanged()
{
    const qsizetype length = removeWhitespace(ui->txtDecBASE64->toPlainText()).toUtf8().size();
    if (outCodeHexBASE64) {
        ui->labDecTagBASE64->setText(tr("解码十六进制："));
        ui->labDecNumBASE64->setText(QString::number(length / 2, 10));
        ui->labDecUnitBASE64->setText(tr("个字节"));
    } else {
        ui->labDecTagBASE64->setText(tr("解码字符串："));
        ui->labDecNumBASE64->setText(QString::number(length, 10));
        ui->labDecUnitBASE64->setText(tr("位"));
    }
}

void MainWindow::on_cboxInCodeBASE64_currentIndexChanged(QString arg1)
{
    const bool hex = !arg1.contains(QStringLiteral("字符串"));
    // Towards hex this runs the input handler while the flag still holds the
    // old form; the row written below is the one that stays.
    const qsizetype count = switchInputCode(ui->txtEncBASE64, hex);
    ui->labEncTagBASE64->setText(hex ? tr("待编解码十六进制：") : tr("待编解码字符串："));
    ui->labEncNumBASE64->setText(QString::number(count, 10));
    ui->labEncUnitBASE64->setText(hex ? tr("个字节") : tr("位"));
    inCodeHexBASE64 = hex;
}

void MainWindow::on_cboxOutCodeBASE64_currentIndexChanged(QString arg1)
{
    const int n = switchStringHex(ui->txtDecBASE64, arg1);
    if (arg1.contains(QStringLiteral("字符串"))) {
        ui->labDecTagBASE64->setText(tr("解码字符串："));
        ui->labDecNumBASE64->setText(QString::number(n, 10));
        ui->labDecUnitBASE64->setText(tr("位"));
        outCodeHexBASE64 = false;
    } else {
        ui->labDecTagBASE64->setText(tr("解码十六进制："));
        ui->labDecNumBASE64->setText(QString::number(n, 10));
        ui->labDecUnitBASE64->setText(tr("个字节"));
        outCodeHexBASE64 = true;
    }
}

void MainWindow::on_btnEncBASE64_clicked()
{
    const QString text = ui->txtEncBASE64->toPlainText();
    if (text.isEmpty()) {
        QMessageBox::critical(this, tr("错误提示！"), tr("没有可编码的数据！\n请输入后，继续操作。"));
        return;
    }
    const QByteArray bytes = inCodeHexBASE64 ? readHex(text) : text.toUtf8();

    ui->statusBar->showMessage(tr("base64编码中..."), 2000);
    const int size = bytes.size() <= INT_MAX ? base64EncodedSize(int(bytes.size())) : -1;
    const Buffer encoded(allocateBase64Work(size));
    if (!encoded)
        return;
    base64Encode(bytes.constData(), encoded.get(), int(bytes.size()));
    if (outCodeHexBASE64) {
        ui->txtDecBASE64->setPlainText(bytesToHexStr(QByteArray::fromRawData(encoded.get(), size - 1),
                                                     16, true, QLatin1Char(' ')));
    } else {
        ui->txtDecBASE64->setPlainText(QString::fromLatin1(encoded.get(), size - 1));
    }
    ui->statusBar->showMessage(tr("base64编码完成！"), 2000);
}

void MainWindow::on_btnDecBASE64_clicked()
{
    const QString text = ui->txtEncBASE64->toPlainText();
    if (text.isEmpty()) {
        QMessageBox::critical(this, tr("错误提示！"), tr("没有可解码的数据！\n请输入后，继续操作。"));
        return;
    }
    if (!isBase64Str(text)) {
        QMessageBox::critical(
            this, tr("错误提示！"),
            tr("待解码数据不是有效的base64字符串或十六进制。\n十六进制举例：0x12,0x34，则填1234。"));
        return;
    }
    const QByteArray characters =
        inCodeHexBASE64 ? withoutAsciiWhitespace(readHex(text)) : removeWhitespace(text).toUtf8();

    ui->statusBar->showMessage(tr("base64解码中..."), 2000);
    const int capacity = base64DecodedCapacity(int(qMin<qsizetype>(characters.size(), INT_MAX - 3)));
    const Buffer decoded(allocateBase64Work(capacity > 0 ? capacity : 1));
    if (!decoded)
        return;
    const int count = base64Decode(characters.constData(), decoded.get());

    {
        // Selecting hex re-renders the old result, which the decoded bytes
        // replace before anything is painted: only the result is laid out.
        const LayoutHold hold(ui->txtDecBASE64);
        ui->cboxOutCodeBASE64->setCurrentIndex(1);
        outCodeHexBASE64 = true;
        ui->txtDecBASE64->setPlainText(
            bytesToHexStr(QByteArray::fromRawData(decoded.get(), count), 16, true, QLatin1Char(' ')));
    }
    ui->statusBar->showMessage(tr("base64解码完成！"), 2000);
}
