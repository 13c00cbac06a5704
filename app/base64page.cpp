#include "app/mainwindow.h"
#include "ui_mainwindow.h"

void MainWindow::initBase64Page() {}
void MainWindow::on_txtEncBASE64_textChanged() {}
void MainWindow::on_txtDecBASE64_textChanged() {}
void MainWindow::on_btnEncBASE64_clicked() {}
void MainWindow::on_btnDecBASE64_clicked() {}
void MainWindow::on_cboxInCodeBASE64_currentIndexChanged(QString) {}
void MainWindow::on_cboxOutCodeBASE64_currentIndexChanged(QString) {}
