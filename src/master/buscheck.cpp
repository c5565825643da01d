// SPDX-License-Identifier: GPL-3.0-or-later
#include "master/buscheck.h"

#include "core/bytes.h"
#include "core/context.h"
#include "core/texts.h"
#include "busops/run_budget.h"
#include "slave/record.h"

#include <algorithm>
#include <cmath>

namespace meridan {

namespace {

using Level = BusFinding::Level;

constexpr int kCharBits = 11;    // start bit, 8 data bits, parity, stop bit
constexpr int kSyncBits = 33;    // TSYN: idle line before every request
constexpr int kMinTsdrFloor = 11;
constexpr int kSlotOverhead = 13; // one character and two bits to see the answer begin
constexpr int kDataFrame = 9;     // SD2 LE LEr SD2 DA SA FC ... FCS ED around the data
constexpr int kShortFrame = 6;    // SD1 DA SA FC FCS ED
constexpr int kTokenFrame = 3;    // SD4 DA SA

// The master's bus parameters, by their names.
struct Bus {
    int own, code, tsl, minTsdr, maxTsdr, tqui, tset, gap, hsa, retries;
    uint32_t ttr;
    double minIntervalMs;

    explicit Bus(const Record &m)
    {
        const auto b = m.span();
        own = m[10];
        code = m[11];
        tsl = be16(b, 12);
        minTsdr = be16(b, 14);
        maxTsdr = be16(b, 16);
        tqui = std::max(0, m[18] - 1); // stored as the entered value + 1
        tset = m[19];
        ttr = be32(b, 20);
        gap = std::max(1, int(m[24]));
        hsa = m[25];
        retries = m[26];
        minIntervalMs = be16(b, 28) / 10.0; // units of 100 us
    }
    int tsm() const { return 2 + 2 * tset + tqui; }
};

int RequestBits(const CycleSlave &s) { return kCharBits * (s.outputs > 0 ? kDataFrame + s.outputs : kShortFrame); }

QString Tbit(double v) { return QString::number(std::llround(v)); }

} // namespace

BusCycle EstimateCycle(const Record &master, const std::vector<CycleSlave> &slaves)
{
    const Bus bus(master);
    BusCycle c;
    c.slaves = int(slaves.size());
    c.baudCode = bus.code;
    const BaudInfo *baud = BaudFor(bus.code);
    c.bitMs = baud ? 1.0 / baud->kbits : 0.0;
    const int tid1 = std::max(kSyncBits + bus.tsm(), bus.minTsdr); // idle after an answer
    const int tid2 = std::max(kSyncBits + bus.tsm(), bus.maxTsdr); // idle after a frame nobody answers
    int largestRequest = kCharBits * kShortFrame;
    for (const CycleSlave &s : slaves) {
        const int response = kCharBits * (s.inputs > 0 ? kDataFrame + s.inputs : 1); // data, or the short acknowledge
        c.cycle += RequestBits(s) + s.tsdr + response + tid1;
        largestRequest = std::max(largestRequest, RequestBits(s));
    }
    // The token to itself, and every G rotations one unanswered request into the gap.
    c.cycle += kCharBits * kTokenFrame + tid2 + double(kCharBits * kShortFrame + bus.tsl) / bus.gap;
    c.cycleMs = c.cycle * c.bitMs;
    c.minIntervalMs = bus.minIntervalMs;
    c.pollMs = std::max(c.cycleMs, c.minIntervalMs);
    // Room for one station that stops answering: each try costs a request and the slot time.
    c.suggestedTtr = std::ceil(c.cycle + (1 + bus.retries) * double(bus.tsl + largestRequest));
    return c;
}

int BusCheck::count(Level level) const
{
    return int(std::count_if(findings.begin(), findings.end(), [level](const BusFinding &f) { return f.level == level; }));
}

const GsdDevice *DeviceFiles::of(const Context &ctx, int station)
{
    auto it = files_.find(station);
    if (it == files_.end())
        it = files_.emplace(station, StationDevice(ctx, station)).first;
    return it->second ? &*it->second : nullptr;
}

namespace {

class Checker {
public:
    Checker(const Context &ctx, const Record &master, DeviceFiles &files) : ctx_(ctx), m_(master), bus_(master), files_(files) {}

