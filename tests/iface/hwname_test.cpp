#include "iface/hwname.h"

#include <gtest/gtest.h>

using namespace meridan::iface;
using Kind = HwChoice::Kind;

TEST(HwName, everyMenuItemHasItsName)
{
    const struct {
        const char *name;
        Kind kind;
        int number; // VME slot, COM port or map variant
        BoardModel model;
        const char *target;
    } cases[] = {{"none", Kind::None, 0, BoardModel::Ravelin, ""},
                 {"tessel", Kind::Tessel, 0, BoardModel::Ravelin, ""},
                 {"vme:15", Kind::Vme, 15, BoardModel::Ravelin, ""},
                 {"corvet-dpram", Kind::CorvetDpram, 0, BoardModel::Ravelin, ""},
                 {"ravelin:com2", Kind::Serial, 2, BoardModel::Ravelin, ""},
                 {"dromon:COM1", Kind::Serial, 1, BoardModel::Dromon, ""},
                 {"corvet:com1", Kind::Serial, 1, BoardModel::Corvet, ""},
                 {"ravelin-tcp", Kind::Network, 0, BoardModel::Ravelin, ""},
                 {"dromon-tcp:Bench", Kind::Network, 0, BoardModel::Dromon, "Bench"},
                 {"ketch-tcp:127.0.0.1:4000", Kind::Network, 1, BoardModel::Ravelin, "127.0.0.1:4000"}};
    for (const auto &c : cases) {
        const auto hw = ParseHwName(c.name);
        ASSERT_TRUE(hw) << c.name;
        EXPECT_EQ(hw->kind, c.kind) << c.name;
        EXPECT_EQ(hw->vmeSlot + hw->port + hw->variant, c.number) << c.name;
        EXPECT_EQ(hw->model, c.model) << c.name;
        EXPECT_EQ(hw->target, c.target) << c.name;
    }
}

TEST(HwName, badNamesAndNumbers_sayWhy)
{
    QString why;
    for (const char *bad : {"", "vme", "vme:0", "vme:16", "dromon", "dromon:com3", "tessel:1", "ketch-tcp:", "pci"}) {
        why.clear();
        EXPECT_FALSE(ParseHwName(bad, &why)) << bad;
        EXPECT_FALSE(why.isEmpty()) << bad;
    }
    QStringList args{"0x0C", "--hw", "tessel", "3"};
    EXPECT_EQ(TakeHwOption(args)->kind, Kind::Tessel);
    EXPECT_EQ(args, QStringList({"0x0C", "3"}));
    QStringList none{"1"};
    EXPECT_FALSE(TakeHwOption(none, &why));
    EXPECT_TRUE(why.contains("--hw"));

    EXPECT_EQ(ParseNumberArg("0X3ff6", 0xFFFF), 0x3FF6u);
    EXPECT_EQ(ParseNumberArg("255", 0xFF), 255u);
    for (const char *bad : {"256", "0x", "12a", "-1"})
        EXPECT_FALSE(ParseNumberArg(bad, 0xFF)) << bad;
}
