// SPDX-License-Identifier: GPL-3.0-or-later
#include "slave/ext_prm_editor.h"

#include "core/context.h"
#include "config/numentry.h"
#include "core/texts.h"
#include "core/gsd_tables.h"
#include "slave/gsd.h"
#include "slave/record.h"

#include <QLoggingCategory>
#include <algorithm>
#include <limits>

Q_LOGGING_CATEGORY(lcExtPrm, "meridan.slave.extprm", QtWarningMsg)

namespace meridan {

int64_t Get_PD_Val(const Record &rec, const QString &type, int pos)
{
    const FieldType f = ParseFieldType(type);
    const auto v = ReadField(std::span(rec.bytes).subspan(kPrmDataAt), f, pos);
    if (!v)
        throw RangeError("parameter field outside the record");
    return *v;
}

bool Put_PD_Val(Record &rec, const QString &type, int pos, int64_t value)
{
    return WriteField(std::span(rec.bytes).subspan(kPrmDataAt), ParseFieldType(type), pos, value);
}

QString Get_Texte(const GsdTables &gsd, int n, int64_t value)
{
    return gsd.lookUpText(n, value);
}

std::vector<ModuleEntry> ModuleEntries(const Record &rec)
{
    std::vector<ModuleEntry> out;
    const SlaveLayout l = SlaveLayout::of(rec);
    const int first = l.userData() + kModuleListAt;
    for (int p = 0; p < kModuleListLen; ++p) {
        const int at = first + p;
        if (at < 0 || at >= kSlotSize)
            break;
        const int b = rec[at];
        if (b == 0)
            continue;
        if (b == 255) {
            const int next = p + 1 < kModuleListLen && at + 1 < kSlotSize ? rec[at + 1] : 0;
            out.push_back({255 + next, p + 1});
            ++p;
            continue;
        }
        out.push_back({b, p + 1});
    }
    return out;
}

int ModuleParamOffset(const GsdTables &gsd, const Record &rec, int position)
{
    if (position < 1)
        return 0;
    int offset = gsd.modulePrmLen(0);
    const std::vector<ModuleEntry> entries = ModuleEntries(rec);
    for (int i = 0; i < position - 1 && i < int(entries.size()); ++i)
        offset += gsd.modulePrmLen(entries[std::size_t(i)].number);
    return offset;
}

ExtPrmEditor::ExtPrmEditor(Context &ctx, ExtSelection sel) : ctx_(ctx), sel_(sel) {}

QString ExtPrmEditor::caption() const
{
    return QStringLiteral("Parameter Setup : ") + ModuleName(ctx_.st.gsd.moduleLine(sel_.number));
}

QString ExtPrmEditor::moduleNumberText() const { return NumText(sel_.position); }
QString ExtPrmEditor::offsetText() const { return NumText(sel_.offset); }

void ExtPrmEditor::Build()
{
    const GsdTables &gsd = ctx_.st.gsd;
    rows_.assign(kExtPrmRows, ExtRow{});
    for (int k = 0; k < kExtPrmRows; ++k) {
        ExtRow &row = rows_[std::size_t(k)];
        row.ref = gsd.prmRefNumber(sel_.number, k);
        if (row.ref < 1)
            continue;
        row.visible = true;
        row.bytePos = gsd.prmRefOffset(sel_.number, k) + sel_.offset;
        const GsdExtPrm *def = gsd.extPrm(row.ref);
        const GsdExtPrm none;
        const GsdExtPrm &d = def ? *def : none;
        row.type = d.type;
        row.textList = d.textRef;
        row.label = d.name + QStringLiteral("  Typ: ") + d.type;
        if (row.textList == 0)
            row.label += QStringLiteral("  Min.: ") + NumText(d.min) + QStringLiteral("  Max.: ") + NumText(d.max);
        else
            for (int e = 0; e <= gsd.prmTextLast(row.textList); ++e)
                row.items << gsd.prmTextString(row.textList, e);
        Refresh(k);
    }
}

void ExtPrmEditor::Refresh(int k)
{
    ExtRow &row = rows_[std::size_t(k)];
    try {
        const int64_t v = Get_PD_Val(ctx_.st.record, row.type, row.bytePos);
        row.text = QString::number(v);
        row.comboText = row.textList ? Get_Texte(ctx_.st.gsd, row.textList, v) : QString();
        row.editable = ParseFieldType(row.type).writable;
    } catch (const std::exception &e) {
        // The block points beyond the record: nothing to show or to write.
        qCDebug(lcExtPrm) << "field outside the record" << row.ref << row.bytePos << e.what();
        row.text.clear();
        row.comboText = QStringLiteral("---");
        row.editable = false;
    }
}

const ExtRow &ExtPrmEditor::CommitText(int k, const QString &text)
{
    ExtRow &row = rows_.at(std::size_t(k));
    if (!row.visible || !row.editable)
        return row;
    const FieldType f = ParseFieldType(row.type);
    const GsdExtPrm *d = ctx_.st.gsd.extPrm(row.ref);
    // The range of the definition, narrowed to what the field's bytes hold.
    const int64_t lower = std::max<int64_t>(d ? d->min : 0, f.lowest);
    const int64_t upper = std::min<int64_t>({d ? d->max : 0, f.highest, std::numeric_limits<int32_t>::max()});
    const int32_t value = CheckRange(ctx_, text, double(lower), int32_t(std::max<int64_t>(upper, INT32_MIN)), 1.0);
    Put_PD_Val(ctx_.st.record, row.type, row.bytePos, value);
    Refresh(k);
    return row;
}

const ExtRow &ExtPrmEditor::CommitCombo(int k, int index)
{
    ExtRow &row = rows_.at(std::size_t(k));
    if (!row.visible || !row.editable || row.textList == 0 || index < 0 || index >= row.items.size())
        return row;
    const int64_t value = ctx_.st.gsd.prmTextValue(row.textList, index);
    Put_PD_Val(ctx_.st.record, row.type, row.bytePos, value);
    Refresh(k);
    return row;
}

} // namespace meridan