    BusCheck run()
    {
        if (m_[0] != kMasterMarker)
            add(Level::Error, "master", tr("the configuration has no master record", "die Konfiguration hat keinen Master-Datensatz"));
        else if (!BaudFor(bus_.code))
            add(Level::Error, "baud", tr("unknown baud-rate code %1", "unbekannter Baudratencode %1").arg(bus_.code));
        else
            checkAll();
        std::stable_sort(out_.findings.begin(), out_.findings.end(),
                         [](const BusFinding &a, const BusFinding &b) { return a.level < b.level; });
        return std::move(out_);
    }

private:
    struct Slave {
        int station;
        IoLengths io;
        CycleSlave cycle;
        const Record *rec;
    };

    QString tr(const char *en, const char *de) const { return ctx_.tr(QString::fromUtf8(en), QString::fromUtf8(de)); }
    void add(Level level, const char *rule, const QString &text) { out_.findings.push_back({level, QString::fromLatin1(rule), text}); }
    QString rate() const { return RateText(bus_.code); }

    void checkAll()
    {
        masterTiming();
        // A job carries 244 bytes of a record after its header.
        for (const LongRecord &r : LongRecords(ctx_.st.image))
            add(r.masterPartCut ? Level::Error : Level::Warning, "job-length",
                r.masterPartCut ? tr("station %1: its record of %2 bytes is longer than a job carries (244): the master would not get all its "
                                     "parameters and identifier bytes, the download refuses it",
                                     "Station %1: ihr Parametersatz von %2 Bytes ist länger als ein Auftrag trägt (244): dem Master fehlten "
                                     "Parameter und Kennungsbytes, der Download lehnt ihn ab")
                                      .arg(r.station)
                                      .arg(r.length)
                                : tr("station %1: its record of %2 bytes is longer than a job carries (244): the master gets it without its "
                                     "name and module list",
                                     "Station %1: ihr Parametersatz von %2 Bytes ist länger als ein Auftrag trägt (244): der Master erhält ihn "
                                     "ohne Namen und Modulliste")
                                      .arg(r.station)
                                      .arg(r.length));
        int slowest = 0, slowestStation = 0;
        for (int s = 1; s < kSlots; ++s) {
            if (!ctx_.st.image.hasSlave(s))
                continue;
            if (!IsDownloaded(s)) {
                // Not on the bus: the download never sends it.
                add(Level::Warning, "download",
                    tr("station %1 is never downloaded: %2", "Station %1 wird nie geladen: %2").arg(s).arg(NeverDownloadedWhy(ctx_, s)));
                continue;
            }
            const Record &rec = ctx_.st.image.slot(s);
            Slave sl{s, {}, {}, &rec};
            try {
                sl.io = DecodeIoLengths(rec);
            } catch (const RangeError &) {
                add(Level::Error, "record", tr("station %1: the slave record is damaged", "Station %1: der Slave-Datensatz ist beschädigt").arg(s));
                continue;
            }
            sl.cycle = {sl.io.inputLength, sl.io.outputLength, device(s)};
            limits(s, rec);
            if (sl.cycle.tsdr > slowest) {
                slowest = sl.cycle.tsdr;
                slowestStation = s;
            }
            if (s == bus_.own)
                add(Level::Error, "address", tr("station %1 is the master's own address", "Station %1 ist die Adresse des Masters").arg(s));
            slaves_.push_back(sl);
        }
        if (slowestStation && bus_.tsl < slowest + bus_.tset + bus_.tqui + kSlotOverhead)
            add(Level::Error, "slot-time",
                tr("TSL %1 tbit is shorter than the slowest answer, max TSDR %2 tbit of station %3, plus the master's overhead "
                   "Tset + Tqui + 13 = %4 tbit: at least %5 tbit",
                   "TSL %1 tbit ist kürzer als die langsamste Antwort, max TSDR %2 tbit von Station %3, plus der Aufschlag des "
                   "Masters Tset + Tqui + 13 = %4 tbit: mindestens %5 tbit")
                    .arg(bus_.tsl)
                    .arg(slowest)
                    .arg(slowestStation)
                    .arg(bus_.tset + bus_.tqui + kSlotOverhead)
                    .arg(slowest + bus_.tset + bus_.tqui + kSlotOverhead));
        hsa();
        overlaps(true);
        overlaps(false);
        std::vector<CycleSlave> cs;
        for (const Slave &sl : slaves_)
            cs.push_back(sl.cycle);
        out_.cycle = EstimateCycle(m_, cs);
        afterEstimate(*out_.cycle);
    }

