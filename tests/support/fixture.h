// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A fresh program state with a temporary root folder, scripted prompts and
// virtual time: what every core test starts from.
#include "core/context.h"
#include "support/scripted_prompts.h"

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace meridan::test {

// A whole file, empty when it cannot be read.
inline QByteArray ReadFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Writes `bytes` as the whole file: false when that failed.
inline bool WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() && f.flush();
}

struct Fixture {
    QTemporaryDir tmp;
    Root root{tmp.path()};
    State st;
    ScriptedPrompts ui;
    VirtualPump pump;
    Context ctx{st, ui, pump, root};

    // English unless a test says otherwise; the program itself starts German.
    Fixture()
    {
        root.ensureLayout();
        st.language = kEnglish;
    }

    QString file(const QString &name) const { return tmp.filePath(name); }
    void write(const QString &name, const QByteArray &bytes) const { WriteFile(file(name), bytes); }
    QByteArray read(const QString &name) const { return ReadFile(file(name)); }
};

// meridan-cli run to its end, killed after `timeoutMs`: its exit code (-1
// when it crashed or was killed) and its outputs.
struct CliRun {
    int code = -1;
    QByteArray out, err;
};
inline CliRun RunCli(const QStringList &args, int timeoutMs = 20000, const QString &workDir = {})
{
    QProcess p;
    p.setWorkingDirectory(workDir);
    p.start(QStringLiteral(MERIDAN_BINARY_DIR "/src/meridan-cli"), args);
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(), p.readAllStandardError()};
}

// The real device files, when the shared folder is there.
inline QString SharedGsdDir() { return QStringLiteral(MERIDAN_SHARED_GSD_DIR); }

} // namespace meridan::test
