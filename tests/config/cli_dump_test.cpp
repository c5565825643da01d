#include "core/bytes.h"
#include "config/configfile.h"
#include "support/fixture.h"
#include "config/image.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace meridan;
using namespace meridan::test;


TEST(CliDump, showsWhatWasSaved)
{
    Fixture f;
    Record m;
    m[11] = 6;
    SetMasterDefaults(m);
    m[27] = 0x80;
    f.st.image.slot(0) = m;

    // A slave at 12: 2 user parameter bytes, identifiers 0x13 0x23, name "Valve".
    Record &r = f.st.image.slot(12);
    const uint8_t body[] = {0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 11, 0x88, 20, 5, 40, 0x80, 0xA5, 1, 0xAA, 0xBB,
                            0, 4, 0x13, 0x23, 0, 6, 0, 16, 0, 32, 0, 90};
    r[0] = kSlaveMarker;
    r[3] = 12;
    for (std::size_t i = 0; i < sizeof body; ++i)
        r[int(10 + i)] = body[i];
    const int ud = 47;
    const char *code = "TEST";
    for (int i = 0; i < 4; ++i)
        r[ud + i] = uint8_t(code[i]);
    for (int i = 4; i < 25; ++i)
        r[ud + i] = ' ';
    const char *name = "Valve";
    for (int i = 0; name[i]; ++i)
        r[ud + 5 + i] = uint8_t(name[i]);
    r[ud + 25] = 3;
    r[ud + 26] = 255;
    r[ud + 27] = 45;
    const int len = 35 + 2 + 2 + 88;
    putBe16(r.span(), 8, len);
    r[7] = len;
    ASSERT_TRUE(SaveConfigFile(f.ctx, f.file("c.dp1")));

    const CliRun run = RunCli({"--root", f.tmp.path(), "dump", f.file("c.dp1")});
    ASSERT_EQ(run.code, 0) << run.err.constData();
    const QJsonObject o = QJsonDocument::fromJson(run.out).object();
    const QJsonObject master = o["master"].toObject();
    EXPECT_EQ(master["baud_code"].toInt(), 6);
    EXPECT_EQ(master["tsl"].toInt(), 7000);
    EXPECT_EQ(master["ttr"].toInt(), 100000);
    EXPECT_EQ(master["tqui"].toInt(), 0);
    EXPECT_TRUE(master["auto_clear"].toBool());
    EXPECT_EQ(master["class2_name"].toString(), "DDD");
    const QJsonArray slaves = o["slaves"].toArray();
    ASSERT_EQ(slaves.size(), 1);
    const QJsonObject s = slaves[0].toObject();
    EXPECT_EQ(s["station"].toInt(), 12);
    EXPECT_EQ(s["ident"].toString(), "80A5");
    EXPECT_EQ(s["slave_para_len"].toInt(), len);
    EXPECT_EQ(s["user_parameter_bytes"].toArray(), (QJsonArray{0xAA, 0xBB}));
    EXPECT_EQ(s["identifier_bytes"].toArray(), (QJsonArray{0x13, 0x23}));
    EXPECT_EQ(s["input_length"].toInt(), 4);
    EXPECT_EQ(s["output_length"].toInt(), 4);
    EXPECT_EQ(s["input_offset"].toInt(), 16);
    EXPECT_EQ(s["output_offset"].toInt(), 32);
    EXPECT_EQ(s["gsd_code"].toString(), "TEST");
    EXPECT_EQ(s["name"].toString(), "Valve");
    EXPECT_EQ(s["module_list"].toArray(), (QJsonArray{3, 300}));
}

TEST(CliDump, unreadableFileExitsWith2AndOneLine)
{
    const CliRun run = RunCli({"dump", "/nonexistent/x.dp1"});
    EXPECT_EQ(run.code, 2);
    EXPECT_EQ(run.err.count('\n'), 1);
    const CliRun noMaster = RunCli({"dump", "/dev/null"});
    EXPECT_EQ(noMaster.code, 2);
    EXPECT_EQ(RunCli({"--version"}).code, 0);
    EXPECT_EQ(RunCli({"bogus"}).code, 2);
}
