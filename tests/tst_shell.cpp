// The window shell: the form as built, start-up state, navigation.
#include "app/mainwindow.h"
#include "support/debugcapture.h"
#include "support/messageboxanswerer.h"
#include "ui_mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QScopeGuard>
#include <QStatusBar>
#include <QStyle>
#include <QStyleFactory>
#include <QTabBar>
#include <QTest>
#include <QTextBrowser>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

class TestShell : public QObject
{
    Q_OBJECT

private slots:
    void chineseSurvivesTrAndUtf8();
    void formBeforeInitialisation();
    void formRichTextContents_data();
    void formRichTextContents();
    void formCreationOrder_data();
    void formCreationOrder();
    void startUpState();
    void statusBarAndLink();
    void menus();
    void navigation_data();
    void navigation();
    void topLevelEntryChangesNothing();
    void navigationLabelsWhole_data();
    void navigationLabelsWhole();
    void hashDescriptionsReplaceEachOther();
    void constructionIsSilent();
};

void TestShell::chineseSurvivesTrAndUtf8()
{
    const char *literal = "加解密工具：小主，我已准备就绪...";
    const QString viaTr = MainWindow::tr(literal);
    QCOMPARE(viaTr.size(), 18);
    QCOMPARE(viaTr.toUtf8(), QByteArray(literal));
    QCOMPARE(QString::fromUtf8(viaTr.toUtf8()), viaTr);
    QCOMPARE(viaTr, QStringLiteral("加解密工具：小主，我已准备就绪..."));
}

void TestShell::formBeforeInitialisation()
{
    QMainWindow bare;
    Ui_MainWindow form;
    form.setupUi(&bare);

    QCOMPARE(form.tabWidget->currentIndex(), 0);
    QCOMPARE(form.label_dis->text(), QStringLiteral("AES加解密"));
    QCOMPARE(form.treeDefence->topLevelItemCount(), 0);
    QCOMPARE(form.treeDefence->headerItem()->text(0), QStringLiteral("1"));
    for (QLabel *number :
         {form.labEncNumAES, form.labDecNumAES, form.labEncNumDES, form.labDecNumDES,
          form.labEncNumBASE64, form.labDecNumBASE64, form.labEncNumHASH})
        QVERIFY2(number->text().isEmpty(), qPrintable(number->objectName()));
    QVERIFY(form.rbtnDES->isChecked());
    QVERIFY(!form.rbtnKeyHexDES->isChecked());
    QVERIFY(!form.rbtnKeyCharDES->isChecked());
    QVERIFY(!form.rbtnTxtHASH->isChecked());
    QVERIFY(!form.rbtnFileHASH->isChecked());
    QCOMPARE(form.rbtnKeyHexDES->text(),
             QStringLiteral("以十六进制形式输入\n（如：C4E2B9F07D3A5E18）"));
    QCOMPARE(form.rbtnKeyCharDES->text(), QStringLiteral("以字符串形式输入\n（如：48201759）"));
    QCOMPARE(form.cboxInCodeDES->count(), 0);
    QCOMPARE(form.cboxCModeAES->itemText(1), QStringLiteral("十六进制"));
    QCOMPARE(form.cboxAlgAES->itemText(0),
             QStringLiteral("CBC（Cipher Block Chaining，加密块链）模式"));
    QCOMPARE(form.txtKeyAES->text(), QStringLiteral("7306158249371560"));
    QCOMPARE(form.txtKey1DES->text(), QStringLiteral("9182736455463728"));
    QCOMPARE(form.txtKey2DES->text(), QStringLiteral("C4E2B9F07D3A5E18"));
    QCOMPARE(form.txtKeyLenAES->focusPolicy(), Qt::NoFocus);
    QCOMPARE(form.prgFileHASH->value(), 24);
    QCOMPARE(form.tabWidget->tabPosition(), QTabWidget::West);
    const QStringList titles = {QStringLiteral("AES"), QStringLiteral("DES"),
                                QStringLiteral("Base64"), QStringLiteral("MD5/SHA1")};
    for (int i = 0; i < titles.size(); ++i)
        QCOMPARE(form.tabWidget->tabText(i), titles.at(i));
}

