// SPDX-License-Identifier: GPL-3.0-or-later
// meridan-cli dump: the sample file as JSON whole; on a damaged file what was
// read completely is shown, the damage is named on the last line, exit 2.
#include "config/demo.h"
#include "support/fixture.h"
#include "support/golden.h"

using namespace meridan;
using namespace meridan::test;

TEST(CliDump, sampleGivesItsJsonWhole_damagedFilesExit2NamingTheDamage)
{
    Fixture f;
    const QStringList dump{"--root", f.root.dir(), "dump"};
    CliRun r = RunCli(dump + QStringList{MERIDAN_SOURCE_DIR "/tests/config/golden/sample.dp1"});
    ASSERT_EQ(r.code, 0);
    EXPECT_EQ(r.out, Golden(QStringLiteral("config/golden/sample.json")));
    EXPECT_EQ(RunCli({"--version"}).code, 0);

    ASSERT_TRUE(WriteDemoConfiguration(f.ctx, f.file("good.dp1")));
    const QByteArray good = f.read("good.dp1");
    QByteArray badLength = good;
    badLength[264 + 8] = badLength[264 + 9] = char(0xFF); // the first record, after header and master
    const struct {
        QByteArray bytes;
        QString damage;
    } cases[] = {
        {good.left(100), "the master record is cut short (92 of 256 bytes)"},
        {badLength, "the record of station 12 at byte 264 has length 65535, above 511"},
        {QByteArray(4 << 20, '#'), "no master record"},
    };
    for (const auto &c : cases) {
        f.write("bad.dp1", c.bytes);
        r = RunCli(dump + QStringList{f.file("bad.dp1")}, 60000);
        EXPECT_EQ(r.code, 2) << c.damage.toStdString();
        const QString err = "\n" + QString::fromUtf8(r.err);
        EXPECT_TRUE(err.endsWith("\nmeridan-cli dump: " + f.file("bad.dp1") + " is damaged: " + c.damage + "\n")) << err.toStdString();
        EXPECT_EQ(r.out.contains("\"master\""), c.damage != "no master record");
    }
}
