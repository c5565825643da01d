// SPDX-License-Identifier: GPL-3.0-or-later
#include "iface/driver.h"
#include "core/readfile.h"

#include "core/paths.h"
#include "core/pump.h"
#include "core/bytes.h"
#include "core/savefile.h"
#include "core/texts.h"
#include "iface/logging.h"
#include "iface/netproto.h"
#include "iface/zelpci_cfg.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QTcpSocket>

namespace meridan::iface {

namespace {

constexpr qint64 kTesselSize = 0x4000;

// Boot loader registers in the Tessel card's DP-RAM.
constexpr uint32_t kLdrCmd = 0x0D30;
constexpr uint32_t kLdrStatus = 0x0D31;
constexpr uint32_t kLdrCpu = 0x0D32;
constexpr uint32_t kLdrLen = 0x0D34;
constexpr uint32_t kLdrSeq = 0x0D36;
constexpr uint32_t kLdrWindow = 0x0800;
constexpr int kLdrChunk = 1024;
constexpr int kLdrHeader = 16;
constexpr qint64 kLdrMaxPayload = 0x40000;
constexpr int kLdrCommandMs = 1000;

uint32_t ReadHexFile(const QString &path, bool *ok)
{
    QFile f(path);
    *ok = false;
    if (!OpenRegularFile(f))
        return 0;
    const QByteArray text = f.read(64).trimmed();
    return text.toUInt(ok, 0);
}

QByteArray U32(uint32_t v)
{
    QByteArray b(4, '\0');
    putBe32({reinterpret_cast<uint8_t *>(b.data()), 4}, 0, v);
    return b;
}

QByteArray U16(uint16_t v)
{
    QByteArray b(2, '\0');
    putBe16({reinterpret_cast<uint8_t *>(b.data()), 2}, 0, v);
    return b;
}

QString ConnectError(const QTcpSocket &sock, int ms)
{
    switch (sock.error()) {
    case QAbstractSocket::ConnectionRefusedError: return QStringLiteral("connection refused");
    case QAbstractSocket::HostNotFoundError: return QStringLiteral("unknown host");
    case QAbstractSocket::SocketTimeoutError: return QStringLiteral("no answer within %1 ms").arg(ms);
    default: return sock.errorString();
    }
}

} // namespace

DriverLibrary::DriverLibrary(const Root &root, Pump &pump) : root_(root), pump_(pump) {}

DriverLibrary::~DriverLibrary()
{
    unmap();
    dropConnection();
}

// --- direct DP-RAM --------------------------------------------------------------

void DriverLibrary::unmap()
{
    if (mem_)
        file_.unmap(mem_);
    mem_ = nullptr;
    size_ = 0;
    if (file_.isOpen())
        file_.close();
}

bool DriverLibrary::mapFile(const QString &path, qint64 expectedSize, qint64 windowSize)
{
    unmap();
    if (path.isEmpty())
        return false;
    file_.setFileName(path);
    if (!file_.open(QIODevice::ReadWrite | QIODevice::ExistingOnly)) {
        qCDebug(lcDriver) << "cannot open" << path << file_.errorString();
        return false;
    }
    const qint64 have = file_.size();
    if ((expectedSize > 0 && have != expectedSize) || have < windowSize) {
        qCDebug(lcDriver) << path << "has" << have << "bytes, not a DP-RAM of" << windowSize;
        file_.close();
        return false;
    }
    mem_ = file_.map(0, windowSize);
    if (!mem_) {
        qCDebug(lcDriver) << "cannot map" << path << file_.errorString();
        file_.close();
        return false;
    }
    size_ = windowSize;
    qCDebug(lcDriver) << "mapped" << path << windowSize << "bytes";
    return true;
}

int32_t DriverLibrary::PCI_Init()
{
    const DriverConfig cfg = DriverConfig::load(root_);
    return mapFile(cfg.dpramFile(QStringLiteral("Tessel")), kTesselSize, kTesselSize) ? 1 : 0;
}

int32_t DriverLibrary::PCI_VmeInit(int32_t, int32_t slot)
{
    if (slot < 1 || slot > 15) {
        unmap();
        return 0;
    }
    const DriverConfig cfg = DriverConfig::load(root_);
    return mapFile(cfg.dpramFile(QStringLiteral("VME%1").arg(slot)), kTesselSize, kTesselSize) ? 1 : 0;
}

QString DriverLibrary::findPciResource(uint32_t deviceVendor, uint32_t subsystem, uint32_t windowSize) const
{
    const QDir dir(sysfsRoot);
    const QStringList devices = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System, QDir::Name);
    for (const QString &d : devices) {
        const QString base = dir.filePath(d) + QLatin1Char('/');
        bool okV = false, okD = false, okSV = false, okSD = false;
        const uint32_t vendor = ReadHexFile(base + QStringLiteral("vendor"), &okV);
        const uint32_t device = ReadHexFile(base + QStringLiteral("device"), &okD);
        const uint32_t subVendor = ReadHexFile(base + QStringLiteral("subsystem_vendor"), &okSV);
        const uint32_t subDevice = ReadHexFile(base + QStringLiteral("subsystem_device"), &okSD);
        if (!(okV && okD && okSV && okSD))
            continue;
        // Both words carry the device id high and the vendor id low.
        if (vendor != (deviceVendor & 0xFFFF) || device != (deviceVendor >> 16)
            || subVendor != (subsystem & 0xFFFF) || subDevice != (subsystem >> 16))
            continue;
        // The bridge's own registers sit in the small first BARs; the DP-RAM
        // is the first memory window large enough for it.
        for (int bar = 0; bar < 6; ++bar) {
            const QString res = base + QStringLiteral("resource%1").arg(bar);
            const QFileInfo fi(res);
            if (fi.exists() && fi.size() >= qint64(windowSize))
                return res;
        }
        qCDebug(lcDriver) << "board at" << base << "has no resource of" << windowSize << "bytes";
    }
    return {};
}

