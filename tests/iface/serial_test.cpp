// SPDX-License-Identifier: GPL-3.0-or-later
#include "fakes.h"
#include "iface/hardware.h"
#include "iface/serial_frame.h"
#include "iface/serial_links.h"

#include <pty.h>
#include <random>
#include <termios.h>
#include <unistd.h>

using namespace meridan;
using namespace meridan::iface;
using namespace meridan::test;

namespace {

QByteArray Bytes(std::initializer_list<int> b)
{
    QByteArray a;
    for (int v : b)
        a.append(char(v));
    return a;
}

// A serial line to a monitor that answers at once, open on "com1".
struct SerialFixture : LinkFixture {
    FakeSerial *port;
    std::unique_ptr<SerialLine> line;
    FakeMonitor mon;

    SerialFixture() : port(new FakeSerial(pump)), line(std::make_unique<SerialLine>(std::unique_ptr<FakeSerial>(port), pump, st.mbuf)), mon(*port)
    {
        line->onTimeout = [this] { ++timeouts; };
        line->open("com1", 9600);
    }
    // The line as a frame-mode link of a Dromon on COM2.
    std::unique_ptr<FrameLink> frames()
    {
        HwChoice c;
        c.kind = HwChoice::Kind::Serial;
        c.port = 2;
        c.model = BoardModel::Dromon;
        return std::make_unique<FrameLink>(env, TraitsFor(c), MapOf(c), std::move(line));
    }
};

} // namespace

TEST(SerialLine, noReply_timesOutOnceInVirtualTimeAndTheNextReplyClearsIt_oneCommandEach)
{
    SerialFixture f;
    f.mon.mute = true;
    EXPECT_EQ(f.line->read(0x400), 0);
    EXPECT_TRUE(f.line->timedOut);
    EXPECT_EQ(f.timeouts, 1);
    EXPECT_EQ(f.pump.nowMs(), kReplyPolls * kPollMs);
    f.mon.mute = false;
    f.line->write(0x3FF6, 0x3);
    EXPECT_FALSE(f.line->timedOut);
    f.mon.ram[0x2345] = 0xA7;
    EXPECT_EQ(f.line->read(0x2345), 0xA7);
    EXPECT_EQ(f.port->tx, "R400\rW3FF6,3\rR2345\r");
    EXPECT_EQ(f.mon.ram[0x3FF6], 3);
    EXPECT_EQ(f.timeouts, 1);
}

TEST(SerialLine, eepromCommands_PAndL_writeTimeoutWithoutMessage)
{
    SerialFixture f;
    f.mon.mute = true;
    f.line->eepromWrite(0x7F00, 0x24);
    EXPECT_EQ(f.port->tx, "P7F00,24\r");
    EXPECT_TRUE(f.line->timedOut);
    EXPECT_EQ(f.timeouts, 0);
    EXPECT_EQ(f.pump.nowMs(), kEepromWritePolls * kPollMs);
    f.mon.mute = false;
    f.mon.ram[0x100] = 0x25;
    EXPECT_EQ(f.line->eepromRead(0x100), 0x25);
    EXPECT_TRUE(f.port->tx.endsWith("L100\r"));
}

TEST(SerialLine, messageWaitingBeforeARead_isKeptForTheNextMessagePoll)
{
    SerialFixture f;
    f.mon.ram[0x2FF6] = 3;
    auto link = f.frames();
    f.st.mbuf.fill(0);
    // A mode-change reply with two data bytes, then some line noise.
    f.port->rx = Bytes({0x15, 0xE7, 0x00, 0xC0, 0x02, 0x11, 0x22}) + "xy";
    EXPECT_EQ(link->getByte(0x2FF6), 3);
    EXPECT_EQ(f.st.mbuf[0], 0xE7);
    EXPECT_EQ(f.st.mbuf[3], 0xC0);
    EXPECT_EQ(f.st.mbuf[9], 0x22);
    f.port->tx.clear();
    EXPECT_TRUE(link->getMessage());  // the kept message ...
    EXPECT_EQ(f.port->tx, Bytes({'D', 0, 0, 0})); // ... after the first request for the next one
    EXPECT_FALSE(link->getMessage()); // and nothing more
}