    void masterTiming()
    {
        if (bus_.minTsdr < kMinTsdrFloor)
            add(Level::Error, "min-tsdr",
                tr("min TSDR %1 tbit is below 11 tbit, the least a station must wait before it answers",
                   "min TSDR %1 tbit ist kleiner als 11 tbit, die Zeit, die eine Station mindestens vor ihrer Antwort wartet")
                    .arg(bus_.minTsdr));
        if (bus_.minTsdr >= bus_.maxTsdr)
            add(Level::Error, "tsdr-order",
                tr("min TSDR %1 tbit is not below max TSDR %2 tbit", "min TSDR %1 tbit ist nicht kleiner als max TSDR %2 tbit")
                    .arg(bus_.minTsdr)
                    .arg(bus_.maxTsdr));
        if (35 + 2 * bus_.tset + bus_.tqui > bus_.maxTsdr)
            add(Level::Error, "max-tsdr",
                tr("max TSDR %1 tbit is below 35 + 2 Tset + Tqui = %2 tbit", "max TSDR %1 tbit ist kleiner als 35 + 2 Tset + Tqui = %2 tbit")
                    .arg(bus_.maxTsdr)
                    .arg(35 + 2 * bus_.tset + bus_.tqui));
    }

    // The station's response time at this rate; its device file's rate
    // support and slave interval are checked on the way.
    int device(int s)
    {
        const GsdDevice *d = files_.of(ctx_, s);
        if (!d) {
            add(Level::Note, "gsd",
                tr("station %1: no GSD file found; its baud rates, response time and slave interval are not checked, the "
                   "estimate takes the master's max TSDR",
                   "Station %1: keine GSD-Datei gefunden; ihre Baudraten, Antwortzeit und Slave-Intervall werden nicht "
                   "geprüft, die Schätzung nimmt das max TSDR des Masters")
                    .arg(s));
            return bus_.maxTsdr;
        }
        if (d->minSlaveInterval > 0)
            intervals_[s] = d->minSlaveInterval / 10.0;
        if (!d->supports(bus_.code)) {
            QStringList rates;
            for (const QString &k : d->supportedRates())
                rates << RateKeyText(k);
            add(Level::Error, "baud-support",
                tr("station %1 does not support %2: its GSD file %3 does not list it (it supports %4)",
                   "Station %1 unterstützt %2 nicht: ihre GSD-Datei %3 nennt sie nicht (sie kann %4)")
                    .arg(s)
                    .arg(rate(), d->file, rates.isEmpty() ? tr("none", "keine") : rates.join(QStringLiteral(", "))));
        }
        if (const auto t = d->maxTsdrAt(bus_.code))
            return *t;
        if (d->supports(bus_.code))
            add(Level::Warning, "slot-time",
                tr("station %1: its GSD file %2 gives no MaxTsdr for %3; the master's max TSDR %4 tbit stands in for it",
                   "Station %1: ihre GSD-Datei %2 nennt kein MaxTsdr für %3; das max TSDR %4 tbit des Masters steht dafür")
                    .arg(s)
                    .arg(d->file, rate())
                    .arg(bus_.maxTsdr));
        return bus_.maxTsdr;
    }

    // What the station's device takes: its module list and its parameter
    // bytes against the limits of its file. A slave refuses a configuration
    // beyond them, and the master reports a parameter or configuration fault.
    void limits(int s, const Record &rec)
    {
        const GsdDevice *d = files_.of(ctx_, s);
        if (!d)
            return;
        if (d->stop)
            add(Level::Warning, "gsd",
                tr("station %1: its GSD file %2 cannot be read to its end (line %3: %4); what follows that line is not checked",
                   "Station %1: ihre GSD-Datei %2 ist nicht bis zum Ende lesbar (Zeile %3: %4); was danach kommt, wird nicht geprüft")
                    .arg(s)
                    .arg(d->file)
                    .arg(d->stop->line)
                    .arg(d->stop->reason));
        const int modules = int(ModuleEntries(rec).size());
        if (d->maxModule >= 0 && modules > d->maxModule)
            add(Level::Error, "max-module",
                tr("station %1 has %2 modules, its GSD file %3 allows %4 (Max_Module)",
                   "Station %1 hat %2 Module, ihre GSD-Datei %3 erlaubt %4 (Max_Module)")
                    .arg(s)
                    .arg(modules)
                    .arg(d->file)
                    .arg(d->maxModule));
        const int u = SlaveLayout::of(rec).u;
        if (d->maxUserPrmDataLen >= 0 && u > d->maxUserPrmDataLen)
            add(Level::Error, "max-user-prm",
                tr("station %1 has %2 parameter bytes, its GSD file %3 allows %4 (Max_User_Prm_Data_Len)",
                   "Station %1 hat %2 Parameterbytes, ihre GSD-Datei %3 erlaubt %4 (Max_User_Prm_Data_Len)")
                    .arg(s)
                    .arg(u)
                    .arg(d->file)
                    .arg(d->maxUserPrmDataLen));
    }

