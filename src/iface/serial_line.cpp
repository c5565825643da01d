// SPDX-License-Identifier: GPL-3.0-or-later
#include "iface/serial_line.h"

#include "core/image.h"
#include "core/numbers.h"
#include "core/pump.h"
#include "core/texts.h"
#include "iface/logging.h"
#include "iface/serial_frame.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace meridan::iface {

namespace {

// A line that keeps sending while the host drains it: stop draining after this
// many rounds rather than follow it for ever.
constexpr int kMaxDrainRounds = 64;

QByteArray Command(char letter, uint16_t address)
{
    return QByteArray(1, letter) + HexUpper(address).toLatin1() + '\r';
}

QByteArray Command(char letter, uint16_t address, uint8_t value)
{
    return QByteArray(1, letter) + HexUpper(address).toLatin1() + ',' + HexUpper(value).toLatin1() + '\r';
}

} // namespace

SerialLine::SerialLine(std::unique_ptr<SerialIo> io, Pump &pump, std::array<uint8_t, 512> &mbuf)
    : io_(std::move(io)), pump_(pump), mbuf_(mbuf)
{
}

// Reply text up to the next NAK, then at most one frame. Returns true when a
// complete message landed in the message buffer. Live-list frames are taken
// in on the way and the reading goes on.
bool SerialLine::takeIn(QByteArray &reply)
{
    for (;;) {
        bool nak = false;
        while (io_->bytesAvailable() > 0) {
            const QByteArray c = io_->read(1);
            if (c.isEmpty())
                break;
            if (uint8_t(c[0]) == kNak) {
                nak = true;
                break;
            }
            reply.append(c);
        }
        if (!nak)
            return false;
        QByteArray frame;
        for (qsizetype size = SerialFrameSize(frame); size > frame.size(); size = SerialFrameSize(frame)) {
            if (!waitForBytes(size - frame.size(), kFrameWaitMs)) {
                qCDebug(lcSerial) << "frame incomplete after" << frame.size() << "bytes; abandoned";
                return false;
            }
            frame += io_->read(size - frame.size());
        }
        if (IsLiveListFrame(frame)) {
            takeLiveList(frame);
            continue; // more frames or reply text may follow
        }
        if (!SerialFrameToMessage(frame, mbuf_))
            continue; // more frames or reply text may follow
        qCDebug(lcSerial) << "message" << Qt::hex << mbuf_[0];
        msgRequestCounter = 0;
        return true;
    }
}

// Two bytes of each station list. The lists have 17 bytes, and the frame
// carries four: anything else is not a live-list frame but a confused or
// faked line. A frame for an index nobody asked for (a late answer to an
// earlier connection's request) is not believed either.
void SerialLine::takeLiveList(QByteArrayView frame)
{
    const LiveListPart p = LiveListOf(frame);
    const int length = uint8_t(frame[3]);
    if (length != 4 || p.index < 0 || p.index >= int(runList.size())) {
        lineFault(QStringLiteral("a live-list frame for byte %1 with %2 bytes").arg(p.index).arg(length));
        return;
    }
    const uint32_t bit = 1u << p.index;
    if (!(liveAsked_ & bit)) {
        qCDebug(lcSerial) << "live list for byte" << p.index << "not asked for; ignored";
        return;
    }
    liveAsked_ &= ~bit;
    for (std::size_t k = 0; k < 2; ++k) {
        const std::size_t i = std::size_t(p.index) + k;
        if (i < runList.size()) {
            runList[i] = p.run[k];
            diaList[i] = p.dia[k];
        }
    }
    liveRequestCounter = 0;
    liveMissCounter = 0;
}

void SerialLine::lineFault(const QString &what)
{
    qCWarning(lcSerial).noquote() << "line fault:" << what;
    fault = QStringLiteral("line fault: ") + what;
    lineFaulted = true;
    timedOut = true;
}

bool SerialLine::pastDeadline() const
{
    return deadline && *deadline > 0 && pump_.nowMs() >= *deadline;
}

qint64 SerialLine::until(qint64 wanted) const
{
    return deadline && *deadline > 0 ? std::min(wanted, *deadline) : wanted;
}

// The drain before a command: a message taken in is kept for the next
// message poll when `keepMessages`, then whatever else is waiting is dropped.
void SerialLine::drain(bool keepMessages)
{
    for (int round = 0; round < kMaxDrainRounds && io_->bytesAvailable() > 0; ++round) {
        QByteArray text;
        if (takeIn(text) && keepMessages)
            msgPending_ = true;
        reply_ = readString();
    }
}