TEST(SerialFrame, eachKindLandsAtItsBufferPositions)
{
    // A frame, then the message's first 11 bytes ("..": left as it was).
    const std::pair<const char *, const char *> frames[] = {
        {"B0 04 05 00", "B0 .. .. .. 04 05 .. 00 .. .. .."},          {"AA 03 04 00", "AA .. .. 03 04 .. .. 00 .. .. .."},
        {"A8 C0 09 00", "A8 .. .. C0 .. 09 .. 00 .. .. .."},          {"E1 00 0C 03 08 09 0A", "E1 .. 00 0C .. .. .. 03 08 09 0A"},
    };
    for (const auto &[frame, message] : frames) {
        std::array<uint8_t, 512> m;
        m.fill(0xEE);
        EXPECT_TRUE(SerialFrameToMessage(QByteArray::fromHex(frame), m));
        EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(m.data()), 11).toHex(' ').toUpper().replace("EE", ".."), message);
    }
    std::array<uint8_t, 512> m;
    EXPECT_FALSE(SerialFrameToMessage(Bytes({0x00, 0x01, 0x02, 0x04, 1, 2, 3, 4}), m)); // a live list, no message

    // Sizes as far as the bytes so far tell.
    EXPECT_EQ(SerialFrameSize(Bytes({0xE1})), kFrameHeader);
    EXPECT_EQ(SerialFrameSize(Bytes({0xE1, 0, 0, 200})), kFrameHeader + 200);
    EXPECT_EQ(SerialFrameSize(Bytes({0x00, 1, 0, 4})), kFrameHeader + 4);
    EXPECT_EQ(SerialFrameSize(Bytes({0xA8, 0, 0, 9})), kFrameHeader);
}

TEST(SerialLine, liveListFrames_fillTheListsBetweenReplyTextAndStayInside)
{
    SerialFixture f;
    f.line->liveRequestCounter = 7;
    f.line->liveMissCounter = 2;
    f.line->orderLiveList(2);
    f.line->orderLiveList(16);
    f.port->rx = "ab" + Bytes({0x15, 0x00, 0x01, 0x02, 0x04, 0x10, 0x20, 0x01, 0x00}) + "c";
    EXPECT_FALSE(f.line->receiveMessage());
    EXPECT_EQ(f.line->runList[2], 0x10);
    EXPECT_EQ(f.line->runList[3], 0x20);
    EXPECT_EQ(f.line->diaList[2], 0x01);
    EXPECT_EQ(f.line->liveRequestCounter, 0);
    EXPECT_EQ(f.line->liveMissCounter, 0);
    // The last list byte: its neighbour lies beyond the 17-byte lists.
    f.port->rx = Bytes({0x15, 0x00, 0x01, 0x10, 0x04, 0x0F, 0xFF, 0x00, 0xFF});
    EXPECT_FALSE(f.line->receiveMessage());
    EXPECT_EQ(f.line->runList[16], 0x0F);
}

TEST(SerialLine, frameCutShort_isAbandonedAfter500ms)
{
    SerialFixture f;
    f.port->rx = Bytes({0x15, 0xE1, 0x00, 0x0C, 0x06, 0x00, 0x0C});
    EXPECT_FALSE(f.line->receiveMessage());
    EXPECT_EQ(f.pump.nowMs(), kFrameWaitMs);
    f.port->rx = Bytes({0x15, 0xE1});
    EXPECT_FALSE(f.line->receiveMessage());
}

TEST(FrameLink, closedPort_sendsNothingAndReportsNothingNewButItIsLost)
{
    SerialFixture f;
    auto link = f.frames();
    f.port->rx = Bytes({0x15, 0xA8, 0x40, 0x00, 0x00});
    f.port->close(); // the peer hung up
    f.port->tx.clear();
    EXPECT_FALSE(link->getMessage());
    link->putJob(Record{});
    EXPECT_TRUE(f.port->tx.isEmpty());
    EXPECT_TRUE(link->lost());
}

TEST(FrameLink, liveListIsRequestedEachRoundAndUnansweredRequestsLoseTheLine)
{
    SerialFixture f;
    auto link = f.frames();
    f.port->tx.clear();
    EXPECT_FALSE(link->stationRunning(12)); // index 1 after the cached 0: no request
    EXPECT_TRUE(f.port->tx.isEmpty());
    link->stationRunning(0); // a new round: request from byte 0
    EXPECT_EQ(f.port->tx, QByteArray("D\0\1\0", 4));
    for (int round = 0; round < 5 * kRequestRounds && !link->lost(); ++round) {
        link->stationRunning(12);
        link->stationRunning(0);
    }
    EXPECT_TRUE(link->lost());
}

TEST(SerialLine, quietWait_discardsChatterAndEndsEvenIfItNeverStops)
{
    SerialFixture f;
    int pumps = 0;
    f.pump.onPump = [&] {
        if (++pumps < 50)
            f.port->rx += "x";
    };
    f.line->quietWait(100);
    EXPECT_TRUE(f.port->rx.isEmpty());
    EXPECT_GE(f.pump.nowMs(), 100);

    f.pump.onPump = [&] { f.port->rx += "noise"; };
    const qint64 start = f.pump.nowMs();
    f.line->quietWait(100);
    EXPECT_LE(f.pump.nowMs() - start, 4 * 100 + 2 * kPollMs);
}

