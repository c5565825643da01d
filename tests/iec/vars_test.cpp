// SPDX-License-Identifier: GPL-3.0-or-later
#include "iec/export_paths.h"
#include "iec/vars.h"
#include "iec_support.h"

using namespace meridan;
using namespace meridan::iec;
using namespace meridan::test;

namespace {

// A name in its 32-character field.
QByteArray Padded(const char *name)
{
    return QByteArray(name).leftJustified(32);
}

std::optional<VarDecl> Decl(const char *line)
{
    bool inComment = false;
    return ParseVarLine(QByteArrayView(line), inComment).decl;
}

} // namespace

TEST(ParseVarLine, takesOnlyWholeBoolAndIntDeclarationsOutsideComments)
{
    const std::optional<VarDecl> motor = Decl("Motor_On                           AT %QX3.5 :BOOL ;  (* #S12M3K5 *)");
    ASSERT_TRUE(motor);
    EXPECT_EQ(motor->name, "Motor_On");
    EXPECT_EQ(motor->type, kBool);
    EXPECT_EQ(motor->dir, Dir::Out);
    EXPECT_TRUE(motor->marked);
    EXPECT_EQ(motor->station * 10000 + motor->module * 100 + motor->channel, 120305);
    EXPECT_EQ(motor->comments, "");

    const std::optional<VarDecl> lamp = Decl("  Lamp : bool := TRUE; (* red *)");
    ASSERT_TRUE(lamp);
    EXPECT_EQ(lamp->type, kBool);
    EXPECT_EQ(lamp->init, "TRUE");
    EXPECT_EQ(lamp->comments, "(* red *)");

    // Other types are declarations, but not BOOL or INT ones.
    for (const char *other : {"Speed : DINT;", "Count : UINT := 5;", "Setpoint : REAL; (* INT *)"}) {
        ASSERT_TRUE(Decl(other)) << other;
        EXPECT_EQ(Decl(other)->type, 0) << other;
    }
    // Not one whole declaration.
    for (const char *no : {"REAL SETPOINT", "(* PRINT : INT; *)", "a, b : BOOL;", "x : BOOL; y : INT;",
                           "x : BOOL", "x : STRING(10);", "x AT : BOOL;", "x : INT := ;", "VAR_GLOBAL x : INT;"})
        EXPECT_FALSE(Decl(no)) << no;

    bool inComment = false;
    VarLine l = ParseVarLine("a, b : BOOL; c AT %IX0.1 : INT; (* d : BOOL;", inComment);
    EXPECT_EQ(l.names, (QList<QByteArray>{"a", "b", "c"}));
    EXPECT_TRUE(inComment);
    l = ParseVarLine("end of comment *) z : BOOL;", inComment);
    EXPECT_FALSE(inComment);
    EXPECT_FALSE(l.decl); // rewriting it would cut the comment
    l = ParseVarLine("VAR_GLOBAL RETAIN", inComment);
    EXPECT_TRUE(l.opens && l.global);
    EXPECT_EQ(l.qualifier, "RETAIN");
    l = ParseVarLine("  END_VAR (* globals *)", inComment);
    EXPECT_TRUE(l.closes && l.closesFirst);
}

// Attached lines are the golden files' (SaveVars below).
TEST(FormatVarLine, longNamePadded_goneChannelDetached)
{
    // Names are padded, never cut; an INT keeps its initial value.
    VarEntry longName;
    longName.name = "A_very_long_variable_name_of_40_chars_xx";
    longName.type = kInt;
    longName.typeRead = kInt;
    longName.init = "16#7F";
    EXPECT_EQ(FormatVarLine(longName, {}, 0, 0), "A_very_long_variable_name_of_40_chars_xx    :INT  := 16#7F ; ");
    // A channel that is gone detaches the entry, and says so.
    VarEntry e;
    e.name = "Motor_On";
    e.station = 12;
    e.module = 3;
    e.state = 1;
    QStringList notes;
    EXPECT_EQ(FormatVarLine(e, {}, 0, 0, &notes), Padded("Motor_On") + "    :BOOL ; ");
    EXPECT_FALSE(e.attached());
    EXPECT_EQ(notes.size(), 1);
}

