#include "fakes.h"

#include <QProcess>

using namespace meridan;
using namespace meridan::test;

namespace {

struct CliRun {
    int code = -1;
    QByteArray out, err;
};

CliRun Cli(const Fixture &f, const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral(MERIDAN_BINARY_DIR "/src/meridan-cli"), QStringList{"--root", f.root.dir()} + args);
    p.waitForFinished(20000);
    return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
}

} // namespace

TEST(CliPeek, tesselSignature_printsHexThenText)
{
    BoardFixture f;
    auto ram = f.tesselFile();
    ram->put(0x20, QByteArray("Meridan DP-RAM\x01\xFF", 16) + "xyz");
    EXPECT_EQ(Cli(f, {"peek", "--hw", "tessel", "0x0C", "3"}).out, "5A 45 4C  ZEL\n");
    const CliRun run = Cli(f, {"peek", "--hw=tessel", "32", "19"});
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out, "4D 65 72 69 64 61 6E 20 44 50 2D 52 41 4D 01 FF  Meridan DP-RAM..\n"
                       "78 79 7A  xyz\n");
}

TEST(CliPoke, tesselByte_isWrittenDecimalOrHex)
{
    BoardFixture f;
    auto ram = f.tesselFile();
    EXPECT_EQ(Cli(f, {"poke", "--hw", "tessel", "0x3FF0", "0x03"}).code, 0);
    EXPECT_EQ(Cli(f, {"poke", "--hw", "tessel", "100", "200"}).code, 0);
    EXPECT_EQ((*ram)[0x3FF0], 3);
    EXPECT_EQ((*ram)[100], 200);
}

TEST(CliPeek, badArgumentsOrNoBoard_sayWhy)
{
    BoardFixture f;
    const CliRun noHw = Cli(f, {"peek", "0x0C"});
    EXPECT_EQ(noHw.code, 2);
    EXPECT_TRUE(noHw.err.contains("ravelin-tcp[:TARGET]"));
    EXPECT_EQ(Cli(f, {"peek", "--hw", "pci", "0"}).code, 2);
    EXPECT_EQ(Cli(f, {"peek", "--hw", "tessel", "0x10000"}).code, 2);
    EXPECT_EQ(Cli(f, {"peek", "--hw", "tessel", "0xFFFF", "2"}).code, 2);
    EXPECT_EQ(Cli(f, {"poke", "--hw", "tessel", "0", "256"}).code, 2);
    const CliRun none = Cli(f, {"peek", "--hw", "tessel", "0"});
    EXPECT_EQ(none.code, 1);
    EXPECT_TRUE(none.err.contains("no hardware !"));
    EXPECT_EQ(Cli(f, {"peek", "--hw", "none", "0", "2"}).out, "00 00  ..\n");
}
