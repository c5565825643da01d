// SPDX-License-Identifier: GPL-3.0-or-later
#include "io/io_test.h"

#include "core/context.h"

#include <QLoggingCategory>
#include <algorithm>

namespace meridan::io {

namespace {

Q_LOGGING_CATEGORY(lcIoTest, "meridan.io", QtWarningMsg)

// The tick's busy flag, held for the length of a read or a write of ours
// unless a tick further up the stack holds it already.
class HoldBoard {
public:
    explicit HoldBoard(Panel &p) : panel_(p), mine_(!p.timerBusy) { panel_.timerBusy = true; }
    ~HoldBoard()
    {
        if (mine_)
            panel_.timerBusy = false;
    }

private:
    Panel &panel_;
    bool mine_;
};

} // namespace

IoTest::IoTest(Context &ctx, Commissioning &com, IoStation station)
    : ctx_(ctx), com_(com), conn_(com.connection()), panel_(com.panel()), station_(std::move(station))
{
    // Forced outputs go back before a mode change of ours and before the
    // board is given back, while writing is still allowed and possible.
    prevModeHook_ = com_.beforeModeChange;
    com_.beforeModeChange = [this] {
        if (prevModeHook_)
            prevModeHook_();
        ReleaseAll();
    };
    prevCloseHook_ = conn_.beforeClose;
    conn_.beforeClose = [this] {
        if (prevCloseHook_)
            prevCloseHook_();
        // Whatever could not go back stays with this board: nothing of it
        // may reach the next one.
        if (const Outcome out = ReleaseAll(); !out)
            Forget(out);
    };
}

IoTest::~IoTest()
{
    changed = nullptr; // whoever listened is going away too
    Close();
}

Outcome IoTest::OnlyInOperate(Outcome refused) const
{
    if (refused.failure == Failure::Refused)
        refused.why += ctx_.tr(QStringLiteral(": outputs are forced only in Operate"), QString::fromUtf8(": Ausgänge werden nur in Operate gesetzt"));
    return refused;
}

void IoTest::Forget(const Outcome &why)
{
    // Outputs that stay forced with nobody watching them: worth a box.
    const QString text = why.failure == Failure::Refused
        ? ctx_.tr(QStringLiteral("Forced outputs of station %1 were not given back (%2): they stay as they were forced."),
                  QString::fromUtf8("Gesetzte Ausgänge von Station %1 wurden nicht zurückgesetzt (%2): sie bleiben, wie sie gesetzt wurden."))
              .arg(station_.station)
              .arg(reason_)
        : why.why;
    ctx_.ui.message(text, ctx_.tr(QStringLiteral("I/O test"), QStringLiteral("E/A-Test")), Icon::Warning);
    forced_.clear();
    pending_ = false;
    notify();
}

Outcome IoTest::Close()
{
    if (closed_)
        return {};
    const Outcome out = ReleaseAll();
    if (!out)
        Forget(out);
    com_.beforeModeChange = prevModeHook_;
    conn_.beforeClose = prevCloseHook_;
    closed_ = true;
    return out;
}

void IoTest::notify() const
{
    if (changed)
        changed();
}

std::optional<int> IoTest::value(const IoChannel &c) const
{
    if (!values_.valid)
        return std::nullopt;
    const std::vector<uint8_t> &bytes = c.output() ? values_.outputs : values_.inputs;
    if (c.word) {
        if (std::size_t(c.byte) + 1 >= bytes.size())
            return std::nullopt;
        return bytes[std::size_t(c.byte)] << 8 | bytes[std::size_t(c.byte) + 1];
    }
    if (std::size_t(c.byte) >= bytes.size())
        return std::nullopt;
    return (bytes[std::size_t(c.byte)] >> c.bit) & 1;
}

void IoTest::Hold()
{
    forced_.clear();
    pending_ = false;
    saved_.clear();
    notify();
}

bool IoTest::forced(const IoChannel &c) const
{
    return c.output() && forced_.count(KeyOf(c)) > 0;
}

const IoChannel *IoTest::channelOf(const Key &k) const
{
    for (const IoChannel *c : station_.channels())
        if (c->output() && KeyOf(*c) == k)
            return c;
    return nullptr;
}

int IoTest::nextIntervalMs(int baseMs) const
{
    return std::max(baseMs, 2 * readMs_);
}

bool IoTest::readBytes(uint32_t address, int count, std::vector<uint8_t> &into)
{
    iface::Link &link = conn_.link();
    into.assign(std::size_t(std::max(count, 0)), 0);
    for (int i = 0; i < count; ++i) {
        into[std::size_t(i)] = link.getByte(address + uint32_t(i));
        if (link.lost())
            return false;
    }
    return true;
}

IoTest::ReadResult IoTest::Read()
{
    if (!conn_.connected() || !station_.usable()) {
        values_.stale = values_.valid;
        notify();
        return ReadResult::Failed;
    }
    // The board belongs to the tick, or to a command, until it is done.
    if (panel_.timerBusy || panel_.busy || !panel_.timerEnabled)
        return ReadResult::Skipped;
    if (const iface::DpramMap &map = conn_.link().map(); station_.inputAddress != iface::InputImage(map) + uint32_t(station_.inputOffset))
        PlaceOn(station_, map); // another board since the last read
    Values v;
    const qint64 start = ctx_.pump.nowMs();
    bool ok = false;
    {
        HoldBoard hold(panel_);
        iface::Link &link = conn_.link();
        v.mode = conn_.BoardMode();
        const uint8_t running = link.lost() ? 0 : link.listByte(0, station_.station / 8);
        v.exchange = (running >> (station_.station % 8)) & 1;
        ok = !link.lost() && readBytes(station_.inputAddress, station_.inputLength, v.inputs)
            && readBytes(station_.outputAddress, station_.outputLength, v.outputs);
    }
    readMs_ = int(ctx_.pump.nowMs() - start);
    if (!ok) {
        qCDebug(lcIoTest) << "station" << station_.station << "read failed:" << conn_.link().faultText();
        values_.stale = values_.valid;
        notify();
        return ReadResult::Failed;
    }
    v.valid = true;
    values_ = std::move(v);
    if (values_.mode != iface::BusMode::Operate && !forced_.empty())
        pending_ = true; // the bus left Operate under us: give back once it is there again
    if (pending_ && values_.mode == iface::BusMode::Operate)
        ReleaseAll(); // notifies
    else
        notify();
    return ReadResult::Done;
}

Outcome IoTest::CannotWrite(const QString &what)
{
    if (!conn_.connected())
        return Outcome::Fail(Failure::NoBoard, ctx_.tr(QStringLiteral("no board connected: %1"), QStringLiteral("keine Karte verbunden: %1")).arg(what));
    return conn_.LinkFailure(what);
}

Outcome IoTest::RefuseOutsideOperate()
{
    const std::optional<iface::BusMode> mode = conn_.BoardMode();
    if (conn_.link().lost())
        return CannotWrite(ctx_.tr(QStringLiteral("the board stopped answering"), QStringLiteral("die Karte antwortet nicht mehr")));
    if (mode == iface::BusMode::Operate)
        return {};
    return Outcome::Fail(Failure::Refused,
                         ctx_.tr(QStringLiteral("the bus is in %1, not in Operate"), QStringLiteral("der Bus ist in %1, nicht in Operate"))
                             .arg(mode ? iface::BusModeText(*mode) : ctx_.tr(QStringLiteral("no known mode"), QStringLiteral("keiner bekannten Betriebsart"))));
}

void IoTest::writeChannel(const IoChannel &c, int value)
{
    iface::Link &link = conn_.link();
    if (c.word) {
        link.setByte(c.address, uint8_t(value >> 8));
        link.setByte(c.address + 1, uint8_t(value));
        return;
    }
    // The other bits of the byte are the program's or the PLC's: read them now.
    const uint8_t mask = uint8_t(1u << c.bit);
    const uint8_t now = link.getByte(c.address);
    if (!link.lost())
        link.setByte(c.address, value ? uint8_t(now | mask) : uint8_t(now & ~mask));
}

Outcome IoTest::Force(const IoChannel &c, int value)
{
    const QString name = c.label();
    if (!station_.usable())
        return Outcome::Fail(Failure::Refused, station_.problem);
    if (!c.output())
        return Outcome::Fail(Failure::Refused, ctx_.tr(QStringLiteral("%1 is an input: only outputs can be forced"),
                                                       QStringLiteral("%1 ist ein Eingang: nur Ausgänge lassen sich setzen"))
                                                   .arg(name));
    if (value < 0 || value > (c.word ? 0xFFFF : 1))
        return Outcome::Fail(Failure::BadInput, ctx_.tr(QStringLiteral("%1 takes %2, not %3"), QStringLiteral("%1 nimmt %2, nicht %3"))
                                                    .arg(name, c.word ? QStringLiteral("0..65535") : QStringLiteral("0 or 1"))
                                                    .arg(value));
    if (closed_)
        return Outcome::Fail(Failure::Refused, ctx_.tr(QStringLiteral("the I/O test is closed"), QStringLiteral("der E/A-Test ist geschlossen")));
    if (!conn_.connected())
        return CannotWrite(name);
    if (panel_.busy)
        return Outcome::Fail(Failure::Refused, ctx_.tr(QStringLiteral("another command is running"), QStringLiteral("ein anderes Kommando läuft")));
    if (Outcome refused = RefuseOutsideOperate(); !refused)
        return OnlyInOperate(refused);
    if (!confirmed_) {
        const std::optional<bool> yes = ctx_.ui.confirm(
            ctx_.tr(QStringLiteral("Outputs drive the machine: a forced output moves what is wired to it.\n"
                                   "Force outputs of station %1?"),
                    QString::fromUtf8("Ausgänge bewegen die Maschine: ein gesetzter Ausgang bewegt, was an ihm hängt.\n"
                                      "Ausgänge von Station %1 setzen?"))
                .arg(station_.station),
            ctx_.tr(QStringLiteral("I/O test"), QStringLiteral("E/A-Test")));
        if (!yes)
            return Outcome::Fail(Failure::NeedsConfirmation,
                                 ctx_.tr(QStringLiteral("outputs drive the machine: forcing needs a confirmation"),
                                         QString::fromUtf8("Ausgänge bewegen die Maschine: Setzen braucht eine Bestätigung")));
        if (!*yes)
            return Outcome::Fail(Failure::Cancelled, ctx_.tr(QStringLiteral("nothing forced"), QStringLiteral("nichts gesetzt")));
        confirmed_ = true;
        // The question let events through: the bus may have changed meanwhile.
        if (!conn_.connected())
            return CannotWrite(name);
        if (Outcome refused = RefuseOutsideOperate(); !refused)
            return OnlyInOperate(refused);
    }
    HoldBoard hold(panel_);
    if (forced_.empty() && !pending_) {
        // What the outputs held before the first force: what "Release all" gives back.
        if (!readBytes(station_.outputAddress, station_.outputLength, saved_))
            return CannotWrite(ctx_.tr(QStringLiteral("the outputs could not be read"), QStringLiteral("die Ausgänge ließen sich nicht lesen")));
    }
    writeChannel(c, value);
    if (conn_.link().lost())
        return CannotWrite(name);
    forced_[KeyOf(c)] = value;
    // Shown at once; the next read confirms it.
    if (values_.valid && std::size_t(c.byte) + (c.word ? 1 : 0) < values_.outputs.size()) {
        if (c.word) {
            values_.outputs[std::size_t(c.byte)] = uint8_t(value >> 8);
            values_.outputs[std::size_t(c.byte) + 1] = uint8_t(value);
        } else {
            uint8_t &b = values_.outputs[std::size_t(c.byte)];
            b = value ? uint8_t(b | (1u << c.bit)) : uint8_t(b & ~(1u << c.bit));
        }
    }
    qCDebug(lcIoTest) << "station" << station_.station << "forced" << c.name() << "=" << value;
    notify();
    return {};
}

Outcome IoTest::ReleaseAll()
{
    if (forced_.empty()) {
        pending_ = false;
        return {};
    }
    if (!conn_.connected() || conn_.link().lost()) {
        // The board is gone: there is nothing left to write to.
        forced_.clear();
        pending_ = false;
        notify();
        return CannotWrite(ctx_.tr(QStringLiteral("forced outputs of station %1 not given back"),
                                   QStringLiteral("gesetzte Ausgänge von Station %1 nicht zurückgesetzt"))
                               .arg(station_.station));
    }
    if (Outcome refused = RefuseOutsideOperate(); !refused) {
        reason_ = refused.why;
        if (refused.failure == Failure::Refused) {
            pending_ = true;
            refused.why = ctx_.tr(QStringLiteral("forced outputs of station %1 go back once the bus is in Operate again (%2)"),
                                  QString::fromUtf8("gesetzte Ausgänge von Station %1 werden zurückgesetzt, sobald der Bus wieder in Operate ist (%2)"))
                              .arg(station_.station)
                              .arg(reason_);
        }
        notify();
        return refused;
    }
    {
        HoldBoard hold(panel_);
        for (const auto &[key, value] : forced_) {
            const IoChannel *c = channelOf(key);
            if (!c || std::size_t(c->byte) + (c->word ? 1 : 0) >= saved_.size())
                continue;
            const int before = c->word ? saved_[std::size_t(c->byte)] << 8 | saved_[std::size_t(c->byte) + 1]
                                       : (saved_[std::size_t(c->byte)] >> c->bit) & 1;
            writeChannel(*c, before);
            if (conn_.link().lost())
                break;
        }
    }
    forced_.clear();
    pending_ = false;
    qCDebug(lcIoTest) << "station" << station_.station << "outputs given back";
    notify();
    if (conn_.link().lost())
        return CannotWrite(ctx_.tr(QStringLiteral("forced outputs of station %1 not given back"),
                                   QStringLiteral("gesetzte Ausgänge von Station %1 nicht zurückgesetzt"))
                               .arg(station_.station));
    return {};
}

IoPoll::IoPoll(IoTest &test, int baseMs) : test_(test), base_(baseMs)
{
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
}

void IoPoll::start()
{
    timer_.start(0);
}

void IoPoll::stop()
{
    timer_.stop();
}

void IoPoll::tick()
{
    // A read that had to wait for a tick or a command is tried again soon.
    const bool skipped = test_.Read() == IoTest::ReadResult::Skipped;
    timer_.start(skipped ? std::min(base_, 10) : test_.nextIntervalMs(base_));
}

} // namespace meridan::io
