// SPDX-License-Identifier: GPL-3.0-or-later
// The programs start Qt's windowing (and PDF fonts) without a word about the
// runtime folder, also from cron (none set) or under sudo (someone else's).
#include "core/runtimedir.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace meridan;

namespace {

QStringList warnings;

void Collect(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        warnings << text;
}

// Sets an environment variable for the length of a test, or unsets it.
struct EnvGuard {
    QByteArray name, old;
    bool had;
    EnvGuard(const char *n, const std::optional<QByteArray> &value) : name(n), old(qgetenv(n)), had(qEnvironmentVariableIsSet(n))
    {
        if (value)
            qputenv(n, *value);
        else
            qunsetenv(n);
    }
    ~EnvGuard()
    {
        if (had)
            qputenv(name.constData(), old);
        else
            qunsetenv(name.constData());
    }
};

} // namespace

TEST(RuntimeDir, missingWrongModeOrForeignLink_isReplacedByAPrivateFolderQtTakesSilently)
{
    QTemporaryDir tmp;
    const QString open = tmp.filePath(QStringLiteral("open"));
    const QString own = tmp.filePath(QStringLiteral("own"));
    const QString link = tmp.filePath(QStringLiteral("link"));
    QDir().mkpath(open);
    QFile::setPermissions(open, QFileDevice::Permissions(0x7755));
    QDir().mkpath(own);
    QFile::setPermissions(own, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QFile::link(own, link);
    QDir().mkpath(tmp.filePath(QStringLiteral("tmp")));

    struct Case {
        const char *name;
        std::optional<QByteArray> given;
        bool kept;
    };
    const Case cases[] = {
        {"unset (cron)", std::nullopt, false},
        {"mode 755", QFile::encodeName(open), false},
        {"a link to a private folder", QFile::encodeName(link), false},
        {"missing", QFile::encodeName(tmp.filePath(QStringLiteral("gone"))), false},
        {"private", QFile::encodeName(own), true},
    };
    for (const Case &c : cases) {
        const EnvGuard tmpdir("TMPDIR", QFile::encodeName(tmp.filePath(QStringLiteral("tmp"))));
        const EnvGuard runtime("XDG_RUNTIME_DIR", c.given);
        const QString dir = UsePrivateRuntimeDir();
        EXPECT_EQ(qEnvironmentVariable("XDG_RUNTIME_DIR"), dir) << c.name;
        EXPECT_TRUE(IsPrivateRuntimeDir(dir)) << c.name << ": " << dir.toStdString();
        EXPECT_EQ(dir == QString::fromLocal8Bit(c.given.value_or(QByteArray())), c.kept) << c.name;
        warnings.clear();
        const QtMessageHandler before = qInstallMessageHandler(Collect);
        QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
        qInstallMessageHandler(before);
        EXPECT_TRUE(warnings.isEmpty()) << c.name << ": " << warnings.join(' ').toStdString();
    }
}
