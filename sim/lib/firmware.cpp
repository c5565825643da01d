// SPDX-License-Identifier: GPL-3.0-or-later
#include "firmware.h"

#include "crc32.h"

#include <algorithm>
#include <cstdio>

namespace meridan::sim {

std::string modeText(Mode m)
{
    switch (m) {
    case Mode::Offline:
        return "Offline";
    case Mode::Stop:
        return "Stop";
    case Mode::Clear:
        return "Clear";
    case Mode::Operate:
        return "Operate";
    }
    return "?";
}

std::string slaveStateText(SlaveState s)
{
    switch (s) {
    case SlaveState::Idle:
        return "idle";
    case SlaveState::Running:
        return "running";
    case SlaveState::PrmFault:
        return "Prm Fault";
    case SlaveState::CfgFault:
        return "Cfg Fault";
    case SlaveState::NonExistent:
        return "Station Non existent";
    }
    return "?";
}

Bytes Message::bytes() const
{
    Bytes b(head.begin(), head.end());
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

namespace {

std::uint8_t busStateValue(Mode m)
{
    return static_cast<std::uint8_t>(static_cast<std::uint8_t>(m) >> 6);
}

bool validMode(std::uint8_t code)
{
    return code == 0x00 || code == 0x40 || code == 0x80 || code == 0xC0;
}

bool busActive(Mode m)
{
    return m == Mode::Clear || m == Mode::Operate;
}

std::uint16_t be16(const Bytes &b, std::size_t at)
{
    if (at + 1 >= b.size())
        return 0;
    return static_cast<std::uint16_t>(b[at] << 8 | b[at + 1]);
}

std::string hexList(const Bytes &b, std::size_t max = 16)
{
    std::string s;
    char buf[4];
    for (std::size_t i = 0; i < b.size() && i < max; ++i) {
        std::snprintf(buf, sizeof buf, "%02X ", b[i]);
        s += buf;
    }
    if (b.size() > max)
        s += "...";
    return s;
}

Message makeMessage(std::uint8_t code, std::uint8_t status = 0, std::uint8_t param = 0)
{
    Message m;
    m.head[0] = code;
    m.head[2] = status;
    m.head[3] = param;
    return m;
}

} // namespace

Firmware::Firmware(DpRam &ram, Eeprom &eeprom, SimBus bus, Options options)
    : ram_(ram), eeprom_(eeprom), bus_(std::move(bus)), opt_(options), map_(mapFor(options.kind)),
      version_(options.version), flapOn_(opt_.flaps.size(), false)
{
}

void Firmware::note(const std::string &text)
{
    if (log)
        log(text);
}

void Firmware::notify()
{
    dirty_ = false;
    if (changed)
        changed();
}

void Firmware::writeFixedBytes()
{
    if (map_.signature) {
        ram_.set(0x000C, 'Z');
        ram_.set(0x000D, 'E');
        ram_.set(0x000E, 'L');
    }
    if (map_.versionByte)
        ram_.set(*map_.versionByte, version_);
    if (map_.loader)
        ram_.set(loader::Request, cpu40Loaded_ ? 0 : 1);
    for (auto a : map_.busState)
        ram_.set(a, busStateValue(mode_));
    ram_.set(map_.startByte, ReadyMark);
}

void Firmware::powerUp(std::int64_t now)
{
    now_ = now;
    ram_.fill(0);
    phase_ = Phase::Running;
    mode_ = Mode::Offline;
    master_.clear();
    slaves_.clear();
    states_.clear();
    received_.clear();
    queue_.clear();
    load_ = {};
    cpu40Loaded_ = false;
    writeFixedBytes();
    note("power-up: firmware " + std::to_string(version_ >> 4) + "." +
         std::to_string(version_ & 15) + " ready");
    notify();
}

bool Firmware::poll(std::int64_t now)
{
    now_ = now;
    bool did = false;
    switch (phase_) {
    case Phase::Booting:
        if (now >= phaseUntil_) {
            bootDone();
            did = true;
        }
        break;
    case Phase::Loader:
        if (ram_.get(loader::Cmd) != 0) {
            pollLoader(now);
            did = true;
        } else if (now >= phaseUntil_) {
            note("boot loader: no image within the time-out, booting the previous firmware");
            bootDone();
            did = true;
        }
        break;
    case Phase::Running: {
        std::uint8_t sb = ram_.get(map_.startByte);
        if (sb != ReadyMark) {
            did = true;
            if (sb == 1)
                stopMaster(now);
            else if (sb == 0)
                startFromEeprom();
            else
                ram_.set(map_.startByte, ReadyMark);
        }
        if (phase_ != Phase::Running)
            break;
        if (map_.loader && ram_.get(loader::Cmd) != 0) {
            // Loader commands only count after a stop; say so instead of hanging the host.
            ram_.set(loader::Status, 0x15);
            ram_.set(loader::Cmd, 0);
            note("boot loader: command while the firmware runs, refused (0x15)");
            did = true;
        }
        std::uint8_t j = ram_.get(map_.jobToggle), m = ram_.get(map_.masterToggle);
        if ((j ^ m) & 1) {
            takeJob();
            did = true;
        }
        break;
    }
    }
    if (phase_ == Phase::Running) {
        if (!queue_.empty()) {
            std::uint8_t j = ram_.get(map_.jobToggle), m = ram_.get(map_.masterToggle);
            if (!((j ^ m) & 2)) {
                postMessage();
                did = true;
            }
        }
        if (busActive(mode_) && !opt_.flaps.empty())
            updateFlaps();
        if (busActive(mode_) && now >= nextInputs_) {
            updateInputs();
            nextInputs_ = now + opt_.inputPeriodMs;
        }
    }
    if (dirty_)
        notify();
    return did;
}

void Firmware::stopMaster(std::int64_t now)
{
    ++counts_.stops;
    master_.clear();
    slaves_.clear();
    queue_.clear();
    setMode(Mode::Offline);
    // Restart the mailboxes: nothing pending in either direction.
    std::uint8_t j = ram_.get(map_.jobToggle), m = ram_.get(map_.masterToggle);
    ram_.set(map_.masterToggle, static_cast<std::uint8_t>((m & ~3) | (j & 3)));
    load_ = {};
    if (map_.loader) {
        phase_ = Phase::Loader;
        phaseUntil_ = now + opt_.loaderTimeoutMs;
        ram_.set(loader::Status, 0);
        ram_.set(loader::Cmd, 0);
        note("start byte 1: master stopped, boot loader waits for an image");
    } else {
        phase_ = Phase::Booting;
        phaseUntil_ = now + opt_.bootDelayMs;
        note("start byte 1: master stopped, restarting");
    }
    dirty_ = true;
}

void Firmware::bootDone()
{
    phase_ = Phase::Running;
    writeFixedBytes();
    note("firmware ready (start byte R)");
    dirty_ = true;
}

void Firmware::startFromEeprom()
{
    ++counts_.eepromStarts;
    Eeprom::Config cfg = eeprom_.config();
    master_ = cfg.master;
    slaves_.clear();
    for (auto &[s, rec] : cfg.slaves)
        slaves_[s] = rec;
    ram_.set(map_.startByte, ReadyMark);
    Message a8 = makeMessage(msg::ModeReport);
    a8.head[4] = 2;
    if (!master_.empty()) {
        note("start byte 0: starting from the EEPROM with " + std::to_string(slaves_.size()) +
             " slave record(s)");
        setMode(Mode::Operate);
        a8.head[3] = static_cast<std::uint8_t>(Mode::Operate);
        a8.head[5] = 3;
        queue(a8);
        autoClear();
    } else {
        note("start byte 0: the EEPROM holds no configuration, staying Offline");
        setMode(Mode::Offline);
        queue(a8);
    }
    dirty_ = true;
}

void Firmware::takeJob()
{
    std::uint8_t j = ram_.get(map_.jobToggle);
    std::uint32_t n = ram_.get(map_.jobArea + 7);
    std::uint32_t len = std::min<std::uint32_t>(8 + n, MailboxAreaSize);
    Bytes job(len);
    for (std::uint32_t i = 0; i < len; ++i)
        job[i] = ram_.get(map_.jobArea + i);
    job[7] = static_cast<std::uint8_t>(len - 8);
    ++counts_.jobs;
    ++counts_.jobsByCode[job[0]];
    if (log) { // the text only when someone reads it: jobs come thousands a second
        char head[64];
        std::snprintf(head, sizeof head, "job %02X param %02X n %u: ", job[0], job[3], len - 8);
        note(head + hexList(job));
    }

    switch (job[0]) {
    case job::SetMode:
        doSetMode(job);
        break;
    case job::MasterRecord:
        doMasterRecord(job);
        break;
    case job::SlaveRecord:
        doSlaveRecord(job);
        break;
    case job::Diagnosis:
        doDiagnosis(job);
        break;
    case job::ReadMaster:
        doReadMaster();
        break;
    case job::ReadSlave:
        doReadSlave(job);
        break;
    case job::GlobalControl:
        ++counts_.globalControls;
        lastGc_ = job[3];
        if (log) {
            char head[64];
            std::snprintf(head, sizeof head, "Global Control address %u control %02X group %02X",
                          job[1], job[3], job[4]);
            note(head);
        }
        break;
    case job::Eeprom:
        doEeprom(job);
        break;
    default:
        queue(makeMessage(msg::Refused, 0xFF, job[0]));
        break;
    }
    // Acknowledge only after the reply is queued: the host then never sees an
    // acknowledged job without its answer on the way.
    std::uint8_t m = ram_.get(map_.masterToggle);
    ram_.set(map_.masterToggle, static_cast<std::uint8_t>((m & ~1) | (j & 1)));
    dirty_ = true;
}

void Firmware::queue(Message m)
{
    if (m.data.size() > MaxMessageData)
        m.data.resize(MaxMessageData);
    m.head[7] = static_cast<std::uint8_t>(m.data.size());
    if (queue_.size() >= MaxQueue) {
        auto a8 = std::find_if(queue_.begin(), queue_.end(),
                               [](const Message &q) { return q.code() == msg::ModeReport; });
        queue_.erase(a8 != queue_.end() ? a8 : queue_.begin());
    }
    queue_.push_back(std::move(m));
}

void Firmware::postMessage()
{
    Message m = std::move(queue_.front());
    queue_.pop_front();
    Bytes b = m.bytes();
    for (std::size_t i = 0; i < b.size(); ++i)
        ram_.set(map_.messageArea + static_cast<std::uint32_t>(i), b[i]);
    std::uint8_t j = ram_.get(map_.jobToggle), mt = ram_.get(map_.masterToggle);
    ram_.set(map_.masterToggle, static_cast<std::uint8_t>((mt & ~2) | (~j & 2)));
    ++counts_.messages;
    ++counts_.messagesByCode[m.code()];
    if (log) {
        char head[48];
        std::snprintf(head, sizeof head, "message %02X status %02X param %02X n %u: ", m.head[0],
                      m.head[2], m.head[3], m.head[7]);
        note(head + hexList(b));
    }
    dirty_ = true;
}

void Firmware::setMode(Mode m)
{
    if (m != mode_)
        note("mode " + modeText(mode_) + " -> " + modeText(m));
    if (!busActive(m) || !busActive(mode_))
        flapOn_.assign(opt_.flaps.size(), false);
    if (!busActive(m))
        activeSince_ = -1;
    else if (!busActive(mode_))
        activeSince_ = now_;
    mode_ = m;
    for (auto a : map_.busState)
        ram_.set(a, busStateValue(m));
    evaluateBus();
    if (!busActive(m))
        received_.clear(); // no data exchange: nothing reaches the slaves
    nextInputs_ = now_;
    dirty_ = true;
}

void Firmware::evaluateBus()
{
    states_.clear();
    std::array<std::uint8_t, 32> lists{};
    if (busActive(mode_)) {
        for (const auto &[s, rec] : slaves_) {
            const BusSlave *bs = bus_.find(s);
            SlaveState st;
            SlaveView v = viewSlave(rec);
            if (!bs)
                st = SlaveState::NonExistent;
            else if (v.ident != bs->ident)
                st = SlaveState::PrmFault;
            else if (v.cfg != bs->cfg)
                st = SlaveState::CfgFault;
            else if (flapOn(s, Flap::Kind::DropOut))
                st = SlaveState::NonExistent; // dropped out: the slave no longer answers
            else
                st = SlaveState::Running;
            states_[s] = st;
            auto bit = static_cast<std::uint8_t>(1u << (s % 8));
            if (st == SlaveState::Running)
                lists[static_cast<std::size_t>(s / 8)] |= bit;
            if (st != SlaveState::Running || !extDiag(s, *bs).empty())
                lists[static_cast<std::size_t>(16 + s / 8)] |= bit;
        }
    }
    for (std::uint32_t i = 0; i < lists.size(); ++i)
        ram_.set(map_.stationLists + i, lists[i]);
}

bool Firmware::anyFailing() const
{
    return std::any_of(states_.begin(), states_.end(),
                       [](const auto &kv) { return kv.second != SlaveState::Running; });
}

void Firmware::autoClear()
{
    bool autoClearOn = master_.size() > 27 && (master_[27] & 0x80);
    if (mode_ != Mode::Operate || !autoClearOn || !anyFailing())
        return;
    note("auto-clear: a slave failed, Operate -> Clear");
    setMode(Mode::Clear);
    Message a8 = makeMessage(msg::ModeReport, 0, static_cast<std::uint8_t>(Mode::Clear));
    a8.head[4] = 1;
    a8.head[5] = 2;
    queue(a8);
}

void Firmware::updateInputs()
{
    // One bus cycle for every slave in data exchange: it gets its outputs (in
    // Clear the master sends zeros), then its inputs land in the input image.
    Bytes buf;
    std::map<int, Bytes> received;
    for (const auto &[s, st] : states_) {
        if (st != SlaveState::Running)
            continue;
        const BusSlave *bs = bus_.find(s);
        SlaveView v = viewSlave(slaves_.at(s));
        if (!bs || !v.complete)
            continue;
        IoLengths io = decodeIoLengths(v.cfg);
        Bytes &out = received[s];
        out.assign(static_cast<std::size_t>(io.output), 0);
        for (int k = 0; k < io.output && mode_ == Mode::Operate; ++k) {
            std::uint32_t off = v.outputOffset + static_cast<std::uint32_t>(k);
            if (off < OutputImageSize)
                out[static_cast<std::size_t>(k)] = ram_.get(map_.base + OutputImageOffset + off);
        }
        inputBytes(*bs, inputTick_, io.input, out, buf);
        for (int k = 0; k < io.input; ++k) {
            std::uint32_t off = v.inputOffset + static_cast<std::uint32_t>(k);
            if (off < InputImageSize)
                ram_.set(map_.base + off, buf[static_cast<std::size_t>(k)]);
        }
    }
    if (received != received_) {
        received_ = std::move(received);
        dirty_ = true;
    }
    ++inputTick_;
}

void Firmware::updateFlaps()
{
    bool changed = false;
    for (std::size_t i = 0; i < opt_.flaps.size(); ++i) {
        const Flap &f = opt_.flaps[i];
        const bool on = flapActive(f, now_ - activeSince_);
        if (on == flapOn_[i])
            continue;
        flapOn_[i] = on;
        changed = true;
        const std::string who = "flap: station " + std::to_string(f.station);
        if (f.kind == Flap::Kind::DropOut)
            note(who + (on ? " drops out" : " is back"));
        else
            note(who + (on ? " diagnosis on" : " diagnosis off"));
    }
    if (!changed)
        return;
    evaluateBus();
    autoClear();
    dirty_ = true;
}

bool Firmware::flapOn(int station, Flap::Kind kind) const
{
    for (std::size_t i = 0; i < opt_.flaps.size(); ++i)
        if (opt_.flaps[i].station == station && opt_.flaps[i].kind == kind && flapOn_[i])
            return true;
    return false;
}

Bytes Firmware::extDiag(int station, const BusSlave &slave) const
{
    const bool flapping = std::any_of(opt_.flaps.begin(), opt_.flaps.end(), [&](const Flap &f) {
        return f.station == station && f.kind == Flap::Kind::Diagnosis;
    });
    if (!flapping)
        return slave.extDiag;
    if (!flapOn(station, Flap::Kind::Diagnosis))
        return {};
    return slave.extDiag.empty() ? flapDiagnosis() : slave.extDiag;
}

SlaveState Firmware::slaveState(int station) const
{
    auto it = states_.find(station);
    return it == states_.end() ? SlaveState::Idle : it->second;
}

void Firmware::doSetMode(const Bytes &j)
{
    std::uint8_t code = j[3];
    std::uint8_t status = 0;
    if (!validMode(code))
        status = 1;
    else if (busActive(static_cast<Mode>(code)) && master_.empty())
        status = 2;
    if (status == 0)
        setMode(static_cast<Mode>(code));
    queue(makeMessage(msg::ModeDone, status, code));
    if (status == 0)
        autoClear();
}

void Firmware::doMasterRecord(const Bytes &j)
{
    std::uint8_t status = 0;
    if (busActive(mode_))
        status = 4;
    else if (j[7] != 66 || be16(j, 8) != 66)
        status = 2;
    else if (j[10] > 125 || j[11] > 9)
        status = 3;
    if (status == 0)
        master_ = j;
    queue(makeMessage(msg::MasterLoaded, status));
}

namespace {
// 0 when the record's lengths agree with each other.
bool slaveLengthsAgree(const Bytes &j)
{
    if (j.size() < 10)
        return false;
    unsigned spl = be16(j, 8);
    if (spl < 35 || spl > 504)
        return false;
    if (j[7] != std::min(spl, 244u))
        return false;
    bool truncated = spl > 244;
    std::size_t received = j.size(), pos = 24;
    for (int k = 0; k < 4; ++k) {
        if (pos + 2 > received)
            return truncated;
        unsigned len = be16(j, pos);
        if (len < (k == 0 ? 9u : 2u))
            return false;
        pos += len;
    }
    return pos == 8 + spl;
}
} // namespace

void Firmware::doSlaveRecord(const Bytes &j)
{
    std::uint8_t station = j[3];
    std::uint8_t status = 0;
    if (busActive(mode_))
        status = 4;
    else if (station < 1 || station > 125)
        status = 1;
    else if (!slaveLengthsAgree(j))
        status = 2;
    if (status == 0)
        slaves_[station] = j;
    queue(makeMessage(msg::SlaveLoaded, status, station));
}

Bytes Firmware::diagnosis(int s) const
{
    const BusSlave *bs = bus_.find(s);
    auto ident = [&](Bytes b) {
        b.push_back(bs ? static_cast<std::uint8_t>(bs->ident >> 8) : 0);
        b.push_back(bs ? static_cast<std::uint8_t>(bs->ident & 0xFF) : 0);
        return b;
    };
    auto it = slaves_.find(s);
    if (it != slaves_.end() && busActive(mode_)) {
        switch (slaveState(s)) {
        case SlaveState::Running: {
            const Bytes ext = extDiag(s, *bs);
            bool wd = viewSlave(it->second).watchdog;
            Bytes d = ident({static_cast<std::uint8_t>(ext.empty() ? 0x00 : 0x08),
                             static_cast<std::uint8_t>(0x04 | (wd ? 0x08 : 0)), 0x00, ownAddress()});
            d.insert(d.end(), ext.begin(), ext.end());
            return d;
        }
        case SlaveState::PrmFault:
            return ident({0x40, 0x05, 0x00, 0xFF});
        case SlaveState::CfgFault: {
            if (!bs->reportModules)
                return ident({0x04, 0x05, 0x00, ownAddress()});
            Bytes d = ident({0x0C, 0x05, 0x00, ownAddress()});
            Bytes r = moduleReport(viewSlave(it->second).cfg, bs->cfg);
            d.insert(d.end(), r.begin(), r.end());
            return d;
        }
        case SlaveState::NonExistent:
        case SlaveState::Idle:
            return {0x01, 0x00, 0x00, 0xFF, 0x00, 0x00};
        }
    }
    if (bs)
        return ident({0x02, 0x05, 0x00, 0xFF});
    return {0x01, 0x00, 0x00, 0xFF, 0x00, 0x00};
}

void Firmware::doDiagnosis(const Bytes &j)
{
    std::uint8_t s = j[3];
    Message m = makeMessage(msg::Diagnosis, 0, s);
    if (s > 125)
        m.head[2] = 1;
    else
        m.data = diagnosis(s);
    queue(std::move(m));
}

void Firmware::doReadMaster()
{
    Message m = makeMessage(msg::MasterRecord);
    if (master_.size() < 8) {
        m.head[2] = 1;
    } else {
        for (int i = 1; i <= 6; ++i)
            m.head[static_cast<std::size_t>(i)] = master_[static_cast<std::size_t>(i)];
        m.data.assign(master_.begin() + 8, master_.end());
    }
    queue(std::move(m));
}

void Firmware::doReadSlave(const Bytes &j)
{
    std::uint8_t s = j[3];
    auto next = slaves_.upper_bound(s);
    Message m = makeMessage(msg::SlaveRecord, next == slaves_.end() ? 127 : static_cast<std::uint8_t>(next->first), s);
    if (auto it = slaves_.find(s); it != slaves_.end()) {
        const Bytes &r = it->second;
        m.head[1] = r[1];
        for (std::size_t i = 4; i <= 6; ++i)
            m.head[i] = r[i];
        m.data.assign(r.begin() + 8, r.end());
    }
    queue(std::move(m));
}

void Firmware::doEeprom(const Bytes &j)
{
    std::uint8_t code = 0;
    if (j[3] == 1) {
        note("EEPROM erase");
        if (!eeprom_.erase())
            code = 4;
    } else if (j[3] == 2) {
        std::vector<std::pair<int, Bytes>> pages;
        if (master_.empty())
            code = 1;
        else
            pages.emplace_back(0, master_);
        for (const auto &[s, r] : slaves_) {
            if (be16(r, 8) != r[7]) // a record longer than a job delivered
                code = code ? code : 3;
            pages.emplace_back(s, r);
        }
        if (code == 0) {
            note("EEPROM burn: master and " + std::to_string(slaves_.size()) + " slave record(s)");
            if (!eeprom_.writePages(pages))
                code = 4;
        }
    } else {
        code = 5;
    }
    queue(makeMessage(msg::Eeprom, code, code));
}

void Firmware::pollLoader(std::int64_t now)
{
    std::uint8_t cmd = ram_.get(loader::Cmd);
    phaseUntil_ = now + opt_.loaderTimeoutMs;
    std::uint8_t status = loaderCommand(cmd);
    ram_.set(loader::Status, status);
    ram_.set(loader::Cmd, 0);
}

std::uint8_t Firmware::loaderCommand(std::uint8_t cmd)
{
    auto fail = [&](std::uint8_t code, const std::string &why) {
        load_ = {};
        loaderError_ = why;
        char buf[16];
        std::snprintf(buf, sizeof buf, " (0x%02X)", code);
        note("boot loader: " + why + buf);
        return code;
    };
    std::uint8_t cpu = ram_.get(loader::Cpu);
    switch (cmd) {
    case 0x01: {
        load_ = {};
        if (cpu != 0x40 && cpu != 0x31)
            return fail(0x16, "unknown CPU");
        Bytes h(16);
        for (std::uint32_t i = 0; i < 16; ++i)
            h[i] = ram_.get(loader::Window + i);
        if (h[0] != 'D' || h[1] != 'P' || h[2] != 'F' || h[3] != 'W')
            return fail(0x10, "bad magic");
        if (h[4] != cpu)
            return fail(0x11, "image kind does not match the CPU");
        std::uint32_t len = static_cast<std::uint32_t>(h[8]) << 24 | h[9] << 16 | h[10] << 8 | h[11];
        if (len == 0 || len > 0x40000)
            return fail(0x12, "bad image length");
        load_.begun = true;
        load_.cpu = cpu;
        load_.version = h[5];
        load_.length = len;
        load_.crc = static_cast<std::uint32_t>(h[12]) << 24 | h[13] << 16 | h[14] << 8 | h[15];
        load_.payload.reserve(len);
        return 0;
    }
    case 0x02: {
        if (!load_.begun)
            return fail(0x14, "data without begin");
        std::uint16_t len = ram_.get16(loader::Len), seq = ram_.get16(loader::Seq);
        if (seq != load_.nextSeq)
            return fail(0x14, "chunk out of order");
        if (len == 0 || len > loader::WindowSize || load_.payload.size() + len > load_.length)
            return fail(0x12, "bad chunk length");
        for (std::uint32_t i = 0; i < len; ++i)
            load_.payload.push_back(ram_.get(loader::Window + i));
        ++load_.nextSeq;
        return 0;
    }
    case 0x03: {
        if (!load_.begun)
            return fail(0x14, "end without begin");
        if (load_.payload.size() != load_.length)
            return fail(0x12, "image incomplete");
        if (crc32(load_.payload) != load_.crc)
            return fail(0x13, "checksum mismatch");
        ++counts_.imagesLoaded;
        loaderError_.clear();
        if (load_.cpu == 0x40) {
            cpu40Loaded_ = true;
            ram_.set(loader::Request, 0);
            note("boot loader: 040 image loaded");
        } else {
            version_ = load_.version;
            phase_ = Phase::Booting;
            phaseUntil_ = now_ + opt_.bootDelayMs;
            note("boot loader: 331 image loaded, booting");
        }
        load_ = {};
        dirty_ = true;
        return 0;
    }
    default:
        return fail(0x16, "unknown loader command");
    }
}

bool MailboxHost::putJob(const Bytes &job)
{
    std::uint8_t j = ram_.get(map_.jobToggle), m = ram_.get(map_.masterToggle);
    if ((j ^ m) & 1)
        return false;
    std::size_t len = std::min<std::size_t>(job.size(), MailboxAreaSize);
    for (std::size_t i = 0; i < len; ++i)
        ram_.set(map_.jobArea + static_cast<std::uint32_t>(i), job[i]);
    ram_.set(map_.jobToggle, static_cast<std::uint8_t>(j ^ 1));
    return true;
}

bool MailboxHost::messageWaiting() const
{
    return ((ram_.get(map_.jobToggle) ^ ram_.get(map_.masterToggle)) & 2) != 0;
}

std::optional<Bytes> MailboxHost::getMessage()
{
    if (!messageWaiting())
        return std::nullopt;
    std::uint32_t n = ram_.get(map_.messageArea + 7);
    std::uint32_t len = std::min<std::uint32_t>(8 + n, MailboxAreaSize);
    Bytes b(len);
    for (std::uint32_t i = 0; i < len; ++i)
        b[i] = ram_.get(map_.messageArea + i);
    std::uint8_t j = ram_.get(map_.jobToggle), m = ram_.get(map_.masterToggle);
    ram_.set(map_.jobToggle, static_cast<std::uint8_t>((j & ~2) | (m & 2)));
    return b;
}

} // namespace meridan::sim
