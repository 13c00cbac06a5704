#ifndef CIPHERBENCH_TESTS_DEBUGCAPTURE_H
#define CIPHERBENCH_TESTS_DEBUGCAPTURE_H

#include <QStringList>
#include <QtGlobal>

// While alive, records every message of Qt's message channel (debug lines,
// warnings, ...) instead of printing it. Only one capture may be alive.
class DebugCapture
{
public:
    DebugCapture();
    ~DebugCapture();
    DebugCapture(const DebugCapture &) = delete;
    DebugCapture &operator=(const DebugCapture &) = delete;

    QStringList debugLines() const; // qDebug() messages, as Qt formats them
    QStringList warnings() const;   // qWarning(), qCritical() and qFatal() messages
    QStringList takeDebugLines();   // the debug lines so far, then forgets them
    void clear();
};

#endif
