// The serial monitor: commands and frames on byte vectors, pacing in virtual time, and the
// whole board on a pseudo-terminal opened with QSerialPort.
#include "board.h"
#include "hosthelpers.h"
#include "pacer.h"
#include "serialmonitor.h"

#include <QFileInfo>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace meridan::sim;
using namespace meridan::sim::test;

namespace {

Bytes text(const std::string &s)
{
    return Bytes(s.begin(), s.end());
}

std::string str(const Bytes &b)
{
    return std::string(b.begin(), b.end());
}

struct SerialRig : Rig {
    explicit SerialRig(BoardKind kind = BoardKind::Dromon, bool terminal = false)
        : Rig(kind), monitor(fw, ram, {defaultVersion(kind) > 0x52, terminal, 500})
    {
    }
    std::string cmd(const std::string &s) { return str(monitor.feed(text(s), now)); }
    Bytes frame(const Bytes &b) { return monitor.feed(b, now); }
    SerialMonitor monitor;
};

Bytes jobFrame(const Bytes &job)
{
    Bytes f{'D', job[0], job[3], job[7]};
    f.insert(f.end(), job.begin() + 8, job.begin() + 8 + job[7]);
    return f;
}

const Bytes MessageRequest{'D', 0x00, 0x00, 0x00};

} // namespace

TEST(SerialMonitor, readWriteCommands_reachTheDpramOfTheSerialMap)
{
    SerialRig r;
    EXPECT_EQ(r.cmd("R400\r"), "R52");
    EXPECT_EQ(r.cmd("W2FF6,3\r"), "W");
    EXPECT_EQ(r.ram.get(0x2FF6), 3);
    EXPECT_EQ(r.cmd("R2ff6\r"), "R03");
    EXPECT_EQ(r.cmd("R4000\r"), "?") << "outside the DP-RAM";
    EXPECT_EQ(r.cmd("W10,100\r"), "?") << "value above FF";
}

TEST(SerialMonitor, eepromCommands_writeAndReadTheEepromByteByByte)
{
    SerialRig r(BoardKind::Ravelin);
    EXPECT_EQ(r.cmd("P0,24\r"), "P");
    EXPECT_EQ(r.cmd("P7FFF,1\r"), "P");
    EXPECT_EQ(r.eeprom.read(0), 0x24);
    EXPECT_EQ(r.cmd("L0\r"), "L24");
    EXPECT_EQ(r.cmd("L7FFF\r"), "L01");
    EXPECT_EQ(r.cmd("L8000\r"), "?");
    EXPECT_EQ(r.cmd("P8000,1\r"), "?");
}

TEST(SerialMonitor, versionAndModeQuery_answerInTheirFixedShape)
{
    EXPECT_EQ(SerialRig(BoardKind::Ravelin).cmd("V"), "5.2");
    SerialRig r;
    EXPECT_EQ(r.cmd("V"), "5.3");
    EXPECT_EQ(r.cmd("!\r"), "!\r\nP");
    EXPECT_EQ(r.cmd("P\r"), "");
    EXPECT_EQ(r.monitor.modeLetter(), 'O');
    EXPECT_EQ(r.cmd("!\r"), "!\r\nO") << "echo, then the mode letter";
    EXPECT_EQ(r.cmd("P\r"), "P\r\n");
    EXPECT_EQ(r.cmd("R400\r"), "R52") << "back in mode P: no echo";
}

TEST(SerialMonitor, junkBytes_getQuestionMarkOrAreIgnoredAndTheNextCommandWorks)
{
    SerialRig r;
    EXPECT_EQ(r.cmd(std::string("\n \0\xFF", 4)), "");
    EXPECT_EQ(r.cmd("X12\r"), "?");
    EXPECT_EQ(r.cmd("R\r"), "?");
    EXPECT_EQ(r.cmd("W12\r"), "?");
    EXPECT_EQ(r.cmd("QQ\r"), "?");
    EXPECT_EQ(r.cmd(std::string(40, 'A')), "?");
    EXPECT_EQ(r.cmd("R400\rR400\r"), "R52") << "rest of the long line up to CR is dropped";
    EXPECT_EQ(r.cmd("R400\r"), "R52");
    EXPECT_GE(r.monitor.junk(), 5);
}

