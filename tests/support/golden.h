// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "support/fixture.h"

namespace meridan::test {

// Golden files below the source tree's tests/ folder ("iec/golden/x.cnf"):
// expected output compared whole. MERIDAN_UPDATE_GOLDEN=1 writes them instead
// (review the difference before committing it).
inline QByteArray Golden(const QString &name) { return ReadFile(QStringLiteral(MERIDAN_SOURCE_DIR "/tests/") + name); }
inline void ExpectGolden(const QString &name, const QByteArray &actual)
{
    if (qEnvironmentVariableIntValue("MERIDAN_UPDATE_GOLDEN") == 1) {
        ASSERT_TRUE(WriteFile(QStringLiteral(MERIDAN_SOURCE_DIR "/tests/") + name, actual)) << qPrintable(name);
    }
    const QByteArray expected = Golden(name);
    ASSERT_FALSE(expected.isEmpty()) << "no golden file " << qPrintable(name);
    EXPECT_EQ(actual.toStdString(), expected.toStdString()) << qPrintable(name);
}

} // namespace meridan::test
