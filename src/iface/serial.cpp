#include "iface/serial.h"

#include "core/context.h"
#include "core/texts.h"
#include "iface/board.h"
#include "iface/logging.h"

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

uint8_t Take(SerialIo &io)
{
    const QByteArray b = io.read(1);
    return b.isEmpty() ? 0 : uint8_t(b[0]);
}

// Reply text up to the next NAK, then at most one frame. Returns true when a
// complete message landed in the message buffer. The pending flag is left alone.
bool TakeIn(Context &ctx, Board &b, QByteArray &reply)
{
    SerialIo &io = *b.serial;
    auto &m = ctx.st.mbuf;
    for (;;) {
        bool nak = false;
        while (io.bytesAvailable() > 0) {
            const uint8_t c = Take(io);
            if (c == kNak) {
                nak = true;
                break;
            }
            reply.append(char(c));
        }
        if (!nak)
            return false;
        if (!SerialWaitForBytes(ctx, 4, kFrameWaitMs)) {
            qCDebug(lcSerial) << "frame header did not arrive; abandoned";
            return false;
        }
        m[0] = Take(io);
        switch (m[0]) {
        case 0x00:
            m[2] = Take(io);
            m[3] = Take(io);
            m[7] = Take(io);
            if (m[2] == 1) {
                if (!SerialWaitForBytes(ctx, 4, kFrameWaitMs)) {
                    qCDebug(lcSerial) << "live list did not arrive; abandoned";
                    return false;
                }
                const uint8_t v[4] = {Take(io), Take(io), Take(io), Take(io)};
                // The lists have 17 bytes; an index from a confused line must
                // not reach past them.
                const std::size_t i = m[3];
                for (std::size_t k = 0; k < 2; ++k) {
                    if (i + k < b.runList.size()) {
                        b.runList[i + k] = v[k];
                        b.diaList[i + k] = v[2 + k];
                    }
                }
                b.liveRequestCounter = 0;
                b.liveMissCounter = 0;
            }
            continue; // more frames or reply text may follow
        case 0xB0:
            m[4] = Take(io);
            m[5] = Take(io);
            m[7] = Take(io);
            break;
        case 0xA8:
            m[3] = Take(io);
            m[5] = Take(io);
            m[7] = Take(io);
            break;
        case 0xAA:
            m[3] = Take(io);
            m[4] = Take(io);
            m[7] = Take(io);
            break;
        default: {
            m[2] = Take(io);
            m[3] = Take(io);
            m[7] = Take(io);
            const int n = m[7];
            if (n > 0 && !SerialWaitForBytes(ctx, n, kFrameWaitMs)) {
                qCDebug(lcSerial) << "message data did not arrive; abandoned";
                return false;
            }
            const QByteArray data = io.read(n);
            for (int k = 0; k < data.size(); ++k)
                m[std::size_t(8 + k)] = uint8_t(data[k]);
            break;
        }
        }
        qCDebug(lcSerial) << "message" << Qt::hex << m[0];
        b.msgRequestCounter = 0;
        return true;
    }
}

// The drain before a command: a message taken in is kept for the next
// GetMeld when `keepMessages`, then whatever else is waiting is dropped.
void Drain(Context &ctx, Board &b, bool keepMessages)
{
    SerialIo &io = *b.serial;
    for (int round = 0; round < kMaxDrainRounds && io.bytesAvailable() > 0; ++round) {
        QByteArray text;
        if (TakeIn(ctx, b, text) && keepMessages)
            b.msgPending = 1;
        b.reply = ReadString(ctx);
    }
}

// Sends a command and collects its reply text until it has `need`
// characters or `polls` polls ran out. False on time-out.
bool Exchange(Context &ctx, Board &b, const QByteArray &command, int need, int polls, bool keepMessages)
{
    SerialIo &io = *b.serial;
    qCDebug(lcSerial) << "send" << command;
    io.write(command);
    b.reply.clear();
    int counter = polls;
    do {
        if (io.bytesAvailable() < need)
            io.waitForReadyRead(kPollMs);
        --counter;
        if (io.bytesAvailable() >= need && TakeIn(ctx, b, b.reply) && keepMessages)
            b.msgPending = 1;
    } while (counter > 0 && b.reply.size() < need);
    qCDebug(lcSerial) << "reply" << b.reply << (counter == 0 ? "(time-out)" : "");
    return counter > 0 || b.reply.size() >= need;
}