void TestShell::formRichTextContents_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("text");
    QTest::newRow("AES input") << "txtEncAES"
                               << "密码学中的高级加密标准（AdvancedEncryptionStandard，AES）。";
    QTest::newRow("DES input") << "txtEncDES"
                               << "11 22 33 44 55 66 77 88";
    QTest::newRow("DES note")
        << "textBrowser"
        << "注：绝对不能把Key的第8、16、24、36、48、56、64位作为有效数据位，而使用其它的56位作为有效数据位，才能保证DES算法安全可靠地发挥作用。";
    QTest::newRow("Base64 input")
        << "txtEncBASE64"
        << "Base64是网络上最常见的用于传输8Bit字节码的编码方式之一，Base64就是一种基于64个可打印字符来表示二进制数据的方法。";
    QTest::newRow("hash input")
        << "txtEncHASH"
        << "MD5即Message-Digest Algorithm 5（信息-摘要算法5），用于确保信息传输完整一致。是计算机广泛使用的杂凑算法之一（又译摘要算法、哈希算法），主流编程语言普遍已有MD5实现。";
}

void TestShell::formRichTextContents()
{
    QFETCH(QString, box);
    QFETCH(QString, text);
    QMainWindow bare;
    Ui_MainWindow form;
    form.setupUi(&bare);
    auto *edit = bare.findChild<QTextEdit *>(box);
    QVERIFY(edit);
    QCOMPARE(edit->toPlainText(), text);
}

void TestShell::formCreationOrder_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QStringList>("order");
    QTest::newRow("AES") << "tab" << QStringList{"btnEncAES",       "btnDecAES",     "labDecTagAES",
                                                 "labDecNumAES",    "labDecUnitAES", "label_7",
                                                 "labEncNumAES",    "label_12",      "label_5",
                                                 "cboxPaddingAES",  "label",         "txtEncAES",
                                                 "label_3",         "txtDecAES",     "label_8",
                                                 "label_2",         "label_4",       "txtKeyLenAES",
                                                 "label_10",        "label_6",       "cboxCModeAES",
                                                 "txtKeyOffsetAES", "txtKeyAES",     "cboxAlgAES"};
    QTest::newRow("DES") << "tab_2"
                         << QStringList{
                                "label_16",     "label_20",       "rbtn3DES",      "cboxOutCodeDES",
                                "txtKey2DES",   "txtKey1DES",     "cboxInCodeDES", "rbtnKeyHexDES",
                                "rbtnDES",      "rbtnKeyCharDES", "txtDecDES",     "labDecTagDES",
                                "labDecNumDES", "labDecUnitDES",  "label_19",      "label_17",
                                "label_22",     "label_18",       "txtEncDES",     "labEncTagDES",
                                "labEncNumDES", "labEncUnitDES",  "textBrowser",   "btnEncDES",
                                "btnDecDES"};
    QTest::newRow("Base64") << "tab_3" << QStringList{"label_35",        "labEncTagBASE64",
                                                      "labEncNumBASE64", "labEncUnitBASE64",
                                                      "btnEncBASE64",    "btnDecBASE64",
                                                      "label_34",        "cboxInCodeBASE64",
                                                      "txtEncBASE64",    "labDecTagBASE64",
                                                      "labDecNumBASE64", "labDecUnitBASE64",
                                                      "txtDecBASE64",    "cboxOutCodeBASE64"};
    QTest::newRow("hash") << "tab_4"
                          << QStringList{"label_11",      "rbtnTxtHASH",    "cboxInTxtHASH",
                                         "rbtnFileHASH",  "btnFileHASH",    "prgFileHASH",
                                         "txtDecHASH",    "txtEncHASH",     "labEncTagHASH",
                                         "labEncNumHASH", "labEncUnitHASH", "btnCalcHASH",
                                         "labDecTagHASH"};
}

