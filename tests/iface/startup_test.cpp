#include "fakes.h"
#include "iface/startup.h"

using namespace meridan;
using namespace meridan::iface;
using namespace meridan::test;

namespace {

// A Tessel card that goes into its loader when stopped and boots once a
// 331 image was loaded; `loadStatus` answers the END command.
struct TesselStart : BoardFixture {
    std::unique_ptr<DpramFile> ram = tesselFile();
    QList<uint8_t> loaded;
    uint8_t loadStatus = 0;
    bool boots = true;

    TesselStart()
    {
        board->driver.PCI_Init();
        board->map = MapFor(MapVariant::Tessel);
        st.interfaceKind = 1;
        write("download/OS9PCI.lo", QByteArray(20, '4'));
        write("download/DPM1.lo", QByteArray(20, '3'));
        pump.onPump = [this] { step(); };
    }
    void step()
    {
        DpramFile &r = *ram;
        const uint8_t cmd = r[0x0D30];
        if (cmd == 0)
            return;
        r[0x0D31] = cmd == 3 ? loadStatus : 0;
        if (cmd == 3) {
            loaded << r[0x0D32];
            if (r[0x0D32] == 0x31 && loadStatus == 0 && boots)
                r[0x0400] = 0x52;
        }
        r[0x0D30] = 0;
    }
};

} // namespace

TEST(StartUp, badImage_showsItsLoaderCodeAndGoesOn)
{
    TesselStart f;
    f.st.language = kGerman;
    f.loadStatus = 0x13;
    (*f.ram)[0x0D3B] = 1;
    // The stopped card never says "R" again; its start byte still reads 1.
    EXPECT_TRUE(StartUp(f.ctx));
    ASSERT_EQ(f.ui.shown.size(), 3u);
    EXPECT_EQ(f.ui.shown[0].text, "Fehler beim Laden 040: 19");
    EXPECT_EQ(f.ui.shown[0].title, "Loader:");
    EXPECT_EQ(f.ui.shown[1].text, "Fehler beim Laden 331: 19");
    EXPECT_EQ(f.ui.shown[2].text, "Profibus Init Timeout");
}

TEST(StartUp, noReadyMark_givesProfibusInitTimeoutAfter500Rounds)
{
    TesselStart f;
    f.boots = false;
    StartUp(f.ctx);
    EXPECT_EQ(f.ui.lastText(), "Profibus Init Timeout");
    EXPECT_EQ(f.ui.lastTitle(), "DPM1:");
    // 300 ms after the stop, the loader's few polls, 500 rounds of 10 ms.
    EXPECT_GE(f.pump.nowMs(), 300 + kReadyRounds * kReadyRoundMs);
    EXPECT_LT(f.pump.nowMs(), 300 + kReadyRounds * kReadyRoundMs + 50);
}

TEST(StartUp, serialLineTimingOut_givesUpAfterTheEleventhFailedRound)
{
    BoardFixture f;
    FakeMonitor mon(*f.serial);
    mon.mute = true;
    f.serial->open("com1", 9600);
    f.st.interfaceKind = 2;
    f.board->map = MapFor(MapVariant::Serial);
    EXPECT_FALSE(StartUp(f.ctx));
    // Eleven "R" in the wait, one for the last look; each a "timeout" box.
    EXPECT_EQ(f.serial->tx.count("R400\r"), 12);
    ASSERT_EQ(f.ui.shown.size(), 1u + 11 + 1 + 1);
    EXPECT_EQ(f.ui.shown[12].text, "Profibus Init Timeout");
}