uint8_t ReadCommand(Context &ctx, char letter, uint16_t address, bool keepMessages)
{
    Board *b = BoardOf(ctx);
    if (!b)
        return 0;
    const int16_t pendingBefore = b->msgPending;
    Drain(ctx, *b, keepMessages);
    if (!keepMessages)
        b->msgPending = pendingBefore;
    const bool ok = Exchange(ctx, *b, Command(letter, address), 3, kReplyPolls, keepMessages);
    b->serialTimeout = !ok;
    if (!ok)
        ctx.ui.message(QStringLiteral("timeout"), QString());
    return uint8_t(LeadingHex(b->reply.mid(1, 2)));
}

} // namespace

uint32_t LeadingHex(const QByteArray &digits)
{
    uint32_t v = 0;
    for (char c : digits) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else
            break;
        v = v * 16 + uint32_t(d);
    }
    return v;
}

double LeadingNumber(const QByteArray &text)
{
    QByteArray t = text.trimmed();
    int end = 0;
    if (end < t.size() && (t[end] == '+' || t[end] == '-'))
        ++end;
    bool dot = false;
    while (end < t.size() && (std::isdigit(uchar(t[end])) || (t[end] == '.' && !dot))) {
        dot = dot || t[end] == '.';
        ++end;
    }
    bool ok = false;
    const double v = t.left(end).toDouble(&ok);
    return ok && std::isfinite(v) ? v : 0.0;
}

uint8_t ReadByte(Context &ctx)
{
    Board *b = BoardOf(ctx);
    return b ? Take(*b->serial) : 0;
}

QByteArray ReadString(Context &ctx)
{
    Board *b = BoardOf(ctx);
    if (!b)
        return {};
    return b->serial->read(b->serial->bytesAvailable());
}

void ReceiveMeld(Context &ctx, QByteArray &reply, int16_t &messageFlag)
{
    messageFlag = 0;
    Board *b = BoardOf(ctx);
    if (!b)
        return;
    // A message taken in while a command waited is reported now, even when
    // the port closed since; a closed port has nothing new.
    if (b->msgPending != 0) {
        b->msgPending = 0;
        messageFlag = 1;
        return;
    }
    if (!b->serial->isOpen())
        return;
    messageFlag = TakeIn(ctx, *b, reply) ? 1 : 0;
}

uint8_t SerRead(Context &ctx, uint16_t address)
{
    return ReadCommand(ctx, 'R', address, true);
}

uint8_t EERead(Context &ctx, uint16_t address)
{
    return ReadCommand(ctx, 'L', address, false);
}

void SerWrite(Context &ctx, uint16_t address, uint8_t value)
{
    Board *b = BoardOf(ctx);
    if (!b)
        return;
    if (b->serial->bytesAvailable() > 0) {
        QByteArray text;
        if (TakeIn(ctx, *b, text))
            b->msgPending = 1;
        b->reply = ReadString(ctx);
    }
    const bool ok = Exchange(ctx, *b, Command('W', address, value), 1, kReplyPolls, true);
    b->serialTimeout = !ok;
    if (!ok)
        ctx.ui.message(QStringLiteral("timeout"), QString());
}

void EEWrite(Context &ctx, uint16_t address, uint8_t value)
{
    Board *b = BoardOf(ctx);
    if (!b)
        return;
    if (b->serial->bytesAvailable() > 0) {
        QByteArray text;
        TakeIn(ctx, *b, text);
        b->reply = ReadString(ctx);
    }
    const bool ok = Exchange(ctx, *b, Command('P', address, value), 1, kEepromWritePolls, false);
    b->reply = ReadString(ctx);
    b->serialTimeout = !ok;
}

void SerialSend(Context &ctx, const QByteArray &bytes)
{
    Board *b = BoardOf(ctx);
    if (b && b->serial->isOpen()) {
        qCDebug(lcSerial) << "send" << bytes.toHex(' ');
        b->serial->write(bytes);
    }
}

