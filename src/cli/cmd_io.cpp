// SPDX-License-Identifier: GPL-3.0-or-later
// io: a station's inputs and outputs read live, and its outputs forced, the
// I/O test of the desktop program without the window.
#include "cli/options.h"
#include "cli/session.h"
#include "config/configfile.h"
#include "io/io_test.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <csignal>
#include <map>

namespace meridan::cli {

namespace {

constexpr int kDefaultIntervalMs = 100;
// The first read waits for the status poll to let go of the board.
constexpr int kFirstReadMs = 5000;

volatile std::sig_atomic_t gInterrupted = 0;
extern "C" void OnInterrupt(int)
{
    gInterrupted = 1;
}

// SIGINT and SIGTERM end a watch as its normal end does (outputs released);
// the handlers before are back when the command ends.
class Interrupts {
public:
    Interrupts()
    {
        gInterrupted = 0;
        int_ = std::signal(SIGINT, OnInterrupt);
        term_ = std::signal(SIGTERM, OnInterrupt);
    }
    ~Interrupts()
    {
        std::signal(SIGINT, int_);
        std::signal(SIGTERM, term_);
    }
    bool happened() const { return gInterrupted != 0; }

private:
    void (*int_)(int) = SIG_DFL;
    void (*term_)(int) = SIG_DFL;
};

QString Compact(const QJsonObject &o)
{
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

QJsonValue ValueJson(const std::optional<int> &v)
{
    return v ? QJsonValue(*v) : QJsonValue(QJsonValue::Null);
}

// One channel: what a line of the text output and an entry of the JSON say.
QJsonObject ChannelJson(const io::IoTest &test, const io::IoChannel &c, bool full)
{
    QJsonObject o{{QStringLiteral("channel"), c.name()}, {QStringLiteral("value"), ValueJson(test.value(c))}};
    if (!c.variable.isEmpty())
        o[QStringLiteral("variable")] = c.variable;
    if (full) {
        o[QStringLiteral("module")] = c.module;
        o[QStringLiteral("address")] = int(c.address);
        if (!c.word)
            o[QStringLiteral("bit")] = c.bit;
        o[QStringLiteral("forced")] = test.forced(c);
    }
    return o;
}

QString ChannelLine(const io::IoTest &test, const io::IoChannel &c)
{
    const std::optional<int> v = test.value(c);
    QString line = c.name() + QLatin1Char(' ') + (v ? io::ValueText(c, *v) : QStringLiteral("-"));
    if (!c.variable.isEmpty())
        line += QLatin1Char(' ') + c.variable;
    if (test.forced(c))
        line += QStringLiteral(" forced");
    return line;
}

QJsonObject StationFacts(const io::IoTest &test)
{
    const io::IoStation &s = test.station();
    const io::IoTest::Values &v = test.values();
    QJsonArray channels;
    for (const io::IoChannel *c : s.channels())
        channels.append(ChannelJson(test, *c, true));
    return {{QStringLiteral("station"), s.station},
            {QStringLiteral("mode"), v.mode ? QJsonValue(iface::BusModeText(*v.mode)) : QJsonValue(QJsonValue::Null)},
            {QStringLiteral("data_exchange"), v.exchange},
            {QStringLiteral("input_address"), int(s.inputAddress)},
            {QStringLiteral("output_address"), int(s.outputAddress)},
            {QStringLiteral("channels"), channels}};
}

// Reads until one read went through (the status poll may hold the board for
// a moment), at most `ms`, and not past an interrupt. The outcome of the last try.
Outcome ReadOnce(Session &bus, io::IoTest &test, int ms, const Interrupts &interrupts)
{
    Pump &pump = bus.inv.ctx.pump;
    const qint64 end = pump.nowMs() + ms;
    for (;;) {
        if (interrupts.happened())
            return Outcome::Fail(Failure::Cancelled, QStringLiteral("interrupted"));
        switch (test.Read()) {
        case io::IoTest::ReadResult::Done:
            return {};
        case io::IoTest::ReadResult::Failed:
            return bus.conn.connected() ? bus.conn.LinkFailure(QStringLiteral("the station's data could not be read"))
                                        : Outcome::Fail(Failure::NoBoard, bus.ops.NoHardwareText());
        case io::IoTest::ReadResult::Skipped:
            break;
        }
        if (pump.nowMs() >= end)
            return Outcome::Fail(Failure::NoAnswer, QStringLiteral("the board stayed busy"));
        pump.sleepMs(5);
    }
}

struct Setting {
    const io::IoChannel *channel = nullptr;
    int value = 0;
};

} // namespace

int CmdIo(Invocation &inv)
{
    const auto station = ParseNumber(inv.args[0], 1, 125);
    if (!station)
        return inv.usage(RangeText(QStringLiteral("STATION"), 1, 125, inv.args[0]));
    const bool watch = inv.isSet(QStringLiteral("watch"));
    const bool hold = inv.isSet(QStringLiteral("hold"));
    int baseMs = kDefaultIntervalMs;
    if (const auto i = inv.value(QStringLiteral("interval"))) {
        if (!watch)
            return inv.usage(QStringLiteral("--interval goes with --watch"));
        const auto ms = ParseNumber(*i, 10, 3600000);
        if (!ms)
            return inv.usage(RangeText(QStringLiteral("--interval"), 10, 3600000, *i));
        baseMs = int(*ms);
    }
    const QStringList sets = inv.line.values(QStringLiteral("set"));
    if (hold && sets.isEmpty())
        return inv.usage(QStringLiteral("--hold goes with --set"));
    if (const auto bad = TakeProject(inv))
        return inv.finish(*bad);
    const auto config = inv.value(QStringLiteral("config"));
    if (!AutoLoad(inv.ctx, config.value_or(QString())))
        return inv.finish(Outcome::Fail(Failure::BadInput, QStringLiteral("the configuration %1 cannot be read").arg(inv.ctx.st.configFileName)));
    if (!inv.ctx.st.image.hasSlave(int(*station)))
        return inv.finish(Outcome::Fail(Failure::BadInput, QStringLiteral("station %1 is not configured in %2").arg(*station).arg(inv.ctx.st.configFileName)));

    Session bus(inv);
    BusOutcome connected = bus.connect();
    if (!connected)
        return inv.finish(connected);
    const Record rec = inv.ctx.st.image.slot(int(*station));
    io::IoTest test(inv.ctx, bus.ops, io::StationModel(inv.ctx, rec, bus.conn.link().map()));
    if (!test.station().usable())
        return inv.finish(Outcome::Fail(Failure::BadInput, QStringLiteral("station %1: %2").arg(*station).arg(test.station().problem)));

    // Every --set names an output and a value it can hold, before anything is written.
    std::vector<Setting> settings;
    for (const QString &s : sets) {
        const QString name = s.section(QLatin1Char('='), 0, 0).trimmed();
        const QString value = s.section(QLatin1Char('='), 1);
        const io::IoChannel *c = test.station().find(name);
        if (!s.contains(QLatin1Char('=')) || !c)
            return inv.usage(QStringLiteral("--set takes CHANNEL=VALUE, CHANNEL a channel of station %1 (QX2.5, QW3.0) or a variable attached to one: %2")
                                 .arg(*station)
                                 .arg(s));
        if (!c->output())
            return inv.usage(QStringLiteral("%1 is an input: only outputs can be forced").arg(c->label()));
        const std::optional<int> v = io::ParseChannelValue(*c, value);
        if (!v)
            return inv.usage(QStringLiteral("%1 takes %2, not %3")
                                 .arg(c->label(), c->word ? QStringLiteral("0..65535, -32768..-1 or 0x0..0xFFFF") : QStringLiteral("0 or 1"), value));
        settings.push_back({c, *v});
    }

    // A watch runs until it is interrupted or --timeout is up; its own reads
    // are bounded by the line's budgets, and the release at the end must not
    // find the deadline already passed.
    const qint64 watchEnd = inv.timeoutSeconds > 0 ? bus.conn.env().deadlineMs : 0;
    if (watch)
        bus.conn.env().deadlineMs = 0;
    Interrupts interrupts;

    Outcome out = ReadOnce(bus, test, kFirstReadMs, interrupts);
    for (const Setting &s : settings) {
        if (!out || interrupts.happened())
            break;
        out = test.Force(*s.channel, s.value);
    }
    if (out && !settings.empty()) {
        // The next read shows what the outputs hold now.
        out = ReadOnce(bus, test, kFirstReadMs, interrupts);
        for (const Setting &s : settings)
            if (out && test.value(*s.channel) != s.value)
                out = Outcome::Fail(Failure::BoardError, QStringLiteral("%1 reads %2 after it was forced to %3")
                                                             .arg(s.channel->label())
                                                             .arg(test.value(*s.channel).value_or(-1))
                                                             .arg(s.value));
    }

    std::map<QString, std::optional<int>> shown;
    const auto print = [&](bool all) {
        for (const io::IoChannel *c : test.station().channels()) {
            const std::optional<int> v = test.value(*c);
            if (!all && shown[c->name()] == v)
                continue;
            shown[c->name()] = v;
            if (inv.json)
                inv.out << Compact(ChannelJson(test, *c, false)) << '\n';
            else
                inv.out << ChannelLine(test, *c) << '\n';
        }
        inv.out.flush();
    };

    if (out && watch) {
        Pump &pump = inv.ctx.pump;
        print(true);
        bool stale = false;
        while (!interrupts.happened() && (watchEnd == 0 || pump.nowMs() < watchEnd)) {
            const qint64 next = pump.nowMs() + test.nextIntervalMs(baseMs);
            while (!interrupts.happened() && pump.nowMs() < next && (watchEnd == 0 || pump.nowMs() < watchEnd))
                pump.sleepMs(int(std::min<qint64>(10, next - pump.nowMs())));
            if (interrupts.happened())
                break;
            const io::IoTest::ReadResult r = test.Read();
            if (!bus.conn.connected()) {
                out = bus.conn.LinkFailure(QStringLiteral("the board stopped answering"));
                break;
            }
            if (r == io::IoTest::ReadResult::Failed && !stale) {
                stale = true;
                if (inv.json)
                    inv.out << Compact({{QStringLiteral("stale"), true}}) << Qt::endl;
                else
                    inv.error(QStringLiteral("stale: the last read failed"));
            } else if (r == io::IoTest::ReadResult::Done) {
                if (stale && inv.json)
                    inv.out << Compact({{QStringLiteral("stale"), false}}) << Qt::endl;
                stale = false;
                print(false);
            }
        }
    }

    // What the station showed, before forced outputs go back.
    const bool keep = out && test.anyForced() && hold;
    QJsonObject facts = StationFacts(test);
    if (!settings.empty())
        facts[QStringLiteral("held")] = keep;
    if (!watch && !inv.json && out) {
        const io::IoTest::Values &v = test.values();
        inv.out << "station " << *station << ": " << (v.mode ? iface::BusModeText(*v.mode) : QStringLiteral("no known mode"))
                << (v.exchange ? ", in data exchange" : ", not in data exchange") << '\n';
        print(true);
    }
    if (keep) {
        test.Hold();
        inv.note(QStringLiteral("the outputs stay forced (--hold)"));
    }
    else if (Outcome released = test.Close(); out && !released)
        out = released;
    if (!watch)
        return inv.finish(out, facts);
    // A watch is a stream of compact lines, its outcome the last one.
    if (inv.json) {
        QJsonObject o{{QStringLiteral("outcome"), FailureWord(out.failure)}};
        if (!out)
            o[QStringLiteral("error")] = out.why;
        inv.out << Compact(o) << Qt::endl;
    }
    if (!out)
        inv.error(out.why);
    return ExitCode(out);
}

} // namespace meridan::cli
