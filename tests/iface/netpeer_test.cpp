// SPDX-License-Identifier: GPL-3.0-or-later
// The network backend against a scripted peer that answers with whatever a
// test gives it: broken frames, wrong replies, silence, a hang-up.
#include "fakes.h"
#include "iface/driver.h"
#include "iface/netproto.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <thread>

using namespace meridan;
using namespace meridan::iface;
using namespace meridan::test;

namespace {

QByteArray Hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

const QByteArray kHelloOk = Hex("00 00 00 16 81 00 01 00 53 00 00 40 00 00 01 00 00 4F 53 39 54 61 72 67 65 74");

// One connection; each request is answered with the next scripted reply.
// An empty reply means silence, "close" hangs up.
class ScriptedPeer {
public:
    // On IPv4 loopback, or on ::1 with `v6` (listening false where the
    // machine has no IPv6).
    explicit ScriptedPeer(QList<QByteArray> replies, bool v6 = false) : replies_(std::move(replies))
    {
        listen_ = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        sockaddr_in6 a6{};
        a6.sin6_family = AF_INET6;
        a6.sin6_addr = in6addr_loopback;
        sockaddr *at = v6 ? reinterpret_cast<sockaddr *>(&a6) : reinterpret_cast<sockaddr *>(&a);
        socklen_t len = v6 ? sizeof a6 : sizeof a;
        listening = listen_ >= 0 && ::bind(listen_, at, len) == 0 && ::listen(listen_, 1) == 0;
        ::getsockname(listen_, at, &len);
        port = ntohs(v6 ? a6.sin6_port : a.sin_port);
        thread_ = std::thread([this] { run(); });
    }
    bool listening = false;
    ~ScriptedPeer()
    {
        ::shutdown(listen_, SHUT_RDWR);
        ::close(listen_);
        if (conn_ >= 0)
            ::shutdown(conn_, SHUT_RDWR);
        thread_.join();
        if (conn_ >= 0)
            ::close(conn_);
    }
    quint16 port = 0;
    std::atomic<int> requests{0};
    // The request frames received so far, type byte first.
    QList<QByteArray> seen()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return seen_;
    }

private:
    bool readExact(char *buf, size_t n)
    {
        while (n > 0) {
            const ssize_t r = ::read(conn_, buf, n);
            if (r <= 0)
                return false;
            buf += r;
            n -= size_t(r);
        }
        return true;
    }
    void run()
    {
        conn_ = ::accept(listen_, nullptr, nullptr);
        if (conn_ < 0)
            return;
        for (const QByteArray &reply : replies_) {
            unsigned char head[4];
            if (!readExact(reinterpret_cast<char *>(head), 4))
                return;
            const uint32_t len = uint32_t(head[0]) << 24 | head[1] << 16 | head[2] << 8 | head[3];
            QByteArray body(qsizetype(std::min<uint32_t>(len, 70000)), '\0');
            if (!readExact(body.data(), size_t(body.size())))
                return;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                seen_ << body;
            }
            ++requests;
            if (reply == "close") {
                ::shutdown(conn_, SHUT_RDWR);
                return;
            }
            if (!reply.isEmpty() && ::write(conn_, reply.constData(), size_t(reply.size())) < 0)
                return;
        }
        char sink[256];
        while (::read(conn_, sink, sizeof sink) > 0) {
        }
    }

    QList<QByteArray> replies_;
    std::mutex mutex_;
    QList<QByteArray> seen_;
    int listen_ = -1;
    int conn_ = -1;
    std::thread thread_;
};

struct NetFixture : DriverFixture {
    int32_t open(const ScriptedPeer &peer)
    {
        write("driver/zelpci.cfg", QStringLiteral("[network]\nBench=127.0.0.1:%1\n").arg(peer.port).toLatin1());
        return lib.PCI_InitEx("Bench");
    }
};

} // namespace

TEST(DriverNetworkPeer, goodReplies_giveTheirValues)
{
    ScriptedPeer peer({kHelloOk, Hex("00 00 00 05 FF 02 03 61 62"), Hex("00 00 00 02 82 52"), Hex("00 00 00 01 83"),
                       Hex("00 00 00 05 84 00 10 00 00"), Hex("00 00 00 02 85 01"),
                       Hex("00 00 00 0B 86 01 E7 00 00 C0 00 00 00 01 AA")});
    NetFixture f;
    ASSERT_EQ(f.open(peer), kInitExOk);
    EXPECT_EQ(f.lib.helloFirmware(), 0x53);
    // An error frame fails the one request; the connection stays.
    EXPECT_EQ(f.lib.PCI_GetByteEx(0x9999, 0), 0);
    EXPECT_FALSE(f.lib.networkFailed());
    EXPECT_EQ(f.lib.PCI_GetByteEx(0x400, 0), 0x52);
    f.lib.PCI_SetByteEx(0x400, 0, 0);
    std::array<uint8_t, 512> buf{};
    EXPECT_EQ(f.lib.PCI_GetMultiByteEx(0x2000, 4, std::span(buf).subspan(508), 0), 1);
    EXPECT_EQ(buf[509], 0x10);
    Record job;
    job[0] = 0x27;
    job[7] = 2;
    job[9] = 0x99;
    EXPECT_EQ(f.lib.PCI_PutCommandEx(2 + 7, job.span(), 0), 1);
    EXPECT_EQ(f.lib.PCI_GetMeldeEx(255, buf, 0), 1);
    EXPECT_EQ(buf[0], 0xE7);
    EXPECT_EQ(buf[8], 0xAA);
    EXPECT_FALSE(f.lib.networkFailed());
    // The length argument n + 7 sends job bytes 0 .. n + 7.
    const QList<QByteArray> seen = peer.seen();
    ASSERT_EQ(seen.size(), 7);
    EXPECT_EQ(seen[2], Hex("02 00 00 04 00"));
    EXPECT_EQ(seen[5], Hex("05 27 00 00 00 00 00 00 02 00 99"));
    EXPECT_EQ(seen[6], Hex("06 00 FF"));
}

