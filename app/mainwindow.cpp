#include "app/mainwindow.h"

#include "app/errorbox.h"
#include "app/readfile.h"
#include "app/screenfit.h"
#include "app/textboxes.h"
#include "ui_mainwindow.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QShowEvent>
#include <QStatusBar>
#include <QTabBar>
#include <QTreeWidget>
#include <QTreeWidgetItem>
#include <QWindow>

namespace {

struct StatusPair
{
    const char *running;
    const char *done;
};

// Indexed by MainWindow::Operation.
const StatusPair statusPairs[] = {
    {QT_TRANSLATE_NOOP("MainWindow", "加密中..."), QT_TRANSLATE_NOOP("MainWindow", "加密完成！")},
    {QT_TRANSLATE_NOOP("MainWindow", "解密中..."), QT_TRANSLATE_NOOP("MainWindow", "解密完成！")},
    {QT_TRANSLATE_NOOP("MainWindow", "base64编码中..."),
     QT_TRANSLATE_NOOP("MainWindow", "base64编码完成！")},
    {QT_TRANSLATE_NOOP("MainWindow", "base64解码中..."),
     QT_TRANSLATE_NOOP("MainWindow", "base64解码完成！")},
    {QT_TRANSLATE_NOOP("MainWindow", "MD5计算中..."),
     QT_TRANSLATE_NOOP("MainWindow", "MD5计算完成！")},
    {QT_TRANSLATE_NOOP("MainWindow", "SHA1计算中..."),
     QT_TRANSLATE_NOOP("MainWindow", "SHA1计算完成！")},
};

constexpr int statusTimeoutMs = 2000;

// The window's size as designed, in logical pixels.
constexpr QSize designedSize(800, 600);

QByteArray qtUtf8(const QString &text)
{
    return text.toUtf8();
}

} // namespace

const char *const MainWindow::homePageUrl = "https://github.com/cipherbench/cipherbench";

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent), ui(new Ui_MainWindow), currentAlg(AlgAES)
{
    ui->setupUi(this);
    initCounterRows();
    // Before the page initialisers: their combo fills must already run the slots.
    connectComboSlots();
    for (QTextEdit *box : {ui->txtEncAES, ui->txtDecAES, ui->txtEncDES, ui->txtDecDES,
                           ui->txtEncBASE64, ui->txtDecBASE64, ui->txtEncHASH, ui->txtDecHASH})
        prepareTextBox(box);
    initMainWindow();
    initAESPage();
    initDESPage();
    initBase64Page();
    initHashPage();
    initScreenFit();
}

MainWindow::~MainWindow()
{
    // A load in progress must not report to a window that is gone; a worker
    // stuck in a read is not waited for, but left to end on its own.
    closingHASH = true;
    retireFileLoadHASH();
    if (fileWorker->isRunning())
        leaveWorkerBehindHASH();
    delete ui;
    fileDigestHASH.clear();
    filePathHASH.clear();
    algIndexByName.clear();
}

void MainWindow::initCounterRows()
{
    Ui_MainWindow &f = *ui;
    encRowAES = {f.txtEncAES, f.label_7, f.labEncNumAES, f.label_12,
                 QT_TR_NOOP("待加解密字符串：")};
    decRowAES = {f.txtDecAES,
                 f.labDecTagAES,
                 f.labDecNumAES,
                 f.labDecUnitAES,
                 QT_TR_NOOP("解密字符串："),
                 QT_TR_NOOP("解密十六进制：")};
    encInputDES = {this,
                   f.txtEncDES,
                   f.cboxInCodeDES,
                   {f.txtEncDES, f.labEncTagDES, f.labEncNumDES, f.labEncUnitDES,
                    QT_TR_NOOP("待加解密字符串："), QT_TR_NOOP("待加解密十六进制：")},
                   &inCodeHexDES,
                   &hexErrorShownDES,
                   &MainWindow::utf8BytesDES};
    decRowDES = {f.txtDecDES,
                 f.labDecTagDES,
                 f.labDecNumDES,
                 f.labDecUnitDES,
                 QT_TR_NOOP("解密字符串："),
                 QT_TR_NOOP("解密十六进制：")};
    encInputBASE64 = {this,
                      f.txtEncBASE64,
                      f.cboxInCodeBASE64,
                      {f.txtEncBASE64, f.labEncTagBASE64, f.labEncNumBASE64, f.labEncUnitBASE64,
                       QT_TR_NOOP("待编解码字符串："), QT_TR_NOOP("待编解码十六进制：")},
                      &inCodeHexBASE64,
                      &hexErrorShownBASE64,
                      qtUtf8};
    decRowBASE64 = {f.txtDecBASE64,     f.labDecTagBASE64,          f.labDecNumBASE64,
                    f.labDecUnitBASE64, QT_TR_NOOP("解码字符串："), QT_TR_NOOP("解码十六进制：")};
    encInputHASH = {this,
                    f.txtEncHASH,
                    f.cboxInTxtHASH,
                    {f.txtEncHASH, f.labEncTagHASH, f.labEncNumHASH, f.labEncUnitHASH,
                     QT_TR_NOOP("待校验字符串："), QT_TR_NOOP("待校验十六进制：")},
                    &inCodeHexHASH,
                    &hexErrorShownHASH,
                    qtUtf8};
}

