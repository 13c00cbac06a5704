#include "app/mainwindow.h"
#include "ui_mainwindow.h"
const char *const MainWindow::homePageUrl = "https://example.invalid";
MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), ui(new Ui_MainWindow), currentAlg(0) { ui->setupUi(this); }
MainWindow::~MainWindow() { delete ui; }
void MainWindow::on_txtEncAES_textChanged() {}
void MainWindow::on_txtDecAES_textChanged() {}
void MainWindow::on_txtKeyAES_textChanged() {}
void MainWindow::on_btnEncAES_clicked() {}
void MainWindow::on_btnDecAES_clicked() {}
void MainWindow::on_treeDefence_currentItemChanged(QTreeWidgetItem *, QTreeWidgetItem *) {}
void MainWindow::on_txtEncDES_textChanged() {}
void MainWindow::on_txtDecDES_textChanged() {}
void MainWindow::on_btnEncDES_clicked() {}
void MainWindow::on_btnDecDES_clicked() {}
void MainWindow::onButtonAlgGroupClicked(QAbstractButton *) {}
void MainWindow::onButtonkeyGroupClicked(QAbstractButton *) {}
void MainWindow::on_txtKey1DES_textChanged(const QString &) {}
void MainWindow::on_txtKey2DES_textChanged(const QString &) {}
void MainWindow::on_txtEncBASE64_textChanged() {}
void MainWindow::on_txtDecBASE64_textChanged() {}
void MainWindow::on_btnEncBASE64_clicked() {}
void MainWindow::on_btnDecBASE64_clicked() {}
void MainWindow::on_txtEncHASH_textChanged() {}
void MainWindow::on_btnCalcHASH_clicked() {}
void MainWindow::onButtonTextTypeGroupClicked(QAbstractButton *) {}
void MainWindow::on_btnFileHASH_clicked() {}
void MainWindow::prgFileHASHSet(int) {}
void MainWindow::prgFileHASHDis(int) {}
void MainWindow::prgFileHASHFinsh(QByteArray) {}