TEST(FrameLink, junkOnTheLine_neverCrashesOrHangs)
{
    SerialFixture f;
    f.mon.mute = true;
    auto link = f.frames();
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> byte(0, 255), len(0, 40);
    for (int round = 0; round < 200; ++round) {
        QByteArray junk;
        for (int i = len(rng); i > 0; --i)
            junk.append(char(byte(rng) % 3 == 0 ? 0x15 : byte(rng)));
        f.port->rx = junk;
        link->getMessage();
        f.port->rx += junk;
        link->getByte(uint16_t(byte(rng)));
    }
    SUCCEED();
}

namespace {
// A board that freezes after `answered` commands, on a byte-wise link: every
// mailbox byte is one command.
struct Freezing : SerialFixture {
    std::unique_ptr<SerialLink> link;
    explicit Freezing(int answered)
    {
        line->deadline = &env.deadlineMs;
        port->onWrite = [this, answered](const QByteArray &b) {
            mon.mute = port->tx.count('\r') > answered;
            mon.take(b);
        };
        const HwChoice c = *ParseHwName("ravelin:com1");
        link = std::make_unique<SerialLink>(env, TraitsFor(c), MapOf(c), std::move(line));
    }
};
} // namespace

TEST(SerialLink, frozenBoard_theFirstTimeOutEndsTheJob_andTheDeadlineEveryWait)
{
    Freezing f(4); // both toggle bytes and two job bytes went through
    Record master;
    master[0] = '$';
    master[7] = 66;
    EXPECT_FALSE(f.link->putJob(master));
    EXPECT_EQ(f.port->tx.count('\r'), 5);
    EXPECT_EQ(f.pump.nowMs(), kReplyPolls * kPollMs);
    EXPECT_EQ(f.link->faultText(), "no reply to W2127,0");

    Freezing g(0);
    g.env.deadlineMs = 1200;
    g.link->getByte(0x400);
    g.link->getMessage();
    g.link->line().quietWait(3000);
    EXPECT_EQ(g.port->tx.count('\r'), 1); // nothing is sent after the deadline
    EXPECT_EQ(g.pump.nowMs(), 1200);
}

// The download's time budget: a job's exchange cannot pass faster than the
// bit times of its characters, ten bits each at 9600 baud.
TEST(SerialLink, transferTime_isAtLeastTheCharactersBitTimes)
{
    Freezing f(0);
    EXPECT_GE(f.link->transferMs(8), (8 + 22) * 13 * 10 * 1000 / 9600);
    SerialFixture g;
    EXPECT_GE(g.frames()->transferMs(200), (200 + 17) * 10 * 1000 / 9600);
}

TEST(SerialLink, aReplyThatIsNoAnswer_losesTheLineForGood)
{
    Freezing f(1 << 30);
    f.port->onWrite = [&](const QByteArray &) { f.port->rx += "R\x1b["; };
    f.link->getByte(0x400);
    EXPECT_EQ(f.link->faultText(), "line fault: reply \"R\\x1B[\" to R400");
    f.port->onWrite = [&](const QByteArray &) { f.port->rx += "R52"; };
    EXPECT_EQ(f.link->getByte(0x400), 0x52);
    EXPECT_TRUE(f.link->lost());
}

// A reply may complete in the very last poll of its budget: it is the answer,
// not a time-out.
TEST(SerialLine, replyCompletingOnTheLastPoll_isTheAnswer)
{
    for (const int late : {0, kPollMs}) {
        SerialFixture f;
        f.mon.mute = true;
        f.pump.onPump = [&f, late] {
            if (f.pump.nowMs() == qint64(kReplyPolls) * kPollMs + late && f.port->rx.isEmpty())
                f.port->rx = "R52";
        };
        const uint8_t value = f.line->read(0x400);
        EXPECT_EQ(value, late ? 0 : 0x52) << late;
        EXPECT_EQ(f.line->timedOut, late != 0) << late;
        EXPECT_EQ(f.timeouts, late ? 1 : 0) << late;
    }
}

