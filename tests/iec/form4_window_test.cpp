// SPDX-License-Identifier: GPL-3.0-or-later
#include "iec/addvar_dialog.h"
#include "iec/form4_window.h"
#include "iec_support.h"
#include "slave/form2_window.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

using namespace meridan;
using namespace meridan::iec;
using namespace meridan::test;

namespace {

// The variable editor on the slave at 12 of a project in proj/, with the
// slave at 5 before it in the input area.
struct Form4Fixture : Project {
    QPointer<Form4Window> w;
    std::deque<std::pair<QString, int>> newVars; // what Add Var is answered

    explicit Form4Fixture(const QByteArray &globals = "VAR_GLOBAL\r\nEND_VAR\r\n") : Project(globals)
    {
        PutSlave(ctx, 5, {0x13});
        PutModularSlave(*this, 12, {1, 2, 4, 3}); // DI 16, DO 16, Mixed (two identifiers), AI 2
        st.record = st.image.slot(12);
    }
    ~Form4Fixture() { delete w.data(); }
    void open()
    {
        w = new Form4Window(ctx);
        w->askNewVar = [this]() -> std::optional<std::pair<QString, int>> {
            std::optional<std::pair<QString, int>> v;
            if (!newVars.empty())
                v = newVars.front(), newVars.pop_front();
            return v;
        };
        w->show();
    }
    template <typename T>
    T *child(const char *name) const
    {
        T *c = w->findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    void click(const char *name) const
    {
        QAbstractButton *b = child<QAbstractButton>(name);
        QTest::mouseClick(b, Qt::LeftButton, {}, b->rect().center());
    }
    QStringList items(const char *list) const
    {
        QStringList out;
        for (int i = 0; i < child<QListWidget>(list)->count(); ++i)
            out << child<QListWidget>(list)->item(i)->text();
        return out;
    }
    void chooseModule(int index) const { Q_EMIT child<QComboBox>("Combo1")->activated(index); }
    void choose(const char *list, int row) const { child<QListWidget>(list)->setCurrentRow(row); }
    void addVar(const QString &name, int type)
    {
        newVars.push_back({name, type});
        click("AddVar");
    }
};

} // namespace

TEST(Form4, modulesChannelsAttachAndSaveOnClose)
{
    Form4Fixture f;
    f.open();
    EXPECT_EQ(f.child<QLabel>("Label3")->text(), "Read  0 Vars from " + f.vars());
    QStringList modules;
    for (int i = 0; i < f.child<QComboBox>("Combo1")->count(); ++i)
        modules << f.child<QComboBox>("Combo1")->itemText(i);
    EXPECT_EQ(modules, (QStringList{"DI 16  In#1", "DO 16 Out#2", "Mixed  In#3", "Mixed Out#4", "AI 2  In#5"}));
    EXPECT_TRUE(f.ui.shown.empty());

    f.chooseModule(0);
    ASSERT_EQ(f.items("List2").size(), 16);
    f.addVar("Motor_On", kBool);
    EXPECT_TRUE(f.child<QRadioButton>("TypeBool")->isChecked());
    f.choose("List2", 5);
    f.click("Command1");
    EXPECT_EQ(f.items("List2")[5], "IX5    Motor_On");
    EXPECT_EQ(f.items("List1"), QStringList{"Motor_On  BOOL  S12 M1 IX5"});
    f.addVar("Speed", kInt);

    // The analog module: word channels; a double-click on the variable attaches it.
    f.chooseModule(4);
    EXPECT_EQ(f.items("List2"), (QStringList{"IW0", "IW1"}));
    f.choose("List2", 1);
    f.choose("List1", 1);
    Q_EMIT f.child<QListWidget>("List1")->itemDoubleClicked(f.child<QListWidget>("List1")->item(1));
    EXPECT_EQ(f.items("List2")[1], "IW1    Speed");
    // Its type is checked again, and a refusal is said (the rules are the core's tests).
    f.click("TypeBool");
    EXPECT_EQ(f.ui.lastText(), "Datatype mismatch: a BOOL variable needs a bit channel (IX or QX)");
    EXPECT_TRUE(f.child<QRadioButton>("TypeInt")->isChecked());

    f.ui.shown.clear();
    f.click("Exit");
    ASSERT_EQ(f.ui.shown.size(), 1u);
    EXPECT_EQ(f.ui.shown[0].text, "Save changed Vars");
    EXPECT_EQ(f.ui.shown[0].buttons, Ok | Cancel);
    EXPECT_FALSE(f.w->isVisible());
    EXPECT_EQ(f.child<QLabel>("Label3")->text(), "Saved  2 Vars to " + f.vars());
    // Inputs: station 5 has 0..3; module 1 of 12 is 4..5, module 3 is 6, module 5 is 7..10.
    const QByteArray vars = ReadFile(f.vars());
    EXPECT_TRUE(vars.contains("AT %IX4.5 :BOOL ;  (* #S12M1K5 *)")) << vars.constData();
    EXPECT_TRUE(vars.contains("AT %IW9 :INT  ;  (* #S12M5K1 *)")) << vars.constData();
}

TEST(Form4, detachDeleteAndCancelledSave)
{
    Form4Fixture f("VAR_GLOBAL\r\n  Lamp AT %QX0.1 : BOOL; (* #S12M2K1 *)\r\n  Horn : BOOL;\r\nEND_VAR\r\n");
    f.open();
    f.chooseModule(1);
    EXPECT_EQ(f.items("List2")[1], "QX1    Lamp");
    f.choose("List2", 1);
    f.click("Command2");
    EXPECT_EQ(f.items("List2")[1], "QX1");
    f.choose("List1", 1);
    f.click("DelVar");
    EXPECT_EQ(f.items("List1"), QStringList{"Lamp  BOOL"});
    f.ui.answers.push_back(Cancel);
    const QByteArray before = ReadFile(f.vars());
    f.click("Exit");
    EXPECT_EQ(f.ui.lastText(), "Save changed Vars");
    EXPECT_EQ(ReadFile(f.vars()), before);
    EXPECT_FALSE(QFile::exists(f.cnf()));
}

TEST(Form4, packTool_runsAroundAnEdit_closingUnchangedNeitherAsksNorPacks)
{
    Form4Fixture f;
    const QString log = f.file("tool.log");
    const QString tool = f.file("tool.sh");
    WriteFile(tool, "#!/bin/sh\necho \"$@\" >> '" + log.toUtf8() + "'\n");
    QFile::setPermissions(tool, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    f.write("meridan.cfg", "[LANGUAGE]\r\n 1\r\n[VARTOOL]\r\n" + tool.toUtf8() + "\r\n");
    f.open();
    f.click("Exit");
    EXPECT_TRUE(f.ui.shown.empty());
    EXPECT_EQ(ReadFile(log), "UNPACK " + f.dir.toUtf8() + "/\n");

    // A tool that fails is reported, at both ends.
    WriteFile(tool, "#!/bin/sh\necho broken archive\nexit 3\n");
    f.open();
    ASSERT_EQ(f.ui.shown.size(), 1u);
    EXPECT_TRUE(f.ui.lastText().endsWith("UNPACK failed (exit code 3): broken archive")) << qPrintable(f.ui.lastText());
    f.addVar("Run", kBool);
    f.click("Exit");
    EXPECT_TRUE(f.ui.lastText().endsWith("PACK failed (exit code 3): broken archive")) << qPrintable(f.ui.lastText());
    EXPECT_TRUE(ReadFile(f.vars()).contains("Run "));
}

TEST(Form4, noGsdData_itemsAreNumberedAndTheMissingNameIsSaidOnce)
{
    Form4Fixture f;
    f.st.gsd.clear();
    f.open();
    ASSERT_EQ(f.ui.shown.size(), 1u);
    EXPECT_EQ(f.ui.lastText(), "Invalid Modulname in Gsd-File");
    EXPECT_EQ(f.child<QComboBox>("Combo1")->itemText(2), "Modul#3");
}

TEST(AddVarForm, givesNameAndType)
{
    AddVarForm d;
    QTest::keyClicks(d.findChild<QLineEdit *>("VarName"), "Level");
    EXPECT_EQ(d.type(), kBool);
    d.findChild<QRadioButton *>("TypeInt")->click();
    EXPECT_EQ(d.name(), "Level");
    EXPECT_EQ(d.type(), kInt);
}

TEST(Form2EditVars, opensTheVariableEditorModal)
{
    Form4Fixture f;
    f.st.currentStation = 12;
    Form2Window form2(f.ctx);
    form2.show();
    QString opened;
    QTimer::singleShot(0, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        opened = modal ? modal->objectName() : QString();
        if (modal)
            static_cast<QDialog *>(modal)->reject();
    });
    QAbstractButton *vars = form2.findChild<QAbstractButton *>("Variablen");
    ASSERT_TRUE(vars && vars->isEnabled());
    vars->click();
    EXPECT_EQ(opened, "Form4");
}
