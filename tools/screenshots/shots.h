// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What both screenshot programs share: the output folder from the command
// line and one window rendered into OUTDIR/NAME.png.
#include <QApplication>
#include <QDir>
#include <QWidget>
#include <cstdio>

namespace meridan::shots {

inline bool Grab(QWidget *w, const QString &dir, const QString &name)
{
    w->show();
    QApplication::processEvents();
    const QString file = dir + QLatin1Char('/') + name + QStringLiteral(".png");
    const bool ok = w->grab().save(file);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(file));
    return ok;
}

// The folder named by the first argument, made if missing; empty (after a
// usage line) when none is given.
inline QString OutDir(int argc, char **argv, const char *program)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTDIR\n", program);
        return {};
    }
    const QString out = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    QDir().mkpath(out);
    return out;
}

// The bus event log window on the demo boards with a flapping station (event_log.cpp).
bool GrabEventLog(const QString &out);

} // namespace meridan::shots