// Sends a command and collects its reply text until it has `need`
// characters, `polls` polls ran out or the deadline passed. False on time-out.
bool SerialLine::exchange(const QByteArray &command, int need, int polls, bool keepMessages)
{
    reply_.clear();
    if (pastDeadline()) {
        qCDebug(lcSerial) << "deadline passed; not sent:" << command;
        return false;
    }
    qCDebug(lcSerial) << "send" << command;
    io_->write(command);
    int counter = polls;
    do {
        if (reply_.size() + io_->bytesAvailable() < need)
            io_->waitForReadyRead(int(std::clamp<qint64>(until(pump_.nowMs() + kPollMs) - pump_.nowMs(), 0, kPollMs)));
        --counter;
        // The reply may come in pieces, a live-list frame before it: what has
        // come is taken in, and the reply counts what it holds so far.
        if (io_->bytesAvailable() > 0 && takeIn(reply_) && keepMessages)
            msgPending_ = true;
    } while (counter > 0 && reply_.size() < need && !pastDeadline());
    const bool ok = reply_.size() >= need;
    qCDebug(lcSerial) << "reply" << reply_ << (ok ? "" : "(time-out)");
    return ok;
}

// A reply begins with the letter of its command; a read's value follows as
// two hexadecimal digits. Anything else is not the answer to this command.
bool SerialLine::checkReply(const QByteArray &command, bool withValue)
{
    const auto hex = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
    if (!reply_.isEmpty() && reply_[0] == command[0] && (!withValue || (reply_.size() >= 3 && hex(reply_[1]) && hex(reply_[2]))))
        return true;
    lineFault(QStringLiteral("reply \"%1\" to %2").arg(EchoText(QString::fromLatin1(reply_.left(16))),
                                                       QString::fromLatin1(command.trimmed())));
    return false;
}

void SerialLine::finishCommand(bool ok, const QByteArray &command, bool withValue, bool tellTimeout)
{
    if (!ok) {
        timedOut = true;
        fault = QStringLiteral("no reply to %1").arg(QString::fromLatin1(command.trimmed()));
        // Part of a reply that came too late must not pass for the start of
        // the next one.
        io_->discardInput();
        if (tellTimeout && onTimeout)
            onTimeout();
        return;
    }
    timedOut = !checkReply(command, withValue);
    if (timedOut)
        io_->discardInput();
}

uint8_t SerialLine::readCommand(char letter, uint16_t address, bool keepMessages)
{
    const bool pendingBefore = msgPending_;
    drain(keepMessages);
    if (!keepMessages)
        msgPending_ = pendingBefore;
    const QByteArray command = Command(letter, address);
    finishCommand(exchange(command, 3, kReplyPolls, keepMessages), command, true, true);
    return uint8_t(LeadingHex(QLatin1StringView(reply_.mid(1, 2)), 0xFF).value_or(0));
}

// A message waiting before a write is taken in first and kept.
void SerialLine::takePending()
{
    if (io_->bytesAvailable() > 0) {
        QByteArray text;
        if (takeIn(text))
            msgPending_ = true;
        reply_ = readString();
    }
}

uint8_t SerialLine::read(uint16_t address)
{
    return readCommand('R', address, true);
}

uint8_t SerialLine::eepromRead(uint16_t address)
{
    return readCommand('L', address, false);
}

void SerialLine::write(uint16_t address, uint8_t value)
{
    takePending();
    const QByteArray command = Command('W', address, value);
    finishCommand(exchange(command, 1, kReplyPolls, true), command, false, true);
}

void SerialLine::eepromWrite(uint16_t address, uint8_t value)
{
    if (io_->bytesAvailable() > 0) {
        QByteArray text;
        takeIn(text);
        reply_ = readString();
    }
    const QByteArray command = Command('P', address, value);
    const bool ok = exchange(command, 1, kEepromWritePolls, false);
    finishCommand(ok, command, false, false);
    reply_ = readString();
}

bool SerialLine::receiveMessage()
{
    // A message taken in while a command waited is reported now, even when
    // the port closed since; a closed port has nothing new.
    if (msgPending_) {
        msgPending_ = false;
        return true;
    }
    if (!io_->isOpen())
        return false;
    QByteArray text;
    return takeIn(text);
}