// Two radio buttons as one exclusive group, the first checked and the page
// brought in line (which reads the group's member) before clicks are
// connected. Radio buttons speak their own text; the group's caption
// describes them.
void MainWindow::initRadioGroup(QButtonGroup *&group, QAbstractButton *first,
                                QAbstractButton *second, const QLabel *caption,
                                void (MainWindow::*update)(),
                                void (MainWindow::*clicked)(QAbstractButton *))
{
    group = new QButtonGroup(this);
    group->addButton(first);
    group->addButton(second);
    first->setChecked(true);
    (this->*update)();
    connect(group, &QButtonGroup::buttonClicked, this, clicked);
    for (QAbstractButton *button : group->buttons())
        button->setAccessibleDescription(caption->text());
}

void MainWindow::showRunning(Operation operation)
{
    showStatus(statusPairs[int(operation)].running);
}

void MainWindow::showDone(Operation operation)
{
    showStatus(statusPairs[int(operation)].done);
}

void MainWindow::showStatus(const char *sourceText)
{
    ui->statusBar->showMessage(tr(sourceText), statusTimeoutMs);
}

void MainWindow::connectComboSlots()
{
    const auto wire = [this](QComboBox *combo, void (MainWindow::*slot)(QString)) {
        connect(combo, &QComboBox::currentIndexChanged, this,
                [this, combo, slot](int index) { (this->*slot)(combo->itemText(index)); });
    };
    wire(ui->cboxCModeAES, &MainWindow::on_cboxCModeAES_currentIndexChanged);
    wire(ui->cboxInCodeDES, &MainWindow::on_cboxInCodeDES_currentIndexChanged);
    wire(ui->cboxOutCodeDES, &MainWindow::on_cboxOutCodeDES_currentIndexChanged);
    wire(ui->cboxInCodeBASE64, &MainWindow::on_cboxInCodeBASE64_currentIndexChanged);
    wire(ui->cboxOutCodeBASE64, &MainWindow::on_cboxOutCodeBASE64_currentIndexChanged);
    wire(ui->cboxInTxtHASH, &MainWindow::on_cboxInTxtHASH_currentIndexChanged);
}

void MainWindow::initMainWindow()
{
    initNavigationTree();

    // The tree is the only way between pages.
    const QList<QTabBar *> bars = ui->tabWidget->findChildren<QTabBar *>();
    if (!bars.isEmpty())
        bars.first()->hide();

    ui->label_dis->setText(tr("AES加解密"));
    ui->tabWidget->setCurrentIndex(0);

    initStatusBar();
    setFixedSize(designedSize);
    initAlgorithmIndex();
}

void MainWindow::initNavigationTree()
{
    QTreeWidget *tree = ui->treeDefence;
    tree->setColumnCount(1);
    tree->setColumnWidth(0, 20);
    tree->setHeaderHidden(true);
    tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree->clear();
    const struct
    {
        const char *group;
        QStringList entries;
    } navigation[] = {
        {"加密/解密算法", {QStringLiteral("AES加解密"), QStringLiteral("3DES加解密")}},
        {"散列/哈希算法", {QStringLiteral("MD5校验"), QStringLiteral("SHA1加密")}},
        {"Base64算法", {QStringLiteral("Base64编解码")}},
    };
    for (const auto &node : navigation) {
        auto *group = new QTreeWidgetItem(tree, QStringList(QString::fromUtf8(node.group)));
        for (const QString &entry : node.entries)
            new QTreeWidgetItem(group, QStringList(entry));
    }
    tree->expandAll();
    // Every label stays whole, whatever room the style and the fonts leave
    // beside the pages: the Windows style's page hints would squeeze the
    // tree to a stub.
    // (The column's hint, indentation included, is public as a view's.)
    tree->ensurePolished();
    const QAbstractItemView *view = tree;
    tree->setMinimumWidth(view->sizeHintForColumn(0) + 2 * tree->frameWidth());
    // A tree view takes no name from its buddy; it is named by the caption all the same.
    tree->setAccessibleName(ui->label_9->text());
}