// A live-list frame answered just before a read, and the read's reply split
// around it: the frame fills the lists and the reply is whole at once.
TEST(SerialLine, replyInPiecesAfterALiveListFrame_isTheAnswerWithoutWaitingOut)
{
    SerialFixture f;
    f.mon.mute = true;
    f.line->orderLiveList(2);
    const qint64 start = f.pump.nowMs();
    int step = 0;
    f.pump.onPump = [&f, &step] {
        if (step == 0)
            f.port->rx += Bytes({0x15, 0x00, 0x01, 0x02, 0x04, 0x10, 0x20, 0x01, 0x00}) + "R";
        else if (step == 2)
            f.port->rx += "01";
        ++step;
    };
    EXPECT_EQ(f.line->read(0x2FF6), 0x01);
    EXPECT_FALSE(f.line->timedOut);
    EXPECT_EQ(f.line->runList[2], 0x10);
    EXPECT_LE(f.pump.nowMs() - start, 3 * kPollMs);
}

// A host that died half-way through writing a command leaves it in the
// monitor; the next session ends it with a CR and drops its late answer
// before asking for anything.
TEST(SerialLink, newSession_endsAHalfSentCommandAndDropsItsAnswer)
{
    LinkFixture f;
    f.monitorOnNextPort([](FakeMonitor &m) {
        m.ram[0x400] = 0x52;
        m.ram[0x30] = 0x11;
        m.line = "R30"; // what the monitor still holds
        m.port.rx = "R3"; // and a late reply the last session never read
    });
    const OpenResult r = OpenLink(*ParseHwName("ravelin:com1"), f.env, kEnglish, [](const QString &) {});
    ASSERT_TRUE(r.link) << r.status.toStdString();
    EXPECT_EQ(r.link->versionText, "5.2");
    EXPECT_TRUE(f.serial->tx.startsWith("\rR400\r")) << f.serial->tx.constData();
    f.monitor->ram[0x3000] = 0x5A;
    EXPECT_EQ(r.link->getByte(0x3000), 0x5A);
    EXPECT_FALSE(r.link->lost());
}

// The driver keeps what arrived on a line while nobody had it open (a board
// that answered a former session late); opening the port drops it.
TEST(QtSerialIo, opening_dropsWhatTheLineHeldFromBefore)
{
    int master = -1, slave = -1;
    char name[128] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    termios raw{};
    ::tcgetattr(slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave, TCSANOW, &raw);
    ASSERT_EQ(::write(master, "5.2", 3), 3);
    QtSerialIo io;
    ASSERT_TRUE(io.open(QString::fromLatin1(name), 9600)) << io.errorText().toStdString();
    io.waitForReadyRead(100);
    EXPECT_EQ(io.bytesAvailable(), 0) << io.read(16).constData();
    ASSERT_EQ(::write(master, "R52", 3), 3);
    for (int i = 0; i < 100 && io.bytesAvailable() < 3; ++i)
        io.waitForReadyRead(20);
    EXPECT_EQ(io.read(16), "R52");
    io.close();
    ::close(slave);
    ::close(master);
}

// The host follows the board's pace: a frame whose bytes keep coming, slower
// than the frame budget allows for the whole frame, is still taken; a
// monitor that answers "!" late is waited for, and its answer does not pass
// for the reply to the first command.
TEST(SerialLine, slowBoard_framesAndTheModeAnswerAreWaitedForWhileTheyCome)
{
    SerialFixture f;
    const QByteArray frame = Bytes({0x15, 0xE1, 0x00, 0x0C, 0x04, 0x11, 0x22, 0x33, 0x44});
    f.port->rx = frame.left(2);
    qint64 next = 0;
    qsizetype sent = 2;
    f.pump.onPump = [&] {
        if (sent < frame.size() && f.pump.nowMs() >= next + kFrameWaitMs - kPollMs) {
            f.port->rx += frame[sent++];
            next = f.pump.nowMs();
        }
    };
    EXPECT_TRUE(f.line->receiveMessage());
    EXPECT_GT(f.pump.nowMs(), 3 * kFrameWaitMs);
    EXPECT_EQ(f.st.mbuf[8] << 24 | f.st.mbuf[11], 0x11000044);

    LinkFixture g;
    g.monitorOnNextPort([&g](FakeMonitor &m) {
        m.ram[0x400] = 0x52;
        m.version = "5.3";
        m.mute = true; // busy: the answer to "!" comes 800 ms late
        g.pump.onPump = [&g, &m] {
            if (g.pump.nowMs() >= 800 && m.mute) {
                m.mute = false;
                m.port.rx += "!\r\nP";
            }
        };
    });
    const OpenResult r = OpenLink(*ParseHwName("dromon:com2"), g.env, kEnglish, [](const QString &) {});
    ASSERT_TRUE(r.link) << r.status.toStdString();
    EXPECT_EQ(r.link->versionText, "5.3");
    EXPECT_FALSE(r.link->lost()) << r.link->faultText().toStdString();
}