// Creation order is also the keyboard focus order of the page.
void TestShell::formCreationOrder()
{
    QFETCH(QString, page);
    QFETCH(QStringList, order);
    QMainWindow bare;
    Ui_MainWindow form;
    form.setupUi(&bare);
    auto *tab = bare.findChild<QWidget *>(page);
    QVERIFY(tab);
    QStringList created;
    for (QWidget *child : tab->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        created << child->objectName();
    QCOMPARE(created, order);
}

void TestShell::startUpState()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QCOMPARE(window.windowTitle(), QStringLiteral("加解密工具"));
    QCOMPARE(window.size(), QSize(800, 600));
    QCOMPARE(window.minimumSize(), QSize(800, 600));
    QCOMPARE(window.maximumSize(), QSize(800, 600));
    QCOMPARE(window.currentAlgorithm(), 0);

    auto *label = window.findChild<QLabel *>(QStringLiteral("label_dis"));
    QCOMPARE(label->text(), QStringLiteral("AES加解密"));

    auto *tabs = window.findChild<QTabWidget *>(QStringLiteral("tabWidget"));
    QCOMPARE(tabs->currentIndex(), 0);
    for (int i = 0; i < tabs->count(); ++i) {
        tabs->setCurrentIndex(i);
        QVERIFY2(!tabs->tabBar()->isVisible(), qPrintable(QString::number(i)));
    }

    auto *tree = window.findChild<QTreeWidget *>(QStringLiteral("treeDefence"));
    QVERIFY(tree->isHeaderHidden());
    QCOMPARE(tree->columnCount(), 1);
    QCOMPARE(tree->editTriggers(), QAbstractItemView::NoEditTriggers);
    const QList<QPair<QString, QStringList>> expected = {
        {QStringLiteral("加密/解密算法"),
         {QStringLiteral("AES加解密"), QStringLiteral("3DES加解密")}},
        {QStringLiteral("散列/哈希算法"), {QStringLiteral("MD5校验"), QStringLiteral("SHA1加密")}},
        {QStringLiteral("Base64算法"), {QStringLiteral("Base64编解码")}},
    };
    QCOMPARE(tree->topLevelItemCount(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        QTreeWidgetItem *group = tree->topLevelItem(i);
        QCOMPARE(group->text(0), expected.at(i).first);
        QVERIFY(group->isExpanded());
        QCOMPARE(group->childCount(), expected.at(i).second.size());
        for (int j = 0; j < group->childCount(); ++j) {
            QCOMPARE(group->child(j)->text(0), expected.at(i).second.at(j));
            QCOMPARE(group->child(j)->type(), int(QTreeWidgetItem::Type));
        }
    }

    // A double click must not start editing an entry.
    QTreeWidgetItem *entry = tree->topLevelItem(0)->child(0);
    const QRect rect = tree->visualItemRect(entry);
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, rect.center());
    QVERIFY(!tree->findChild<QLineEdit *>());
}

void TestShell::statusBarAndLink()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QStatusBar *bar = window.statusBar();

    QList<QLabel *> labels;
    for (QLabel *l : bar->findChildren<QLabel *>()) {
        if (l->isVisible())
            labels << l;
    }
    std::sort(labels.begin(), labels.end(), [](QLabel *a, QLabel *b) { return a->x() < b->x(); });
    QStringList texts;
    for (QLabel *l : labels)
        texts << l->text();
    QCOMPARE(texts.size(), 4);
    QCOMPARE(texts.mid(0, 3),
             (QStringList{QStringLiteral("企鹅企鹅"), QStringLiteral("小主，我已准备就绪..."),
                          QStringLiteral("企鹅企鹅")}));
    QLabel *link = labels.last();
    QVERIFY(link->openExternalLinks());
    QCOMPARE(link->frameStyle(), 0);
    QCOMPARE(
        link->text(),
        QStringLiteral("<a href=\"%1\">我的故乡</a>").arg(QLatin1String(MainWindow::homePageUrl)));
    QVERIFY(link->x() + link->width() > window.width() - 40); // at the far right

    // A transient message hides the three left labels but not the link.
    bar->showMessage(QStringLiteral("加密中..."), 2000);
    QApplication::processEvents();
    for (int i = 0; i < 3; ++i)
        QVERIFY(!labels.at(i)->isVisible());
    QVERIFY(link->isVisible());
}

