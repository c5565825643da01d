// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The tables a GSD file is read into: module lines and their parameter
// blocks, text lists and extended user-parameter definitions. The slave
// editor's module list and the extended parameter editor read them; they
// describe the last GSD file read.
//
// Numbers run up to 65535 (text lists, definitions) and 510 (modules), but a
// real device uses a few dozen of each, so only what a file stores is kept;
// every index never stored reads as its reset value.
#include <QString>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

namespace meridan {

constexpr int kMaxGsdModules = 510;    // Module lines a device may have
constexpr int kMaxGsdNumber = 65535;   // PrmText and ExtUserPrmData numbers
constexpr int kMaxListValues = 256;    // list values kept per definition
constexpr int kExtPrmNameLen = 32;     // names are blank-padded or cut to this

struct GsdPrmRef {
    int offset = 0;  // byte offset within the parameter block
    int number = 0;  // the ExtUserPrmData it refers to
    int line = 0;    // where the device file gives it
};

struct GsdModule {
    QString line;                   // value of the Module line, leading quote removed
    int prmLen = 0;                 // Ext_Module_Prm_Data_Len, raised by constants
    std::vector<uint8_t> prmConst;  // constant parameter bytes from offset 0
    std::vector<GsdPrmRef> refs;
};

// Values are 32-bit, signed or unsigned as the data type says: they are kept
// in 64 bits so that both ranges fit.
struct GsdText {
    int64_t value = 0;
    QString text;
};

struct GsdExtPrm {
    QString name;           // the tables keep it blank-padded or cut to 32 characters
    QString type;           // "Unsigned8", "Bit(2)", "BitArea(0-3)", ...
    int64_t defaultValue = 0;
    int64_t min = 0;        // lowest of a range, first of a list
    int64_t max = 0;        // highest of a range, last of a list
    std::vector<int64_t> list; // the values of a list, in file order
    int textRef = 0;        // Prm_Text_Ref, 0 = none
};

class GsdTables {
public:
    // Texts of the device, shown read-only by the slave editor.
    QString vendor, model, hardwareRelease, softwareRelease;
    int moduleCount = 0; // Module lines read
    int modular = 0;     // Modular_Station value
    // What the device takes: -1 when its file does not say.
    qint64 maxModule = -1;         // Max_Module
    qint64 maxUserPrmDataLen = -1; // Max_User_Prm_Data_Len

    // Back to the reset state. Costs what the last file stored, nothing more.
    void clear();

    // Lookups with the reset values for anything never stored.
    QString moduleLine(int m) const;
    int modulePrmLen(int m) const;
    uint8_t prmConst(int m, int offset) const;
    int prmRefOffset(int m, int k) const;
    int prmRefNumber(int m, int k) const;
    int prmRefCount(int m) const;
    QString prmTextString(int n, int k) const; // "---" when not stored
    int64_t prmTextValue(int n, int k) const;
    int prmTextLast(int n) const;              // last entry index, -1 for an empty list
    // The text for `value` in list n, "---" when the list has none.
    QString lookUpText(int n, int64_t value) const;
    QString extPrmName(int n) const;
    const GsdExtPrm *extPrm(int n) const;      // nullptr when n was never defined
    const GsdModule *module(int m) const;      // nullptr when never stored

    // Write access for the reader: creates the entry on first use.
    GsdModule &moduleAt(int m);
    std::vector<GsdText> &textListAt(int n);
    GsdExtPrm &extPrmAt(int n);

    const std::map<int, std::vector<GsdText>> &textLists() const { return texts_; }
    const std::map<int, GsdExtPrm> &extPrms() const { return extPrms_; }

private:
    std::vector<GsdModule> modules_; // index = module number, 0 = the device itself
    std::map<int, std::vector<GsdText>> texts_;
    std::map<int, GsdExtPrm> extPrms_;
};

} // namespace meridan
