// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Small device files of our own (tests/support/gsd) for the diagnosis
// explainer and the bus check: ident 4224 (compact I/O with diagnosis texts),
// C0DE (modular inputs) and 4711 (nothing above 1.5 Mbit/s); with them the
// demo's own file of the device at address 40 (ident 4225).
#include "config/demo.h"
#include "core/paths.h"

#include <QDir>
#include <QFile>

namespace meridan::test {

// Copies them into ROOT/GSD.
inline void InstallTestGsd(const Root &root)
{
    const QDir from(QStringLiteral(MERIDAN_SOURCE_DIR "/tests/support/gsd"));
    for (const QString &name : from.entryList(QDir::Files))
        QFile::copy(from.filePath(name), root.gsdDir() + QLatin1Char('/') + name);
    WriteDemoDeviceFile(root);
}

} // namespace meridan::test
