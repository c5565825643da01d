// meridan-cli dump on damaged configuration files: what was read completely
// is shown, the damage is named on the last line, and the exit status is 2.
#include "config/demo.h"
#include "support/fixture.h"

#include <QProcess>

using namespace meridan;
using namespace meridan::test;

TEST(CliDumpDamage, cutShortBadLengthOrNoise_exit2WithWhatIsDamaged)
{
    Fixture f;
    ASSERT_TRUE(WriteDemoConfiguration(f.ctx, f.file("good.dp1")));
    const QByteArray good = f.read("good.dp1");
    // The last record: records follow the 264 bytes of header and master back to back.
    qsizetype last = 264;
    for (qsizetype at = 264; at + 10 <= good.size(); at += (uint8_t(good[at + 8]) << 8 | uint8_t(good[at + 9])) + 1)
        last = at;
    QByteArray badLength = good;
    badLength[264 + 8] = badLength[264 + 9] = char(0xFF);
    const struct {
        QByteArray bytes;
        QString damage;
    } cases[] = {
        {good.left(100), "the master record is cut short (92 of 256 bytes)"},
        {good.left(last + 20), QStringLiteral("the record of station 40 at byte %1 is cut short (20 bytes)").arg(last)},
        {badLength, "the record of station 12 at byte 264 has length 65535, above 511"},
        {QByteArray(4 << 20, '#'), "no master record"},
    };
    for (const auto &c : cases) {
        f.write("bad.dp1", c.bytes);
        QProcess p;
        p.start(QStringLiteral(MERIDAN_BINARY_DIR "/src/meridan-cli"), {"dump", f.file("bad.dp1")});
        ASSERT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitCode(), 2) << c.damage.toStdString();
        const QString err = "\n" + QString::fromUtf8(p.readAllStandardError());
        EXPECT_TRUE(err.endsWith("\nmeridan-cli: " + f.file("bad.dp1") + " is damaged: " + c.damage + "\n")) << err.toStdString();
        EXPECT_EQ(p.readAllStandardOutput().contains("\"master\""), c.damage != "no master record");
    }
}
