#include "app/mainwindow.h"
#include "ui_mainwindow.h"

void MainWindow::initDESPage() {}
void MainWindow::updateAlgDES() {}
void MainWindow::updateKeyFormDES() {}
void MainWindow::on_txtEncDES_textChanged() {}
void MainWindow::on_txtDecDES_textChanged() {}
void MainWindow::on_btnEncDES_clicked() {}
void MainWindow::on_btnDecDES_clicked() {}
void MainWindow::onButtonAlgGroupClicked(QAbstractButton *) {}
void MainWindow::onButtonkeyGroupClicked(QAbstractButton *) {}
void MainWindow::on_txtKey1DES_textChanged(const QString &) {}
void MainWindow::on_txtKey2DES_textChanged(const QString &) {}
void MainWindow::on_cboxInCodeDES_currentIndexChanged(QString) {}
void MainWindow::on_cboxOutCodeDES_currentIndexChanged(QString) {}
