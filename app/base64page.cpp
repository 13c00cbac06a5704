#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/errorbox.h"
#include "app/pagememory.h"
#include "app/textboxes.h"
#include "codec/codec.h"

#include <QEvent>
#include <QScrollBar>
#include <QStatusBar>
#include <QTextDocument>
#include <QTextEdit>

#include <climits>

// Set once the invalid-hex message of the input box has been shown, so that
// one edit brings one message; cleared at the end of every handler run.
static bool hexErrorShownBASE64 = false;

namespace {

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
    guardHexInput(ui->txtEncBASE64, inCodeHexBASE64, &hexErrorShownBASE64);
    const QString text = ui->txtEncBASE64->toPlainText();
    if (inCodeHexBASE64)
        encRowBASE64.show(CounterRow::Hex, readHex(text).size());
    else
        encRowBASE64.show(CounterRow::String, text.toUtf8().size());
}

void MainWindow::on_txtDecBASE64_textChanged()
{
    const qsizetype length = removeWhitespace(ui->txtDecBASE64->toPlainText()).toUtf8().size();
    if (outCodeHexBASE64)
        decRowBASE64.show(CounterRow::Hex, length / 2);
    else
        decRowBASE64.show(CounterRow::String, length);
}

void MainWindow::on_cboxInCodeBASE64_currentIndexChanged(QString arg1)
{
    const bool hex = !arg1.contains(QStringLiteral("字符串"));
    // Towards hex this runs the input handler while the flag still holds the
    // old form; the row written below is the one that stays.
    const qsizetype count = switchInputCode(ui->txtEncBASE64, hex);
    encRowBASE64.show(hex ? CounterRow::Hex : CounterRow::String, count);
    inCodeHexBASE64 = hex;
}

void MainWindow::on_cboxOutCodeBASE64_currentIndexChanged(QString arg1)
{
    const int n = switchStringHex(ui->txtDecBASE64, arg1);
    outCodeHexBASE64 = !arg1.contains(QStringLiteral("字符串"));
    decRowBASE64.show(outCodeHexBASE64 ? CounterRow::Hex : CounterRow::String, n);
}

void MainWindow::on_btnEncBASE64_clicked()
{
    const QString text = ui->txtEncBASE64->toPlainText();
    if (text.isEmpty()) {
        showErrorBox(this, ErrorText::NothingToEncode);
        return;
    }
    const QByteArray bytes = inCodeHexBASE64 ? readHex(text) : text.toUtf8();

    ui->statusBar->showMessage(tr("base64编码中..."), 2000);
    const int size = bytes.size() <= INT_MAX ? base64EncodedSize(int(bytes.size())) : -1;
    const WorkBuffer encoded(size, "base64\n");
    if (!encoded)
        return;
    base64Encode(bytes.constData(), encoded.data(), int(bytes.size()));
    if (outCodeHexBASE64) {
        ui->txtDecBASE64->setPlainText(bytesToHexStr(QByteArray::fromRawData(encoded.data(), size - 1),
                                                     16, true, QLatin1Char(' ')));
    } else {
        ui->txtDecBASE64->setPlainText(QString::fromLatin1(encoded.data(), size - 1));
    }
    ui->statusBar->showMessage(tr("base64编码完成！"), 2000);
}

void MainWindow::on_btnDecBASE64_clicked()
{
    const QString text = ui->txtEncBASE64->toPlainText();
    if (text.isEmpty()) {
        showErrorBox(this, ErrorText::NothingToDecode);
        return;
    }
    if (!isBase64Str(text)) {
        showErrorBox(this, ErrorText::NotEncodedText);
        return;
    }
    const QByteArray characters =
        inCodeHexBASE64 ? withoutAsciiWhitespace(readHex(text)) : removeWhitespace(text).toUtf8();

    ui->statusBar->showMessage(tr("base64解码中..."), 2000);
    const int capacity = base64DecodedCapacity(int(qMin<qsizetype>(characters.size(), INT_MAX - 3)));
    const WorkBuffer decoded(capacity > 0 ? capacity : 1, "base64\n");
    if (!decoded)
        return;
    const int count = base64Decode(characters.constData(), decoded.data());

    {
        // Selecting hex re-renders the old result, which the decoded bytes
        // replace before anything is painted: only the result is laid out.
        const LayoutHold hold(ui->txtDecBASE64);
        ui->cboxOutCodeBASE64->setCurrentIndex(1);
        outCodeHexBASE64 = true;
        ui->txtDecBASE64->setPlainText(
            bytesToHexStr(QByteArray::fromRawData(decoded.data(), count), 16, true, QLatin1Char(' ')));
    }
    ui->statusBar->showMessage(tr("base64解码完成！"), 2000);
}