void SendJob(Context &ctx)
{
    Board *b = BoardOf(ctx);
    if (!b || !b->serial->isOpen())
        return;
    const Record &r = ctx.st.record;
    const int n = r[7];
    QByteArray frame;
    frame.reserve(4 + n);
    frame.append('D').append(char(r[0])).append(char(r[3])).append(char(r[7]));
    for (int i = 0; i < n; ++i)
        frame.append(char(r[8 + i]));
    SerialSend(ctx, frame);
}

uint8_t OrderMeld(Context &ctx, uint8_t parameter)
{
    Board *b = BoardOf(ctx);
    if (!b || !b->serial->isOpen())
        return 0;
    SerialSend(ctx, QByteArray("D\0", 2) + char(parameter) + '\0');
    return 1;
}

uint8_t OrderLiveDiag(Context &ctx, uint8_t byteIndex)
{
    Board *b = BoardOf(ctx);
    if (!b || !b->serial->isOpen())
        return 0;
    SerialSend(ctx, QByteArray("D\0\1", 3) + char(byteIndex));
    return 1;
}

bool SerialWaitForBytes(Context &ctx, qint64 count, int ms)
{
    Board *b = BoardOf(ctx);
    if (!b)
        return false;
    SerialIo &io = *b->serial;
    const qint64 deadline = ctx.pump.nowMs() + ms;
    while (io.bytesAvailable() < count) {
        const qint64 left = deadline - ctx.pump.nowMs();
        if (left <= 0 || !io.isOpen())
            return false;
        io.waitForReadyRead(int(std::min<qint64>(left, kPollMs)));
    }
    return true;
}

void SerialCollect(Context &ctx, int ms)
{
    Board *b = BoardOf(ctx);
    if (!b || !b->serial->isOpen()) {
        ctx.pump.sleepMs(ms);
        return;
    }
    const qint64 deadline = ctx.pump.nowMs() + ms;
    for (qint64 left = ms; left > 0; left = deadline - ctx.pump.nowMs()) {
        if (!b->serial->isOpen()) {
            ctx.pump.sleepMs(int(left));
            return;
        }
        b->serial->waitForReadyRead(int(std::min<qint64>(left, 50)));
    }
}

void SerialWait(Context &ctx, int32_t ms)
{
    Board *b = BoardOf(ctx);
    if (!b || !b->serial->isOpen()) {
        ctx.pump.sleepMs(ms);
        return;
    }
    SerialIo &io = *b->serial;
    const int full = int(std::lround(ms / double(kPollMs)));
    // A master that never falls silent would keep restarting the count; give
    // up after four times the quiet time asked for.
    const qint64 giveUp = ctx.pump.nowMs() + 4 * qint64(std::max(ms, 0)) + kPollMs;
    int n = full;
    while (n >= 1 && ctx.pump.nowMs() < giveUp) {
        if (io.bytesAvailable() > 0) {
            io.discardInput();
            n = full;
            continue;
        }
        ctx.pump.processEvents();
        const qint64 before = ctx.pump.nowMs();
        if (!io.waitForReadyRead(kPollMs) || !io.isOpen()) {
            // Closed meanwhile, or nothing came: the whole step has passed.
            const qint64 spent = ctx.pump.nowMs() - before;
            if (spent < kPollMs)
                ctx.pump.sleepMs(int(kPollMs - spent));
            --n;
        }
    }
}

void SerialModeCheck(Context &ctx)
{
    Board *b = BoardOf(ctx);
    if (!b || !b->serial->isOpen())
        return;
    b->serial->discardInput();
    SerialSend(ctx, QByteArrayLiteral("!\r"));
    SerialCollect(ctx, 500);
    if (b->serial->bytesAvailable() <= 0)
        return;
    const QByteArray answer = ReadString(ctx);
    const QByteArray mode = answer.mid(3);
    qCDebug(lcSerial) << "monitor mode" << mode;
    if (mode == "O") {
        SerialSend(ctx, QByteArrayLiteral("P\r"));
        SerialCollect(ctx, 500);
    }
}

} // namespace meridan::iface