    void hsa()
    {
        if (bus_.hsa < bus_.own)
            add(Level::Error, "hsa",
                tr("HSA %1 is below the master's own address %2: the master would not find itself in the token ring",
                   "HSA %1 ist kleiner als die Adresse %2 des Masters: der Master fände sich nicht im Tokenring")
                    .arg(bus_.hsa)
                    .arg(bus_.own));
        QStringList above;
        for (const Slave &sl : slaves_)
            if (sl.station > bus_.hsa)
                above << QString::number(sl.station);
        if (!above.isEmpty())
            add(Level::Note, "hsa",
                tr("stations above HSA %1 (%2) are slaves, which PROFIBUS allows: only masters must lie at or below HSA",
                   "Stationen über HSA %1 (%2) sind Slaves, was PROFIBUS erlaubt: nur Master müssen bei oder unter HSA liegen")
                    .arg(bus_.hsa)
                    .arg(above.join(QStringLiteral(", "))));
    }

    void overlaps(bool inputs)
    {
        std::vector<const Slave *> with;
        for (const Slave &sl : slaves_)
            if ((inputs ? sl.io.inputLength : sl.io.outputLength) > 0)
                with.push_back(&sl);
        const auto first = [inputs](const Slave *s) { return inputs ? s->io.inputOffset : s->io.outputOffset; };
        const auto last = [&](const Slave *s) { return first(s) + (inputs ? s->io.inputLength : s->io.outputLength) - 1; };
        for (std::size_t i = 0; i < with.size(); ++i)
            for (std::size_t j = i + 1; j < with.size(); ++j) {
                const Slave *a = with[i], *b = with[j];
                if (first(a) > last(b) || first(b) > last(a))
                    continue;
                add(Level::Error, "io-overlap",
                    (inputs ? tr("inputs of station %1 (bytes %2..%3) and station %4 (bytes %5..%6) overlap in the process image",
                                 "Eingänge von Station %1 (Byte %2..%3) und Station %4 (Byte %5..%6) überlappen im Prozessabbild")
                            : tr("outputs of station %1 (bytes %2..%3) and station %4 (bytes %5..%6) overlap in the process image",
                                 "Ausgänge von Station %1 (Byte %2..%3) und Station %4 (Byte %5..%6) überlappen im Prozessabbild"))
                        .arg(a->station)
                        .arg(first(a))
                        .arg(last(a))
                        .arg(b->station)
                        .arg(first(b))
                        .arg(last(b)));
            }
    }

    void afterEstimate(const BusCycle &c)
    {
        for (const Slave &sl : slaves_) {
            const Record &r = *sl.rec;
            const bool on = r[26] & 0x08;
            const double watchdogMs = r[27] * r[28] * 10.0; // the two factors count 10 ms steps
            if (!on)
                add(Level::Note, "watchdog",
                    tr("station %1 runs without watchdog: it keeps its outputs when the master stops",
                       "Station %1 läuft ohne Watchdog: sie behält ihre Ausgänge, wenn der Master ausfällt")
                        .arg(sl.station));
            else if (watchdogMs <= c.pollMs)
                add(Level::Error, "watchdog",
                    tr("station %1: its watchdog of %2 ms runs out before it is polled again (every %3 ms)",
                       "Station %1: ihr Watchdog von %2 ms läuft ab, bevor sie wieder abgefragt wird (alle %3 ms)")
                        .arg(sl.station)
                        .arg(Fixed3(watchdogMs), Fixed3(c.pollMs)));
            const auto need = intervals_.find(sl.station);
            if (need != intervals_.end() && c.pollMs < need->second)
                add(Level::Error, "min-slave-interval",
                    tr("station %1 needs %2 ms between two polls (Min_Slave_Intervall), the master may poll it every %3 ms: "
                       "raise Min Slave Interval to %2 ms",
                       "Station %1 braucht %2 ms zwischen zwei Abfragen (Min_Slave_Intervall), der Master fragt sie womöglich "
                       "alle %3 ms ab: Min Slave Interval auf %2 ms erhöhen")
                        .arg(sl.station)
                        .arg(Fixed3(need->second), Fixed3(c.pollMs)));
        }
        if (bus_.ttr < c.cycle)
            add(Level::Warning, "ttr",
                tr("the target rotation time %1 tbit is shorter than the bus cycle of %2 tbit: set it to the suggested %3 tbit",
                   "die Target-Rotation-Time %1 tbit ist kürzer als der Buszyklus von %2 tbit: stellen Sie die empfohlenen %3 tbit ein")
                    .arg(bus_.ttr)
                    .arg(Tbit(c.cycle), Tbit(c.suggestedTtr)));
    }

