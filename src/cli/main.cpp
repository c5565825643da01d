// SPDX-License-Identifier: GPL-3.0-or-later
// meridan-cli: the configuration core without windows. The command table
// below is the whole surface: each command's parser, its --help, the manual
// page and the shell completion are made from it.
#include "cli/commands.h"
#include "cli/options.h"
#include "core/licence.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <cstdio>

using namespace meridan;
using namespace meridan::cli;

namespace {

OptionSpec Flag(QStringList names, QString help)
{
    return {std::move(names), Value::None, {}, std::move(help), {}};
}
OptionSpec Opt(QStringList names, Value v, QString valueName, QString help, QStringList choices = {})
{
    return {std::move(names), v, std::move(valueName), std::move(help), std::move(choices)};
}

const OptionSpec kYes = Flag({"y", "yes"}, "go ahead where the operation would otherwise ask first");
const OptionSpec kTick = Flag({"tick"}, "one job per status poll, as the window paces it (default: as fast as the board answers)");
const OptionSpec kProject = Opt({"project"}, Value::Folder, "DIR", "the soft-PLC project folder (default: ROOT)");

} // namespace

namespace meridan::cli {

const std::vector<OptionSpec> &GlobalOptions()
{
    static const std::vector<OptionSpec> globals = {
        Opt({"root"}, Value::Folder, "DIR", "the root folder (default: $ZEL_ROOT, else $XDG_DATA_HOME/zel)"),
        Flag({"german"}, "messages in German (default: English)"),
        Flag({"json"}, "the result as JSON on stdout (docs/cli-json.md)"),
        Flag({"q", "quiet"}, "errors only on stderr: no notes, no progress line"),
        Flag({"v", "verbose"}, "the message log (the window's message line) on stderr"),
        Flag({"h", "help"}, "this text; meridan-cli COMMAND --help shows one command"),
        Flag({"version"}, "the version and the licence"),
    };
    return globals;
}

const std::vector<Command> &Commands()
{
    static const std::vector<Command> table = [] {
        std::vector<Command> t;
        const auto add = [&](Command c) { t.push_back(std::move(c)); };
        add({"dump", "FILE.dp1", 1, 1, "print a configuration file as JSON", {}, Value::File, {}, CmdDump});
        add({"peek", "ADDR [COUNT]", 1, 2, "print DP-RAM bytes as hex and text (ADDR, COUNT: decimal or 0x...)", {}, Value::Text, {}, CmdPeek, true});
        add({"poke", "ADDR VALUE", 2, 2, "write one DP-RAM byte (decimal or 0x...)", {}, Value::Text, {}, CmdPoke, true});
        add({"run", "FILE.dp1", 1, 1, "download a configuration and run the bus up to Operate", {kTick}, Value::File, {}, CmdRun, true});
        add({"status", "", 0, 0, "firmware version, bus mode, running and diagnosis stations",
             {Opt({"wait"}, Value::Choice, "MODE", "wait until the board reports MODE (within --timeout, default 30 s)",
                  {"offline", "stop", "clear", "operate"})},
             Value::None, {}, CmdStatus, true});
        add({"mode", "stop|clear|operate|halt-go", 1, 1, "change the bus mode (halt-go toggles as the Halt/Go button)", {},
             Value::Choice, {"stop", "clear", "operate", "halt-go"}, CmdMode, true});
        add({"gc", "CONTROL GROUP", 2, 2, "send a Global Control (hexadecimal bytes, with or without 0x)", {}, Value::Text, {}, CmdGc, true});
        add({"diag", "STATION...", 0, -1, "request and decode stations' diagnosis in one connection",
             {Flag({"all"}, "every station the master lists as running or with diagnosis"),
              Flag({"explain"}, "and say why, against the start-up configuration or --config"),
              Opt({"config"}, Value::File, "FILE.dp1", "the configuration --explain compares with")},
             Value::Text, {}, CmdDiag, true});
        add({"eeprom-start", "", 0, 0, "start the master from the configuration in its EEPROM", {}, Value::None, {}, CmdEepromStart, true});
        add({"eeprom-stop", "", 0, 0, "stop the master", {}, Value::None, {}, CmdEepromStop, true});
        add({"upload", "OUT.dp1", 1, 1, "read the board's configuration back and save it (nothing written when none arrived)", {kTick},
             Value::File, {}, CmdUpload, true});
        add({"burn", "FILE.dp1", 1, 1, "store FILE in the board's EEPROM", {kYes}, Value::File, {}, CmdBurn, true});
        add({"erase", "", 0, 0, "clear the board's EEPROM", {kYes}, Value::None, {}, CmdErase, true});
        add({"demo-config", "[FILE.dp1]", 0, 1, "write the demo configuration (default ROOT/setup/AutoLoad.dp1)",
             {Flag({"force"}, "overwrite an existing file")}, Value::File, {}, CmdDemoConfig});
        add({"gsd", "FILE", 1, 1, "read a GSD file into a new slave record and print its tables as JSON",
             {Opt({"station"}, Value::Number, "N", "the station address of the new record (1..125, default 10)")}, Value::File, {}, CmdGsd});
        add({"print", "FILE.dp1", 1, 1, "the configuration printout as text (form feed between pages) or PDF",
             {Opt({"pdf"}, Value::File, "OUT.pdf", "write a PDF file"),
              Opt({"lang"}, Value::Choice, "de|en", "the printout's language", {"de", "en"})},
             Value::File, {}, CmdPrint});
        add({"iec-export", "FILE.dp1", 1, 1, "regenerate the 'ProfiDP' blocks of the project's Ioconfig.cnf", {kProject}, Value::File, {}, CmdIecExport});
        add({"vars", "FILE.dp1", 1, 1, "list or edit the project's global variables on the slaves' I/O channels",
             {kProject, Opt({"station"}, Value::Number, "N", "the station whose channels are meant (1..125)"),
              Opt({"add"}, Value::Text, "NAME:BOOL|INT", "add a variable"),
              Opt({"attach"}, Value::Text, "NAME=M.K", "attach a variable to channel K of module M"),
              Opt({"detach"}, Value::Text, "NAME", "detach a variable from its channel"),
              Opt({"delete"}, Value::Text, "NAME", "delete a variable")},
             Value::File, {}, CmdVars});
        add({"gsd-check", "FILE...", 1, -1, "check GSD files: errors, warnings and notes with their line numbers", {}, Value::File, {}, CmdGsdCheck});
        add({"check", "FILE.dp1", 1, 1, "check the bus parameters against the slaves and their GSD files, and estimate the bus cycle", {},
             Value::File, {}, CmdCheck});
        add({"catalogue", "[DIR]", 0, 1, "list the GSD files of DIR (default ROOT/GSD): vendor, model, ident, revision", {}, Value::Folder, {},
             CmdCatalogue});
        add({"completion", "bash|zsh", 1, 1, "print a shell completion script", {}, Value::Choice, {"bash", "zsh"}, CmdCompletion});
        // The configuration as text (docs/config-text.md).
        add({"export", "FILE.dp1", 1, 1, "write a configuration as text that names every field and keeps every byte",
             {Opt({"out"}, Value::File, "FILE.json", "write the text to FILE.json (default: standard output)")}, Value::File, {}, CmdExport});
        add({"import", "FILE.json OUT.dp1", 2, 2, "write the configuration file a text describes (nothing written when the text is refused)", {},
             Value::File, {}, CmdImport});
        add({"diff", "A B | FILE", 1, 2, "the differences between two configurations (.dp1 or text), or a file and the board's, by station and field; exit 1 when they differ",
             {Opt({"hw"}, Value::Hardware, "HW", "compare FILE with the configuration the board holds, read as Read reads it (HW: see meridan-cli --help)"),
              Opt({"timeout"}, Value::Number, "SECONDS", "with --hw: bound the whole command, every wait on the line included")},
             Value::File, {}, CmdDiff});
        add({"io", "STATION", 1, 1, "a station's inputs and outputs, live from the board; force outputs in Operate with --set",
             {Flag({"watch"}, "print every channel, then each change, until interrupted (or --timeout is up)"),
              Opt({"interval"}, Value::Number, "MS", "with --watch: read at most every MS milliseconds (default 100; a slow line reads less often)"),
              Opt({"set"}, Value::Text, "CHANNEL=VALUE", "force an output (QX2.5=1, QW3.0=0x1F4, or an attached variable); repeatable; needs --yes"),
              kYes, Flag({"hold"}, "leave the forced outputs forced at the end (default: given back)"),
              Opt({"config"}, Value::File, "FILE.dp1", "the configuration that describes the station (default: the start-up configuration)"),
              kProject},
             Value::Number, {}, CmdIo, true});
        add({"watch", "", 0, 0, "print each bus event (mode, stations in and out of data exchange, diagnosis, messages, the link) "
                                "until --duration ends or SIGINT/SIGTERM, then the counts per station",
             {Opt({"duration"}, Value::Number, "S", "stop after S seconds (default: when interrupted)"),
              Opt({"out"}, Value::File, "FILE", "append the events to FILE as well (past 32 MiB it moves to FILE.1)")},
             Value::None, {}, CmdWatch, true});
        return t;
    }();
    return table;
}

} // namespace meridan::cli

