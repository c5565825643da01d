// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The variable editor's logic: the global variables of the soft-PLC project
// and the I/O channels of the slave in the record buffer, attached to each
// other by name. The window (Form4) shows what view() gives and forwards its
// events here; prompts go through the context.
#include "iec/vars.h"

#include <QString>
#include <QStringList>
#include <vector>

namespace meridan {
class GsdTables;
}

namespace meridan::iec {

// Everything the window shows.
struct VarView {
    QStringList modules;          // Combo1
    int module = -1;              // its chosen item
    QStringList channels;         // List2: the chosen module's channels
    int channel = -1;             // the chosen channel
    QStringList variables;        // List1
    std::vector<int> variableIndex; // the table index of each List1 item
    int variable = -1;            // the chosen List1 item
    int type = 0;                 // kBool or kInt of the chosen variable, 0 for none
    QString status;               // Label3
};

// The GSD module name of each module (configuration identifier) of a slave,
// empty where it cannot be told. The identifier bytes of each module-list
// entry's GSD module line cover the next identifiers of the record, so a GSD
// module with several identifiers names each of them; the names stop where
// the record's bytes no longer match the GSD file. A compact station without
// a module list takes its first GSD module line.
QStringList ModuleNames(const GsdTables &gsd, const Record &rec, const SlaveIo &slave);
// "  In#", " Out#", " In/Out#", or " Empty#" for an identifier without data.
QString ModuleKind(const IoModule &m);

class VarEditor {
public:
    explicit VarEditor(Context &ctx);

    // Form_Load: unpacks the project, reads the variables and lists the
    // slave's modules ("Invalid Modulname in Gsd-File" once when a name is missing).
    void Form_Load();
    VarView view() const;

    void Combo1_Click(int index);
    void List1_Click(int row);
    void List2_Click(int row);
    // Attaches the chosen variable to the chosen channel.
    void Command1_Click();
    // Detaches the chosen channel's variable, else the chosen variable.
    void Command2_Click();
    // The answer of the Add Variable dialog.
    void AddVar(const QString &name, int type);
    void DelVar_Click();
    void TypeBool_Click();
    void TypeInt_Click();
    // Form_Unload: with changes, asks "Save changed Vars"; OK saves and packs.
    void Form_Unload();

    const VarTable &table() const { return table_; }
    const IoMap &map() const { return map_; }
    int station() const { return station_; }

private:
    const SlaveIo *slave() const { return map_.slave(station_); }
    std::vector<Channel> channelsOfModule() const;
    void SetType(int type);
    void Refuse(const QString &text);

    Context &ctx_;
    VarTable table_;
    IoMap map_;
    int station_ = 0;
    QStringList moduleItems_;
    int module_ = -1;
    int channel_ = -1;
    int variable_ = -1; // table index
    QString status_;
};

} // namespace meridan::iec