TEST(VarRules, namesTypesAndChannels)
{
    Project p;
    PutSlave(p.ctx, 12, {0x10, 0x50});
    VarTable t = ParseVars("VAR_GLOBAL\r\n  Lamp : BOOL;\r\nEND_VAR\r\n");
    for (const char *bad : {"1abc", "a__b", "x_", "_", "BOOL", "end_var", "Motor On", "Ärger", ""})
        EXPECT_TRUE(AddVariable(p.ctx, t, QString::fromUtf8(bad), kBool).startsWith("Not an IEC 61131-3 name")) << bad;
    EXPECT_EQ(AddVariable(p.ctx, t, "lamp", kInt), "Varname already exist");
    EXPECT_EQ(AddVariable(p.ctx, t, "_Valve_2", kInt), "");
    EXPECT_EQ(t.live(), 2);

    const IoMap map = p.map();
    const SlaveIo &s = *map.slave(12);
    const int valve = t.find("_valve_2");
    // An INT on a bit channel, a BOOL on a word channel: refused.
    EXPECT_EQ(AttachVariable(t, valve, s, 1, *FindChannel(s, 1, Dir::In, 3)),
              "Datatype mismatch: an INT variable needs a word channel (IW or QW)");
    EXPECT_FALSE(t.entries[std::size_t(valve)].attached());
    EXPECT_EQ(AttachVariable(t, valve, s, 2, *FindChannel(s, 2, Dir::In, 0)), "");
    // The type of an attached variable is checked again.
    EXPECT_EQ(SetVariableType(t, valve, kBool, map), "Datatype mismatch: a BOOL variable needs a bit channel (IX or QX)");
    EXPECT_EQ(t.entries[std::size_t(valve)].type, kInt);
    // One variable per channel: the next one takes it over.
    const int lamp = t.find("Lamp");
    EXPECT_EQ(SetVariableType(t, lamp, kInt, map), "");
    EXPECT_EQ(AttachVariable(t, lamp, s, 2, *FindChannel(s, 2, Dir::In, 0)), "");
    EXPECT_FALSE(t.entries[std::size_t(valve)].attached());
}

TEST(SaveVars, editedFile_keepsEveryOtherLineByteForByte)
{
    const QByteArray before = Golden("iec/golden/globals.before.vb");
    Project p(before);
    PutSlave(p.ctx, 5, {0x50});           // one input word: input bytes 0..1
    PutSlave(p.ctx, 12, {0x13, 0x21});    // 4 bytes in at 2; 2 bytes out at 0
    VarTable t;
    EXPECT_EQ(ReadVars(p.ctx, t), "Read  5 Vars from " + p.vars());
    const IoMap map = p.map();
    const SlaveIo &s12 = *map.slave(12);
    const SlaveIo &s5 = *map.slave(5);
    EXPECT_EQ(AttachVariable(t, t.find("Valve_A"), s12, 2, *FindChannel(s12, 2, Dir::Out, 9)), "");
    EXPECT_EQ(AttachVariable(t, t.find("Speed"), s5, 1, *FindChannel(s5, 1, Dir::In, 0)), "");
    EXPECT_EQ(SetVariableType(t, t.find("Counter"), kBool, map), "");
    EXPECT_EQ(DeleteVariable(t, t.find("Level_Low")), "");
    EXPECT_EQ(AddVariable(p.ctx, t, "pressure", kBool), "Varname already exist"); // a REAL
    EXPECT_EQ(AddVariable(p.ctx, t, "max_speed", kBool), "Varname already exist"); // a CONSTANT
    EXPECT_EQ(AddVariable(p.ctx, t, "Alarm", kBool), "");
    EXPECT_EQ(AttachVariable(t, t.find("Alarm"), s12, 1, *FindChannel(s12, 1, Dir::In, 13)), "");

    const VarSave saved = SaveVars(p.ctx, t);
    ASSERT_EQ(saved.error, QString());
    EXPECT_EQ(saved.status, "Saved  5 Vars to " + p.vars());
    const QByteArray after = ReadFile(p.vars());
    ExpectGolden("iec/golden/globals.after.vb", after);
    EXPECT_EQ(ReadFile(p.dir + "/globals.old"), before);
    EXPECT_FALSE(t.changed());
    EXPECT_EQ(t.entries[std::size_t(t.find("Alarm"))].line, 11);
    ExpectSyntax("vars", after);
    ExpectSyntax("ioconfig", ReadFile(p.cnf()));
    ExpectVarsInsideBlocks(ReadFile(p.cnf()), after);

    // Saving again without a change writes the same file.
    EXPECT_EQ(SaveVars(p.ctx, t).error, QString());
    EXPECT_EQ(ReadFile(p.vars()), after);
}

