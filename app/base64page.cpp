#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/errorbox.h"
#include "app/pagememory.h"
#include "app/textboxes.h"
#include "codec/codec.h"

#include <QStatusBar>
#include <QTextEdit>

#include <climits>

void MainWindow::initBase64Page()
{
    encInputBASE64.fillCodes(false);
    fillCodeCombo(ui->cboxOutCodeBASE64, QT_TR_NOOP("字符串"), QT_TR_NOOP("十六进制"), 0,
                  &outCodeHexBASE64);

    on_txtEncBASE64_textChanged();
    on_txtDecBASE64_textChanged();
    ui->txtDecBASE64->setReadOnly(true);
}

void MainWindow::on_cboxInCodeBASE64_currentIndexChanged(QString arg1)
{
    encInputBASE64.codeChanged(arg1);
}

void MainWindow::on_txtEncBASE64_textChanged()
{
    encInputBASE64.textChanged();
}

void MainWindow::on_txtDecBASE64_textChanged()
{
    const qsizetype length = removeWhitespace(ui->txtDecBASE64->toPlainText()).toUtf8().size();
    if (outCodeHexBASE64)
        decRowBASE64.show(CounterRow::Hex, length / 2);
    else
        decRowBASE64.show(CounterRow::String, length);
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
    const QByteArray bytes = encInputBASE64.bytes(text);

    showRunning(Operation::EncodeBase64);
    const int size = bytes.size() <= INT_MAX ? base64EncodedSize(int(bytes.size())) : -1;
    const WorkBuffer encoded(size, "base64");
    if (!encoded)
        return;
    base64Encode(bytes.constData(), encoded.data(), int(bytes.size()));
    if (outCodeHexBASE64) {
        ui->txtDecBASE64->setPlainText(bytesToHexStr(
            QByteArray::fromRawData(encoded.data(), size - 1), 16, true, QLatin1Char(' ')));
    } else {
        ui->txtDecBASE64->setPlainText(QString::fromLatin1(encoded.data(), size - 1));
    }
    showDone(Operation::EncodeBase64);
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
    // Base64 text from mail or files comes wrapped into lines; the decoder
    // wants the characters alone.
    const QByteArray characters =
        inCodeHexBASE64 ? removeAsciiWhitespace(readHex(text)) : removeWhitespace(text).toUtf8();

    showRunning(Operation::DecodeBase64);
    // Sized for the whole text: one whose bytes an int cannot count gets no
    // buffer, and the press ends as for any buffer that cannot be had.
    const WorkBuffer decoded(base64DecodedCapacity(characters.size()), "base64");
    if (!decoded)
        return;
    const int count = base64Decode(characters.constData(), decoded.data(), decoded.size());
    if (count < 0)
        return;

    {
        // Selecting hex re-renders the old result, which the decoded bytes
        // replace before anything is painted: only the result is laid out.
        const LayoutHold hold(ui->txtDecBASE64);
        ui->cboxOutCodeBASE64->setCurrentIndex(1);
        outCodeHexBASE64 = true;
        ui->txtDecBASE64->setPlainText(bytesToHexStr(QByteArray::fromRawData(decoded.data(), count),
                                                     16, true, QLatin1Char(' ')));
    }
    showDone(Operation::DecodeBase64);
}
