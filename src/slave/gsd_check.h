// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A compatibility report on a GSD file, asked for before commissioning: what
// the reader refuses or cuts, where the file contradicts itself, and what is
// doubtful. Every finding names the line it is about.
#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

namespace meridan {

struct GsdFinding {
    enum class Level { Error, Warning, Note };
    Level level = Level::Note;
    int line = 0;
    QString text;
};

struct GsdCheck {
    std::vector<GsdFinding> findings; // in line order, errors first within a line
    int count(GsdFinding::Level level) const;
};

// Checks the bytes of a GSD file.
GsdCheck CheckGsdBytes(const QByteArray &bytes);
// Checks a file; nullopt when it cannot be read.
std::optional<GsdCheck> CheckGsdFile(const QString &path);

// The report: one line "NAME:LINE: LEVEL: TEXT" per finding, then
// "NAME: 1 error, 2 warnings, 0 notes".
QString GsdCheckReport(const QString &name, const GsdCheck &check);

// The input and output bytes a module's name states ("8 Byte In",
// "Words: 6 IN/OUT", "Read 9 Words"), -1 for a direction it does not state;
// nullopt when the name states no length at all.
struct StatedLengths {
    int input = -1;
    int output = -1;
};
std::optional<StatedLengths> LengthsInModuleName(const QString &name);

} // namespace meridan
