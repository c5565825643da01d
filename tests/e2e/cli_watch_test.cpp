// SPDX-License-Identifier: GPL-3.0-or-later
// meridan-cli watch against the simulated boards: the drop-outs of a
// station that flaps are counted on DP-RAM and TCP, a board that dies ends
// the watch with exit 1, SIGTERM ends it cleanly with its summary.
#include "e2e_support.h"
#include "support/fixture.h"
#include "support/golden.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <csignal>

using namespace meridan;
using namespace meridan::test;

namespace {

QProcess *StartCli(const QString &root, const QStringList &args)
{
    auto *p = new QProcess;
    p->start(QStringLiteral(MERIDAN_BINARY_DIR "/src/meridan-cli"), QStringList{"--root", root} + args);
    return p;
}

// The JSON lines of a watch: its events and, last, its summary.
std::vector<QJsonObject> JsonLines(const QByteArray &out)
{
    std::vector<QJsonObject> lines;
    for (const QByteArray &l : out.split('\n'))
        if (!l.isEmpty())
            lines.push_back(QJsonDocument::fromJson(l).object());
    return lines;
}

} // namespace

// Station 12 drops out for 1 s every 2.5 s: in 15 s, six drop-outs, each
// seen (within one: the watch's first round over all stations takes 1.6 s;
// over TCP/IP a list byte is read every 0.8 s at the most).
TEST(CliWatch, flappingStation_dropOutsCountedOnDpramAndTcp)
{
    DemoRoot d;
    if (!d.start({"--no-pace", "--flap", "12:1000:2500"}))
        GTEST_SKIP() << d.sim.error.toStdString();
    const QStringList boards{"tessel", "ketch-tcp:Ketch"};
    for (const QString &hw : boards)
        ASSERT_EQ(d.cli({"run", "--hw", hw, d.config()}).code, 0) << hw.toStdString();
    std::vector<std::unique_ptr<QProcess>> watches;
    for (const QString &hw : boards)
        watches.emplace_back(StartCli(d.dir.path(), {"--json", "watch", "--hw", hw, "--duration", "15"}));
    for (std::size_t i = 0; i < watches.size(); ++i) {
        SCOPED_TRACE(boards[int(i)].toStdString());
        QProcess &p = *watches[i];
        ASSERT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().constData();
        const auto lines = JsonLines(p.readAllStandardOutput());
        ASSERT_GE(lines.size(), 2u);
        int left = 0;
        for (const QJsonObject &e : lines)
            left += e["station"].toInt() == 12 && e["event"].toString() == "left" && e["drop_out"].toBool() ? 1 : 0;
        const QJsonObject summary = lines.back();
        EXPECT_EQ(summary["outcome"].toString(), "done");
        int dropOuts = -1;
        qint64 outMs = -1;
        for (const QJsonValue &s : summary["stations"].toArray()) {
            if (s["station"].toInt() == 12) {
                dropOuts = s["drop_outs"].toInt();
                outMs = s["out_of_exchange_ms"].toInteger();
            }
            if (s["station"].toInt() == 20) { // the others run on
                EXPECT_EQ(s["drop_outs"].toInt(), 0);
            }
        }
        EXPECT_EQ(dropOuts, left);
        EXPECT_NEAR(dropOuts, 6, 1);
        EXPECT_GT(outMs, 0);
    }
}

// The board dies under a watch: lost, not back within the duration, exit 1.
// SIGTERM ends a watch at once, with its summary, exit 0.
TEST(CliWatch, lostBoard_exits1_aSignalEndsItCleanly)
{
    QTemporaryDir dir;
    BoardSim sim;
    if (!sim.start(dir.path(), {"--no-pace"}))
        GTEST_SKIP() << sim.error.toStdString();
    std::unique_ptr<QProcess> endless(StartCli(dir.path(), {"watch", "--hw", "ketch-tcp:Ketch"}));
    std::unique_ptr<QProcess> dies(StartCli(dir.path(), {"watch", "--hw", "tessel", "--duration", "14"}));
    QByteArray seen;
    for (QDeadlineTimer t(30000); !seen.contains("connected") && !t.hasExpired();) {
        endless->waitForReadyRead(200);
        seen += endless->readAllStandardOutput();
    }
    ASSERT_TRUE(seen.contains("connected: ")) << seen.constData();
    ::kill(pid_t(endless->processId()), SIGTERM);
    ASSERT_TRUE(endless->waitForFinished(10000));
    EXPECT_EQ(endless->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(endless->exitCode(), 0);
    seen += endless->readAllStandardOutput();
    EXPECT_TRUE(seen.contains("\nstation  drop-outs  diagnosis changes  out of data exchange\n")) << seen.constData();

    QThread::msleep(1500);
    sim.kill();
    ASSERT_TRUE(dies->waitForFinished(60000));
    EXPECT_EQ(dies->exitCode(), 1);
    const QByteArray out = dies->readAllStandardOutput();
    EXPECT_TRUE(out.contains("  connection lost: ")) << out.constData();
    EXPECT_TRUE(dies->readAllStandardError().contains("meridan-cli watch: the board was lost and did not come back"));
}

// The JSON lines of a watch over the demo bus in Operate: the board, its
// mode, the stations in data exchange and the two with diagnosis, then the
// summary. Times and the duration vary and are written TIME and 0.
TEST(CliWatch, jsonOfADemoBus_matchesItsGoldenFile)
{
    DemoRoot d;
    if (!d.start())
        GTEST_SKIP() << d.sim.error.toStdString();
    ASSERT_EQ(d.cli({"run", "--hw", "corvet-dpram", d.config()}).code, 0);
    const CliRun r = d.cli({"--json", "watch", "--hw", "corvet-dpram", "--duration", "5"});
    EXPECT_EQ(r.code, 0) << r.err.constData();
    QString json = QString::fromUtf8(r.out);
    json.replace(QRegularExpression(QStringLiteral("\"time\":\"[^\"]*\"")), QStringLiteral("\"time\":\"TIME\""));
    json.replace(QRegularExpression(QStringLiteral("\"duration_ms\":\\d+")), QStringLiteral("\"duration_ms\":0"));
    ExpectGolden(QStringLiteral("e2e/golden/watch.json"), json.toUtf8());
}
