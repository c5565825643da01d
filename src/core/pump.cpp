// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/pump.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QThread>

namespace meridan {

void QtPump::processEvents()
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtPump::sleepMs(int ms)
{
    if (ms <= 0) {
        processEvents();
        return;
    }
    QDeadlineTimer deadline(ms);
    if (!QCoreApplication::instance()) {
        QThread::msleep(ulong(ms));
        return;
    }
    // Let events through while sleeping, without spinning a core.
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, int(qMax<qint64>(1, deadline.remainingTime())));
        const qint64 left = deadline.remainingTime();
        if (left > 0)
            QThread::msleep(ulong(qMin<qint64>(left, 1)));
    }
}

qint64 QtPump::nowMs() const
{
    static QElapsedTimer clock = [] { QElapsedTimer t; t.start(); return t; }();
    return clock.elapsed();
}

void VirtualPump::processEvents()
{
    if (onPump)
        onPump();
}

void VirtualPump::sleepMs(int ms)
{
    if (ms > 0) {
        now_ += ms;
        sleptMs += ms;
    }
    if (onPump)
        onPump();
}

} // namespace meridan