namespace {

const OptionSpec kHw = Opt({"hw"}, Value::Hardware, "HW", "the board, as the Hardware menu names it (see HW below)");
const OptionSpec kTimeout = Opt({"timeout"}, Value::Number, "SECONDS", "bound the whole command, every wait on the line included");

// The options of a command as its parser and its help see them.
std::vector<OptionSpec> OptionsOf(const Command &c)
{
    std::vector<OptionSpec> all;
    if (c.board) {
        all.push_back(kHw);
        all.push_back(kTimeout);
    }
    all.insert(all.end(), c.options.begin(), c.options.end());
    return all;
}

QString OptionText(const OptionSpec &o)
{
    QStringList names;
    for (const QString &n : o.names)
        names << (n.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + n;
    QString t = names.join(QStringLiteral(", "));
    if (o.value != Value::None)
        t += QLatin1Char(' ') + o.valueName;
    return t;
}

QString Synopsis(const Command &c)
{
    QString s = c.name;
    if (c.board)
        s += QStringLiteral(" --hw HW");
    for (const OptionSpec &o : c.options)
        s += QStringLiteral(" [") + OptionText(o).section(QStringLiteral(", "), -1) + QLatin1Char(']');
    if (!c.args.isEmpty())
        s += QLatin1Char(' ') + c.args;
    return s;
}

void PrintOptions(QTextStream &out, const std::vector<OptionSpec> &options)
{
    for (const OptionSpec &o : options) {
        const QString t = OptionText(o);
        out << "  " << t.leftJustified(22) << (t.size() > 22 ? QStringLiteral("\n") + QString(26, QLatin1Char(' ')) : QString()) << o.help
            << '\n';
    }
}

void PrintExitStatus(QTextStream &out)
{
    out << "\nExit status:\n"
        << "  0    done\n"
        << "  1    the operation failed, or the board disagrees with what was asked\n"
        << "  2    bad usage or unreadable input\n"
        << "  3    refused until confirmed with --yes\n";
}

void PrintHelp(QTextStream &out)
{
    // The manual page is made from this text: "Usage:" and "Options:" open its
    // sections; a command line followed by its summary indented by 20 is a term.
    out << "meridan-cli " << MERIDAN_VERSION << ": PROFIBUS-DP master configuration without windows\n\n"
        << "Usage: meridan-cli [OPTIONS] COMMAND [ARGS]\n\n"
        << "Options (anywhere on the line):\n";
    PrintOptions(out, GlobalOptions());
    out << "\nCommands:\n";
    for (const Command &c : Commands())
        out << "  " << Synopsis(c) << "\n" << QString(20, QLatin1Char(' ')) << c.summary << "\n";
    out << "\nBoard commands take --hw HW and --timeout SECONDS.\n";
    out << "\nHardware names (HW):\n" << HwNameHelp();
    PrintExitStatus(out);
}

void PrintCommandHelp(QTextStream &out, const Command &c)
{
    out << "usage: meridan-cli " << Synopsis(c) << "\n" << c.summary << "\n\nOptions:\n";
    PrintOptions(out, OptionsOf(c));
    out << "\nGlobal options:\n";
    PrintOptions(out, GlobalOptions());
    if (c.board)
        out << "\nHardware names (HW):\n" << HwNameHelp();
    PrintExitStatus(out);
}

void AddOptions(QCommandLineParser &p, const std::vector<OptionSpec> &options)
{
    for (const OptionSpec &o : options) {
        QCommandLineOption opt(o.names, o.help);
        if (o.value != Value::None)
            opt.setValueName(o.valueName);
        p.addOption(opt);
    }
}

// The command: the first argument that is neither an option nor the value
// of a global option that takes one.
int CommandIndex(const QStringList &args)
{
    for (int i = 1; i < args.size(); ++i) {
        const QString &a = args[i];
        if (a == QLatin1String("--"))
            return i + 1 < args.size() ? i + 1 : -1;
        if (a == QLatin1String("--root")) {
            ++i;
            continue;
        }
        if (!a.startsWith(QLatin1Char('-')) || a == QLatin1String("-"))
            return i;
    }
    return -1;
}

} // namespace

int main(int argc, char **argv)
{
    const std::unique_ptr<QCoreApplication> app = MakeApplication(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("meridan-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(MERIDAN_VERSION));
    QTextStream out(stdout);
    QTextStream err(stderr);
    Console console(err);

    QStringList args = QCoreApplication::arguments();
    const int at = CommandIndex(args);
    const Command *cmd = nullptr;
    if (at > 0) {
        for (const Command &c : Commands())
            if (c.name == args[at])
                cmd = &c;
        if (!cmd) {
            err << "meridan-cli: unknown command " << args[at] << "\nmeridan-cli --help lists the commands" << Qt::endl;
            return kUsage;
        }
        args.removeAt(at);
        console.command = cmd->name;
    }

    QCommandLineParser line;
    line.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    AddOptions(line, GlobalOptions());
    if (cmd)
        AddOptions(line, OptionsOf(*cmd));
    const QString who = cmd ? QStringLiteral("meridan-cli ") + cmd->name : QStringLiteral("meridan-cli");
    if (!line.parse(args)) {
        err << who << ": " << line.errorText() << "\n"
            << (cmd ? QStringLiteral("usage: meridan-cli ") + Synopsis(*cmd) : QStringLiteral("meridan-cli --help lists the commands"))
            << Qt::endl;
        return kUsage;
    }
    if (line.isSet(QStringLiteral("help"))) {
        if (cmd)
            PrintCommandHelp(out, *cmd);
        else
            PrintHelp(out);
        return kOk;
    }
    if (line.isSet(QStringLiteral("version"))) {
        out << "meridan-cli " << MERIDAN_VERSION << "\n" << kCopyrightLine << "\n" << kLicenceNotice << Qt::endl;
        return kOk;
    }
    if (!cmd) {
        err << "meridan-cli: no command given\n";
        PrintHelp(err);
        err.flush();
        return kUsage;
    }

    const Root root = Root::fromEnvironment(line.value(QStringLiteral("root")));
    State st;
    st.language = line.isSet(QStringLiteral("german")) ? kGerman : kEnglish;
    console.verbose = line.isSet(QStringLiteral("verbose"));
    console.quiet = line.isSet(QStringLiteral("quiet"));
    console.assumeYes = std::any_of(cmd->options.begin(), cmd->options.end(), [](const OptionSpec &o) { return o.names.contains(QStringLiteral("yes")); })
        && line.isSet(QStringLiteral("yes"));
    QtPump pump;
    Context ctx{st, console, pump, root};
    Invocation inv{ctx, console, out, err, *cmd, line, line.positionalArguments(), line.isSet(QStringLiteral("json"))};
    const int n = int(inv.args.size());
    if (n < cmd->minArgs)
        return inv.usage(cmd->args.isEmpty() ? QStringLiteral("missing arguments") : QStringLiteral("missing ") + cmd->args);
    if (cmd->maxArgs >= 0 && n > cmd->maxArgs)
        return inv.usage(QStringLiteral("unexpected argument ") + inv.args[cmd->maxArgs]);
    if (cmd->argValue == Value::Choice)
        for (const QString &a : inv.args)
            if (!cmd->argChoices.contains(a.toLower()))
                return inv.usage(QStringLiteral("%1 is not one of %2").arg(a, cmd->argChoices.join(QLatin1Char('|'))));
    for (const OptionSpec &o : cmd->options)
        if (o.value == Value::Choice && line.isSet(o.names.last()) && !o.choices.contains(line.value(o.names.last()).toLower()))
            return inv.usage(QStringLiteral("--%1 takes %2, not %3").arg(o.names.last(), o.choices.join(QLatin1Char('|')), line.value(o.names.last())));
    if (cmd->board) {
        QString why;
        const auto hw = line.isSet(QStringLiteral("hw")) ? iface::ParseHwName(line.value(QStringLiteral("hw")), &why) : std::nullopt;
        if (!hw) {
            err << "meridan-cli " << cmd->name << ": " << (line.isSet(QStringLiteral("hw")) ? why : QStringLiteral("--hw HW is required"))
                << "\nHW is one of:\n" << HwNameHelp() << Qt::flush;
            return kUsage;
        }
        inv.hw = *hw;
        if (line.isSet(QStringLiteral("timeout"))) {
            const QString t = line.value(QStringLiteral("timeout"));
            const auto s = ParseNumber(t, 1, 24 * 3600);
            if (!s)
                return inv.usage(RangeText(QStringLiteral("--timeout"), 1, 24 * 3600, t));
            inv.timeoutSeconds = int(*s);
        }
    }
    const int rc = cmd->run(inv);
    out.flush();
    return rc;
}
