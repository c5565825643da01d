// SPDX-License-Identifier: GPL-3.0-or-later
#include "board.h"

#include <QFile>
#include <QJsonArray>
#include <QLoggingCategory>

#include <cstdio>

namespace meridan::sim {

Q_LOGGING_CATEGORY(lcBoard, "meridan.sim.board", QtWarningMsg)

namespace {
constexpr int FastPollMs = 1;
constexpr int IdlePollMs = 4;     // DP-RAM boards: the host may toggle at any time
constexpr int IdleWirePollMs = 20; // serial and TCP boards wake on received bytes
constexpr int StayFastMs = 1000;

QString hexBytes(const Bytes &b)
{
    QString s;
    s.reserve(static_cast<int>(b.size() * 3));
    for (std::size_t i = 0; i < b.size(); ++i) {
        char buf[4];
        std::snprintf(buf, sizeof buf, i ? " %02X" : "%02X", b[i]);
        s += QLatin1String(buf);
    }
    return s;
}
} // namespace

Board::Board(BoardConfig config, QObject *parent) : QObject(parent), cfg_(std::move(config))
{
    clock_.start();
    poll_.setTimerType(Qt::PreciseTimer);
    connect(&poll_, &QTimer::timeout, this, &Board::pollOnce);
}

Board::~Board()
{
    poll_.stop();
    net_.reset();
    pty_.reset();
    if (createdDpram_) {
        ram_.reset();
        QFile::remove(cfg_.dpramPath);
    }
}

void Board::logLine(const std::string &s) const
{
    qCDebug(lcBoard).noquote() << cfg_.name + QLatin1String(": ") + QString::fromStdString(s);
}

QString Board::endpoint() const
{
    if (isDpramFile(cfg_.kind))
        return QStringLiteral("dpram:") + cfg_.dpramPath;
    if (isSerial(cfg_.kind))
        return QStringLiteral("serial:") + cfg_.serialPath;
    return QStringLiteral("tcp:%1:%2").arg(cfg_.tcpHost).arg(tcpPort());
}

bool Board::start(QString *error)
{
    BoardMap map = mapFor(cfg_.kind);
    if (isDpramFile(cfg_.kind)) {
        std::string err;
        auto mapped = MappedDpRam::create(cfg_.dpramPath.toStdString(), map.size, &err);
        if (!mapped) {
            *error = QString::fromStdString(err);
            return false;
        }
        ram_ = std::move(mapped);
        createdDpram_ = true;
    } else {
        ram_ = std::make_unique<VectorDpRam>(map.size);
    }
    if (cfg_.eepromPath.isEmpty()) {
        eeprom_ = std::make_unique<Eeprom>();
    } else {
        std::string err;
        auto e = Eeprom::open(cfg_.eepromPath.toStdString(), &err);
        if (!e) {
            *error = QString::fromStdString(err);
            return false;
        }
        eeprom_ = std::make_unique<Eeprom>(std::move(*e));
    }
    Firmware::Options opt;
    opt.kind = cfg_.kind;
    opt.version = cfg_.version;
    opt.flaps = cfg_.flaps;
    for (const auto &[addr, count] : cfg_.weakCells)
        eeprom_->makeWeak(addr, count);
    fw_ = std::make_unique<Firmware>(*ram_, *eeprom_, cfg_.bus, opt);
    fw_->log = [this](const std::string &s) { logLine(s); };
    fw_->changed = [this] { Q_EMIT changed(); };
    fw_->powerUp(now());

    if (isSerial(cfg_.kind)) {
        SerialMonitor::Options mo;
        mo.frames = cfg_.version > 0x52;
        mo.terminalMode = cfg_.terminalMode;
        monitor_ = std::make_unique<SerialMonitor>(*fw_, *ram_, mo);
        monitor_->log = fw_->log;
        QString err;
        pty_ = PtyPort::open(cfg_.serialPath, cfg_.pace ? baudFor(cfg_.kind) : 0, &err);
        if (!pty_) {
            *error = err;
            return false;
        }
        connect(pty_.get(), &PtyPort::received, this, &Board::onSerial);
    } else if (isNetwork(cfg_.kind)) {
        std::uint8_t variant = cfg_.kind == BoardKind::Ketch ? 1 : 0;
        net_ = std::make_unique<NetServer>(*fw_, *ram_, cfg_.name, variant,
                                           [this] { return now(); });
        net_->log = fw_->log;
        connect(net_.get(), &NetServer::activity, this, [this] {
            lastActivity_ = now();
            if (poll_.interval() != FastPollMs)
                poll_.start(FastPollMs);
            Q_EMIT changed();
        });
        QString err;
        if (!net_->listen(cfg_.tcpHost, static_cast<quint16>(std::max(cfg_.tcpPort, 0)), &err)) {
            *error = err;
            return false;
        }
    }
    poll_.start(isDpramFile(cfg_.kind) ? IdlePollMs : IdleWirePollMs);
    logLine("started on " + endpoint().toStdString());
    return true;
}

void Board::pollOnce()
{
    std::int64_t t = now();
    bool did = fw_->poll(t);
    if (monitor_) {
        // Bytes that waited while this process was not scheduled count as come
        // in time: the frame time-out follows the line, not the machine's load.
        pty_->takePending();
        Bytes out = monitor_->tick(t);
        if (!out.empty())
            pty_->send(QByteArray(reinterpret_cast<const char *>(out.data()),
                                  static_cast<int>(out.size())));
    }
    if (did)
        lastActivity_ = t;
    // Poll every millisecond while the host is talking to us, slower when it is quiet,
    // so an idle board costs next to no CPU and a job is still answered within 4 ms.
    int idle = isDpramFile(cfg_.kind) ? IdlePollMs : IdleWirePollMs;
    int want = t - lastActivity_ < StayFastMs ? FastPollMs : idle;
    if (poll_.interval() != want)
        poll_.start(want);
}

void Board::onSerial(const QByteArray &bytes)
{
    std::int64_t t = now();
    Bytes out = monitor_->feed(reinterpret_cast<const std::uint8_t *>(bytes.constData()),
                               static_cast<std::size_t>(bytes.size()), t);
    if (!out.empty())
        pty_->send(QByteArray(reinterpret_cast<const char *>(out.data()),
                              static_cast<int>(out.size())));
    lastActivity_ = t;
    if (poll_.interval() != FastPollMs)
        poll_.start(FastPollMs);
    Q_EMIT changed();
}

QJsonObject Board::snapshot() const
{
    QJsonObject o;
    o[QStringLiteral("name")] = cfg_.name;
    o[QStringLiteral("kind")] = QString::fromStdString(kindName(cfg_.kind));
    o[QStringLiteral("endpoint")] = endpoint();
    std::uint8_t v = fw_->version();
    o[QStringLiteral("firmware")] = QStringLiteral("%1.%2").arg(v >> 4).arg(v & 15);
    o[QStringLiteral("running")] = fw_->running();
    o[QStringLiteral("bootLoader")] = fw_->inLoader();
    o[QStringLiteral("mode")] = QString::fromStdString(modeText(fw_->mode()));
    o[QStringLiteral("modeCode")] = static_cast<int>(fw_->mode());
    const Bytes &m = fw_->masterRecord();
    o[QStringLiteral("master")] = m.empty() ? QJsonValue() : QJsonValue(hexBytes(m));
    QJsonArray stations;
    for (const auto &[s, rec] : fw_->slaveRecords()) {
        QJsonObject so;
        so[QStringLiteral("station")] = s;
        so[QStringLiteral("state")] = QString::fromStdString(slaveStateText(fw_->slaveState(s)));
        so[QStringLiteral("record")] = hexBytes(rec);
        const auto out = fw_->receivedOutputs().find(s);
        so[QStringLiteral("outputs")] = out == fw_->receivedOutputs().end() ? QJsonValue() : QJsonValue(hexBytes(out->second));
        stations.append(so);
    }
    o[QStringLiteral("stations")] = stations;

    const Eeprom &e = fw_->eeprom();
    Eeprom::Config ec = e.config();
    QJsonObject eo;
    eo[QStringLiteral("file")] = QString::fromStdString(e.path());
    eo[QStringLiteral("master")] = !ec.master.empty();
    QJsonArray es;
    for (const auto &[s, rec] : ec.slaves)
        es.append(s);
    eo[QStringLiteral("slaves")] = es;
    eo[QStringLiteral("burns")] = e.burns;
    eo[QStringLiteral("weakWrites")] = e.weakWrites;
    eo[QStringLiteral("erases")] = e.erases;
    o[QStringLiteral("eeprom")] = eo;

    const Firmware::Counts &c = fw_->counts();
    QJsonObject jobs, jobsBy, msgs, msgsBy;
    for (const auto &[code, n] : c.jobsByCode)
        jobsBy[QStringLiteral("%1").arg(code, 2, 16, QLatin1Char('0')).toUpper()] = n;
    for (const auto &[code, n] : c.messagesByCode)
        msgsBy[QStringLiteral("%1").arg(code, 2, 16, QLatin1Char('0')).toUpper()] = n;
    jobs[QStringLiteral("total")] = c.jobs;
    jobs[QStringLiteral("byCode")] = jobsBy;
    msgs[QStringLiteral("posted")] = c.messages;
    msgs[QStringLiteral("queued")] = static_cast<int>(fw_->queuedMessages());
    msgs[QStringLiteral("byCode")] = msgsBy;
    o[QStringLiteral("jobs")] = jobs;
    o[QStringLiteral("messages")] = msgs;
    o[QStringLiteral("globalControls")] = c.globalControls;
    o[QStringLiteral("stops")] = c.stops;
    o[QStringLiteral("eepromStarts")] = c.eepromStarts;
    o[QStringLiteral("imagesLoaded")] = c.imagesLoaded;
    if (net_) {
        o[QStringLiteral("tcpPort")] = tcpPort();
        o[QStringLiteral("clientConnected")] = net_->hasClient();
        o[QStringLiteral("clientsRefused")] = net_->refused();
        o[QStringLiteral("timeoutMs")] = static_cast<qint64>(net_->timeoutMs());
    }
    if (monitor_)
        o[QStringLiteral("monitorMode")] = QString(QChar::fromLatin1(monitor_->modeLetter()));
    return o;
}

} // namespace meridan::sim