int32_t DriverLibrary::PCI_MapPciDevice(uint32_t deviceVendor, uint32_t subsystem, uint32_t windowSize)
{
    // The file named in zelpci.cfg first (the simulated board), then real hardware.
    const DriverConfig cfg = DriverConfig::load(root_);
    const QString file = cfg.dpramFile(QStringLiteral("Corvet"));
    if (!file.isEmpty() && QFileInfo::exists(file) && mapFile(file, windowSize, windowSize))
        return 1;
    const QString res = findPciResource(deviceVendor, subsystem, windowSize);
    return !res.isEmpty() && mapFile(res, 0, windowSize) ? 1 : 0;
}

uint8_t DriverLibrary::PCI_GetByte(uint32_t addr) const
{
    if (!mem_ || addr >= uint64_t(size_))
        return 0;
    return static_cast<const volatile uchar *>(mem_)[addr];
}

void DriverLibrary::PCI_SetByte(uint32_t addr, uint8_t value)
{
    if (!mem_ || addr >= uint64_t(size_))
        return;
    static_cast<volatile uchar *>(mem_)[addr] = value;
}

// --- firmware loading -----------------------------------------------------------

int32_t DriverLibrary::PCI_LoadCPU40(const QString &path)
{
    return load(path, 0x40);
}

int32_t DriverLibrary::PCI_LoadCPU331(const QString &path)
{
    return load(path, 0x31);
}

int32_t DriverLibrary::loaderCommand(uint8_t cmd)
{
    PCI_SetByte(kLdrCmd, cmd);
    const qint64 start = pump_.nowMs();
    // The board writes its status first, then clears the command byte.
    while (PCI_GetByte(kLdrCmd) != 0) {
        if (pump_.nowMs() - start >= kLdrCommandMs || (deadline && *deadline > 0 && pump_.nowMs() >= *deadline))
            return kLoadNoAnswer;
        pump_.sleepMs(1);
    }
    return PCI_GetByte(kLdrStatus);
}