TEST(SaveVars, noVariablesFile_getsOneWithTheNewDeclarations)
{
    Project p;
    p.st.projectFolder = p.dir; // neither globals.vb nor UNPACKED: proj.vb
    PutSlave(p.ctx, 12, {0x10, 0x61});
    const IoMap map = p.map();
    VarTable t;
    EXPECT_EQ(ReadVars(p.ctx, t), "Read  0 Vars from " + p.dir + "/proj.vb");
    AddVariable(p.ctx, t, "Run", kBool);
    AddVariable(p.ctx, t, "Setpoint", kInt);
    AttachVariable(t, 0, *map.slave(12), 1, *FindChannel(*map.slave(12), 1, Dir::In, 7));
    AttachVariable(t, 1, *map.slave(12), 2, *FindChannel(*map.slave(12), 2, Dir::Out, 1));
    const VarSave saved = SaveVars(p.ctx, t);
    ASSERT_EQ(saved.error, QString());
    const QByteArray text = ReadFile(p.dir + "/proj.vb");
    EXPECT_EQ(text, "VAR_GLOBAL\r\n" + Padded("Run") + "    AT %IX0.7 :BOOL ;  (* #S12M1K7 *)\r\n" + Padded("Setpoint")
                        + "    AT %QW2 :INT  ;  (* #S12M2K1 *)\r\nEND_VAR\r\n");
}

TEST(SaveVars, unwritableFile_keepsItAndTheNewVariablesGoToMeridanVb)
{
    const QByteArray before = "VAR_GLOBAL\r\n  Lamp : BOOL;\r\nEND_VAR\r\n";
    Project p(before);
    QDir().mkpath(p.dir + "/globals.old"); // the backup cannot be written
    VarTable t;
    ReadVars(p.ctx, t);
    AddVariable(p.ctx, t, "Horn", kBool);
    const VarSave saved = SaveVars(p.ctx, t);
    EXPECT_TRUE(saved.error.startsWith("Cannot write " + p.vars())) << qPrintable(saved.error);
    EXPECT_EQ(saved.status, saved.error);
    EXPECT_TRUE(saved.box.startsWith("              Can´t write Variables !"));
    EXPECT_EQ(ReadFile(p.vars()), before);
    EXPECT_TRUE(ReadFile(p.dir + "/meridan.vb").contains("Horn"));
    ExpectSyntax("vars", ReadFile(p.dir + "/meridan.vb"));
    EXPECT_TRUE(t.changed()); // nothing is lost for another try

    // The I/O configuration cannot be written: the variables are not either.
    QDir().rmdir(p.dir + "/globals.old");
    QDir().mkpath(p.dir + "/IoConfig.old");
    WriteFile(p.cnf(), "(* blocks *)\r\n");
    PutSlave(p.ctx, 12, {0x10});
    const VarSave io = SaveVars(p.ctx, t);
    EXPECT_TRUE(io.error.startsWith("Cannot write the backup")) << qPrintable(io.error);
    EXPECT_EQ(ReadFile(p.vars()), before);
}

TEST(VarsCli, addAttachListAndRefuse)
{
    Project p("VAR_GLOBAL\r\n  Lamp : BOOL;\r\nEND_VAR\r\n");
    PutSlave(p.ctx, 12, {0x31, 0x50});
    const QString dp1 = p.file("c.dp1");
    ASSERT_TRUE(SaveConfig(p.ctx, dp1));
    const QStringList base{"--root", p.root.dir(), "vars", dp1, "--project", p.dir};

    CliRun r = RunCli(base + QStringList{"--station", "12", "--add", "Speed:INT", "--attach", "Speed=2.0", "--attach",
                                         "Lamp=1.QX3"});
    ASSERT_EQ(r.code, 0) << r.err.constData();
    EXPECT_TRUE(r.out.startsWith("Saved  2 Vars to " + p.vars().toUtf8())) << r.out.constData();
    const QByteArray saved = ReadFile(p.vars());
    EXPECT_TRUE(saved.contains("AT %QX0.3 :BOOL ;  (* #S12M1K3 *)")) << saved.constData();
    EXPECT_TRUE(saved.contains("AT %IW2 :INT  ;  (* #S12M2K0 *)")) << saved.constData();

    r = RunCli(base);
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.out.contains(Padded("Lamp") + " BOOL  S12 M1 QX3 AT %QX0.3\n")) << r.out.constData();

    // Each refusal: the message, exit 1, nothing written.
    const std::pair<QStringList, const char *> refusals[] = {
        {{"--add", "LAMP:BOOL"}, "Varname already exist"},
        {{"--station", "12", "--attach", "Lamp=2.0"}, "Datatype mismatch"},
        {{"--station", "12", "--attach", "Lamp=1.5"}, ""},
        {{"--station", "12", "--attach", "Lamp=7.0"}, ""},
        {{"--delete", "Nobody"}, ""},
    };
    for (const auto &[refused, message] : refusals) {
        r = RunCli(base + refused);
        EXPECT_EQ(r.code, 1) << qPrintable(refused.join(' '));
        EXPECT_TRUE(r.err.startsWith(QByteArray("meridan-cli vars: ") + message)) << r.err.constData();
        EXPECT_EQ(ReadFile(p.vars()), saved) << qPrintable(refused.join(' '));
    }
    EXPECT_EQ(RunCli(base + QStringList{"--attach", "Lamp=1.0"}).code, 2); // no station
}
