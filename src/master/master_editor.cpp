// SPDX-License-Identifier: GPL-3.0-or-later
#include "master/master_editor.h"

#include "core/context.h"
#include "core/bytes.h"
#include "config/numentry.h"
#include "core/texts.h"
#include "config/image.h"

#include <QLocale>
#include <algorithm>
#include <QStringList>

namespace meridan {

namespace {

// The ranges the master accepts for each field. Quiet time is stored as the
// entry + 1 in one byte, so its highest usable entry is 254, not 255.
constexpr std::array<MasterFieldRule, kMasterFieldCount> kRules = {{
    {MasterField::Adr, "F3_Adr", 0, 9, 1.0},
    {MasterField::TSL, "F3_TSL", 0, 65335, 1.0},
    {MasterField::MinT, "F3_minT", 0, 65535, 1.0},
    {MasterField::MaxT, "F3_maxT", 0, 65535, 1.0},
    {MasterField::Tqui, "F3_Tqui", 0, 254, 1.0},
    {MasterField::Tset, "F3_Tset", 0, 255, 1.0},
    {MasterField::TRT, "F3_TRT", 0, 16777215, 1.0},
    {MasterField::Gap, "F3_Gap", 1, 100, 1.0},
    {MasterField::HSA, "F3_HSA", 2, 125, 1.0},
    {MasterField::MRL, "F3_MRL", 1, 8, 1.0},
    {MasterField::MinS, "F3_MinS", 0, 650, 10.0},
    {MasterField::Poll, "F3_Poll", 0, 65535, 1.0},
    {MasterField::DCT, "F3_DCT", 0, 65535, 0.1},
}};

} // namespace

const std::array<MasterFieldRule, kMasterFieldCount> &MasterFieldRules()
{
    return kRules;
}

const MasterFieldRule &RuleFor(MasterField field)
{
    return kRules[std::size_t(field)];
}

QStringList BaudDropDownTexts()
{
    QStringList texts;
    for (int code = 0; code < 10; ++code)
        texts << QString::fromLatin1(BaudFor(code)->dropDown);
    return texts;
}

QString TenthsText(int tenths)
{
    QLocale loc;
    loc.setNumberOptions(QLocale::OmitGroupSeparator);
    return loc.toString(tenths / 10.0, 'f', tenths % 10 ? 1 : 0);
}

MasterEditor::MasterEditor(Context &ctx) : ctx_(ctx)
{
    Load();
}

void MasterEditor::Load()
{
    // The whole slot: bytes 256..511 are not part of the master record, and
    // OK must give them back unchanged.
    record_ = ctx_.st.image.slot(0);
    loaded_ = record_;
}

bool MasterEditor::Edited() const
{
    return record_ != loaded_;
}

QString MasterEditor::Default()
{
    SetMasterDefaults(record_);
    return ctx_.tr(QStringLiteral("Default values set"), QStringLiteral("Default Werte eingestellt"));
}

void MasterEditor::Ok()
{
    ctx_.st.image.slot(0) = record_;
    loaded_ = record_;
}

QString MasterEditor::Commit(MasterField field, const QString &text)
{
    const MasterFieldRule &r = RuleFor(field);
    // Slot time and target rotation time are typed in the unit they are
    // shown in: with "ms" ticked a value in ms becomes bit times.
    const bool inMs = ms_ && bitTime_ > 0 && (field == MasterField::TSL || field == MasterField::TRT);
    const int32_t v = CheckRange(ctx_, text, r.lower, r.upper, inMs ? 1.0 / double(bitTime_) : r.scale);
    auto b = record_.span();
    switch (field) {
    case MasterField::Adr:
        b[10] = uint8_t(v);
        if (b[25] < b[10]) // no other master may sit above the highest station address
            b[25] = b[10];
        break;
    case MasterField::TSL: putBe16(b, 12, uint16_t(v)); break;
    case MasterField::MinT: putBe16(b, 14, uint16_t(v)); break;
    case MasterField::MaxT: putBe16(b, 16, uint16_t(v)); break;
    case MasterField::Tqui: b[18] = uint8_t(v + 1); break;
    case MasterField::Tset: b[19] = uint8_t(v); break;
    case MasterField::TRT: putBe32(b, 20, uint32_t(v)); break;
    case MasterField::Gap: b[24] = uint8_t(v); break;
    case MasterField::HSA: b[25] = uint8_t(v); break;
    case MasterField::MRL: b[26] = uint8_t(v); break;
    case MasterField::MinS: putBe16(b, 28, uint16_t(v)); break;
    case MasterField::Poll: putBe16(b, 30, uint16_t(v)); break;
    case MasterField::DCT: putBe16(b, 32, uint16_t(v)); break;
    }
    return Display()[field];
}

void MasterEditor::ChooseBaud(int index)
{
    if (index < 0 || index > 9)
        return;
    record_[11] = uint8_t(index);
}

void MasterEditor::SetAutoclear(bool on)
{
    if (on)
        record_[27] = uint8_t(record_[27] | 0x80);
    else
        record_[27] = uint8_t(record_[27] & 0x7F);
}

MasterView MasterEditor::Display()
{
    const auto b = std::as_const(record_).span();
    MasterView v;
    auto set = [&](MasterField f, const QString &t) { v.fields[std::size_t(f)] = t; };

    set(MasterField::Adr, NumText(b[10]));
    if (const BaudInfo *baud = BaudFor(b[11])) {
        v.baud = QString::fromLatin1(baud->shown);
        bitTime_ = float(1.0 / baud->kbits);
    } else {
        v.baud = QString::number(b[11]); // an unknown code keeps the last bit time
    }
    const unsigned tsl = be16(b, 12);
    const uint32_t ttr = be32(b, 20);
    if (ms_) {
        v.tslUnit = v.trtUnit = QStringLiteral("ms");
        set(MasterField::TSL, Fixed3(double(float(tsl) * bitTime_)));
        set(MasterField::TRT, Fixed3(double(float(ttr) * bitTime_)));
    } else {
        v.tslUnit = v.trtUnit = QStringLiteral("Tbit");
        set(MasterField::TSL, NumText(tsl));
        set(MasterField::TRT, QString::number(ttr));
    }
    set(MasterField::MinT, WordText(b[14], b[15]));
    set(MasterField::MaxT, WordText(b[16], b[17]));
    // Stored as the quiet time + 1; an empty record (after New) holds 0 there.
    set(MasterField::Tqui, QString::number(std::max(0, int(b[18]) - 1)));
    set(MasterField::Tset, NumText(b[19]));
    set(MasterField::Gap, NumText(b[24]));
    set(MasterField::HSA, NumText(b[25]));
    set(MasterField::MRL, NumText(b[26]));
    v.autoclear = (b[27] & 0x80) != 0;
    set(MasterField::MinS, TenthsText(be16(b, 28)));
    set(MasterField::Poll, NumText(be16(b, 30)));
    set(MasterField::DCT, NumText(static_cast<long long>(be16(b, 32)) * 10));
    return v;
}

} // namespace meridan