int32_t DriverLibrary::load(const QString &path, uint8_t cpu)
{
    if (!mem_)
        return kLoadNoBoard;
    QFile f(path);
    if (!OpenRegularFile(f))
        return kLoadNoFile;
    // One chunk beyond the largest payload is enough for the board to see an
    // oversized image; the rest is not read.
    const QByteArray image = f.read(kLdrHeader + kLdrMaxPayload + kLdrChunk);
    if (image.size() < kLdrHeader)
        return kLoadShortFile;
    qCDebug(lcDriver) << "loading" << path << "into CPU" << Qt::hex << cpu;

    PCI_SetByte(kLdrCpu, cpu);
    for (int i = 0; i < kLdrHeader; ++i)
        PCI_SetByte(kLdrWindow + uint32_t(i), uint8_t(image[i]));
    if (const int32_t r = loaderCommand(0x01))
        return r;
    const QByteArray payload = image.mid(kLdrHeader);
    uint16_t seq = 0;
    for (qsizetype at = 0; at < payload.size(); at += kLdrChunk, ++seq) {
        const qsizetype len = std::min<qsizetype>(kLdrChunk, payload.size() - at);
        for (qsizetype i = 0; i < len; ++i)
            PCI_SetByte(kLdrWindow + uint32_t(i), uint8_t(payload[at + i]));
        PCI_SetByte(kLdrLen, uint8_t(len >> 8));
        PCI_SetByte(kLdrLen + 1, uint8_t(len));
        PCI_SetByte(kLdrSeq, uint8_t(seq >> 8));
        PCI_SetByte(kLdrSeq + 1, uint8_t(seq));
        if (const int32_t r = loaderCommand(0x02))
            return r;
    }
    return loaderCommand(0x03);
}

void DriverLibrary::Sleep(int ms)
{
    pump_.sleepMs(ms);
}

// --- network --------------------------------------------------------------------

bool DriverLibrary::connected() const
{
    return sock_ && sock_->state() == QAbstractSocket::ConnectedState;
}

bool DriverLibrary::ready(int32_t handle) const
{
    return handle == kInitExOk && connected();
}

void DriverLibrary::dropConnection()
{
    if (sock_) {
        sock_->abort();
        sock_.reset();
    }
    rx_.clear();
}

int32_t DriverLibrary::PCI_InitEx(const QString &target)
{
    dropConnection();
    netFailed_ = false;
    failure_.clear();
    timeoutMs_ = kDefaultTimeoutMs;
    const DriverConfig cfg = DriverConfig::load(root_);
    const auto ep = cfg.resolveTarget(target);
    if (!ep) {
        failure_ = QStringLiteral("%1: neither a target of zelpci.cfg nor host[:port]").arg(EchoText(target, 40));
        return kInitExBadTarget;
    }
    // Messages name the target as the user gave it, and where it led.
    const QString where = EndpointText(*ep);
    const QString given = EchoText(target.trimmed(), 40);
    endpoint_ = given.compare(where, Qt::CaseInsensitive) == 0 ? where : QStringLiteral("%1 at %2").arg(given, where);
    sock_ = std::make_unique<QTcpSocket>();
    sock_->connectToHost(ep->host, ep->port);
    // Name lookup and connect share one bound.
    const int connectMs = std::max(timeoutMs_, 2000);
    if (!sock_->waitForConnected(connectMs)) {
        qCDebug(lcNet) << "cannot reach" << ep->host << ep->port << sock_->errorString();
        failure_ = endpoint_ + QStringLiteral(": ") + ConnectError(*sock_, connectMs);
        dropConnection();
        return kInitExNoConnect;
    }
    sock_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    QByteArray hello = U16(net::kProtocolVersion);
    hello += QByteArrayLiteral("meridan");
    const auto reply = exchange(net::Hello, hello);
    const auto h = reply ? net::ParseHello(*reply) : std::nullopt;
    if (!h || h->version != net::kProtocolVersion) {
        if (reply)
            failure_ = endpoint_ + (h ? QStringLiteral(": protocol version %1, not %2").arg(h->version).arg(net::kProtocolVersion)
                                      : QStringLiteral(": a HELLO reply of %1 bytes").arg(reply->size()));
        else if (failure_.isEmpty())
            failure_ = endpoint_ + QStringLiteral(": no HELLO reply");
        dropConnection();
        netFailed_ = false;
        return kInitExNoHello;
    }
    helloFirmware_ = h->firmware;
    boardName_ = h->boardName;
    qCDebug(lcNet) << "connected to" << boardName_ << "firmware" << Qt::hex << helloFirmware_;
    return kInitExOk;
}

void DriverLibrary::PCI_DeInitEx(int32_t handle)
{
    if (ready(handle)) {
        const int saved = timeoutMs_;
        timeoutMs_ = std::min(timeoutMs_, 500);
        exchange(net::Bye, {});
        timeoutMs_ = saved;
    }
    dropConnection();
}

