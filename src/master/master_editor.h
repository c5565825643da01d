// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The bus parameter editor's logic: the master record being edited, the
// field commits with their range checks, and the texts every control shows.
//
// The editor keeps the master in a record of its own, not in the shared
// record buffer: while it is open the status timer, a diagnosis request or a
// file load may put other records into the buffer, and OK must store the
// master the user sees and nothing else.
#include "config/image.h"

#include <QString>
#include <array>

namespace meridan {

struct Context;

enum class MasterField {
    Adr,  // F3_Adr   station address (byte 10)
    TSL,  // F3_TSL   slot time (12..13)
    MinT, // F3_minT  min TSDR (14..15)
    MaxT, // F3_maxT  max TSDR (16..17)
    Tqui, // F3_Tqui  quiet time, stored + 1 (18)
    Tset, // F3_Tset  setup time (19)
    TRT,  // F3_TRT   target rotation time, 32-bit (20..23)
    Gap,  // F3_Gap   gap update factor (24)
    HSA,  // F3_HSA   highest station address (25)
    MRL,  // F3_MRL   max retry limit (26)
    MinS, // F3_MinS  min slave interval, ms typed, 100 us stored (28..29)
    Poll, // F3_Poll  poll timeout (30..31)
    DCT,  // F3_DCT   data control time, ms typed, 10 ms stored (32..33)
};
constexpr int kMasterFieldCount = 13;

struct MasterFieldRule {
    MasterField field;
    const char *control; // the control's name
    double lower;
    int32_t upper;
    double scale;
};
const MasterFieldRule &RuleFor(MasterField field);
const std::array<MasterFieldRule, kMasterFieldCount> &MasterFieldRules();

// Everything DisplayMaster puts on the window.
struct MasterView {
    std::array<QString, kMasterFieldCount> fields; // by MasterField
    QString baud;      // Combo1 text
    QString tslUnit;   // L17: "Tbit" or "ms"
    QString trtUnit;   // Label19
    bool autoclear = false;

    const QString &operator[](MasterField f) const { return fields[std::size_t(f)]; }
};

class MasterEditor {
public:
    explicit MasterEditor(Context &ctx);

    // Copies the master record of slot 0 into the editor (Form_Activate,
    // Recall). Edits since the last OK are dropped.
    void Load();
    // True when the editor holds changes that are not in slot 0 yet.
    bool Edited() const;
    // "Default": the default bus parameters for the baud rate in byte 11.
    // Returns the text for the window's message line.
    QString Default();
    // "OK": stores the edited master into slot 0.
    void Ok();

    // A field lost the focus with `text` typed in it: checks the range
    // (message boxes through the prompts), stores the value and returns the
    // text the field shows now. With "ms" ticked, slot time and target
    // rotation time are read in ms, as they are shown.
    QString Commit(MasterField field, const QString &text);
    // A baud rate chosen from the list (index = code 0..9); anything else
    // changes nothing. No other parameter follows the rate.
    void ChooseBaud(int index);
    void SetAutoclear(bool on);
    // The ms switch: show (and take) TSL and TTR in ms instead of bit times.
    void SetMs(bool on) { ms_ = on; }
    bool Ms() const { return ms_; }

    // DisplayMaster: the text of every control from the record. Also takes
    // the bit time of a known baud-rate code.
    MasterView Display();

    const Record &record() const { return record_; }
    Record &record() { return record_; }
    // The bit time in ms of the last known baud rate shown; 0 before that.
    float BitTime() const { return bitTime_; }

private:
    Context &ctx_;
    Record record_;
    Record loaded_; // slot 0 as it was at the last Load or OK
    float bitTime_ = 0.0f;
    bool ms_ = false;
};

// The drop-down texts of the baud-rate list, code 0..9.
QStringList BaudDropDownTexts();
// A count of tenths as a plain number in the user's notation: one decimal
// when there is a fraction, none otherwise, no grouping ("2.5", "3", "6553.5").
QString TenthsText(int tenths);

} // namespace meridan