TEST(SerialFrames, jobFrameAndMessageRequest_answerWithOneNakFramePerRequest)
{
    SerialRig r;
    EXPECT_TRUE(r.frame(jobFrame(jobOf(job::SetMode, 0x40))).empty()) << "nothing unasked";
    EXPECT_EQ(r.frame(MessageRequest), (Bytes{0x15, 0xE7, 0x00, 0x40, 0x00}));
    EXPECT_TRUE(r.frame(jobFrame(jobOf(job::Diagnosis, 12))).empty());
    r.monitor.tick(r.now);
    EXPECT_EQ(r.ram.get(0x2FF6), 1);
    Bytes diag = r.frame(MessageRequest);
    EXPECT_EQ(diag, (Bytes{0x15, 0xE1, 0x00, 12, 6, 0x02, 0x05, 0x00, 0xFF, 0x47, 0x11}));
}

TEST(SerialFrames, requestArmedBeforeTheMessage_frameFollowsTheJobAtOnce)
{
    SerialRig r;
    EXPECT_TRUE(r.frame(MessageRequest).empty());
    EXPECT_TRUE(r.monitor.messageRequested());
    EXPECT_EQ(r.frame(jobFrame(jobOf(job::SetMode, 0x00))), (Bytes{0x15, 0xE7, 0, 0, 0}));
    EXPECT_FALSE(r.monitor.messageRequested());
}

TEST(SerialFrames, downloadByFramesWithAutoClear_liveListAndModeReportFrames)
{
    SerialRig r;
    std::vector<Bytes> replies;
    auto run = [&](const Bytes &job) {
        r.frame(jobFrame(job));
        replies.push_back(r.frame(MessageRequest));
    };
    run(jobOf(job::SetMode, 0x00));
    run(recordJob(masterRecord(0x80)));
    for (const auto &s : demoSlaves())
        run(recordJob(s));
    run(jobOf(job::SetMode, 0x80));
    run(jobOf(job::SetMode, 0xC0));
    EXPECT_EQ(replies[2], (Bytes{0x15, 0xE5, 0, 12, 0}));
    EXPECT_EQ(replies.back(), (Bytes{0x15, 0xE7, 0, 0xC0, 0}));
    EXPECT_EQ(r.frame(MessageRequest), (Bytes{0x15, 0xA8, 0x80, 0x02, 0x00}));
    // Station 12 runs (byte 1 bit 4), 20 (byte 2 bit 4); 40 has diagnosis (byte 5 bit 0).
    EXPECT_EQ(r.frame({'D', 0x00, 0x01, 0x01}),
              (Bytes{0x15, 0x00, 0x01, 0x01, 0x04, 0x10, 0x10, 0x00, 0x00}));
    EXPECT_EQ(r.frame({'D', 0x00, 0x01, 0x05}),
              (Bytes{0x15, 0x00, 0x01, 0x05, 0x04, 0x00, 0x00, 0x01, 0x00}));
    EXPECT_EQ(r.frame({'D', 0x00, 0x01, 0x10}),
              (Bytes{0x15, 0x00, 0x01, 0x10, 0x04, 0x00, 0x00, 0x00, 0x00}));
}

TEST(SerialFrames, stalledFrame_droppedAfterHalfASecondAndTheLineRecovers)
{
    SerialRig r;
    r.frame({'D', 0x25, 0x03, 0x05, 0x01});
    r.now += 600;
    EXPECT_TRUE(r.monitor.tick(r.now).empty());
    EXPECT_EQ(r.cmd("V"), "5.3");
    EXPECT_EQ(r.fw.counts().jobs, 0);
}

TEST(SerialFrames, quit_forgetsTheArmedRequest)
{
    SerialRig r;
    r.frame(MessageRequest);
    r.cmd("Q\r");
    EXPECT_FALSE(r.monitor.messageRequested());
    EXPECT_TRUE(r.frame(jobFrame(jobOf(job::SetMode, 0x40))).empty());
}

TEST(SerialFrames, ravelinWithFirmware52_answersDWithQuestionMarkAndUsesTheByteMailbox)
{
    SerialRig r(BoardKind::Ravelin);
    EXPECT_EQ(r.cmd("D"), "?");
    // The host's byte-wise PutKomm and GetMeld through "R" and "W".
    auto serRead = [&](unsigned a) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "R%X\r", a);
        return static_cast<std::uint8_t>(std::stoi(r.cmd(buf).substr(1, 2), nullptr, 16));
    };
    auto serWrite = [&](unsigned a, unsigned v) {
        char buf[24];
        std::snprintf(buf, sizeof buf, "W%X,%X\r", a, v);
        return r.cmd(buf);
    };
    Bytes job = jobOf(job::SetMode, 0x40);
    std::uint8_t a = serRead(0x3000), b = serRead(0x3008);
    ASSERT_EQ(a & 1, b & 1);
    for (unsigned i = 0; i < 8; ++i)
        EXPECT_EQ(serWrite(0x2125 + i, job[i]), "W");
    serWrite(0x3000, (a & 0xFE) + ((a + 1) & 1));
    a = serRead(0x3000);
    b = serRead(0x3008);
    ASSERT_NE((a ^ b) & 2, 0) << "a message is waiting";
    EXPECT_EQ(serRead(0x2025), 0xE7);
    EXPECT_EQ(serRead(0x2028), 0x40);
    EXPECT_EQ(serRead(0x3006), 1) << "Ravelin bus-state byte";
}

