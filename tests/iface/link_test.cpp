// SPDX-License-Identifier: GPL-3.0-or-later
#include "fakes.h"
#include "iface/hardware.h"
#include "iface/network_link.h"

using namespace meridan;
using namespace meridan::iface;
using namespace meridan::test;

namespace {

HwChoice Item(const char *name)
{
    return *ParseHwName(QString::fromLatin1(name));
}

// The Tessel card on its DP-RAM file, connected.
struct DirectFixture : LinkFixture {
    std::unique_ptr<DpramFile> ram = tesselFile();
    std::unique_ptr<Link> link = OpenLink(Item("tessel"), env, kEnglish, [](const QString &) {}).link;
    DpramFile &r() { return *ram; }
};

constexpr uint32_t kJobToggle = 0x3FF0, kMasterToggle = 0x3FF8, kJobArea = 0x3125, kMsgArea = 0x3025;

} // namespace

// The toggle bits of the job and message areas: bit 0 a job handed over and
// taken, bit 1 a message posted and fetched; each side keeps the other's bit.
TEST(Mailbox, jobsGoOnlyWhenTheLastWasTaken_messagesAreCopiedAndAcknowledged)
{
    DirectFixture f;
    ASSERT_TRUE(f.link);
    f.r()[kJobToggle] = 0x03;
    f.r()[kMasterToggle] = 0x02; // the last job not taken yet
    f.st.record[0] = 0x27;
    f.st.record[3] = 0xC0;
    f.st.record[8] = 0x55;
    EXPECT_FALSE(f.link->putJob(f.st.record));
    EXPECT_EQ(f.r()[kJobArea], 0);
    f.r()[kMasterToggle] = 0x03;
    f.r()[kJobArea + 8] = 0xAA; // past a job without data
    EXPECT_TRUE(f.link->putJob(f.st.record));
    EXPECT_EQ(f.r()[kJobArea], 0x27);
    EXPECT_EQ(f.r()[kJobArea + 3], 0xC0);
    EXPECT_EQ(f.r()[kJobArea + 8], 0xAA); // n = 0: 8 bytes, no more
    EXPECT_EQ(f.r()[kJobToggle], 0x02);   // bit 1 (message acknowledge) kept

    // A job with data: every byte up to the last one, and not one more.
    f.r()[kMasterToggle] = 0x02;
    for (uint32_t i = 0; i < 16; ++i)
        f.r()[kJobArea + i] = 0xEE;
    f.st.record[7] = 3;
    f.st.record[8] = 0x11;
    f.st.record[9] = 0x22;
    f.st.record[10] = 0x33;
    f.st.record[11] = 0x44; // beyond the job
    EXPECT_TRUE(f.link->putJob(f.st.record));
    EXPECT_EQ(f.r()[kJobArea + 7], 3);
    EXPECT_EQ(f.r()[kJobArea + 10], 0x33);
    EXPECT_EQ(f.r()[kJobArea + 11], 0xEE);
    EXPECT_EQ(f.r()[kJobToggle], 0x03);

    f.r()[kJobToggle] = 0x01;
    f.r().put(kMsgArea, QByteArray("\xE7\x00\x00\xC0\x00\x00\x00\x00\x99\x77", 10));
    f.st.mbuf[9] = 0x42;
    EXPECT_TRUE(f.link->getMessage());
    EXPECT_EQ(f.st.mbuf[0], 0xE7);
    EXPECT_EQ(f.st.mbuf[3], 0xC0);
    EXPECT_EQ(f.st.mbuf[8], 0x99); // n = 0 copies 9 bytes
    EXPECT_EQ(f.st.mbuf[9], 0x42);
    EXPECT_EQ(f.r()[kJobToggle], 0x03);
    EXPECT_FALSE(f.link->getMessage());
}

TEST(Mailbox, noBoard_takesEveryJobSilentlyAndNothingArrives)
{
    LinkFixture f;
    NoLink none(f.env);
    f.st.mbuf[0] = 0x11;
    EXPECT_TRUE(none.putJob(f.st.record));
    EXPECT_FALSE(none.getMessage());
    EXPECT_EQ(f.st.mbuf[0], 0x11);
    EXPECT_EQ(none.getByte(0x400), 0);
    EXPECT_FALSE(none.stationDiagnosis(12));
    EXPECT_FALSE(none.connected());
    EXPECT_EQ(none.traits().store, ConfigStore::None);
}

TEST(StationLists, eachListReadsItsByteOncePerRun)
{
    DirectFixture f;
    f.r()[0x3010] = 0x08; // station 3 has diagnosis
    f.r()[0x3011] = 0x10; // station 12
    // Stations 0..7 first: the list's remembered byte 0 (value 0) is used unread.
    EXPECT_FALSE(f.link->stationDiagnosis(3));
    EXPECT_TRUE(f.link->stationDiagnosis(12));
    f.r()[0x3011] = 0x00;
    EXPECT_TRUE(f.link->stationDiagnosis(12)); // same byte: remembered
    EXPECT_TRUE(f.link->stationDiagnosis(3));  // another byte: read
    EXPECT_FALSE(f.link->stationDiagnosis(12));
    // The running list remembers a byte of its own.
    f.r()[0x3001] = 0x10;
    EXPECT_TRUE(f.link->stationRunning(12));
    EXPECT_FALSE(f.link->stationRunning(13));
}

TEST(NetworkLink, failedExchange_losesTheBoardAndBlockReadsStayInsideTheBuffer)
{
    LinkFixture f;
    auto driver = std::make_unique<DriverLibrary>(f.root, f.pump);
    NetworkLink link(f.env, TraitsFor(Item("ravelin-tcp")), MapOf(Item("ravelin-tcp")), std::move(driver), 0);
    EXPECT_EQ(link.getByte(0x400), 0); // nothing connected: the read fails and says so
    EXPECT_TRUE(link.lost());
    f.st.mbuf.fill(0x5A);
    link.getMultiByte(0x2000, 600, 500);
    link.getMultiByte(0x2000, 1, 512);
    EXPECT_EQ(f.st.mbuf[511], 0x5A);
}
