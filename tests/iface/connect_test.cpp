#include "fakes.h"
#include "iface/connect.h"

using namespace meridan;
using namespace meridan::iface;
using namespace meridan::test;

TEST(Connect, tesselWithoutSignature_isNoHardware)
{
    BoardFixture f;
    auto ram = f.tesselFile();
    (*ram)[0x0E] = 'X';
    EXPECT_FALSE(ConnectTessel(f.ctx));
    EXPECT_EQ(f.st.melde1, "no hardware !");
    EXPECT_EQ(f.st.interfaceKind, 0);
}

TEST(Connect, oldTesselFirmware_showsUnknownAndSkipsTheBusState)
{
    BoardFixture f;
    auto ram = f.tesselFile(0x48);
    (*ram)[0x3FF6] = 3;
    f.st.language = kGerman;
    ASSERT_TRUE(ConnectTessel(f.ctx));
    EXPECT_EQ(f.st.melde1, "Tessel/DPX erkannt DPM-Firmwareversion V(Unknown)");
    EXPECT_TRUE(f.board->view.betriebsart.isEmpty());
}

TEST(Connect, tesselAfterCorvet_isNoLongerTakenForACorvet)
{
    BoardFixture f;
    auto ram = f.tesselFile();
    DpramFile corvet(f.root.path("driver/corvet.dpram"), 0x2000);
    corvet[0x1FFF] = 0x52;
    ASSERT_TRUE(ConnectCorvetDpram(f.ctx));
    EXPECT_EQ(f.board->corvetFlag, -1);
    EXPECT_EQ(f.board->map.boardType, 0);
    EXPECT_TRUE(f.board->view.eepromMenuEnabled);
    ASSERT_TRUE(ConnectTessel(f.ctx));
    EXPECT_EQ(f.board->corvetFlag, 0);
}

TEST(Connect, corvetOnCom1AfterRavelin_reopensAt19200WithCorvetAddresses)
{
    BoardFixture f;
    FakeMonitor mon(*f.serial);
    mon.ram[0x400] = 0x52;
    ASSERT_TRUE(ConnectSerial(f.ctx, 1, BoardModel::Ravelin));
    EXPECT_EQ(f.serial->baud, 9600);
    EXPECT_EQ(f.serial->device, f.root.path("driver/com1"));
    EXPECT_EQ(f.st.melde1, "Ravelin/Dromon on COM1 firmware version 5.2");
    EXPECT_FALSE(f.board->frameMode);
    EXPECT_TRUE(f.board->view.eraseEnabled);

    mon.ram[0x1FFF] = 0x52;
    mon.ram[0x1FF6] = 3;
    mon.version = "5.3";
    f.serial->tx.clear();
    ASSERT_TRUE(ConnectSerial(f.ctx, 1, BoardModel::Corvet));
    EXPECT_EQ(f.serial->baud, 19200);
    EXPECT_EQ(f.board->map.busState, 0x1FF6);
    EXPECT_TRUE(f.board->frameMode);
    EXPECT_EQ(f.board->view.betriebsart, "Operate");
    EXPECT_EQ(f.serial->tx, "!\rR1FFF\rVR1FF6\r");
    EXPECT_EQ(f.st.interfaceKind, 2);
    EXPECT_EQ(f.board->view.timerInterval, 250);
}

TEST(Connect, portThatWillNotOpen_saysCantOpen)
{
    BoardFixture f;
    f.serial->failOpen = true;
    EXPECT_FALSE(ConnectSerial(f.ctx, 2, BoardModel::Dromon));
    EXPECT_EQ(f.st.melde1, "Can´t open Com2");
    EXPECT_EQ(f.st.interfaceKind, 0);
    EXPECT_FALSE(f.board->view.eepromMenuEnabled);
}

TEST(Connect, noVersionReply_givesUpAfter2sWithAClearText)
{
    BoardFixture f;
    FakeMonitor mon(*f.serial);
    mon.ram[0x400] = 0x52;
    mon.version.clear(); // the monitor never answers "V"
    EXPECT_FALSE(ConnectSerial(f.ctx, 1, BoardModel::Ravelin));
    EXPECT_EQ(f.st.melde1, "No firmware version from COM1: no answer to \"V\" within 2 s");
    EXPECT_EQ(f.st.interfaceKind, 0);
    EXPECT_FALSE(f.serial->isOpen());
    EXPECT_LE(f.pump.nowMs(), kVersionReplyMs + 10);
}

TEST(Connect, noMasterOnTheLine_closesThePortKeepingTheEepromMenu)
{
    BoardFixture f;
    FakeMonitor mon(*f.serial);
    EXPECT_FALSE(ConnectSerial(f.ctx, 2, BoardModel::Ravelin));
    EXPECT_EQ(f.st.melde1, "No Ravelin on COM2");
    EXPECT_FALSE(f.serial->isOpen());
    EXPECT_EQ(f.board->view.eepromMenuState, -1);
}

TEST(Connect, networkWithEmptyTarget_triesOS9Target)
{
    BoardFixture f;
    f.write("driver/zelpci.cfg", "[network]\nOS9Target=127.0.0.1:1\n");
    EXPECT_FALSE(ConnectNetwork(f.ctx, 0, BoardModel::Ravelin));
    EXPECT_EQ(f.board->targetName, "OS9Target");
    EXPECT_EQ(f.st.melde1, "Can´t open OS9Target");
    EXPECT_EQ(f.st.interfaceKind, 0);
}

