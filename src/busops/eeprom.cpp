// SPDX-License-Identifier: GPL-3.0-or-later
#include "busops/eeprom.h"

#include "config/configfile.h"
#include "config/image.h"
#include "config/listline.h"
#include "core/bytes.h"
#include "core/texts.h"

#include <QLoggingCategory>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <memory>

Q_LOGGING_CATEGORY(lcEeprom, "meridan.busops.eeprom", QtWarningMsg)

namespace meridan {

using iface::BusMode;
using iface::ConfigStore;
using iface::JobCode;
using iface::MsgCode;

namespace {

constexpr uint8_t kErase = 1;            // EEPROM job functions
constexpr uint8_t kBurn = 2;
constexpr int kEepromSendBudget = 1000;  // attempts to hand over a job
constexpr int kEepromReplyBudget = 1000; // waits of kReplyPollMs for its reply
constexpr int kMasterSendBudget = 100;
constexpr int kMasterReplyBudget = 100;
constexpr int kSlaveSendBudget = 200;
constexpr int kSlaveReplyBudget = 200;
constexpr int kReplyPollMs = 50;
constexpr int kLastPage = 100;           // pages 0..100 hold slots 0..100
constexpr int kPageSize = 256;
constexpr int kMaxPageL = kPageSize - 8; // bytes 0 .. L + 7 fill at most a page
constexpr int kShortLengthCap = 244;     // byte 7 of a record longer than this
constexpr int kVerifyTries = 10;
constexpr int kWalkEnd = 127;            // "no further station" in a read-back reply
constexpr int kMaxStation = 125;

// Keeps the first master message with the code it is armed for that the
// status poll takes in from then on, the moment the poll takes it: a later
// message cannot overwrite the reply before the wait looks, and a reply that
// came before the job cannot be taken for its answer.
class ReplyCatch {
public:
    ReplyCatch(Commissioning &com, const iface::MessageBuffer &mbuf) : com_(com)
    {
        com_.onMessage = [this, &mbuf] {
            if (!got && mbuf[0] == code_) {
                got = true;
                reply = mbuf;
            }
        };
    }
    ~ReplyCatch() { com_.onMessage = nullptr; }
    ReplyCatch(const ReplyCatch &) = delete;
    ReplyCatch &operator=(const ReplyCatch &) = delete;

    void arm(MsgCode code)
    {
        code_ = iface::Code(code);
        got = false;
        reply.fill(0);
    }

