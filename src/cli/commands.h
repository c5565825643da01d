// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// meridan-cli: each command is one function in its own file, listed in the
// command table of main.cpp.
#include "core/context.h"
#include "cli/options.h"

#include <QStringList>
#include <QTextStream>
#include <memory>

class QCoreApplication;

namespace meridan::cli {

// Exit codes: 0 success, 1 the operation did not reach its goal, 2 bad usage
// or unreadable input.
enum Exit { kOk = 0, kFailed = 1, kUsage = 2 };

struct Env {
    Context &ctx;
    QTextStream &out;
    QTextStream &err;
};

struct Command {
    const char *name;
    const char *usage;   // argument synopsis
    const char *summary; // one line for --help
    int (*run)(Env &env, const QStringList &args);
};

int CmdDump(Env &env, const QStringList &args);
int CmdPeek(Env &env, const QStringList &args);
int CmdPoke(Env &env, const QStringList &args);
int CmdGsd(Env &env, const QStringList &args);
int CmdGsdCheck(Env &env, const QStringList &args);
int CmdCheck(Env &env, const QStringList &args);
int CmdCatalogue(Env &env, const QStringList &args);
int CmdRun(Env &env, const QStringList &args);
int CmdStatus(Env &env, const QStringList &args);
int CmdMode(Env &env, const QStringList &args);
int CmdGc(Env &env, const QStringList &args);
int CmdDiag(Env &env, const QStringList &args);
int CmdEepromStart(Env &env, const QStringList &args);
int CmdEepromStop(Env &env, const QStringList &args);
int CmdUpload(Env &env, const QStringList &args);
int CmdBurn(Env &env, const QStringList &args);
int CmdErase(Env &env, const QStringList &args);
int CmdDemoConfig(Env &env, const QStringList &args);
int CmdPrint(Env &env, const QStringList &args);
// The application object: a QGuiApplication for the commands that draw.
std::unique_ptr<QCoreApplication> MakeApplication(int &argc, char **argv);
int CmdIecExport(Env &env, const QStringList &args);
int CmdVars(Env &env, const QStringList &args);

// Helpers shared by commands.
int UsageError(Env &env, const Command &cmd, const QString &why);
// A bad or missing --hw: the reason and the list of hardware names; kUsage.
int HwUsageError(Env &env, const char *cmd, const QString &why);
// Takes "--project DIR" (into the state's project folder) and the
// configuration file from `args` and reads the file; false, with the reason
// on stderr, when it cannot be read.
bool LoadProject(Env &env, const char *cmd, QStringList &args);

} // namespace meridan::cli