TEST(DriverNetworkPeer, brokenReplies_failAndDropTheConnection)
{
    // A frame of length 0 is no frame: what follows it is not read as one
    // either, however well formed.
    const std::pair<QByteArray, const char *> broken[] = {
        {Hex("00 00 00 00 82 00 00 00 02 82 52"), "a reply frame that is not one"}, // length 0
        {Hex("00 01 00 01 82"), "a reply frame that is not one"},                   // longer than any frame
        {Hex("00 00 00 02 83 00"), "a reply of type 83 to request 02"},             // the reply to another request
        {Hex("00 00 00 03 FF 02 06"), nullptr},                                    // board busy: it hangs up
        {"close", nullptr},                                                        // hang-up instead of a reply
        {Hex("00 00 00 09 82"), nullptr},                                          // half a frame, then silence
    };
    for (const auto &[reply, why] : broken) {
        ScriptedPeer peer({kHelloOk, Hex("00 00 00 01 89"), reply});
        NetFixture f;
        ASSERT_EQ(f.open(peer), kInitExOk);
        f.lib.PCI_SetTimeOut(200, 0);
        EXPECT_EQ(f.lib.PCI_GetByteEx(0x400, 0), 0) << reply.toHex().constData();
        if (why) {
            EXPECT_TRUE(f.lib.failure().endsWith(QLatin1String(why))) << f.lib.failure().toStdString();
        }
        EXPECT_TRUE(f.lib.networkFailed());
        EXPECT_FALSE(f.lib.connected());
        // Later calls fail at once, without asking anybody.
        EXPECT_EQ(f.lib.PCI_GetByteEx(0x400, 0), 0);
        EXPECT_EQ(peer.requests.load(), 3);
    }
}

TEST(DriverNetworkPeer, aLongMessage_staysInsideTheBuffer)
{
    const QByteArray msg = Hex("86 01 E1 00 00 0C 00 00 00 FF") + QByteArray(255, '\x11');
    ScriptedPeer peer({kHelloOk, Hex("00 00 01 09") + msg});
    NetFixture f;
    ASSERT_EQ(f.open(peer), kInitExOk);
    std::array<uint8_t, 100> buf{};
    EXPECT_EQ(f.lib.PCI_GetMeldeEx(255, buf, 0), 1);
    EXPECT_EQ(buf[99], 0x11);
}

// Replies of the right type whose size or value cannot be the answer: a
// board faked or confused after the handshake is not believed.
TEST(DriverNetworkPeer, repliesThatCannotBeTheAnswer_areLineFaults)
{
    for (const char *reply : {"00 00 00 04 82 52 52 52", "00 00 00 02 85 07", "00 00 00 0B 86 01 E7 00 00 C0 00 00 00 11 AA"}) {
        ScriptedPeer peer({kHelloOk, Hex(reply)});
        NetFixture f;
        ASSERT_EQ(f.open(peer), kInitExOk);
        std::array<uint8_t, 512> buf{};
        const int type = Hex(reply)[4];
        EXPECT_EQ(type == 0x82 ? f.lib.PCI_GetByteEx(0x400, 0)
                  : type == 0x85 ? f.lib.PCI_PutCommandEx(7, Record{}.span(), 0)
                                 : f.lib.PCI_GetMeldeEx(255, buf, 0), 0);
        EXPECT_TRUE(f.lib.failure().startsWith(QStringLiteral("Bench at 127.0.0.1:%1: line fault: ").arg(peer.port)))
            << f.lib.failure().toStdString();
    }
}

TEST(DriverNetworkPeer, failedOpen_saysWhichTargetAndWhy)
{
    ScriptedPeer busy({Hex("00 00 00 2A FF 00 06") + "board busy: another client is connected"});
    NetFixture f;
    EXPECT_EQ(f.open(busy), kInitExNoHello);
    EXPECT_EQ(f.lib.failure(), QStringLiteral("Bench at 127.0.0.1:%1: board busy: another program is connected").arg(busy.port));
    EXPECT_EQ(f.lib.PCI_InitEx("127.0.0.1:1"), kInitExNoConnect);
    EXPECT_EQ(f.lib.failure(), "127.0.0.1:1: connection refused");
    EXPECT_FALSE(f.lib.connected());
    EXPECT_EQ(f.lib.PCI_InitEx(""), kInitExBadTarget);
}

// A board on IPv6 is reached with its address in brackets, as in a URL.
TEST(DriverNetworkPeer, ipv6LiteralWithPort_connects)
{
    ScriptedPeer peer({kHelloOk, Hex("00 00 00 02 82 52")}, true);
    if (!peer.listening)
        GTEST_SKIP() << "no IPv6 loopback here";
    NetFixture f;
    f.write("driver/zelpci.cfg", QStringLiteral("[network]\nBench=[::1]:%1\n").arg(peer.port).toLatin1());
    ASSERT_EQ(f.lib.PCI_InitEx("Bench"), kInitExOk) << f.lib.failure().toStdString();
    EXPECT_EQ(f.lib.PCI_GetByteEx(0x400, 0), 0x52);
    f.lib.PCI_DeInitEx(0);
    EXPECT_EQ(f.lib.PCI_InitEx(QStringLiteral("[::1]:%1").arg(quint16(peer.port + 1))), kInitExNoConnect);
    EXPECT_EQ(f.lib.failure(), QStringLiteral("[::1]:%1: connection refused").arg(quint16(peer.port + 1)));
}