void DriverLibrary::PCI_SetTimeOut(int32_t ms, int32_t handle)
{
    if (ms <= 0 || !ready(handle))
        return;
    if (exchangeSized(net::SetTimeout, U32(uint32_t(ms)), 0))
        timeoutMs_ = ms;
}

std::optional<QByteArray> DriverLibrary::exchange(uint8_t type, const QByteArray &payload)
{
    auto fail = [&](const QString &why) -> std::optional<QByteArray> {
        qCDebug(lcNet) << "request" << Qt::hex << type << "failed:" << why;
        failure_ = endpoint_ + QStringLiteral(": ") + why;
        netFailed_ = true;
        dropConnection();
        return std::nullopt;
    };
    replyMissing_ = false;
    if (!connected())
        return fail(QStringLiteral("not connected"));
    const QDeadlineTimer deadline(timeoutMs_);
    sock_->write(net::Encode(type, payload));
    while (sock_->bytesToWrite() > 0) {
        if (!sock_->waitForBytesWritten(int(std::max<qint64>(deadline.remainingTime(), 0))))
            return fail(QStringLiteral("the request could not be sent"));
    }
    bool lastLook = false;
    for (;;) {
        rx_ += sock_->readAll();
        net::Frame f;
        switch (net::TakeFrame(rx_, f)) {
        case net::Take::Malformed:
            return fail(QStringLiteral("line fault: a reply frame that is not one"));
        case net::Take::Frame:
            if (f.type == uint8_t(type | 0x80))
                return f.payload;
            if (f.type == net::Error) {
                const uint8_t code = f.payload.size() > 1 ? uint8_t(f.payload[1]) : 0;
                const QString text = EchoText(QString::fromLatin1(f.payload.mid(2)));
                qCDebug(lcNet) << "board error" << code << text;
                if (code == net::kErrBoardBusy)
                    return fail(QStringLiteral("board busy: another program is connected"));
                if (code == net::kErrFrameTooLong || code == net::kErrIdle)
                    return fail(QStringLiteral("the board closed the connection: ") + text);
                failure_ = endpoint_ + QStringLiteral(": board error %1: %2").arg(code).arg(text);
                return std::nullopt;
            }
            return fail(QStringLiteral("line fault: a reply of type %1 to request %2").arg(HexUpper(f.type, 2), HexUpper(type, 2)));
        case net::Take::NeedMore:
            break;
        }
        if (deadline.hasExpired()) {
            // A reply that came while this program was not scheduled (a
            // loaded machine) is the board's answer in time: one last look.
            if (lastLook) {
                replyMissing_ = true;
                return fail(QStringLiteral("no reply within %1 ms").arg(timeoutMs_));
            }
            lastLook = true;
            sock_->waitForReadyRead(0);
            continue;
        }
        if (!sock_->waitForReadyRead(int(std::max<qint64>(deadline.remainingTime(), 1)))
            && sock_->state() != QAbstractSocket::ConnectedState)
            return fail(QStringLiteral("the board closed the connection"));
    }
}

void DriverLibrary::lineFault(const QString &what)
{
    qCWarning(lcNet).noquote() << "line fault:" << what;
    failure_ = endpoint_ + QStringLiteral(": line fault: ") + what;
    netFailed_ = true;
    dropConnection();
}

std::optional<QByteArray> DriverLibrary::exchangeSized(uint8_t type, const QByteArray &payload, qsizetype size)
{
    auto r = exchange(type, payload);
    if (r && size >= 0 && r->size() != size) {
        lineFault(QStringLiteral("a reply of %1 bytes to request %2, not %3").arg(r->size()).arg(HexUpper(type, 2)).arg(size));
        return std::nullopt;
    }
    return r;
}

uint8_t DriverLibrary::PCI_GetByteEx(uint32_t addr, int32_t handle)
{
    if (!ready(handle)) {
        netFailed_ = true;
        return 0;
    }
    const auto r = exchangeSized(net::GetByte, U32(addr), 1);
    return r ? uint8_t(r->at(0)) : 0;
}

void DriverLibrary::PCI_SetByteEx(uint32_t addr, uint8_t value, int32_t handle)
{
    if (!ready(handle)) {
        netFailed_ = true;
        return;
    }
    exchangeSized(net::SetByte, U32(addr) + QByteArray(1, char(value)), 0);
}

