#include "app/mainwindow.h"

#include "app/errorbox.h"
#include "app/filedetails.h"
#include "app/readfile.h"
#include "app/textboxes.h"
#include "codec/codec.h"
#include "ui_mainwindow.h"

#include <QButtonGroup>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QMimeData>
#include <QStatusBar>
#include <QUrl>

#include <functional>
#include <utility>

static const int md5DigestSize = 16;
static const int sha1DigestSize = 20;

// A digest as the result box shows it. The layout follows the digest's own
// length, so a file digest keeps the label of the algorithm that made it.
static QString digestText(const QByteArray &digest)
{
    const QString hex = bytesToHexStr(digest, 16, false, QLatin1Char(' '));
    if (digest.size() == sha1DigestSize)
        return QStringLiteral("SHA1：") + hex;
    return QStringLiteral("16位 MD5：") + hex.mid(8, 16) + QLatin1Char('\n') +
           QStringLiteral("32位 MD5：") + hex;
}

namespace {

// Takes the drags that carry URLs over the widgets it watches: `fileToLoad`
// names the file a drag would load, or nothing when it is refused, and a
// refused drag is not accepted (the cursor says so). Drags of plain text are
// left to the widgets, so a text box inserts them as Qt does.
class FileDropFilter : public QObject
{
public:
    FileDropFilter(QObject *parent, std::function<QString(const QMimeData *)> fileToLoad,
                   std::function<void(const QString &)> load)
        : QObject(parent), fileToLoad(std::move(fileToLoad)), load(std::move(load))
    {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::DragEnter && event->type() != QEvent::DragMove &&
            event->type() != QEvent::Drop)
            return QObject::eventFilter(watched, event);
        auto *drop = static_cast<QDropEvent *>(event);
        if (!drop->mimeData() || !drop->mimeData()->hasUrls())
            return false;
        const QString path = fileToLoad(drop->mimeData());
        if (path.isEmpty()) {
            drop->ignore();
            return true;
        }
        drop->acceptProposedAction();
        if (event->type() == QEvent::Drop)
            load(path);
        return true;
    }

private:
    std::function<QString(const QMimeData *)> fileToLoad;
    std::function<void(const QString &)> load;
};

} // namespace

void MainWindow::initHashPage()
{
    initRadioGroup(textTypeGroupHASH, ui->rbtnTxtHASH, ui->rbtnFileHASH, ui->label_11,
                   &MainWindow::updateTextTypeHASH, &MainWindow::onButtonTextTypeGroupClicked);

    encInputHASH.fillCodes(false);

    on_txtEncHASH_textChanged();

    ui->txtDecHASH->setReadOnly(true);

    // One worker for every load, the window's child: the destructor stops it
    // and waits for it, so that it is finished when Qt deletes it with the
    // window's other children.
    fileWorker = new ReadFile(this);
    connect(fileWorker, &ReadFile::PrgRangeSignal, this, &MainWindow::prgFileHASHSet);
    connect(fileWorker, &ReadFile::PrgValueSignal, this, &MainWindow::prgFileHASHDis);
    connect(fileWorker, &ReadFile::PrgFinshSignal, this, &MainWindow::prgFileHASHFinsh);
    // Every run ends with this one, digest or not, after all its other calls.
    connect(fileWorker, &QThread::finished, this, &MainWindow::fileWorkerEndedHASH);

    fileDigestHASH.clear();

    // A file dropped from a file manager loads as if chosen in the dialog.
    // The input box is watched too, or in text mode it would take the URL
    // as text.
    auto *drops = new FileDropFilter(
        this, [this](const QMimeData *data) { return fileToDropHASH(data); },
        [this](const QString &path) { loadFileHASH(path); });
    ui->tab_4->setAcceptDrops(true);
    ui->tab_4->installEventFilter(drops);
    ui->txtEncHASH->viewport()->installEventFilter(drops);
}

// The file a drop onto the page loads: only in file mode, with no load under
// way, and only one local file that is not a folder.
QString MainWindow::fileToDropHASH(const QMimeData *data) const
{
    if (textModeHASH || loadEndPendingHASH || fileWorker->isRunning())
        return QString();
    const QList<QUrl> urls = data->urls();
    if (urls.size() != 1 || !urls.first().isLocalFile())
        return QString();
    const QString path = urls.first().toLocalFile();
    const QFileInfo info(path);
    if (!info.exists() || info.isDir())
        return QString();
    return path;
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
    encInputHASH.textChanged();
}

void MainWindow::on_cboxInTxtHASH_currentIndexChanged(QString arg1)
{
    encInputHASH.codeChanged(arg1);
}

void MainWindow::on_btnCalcHASH_clicked()
{
    if (textModeHASH) {
        const QString text = ui->txtEncHASH->toPlainText();
        if (text.isEmpty()) {
            showErrorBox(this, ErrorText::NothingToHash);
            return;
        }
        const QByteArray bytes = encInputHASH.bytes(text);
        const bool sha1 = currentAlg == AlgSHA1;
        const Operation operation = sha1 ? Operation::HashSHA1 : Operation::HashMD5;
        showRunning(operation);
        ui->txtDecHASH->setPlainText(digestText(QCryptographicHash::hash(
            bytes, sha1 ? QCryptographicHash::Sha1 : QCryptographicHash::Md5)));
        showDone(operation);
        return;
    }

    if (fileDigestHASH.isEmpty()) {
        showErrorBox(this, ErrorText::NoFileToHash);
        return;
    }
    // The tree may have moved on since the load; the digest's length says
    // which algorithm made it.
    const Operation operation =
        fileDigestHASH.size() == sha1DigestSize ? Operation::HashSHA1 : Operation::HashMD5;
    showRunning(operation);
    const QString result = digestText(fileDigestHASH);
    fileDigestHASH.clear();
    ui->txtDecHASH->setPlainText(result);
    showDone(operation);
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
    // The process's current folder, as an absolute path: the native dialog
    // does not resolve "." and would open elsewhere.
    dialog.setDirectory(QDir::currentPath());
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
    // The path as the platform writes it, the time as the toolkit's text
    // date showed it in the user's language.
    const QString text = tr("文件：") + QDir::toNativeSeparators(filePathHASH) + QLatin1Char('\n') +
                         tr("大小：") + QString::number(info.size(), 10) + tr(" 字节") +
                         QLatin1Char('\n') + tr("修改时间：") + qt4TextDate(info.lastModified()) +
                         QLatin1Char('\n');
    ui->txtEncHASH->clear();
    ui->txtEncHASH->setPlainText(text);
    ui->btnFileHASH->setText(tr("选择文件"));
    fileDigestHASH = ba;
}
