// SPDX-License-Identifier: GPL-3.0-or-later
#include "fakes.h"
#include "iface/driver.h"

#include <QDir>

using namespace meridan;
using namespace meridan::iface;
using namespace meridan::test;

namespace {

// A board in a fake /sys/bus/pci/devices tree: a PLX bridge with its small
// register BARs first and the DP-RAM window in resource2.
void FakePciDevice(const QString &dir, const char *subVendor, const char *subDevice)
{
    QDir().mkpath(dir);
    auto put = [&](const char *name, const QByteArray &text) { WriteFile(dir + "/" + name, text); };
    put("vendor", "0x10b5\n");
    put("device", "0x9050\n");
    put("subsystem_vendor", QByteArray(subVendor) + "\n");
    put("subsystem_device", QByteArray(subDevice) + "\n");
    put("resource0", QByteArray(128, '\0'));
    put("resource1", QByteArray(128, '\0'));
    QByteArray ram(0x2000, '\0');
    ram[0x1FFF] = 'R';
    put("resource2", ram);
}

} // namespace

TEST(DriverDirect, tesselFile_isMappedForReadAndWrite)
{
    DriverFixture f;
    DriverLibrary &lib = f.lib;
    EXPECT_EQ(lib.PCI_Init(), 0);
    f.write("driver/tessel.dpram", QByteArray(0x2000, '\0')); // the wrong size
    EXPECT_EQ(lib.PCI_Init(), 0);
    auto ram = f.tesselFile();
    ASSERT_NE(lib.PCI_Init(), 0);
    EXPECT_EQ(lib.PCI_GetByte(0x0C), 'Z');
    lib.PCI_SetByte(0x3FF0, 0x01);
    EXPECT_EQ((*ram)[0x3FF0], 0x01);
    // Outside the window nothing is read or written.
    lib.PCI_SetByte(0x4000, 0x77);
    EXPECT_EQ(lib.PCI_GetByte(0x4000), 0);
    EXPECT_GE(lib.PCI_GetDllVersion(), 131u);
}

TEST(DriverDirect, vmeSlot_mapsItsOwnEntryOnly)
{
    DriverFixture f;
    f.write("driver/zelpci.cfg", "[dpram]\nVME7=driver/slot7.dpram\n");
    DpramFile slot7(f.root.path("driver/slot7.dpram"), 0x4000);
    slot7[5] = 0x42;
    EXPECT_EQ(f.lib.PCI_VmeInit(1, 2), 0);
    ASSERT_NE(f.lib.PCI_VmeInit(1, 7), 0);
    EXPECT_EQ(f.lib.PCI_GetByte(5), 0x42);
    EXPECT_EQ(f.lib.PCI_VmeInit(1, 16), 0);
}

TEST(DriverDirect, plxBridgeInSysfs_mapsItsDpramWindow)
{
    DriverFixture f;
    const QString sys = f.file("sys");
    FakePciDevice(sys + "/0000:00:1f.0", "0x8086", "0x0001"); // some other card
    FakePciDevice(sys + "/0000:03:04.0", "0x5a45", "0x0001");
    f.lib.sysfsRoot = sys;
    ASSERT_NE(f.lib.PCI_MapPciDevice(0x905010B5, 0x15A45, 0x2000), 0);
    EXPECT_EQ(f.lib.mappedFile(), sys + "/0000:03:04.0/resource2");
    EXPECT_EQ(f.lib.PCI_GetByte(0x1FFF), 'R');
    EXPECT_EQ(f.lib.PCI_MapPciDevice(0x905010B5, 0x25A45, 0x2000), 0);
}

TEST(DriverLoader, image_goesOverInChunksOf1024)
{
    DriverFixture f;
    auto ram = f.tesselFile();
    FakeLoader board(*ram);
    f.pump.onPump = [&] { board.step(); };
    QByteArray image("DPFW\x31\x53\0\0\0\0\x09\x01\0\0\0\0", 16);
    image += QByteArray(0x901, 'x');
    f.write("download/DPM1.lo", image);
    ASSERT_NE(f.lib.PCI_Init(), 0);
    EXPECT_EQ(f.lib.PCI_LoadCPU331(f.root.path("download/DPM1.lo")), 0);
    EXPECT_EQ(board.cpus, QList<uint8_t>{0x31});
    EXPECT_EQ(board.commands, (QList<uint8_t>{1, 2, 2, 2, 3}));
    EXPECT_EQ(board.seqs, (QList<int>{0, 1, 2}));
    EXPECT_EQ(board.chunks, (QList<int>{1024, 1024, 0x901 - 2048}));
}

TEST(DriverLoader, fileAndBoardProblems_giveTheirCodes)
{
    DriverFixture f;
    auto ram = f.tesselFile();
    EXPECT_EQ(f.lib.PCI_LoadCPU331(f.root.path("download/DPM1.lo")), kLoadNoBoard);
    ASSERT_NE(f.lib.PCI_Init(), 0);
    EXPECT_EQ(f.lib.PCI_LoadCPU331(f.root.path("download/none.lo")), kLoadNoFile);
    f.write("download/short.lo", "DPFW");
    EXPECT_EQ(f.lib.PCI_LoadCPU331(f.root.path("download/short.lo")), kLoadShortFile);

    // A loader that never clears its command byte: given up after 1000 ms.
    f.write("download/DPM1.lo", QByteArray(100, 'z'));
    EXPECT_EQ(f.lib.PCI_LoadCPU331(f.root.path("download/DPM1.lo")), kLoadNoAnswer);
    EXPECT_GE(f.pump.nowMs(), 1000);
    EXPECT_LT(f.pump.nowMs(), 1100);
}
