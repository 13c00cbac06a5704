#include "app/mainwindow.h"

#include "app/dialogicons.h"
#include "app/errorbox.h"
#include "app/filedetails.h"
#include "app/readfile.h"
#include "app/regularfile.h"
#include "app/textboxes.h"
#include "codec/codec.h"
#include "ui_mainwindow.h"

#include <QButtonGroup>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDebug>
#include <QDir>
#include <QDropEvent>
#include <QFileDialog>
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

    // One worker for every load, the window's child; each load connects it
    // anew (loadFileHASH). Only a worker stuck in a read is ever replaced.
    fileWorker = new ReadFile(this);

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
// way, and only one local regular file; a folder, a pipe, a socket or a
// device is refused at the drag.
QString MainWindow::fileToDropHASH(const QMimeData *data) const
{
    if (textModeHASH || fileLoadHASH)
        return QString();
    const QList<QUrl> urls = data->urls();
    if (urls.size() != 1 || !urls.first().isLocalFile())
        return QString();
    const QString path = urls.first().toLocalFile();
    if (!RegularFile::isRegular(path))
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
    if (fileLoadHASH && fileWorker->isRunning()) {
        retireFileLoadHASH();
        ui->btnFileHASH->setText(tr("选择文件"));
        return;
    }

    // Before the dialog, which lists its remembered folder as it is built,
    // and gone after it.
    DialogIconGuard icons;
    QFileDialog dialog(this);
    icons.watch(&dialog);
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
    retireFileLoadHASH();
    if (fileWorker->isRunning())
        leaveWorkerBehindHASH();

    ui->prgFileHASH->setValue(0);
    ui->btnFileHASH->setText(tr("停止加载"));
    fileDigestHASH.clear();

    filePathHASH = path;
    fileWorker->fileName = filePathHASH;
    fileWorker->hashAlgorithm =
        currentAlg == AlgSHA1 ? QCryptographicHash::Sha1 : QCryptographicHash::Md5;

    // The load's calls go through an object of its own, and only while it is
    // the load under way: retiring the load drops whatever it has queued.
    QObject *load = new QObject(this);
    fileLoadHASH = load;
    connect(fileWorker, &ReadFile::PrgRangeSignal, load, [this, load](int range) {
        if (load == fileLoadHASH)
            prgFileHASHSet(range);
    });
    connect(fileWorker, &ReadFile::PrgValueSignal, load, [this, load](int value) {
        if (load == fileLoadHASH)
            prgFileHASHDis(value);
    });
    connect(fileWorker, &ReadFile::PrgFinshSignal, load, [this, load](const QByteArray &digest) {
        if (load == fileLoadHASH)
            prgFileHASHFinsh(digest);
    });
    // Every run ends with this one, digest or not, after all its other calls.
    connect(fileWorker, &QThread::finished, load, [this, load] {
        if (load == fileLoadHASH)
            fileWorkerEndedHASH();
    });
    fileWorker->start(QThread::InheritPriority);
}

// Ends the load under way, if any: asks the worker to stop after its chunk,
// gives it a moment to do so, and drops everything the load has queued for
// this window. A worker still in a read after that moment is not waited for
// again; the next load, or the window's end, leaves it behind
// (leaveWorkerBehindHASH).
void MainWindow::retireFileLoadHASH()
{
    if (fileLoadHASH && fileWorker->isRunning()) {
        fileWorker->requestInterruption();
        fileWorker->wait(QDeadlineTimer(stopWaitMsHASH));
    }
    if (QObject *load = std::exchange(fileLoadHASH, nullptr)) {
        fileWorker->disconnect(load);
        // Not deleted at once: this may run inside one of its calls (a message
        // box that the file's details raised). Its calls that come before it
        // is gone find it retired.
        load->deleteLater();
    }
}

// A worker that did not answer the stop within its moment waits in a read
// that may never return. It is left to end on its own and delete itself
// then; the window, or its next load, goes on without it. It holds only its
// own members, and nothing of the window is connected to it any more.
void MainWindow::leaveWorkerBehindHASH()
{
    ReadFile *stuck = std::exchange(fileWorker, nullptr);
    stuck->setParent(nullptr);
    connect(stuck, &QThread::finished, stuck, &QObject::deleteLater);
    // Ended meanwhile, before the connection was made.
    if (stuck->isFinished())
        stuck->deleteLater();
    if (!closingHASH)
        fileWorker = new ReadFile(this);
}

void MainWindow::fileWorkerEndedHASH()
{
    std::exchange(fileLoadHASH, nullptr)->deleteLater();
    // Ended without a digest (open or read failure): back to idle all the same.
    ui->btnFileHASH->setText(tr("选择文件"));
}

void MainWindow::prgFileHASHSet(int range)
{
    ui->prgFileHASH->setRange(0, range);
}

void MainWindow::prgFileHASHDis(int value)
{
    ui->prgFileHASH->setValue(value);
}

void MainWindow::prgFileHASHFinsh(QByteArray ba)
{
    // The size and time the worker found before and after its read, not what
    // the file may have become since: the details describe the digested bytes.
    const RegularFile::Facts facts = fileWorker->digestedFacts();
    // The path as the platform writes it, the time as the toolkit's text
    // date showed it in the user's language.
    const QString text = tr("文件：") + QDir::toNativeSeparators(filePathHASH) + QLatin1Char('\n') +
                         tr("大小：") + QString::number(facts.size, 10) + tr(" 字节") +
                         QLatin1Char('\n') + tr("修改时间：") + qt4TextDate(facts.modified) +
                         QLatin1Char('\n');
    ui->txtEncHASH->clear();
    ui->txtEncHASH->setPlainText(text);
    ui->btnFileHASH->setText(tr("选择文件"));
    fileDigestHASH = ba;
}
