// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary bytes on the serial line: through the frame decoder alone, then
// as what the host's receiver takes in while it polls for messages and live
// lists (frame mode) or waits for the replies to its reads and writes.
#include "core/pump.h"
#include "iface/serial_frame.h"
#include "iface/serial_line.h"

using namespace meridan;
using namespace meridan::iface;

namespace {

// The line as the fuzzer feeds it; a wait lets virtual time pass, as a real
// port's wait lets real time pass.
class BytesSerial : public SerialIo {
public:
    explicit BytesSerial(Pump &pump) : pump_(pump) {}
    QByteArray rx;
    bool opened = true;
    bool open(const QString &, int) override { return opened = true; }
    void close() override { opened = false; }
    bool isOpen() const override { return opened; }
    qint64 bytesAvailable() override { return opened ? rx.size() : 0; }
    QByteArray read(qint64 max) override
    {
        const QByteArray b = rx.left(max);
        rx.remove(0, b.size());
        return b;
    }
    void write(const QByteArray &) override {}
    bool waitForReadyRead(int ms) override
    {
        pump_.sleepMs(ms);
        return false;
    }

private:
    Pump &pump_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));

    // The decoder alone, frame after frame.
    std::array<uint8_t, 512> m{};
    for (qsizetype at = 0; at < bytes.size();) {
        const QByteArrayView rest = QByteArrayView(bytes).sliced(at);
        const qsizetype need = SerialFrameSize(rest);
        if (need > rest.size())
            break;
        const QByteArrayView frame = rest.first(need);
        SerialFrameToMessage(frame, m);
        if (IsLiveListFrame(frame))
            LiveListOf(frame);
        at += need;
    }

    // The receiver of a line: the bytes wait in the port. The operation's
    // deadline bounds every wait, so a reply that never completes costs a
    // few polls, not a whole time-out.
    VirtualPump pump;
    auto io = std::make_unique<BytesSerial>(pump);
    BytesSerial *port = io.get();
    port->rx = bytes.mid(1);
    SerialLine line(std::move(io), pump, m);
    const qint64 deadline = 4 * kPollMs;
    line.deadline = &deadline;
    if (size > 0 && (data[0] & 1)) {
        // Frame mode: messages and live lists, the lists only for indexes asked for.
        for (int i = 0; i < 17; i += 2)
            line.orderLiveList(uint8_t(i));
        for (int guard = 0; guard < 64 && port->bytesAvailable() > 0; ++guard)
            line.receiveMessage();
    } else {
        // Byte-wise: reply text to reads and writes, with frames between.
        for (int guard = 0; guard < 8 && port->bytesAvailable() > 0; ++guard) {
            line.read(0x400);
            line.write(0x3000, 0x5A);
        }
    }
    return 0;
}
