#include "iface/hwname.h"

#include <gtest/gtest.h>

using namespace meridan::iface;
using Kind = HwChoice::Kind;

TEST(HwName, everyMenuItemHasItsName)
{
    EXPECT_EQ(ParseHwName("none")->kind, Kind::None);
    EXPECT_EQ(ParseHwName("tessel")->kind, Kind::Tessel);
    EXPECT_EQ(ParseHwName("corvet-dpram")->kind, Kind::CorvetDpram);
    const auto vme = ParseHwName("vme:15");
    EXPECT_EQ(vme->kind, Kind::Vme);
    EXPECT_EQ(vme->vmeSlot, 15);

    const auto r2 = ParseHwName("ravelin:com2");
    EXPECT_EQ(r2->kind, Kind::Serial);
    EXPECT_EQ(r2->port, 2);
    EXPECT_EQ(r2->model, BoardModel::Ravelin);
    EXPECT_EQ(ParseHwName("dromon:COM1")->model, BoardModel::Dromon);
    EXPECT_EQ(ParseHwName("corvet:com1")->model, BoardModel::Corvet);

    const auto rt = ParseHwName("ravelin-tcp");
    EXPECT_EQ(rt->kind, Kind::Network);
    EXPECT_EQ(rt->variant, 0);
    EXPECT_TRUE(rt->target.isEmpty());
    const auto dt = ParseHwName("dromon-tcp:Bench");
    EXPECT_EQ(dt->model, BoardModel::Dromon);
    EXPECT_EQ(dt->target, "Bench");
    const auto kt = ParseHwName("ketch-tcp:127.0.0.1:4000");
    EXPECT_EQ(kt->variant, 1);
    EXPECT_EQ(kt->target, "127.0.0.1:4000");
}

TEST(HwName, badNames_sayWhy)
{
    QString why;
    for (const char *bad : {"", "vme", "vme:0", "vme:16", "vme:x", "dromon", "dromon:com3", "tessel:1", "ketch-tcp:", "pci"}) {
        why.clear();
        EXPECT_FALSE(ParseHwName(bad, &why)) << bad;
        EXPECT_FALSE(why.isEmpty()) << bad;
    }
}

TEST(HwName, hwOptionAndNumbers_areTakenFromArguments)
{
    QStringList args{"0x0C", "--hw", "tessel", "3"};
    const auto hw = TakeHwOption(args);
    ASSERT_TRUE(hw);
    EXPECT_EQ(hw->kind, Kind::Tessel);
    EXPECT_EQ(args, QStringList({"0x0C", "3"}));
    QStringList eq{"--hw=vme:2", "1"};
    EXPECT_EQ(TakeHwOption(eq)->vmeSlot, 2);
    QStringList none{"1"};
    QString why;
    EXPECT_FALSE(TakeHwOption(none, &why));
    EXPECT_TRUE(why.contains("--hw"));

    EXPECT_EQ(ParseNumberArg("0x0C", 0xFFFF), 12u);
    EXPECT_EQ(ParseNumberArg("0X3ff6", 0xFFFF), 0x3FF6u);
    EXPECT_EQ(ParseNumberArg("255", 0xFF), 255u);
    EXPECT_FALSE(ParseNumberArg("256", 0xFF));
    EXPECT_FALSE(ParseNumberArg("0x", 0xFF));
    EXPECT_FALSE(ParseNumberArg("12a", 0xFF));
    EXPECT_FALSE(ParseNumberArg("-1", 0xFF));
}
