// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// meridan-cli: a command is its row in the command table (name, arguments,
// options, one line of help) and a function that parses nothing itself: it
// takes the parsed line, runs one core operation and prints its outcome.
#include "cli/console.h"
#include "core/context.h"
#include "core/outcome.h"
#include "iface/hardware.h"

#include <QCommandLineParser>
#include <QJsonObject>
#include <QStringList>
#include <QTextStream>
#include <memory>
#include <optional>
#include <vector>

class QCoreApplication;

namespace meridan::cli {

// Exit codes, the same for every command: 0 done; 1 the operation failed or
// the board disagrees; 2 usage or unreadable input; 3 refused until
// confirmed with --yes.
enum Exit { kOk = 0, kFailed = 1, kUsage = 2, kNeedsYes = 3 };

// What an option's value is, for the help text and for shell completion.
enum class Value { None, Text, Number, File, Folder, Hardware, Choice };

struct OptionSpec {
    QStringList names;     // "hw"; "y", "yes"
    Value value = Value::None;
    QString valueName;     // "HW", "SECONDS"
    QString help;
    QStringList choices;   // Value::Choice
};

struct Invocation;

struct Command {
    QString name;
    QString args;          // the positional arguments, as the synopsis shows them
    int minArgs = 0;
    int maxArgs = 0;       // -1: any number
    QString summary;       // one line for --help
    std::vector<OptionSpec> options;
    Value argValue = Value::File; // what the positional arguments are (completion)
    QStringList argChoices;       // argValue Choice: the words
    int (*run)(Invocation &inv) = nullptr;
    // A board command: --hw HW and --timeout SECONDS come with it.
    bool board = false;
};

// The command table, in the order --help lists it.
const std::vector<Command> &Commands();
// The options every command takes, anywhere on the line.
const std::vector<OptionSpec> &GlobalOptions();

// One run of one command: the parsed line and where its output goes.
struct Invocation {
    Context &ctx;
    Console &console;
    QTextStream &out;
    QTextStream &err;
    const Command &cmd;
    const QCommandLineParser &line;
    QStringList args;      // the positional arguments
    bool json = false;
    // Board commands: the board --hw names, and --timeout in seconds (0: none given).
    iface::HwChoice hw;
    int timeoutSeconds = 0;

    bool isSet(const QString &option) const { return line.isSet(option); }
    std::optional<QString> value(const QString &option) const
    {
        return line.isSet(option) ? std::optional<QString>(line.value(option)) : std::nullopt;
    }

    // "meridan-cli COMMAND: why" on stderr and the usage line; kUsage.
    int usage(const QString &why) const;
    // "meridan-cli COMMAND: text" on stderr.
    void error(const QString &text) const;
    // A note on stderr unless --quiet.
    void note(const QString &text) const;

    // Prints an operation's outcome: with --json the object `facts` with
    // "outcome" (and "error", "board_code" when it failed) on stdout; the
    // reason of a failure on stderr either way. Returns the exit code.
    int finish(const Outcome &outcome, QJsonObject facts = {}) const;
    // Prints a JSON document on stdout.
    void printJson(const QJsonObject &o) const;
};

// The exit code for an outcome.
int ExitCode(const Outcome &outcome);

// The application object: a QGuiApplication for the commands that draw.
std::unique_ptr<QCoreApplication> MakeApplication(int &argc, char **argv);

// The commands, one function each.
int CmdDump(Invocation &inv);
int CmdPeek(Invocation &inv);
int CmdPoke(Invocation &inv);
int CmdGsd(Invocation &inv);
int CmdGsdCheck(Invocation &inv);
int CmdCheck(Invocation &inv);
int CmdCatalogue(Invocation &inv);
int CmdRun(Invocation &inv);
int CmdStatus(Invocation &inv);
int CmdMode(Invocation &inv);
int CmdGc(Invocation &inv);
int CmdDiag(Invocation &inv);
int CmdEepromStart(Invocation &inv);
int CmdEepromStop(Invocation &inv);
int CmdUpload(Invocation &inv);
int CmdBurn(Invocation &inv);
int CmdErase(Invocation &inv);
int CmdDemoConfig(Invocation &inv);
int CmdPrint(Invocation &inv);
int CmdIecExport(Invocation &inv);
int CmdVars(Invocation &inv);
int CmdCompletion(Invocation &inv);
int CmdExport(Invocation &inv);
int CmdImport(Invocation &inv);
int CmdDiff(Invocation &inv);
int CmdIo(Invocation &inv);
int CmdWatch(Invocation &inv);

// Helpers shared by commands.
// Reads the configuration file `arg` (a path, mapped into the root folder)
// into the state; a usage failure with the reason when it cannot.
std::optional<Outcome> LoadConfiguration(Invocation &inv, const QString &arg);
// --project DIR into the state's project folder: an existing folder, or a
// bad-input outcome naming it.
std::optional<Outcome> TakeProject(Invocation &inv);

} // namespace meridan::cli
