// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The extended user-parameter editor's logic: the named fields of one
// parameter block (the device's own, or one module's), read from and written
// straight into the User_Prm_Data of the record buffer.
#include "slave/prm_type.h"
#include "slave/record.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

namespace meridan {

struct Context;
class GsdTables;
class Record;

constexpr int kPrmDataAt = 33;   // User_Prm_Data starts at this record offset
constexpr int kExtPrmRows = 24;  // rows the window has

// The block the editor works on, chosen in the slave editor.
struct ExtSelection {
    int position = 0; // 1-based place in the station's module list; 0 = the device
    int number = 0;   // GSD module number; 0 = the device
    int offset = 0;   // first byte of the block within User_Prm_Data
};


// Get_PD_Val: the field at byte `pos` of User_Prm_Data. Throws RangeError
// when the field lies outside the record.
int64_t Get_PD_Val(const Record &rec, const QString &type, int pos);
// Put_PD_Val: writes the field; false (nothing written) for a read-only type,
// a value the field cannot hold, or a field outside the record.
bool Put_PD_Val(Record &rec, const QString &type, int pos, int64_t value);
// The text of `value` in text list n, "---" when the list has none.
QString Get_Texte(const GsdTables &gsd, int n, int64_t value);

// The block offset of the module at `position` (1-based): the device's
// parameter length plus those of the modules before it in the list.
int ModuleParamOffset(const GsdTables &gsd, const Record &rec, int position);

// One row of the window.
struct ExtRow {
    bool visible = false;
    int ref = 0;          // the ExtUserPrmData number
    int bytePos = 0;      // within User_Prm_Data
    QString type;
    QString label;
    int textList = 0;     // 0: a number field, else a drop-down of texts
    bool editable = false;
    QString text;         // TextN
    QStringList items;    // ComboN entries
    QString comboText;    // the entry shown
};

class ExtPrmEditor {
public:
    ExtPrmEditor(Context &ctx, ExtSelection sel);

    // Form_Activate: the caption and the rows from the GSD tables and the record.
    void Build();
    const ExtSelection &selection() const { return sel_; }
    QString caption() const;
    QString moduleNumberText() const;  // A_MNR
    QString offsetText() const;        // A_Offset
    const std::vector<ExtRow> &rows() const { return rows_; }

    // TextN lost the focus with `text`: range check (messages through the
    // prompts), then the field is written. Returns the row as it is now.
    const ExtRow &CommitText(int row, const QString &text);
    // ComboN: entry `index` of the text list chosen.
    const ExtRow &CommitCombo(int row, int index);

private:
    void Refresh(int row);

    Context &ctx_;
    ExtSelection sel_;
    std::vector<ExtRow> rows_;
};

} // namespace meridan
