// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QFile>
#include <gtest/gtest.h>

namespace meridan::test {

// Golden files below the source tree's tests/ folder ("iec/golden/x.cnf"):
// expected output compared whole. MERIDAN_UPDATE_GOLDEN=1 writes them instead
// (review the difference before committing it).
inline QByteArray Golden(const QString &name)
{
    QFile f(QStringLiteral(MERIDAN_SOURCE_DIR "/tests/") + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
inline void ExpectGolden(const QString &name, const QByteArray &actual)
{
    if (qEnvironmentVariableIntValue("MERIDAN_UPDATE_GOLDEN") == 1) {
        QFile f(QStringLiteral(MERIDAN_SOURCE_DIR "/tests/") + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(actual) == actual.size()) << qPrintable(name);
    }
    const QByteArray expected = Golden(name);
    ASSERT_FALSE(expected.isEmpty()) << "no golden file " << qPrintable(name);
    EXPECT_EQ(actual.toStdString(), expected.toStdString()) << qPrintable(name);
}

} // namespace meridan::test
