// The Hardware menu's items as operations (locking, the status poll around
// the connection) and the ways out of the program, on scripted boards.
#include "busops/commissioning.h"
#include "busops/connection.h"
#include "iface/board.h"
#include "iface/board_port.h"
#include "iface/dpmap.h"
#include "iface/exit.h"
#include "iface/fakes.h"

using namespace meridan;
using namespace meridan::test;
using Kind = iface::HwChoice::Kind;

namespace {

struct Items : BoardFixture {
    iface::BoardPort port{ctx};
    Commissioning comm{ctx, board->view, port};
    std::vector<bool> hardwareMenu; // every state the window was told to show

    Items()
    {
        board->view.changed = [this] { hardwareMenu.push_back(board->view.hardwareMenuEnabled); };
    }
    static iface::HwChoice choice(Kind kind, int port = 0, iface::BoardModel model = iface::BoardModel::Ravelin)
    {
        iface::HwChoice c;
        c.kind = kind;
        c.port = port;
        c.model = model;
        return c;
    }
};

} // namespace

TEST(ConnectionItems, tessel_connectsWithoutLockingAndPollsEvery100ms)
{
    Items f;
    const auto file = f.tesselFile();
    f.board->view.timerInterval = 250;
    ASSERT_TRUE(ConnectItem(f.ctx, f.comm, Items::choice(Kind::Tessel)));
    EXPECT_EQ(f.st.interfaceKind, 1);
    EXPECT_EQ(std::count(f.hardwareMenu.begin(), f.hardwareMenu.end(), false), 0);
    EXPECT_TRUE(f.board->view.timerEnabled);
    EXPECT_EQ(f.board->view.timerInterval, 100);
    EXPECT_FALSE(f.board->view.eepromMenuEnabled);
    EXPECT_TRUE(f.board->view.runEnabled);
    EXPECT_EQ(f.ui.busyDepth, 0);
}

TEST(ConnectionItems, serialRavelin_locksMeanwhileAndLeavesTheEepromMenuOn)
{
    Items f;
    FakeMonitor monitor(*f.serial);
    monitor.ram[iface::MapFor(iface::MapVariant::Serial).startByte & 0x3FFF] = iface::kReady;
    ASSERT_TRUE(ConnectItem(f.ctx, f.comm, Items::choice(Kind::Serial, 1))) << f.st.melde1.toStdString();
    EXPECT_EQ(f.st.interfaceKind, 2);
    EXPECT_EQ(f.serial->baud, 9600);
    EXPECT_NE(std::count(f.hardwareMenu.begin(), f.hardwareMenu.end(), false), 0);
    EXPECT_TRUE(f.board->view.hardwareMenuEnabled);
    EXPECT_TRUE(f.board->view.eepromMenuEnabled);
    EXPECT_EQ(f.board->view.timerInterval, 250);
    EXPECT_TRUE(f.board->view.timerEnabled);
}

TEST(ConnectionItems, failedOpenAndNoHardware_keepThePollShowingNoHardware)
{
    Items f;
    f.serial->failOpen = true;
    EXPECT_FALSE(ConnectItem(f.ctx, f.comm, Items::choice(Kind::Serial, 1, iface::BoardModel::Dromon)));
    EXPECT_EQ(f.st.melde1, QStringLiteral("Can´t open Com1"));
    EXPECT_EQ(f.st.interfaceKind, 0);
    EXPECT_TRUE(f.board->view.timerEnabled);
    EXPECT_FALSE(f.board->view.eepromMenuEnabled);
    f.comm.Timer1_Timer();
    EXPECT_EQ(f.board->view.hwText, QStringLiteral("no Hardware"));

    f.serial->failOpen = false;
    f.board->boardVariant = true;
    NoHardwareItem(f.ctx, f.comm);
    EXPECT_FALSE(f.board->boardVariant);
    EXPECT_TRUE(f.board->view.timerEnabled);
}

TEST(ExitPaths, exitButtonSaysGoodbyeToADromonMonitorTheOtherWaysOnlyClose)
{
    for (const bool exitButton : {true, false}) {
        BoardFixture f;
        ASSERT_TRUE(f.board->serial->open(QStringLiteral("com2"), 19200));
        f.st.interfaceKind = 3;
        f.board->boardVariant = true;
        iface::CloseForExit(f.ctx, exitButton);
        EXPECT_FALSE(f.serial->opened) << exitButton;
        EXPECT_EQ(f.serial->tx, exitButton ? QByteArray("Q\r") : QByteArray()) << exitButton;
        EXPECT_EQ(f.board->boardVariant, !exitButton) << exitButton;
        // A second way out (the close box after Exit) finds nothing left to close.
        f.serial->tx.clear();
        iface::CloseForExit(f.ctx, true);
        EXPECT_TRUE(f.serial->tx.isEmpty());
    }
    // A Ravelin's monitor is never sent "Q".
    BoardFixture f;
    ASSERT_TRUE(f.board->serial->open(QStringLiteral("com1"), 9600));
    f.st.interfaceKind = 2;
    iface::CloseForExit(f.ctx, true);
    EXPECT_FALSE(f.serial->opened);
    EXPECT_TRUE(f.serial->tx.isEmpty());
}
