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

// A root of its own for meridan-cli, and the simulator's boards in it.
struct DemoRoot {
    QTemporaryDir dir;
    BoardSim sim;
    QString path(const QString &name) const { return dir.filePath(name); }
    QString config() const { return path(QStringLiteral("setup/AutoLoad.dp1")); }
    CliRun cli(const QStringList &args) const { return RunCli(QStringList{"--root", dir.path()} + args, 90000); }
    // The demo boards (with `simArgs`; false when they did not start) and the demo configuration.
    bool start(const QStringList &simArgs = {QStringLiteral("--no-pace")})
    {
        if (!sim.start(dir.path(), simArgs))
            return false;
        EXPECT_EQ(cli({"demo-config"}).code, 0);
        return true;
    }
};

// The demo root started once for the suite; a suite whose boards did not
// start is skipped.
class DemoSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        demo_ = new DemoRoot;
        started_ = demo_->start();
    }
    static void TearDownTestSuite()
    {
        delete demo_;
        demo_ = nullptr;
    }
    void SetUp() override
    {
        if (!started_)
            GTEST_SKIP() << demo_->sim.error.toStdString();
    }
    static CliRun cli(const QStringList &args) { return demo_->cli(args); }
    static QString demoFile() { return demo_->config(); }

    static inline DemoRoot *demo_ = nullptr;
    static inline bool started_ = false;
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