    const Context &ctx_;
    const Record &m_;
    Bus bus_;
    DeviceFiles &files_;
    std::vector<Slave> slaves_;
    std::map<int, double> intervals_; // Min_Slave_Intervall in ms, by station
    BusCheck out_;
};

QString LevelText(const Context &ctx, Level level)
{
    switch (level) {
    case Level::Error:
        return ctx.tr(QStringLiteral("error"), QStringLiteral("Fehler"));
    case Level::Warning:
        return ctx.tr(QStringLiteral("warning"), QStringLiteral("Warnung"));
    case Level::Note:
        break;
    }
    return ctx.tr(QStringLiteral("note"), QStringLiteral("Hinweis"));
}

QString Counts(const Context &ctx, const BusCheck &check)
{
    const int e = check.count(Level::Error), w = check.count(Level::Warning), n = check.count(Level::Note);
    const auto plural = [](int k, const char *ending) { return k == 1 ? QString() : QString::fromLatin1(ending); };
    return ctx.tr(QStringLiteral("%1 error%2, %3 warning%4, %5 note%6")
                      .arg(e)
                      .arg(plural(e, "s"))
                      .arg(w)
                      .arg(plural(w, "s"))
                      .arg(n)
                      .arg(plural(n, "s")),
                  QStringLiteral("%1 Fehler, %2 Warnung%3, %4 Hinweis%5").arg(e).arg(w).arg(plural(w, "en")).arg(n).arg(plural(n, "e")));
}

QString FindingText(const Context &ctx, const BusFinding &f)
{
    return LevelText(ctx, f.level) + QStringLiteral(" [") + f.rule + QStringLiteral("]: ") + f.text;
}

} // namespace

BusCheck CheckBus(const Context &ctx, const Record &master, DeviceFiles &files)
{
    return Checker(ctx, master, files).run();
}

QStringList BusCheckReport(const Context &ctx, const BusCheck &check)
{
    QStringList out;
    for (const BusFinding &f : check.findings)
        out << FindingText(ctx, f);
    if (const auto &c = check.cycle) {
        out << ctx.tr(QStringLiteral("bus cycle (estimate): %1 ms (%2 tbit) for %3 slave%4 at %5"),
                      QStringLiteral("Buszyklus (Schätzung): %1 ms (%2 tbit) für %3 Slave%4 bei %5"))
                   .arg(Fixed3(c->cycleMs), Tbit(c->cycle))
                   .arg(c->slaves)
                   .arg(c->slaves == 1 ? QString() : QStringLiteral("s"), RateText(c->baudCode));
        out << ctx.tr(QStringLiteral("each slave is polled every %1 ms (Min Slave Interval %2 ms)"),
                      QStringLiteral("jeder Slave wird alle %1 ms abgefragt (Min Slave Interval %2 ms)"))
                   .arg(Fixed3(c->pollMs), Fixed3(c->minIntervalMs));
        out << ctx.tr(QStringLiteral("suggested target rotation time: %1 tbit (%2 ms)"),
                      QStringLiteral("empfohlene Target-Rotation-Time: %1 tbit (%2 ms)"))
                   .arg(Tbit(c->suggestedTtr), Fixed3(c->suggestedTtr * c->bitMs));
    }
    out << Counts(ctx, check);
    return out;
}

QString BusCheckLine(const Context &ctx, const BusCheck &check)
{
    const auto first = std::find_if(check.findings.begin(), check.findings.end(), [](const BusFinding &f) { return f.level != Level::Note; });
    if (first != check.findings.end())
        return Counts(ctx, check) + QStringLiteral(" - ") + FindingText(ctx, *first);
    if (check.cycle)
        return Counts(ctx, check) + QStringLiteral(" - ")
            + ctx.tr(QStringLiteral("bus cycle about %1 ms"), QStringLiteral("Buszyklus etwa %1 ms")).arg(Fixed3(check.cycle->cycleMs));
    return Counts(ctx, check);
}

} // namespace meridan
