// SPDX-License-Identifier: GPL-3.0-or-later
#include "iface/zelpci_cfg.h"
#include "support/fixture.h"

#include <sys/stat.h>

using namespace meridan;
using namespace meridan::iface;
using namespace meridan::test;

TEST(ZelpciCfg, missingFile_givesTheDemoDefaults)
{
    Fixture f;
    const DriverConfig cfg = DriverConfig::load(f.root);
    EXPECT_EQ(cfg.dpramFile("Tessel"), f.root.path("driver/tessel.dpram"));
    EXPECT_EQ(cfg.dpramFile("vme1"), f.root.path("driver/vme1.dpram"));
    EXPECT_EQ(cfg.dpramFile("Corvet"), f.root.path("driver/corvet.dpram"));
    EXPECT_TRUE(cfg.dpramFile("VME2").isEmpty());
    EXPECT_EQ(cfg.serialDevice(1), f.root.path("driver/com1"));
    EXPECT_EQ(cfg.serialDevice(2), f.root.path("driver/com2"));
    const auto t = cfg.resolveTarget("OS9Target");
    ASSERT_TRUE(t);
    EXPECT_EQ(t->host, "127.0.0.1");
    EXPECT_EQ(t->port, 17301);
    EXPECT_EQ(cfg.resolveTarget("ketch")->port, 17302);
    EXPECT_TRUE(cfg.warnings.isEmpty());
}

TEST(ZelpciCfg, fileEntries_overrideDefaultsWithLooseSyntax)
{
    Fixture f;
    f.write("driver/ZELPCI.CFG",
            "# boards of the test bench\r\n"
            "[DPRAM]\r\n"
            "  tessel =  boards\\card.dpram \r\n"
            "VME3=/abs/vme3.dpram\r\n"
            "[serial]\n"
            "com1=/dev/ttyS0 # first port\n"
            "this line means nothing\n"
            "[network]\n"
            "Bench=10.0.0.7:4000\n"
            "Broken=host:99999\n"
            "[other]\n"
            "Tessel=ignored\n");
    const DriverConfig cfg = DriverConfig::load(f.root);
    EXPECT_EQ(cfg.dpramFile("Tessel"), f.root.path("boards/card.dpram"));
    EXPECT_EQ(cfg.dpramFile("VME3"), "/abs/vme3.dpram");
    // No trailing comments: the value runs to the end of the line.
    EXPECT_EQ(cfg.serialDevice(1), "/dev/ttyS0 # first port");
    EXPECT_EQ(cfg.serialDevice(2), f.root.path("driver/com2"));
    ASSERT_EQ(cfg.warnings.size(), 1);
    EXPECT_TRUE(cfg.warnings[0].contains("line 7"));
    EXPECT_EQ(cfg.resolveTarget("BENCH")->host, "10.0.0.7");
    EXPECT_EQ(cfg.resolveTarget("bench")->port, 4000);
    EXPECT_FALSE(cfg.resolveTarget("Broken"));
    EXPECT_EQ(cfg.resolveTarget("OS9Target")->port, 17301);
    // A name the file does not know is a host name, with or without a port.
    EXPECT_EQ(cfg.resolveTarget("board.local")->host, "board.local");
    EXPECT_EQ(cfg.resolveTarget("board.local")->port, DriverConfig::kDefaultPort);
    EXPECT_EQ(cfg.resolveTarget("127.0.0.1:5555")->port, 5555);
    for (const char *bad : {"", "host:", ":80", "host:0", "[::1", "[::1]x", "[]:80", "[::1]:0"})
        EXPECT_FALSE(cfg.resolveTarget(bad)) << bad;
    // IPv6 literals: in brackets with or without a port, or bare without one.
    const std::tuple<const char *, const char *, int> v6[] = {
        {"[::1]:17302", "::1", 17302}, {"[fe80::1%eth0]", "fe80::1%eth0", DriverConfig::kDefaultPort}, {"::1", "::1", DriverConfig::kDefaultPort}};
    for (const auto &[text, host, port] : v6) {
        const auto ep = cfg.resolveTarget(text);
        ASSERT_TRUE(ep) << text;
        EXPECT_EQ(ep->host, host);
        EXPECT_EQ(ep->port, port);
        EXPECT_EQ(EndpointText(*ep), QStringLiteral("[%1]:%2").arg(QLatin1String(host)).arg(port));
    }
}

TEST(ZelpciCfg, aFifoIsRefusedAtOnce_andAHugeLineWithEscapesEchoedShort)
{
    Fixture f;
    ASSERT_EQ(::mkfifo(QFile::encodeName(f.root.path("driver/zelpci.cfg")).constData(), 0600), 0);
    EXPECT_EQ(DriverConfig::load(f.root).warnings, QStringList{"cannot be read: not a regular file"});
    QFile::remove(f.root.path("driver/zelpci.cfg"));
    f.write("driver/zelpci.cfg", "[serial]\n\x1b]0;owned\x07" + QByteArray(1 << 20, 'x') + "\n");
    // The file is read up to 1 MiB: the line is what of it follows "[serial]\n".
    EXPECT_EQ(DriverConfig::load(f.root).warnings,
              QStringList{"line 2: not a section or key=value: \\x1B]0;owned\\x07" + QString(64, QLatin1Char('x'))
                          + QStringLiteral("... (%1 characters in all)").arg((1 << 20) - 9)});
}
