// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The root folder: where the original's fixed "C:\ZEL" lives on this machine.
// --root DIR, else $ZEL_ROOT, else $XDG_DATA_HOME/zel (~/.local/share/zel).
#include <QString>
#include <QStringList>

namespace meridan {

class Root {
public:
    explicit Root(QString dir = {});

    // Picks the root from an explicit --root value, the environment, or the default.
    static Root fromEnvironment(const QString &explicitDir = {});

    const QString &dir() const { return dir_; }
    // ROOT joined with a relative path given with "/" or "\" separators.
    QString path(const QString &relative) const;
    // Maps a path the way the original wrote it: "C:\ZEL\setup\x.dp1" (any
    // case) becomes ROOT/setup/x.dp1; other paths get "/" separators.
    QString mapPath(const QString &path) const;
    // Creates ROOT and its setup, GSD, help, driver and download folders.
    bool ensureLayout() const;

    QString setupDir() const { return path("setup"); }
    QString gsdDir() const { return path("GSD"); }
    QString helpDir() const { return path("help"); }
    QString driverDir() const { return path("driver"); }
    QString downloadDir() const { return path("download"); }
    QString settingsFile() const { return path("meridan.cfg"); }

private:
    QString dir_;
};

// Windows file names are case-insensitive and stored configurations rely on
// it: returns the existing file `name` in `dir`, exact name first, then any
// case; empty when none exists. `name` may contain "\" or "/" sub-folders.
QString FindFileNoCase(const QString &dir, const QString &name);

// Resolves a full path case-insensitively, component by component; returns
// the path unchanged when nothing matches.
QString ResolveNoCase(const QString &path);

// "\" and "/" both separate folders.
QString NormalizeSeparators(const QString &path);

} // namespace meridan
