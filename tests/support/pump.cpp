#include "support/pump.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

bool pumpUntil(const std::function<bool()> &done, int limitMs)
{
    QDeadlineTimer deadline(limitMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::yieldCurrentThread();
    }
    return true;
}
