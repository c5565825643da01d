// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the end-to-end tests share: a command caught in the middle by a board
// that stops answering and dies.
#include "boardsim.h"
#include "support/fixture.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QThread>

namespace meridan::test {

// meridan-cli -v with `args`; once its message log showed the line `when`,
// the board freezes and is killed. Its exit code (-1: the line never came or
// it did not end within 30 s of the kill) and all it printed (both streams).
struct Caught {
    int code = -1;
    QByteArray out;
};
inline Caught KillBoardWhen(BoardSim &sim, const QStringList &args, const QByteArray &when)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral(MERIDAN_BINARY_DIR "/src/meridan-cli"), QStringList{QStringLiteral("-v")} + args);
    Caught c;
    for (QDeadlineTimer t(60000); !c.out.contains(when + '\n') && !t.hasExpired() && p.state() != QProcess::NotRunning;) {
        p.waitForReadyRead(200);
        c.out += p.readAllStandardOutput();
    }
    if (!c.out.contains(when + '\n'))
        return c;
    sim.freeze(true); // caught waiting for its answer
    QThread::msleep(200);
    sim.kill();
    if (p.waitForFinished(30000))
        c.code = p.exitCode();
    c.out += p.readAllStandardOutput();
    return c;
}

} // namespace meridan::test