TEST(Pacing, lineSpeed_allowsTenBitTimesPerByteAndTheFirstByteAtOnce)
{
    LinePacer slow(9600);
    slow.restart(0);
    EXPECT_EQ(slow.allowance(0, 100), 1u);
    slow.spent(1);
    EXPECT_EQ(slow.allowance(10'000'000, 100), 9u); // 10 ms at 960 bytes/s
    slow.spent(9);
    LinePacer fast(19200);
    fast.restart(0);
    fast.spent(fast.allowance(0, 500));
    EXPECT_EQ(fast.allowance(100'000'000, 500), 192u);
    LinePacer none(0);
    EXPECT_EQ(none.allowance(0, 500), 500u);
}

TEST(Pacing, quietLine_doesNotSaveUpAnUnboundedBurst)
{
    LinePacer p(9600);
    p.restart(0);
    EXPECT_LE(p.allowance(60'000'000'000, 10), 10u);
    EXPECT_LE(p.allowance(120'000'000'000, 1000), 1000u);
}

namespace {

// A board on a pty, reached as the host does it: QSerialPort on the symlink.
struct PtyRig {
    explicit PtyRig(BoardKind kind, bool pace = true)
    {
        BoardConfig c;
        c.name = QStringLiteral("pty");
        c.kind = kind;
        c.version = defaultVersion(kind);
        c.serialPath = dir.filePath(QStringLiteral("com"));
        c.pace = pace;
        board = std::make_unique<Board>(c);
        QString err;
        started = board->start(&err);
        EXPECT_TRUE(started) << err.toStdString();
        port.setPortName(c.serialPath);
        port.setBaudRate(baudFor(kind));
        opened = started && port.open(QIODevice::ReadWrite);
        EXPECT_TRUE(opened) << port.errorString().toStdString();
    }
    QByteArray ask(const QByteArray &out, int want)
    {
        port.write(out);
        QByteArray got;
        QTest::qWaitFor(
            [&] {
                got += port.readAll();
                return got.size() >= want;
            },
            3000);
        return got;
    }
    QTemporaryDir dir;
    std::unique_ptr<Board> board;
    QSerialPort port;
    bool started = false;
    bool opened = false;
};

} // namespace

TEST(SerialPty, dromonOnAPty_answersCommandsAndFramesThroughQSerialPort)
{
    PtyRig r(BoardKind::Dromon);
    ASSERT_TRUE(r.opened);
    EXPECT_EQ(r.ask("V", 3), QByteArray("5.3"));
    EXPECT_EQ(r.ask("R400\r", 3), QByteArray("R52"));
    EXPECT_EQ(r.ask(QByteArray("\x01\x02zz\r", 5), 1), QByteArray("?"));
    EXPECT_EQ(r.ask("R2FF6\r", 3), QByteArray("R00"));
    QByteArray job("D\x27\x40\x00", 4);
    QByteArray req("D\x00\x00\x00", 4);
    EXPECT_EQ(r.ask(job + req, 5), QByteArray("\x15\xE7\x00\x40\x00", 5));
    EXPECT_EQ(r.ask("R2FF6\r", 3), QByteArray("R01"));
}

TEST(SerialPty, ravelinAt9600_pacedRepliesStillArriveWhole)
{
    PtyRig r(BoardKind::Ravelin);
    ASSERT_TRUE(r.opened);
    QByteArray many;
    for (int i = 0; i < 20; ++i)
        many += "R400\r";
    QByteArray got = r.ask(many, 60);
    EXPECT_EQ(got, QByteArray("R52").repeated(20));
}

TEST(SerialPty, boardStopped_removesItsSymlink)
{
    QString link;
    {
        PtyRig r(BoardKind::Dromon, false);
        link = r.board->config().serialPath;
        EXPECT_TRUE(QFileInfo(link).isSymLink());
        r.port.close();
    }
    EXPECT_FALSE(QFileInfo(link).exists() || QFileInfo(link).isSymLink());
}
