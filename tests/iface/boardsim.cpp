// SPDX-License-Identifier: GPL-3.0-or-later
#include "boardsim.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <csignal>
#include <cstdio>
// A simulator that ends badly fails the running test; a benchmark prints it.
#ifdef MERIDAN_UNDER_GTEST
#include <gtest/gtest.h>
#define BAD_END(what) ADD_FAILURE() << (what).constData()
#else
#define BAD_END(what) std::fprintf(stderr, "%s\n", (what).constData())
#endif

namespace meridan::test {

QString BoardSim::binary()
{
    const QString env = qEnvironmentVariable("MERIDAN_BOARDSIM");
    if (!env.isEmpty())
        return env;
#ifdef MERIDAN_BOARDSIM
    return QStringLiteral(MERIDAN_BOARDSIM);
#else
    return {};
#endif
}

BoardSim::~BoardSim()
{
    stop();
}

bool BoardSim::start(const QString &rootDir, const QStringList &extra)
{
    root_ = rootDir;
    const QString bin = binary();
    if (bin.isEmpty() || !QFile::exists(bin)) {
        error = QStringLiteral("meridan-boardsim is not built");
        return false;
    }
    QDir().mkpath(rootDir + QStringLiteral("/driver"));
    // The demo boards; the TCP ports are the system's pick, written in once known.
    const QString cfgPath = rootDir + QStringLiteral("/driver/zelpci.cfg");
    const QByteArray local = "[dpram]\nTessel=driver/tessel.dpram\nVME1=driver/vme1.dpram\nCorvet=driver/corvet.dpram\n"
                             "[serial]\nCOM1=driver/com1\nCOM2=driver/com2\n";
    const auto writeCfg = [&](const QByteArray &network) {
        QFile cfg(cfgPath);
        const QByteArray text = local + "[network]\n" + network;
        if (cfg.open(QIODevice::WriteOnly | QIODevice::Truncate) && cfg.write(text) == text.size())
            return true;
        error = QStringLiteral("cannot write ") + cfgPath;
        return false;
    };
    if (!writeCfg("OS9Target=127.0.0.1:0\nKetch=127.0.0.1:0\n"))
        return false;
    QStringList args{QStringLiteral("--root"), rootDir, QStringLiteral("--demo"), QStringLiteral("--state"),
                     rootDir + QStringLiteral("/state.json")};
    args += extra;
    proc_.setProcessChannelMode(QProcess::MergedChannels);
    proc_.start(bin, args);
    if (!proc_.waitForStarted(5000)) {
        error = QStringLiteral("cannot start ") + bin;
        return false;
    }
    started_ = true;
    killed_ = false;
    const QDeadlineTimer deadline(15000);
    while (!out_.contains("\nready\n") && !out_.startsWith("ready\n")) {
        if (deadline.hasExpired() || proc_.state() != QProcess::Running) {
            out_ += proc_.readAll();
            error = QStringLiteral("the simulator did not get ready: ") + QString::fromLocal8Bit(out_);
            return false;
        }
        proc_.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
        out_ += proc_.readAll();
    }
    // "board NAME KIND ENDPOINT" per board.
    QByteArray network;
    for (const QByteArray &line : out_.split('\n')) {
        const QList<QByteArray> f = line.trimmed().split(' ');
        if (f.size() == 4 && f[0] == "board" && f[3].startsWith("tcp:"))
            network += f[1] + '=' + f[3].mid(4) + '\n';
    }
    return writeCfg(network);
}

void BoardSim::kill()
{
    killed_ = true;
    if (proc_.state() == QProcess::NotRunning)
        return;
    ::kill(pid_t(proc_.processId()), SIGCONT);
    proc_.kill();
    proc_.waitForFinished(5000);
}

void BoardSim::freeze(bool frozen)
{
    if (proc_.state() == QProcess::Running)
        ::kill(pid_t(proc_.processId()), frozen ? SIGSTOP : SIGCONT);
}

void BoardSim::stop()
{
    if (proc_.state() != QProcess::NotRunning) {
        ::kill(pid_t(proc_.processId()), SIGCONT);
        proc_.terminate();
        if (!proc_.waitForFinished(5000)) {
            proc_.kill();
            proc_.waitForFinished(5000);
        }
    }
    if (!started_ || killed_)
        return;
    started_ = false;
    QByteArray problem;
    for (const char *report : {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:"})
        if (output().contains(report))
            problem = QByteArray("reported \"") + report + '"';
    if (problem.isEmpty() && (proc_.exitStatus() != QProcess::NormalExit || proc_.exitCode() != 0))
        problem = "ended badly (exit status " + QByteArray::number(proc_.exitCode()) + ")";
    if (!problem.isEmpty())
        BAD_END("meridan-boardsim " + problem + "; it printed:\n" + output().right(4000));
}

QJsonObject BoardSim::state(const QString &name) const
{
    QFile f(root_ + QStringLiteral("/state.json"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QJsonArray boards = QJsonDocument::fromJson(f.readAll()).object().value(QStringLiteral("boards")).toArray();
    for (const auto &b : boards) {
        const QJsonObject o = b.toObject();
        if (o.value(QStringLiteral("name")).toString().compare(name, Qt::CaseInsensitive) == 0)
            return o;
    }
    return {};
}

QByteArray BoardSim::output()
{
    // What the pipe holds reaches the buffer only in a wait.
    for (QDeadlineTimer t(2000); !t.hasExpired() && proc_.state() == QProcess::Running && proc_.waitForReadyRead(100);)
        out_ += proc_.readAll();
    out_ += proc_.readAll();
    return out_;
}

} // namespace meridan::test
