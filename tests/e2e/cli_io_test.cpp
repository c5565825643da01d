// SPDX-License-Identifier: GPL-3.0-or-later
// meridan-cli io against the demo boards on a DP-RAM file, a serial line and
// TCP: an output of the loop-back station 50 forced and read back at its
// inputs (and given back at the end), and the walking bit of station 20 seen
// walking.
#include "e2e_support.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <functional>
#include <map>
#include <set>

using namespace meridan;
using namespace meridan::test;

namespace {

class DemoIo : public DemoSuite, public ::testing::WithParamInterface<const char *> {
protected:
    void SetUp() override
    {
        DemoSuite::SetUp();
        if (!IsSkipped()) {
            ASSERT_EQ(cli({"run", "--hw", GetParam(), demoFile()}).code, 0);
        }
    }
    // The outputs station 50 received, as the board's snapshot says ("00 00 00").
    static QString received(const char *hw)
    {
        static const std::map<QString, QString> boards{
            {"tessel", "Tessel"}, {"ravelin:com1", "Ravelin"}, {"ketch-tcp:Ketch", "Ketch"}};
        for (const QJsonValue &s : demo_->sim.state(boards.at(QString::fromLatin1(hw)))["stations"].toArray())
            if (s.toObject()["station"].toInt() == 50)
                return s.toObject()["outputs"].toString();
        return {};
    }
    // `io --watch --json` as a process: each line it printed, as an object.
    struct Watch {
        QProcess p;
        QByteArray buffer;
        std::vector<QJsonObject> lines;
        explicit Watch(const QStringList &args)
        {
            p.start(QStringLiteral(MERIDAN_BINARY_DIR "/src/meridan-cli"),
                    QStringList{"--root", demo_->dir.path(), "--json", "io", "--watch"} + args);
        }
        ~Watch()
        {
            if (p.state() != QProcess::NotRunning) {
                p.kill();
                p.waitForFinished();
            }
        }
        void take()
        {
            buffer += p.readAllStandardOutput();
            for (int nl; (nl = buffer.indexOf('\n')) >= 0; buffer.remove(0, nl + 1))
                lines.push_back(QJsonDocument::fromJson(buffer.left(nl)).object());
        }
        // Reads lines until `seen` holds for one, at most `ms`.
        bool until(const std::function<bool(const QJsonObject &)> &seen, int ms = 20000)
        {
            std::size_t from = 0;
            for (QDeadlineTimer t(ms); !t.hasExpired() && p.state() != QProcess::NotRunning;) {
                p.waitForReadyRead(100);
                take();
                for (; from < lines.size(); ++from)
                    if (seen(lines[from]))
                        return true;
            }
            return false;
        }
        // SIGTERM, as a shell's kill does: the exit code.
        int terminate()
        {
            p.terminate();
            if (!p.waitForFinished(30000))
                return -1;
            take();
            return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        }
    };
    static std::function<bool(const QJsonObject &)> is(const char *channel, int value)
    {
        return [=](const QJsonObject &o) { return o["channel"].toString() == QLatin1String(channel) && o["value"].toInt(-1) == value; };
    }
};

} // namespace

TEST_P(DemoIo, aForcedOutputComesBackAtTheLoopedInputs_andGoesBackAtTheEnd)
{
    const char *hw = GetParam();
    ASSERT_TRUE(Eventually([&] { return received(hw) == "00 00 00"; })) << received(hw).toStdString();
    // Without --yes nothing is written.
    CliRun r = cli({"io", "--hw", hw, "50", "--set", "QX1.5=1"});
    EXPECT_EQ(r.code, 3);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_TRUE(r.err.contains("outputs drive the machine")) << r.err.constData();

    Watch w({"--hw", hw, "50", "--set", "QX1.5=1", "--set", "QW3=0x1F4", "--yes"});
    EXPECT_TRUE(w.until(is("IX2.5", 1))) << w.p.readAllStandardError().constData();
    EXPECT_TRUE(w.until(is("IW3.0", 500)));
    EXPECT_TRUE(Eventually([&] { return received(hw) == "20 01 F4"; })) << received(hw).toStdString();
    EXPECT_EQ(w.terminate(), 0) << w.p.readAllStandardError().constData();
    ASSERT_FALSE(w.lines.empty());
    EXPECT_EQ(w.lines.back(), (QJsonObject{{"outcome", "done"}}));
    // Given back before the command ended: the slave gets zeros again, and the loop returns them.
    EXPECT_TRUE(Eventually([&] { return received(hw) == "00 00 00"; })) << received(hw).toStdString();
    r = cli({"--json", "io", "--hw", hw, "50"});
    ASSERT_EQ(r.code, 0) << r.err.constData();
    for (const QJsonValue &c : QJsonDocument::fromJson(r.out).object()["channels"].toArray())
        EXPECT_EQ(c.toObject()["value"].toInt(-1), 0) << c.toObject()["channel"].toString().toStdString();

    // --hold leaves the output forced: the value before the next force is that one.
    r = cli({"io", "--hw", hw, "50", "--set", "QX1.0=1", "--yes", "--hold"});
    EXPECT_EQ(r.code, 0) << r.err.constData();
    EXPECT_TRUE(r.out.contains("\nQX1.0 1 forced\n")) << r.out.constData();
    EXPECT_TRUE(Eventually([&] { return received(hw) == "01 00 00"; })) << received(hw).toStdString();
    EXPECT_EQ(cli({"io", "--hw", hw, "50", "--set", "QX1.0=0", "--yes"}).code, 0);
    EXPECT_TRUE(Eventually([&] { return received(hw) == "01 00 00"; }));
    EXPECT_EQ(cli({"io", "--hw", hw, "50", "--set", "QX1.0=0", "--yes", "--hold"}).code, 0);
    EXPECT_TRUE(Eventually([&] { return received(hw) == "00 00 00"; }));
}

TEST_P(DemoIo, theInputsOfStation20_showOneBitWalking)
{
    Watch w({"--hw", GetParam(), "20"});
    // Bit p of the six input bytes: IX1.0..15, then IX2.0..31.
    std::vector<int> lit;
    const auto position = [](const QJsonObject &o) {
        const QString c = o["channel"].toString();
        const int k = c.section('.', 1).toInt();
        return c.startsWith("IX1.") ? k : 16 + k;
    };
    ASSERT_TRUE(w.until([&](const QJsonObject &o) {
        if (o["value"].toInt() == 1)
            lit.push_back(position(o));
        return lit.size() >= 6;
    })) << w.p.readAllStandardError().constData();
    EXPECT_EQ(w.terminate(), 0);
    // Each read finds it some steps further on, round the 48 bits (one step
    // every 100 ms; a read may come late on a loaded machine).
    for (std::size_t i = 1; i < lit.size(); ++i) {
        const int step = (lit[i] - lit[i - 1] + 48) % 48;
        EXPECT_TRUE(step >= 1 && step < 24) << lit[i - 1] << " -> " << lit[i];
    }
    // Every bit of the six bytes was shown, each as a bit channel of its module.
    std::set<QString> channels;
    for (const QJsonObject &o : w.lines)
        if (o.contains("channel"))
            channels.insert(o["channel"].toString());
    EXPECT_EQ(channels.size(), 48u);
}

INSTANTIATE_TEST_SUITE_P(Demo, DemoIo, ::testing::Values("tessel", "ravelin:com1", "ketch-tcp:Ketch"),
                         [](const auto &info) {
                             return std::string(info.param == std::string("tessel")         ? "DpRam"
                                                : info.param == std::string("ravelin:com1") ? "Serial"
                                                                                            : "Tcp");
                         });