void TestShell::menus()
{
    MainWindow window;
    QMenuBar *bar = window.menuBar();
    QStringList titles;
    QStringList names;
    for (QAction *a : bar->actions()) {
        titles << a->text();
        names << a->menu()->objectName();
    }
    QCOMPARE(names, (QStringList{"menu", "menu_3", "menu_2"}));
    QCOMPARE(titles,
             (QStringList{QStringLiteral("文件"), QStringLiteral("测试"), QStringLiteral("帮助")}));
    QVERIFY(bar->actions().at(0)->menu()->actions().isEmpty());
    QVERIFY(bar->actions().at(1)->menu()->actions().isEmpty());
    const QList<QAction *> help = bar->actions().at(2)->menu()->actions();
    QCOMPARE(help.size(), 1);
    QCOMPARE(help.first()->text(), QStringLiteral("联系作者"));
    QCOMPARE(help.first()->objectName(), QStringLiteral("action"));

    // Choosing it does nothing: no box, no page change, no status message.
    MessageBoxAnswerer boxes;
    help.first()->trigger();
    QApplication::processEvents();
    QVERIFY2(boxes.takeNone(), qPrintable(boxes.lastReport()));
    QCOMPARE(window.findChild<QTabWidget *>(QStringLiteral("tabWidget"))->currentIndex(), 0);
    QVERIFY(window.statusBar()->currentMessage().isEmpty());
}

static QTreeWidgetItem *entryNamed(QTreeWidget *tree, const QString &text)
{
    const auto items = tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    return items.isEmpty() ? nullptr : items.first();
}

static const char *md5Description =
    "MD5即Message-Digest Algorithm 5（信息-摘要算法5），用于确保信息传输完整一致。是计算机广泛使用的杂凑算法之一（又译摘要算法、哈希算法），主流编程语言普遍已有MD5实现。";
static const char *sha1Description =
    "安全哈希算法（Secure Hash Algorithm）主要适用于数字签名标准 （Digital Signature Standard DSS）里面定义的数字签名算法（Digital Signature Algorithm DSA）。";

void TestShell::navigation_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<int>("page");
    QTest::addColumn<int>("algorithm");
    QTest::addColumn<QString>("hashText"); // empty: the box keeps what the user typed
    QTest::newRow("AES") << "AES加解密" << 0 << 0 << QString();
    QTest::newRow("3DES lands on DES") << "3DES加解密" << 1 << 1 << QString();
    QTest::newRow("MD5") << "MD5校验" << 3 << 3 << QString::fromUtf8(md5Description);
    QTest::newRow("SHA1") << "SHA1加密" << 3 << 4 << QString::fromUtf8(sha1Description);
    QTest::newRow("Base64") << "Base64编解码" << 2 << 2 << QString();
}

void TestShell::navigation()
{
    QFETCH(QString, entry);
    QFETCH(int, page);
    QFETCH(int, algorithm);
    QFETCH(QString, hashText);

    MainWindow window;
    auto *tree = window.findChild<QTreeWidget *>(QStringLiteral("treeDefence"));
    auto *tabs = window.findChild<QTabWidget *>(QStringLiteral("tabWidget"));
    auto *hashBox = window.findChild<QTextEdit *>(QStringLiteral("txtEncHASH"));
    // Start away from the target so that every field visibly changes.
    tree->setCurrentItem(
        entryNamed(tree, page == 2 ? QStringLiteral("AES加解密") : QStringLiteral("Base64编解码")));
    hashBox->setPlainText(QStringLiteral("typed by the user"));

    tree->setCurrentItem(entryNamed(tree, entry));
    QCOMPARE(tabs->currentIndex(), page);
    QCOMPARE(window.findChild<QLabel *>(QStringLiteral("label_dis"))->text(), entry);
    QCOMPARE(window.currentAlgorithm(), algorithm);
    QCOMPARE(hashBox->toPlainText(),
             hashText.isEmpty() ? QStringLiteral("typed by the user") : hashText);
}