QByteArray SerialLine::readString()
{
    return io_->read(io_->bytesAvailable());
}

void SerialLine::send(const QByteArray &bytes)
{
    if (io_->isOpen()) {
        qCDebug(lcSerial) << "send" << bytes.toHex(' ');
        io_->write(bytes);
    }
}

void SerialLine::sendJob(const Record &r)
{
    if (!io_->isOpen())
        return;
    const int n = r[7];
    QByteArray frame;
    frame.reserve(4 + n);
    frame.append('D').append(char(r[0])).append(char(r[3])).append(char(r[7]));
    for (int i = 0; i < n; ++i)
        frame.append(char(r[8 + i]));
    send(frame);
}

void SerialLine::orderMessage(uint8_t parameter)
{
    send(QByteArray("D\0", 2) + char(parameter) + '\0');
}

void SerialLine::orderLiveList(uint8_t byteIndex)
{
    if (byteIndex < runList.size())
        liveAsked_ |= 1u << byteIndex;
    send(QByteArray("D\0\1", 3) + char(byteIndex));
}

bool SerialLine::waitForBytes(qint64 count, int ms)
{
    // The wait follows the board's pace: while bytes keep coming it goes on,
    // and it ends when `ms` pass with none. Bytes that came while this
    // program was not scheduled are taken in before it gives up.
    qint64 have = io_->bytesAvailable();
    qint64 giveUp = until(pump_.nowMs() + ms);
    while (have < count) {
        if (!io_->isOpen())
            return false;
        const qint64 left = giveUp - pump_.nowMs();
        io_->waitForReadyRead(int(std::clamp<qint64>(left, 0, kPollMs)));
        const qint64 now = io_->bytesAvailable();
        if (now > have) {
            have = now;
            giveUp = until(pump_.nowMs() + ms);
        } else if (left <= 0) {
            return false;
        }
    }
    return true;
}

// Lets `ms` pass while the port keeps receiving into its buffer.
void SerialLine::collect(int ms)
{
    const qint64 deadline = until(pump_.nowMs() + ms);
    for (qint64 left = deadline - pump_.nowMs(); left > 0; left = deadline - pump_.nowMs()) {
        if (!io_->isOpen()) {
            pump_.sleepMs(int(left));
            return;
        }
        io_->waitForReadyRead(int(std::min<qint64>(left, 50)));
    }
}

void SerialLine::quietWait(int ms)
{
    if (!io_->isOpen()) {
        pump_.sleepMs(int(std::max<qint64>(0, until(pump_.nowMs() + ms) - pump_.nowMs())));
        return;
    }
    const int full = int(std::lround(ms / double(kPollMs)));
    // A master that never falls silent would keep restarting the count; give
    // up after four times the quiet time asked for.
    const qint64 giveUp = until(pump_.nowMs() + 4 * qint64(std::max(ms, 0)) + kPollMs);
    int n = full;
    while (n >= 1 && pump_.nowMs() < giveUp) {
        if (io_->bytesAvailable() > 0) {
            io_->discardInput();
            n = full;
            continue;
        }
        pump_.processEvents();
        const qint64 before = pump_.nowMs();
        if (!io_->waitForReadyRead(kPollMs) || !io_->isOpen()) {
            // Closed meanwhile, or nothing came: the whole step has passed.
            const qint64 spent = pump_.nowMs() - before;
            if (spent < kPollMs)
                pump_.sleepMs(int(kPollMs - spent));
            --n;
        }
    }
}

void SerialLine::resync()
{
    if (!io_->isOpen())
        return;
    io_->discardInput();
    send(QByteArrayLiteral("\r"));
    quietWait(kResyncQuietMs);
}

void SerialLine::modeCheck()
{
    if (!io_->isOpen())
        return;
    io_->discardInput();
    send(QByteArrayLiteral("!\r"));
    // The answer ends in the mode letter, its fourth character: it is awaited
    // at the board's pace (not a fixed half second), and the line must then
    // fall quiet, so that nothing of it passes for the next command's reply.
    waitForBytes(kModeAnswer, kModeAnswerMs);
    const QByteArray answer = readString();
    quietWait(kResyncQuietMs);
    if (answer.isEmpty())
        return;
    const QByteArray mode = answer.mid(3);
    qCDebug(lcSerial) << "monitor mode" << mode;
    if (mode == "O") {
        send(QByteArrayLiteral("P\r"));
        collect(500);
    }
}

} // namespace meridan::iface