    bool got = false;
    iface::MessageBuffer reply{};

private:
    Commissioning &com_;
    uint8_t code_ = 0;
};

// A job without data; the header bytes the job does not use are 0.
Record Job(JobCode code, uint8_t parameter)
{
    Record job;
    iface::SetJob(job, code, parameter);
    return job;
}

// Byte 7 of a record as the record's own length word (bytes 8..9) says it
// must be: the length itself, or 244 for a longer record.
bool LengthsAgree(std::span<const uint8_t> rec, int l)
{
    const int spl = be16(rec, 8);
    return l >= 2 && l <= kMaxPageL && l == std::min(spl, kShortLengthCap);
}

// A record read back from a reply: the header as this program writes it,
// bytes 8 .. L + 7 as the master delivered them.
void TakeRecord(Record &slot, uint8_t marker, int station, const iface::MessageBuffer &m)
{
    const int l = m[7];
    slot.clear();
    slot[0] = marker;
    slot[3] = uint8_t(station);
    slot[7] = uint8_t(l);
    for (int i = 8; i <= l + 7; ++i)
        slot[i] = m[std::size_t(i)];
}

// Prompts for loading a configuration file into a scratch state: nothing is
// shown, the caller reports the outcome.
class QuietPrompts : public Prompts {
public:
    int message(const QString &, const QString &, Icon, int buttons) override { return buttons & Ok ? Ok : Cancel; }
    std::optional<QString> input(const QString &, const QString &, const QString &) override { return std::nullopt; }
    std::optional<QString> openFile(const FileDialogSpec &) override { return std::nullopt; }
    std::optional<QString> saveFile(const FileDialogSpec &) override { return std::nullopt; }
    void setBusy(bool) override {}
};

} // namespace

Eeprom::Eeprom(Context &ctx, Commissioning &com) : ctx_(ctx), com_(com), conn_(com.connection()), panel_(com.panel()) {}

bool Eeprom::Gone()
{
    return !conn_.connected() || conn_.link().lost();
}

bool Eeprom::Send(const Record &job, int budget)
{
    bool taken = false;
    do {
        --budget;
        ctx_.pump.processEvents();
        if (Gone()) // the poll may have found the board lost meanwhile
            return false;
        taken = conn_.link().putJob(job);
    } while (!taken && budget > 0);
    return taken;
}

bool Eeprom::WaitReply(const bool &got, int budget)
{
    // A fast walk looks for its reply every millisecond, within the same time.
    const int step = FastWalk() ? 1 : kReplyPollMs;
    int left = budget * kReplyPollMs;
    do {
        left -= step;
        ctx_.pump.sleepMs(step);
        ctx_.pump.processEvents();
    } while (!got && left > 0 && !Gone());
    return got;
}

bool Eeprom::FastWalk() const
{
    return com_.walking && ctx_.st.fastDownload;
}

void Eeprom::Settle(int ms)
{
    if (!FastWalk())
        ctx_.pump.sleepMs(ms);
}

bool Eeprom::Write(uint16_t address, uint8_t value)
{
    iface::Link &link = conn_.link();
    link.eepromWrite(address, value);
    if (!link.lost())
        return true;
    deadAt_ = address;
    return false;
}

bool Eeprom::Read(uint16_t address, uint8_t &value)
{
    iface::Link &link = conn_.link();
    value = link.eepromRead(address);
    if (!link.lost())
        return true;
    deadAt_ = address;
    return false;
}

void Eeprom::StartMaster()
{
    panel_.run = true;
    panel_.notify();
    iface::Link &link = conn_.link();
    link.setByte(link.map().startByte, 0);
}

// ---- Burn -------------------------------------------------------------------

bool Eeprom::Burn_Click()
{
    if (!com_.BusyGuard())
        return false;
    bool ok = false;
    deadAt_ = -1;
    const ConfigStore store = conn_.link().traits().store;
    if (store == ConfigStore::None) {
        ctx_.status(QStringLiteral("Ravelin/Ketch only !"));
    } else {
        const bool was = conn_.DisableTimer();
        if (store == ConfigStore::Job)
            ok = BurnByJob(); // the master burns what it runs: nothing here to check
        else if (MayBurnImage(store))
            ok = store == ConfigStore::NetworkFile ? BurnNetwork() : BurnBytes();
        conn_.RestoreTimer(was);
    }
    com_.EndBusy();
    return ok;
}

// What is checked before the configuration in memory goes to the board:
// it has a master record, every record fits its EEPROM page, and a master in
// Operate may be restarted.
bool Eeprom::MayBurnImage(ConfigStore store)
{
    const ConfigImage &image = ctx_.st.image;
    const QString notBurnt = ctx_.tr(QStringLiteral("Not burnt: "), QStringLiteral("Nicht gebrannt: "));
    if (!image.hasMaster()) {
        ctx_.status(notBurnt + ctx_.tr(QStringLiteral("missing Master record !"), QStringLiteral("Master Parametersatz fehlt !")));
        return false;
    }
    if (store == ConfigStore::EepromBytes) {
        for (int s = 0; s <= kLastPage; ++s) {
            const Record &r = image.slot(s);
            if (r[0] == 0)
                continue;
            // The page takes bytes 0 .. L + 7; a record reaching further
            // would be cut, one with L above 248 would spill into the next page.
            const bool marked = r[0] == kMasterMarker || r[0] == kSlaveMarker;
            if (r[7] > kMaxPageL || (marked && be16(r.span(), 8) > r[7])) {
                ctx_.status(notBurnt
                            + ctx_.tr(QStringLiteral("the record of station%1 does not fit its EEPROM page").arg(NumText(s)),
                                      QStringLiteral("der Parametersatz von Station%1 passt nicht in seine EEPROM-Seite").arg(NumText(s))));
                return false;
            }
        }
    }
    // Burning ends by starting the master from the EEPROM; a running bus
    // would restart with whatever was just burnt.
    iface::Link &link = conn_.link();
    const bool operate = panel_.mode == BusMode::Operate
        || iface::BusModeOfState(link.getByte(link.map().busState)) == BusMode::Operate;
    if (!operate)
        return true;
    const QString question = ctx_.tr(
        QStringLiteral("The master is in Operate. After burning it restarts from the EEPROM with this configuration.\nBurn now?"),
        QStringLiteral("Der Master ist in Operate. Nach dem Brennen startet er mit dieser Konfiguration aus dem EEPROM neu.\nJetzt brennen?"));
    const bool yes = confirm ? confirm(question)
                             : ctx_.ui.message(question, QStringLiteral("EEPROM"), Icon::Question, Yes | No) == Yes;
    if (!yes)
        ctx_.status(ctx_.tr(QStringLiteral("Burn cancelled"), QStringLiteral("Brennen abgebrochen")));
    return yes;
}

bool Eeprom::BurnNetwork()
{
    // The driver library takes a configuration file: a private one in the
    // root folder, gone again afterwards.
    QTemporaryDir dir(ctx_.root.path(QStringLiteral("_tmp_XXXXXX")));
    const QString file = dir.filePath(QStringLiteral("_tmp_.dp1"));
    const bool saved = dir.isValid() && SaveConfigFile(ctx_, file);
    ctx_.pump.processEvents();
    if (!saved) {
        ctx_.status(QStringLiteral("Error Programming: ")
                    + ctx_.tr(QStringLiteral("the temporary configuration file could not be written"),
                              QStringLiteral("die temporäre Konfigurationsdatei ließ sich nicht schreiben")));
        return false;
    }
    ctx_.status(QStringLiteral("Transmit Configuration to local Configurationfile ..."));
    ctx_.pump.processEvents();
    const int32_t result = conn_.link().burnFile(file);
    dir.remove();
    if (result != 0) {
        qCInfo(lcEeprom) << "network burn failed with" << result;
        ctx_.status(QStringLiteral("Error Programming: ") + NumText(result));
        return false;
    }
    ctx_.pump.sleepMs(1000);
    StartMaster();
    ctx_.status(QStringLiteral("Programming O.K"));
    return true;
}

bool Eeprom::BurnByJob()
{
    ctx_.status(QStringLiteral("Burn Configuration in EEPROM"));
    // The poll's ticks take the master's reply in.
    panel_.timerEnabled = true;
    panel_.notify();
    ctx_.status(QStringLiteral("Burning actual configuration to EEProm ..."));
    ReplyCatch reply(com_, ctx_.st.mbuf);
    reply.arm(MsgCode::EepromDone);
    const bool sent = Send(Job(JobCode::Eeprom, kBurn), kEepromSendBudget);
    ctx_.pump.sleepMs(200);
    if (sent) {
        WaitReply(reply.got, kEepromReplyBudget);
        ctx_.pump.sleepMs(200);
    }
    if (!reply.got) {
        ctx_.status(QStringLiteral("Timeout"));
        return false;
    }
    if (reply.reply[3] != 0) {
        ctx_.status(QStringLiteral("Error Programming: ") + NumText(reply.reply[3]));
        return false;
    }
    ctx_.status(QStringLiteral("Programming O.K"));
    return true;
}

Eeprom::Verdict Eeprom::Check(int station, uint16_t address, uint8_t expected)
{
    uint8_t v = 0;
    if (!Read(address, v))
        return Verdict::Dead;
    if (v == expected)
        return Verdict::Good;
    if (!Read(address, v))
        return Verdict::Dead;
    int count = 1;
    while (v != expected) {
        ctx_.status(QStringLiteral("Verify : ") + NumText(station) + QStringLiteral(" Cnt:") + NumText(count)
                    + QStringLiteral(" at ") + NumText(address));
        if (!Write(address, expected))
            return Verdict::Dead;
        conn_.PauseWithEvents(500);
        if (!Read(address, v))
            return Verdict::Dead;
        if (v != expected && ++count == kVerifyTries) {
            ctx_.status(QStringLiteral("Error at ") + NumText(address));
            return Verdict::Wrong;
        }
    }
    return Verdict::Good;
}

bool Eeprom::BurnBytes()
{
    // What is burnt is the image as it was when the burn began, whatever an
    // editor commits while the burn lets events through.
    const auto image = std::make_unique<ConfigImage>(ctx_.st.image);
    ctx_.status(QStringLiteral("Burn Configuration in EEPROM"));
    ctx_.pump.processEvents();
    panel_.run = false;
    panel_.notify();
    const auto lineDead = [&] {
        ctx_.status(ctx_.tr(QStringLiteral("Burn stopped: no answer from the EEPROM at address%1"),
                            QStringLiteral("Brennen abgebrochen: keine Antwort vom EEPROM bei Adresse%1"))
                        .arg(NumText(deadAt_)));
        return false;
    };

    for (int s = 0; s <= kLastPage; ++s) {
        const Record &r = image->slot(s);
        const uint16_t page = uint16_t(s * kPageSize);
        if (!Write(page, r[0]))
            return lineDead();
        if (r[0] == 0)
            continue;
        ctx_.status(ctx_.tr(QStringLiteral("Program : "), QStringLiteral("Programm : ")) + NumText(s));
        ctx_.pump.processEvents();
        for (int k = 1; k <= r[7] + 7; ++k)
            if (!Write(uint16_t(page + k), r[k]))
                return lineDead();
    }

    for (int s = 0; s <= kLastPage; ++s) {
        const Record &r = image->slot(s);
        const uint16_t page = uint16_t(s * kPageSize);
        Verdict v = Check(s, page, r[0]);
        if (v == Verdict::Good && r[0] != 0) {
            ctx_.status(QStringLiteral("Verify : ") + NumText(s));
            ctx_.pump.processEvents();
            for (int k = 0; k <= r[7] + 7 && v == Verdict::Good; ++k)
                v = Check(s, uint16_t(page + k), r[k]);
        }
        if (v == Verdict::Dead)
            return lineDead();
        if (v == Verdict::Wrong)
            return false;
    }
    StartMaster();
    ctx_.status(QStringLiteral("Programming O.K"));
    return true;
}

// ---- Erase ------------------------------------------------------------------

bool Eeprom::EE_Erase_Click()
{
    if (!com_.BusyGuard())
        return false;
    ctx_.status(QStringLiteral("Erase EEProm"));
    bool ok = false;
    // Without a board nothing could answer: no point in waiting for it.
    if (conn_.connected()) {
        ReplyCatch reply(com_, ctx_.st.mbuf);
        reply.arm(MsgCode::EepromDone);
        if (Send(Job(JobCode::Eeprom, kErase), kEepromSendBudget)) {
            ctx_.pump.sleepMs(300);
            WaitReply(reply.got, kEepromReplyBudget);
            ctx_.pump.sleepMs(200);
        }
        ok = reply.got && reply.reply[2] == 0;
    }
    ctx_.status(ok ? QStringLiteral("Erasing EEProm OK") : QStringLiteral("Error Erasing EEProm"));
    com_.EndBusy();
    return ok;
}

// ---- Read (upload) ----------------------------------------------------------

bool Eeprom::Upload_Click()
{
    if (!com_.BusyGuard())
        return false;
    bool replaced = false;
    deadAt_ = -1;
    const ConfigStore store = conn_.link().traits().store;
    if (store == ConfigStore::NetworkFile)
        replaced = UploadNetwork();
    else if (store == ConfigStore::None)
        ctx_.status(QStringLiteral("Ravelin or TCP/IP Connection only !"));
    else
        replaced = UploadRecords(store);
    com_.EndBusy();
    return replaced;
}

bool Eeprom::UploadNetwork()
{
    const bool was = conn_.DisableTimer();
    ctx_.status(QStringLiteral("Loading local configurationfile ..."));
    ctx_.pump.processEvents();
    bool replaced = false;
    {
        QTemporaryDir dir(ctx_.root.path(QStringLiteral("_tmp_XXXXXX")));
        const QString file = dir.filePath(QStringLiteral("_tmp_.dp1"));
        if (dir.isValid() && conn_.link().readConfigFile(file) > 0) {
            // Loaded aside: a file without a master record or with a damaged
            // record leaves the configuration in memory as it is.
            QuietPrompts quiet;
            auto scratch = std::make_unique<State>();
            scratch->language = ctx_.st.language;
            Context aside{*scratch, quiet, ctx_.pump, ctx_.root};
            if (LoadConfigFile(aside, file) >= 0) {
                Commit(scratch->image);
                replaced = true;
            }
        }
    }
    ctx_.status(replaced ? QStringLiteral("Loaded local configurationfile") : QStringLiteral("No Config loaded"));
    conn_.RestoreTimer(was);
    return replaced;
}

bool Eeprom::UploadRecords(ConfigStore store)
{
    // Built aside and taken over only when complete.
    const auto got = std::make_unique<ConfigImage>();
    int loaded = -1; // +1 for the master record, +1 for each slave record
    int failedAt = 0;
    const bool complete = store == ConfigStore::Job ? UploadByJob(*got, loaded, failedAt) : UploadBytes(*got, loaded);
    panel_.timerEnabled = true;
    panel_.notify();
    const QString unchanged = ctx_.tr(QStringLiteral(" - configuration unchanged"), QStringLiteral(" - Konfiguration unverändert"));
    if (deadAt_ >= 0) {
        ctx_.status(ctx_.tr(QStringLiteral("Read stopped: no answer from the EEPROM at address%1"),
                            QStringLiteral("Lesen abgebrochen: keine Antwort vom EEPROM bei Adresse%1"))
                        .arg(NumText(deadAt_))
                    + unchanged);
    } else if (loaded < 0) {
        ctx_.status(ctx_.tr(QStringLiteral("Error: unvalid EEPROM data / no Busparameter "),
                            QString::fromUtf8("Fehler: EEPROM Daten ungüldig - kein Busparametersatz ")));
    } else if (!complete) {
        ctx_.status(QStringLiteral("Error loading Slave") + NumText(failedAt) + unchanged);
    } else {
        Commit(*got);
        ctx_.status(NumText(loaded)
                    + ctx_.tr(QStringLiteral(" Slave records loaded"), QString::fromUtf8(" Slaveparametersätze geladen")));
        return true;
    }
    return false;
}

bool Eeprom::UploadByJob(ConfigImage &got, int &loaded, int &failedAt)
{
    // The poll keeps running: its ticks take the replies in. With fast
    // download chosen the walk goes at the board's pace: the poll looks for
    // each reply every millisecond and the fixed pauses between jobs go.
    com_.walking = true;
    const auto walked = qScopeGuard([this] { com_.walking = false; });
    panel_.timerEnabled = true;
    panel_.notify();
    ReplyCatch reply(com_, ctx_.st.mbuf);
    reply.arm(MsgCode::MasterRead);
    ctx_.status(QStringLiteral("Loading Masterparameter "));
    if (!Send(Job(JobCode::ReadMaster, 0), kMasterSendBudget)) {
        ctx_.status(QStringLiteral("Timeout loading Masterparameter"));
        return false;
    }
    Settle(300);
    WaitReply(reply.got, kMasterReplyBudget);
    Settle(200);
    const int lm = reply.reply[7];
    if (!reply.got || !LengthsAgree(reply.reply, lm)) {
        ctx_.status(QStringLiteral("Error loading Masterparameter"));
        return false;
    }
    TakeRecord(got.slot(0), kMasterMarker, 0, reply.reply);
    loaded = 0;
    ctx_.status(QStringLiteral("Masterparameter loaded - Size: ") + QString::number(lm));

    ctx_.status(QStringLiteral("Reading actual configuration"));
    // Each reply names the next station that holds a record; 127 (or 0) ends
    // the walk. Stations only go up, so the walk ends after at most 125 replies.
    int station = 1;
    while (station != kWalkEnd && station != 0) {
        reply.arm(MsgCode::SlaveRead);
        Send(Job(JobCode::ReadSlave, uint8_t(station)), kSlaveSendBudget);
        Settle(200);
        WaitReply(reply.got, kSlaveReplyBudget);
        const auto &m = reply.reply;
        const int next = m[2];
        const int l = m[7];
        const bool nextOk = next == 0 || next == kWalkEnd || (next > station && next <= kMaxStation);
        if (!reply.got || m[3] != station || !nextOk || (l != 0 && !LengthsAgree(m, l))) {
            qCInfo(lcEeprom) << "slave read-back of" << station << "failed: reply" << reply.got << "station" << m[3] << "next"
                             << next << "L" << l;
            ctx_.status(QStringLiteral("Error loading Slave"));
            ctx_.pump.processEvents();
            ctx_.pump.sleepMs(500);
            failedAt = station;
            return false;
        }
        if (l != 0) {
            ++loaded;
            TakeRecord(got.slot(station), kSlaveMarker, station, m);
            ctx_.status(QStringLiteral("Loaded Slave %1 - Size: %2").arg(station).arg(l));
        }
        station = next;
    }
    return true;
}

bool Eeprom::UploadBytes(ConfigImage &got, int &loaded)
{
    conn_.DisableTimer();
    for (int s = 0; s <= kLastPage; ++s) {
        const uint16_t page = uint16_t(s * kPageSize);
        const uint8_t want = s == 0 ? kMasterMarker : kSlaveMarker;
        uint8_t marker = 0;
        uint8_t l = 0;
        if (!Read(page, marker))
            return false;
        if (marker != want) {
            if (s == 0)
                break; // no master record: nothing to take over
            continue;
        }
        if (!Read(uint16_t(page + 7), l))
            return false;
        if (l > kMaxPageL) { // the record would run past its page
            if (s == 0)
                break;
            continue;
        }
        ctx_.status(QStringLiteral("UpLoad : ") + NumText(s) + QStringLiteral(" = ") + NumText(l) + QString::fromUtf8(" Byte´s"));
        ctx_.pump.processEvents();
        Record rec;
        rec[0] = marker;
        for (int k = 1; k <= l + 7; ++k)
            if (!Read(uint16_t(page + k), rec[k]))
                return false;
        // A slave page must name its own station; one that names another
        // would file the record under the wrong station.
        if (s > 0 && rec[3] != s)
            continue;
        got.slot(s) = rec;
        ++loaded;
    }
    return true;
}

void Eeprom::Commit(const ConfigImage &got)
{
    State &st = ctx_.st;
    // As loading a file does: slots 0..100 are replaced, the stations above
    // only where a record arrived.
    for (int s = 0; s < kSlots; ++s)
        if (s <= kLastPage || got.hasSlave(s))
            st.image.slot(s) = got.slot(s);
    ResetListLines(st);
    for (int s = 1; s < kSlots; ++s)
        if (got.hasSlave(s))
            st.listLines[std::size_t(s - 1)] = ListLineFor(got.slot(s));
    ctx_.ui.listChanged();
}

} // namespace meridan
