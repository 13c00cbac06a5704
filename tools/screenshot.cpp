// Renders the real window to PNG files for the README:
//   cipherbench-screenshot OUTPUT_DIR
// Run it with QT_QPA_PLATFORM=offscreen; a CJK font must be installed.
#include "app/appicon.h"
#include "app/mainwindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QThread>
#include <QTreeWidget>
#include <QTreeWidgetItem>

static void choose(MainWindow &window, const QString &entry)
{
    auto *tree = window.findChild<QTreeWidget *>(QStringLiteral("treeDefence"));
    const auto items = tree->findItems(entry, Qt::MatchExactly | Qt::MatchRecursive);
    if (!items.isEmpty())
        tree->setCurrentItem(items.first());
}

static void press(MainWindow &window, const char *name)
{
    if (auto *button = window.findChild<QPushButton *>(QLatin1String(name)))
        button->click();
}

static bool save(MainWindow &window, const QDir &dir, const QString &file)
{
    QApplication::processEvents();
    const QPixmap shot = window.grab();
    return shot.save(dir.filePath(file));
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    app.setWindowIcon(applicationIcon());
    if (argc < 2) {
        qWarning("usage: cipherbench-screenshot OUTPUT_DIR");
        return 2;
    }
    QDir dir(QString::fromLocal8Bit(argv[1]));
    dir.mkpath(QStringLiteral("."));

    MainWindow window;
    window.show();
    bool ok = true;

    choose(window, QStringLiteral("AES加解密"));
    press(window, "btnEncAES");
    ok &= save(window, dir, QStringLiteral("aes.png"));

    choose(window, QStringLiteral("3DES加解密"));
    press(window, "btnEncDES");
    ok &= save(window, dir, QStringLiteral("des.png"));

    choose(window, QStringLiteral("Base64编解码"));
    press(window, "btnEncBASE64");
    ok &= save(window, dir, QStringLiteral("base64.png"));

    choose(window, QStringLiteral("MD5校验"));
    press(window, "btnCalcHASH");
    ok &= save(window, dir, QStringLiteral("hash.png"));

    // The hash page while a file loads: a large sparse file keeps the worker
    // busy long enough to catch the bar part-way.
    QTemporaryDir scratch;
    const QString path = scratch.filePath(QStringLiteral("debian-12-amd64-netinst.iso"));
    QFile big(path);
    if (big.open(QIODevice::WriteOnly) && big.resize(qint64(1) << 30)) {
        big.close();
        window.findChild<QRadioButton *>(QStringLiteral("rbtnFileHASH"))->click();
        window.loadFileHASH(path);
        auto *bar = window.findChild<QProgressBar *>(QStringLiteral("prgFileHASH"));
        QElapsedTimer waited;
        waited.start();
        while (bar->value() < bar->maximum() * 0.37 && waited.elapsed() < 60000) {
            QApplication::processEvents();
            QThread::msleep(5);
        }
        ok &= save(window, dir, QStringLiteral("hash-loading.png"));
        press(window, "btnFileHASH"); // stop the load before the file goes away
    } else {
        ok = false;
    }

    return ok ? 0 : 1;
}