// The three labels, then the link home at the right end.
void MainWindow::initStatusBar()
{
    QStatusBar *bar = ui->statusBar;
    bar->addWidget(new QLabel(QStringLiteral("小主，我已准备就绪..."), this), 0);
    bar->addWidget(new QLabel(QStringLiteral("企鹅企鹅"), this), 0);
    bar->insertWidget(0, new QLabel(QStringLiteral("企鹅企鹅"), this), 0);

    auto *link = new QLabel(this);
    link->setFrameStyle(0);
    link->setText(tr("<a href=\"%1\">我的故乡</a>").arg(QString::fromLatin1(homePageUrl)));
    link->setOpenExternalLinks(true);
    bar->addPermanentWidget(link, 0);
}

// What keeps every page whole at the display scale the window meets
// (screenfit.h); the sizes themselves are taken when it is shown.
void MainWindow::initScreenFit()
{
    for (QComboBox *combo : ui->tabWidget->findChildren<QComboBox *>())
        refreshComboMinimum(combo);
    for (QLineEdit *edit : ui->tabWidget->findChildren<QLineEdit *>()) {
        if (!edit->text().isEmpty())
            wholeLineEdits.append({edit, edit->text()});
    }
    // A taller note may ask for more than a window already fitted gives.
    new NoteHeight(ui->textBrowser, [this] {
        if (isVisible())
            fitToScreen();
    });
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    // A window restored from the task bar is where it was left.
    if (event->spontaneous())
        return;
    fitToScreen();
    if (!screenWatched && windowHandle()) {
        screenWatched = true;
        connect(windowHandle(), &QWindow::screenChanged, this, &MainWindow::fitToScreen);
    }
}

// The designed size where the screen's work area holds it, else the size
// the area leaves (the text boxes give up their height first), never less
// than what shows every page whole; and the title bar inside the work area.
// A window too tall for the area could not be dragged up far enough to show
// its bottom, since its title bar cannot leave the screen, so it is made
// smaller rather than left to be moved.
void MainWindow::fitToScreen()
{
    const QScreen *screen = this->screen();
    if (!screen)
        return;
    for (const auto &[edit, text] : std::as_const(wholeLineEdits))
        edit->setMinimumWidth(lineEditWidthFor(edit, text));

    const QRect area = screen->availableGeometry();
    const QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    const int room = designedSize.boundedTo(area.size().shrunkBy(frame)).width();
    // The IV hint keeps its one line wherever the AES page has room for it.
    ui->label_10->setWordWrap(false);
    settleLayouts(ui->label_10);
    if (minimumSizeHint().width() > room) {
        ui->label_10->setWordWrap(true);
        settleLayouts(ui->label_10);
    }
    const QSize fitted = fittedWindowSize(designedSize, minimumSizeHint(), area, frame);
    if (fitted != size() || fitted != minimumSize() || fitted != maximumSize())
        setFixedSize(fitted);

    const QRect outer(frameGeometry().topLeft(), size().grownBy(frame));
    const QPoint to = reachableFramePosition(outer, area);
    if (to != outer.topLeft())
        move(to);
}

void MainWindow::initAlgorithmIndex()
{
    algIndexByName.insert(QStringLiteral("AES"), AlgAES);
    algIndexByName.insert(QStringLiteral("DES"), AlgDES);
    algIndexByName.insert(QStringLiteral("Base64"), AlgBase64);
    algIndexByName.insert(QStringLiteral("MD5"), AlgMD5);
    algIndexByName.insert(QStringLiteral("SHA1"), AlgSHA1);
}

void MainWindow::on_treeDefence_currentItemChanged(QTreeWidgetItem *current,
                                                   QTreeWidgetItem *previous)
{
    Q_UNUSED(previous);
    if (!current || !current->parent())
        return;

    const QString entry = current->text(0);
    const int pages = ui->tabWidget->count();
    // First match in page order, then part order: "3DES加解密" holds no "AES"
    // and so reaches the DES page.
    for (int i = 0; i < pages; ++i) {
        const QStringList parts =
            ui->tabWidget->tabText(i).split(QLatin1Char('/'), Qt::KeepEmptyParts);
        for (const QString &part : parts) {
            if (!entry.contains(part))
                continue;
            ui->label_dis->setText(entry);
            ui->tabWidget->setCurrentIndex(i);
            currentAlg = algIndexByName[part];
            if (currentAlg == AlgMD5) {
                ui->txtEncHASH->setPlainText(tr(
                    "MD5即Message-Digest Algorithm 5（信息-摘要算法5），用于确保信息传输完整一致。是计算机广泛使用的杂凑算法之一（又译摘要算法、哈希算法），主流编程语言普遍已有MD5实现。"));
            } else if (currentAlg == AlgSHA1) {
                ui->txtEncHASH->setPlainText(tr(
                    "安全哈希算法（Secure Hash Algorithm）主要适用于数字签名标准 （Digital Signature Standard DSS）里面定义的数字签名算法（Digital Signature Algorithm DSA）。"));
            }
            return;
        }
    }
}
