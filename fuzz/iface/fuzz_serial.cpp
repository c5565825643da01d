// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary bytes on the serial line while the host polls for messages, reads
// DP-RAM bytes and the station lists, in frame mode and byte-wise; and the
// same bytes through the frame decoder alone.
#include "core/paths.h"
#include "core/pump.h"
#include "iface/hardware.h"
#include "iface/serial_frame.h"
#include "iface/serial_links.h"

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
    static Root root(QStringLiteral("/nonexistent-fuzz-root"));
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));

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

    // The line under a link.
    VirtualPump pump;
    LinkEnv env{root, pump, m, {}, {}};
    auto io = std::make_unique<BytesSerial>(pump);
    BytesSerial *port = io.get();
    port->rx = bytes;
    auto line = std::make_unique<SerialLine>(std::move(io), pump, m);
    HwChoice c = *ParseHwName(QStringLiteral("dromon:com2"));
    const bool frames = size > 0 && (data[0] & 1);
    std::unique_ptr<Link> link = frames ? std::make_unique<FrameLink>(env, TraitsFor(c), MapOf(c), std::move(line))
                                        : std::make_unique<SerialLink>(env, TraitsFor(c), MapOf(c), std::move(line));
    for (int i = 0; i < 8 && port->isOpen(); ++i) {
        link->orderLiveList(2 * i); // live lists are taken only for an index asked for
        link->getMessage();
        link->stationRunning(i * 17);
        link->stationDiagnosis(i * 13);
        if (!frames)
            link->getByte(0x400);
    }
    return 0;
}
