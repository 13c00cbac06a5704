#ifndef CIPHERBENCH_TESTS_WHENMODAL_H
#define CIPHERBENCH_TESTS_WHENMODAL_H

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <functional>

// Runs `act` once on the first visible modal widget of type T (a file
// dialog, a message box), from inside its modal loop, where the zero-interval
// timer fires:
//
//   whenModal<QFileDialog>([](QFileDialog *dialog) { dialog->reject(); });
//   button->click(); // opens the dialog
template <class T>
void whenModal(std::function<void(T *)> act)
{
    auto *timer = new QTimer;
    timer->setInterval(0);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act] {
        auto *modal = qobject_cast<T *>(QApplication::activeModalWidget());
        if (!modal || !modal->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        act(modal);
    });
    timer->start();
}

#endif
