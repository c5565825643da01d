#pragma once
// meridan-cli: each command is one function in its own file, listed in the
// command table of main.cpp.
#include "core/context.h"
#include "iface/hwname.h"

#include <QStringList>
#include <QTextStream>

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
int CmdCatalogue(Env &env, const QStringList &args);
int CmdRun(Env &env, const QStringList &args);
int CmdStatus(Env &env, const QStringList &args);
int CmdMode(Env &env, const QStringList &args);
int CmdGc(Env &env, const QStringList &args);
int CmdDiag(Env &env, const QStringList &args);
int CmdEepromStart(Env &env, const QStringList &args);
int CmdEepromStop(Env &env, const QStringList &args);
int CmdDemoConfig(Env &env, const QStringList &args);

// Helpers shared by commands.
int UsageError(Env &env, const Command &cmd, const QString &why);
// A bad or missing --hw: the reason and the list of hardware names; kUsage.
int HwUsageError(Env &env, const char *cmd, const QString &why);
// Connects to the board of `hw`; false (with the status line on stderr) when none answered.
bool ConnectOrReport(Env &env, const iface::HwChoice &hw);

} // namespace meridan::cli
