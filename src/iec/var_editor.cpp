// SPDX-License-Identifier: GPL-3.0-or-later
#include "iec/var_editor.h"

#include "core/context.h"
#include "iec/export_paths.h"
#include "slave/gsd.h"

#include <exception>

namespace meridan::iec {

namespace {

const QString kTitle = QStringLiteral("VarEdit");

QString TypeName(int type)
{
    return type == kInt ? QStringLiteral("INT") : QStringLiteral("BOOL");
}

} // namespace

QStringList ModuleNames(const GsdTables &gsd, const Record &rec, const SlaveIo &slave)
{
    QStringList names;
    for (std::size_t i = 0; i < slave.modules.size(); ++i)
        names << QString();
    try {
        std::vector<int> list = ModuleList(rec);
        if (list.empty() && gsd.modular != 1 && gsd.moduleCount >= 1)
            list = {1};
        const uint8_t *cfg = rec.bytes.data() + SlaveLayout::of(rec).cfgStart();
        std::size_t next = 0;
        for (int number : list) {
            const QString line = gsd.moduleLine(number);
            if (line.isEmpty())
                break;
            const std::vector<uint8_t> bytes = ModuleConfigBytes(line);
            const std::vector<CfgIdentifier> ids = SplitIdentifiers(bytes.data(), int(bytes.size()));
            bool same = next + ids.size() <= slave.modules.size();
            for (std::size_t k = 0; same && k < ids.size(); ++k) {
                const CfgIdentifier &have = slave.modules[next + k].id;
                same = have.size == ids[k].size
                    && std::equal(bytes.begin() + ids[k].first, bytes.begin() + ids[k].first + ids[k].size,
                                  cfg + have.first);
            }
            if (!same)
                break;
            for (std::size_t k = 0; k < ids.size(); ++k)
                names[qsizetype(next + k)] = ModuleName(line);
            next += ids.size();
        }
    } catch (const std::exception &) {
        // A damaged record or module line: the names found so far stay.
    }
    return names;
}

QString ModuleKind(const IoModule &m)
{
    const bool in = m.id.inputBytes > 0;
    const bool out = m.id.outputBytes > 0;
    if (in && out)
        return QStringLiteral(" In/Out#");
    if (in)
        return QStringLiteral("  In#");
    if (out)
        return QStringLiteral(" Out#");
    return QStringLiteral(" Empty#");
}

VarEditor::VarEditor(Context &ctx) : ctx_(ctx) {}

void VarEditor::Form_Load()
{
    const QString unpack = RunVarTool(ctx_, QStringLiteral("UNPACK"));
    if (!unpack.isEmpty())
        ctx_.ui.message(unpack, kTitle, Icon::Warning);
    status_ = ReadVars(ctx_, table_);

    const Record &rec = ctx_.st.record;
    station_ = rec[0] == kSlaveMarker ? rec[3] : ctx_.st.currentStation;
    map_ = BuildIoMap(ctx_.st.image, rec[0] == kSlaveMarker ? &rec : nullptr);
    moduleItems_.clear();
    module_ = channel_ = variable_ = -1;
    const SlaveIo *s = slave();
    if (!s)
        return;
    const QStringList names = ModuleNames(ctx_.st.gsd, rec, *s);
    bool missing = false;
    for (std::size_t i = 0; i < s->modules.size(); ++i) {
        const IoModule &m = s->modules[i];
        const QString &name = names[qsizetype(i)];
        missing = missing || name.isEmpty();
        moduleItems_ << (name.isEmpty() ? QStringLiteral("Modul#") : name + ModuleKind(m)) + QString::number(m.number);
    }
    // Once per opening, not once per module.
    if (missing)
        ctx_.ui.message(QStringLiteral("Invalid Modulname in Gsd-File"), kTitle, Icon::Warning);
}

std::vector<Channel> VarEditor::channelsOfModule() const
{
    const SlaveIo *s = slave();
    if (!s || module_ < 0 || module_ >= int(s->modules.size()))
        return {};
    return Channels(s->modules[std::size_t(module_)]);
}

VarView VarEditor::view() const
{
    VarView v;
    v.modules = moduleItems_;
    v.module = module_;
    v.channel = channel_;
    v.status = status_;
    for (const Channel &c : channelsOfModule()) {
        QString item = c.name();
        for (const VarEntry &e : table_.entries)
            if (!e.deleted() && e.attached() && e.station == station_ && e.module == module_ + 1 && e.channel == c.k
                && e.dir == c.dir)
                item = item.leftJustified(6) + QLatin1Char(' ') + e.name;
        v.channels << item;
    }
    for (std::size_t i = 0; i < table_.entries.size(); ++i) {
        const VarEntry &e = table_.entries[i];
        if (e.deleted())
            continue;
        QString item = e.name + QStringLiteral("  ") + TypeName(e.type);
        if (e.attached()) {
            const std::optional<Channel> c = EntryChannel(e, map_);
            item += QStringLiteral("  S%1 M%2 %3").arg(e.station).arg(e.module).arg(c ? c->name() : QStringLiteral("?"));
        }
        if (int(i) == variable_) {
            v.variable = int(v.variables.size());
            v.type = e.type;
        }
        v.variables << item;
        v.variableIndex.push_back(int(i));
    }
    return v;
}

void VarEditor::Combo1_Click(int index)
{
    module_ = index >= 0 && index < moduleItems_.size() ? index : -1;
    channel_ = -1;
}

void VarEditor::List1_Click(int row)
{
    const VarView v = view();
    variable_ = row >= 0 && row < int(v.variableIndex.size()) ? v.variableIndex[std::size_t(row)] : -1;
}

void VarEditor::List2_Click(int row)
{
    channel_ = row >= 0 && row < int(channelsOfModule().size()) ? row : -1;
}

void VarEditor::Refuse(const QString &text)
{
    if (!text.isEmpty())
        ctx_.ui.message(text, kTitle, Icon::Warning);
}

void VarEditor::Command1_Click()
{
    const std::vector<Channel> channels = channelsOfModule();
    if (variable_ < 0 || channel_ < 0 || channel_ >= int(channels.size()) || !slave())
        return;
    Refuse(AttachVariable(table_, variable_, *slave(), module_ + 1, channels[std::size_t(channel_)]));
}

void VarEditor::Command2_Click()
{
    const std::vector<Channel> channels = channelsOfModule();
    if (channel_ >= 0 && channel_ < int(channels.size())) {
        const Channel &c = channels[std::size_t(channel_)];
        for (std::size_t i = 0; i < table_.entries.size(); ++i) {
            const VarEntry &e = table_.entries[i];
            if (!e.deleted() && e.attached() && e.station == station_ && e.module == module_ + 1 && e.channel == c.k
                && e.dir == c.dir) {
                DetachVariable(table_, int(i));
                return;
            }
        }
    }
    DetachVariable(table_, variable_);
}

void VarEditor::AddVar(const QString &name, int type)
{
    const QString why = AddVariable(ctx_, table_, name, type);
    if (!why.isEmpty()) {
        Refuse(why);
        return;
    }
    variable_ = int(table_.entries.size()) - 1;
}

void VarEditor::DelVar_Click()
{
    if (variable_ < 0)
        return;
    DeleteVariable(table_, variable_);
    variable_ = -1;
}

void VarEditor::SetType(int type)
{
    if (variable_ < 0)
        return;
    Refuse(SetVariableType(table_, variable_, type, map_));
}

void VarEditor::TypeBool_Click() { SetType(kBool); }
void VarEditor::TypeInt_Click() { SetType(kInt); }

void VarEditor::Form_Unload()
{
    if (!table_.changed())
        return;
    if (ctx_.ui.message(QStringLiteral("Save changed Vars"), kTitle, Icon::Question, Ok | Cancel) != Ok)
        return;
    status_ = QStringLiteral("Saving Vars to ") + GetExportPaths(ctx_).vars;
    const VarSave saved = SaveVars(ctx_, table_);
    status_ = saved.status;
    if (!saved.box.isEmpty())
        ctx_.ui.message(saved.box, QString(), Icon::Critical);
    else if (!saved.error.isEmpty())
        ctx_.ui.message(saved.error, kTitle, Icon::Warning);
    if (!saved.notes.isEmpty())
        ctx_.ui.message(saved.notes.join(QLatin1Char('\n')), kTitle, Icon::Information);
    const QString pack = RunVarTool(ctx_, QStringLiteral("PACK"));
    if (!pack.isEmpty())
        ctx_.ui.message(pack, kTitle, Icon::Warning);
}

} // namespace meridan::iec
