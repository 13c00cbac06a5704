#include "support/debugcapture.h"

#include <QMutex>
#include <QMutexLocker>

namespace {
QMutex mutex; // the worker thread may write debug lines too
QStringList debugs;
QStringList others;
QtMessageHandler previous = nullptr;
bool active = false;

void handler(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    QMutexLocker lock(&mutex);
    if (type == QtDebugMsg)
        debugs << message;
    else if (type != QtInfoMsg)
        others << message;
}
} // namespace

DebugCapture::DebugCapture()
{
    Q_ASSERT(!active);
    active = true;
    clear();
    previous = qInstallMessageHandler(handler);
}

DebugCapture::~DebugCapture()
{
    qInstallMessageHandler(previous);
    active = false;
}

QStringList DebugCapture::debugLines() const
{
    QMutexLocker lock(&mutex);
    return debugs;
}

QStringList DebugCapture::warnings() const
{
    QMutexLocker lock(&mutex);
    return others;
}

QStringList DebugCapture::takeDebugLines()
{
    QMutexLocker lock(&mutex);
    QStringList out;
    out.swap(debugs);
    return out;
}

void DebugCapture::clear()
{
    QMutexLocker lock(&mutex);
    debugs.clear();
    others.clear();
}