int32_t DriverLibrary::PCI_GetMultiByteEx(uint32_t addr, int32_t count, std::span<uint8_t> dst, int32_t handle)
{
    if (count <= 0 || count > 0xFFFF)
        return 0;
    if (!ready(handle)) {
        netFailed_ = true;
        return 0;
    }
    const auto r = exchangeSized(net::GetBlock, U32(addr) + U16(uint16_t(count)), count);
    if (!r)
        return 0;
    const std::size_t n = std::min<std::size_t>(std::size_t(count), dst.size());
    std::copy_n(reinterpret_cast<const uint8_t *>(r->constData()), n, dst.begin());
    return 1;
}

int32_t DriverLibrary::PCI_PutCommandEx(int32_t length, std::span<const uint8_t> job, int32_t handle)
{
    // The length argument is n + 7: the job is bytes 0 .. length.
    if (length < 7 || std::size_t(length) >= job.size())
        return 0;
    if (!ready(handle)) {
        netFailed_ = true;
        return 0;
    }
    const QByteArray bytes(reinterpret_cast<const char *>(job.data()), length + 1);
    const auto r = exchangeSized(net::PutCommand, bytes, 1);
    if (r && uint8_t(r->at(0)) > 1) {
        lineFault(QStringLiteral("a job answered with %1").arg(uint8_t(r->at(0))));
        return 0;
    }
    return r ? uint8_t(r->at(0)) : 0;
}

int32_t DriverLibrary::PCI_GetMeldeEx(int32_t most, std::span<uint8_t> dst, int32_t handle)
{
    if (!ready(handle)) {
        netFailed_ = true;
        return 0;
    }
    most = std::clamp(most, 0, 0xFFFF);
    const auto r = exchange(net::GetMelde, U16(uint16_t(most)));
    if (!r)
        return 0;
    // No message is one byte 0; a message is 1, then its header and the data
    // its byte 7 counts, never more than were asked for.
    const QByteArray msg = r->mid(1);
    const bool none = r->size() == 1 && r->at(0) == 0;
    const bool message = !r->isEmpty() && r->at(0) == 1 && msg.size() >= 8 && msg.size() == 8 + uint8_t(msg[7])
        && uint8_t(msg[7]) <= most;
    if (!none && !message) {
        lineFault(QStringLiteral("a message reply of %1 bytes").arg(r->size()));
        return 0;
    }
    if (none)
        return 0;
    const std::size_t n = std::min<std::size_t>(std::size_t(msg.size()), dst.size());
    std::copy_n(reinterpret_cast<const uint8_t *>(msg.constData()), n, dst.begin());
    return 1;
}

int32_t DriverLibrary::PCI_BurnEx(const QString &path, int32_t handle)
{
    QFile f(path);
    if (!OpenRegularFile(f))
        return -1;
    const QByteArray file = f.read(net::kMaxFrame - 1);
    if (!ready(handle)) {
        netFailed_ = true;
        return -1;
    }
    // Writing a whole EEPROM takes the board longer than a byte access.
    const int saved = timeoutMs_;
    timeoutMs_ = std::max(timeoutMs_, 10000);
    const auto r = exchangeSized(net::Burn, file, 3);
    timeoutMs_ = saved;
    return r ? (r->at(0) == 0 ? 0 : uint8_t(r->at(1))) : -1;
}

int32_t DriverLibrary::PCI_ReadConfEx(const QString &path, int32_t handle)
{
    if (!ready(handle)) {
        netFailed_ = true;
        return -1;
    }
    const int saved = timeoutMs_;
    timeoutMs_ = std::max(timeoutMs_, 10000);
    const auto r = exchange(net::ReadConf, {});
    timeoutMs_ = saved;
    if (!r)
        return -1;
    if (r->isEmpty() || uint8_t(r->at(0)) > 1) {
        lineFault(QStringLiteral("a configuration reply that begins with neither 0 nor 1"));
        return -1;
    }
    if (r->at(0) == 0)
        return 0;
    const QString why = WriteWholeFile(path, r->mid(1));
    if (!why.isEmpty()) {
        qCWarning(lcDriver).noquote() << path << "not written:" << why;
        return -1;
    }
    return 1;
}

} // namespace meridan::iface
