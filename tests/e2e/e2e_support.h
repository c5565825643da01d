// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the end-to-end tests share: the demo boards kept for a whole suite,
// and a command caught in the middle by a board that stops answering and dies.
#include "boardsim.h"
#include "support/fixture.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QThread>
#include <functional>

namespace meridan::test {

// Polls `done` until it holds, at most `ms`: the board writes its snapshot
// a moment after it acted.
inline bool Eventually(const std::function<bool()> &done, int ms = 10000)
{
    for (QDeadlineTimer t(ms); !done(); QThread::msleep(20))
        if (t.hasExpired())
            return false;
    return true;
}

// The demo boards and the demo configuration in a root of their own, started
// once for the suite; a suite whose boards did not start is skipped.
class DemoSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir_ = new QTemporaryDir;
        sim_ = new BoardSim;
        startError_.clear();
        if (!sim_->start(dir_->path(), {QStringLiteral("--no-pace")}))
            startError_ = sim_->error;
        else
            cli({"demo-config"});
    }
    static void TearDownTestSuite()
    {
        delete sim_;
        delete dir_;
        sim_ = nullptr;
        dir_ = nullptr;
    }
    void SetUp() override
    {
        if (!startError_.isEmpty())
            GTEST_SKIP() << startError_.toStdString();
    }
    static CliRun cli(const QStringList &args) { return RunCli(QStringList{"--root", dir_->path()} + args, 60000); }
    static QString demoFile() { return dir_->filePath("setup/AutoLoad.dp1"); }

    static inline QTemporaryDir *dir_ = nullptr;
    static inline BoardSim *sim_ = nullptr;
    static inline QString startError_;
};

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
