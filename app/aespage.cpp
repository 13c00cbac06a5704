#include "app/mainwindow.h"
#include "ui_mainwindow.h"

void MainWindow::initAESPage() {}
int MainWindow::keyLengthAES() { return 0; }
void MainWindow::on_txtEncAES_textChanged() {}
void MainWindow::on_txtDecAES_textChanged() {}
void MainWindow::on_txtKeyAES_textChanged() {}
void MainWindow::on_btnEncAES_clicked() {}
void MainWindow::on_btnDecAES_clicked() {}
void MainWindow::on_cboxCModeAES_currentIndexChanged(QString) {}
