#include "app/mainwindow.h"

#include "app/errorbox.h"
#include "app/readfile.h"
#include "app/textboxes.h"
#include "codec/codec.h"
#include "ui_mainwindow.h"

#include <QButtonGroup>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDebug>
#include <QFileDialog>
#include <QFileInfo>
#include <QStatusBar>

// Set once the invalid-hex message of the input box has been shown, so one
// offending edit shows it once; cleared at the end of every handler run.
static bool hexErrorShownHASH = false;

static const int md5DigestSize = 16;
static const int sha1DigestSize = 20;

// A digest as the result box shows it. The layout follows the digest's own
// length, so a file digest keeps the label of the algorithm that made it.
static QString digestLayout(const QByteArray &digest)
{
    const QString hex = bytesToHexStr(digest, 16, false, QLatin1Char(' '));
    if (digest.size() == sha1DigestSize)
        return QStringLiteral("SHA1：") + hex;
    return QStringLiteral("16位 MD5：") + hex.mid(8, 16) + QLatin1Char('\n')
           + QStringLiteral("32位 MD5：") + hex;
}

void MainWindow::initHashPage()
{
    textTypeGroupHASH = new QButtonGroup(this);
    textTypeGroupHASH->addButton(ui->rbtnTxtHASH);
    textTypeGroupHASH->addButton(ui->rbtnFileHASH);
    ui->rbtnTxtHASH->setChecked(true);
    updateTextTypeHASH();
    connect(textTypeGroupHASH, &QButtonGroup::buttonClicked, this,
            &MainWindow::onButtonTextTypeGroupClicked);

    ui->cboxInTxtHASH->clear();
    ui->cboxInTxtHASH->addItem(tr("字符串"));
    ui->cboxInTxtHASH->addItem(tr("十六进制"));
    ui->cboxInTxtHASH->setCurrentIndex(0);
    inCodeHexHASH = false;

    on_txtEncHASH_textChanged();

    ui->txtDecHASH->setReadOnly(true);

    // No parent: the worker outlives any one load and is reused for each.
    fileWorker = new ReadFile;
    connect(fileWorker, &ReadFile::PrgRangeSignal, this, &MainWindow::prgFileHASHSet);
    connect(fileWorker, &ReadFile::PrgValueSignal, this, &MainWindow::prgFileHASHDis);
    connect(fileWorker, &ReadFile::PrgFinshSignal, this, &MainWindow::prgFileHASHFinsh);
    // Every run ends with this one, digest or not, after all its other calls.
    connect(fileWorker, &QThread::finished, this, &MainWindow::fileWorkerEndedHASH);

    fileDigestHASH.clear();
}

void MainWindow::updateTextTypeHASH()
{
    QAbstractButton *checked = textTypeGroupHASH->checkedButton();
    if (!checked)
        return;
    const bool text = checked->text().contains(tr("文本"));
    ui->txtEncHASH->setReadOnly(!text);
    ui->cboxInTxtHASH->setEnabled(text);
    ui->btnFileHASH->setEnabled(!text);
    ui->prgFileHASH->setEnabled(!text);
    textModeHASH = text;
}

void MainWindow::onButtonTextTypeGroupClicked(QAbstractButton *button)
{
    qDebug() << QStringLiteral("Clicked Button : %1").arg(button->text());
    updateTextTypeHASH();
}

void MainWindow::on_txtEncHASH_textChanged()
{
    guardHexInput(ui->txtEncHASH, inCodeHexHASH, &hexErrorShownHASH);
    const QString text = ui->txtEncHASH->toPlainText();
    if (inCodeHexHASH)
        encRowHASH.show(CounterRow::Hex, readHex(text).size());
    else
        encRowHASH.show(CounterRow::String, text.toUtf8().size());
}

void MainWindow::on_cboxInTxtHASH_currentIndexChanged(QString arg1)
{
    const bool hex = !arg1.contains(QStringLiteral("字符串"));
    // Towards hex this runs the input handler while the flag still holds the
    // old form; the row written below is the one that stays.
    const qsizetype count = switchInputCode(ui->txtEncHASH, hex);
    encRowHASH.show(hex ? CounterRow::Hex : CounterRow::String, count);
    inCodeHexHASH = hex;
}