void TestShell::topLevelEntryChangesNothing()
{
    MainWindow window;
    auto *tree = window.findChild<QTreeWidget *>(QStringLiteral("treeDefence"));
    auto *hashBox = window.findChild<QTextEdit *>(QStringLiteral("txtEncHASH"));
    tree->setCurrentItem(entryNamed(tree, QStringLiteral("SHA1加密")));
    hashBox->setPlainText(QStringLiteral("kept"));

    for (const QString &group : {QStringLiteral("散列/哈希算法"), QStringLiteral("加密/解密算法"),
                                 QStringLiteral("Base64算法")}) {
        tree->setCurrentItem(entryNamed(tree, group));
        QCOMPARE(window.findChild<QTabWidget *>(QStringLiteral("tabWidget"))->currentIndex(), 3);
        QCOMPARE(window.findChild<QLabel *>(QStringLiteral("label_dis"))->text(),
                 QStringLiteral("SHA1加密"));
        QCOMPARE(window.currentAlgorithm(), 4);
        QCOMPARE(hashBox->toPlainText(), QStringLiteral("kept"));
    }
}

// However the style and the fonts share the window's width out, every label
// of the tree fits beside its indentation, within the item's text margins:
// in every style this Qt has (on Windows, the native one is the one that
// squeezed the tree).
void TestShell::navigationLabelsWhole_data()
{
    QTest::addColumn<QString>("style");
    for (const QString &key : QStyleFactory::keys())
        QTest::newRow(qPrintable(key)) << key;
}

void TestShell::navigationLabelsWhole()
{
    QFETCH(QString, style);
    const QString previousName = QApplication::style()->name();
    QApplication::setStyle(style);
    const auto restore = qScopeGuard([&] { QApplication::setStyle(previousName); });
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *tree = window.findChild<QTreeWidget *>(QStringLiteral("treeDefence"));
    const int margins =
        2 * (tree->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, tree) + 1);
    int labels = 0;
    for (QTreeWidgetItemIterator it(tree); *it; ++it, ++labels) {
        const QString label = (*it)->text(0);
        const int needed = tree->visualItemRect(*it).left() +
                           tree->fontMetrics().horizontalAdvance(label) + margins;
        QVERIFY2(needed <= tree->viewport()->width(),
                 qPrintable(QStringLiteral("%1 needs %2 px of %3")
                                .arg(label)
                                .arg(needed)
                                .arg(tree->viewport()->width())));
    }
    QCOMPARE(labels, 8);
}

void TestShell::hashDescriptionsReplaceEachOther()
{
    MainWindow window;
    auto *tree = window.findChild<QTreeWidget *>(QStringLiteral("treeDefence"));
    auto *hashBox = window.findChild<QTextEdit *>(QStringLiteral("txtEncHASH"));
    tree->setCurrentItem(entryNamed(tree, QStringLiteral("MD5校验")));
    QCOMPARE(window.currentAlgorithm(), 3);
    QCOMPARE(hashBox->toPlainText(), QString::fromUtf8(md5Description));
    tree->setCurrentItem(entryNamed(tree, QStringLiteral("SHA1加密")));
    QCOMPARE(window.currentAlgorithm(), 4);
    QCOMPARE(window.findChild<QTabWidget *>(QStringLiteral("tabWidget"))->currentIndex(), 3);
    QCOMPARE(hashBox->toPlainText(), QString::fromUtf8(sha1Description));
    // Each choice of MD5 writes its description again over the user's text.
    hashBox->setPlainText(QStringLiteral("abc"));
    tree->setCurrentItem(entryNamed(tree, QStringLiteral("MD5校验")));
    QCOMPARE(hashBox->toPlainText(), QString::fromUtf8(md5Description));
}

void TestShell::constructionIsSilent()
{
    DebugCapture capture;
    {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QApplication::processEvents();
    }
    QVERIFY2(capture.warnings().isEmpty(), qPrintable(capture.warnings().join(QLatin1Char('\n'))));
}

QTEST_MAIN(TestShell)
#include "tst_shell.moc"
