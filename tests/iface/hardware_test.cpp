// SPDX-License-Identifier: GPL-3.0-or-later
#include "iface/hardware.h"
#include "core/numbers.h"

#include <QSet>
#include <gtest/gtest.h>

using namespace meridan;
using namespace meridan::iface;
using Kind = HwChoice::Kind;

TEST(Hardware, everyItemsCommandLineNameGivesItsChoiceBack)
{
    QSet<QString> names, objects;
    for (const HwItem &item : HardwareItems()) {
        const auto parsed = ParseHwName(item.cliName.toUpper());
        ASSERT_TRUE(parsed) << item.cliName.toStdString();
        EXPECT_EQ(*parsed, item.choice) << item.cliName.toStdString();
        EXPECT_FALSE(names.contains(item.cliName));
        EXPECT_FALSE(objects.contains(item.objectName));
        names << item.cliName;
        objects << item.objectName;
    }
    EXPECT_EQ(HardwareItems().size(), 12u + 15u); // the menu's items and the 15 VME slots
    const auto ketch = ParseHwName("ketch-tcp:127.0.0.1:4000");
    ASSERT_TRUE(ketch);
    EXPECT_EQ(ketch->variant, 1);
    EXPECT_EQ(ketch->target, "127.0.0.1:4000");
    EXPECT_EQ(ParseHwName("dromon:COM1")->model, BoardModel::Dromon);
    // The network Dromon keeps its bus state where the serial one does.
    EXPECT_EQ(MapOf(*ParseHwName("dromon-tcp")).busState, 0x2FF6);
}

TEST(Hardware, badNamesAndNumbers_sayWhy)
{
    QString why;
    for (const char *bad : {"", "vme", "vme:0", "vme:16", "dromon", "dromon:com3", "tessel:1", "ketch-tcp:", "pci"}) {
        why.clear();
        EXPECT_FALSE(ParseHwName(bad, &why)) << bad;
        EXPECT_FALSE(why.isEmpty()) << bad;
    }
}

TEST(Numbers, decimalAndHexadecimalReading)
{
    EXPECT_DOUBLE_EQ(ValNumber(QStringView(u" -2.5x")), -2.5);
    EXPECT_DOUBLE_EQ(ValNumber(QStringView(u"12kg")), 12);
    EXPECT_DOUBLE_EQ(ValNumber(QStringView(u"abc")), 0);
    EXPECT_DOUBLE_EQ(ValNumber(QLatin1StringView("5.3\r\n")), 5.3);
    EXPECT_EQ(LeadingHex(QStringView(u"1G")), 1u);
    EXPECT_EQ(LeadingHex(QStringView(u"G1")), 0u);
    EXPECT_EQ(LeadingHex(QStringView(u"ff")), 0xFFu);
    EXPECT_FALSE(LeadingHex(QStringView(u"100"), 0xFF));
    EXPECT_EQ(ParseNumberArg(u"0X3ff6", 0xFFFF), 0x3FF6u);
    EXPECT_EQ(ParseNumberArg(u"255", 0xFF), 255u);
    for (const char16_t *bad : {u"256", u"0x", u"12a", u"-1"})
        EXPECT_FALSE(ParseNumberArg(bad, 0xFF));
}