void MainWindow::on_btnCalcHASH_clicked()
{
    if (textModeHASH) {
        const QString text = ui->txtEncHASH->toPlainText();
        if (text.isEmpty()) {
            showErrorBox(this, ErrorText::NothingToHash);
            return;
        }
        const QByteArray bytes = inCodeHexHASH ? readHex(text) : text.toUtf8();
        if (currentAlg == AlgSHA1) {
            ui->statusBar->showMessage(tr("SHA1计算中..."), 2000);
            ui->txtDecHASH->setPlainText(
                digestLayout(QCryptographicHash::hash(bytes, QCryptographicHash::Sha1)));
            ui->statusBar->showMessage(tr("SHA1计算完成！"), 2000);
        } else {
            ui->statusBar->showMessage(tr("MD5计算中..."), 2000);
            ui->txtDecHASH->setPlainText(
                digestLayout(QCryptographicHash::hash(bytes, QCryptographicHash::Md5)));
            ui->statusBar->showMessage(tr("MD5计算完成！"), 2000);
        }
        return;
    }

    if (fileDigestHASH.isEmpty()) {
        showErrorBox(this, ErrorText::NoFileToHash);
        return;
    }
    // The tree may have moved on since the load; the digest's length says
    // which algorithm made it.
    const bool sha1 = fileDigestHASH.size() == sha1DigestSize;
    ui->statusBar->showMessage(sha1 ? tr("SHA1计算中...") : tr("MD5计算中..."), 2000);
    const QString result = digestLayout(fileDigestHASH);
    fileDigestHASH.clear();
    ui->txtDecHASH->setPlainText(result);
    ui->statusBar->showMessage(sha1 ? tr("SHA1计算完成！") : tr("MD5计算完成！"), 2000);
}

void MainWindow::on_btnFileHASH_clicked()
{
    if (fileWorker->isRunning()) {
        stopFileWorkerHASH();
        ui->btnFileHASH->setText(tr("选择文件"));
        return;
    }

    QFileDialog dialog(this);
    dialog.setWindowTitle(tr("打开文件"));
    dialog.setDirectory(QStringLiteral("."));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setViewMode(QFileDialog::Detail);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty())
        return;
    loadFileHASH(files.first());
}

void MainWindow::loadFileHASH(const QString &path)
{
    if (fileWorker->isRunning())
        stopFileWorkerHASH();
    retireFileLoadHASH();

    ui->prgFileHASH->setValue(0);
    ui->btnFileHASH->setText(tr("停止加载"));
    fileDigestHASH.clear();

    filePathHASH = path;
    fileWorker->fileName = filePathHASH;
    fileWorker->hashAlgorithm =
        currentAlg == AlgSHA1 ? QCryptographicHash::Sha1 : QCryptographicHash::Md5;
    loadEndPendingHASH = true;
    fileWorker->start(QThread::InheritPriority);
}

// Asks the worker to stop after its current chunk and waits until it has.
void MainWindow::stopFileWorkerHASH()
{
    fileWorker->requestInterruption();
    retireFileLoadHASH();
}

// Waits for the worker to end. Whatever the ended load has already queued for
// this window (progress, a digest, its end) is then stale: it is counted so
// the slots drop it. Queued calls arrive in order and each load's end comes
// last, so dropping up to that end drops exactly that load's calls.
void MainWindow::retireFileLoadHASH()
{
    fileWorker->wait();
    if (!loadEndPendingHASH)
        return;
    loadEndPendingHASH = false;
    ++staleLoadsHASH;
}

void MainWindow::fileWorkerEndedHASH()
{
    if (staleLoadsHASH > 0) {
        --staleLoadsHASH;
        return;
    }
    loadEndPendingHASH = false;
    // Ended without a digest (open or read failure): back to idle all the same.
    ui->btnFileHASH->setText(tr("选择文件"));
}

void MainWindow::prgFileHASHSet(int range)
{
    if (staleLoadsHASH > 0)
        return;
    ui->prgFileHASH->setRange(0, range);
}

void MainWindow::prgFileHASHDis(int value)
{
    if (staleLoadsHASH > 0)
        return;
    ui->prgFileHASH->setValue(value);
}

void MainWindow::prgFileHASHFinsh(QByteArray ba)
{
    if (staleLoadsHASH > 0)
        return;

    const QFileInfo info(filePathHASH);
    const QString text = tr("文件：") + filePathHASH + QLatin1Char('\n')
                         + tr("大小：") + QString::number(info.size(), 10) + tr(" 字节")
                         + QLatin1Char('\n') + tr("修改时间：")
                         + info.lastModified().toString(Qt::TextDate) + QLatin1Char('\n');
    ui->txtEncHASH->clear();
    ui->txtEncHASH->setPlainText(text);
    ui->btnFileHASH->setText(tr("选择文件"));
    fileDigestHASH = ba;
}
