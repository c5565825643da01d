#include "iface/board_port.h"

#if __has_include("busops/master_port.h")
#include "fakes.h"
#include "iface/connect.h"

using namespace meridan;
using namespace meridan::iface;
using namespace meridan::test;

TEST(BoardPort, tesselCard_isReachedThroughThePort)
{
    BoardFixture f;
    BoardPort port(f.ctx);
    EXPECT_EQ(port.GetByte(0x400), 0); // no interface yet
    EXPECT_EQ(port.PutKomm(), 1);
    auto ram = f.tesselFile();
    (*ram)[0x3FF6] = 3;
    ASSERT_TRUE(ConnectTessel(f.ctx));
    EXPECT_EQ(port.GetByte(port.startByteAddress()), 0x52);
    EXPECT_EQ(port.GetByte(port.busStateAddress()), 3);
    EXPECT_EQ(port.boardType(), 0x2000);
    EXPECT_DOUBLE_EQ(port.firmwareVersion(), 5.3);
    f.st.record[0] = 0x27;
    EXPECT_EQ(port.PutKomm(), 1);
    EXPECT_EQ((*ram)[0x3125], 0x27);
    EXPECT_FALSE(port.serialTimeout());
}
#endif

#if __has_include("busops/master_port.h")
TEST(BoardPort, serialPortClosedUnderneath_countsAsLostConnection)
{
    BoardFixture f;
    BoardPort port(f.ctx);
    f.serial->open("com", 19200);
    f.st.interfaceKind = 3;
    EXPECT_FALSE(port.serialTimeout());
    f.serial->close(); // the peer hung up and the port closed itself
    EXPECT_TRUE(port.serialTimeout());
    f.st.interfaceKind = 1; // not a serial line: a closed port means nothing
    EXPECT_FALSE(port.serialTimeout());
}
#endif
