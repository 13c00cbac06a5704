#include "app/mainwindow.h"
#include "ui_mainwindow.h"

void MainWindow::initHashPage() {}
void MainWindow::updateTextTypeHASH() {}
void MainWindow::on_txtEncHASH_textChanged() {}
void MainWindow::on_btnCalcHASH_clicked() {}
void MainWindow::onButtonTextTypeGroupClicked(QAbstractButton *) {}
void MainWindow::on_btnFileHASH_clicked() {}
void MainWindow::prgFileHASHSet(int) {}
void MainWindow::prgFileHASHDis(int) {}
void MainWindow::prgFileHASHFinsh(QByteArray) {}
void MainWindow::on_cboxInTxtHASH_currentIndexChanged(QString) {}
