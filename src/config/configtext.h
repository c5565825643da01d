// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A configuration as text: a JSON document that names what the bytes of a
// .dp1 file mean (the bus parameters field by field; each station's name,
// ident, modules and user parameters) and keeps every byte, so that the text
// turns back into the very file it came from. Plants keep it under version
// control and review a change before it goes to the bus. The schema is
// docs/config-text.md.
#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace meridan {

class ConfigImage;
struct DeviceNames;

// ---- The file as it lies on the disk ----------------------------------------

constexpr int kDp1HeaderSize = 8;
constexpr int kDp1MasterSize = 256;

// A slave record as the file keeps it (bytes 0..L), or bytes the loader
// skips (8-byte groups that do not start with "%"; station 0).
struct Dp1Item {
    int station = 0;
    QByteArray bytes;
};

struct Dp1File {
    QByteArray header;          // 8 bytes: 0x10 and seven zeros as written here
    QByteArray master;          // 256 bytes
    std::vector<Dp1Item> items; // in file order
};

// The parts of a .dp1 file, read as the loader reads it. nullopt, with what
// is wrong in `why`, for a file the loader takes only in part or not at all
// (no master record, a record cut short, a bad length or station) and for a
// station that is in the file twice (the loader keeps only the second).
std::optional<Dp1File> ParseDp1(const QByteArray &bytes, QString *why = nullptr);
QByteArray Dp1Bytes(const Dp1File &file);
// The file SaveConfigFile writes of `image`, with the slave stations
// `first`..`last` (the file keeps 10..99; a board may hold any of 1..125).
Dp1File Dp1FromImage(const ConfigImage &image, int first = 10, int last = 99);
// The image the loader makes of the file.
void Dp1IntoImage(const Dp1File &file, ConfigImage &image);

// ---- The text ---------------------------------------------------------------

// The first key of every text, with its version.
extern const char kConfigTextFormat[];

// The device file of a station, by its GSD code and ident number; nullptr
// when none is found. Names only: the text keeps every byte without it.
using NameLookup = std::function<const DeviceNames *(const QString &gsdCode, int ident)>;

// The text of a file, as a JSON object and as the document written (UTF-8,
// two-space indent, a module or parameter field per line, a final line end).
QJsonObject ConfigTextObject(const Dp1File &file, const NameLookup &names = {});
QByteArray WriteConfigText(const QJsonObject &text);

// The file a text describes. Needs no device file: a named parameter field
// carries its place and data type. nullopt, with the station and the field
// in `error`, for a text that would make an invalid record or one the loader
// would read otherwise. `notes` receives the parameter fields whose value was
// written into the bytes.
std::optional<Dp1File> ReadConfigText(const QByteArray &text, int16_t language, QString *error,
                                      QStringList *notes = nullptr);

// The bytes of a hexadecimal field: one text "0B 88 14", or a list of such
// lines for a long run.
QByteArray HexValueBytes(const QJsonValue &value);

// A text starts with "{" (after blanks); a .dp1 file with its header.
bool LooksLikeConfigText(const QByteArray &bytes);

// The text of a file, checked to read back into the same bytes; empty with
// `error` when the file cannot be read whole or the text would not give it back.
QByteArray ExportConfigText(const QByteArray &dp1, const NameLookup &names, int16_t language, QString *error);

} // namespace meridan
