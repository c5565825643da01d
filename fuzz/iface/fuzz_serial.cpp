// Arbitrary bytes on the serial line while the host polls for messages, reads
// DP-RAM bytes and the station lists, in frame mode and byte-wise.
#include "core/context.h"
#include "iface/board.h"
#include "iface/mailbox.h"
#include "iface/serial.h"
#include "iface/serialio.h"

using namespace meridan;

namespace {

// The line as the fuzzer feeds it; a wait lets virtual time pass, as a real
// port's wait lets real time pass.
class BytesSerial : public iface::SerialIo {
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
    State st;
    CliPrompts ui;
    ui.quiet = true;
    VirtualPump pump;
    Context ctx{st, ui, pump, root};
    auto io = std::make_unique<BytesSerial>(pump);
    BytesSerial *line = io.get();
    iface::Board board(root, pump, std::move(io));
    ctx.board = &board;
    st.interfaceKind = 3;
    const bool frames = size > 0 && (data[0] & 1);
    board.frameMode = frames;
    line->rx = QByteArray(reinterpret_cast<const char *>(data), int(size));
    for (int i = 0; i < 8 && line->isOpen(); ++i) {
        iface::GetMeld(ctx);
        iface::StationRun(ctx, uint8_t(i * 17));
        iface::StationDia(ctx, uint8_t(i * 13));
        if (!frames)
            iface::SerRead(ctx, 0x400);
    }
    return 0;
}
