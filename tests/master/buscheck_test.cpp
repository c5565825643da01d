// SPDX-License-Identifier: GPL-3.0-or-later
// The bus parameter check on the demo configuration with small device files:
// the clean bus, then one change for each kind of finding; the cycle estimate
// against a hand calculation; meridan-cli check with its exit codes.
#include "config/configfile.h"
#include "config/demo.h"
#include "core/bytes.h"
#include "master/buscheck.h"
#include "slave/record.h"
#include "support/fixture.h"
#include "support/test_gsd.h"

#include <functional>

using namespace meridan;
using namespace meridan::test;

namespace {

struct CheckFixture : Fixture {
    CheckFixture()
    {
        InstallTestGsd(root);
        BuildDemoConfiguration(ctx);
        master()[25] = 50; // HSA at the highest station: nothing to note
    }
    Record &master() { return st.image.slot(0); }
    Record &slave(int s) { return st.image.slot(s); }
    BusCheck check()
    {
        DeviceFiles files;
        return CheckBus(ctx, master(), files);
    }
    // "error slot-time", ... in the order the check gives them.
    QStringList findings()
    {
        QStringList out;
        for (const BusFinding &f : check().findings)
            out << QStringLiteral("%1 %2").arg(QLatin1String(f.level == BusFinding::Level::Error     ? "error"
                                                             : f.level == BusFinding::Level::Warning ? "warning"
                                                                                                    : "note"),
                                               f.rule);
        return out;
    }
};

struct Case {
    const char *name;
    std::function<void(CheckFixture &)> change;
    QStringList expected;
};

} // namespace

