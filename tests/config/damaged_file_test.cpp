// meridan-cli dump on damaged configuration files: what was read completely
// is shown, the damage is named on one line, and the exit status is 2.
#include "config/configfile.h"
#include "config/demo.h"
#include "support/fixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <random>

using namespace meridan;
using namespace meridan::test;

TEST(CliDumpDamage, cutShortBadLengthOrNoise_exit2WithWhatIsDamaged)
{
    Fixture f;
    ASSERT_TRUE(WriteDemoConfiguration(f.ctx, f.file("good.dp1")));
    const QByteArray good = f.read("good.dp1");
    // Where the last record starts: records follow the master back to back.
    const auto word = [&](qsizetype at) { return uint8_t(good[at]) << 8 | uint8_t(good[at + 1]); };
    qsizetype last = 264;
    for (qsizetype at = 264; at + 10 <= good.size(); at += word(at + 8) + 1)
        last = at;
    const int lastStation = uint8_t(good[last + 3]);
    QByteArray badLength = good;
    badLength[264 + 8] = char(0xFF);
    badLength[264 + 9] = char(0xFF);
    QByteArray noise(4 << 20, '\0');
    std::mt19937 rng(20);
    for (char &c : noise)
        c = char(rng() % 0x24); // never "$": no master record
    struct Case {
        QByteArray bytes;
        QString damage;
        int slaves; // shown; -1: nothing on stdout
    };
    const Case cases[] = {
        {good.left(100), "the master record is cut short (92 of 256 bytes)", 0},
        {good.left(last + 20), QStringLiteral("the record of station %1 at byte %2 is cut short (20 bytes)").arg(lastStation).arg(last), 4},
        {badLength, "the record of station 12 at byte 264 has length 65535, above 511", 0},
        {noise, "no master record", -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.damage.toStdString());
        f.write("bad.dp1", c.bytes);
        QProcess p;
        p.start(QStringLiteral(MERIDAN_BINARY_DIR "/src/meridan-cli"), {"dump", f.file("bad.dp1")});
        ASSERT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitCode(), 2);
        // The last line names the damage (a missing master record is also shown as the message box text).
        const QString err = QString::fromUtf8(p.readAllStandardError());
        EXPECT_TRUE(("\n" + err).endsWith("\nmeridan-cli: " + f.file("bad.dp1") + " is damaged: " + c.damage + "\n"))
            << err.toStdString();
        const QByteArray out = p.readAllStandardOutput();
        if (c.slaves < 0)
            EXPECT_TRUE(out.isEmpty());
        else
            EXPECT_EQ(QJsonDocument::fromJson(out)["slaves"].toArray().size(), c.slaves);
    }
}