TEST(BusCheck, demoBus_passesAndEachChangeGivesOnlyItsFinding)
{
    const Case cases[] = {
        {"clean", [](CheckFixture &) {}, {}},
        {"no master", [](CheckFixture &f) { f.master().clear(); }, {"error master"}},
        {"unknown rate", [](CheckFixture &f) { f.master()[11] = 10; }, {"error baud"}},
        {"station 20 lacks 187.5k", [](CheckFixture &f) { f.master()[11] = 3; }, {"error baud-support"}},
        {"TSL below 200 + 14", [](CheckFixture &f) { putBe16(f.master().span(), 12, 213); }, {"error slot-time"}},
        {"no MaxTsdr_500", [](CheckFixture &f) { f.master()[11] = 4; }, {"warning slot-time"}},
        {"min TSDR 10", [](CheckFixture &f) { putBe16(f.master().span(), 14, 10); }, {"error min-tsdr"}},
        {"min TSDR = max", [](CheckFixture &f) { putBe16(f.master().span(), 14, 150); }, {"error tsdr-order"}},
        {"Tset 58", [](CheckFixture &f) { f.master()[19] = 58; }, {"error max-tsdr"}},
        {"HSA below the master", [](CheckFixture &f) { f.master()[10] = 3, f.master()[25] = 2; }, {"error hsa", "note hsa"}},
        {"slaves above HSA", [](CheckFixture &f) { f.master()[25] = 49; }, {"note hsa"}},
        {"slave at the master's address", [](CheckFixture &f) { f.master()[10] = 12; }, {"error address"}},
        {"inputs of 12 and 20 overlap",
         [](CheckFixture &f) { putBe16(f.slave(20).span(), std::size_t(SlaveLayout::of(f.slave(20)).addTab()), 1); },
         {"error io-overlap"}},
        {"watchdog 20 ms, polled every 30 ms",
         [](CheckFixture &f) { f.slave(12)[27] = 1, f.slave(12)[28] = 2, putBe16(f.master().span(), 28, 300); },
         {"error watchdog"}},
        {"watchdog off", [](CheckFixture &f) { f.slave(12)[26] &= ~0x08; }, {"note watchdog"}},
        {"station 30 alone, polled faster than 1 ms",
         [](CheckFixture &f) {
             for (int s : {12, 20, 40, 50})
                 f.slave(s).clear();
             putBe16(f.master().span(), 28, 0);
         },
         {"error min-slave-interval"}},
        {"TTR 1000", [](CheckFixture &f) { putBe32(f.master().span(), 20, 1000); }, {"warning ttr"}},
        {"no device file for 20", [](CheckFixture &f) { QFile::remove(f.root.gsdDir() + "/testC0DE.gsd"); }, {"note gsd"}},
        {"station 20 beyond its device's limits",
         [](CheckFixture &f) {
             f.write("GSD/testC0DE.gsd", f.read("GSD/testC0DE.gsd") + "Max_Module=1\r\nMax_User_Prm_Data_Len=0\r\n");
             AppendModule(f.slave(20), 1);
             AppendModule(f.slave(20), 2);
             f.st.record = f.slave(20);
             RecomputeLengths(f.st);
             f.st.slave.u = 1;
             InsertUserPrm(f.st);
             f.slave(20) = f.st.record;
         },
         {"error max-module", "error max-user-prm"}},
        {"stations 1 and 105: never downloaded",
         [](CheckFixture &f) {
             for (int s : {1, 105}) {
                 f.slave(s) = f.slave(30);
                 f.slave(s)[3] = uint8_t(s);
             }
         },
         {"warning download", "warning download"}},
        {"record of 12 longer than a job: its name stays behind",
         [](CheckFixture &f) { putBe16(f.slave(12).span(), 8, 300), f.slave(12)[7] = 244; },
         {"warning job-length"}},
        {"record of 12 longer than a job: its identifier bytes would be cut",
         [](CheckFixture &f) {
             f.st.record = f.slave(12);
             RecomputeLengths(f.st);
             f.st.slave.u = 230;
             InsertUserPrm(f.st);
             f.slave(12) = f.st.record;
         },
         {"error job-length"}},
        {"device file of 20 cut short",
         [](CheckFixture &f) { f.write("GSD/testC0DE.gsd", f.read("GSD/testC0DE.gsd").chopped(11)); },
         {"warning gsd"}},
        {"damaged record", [](CheckFixture &f) { f.slave(30)[25] = 255, f.slave(30)[280] = 255; }, {"error record"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        CheckFixture f;
        c.change(f);
        EXPECT_EQ(f.findings(), c.expected);
    }
}

TEST(BusCheck, reportAndEditorLine_sayTheRuleAndTheEstimate)
{
    CheckFixture f;
    putBe16(f.master().span(), 12, 100);
    BusCheck check = f.check();
    EXPECT_EQ(BusCheckReport(f.ctx, check).join('\n').toStdString(),
              QStringList({"error [slot-time]: TSL 100 tbit is shorter than the slowest answer, max TSDR 200 tbit of station 20, "
                           "plus the master's overhead Tset + Tqui + 13 = 14 tbit: at least 214 tbit",
                           "bus cycle (estimate): 1.535 ms (2303 tbit) for 5 slaves at 1.5 Mbit/s",
                           "each slave is polled every 2.500 ms (Min Slave Interval 2.500 ms)",
                           "suggested target rotation time: 2767 tbit (1.845 ms)", "1 error, 0 warnings, 0 notes"})
                  .join('\n')
                  .toStdString());
    EXPECT_TRUE(BusCheckLine(f.ctx, check).startsWith("1 error, 0 warnings, 0 notes - error [slot-time]: TSL 100 tbit"));
}

// By hand, with the default bus parameters of each rate (Tset 1, Tqui 0,
// min TSDR 11, retry 1, gap factor 100) and slaves of 2 input and 2 output
// bytes: a request and a response are (9 + 2) x 11 = 121 tbit each, the idle
// time after an answer is 33 + (2 + 2 x 1 + 0) = 37 tbit.
//   1.5 Mbit/s, slave TSDR 150, max TSDR 150, TSL 7000:
//     a slave 121 + 150 + 121 + 37 = 429; the token 3 x 11 + 150 = 183, the gap
//     (6 x 11 + 7000) / 100 = 70.66; TTR: + 2 x (7000 + 121) = 14242.
//   93.75 kbit/s, slave TSDR 60, max TSDR 250, TSL 600:
//     a slave 121 + 60 + 121 + 37 = 339; the token 33 + 250 = 283, the gap
//     (66 + 600) / 100 = 6.66; TTR: + 2 x (600 + 121) = 1442.
TEST(BusCheck, cycleEstimate_matchesTheHandCalculation)
{
    struct Row {
        int code, slaves, tsdr;
        double tbit, ms;
        double ttr;
    };
    const Row rows[] = {
        {6, 1, 150, 682.66, 0.45511, 14925},   {6, 10, 150, 4543.66, 3.02911, 18786},
        {6, 90, 150, 38863.66, 25.90911, 53106}, {2, 1, 60, 628.66, 6.70571, 2071},
        {2, 10, 60, 3679.66, 39.24971, 5122},    {2, 90, 60, 30799.66, 328.52971, 32242},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(testing::Message() << "code " << r.code << ", " << r.slaves << " slaves");
        Record m;
        m[11] = uint8_t(r.code);
        SetMasterDefaults(m);
        const BusCycle c = EstimateCycle(m, std::vector<CycleSlave>(std::size_t(r.slaves), {2, 2, r.tsdr}));
        EXPECT_NEAR(c.cycle, r.tbit, 0.01);
        EXPECT_NEAR(c.cycleMs, r.ms, 0.0001);
        EXPECT_EQ(c.suggestedTtr, r.ttr);
    }
}

TEST(CliCheck, demoPassesWithItsEstimate_aBrokenFileFailsWithItsRules)
{
    CheckFixture f;
    const QStringList root{QStringLiteral("--root"), f.tmp.path(), QStringLiteral("check")};
    ASSERT_TRUE(SaveConfigFile(f.ctx, f.file("good.dp1")));
    const CliRun good = RunCli(root + QStringList{f.file("good.dp1")});
    EXPECT_EQ(good.code, 0) << good.err.constData();
    EXPECT_EQ(good.out, "bus cycle (estimate): 1.581 ms (2372 tbit) for 5 slaves at 1.5 Mbit/s\n"
                        "each slave is polled every 2.500 ms (Min Slave Interval 2.500 ms)\n"
                        "suggested target rotation time: 16636 tbit (11.091 ms)\n"
                        "0 errors, 0 warnings, 0 notes\n");

    f.master()[11] = 3;
    putBe16(f.master().span(), 14, 10);
    ASSERT_TRUE(SaveConfigFile(f.ctx, f.file("bad.dp1")));
    const CliRun bad = RunCli(root + QStringList{f.file("bad.dp1")});
    EXPECT_EQ(bad.code, 1);
    EXPECT_TRUE(bad.out.startsWith("error [min-tsdr]: min TSDR 10 tbit is below 11 tbit")) << bad.out.constData();
    EXPECT_TRUE(bad.out.contains("\nerror [baud-support]: station 20 does not support 187.5 kbit/s: its GSD file testC0DE.gsd "
                                 "does not list it (it supports 93.75 kbit/s, 500 kbit/s, 1.5 Mbit/s)\n"));
    EXPECT_TRUE(bad.out.endsWith("2 errors, 0 warnings, 0 notes\n"));
    EXPECT_EQ(RunCli(root + QStringList{f.file("none.dp1")}).code, 2);
    f.write("cut.dp1", f.read("good.dp1") + QByteArray("%\0\0\xC8\0\0\0\0", 8)); // a record for station 200
    EXPECT_EQ(RunCli(root + QStringList{f.file("cut.dp1")}).code, 2);
}
