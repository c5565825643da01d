// SPDX-License-Identifier: GPL-3.0-or-later
// meridan-cli: the configuration core without windows.
#include "cli/commands.h"

#include <QCoreApplication>
#include <cstdio>

using namespace meridan;
using namespace meridan::cli;

namespace {

const Command kCommands[] = {
    {"dump", "FILE.dp1", "print a configuration file as JSON", CmdDump},
    {"peek", "--hw HW ADDR [COUNT]", "print DP-RAM bytes as hex and text (HW: see below)", CmdPeek},
    {"poke", "--hw HW ADDR VALUE", "write one DP-RAM byte (ADDR, VALUE: decimal or 0x...)", CmdPoke},
    {"run", "--hw HW FILE.dp1 [--timeout SECONDS] [--tick]",
     "download a configuration and run the bus up to Operate (--tick: one job per status tick, as the window does by default)", CmdRun},
    {"status", "--hw HW", "firmware version, bus mode, running and diagnosis stations", CmdStatus},
    {"mode", "--hw HW stop|clear|operate|halt-go", "change the bus mode (halt-go toggles as the Halt/Go button)", CmdMode},
    {"gc", "--hw HW CONTROL GROUP", "send a Global Control (hexadecimal bytes)", CmdGc},
    {"diag", "--hw HW STATION [--explain [--config FILE.dp1]]",
     "request and decode a station's diagnosis (--explain: and say why, against the start-up configuration or FILE)", CmdDiag},
    {"eeprom-start", "--hw HW", "start the master from the configuration in its EEPROM", CmdEepromStart},
    {"eeprom-stop", "--hw HW", "stop the master", CmdEepromStop},
    {"upload", "--hw HW OUT.dp1 [--tick]",
     "read the board's configuration back and save it (nothing written when none arrived; --tick: paced by the status tick)", CmdUpload},
    {"burn", "--hw HW FILE.dp1 [--yes]", "store FILE in the board's EEPROM (--yes: also when that restarts a master in Operate)", CmdBurn},
    {"erase", "--hw HW", "clear the board's EEPROM", CmdErase},
    {"demo-config", "[--force] [FILE.dp1]", "write the demo configuration (default ROOT/setup/AutoLoad.dp1)", CmdDemoConfig},
    {"gsd", "[--station N] FILE", "read a GSD file into a new slave record and print its tables as JSON", CmdGsd},
    {"print", "FILE.dp1 [--pdf OUT.pdf] [--lang de|en]", "the configuration printout as text (form feed between pages) or PDF", CmdPrint},
    {"iec-export", "FILE.dp1 [--project DIR]", "regenerate the 'ProfiDP' blocks of the project's Ioconfig.cnf", CmdIecExport},
    {"vars", "FILE.dp1 [--project DIR] [--station N] [--add NAME:BOOL|INT] [--attach NAME=M.K] [--detach NAME] [--delete NAME]",
     "list or edit the project's global variables on the slaves' I/O channels, then save them and the I/O blocks", CmdVars},
    {"gsd-check", "FILE...", "check GSD files: errors, warnings and notes with their line numbers", CmdGsdCheck},
    {"check", "FILE.dp1", "check the bus parameters against the slaves and their GSD files, and estimate the bus cycle (exit 1 on errors)", CmdCheck},
    {"catalogue", "[--json] [DIR]", "list the GSD files of DIR (default ROOT/GSD): vendor, model, ident, revision", CmdCatalogue},
};

void PrintHelp(QTextStream &out)
{
    // The manual page is made from this text: "Usage:" and "Options:" open its
    // sections; a command line followed by its summary indented by 20 is a term.
    out << "meridan-cli " << MERIDAN_VERSION << ": PROFIBUS-DP master configuration without windows\n\n"
        << "Usage: meridan-cli [--root DIR] [--german] COMMAND [ARGS]\n\n"
        << "Options:\n"
        << "  --root DIR   the root folder (default: $ZEL_ROOT, else $XDG_DATA_HOME/zel)\n"
        << "  --german     messages in German (default: English)\n"
        << "  --help       this text; meridan-cli COMMAND --help shows one command's usage\n"
        << "  --version    the version\n\n"
        << "Commands:\n";
    for (const Command &c : kCommands)
        out << "  " << c.name << ' ' << c.usage << "\n"
            << QString(20, QLatin1Char(' ')) << c.summary << "\n";
    out << "\nHardware names (HW):\n" << HwNameHelp();
    out << "\nExit status:\n"
        << "  0    success\n"
        << "  1    the operation did not reach its goal\n"
        << "  2    bad usage or unreadable input\n";
}

} // namespace

namespace meridan::cli {
int UsageError(Env &env, const Command &cmd, const QString &why)
{
    env.err << "meridan-cli " << cmd.name << ": " << why << "\nusage: meridan-cli " << cmd.name << ' ' << cmd.usage << Qt::endl;
    return kUsage;
}
} // namespace meridan::cli

int main(int argc, char **argv)
{
    const std::unique_ptr<QCoreApplication> app = MakeApplication(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("meridan-cli"));
    QTextStream out(stdout);
    QTextStream err(stderr);

    QStringList args = QCoreApplication::arguments().mid(1);
    QString rootDir;
    int16_t language = kEnglish;
    while (!args.isEmpty() && args.first().startsWith(QLatin1String("--"))) {
        const QString opt = args.takeFirst();
        if (opt == QLatin1String("--help")) {
            PrintHelp(out);
            return kOk;
        }
        if (opt == QLatin1String("--version")) {
            out << "meridan-cli " << MERIDAN_VERSION << Qt::endl;
            return kOk;
        }
        if (opt == QLatin1String("--root") && !args.isEmpty()) {
            rootDir = args.takeFirst();
            continue;
        }
        if (opt.startsWith(QLatin1String("--root="))) {
            rootDir = opt.mid(7);
            continue;
        }
        if (opt == QLatin1String("--german")) {
            language = kGerman;
            continue;
        }
        err << "meridan-cli: unknown option " << opt << "\n";
        PrintHelp(err);
        return kUsage;
    }
    if (args.isEmpty()) {
        PrintHelp(err);
        return kUsage;
    }
    const QString name = args.takeFirst();
    for (const Command &c : kCommands) {
        if (name != QLatin1String(c.name))
            continue;
        if (args.contains(QLatin1String("--help"))) {
            out << "usage: meridan-cli " << c.name << ' ' << c.usage << "\n" << c.summary << Qt::endl;
            return kOk;
        }
        const Root root = Root::fromEnvironment(rootDir);
        State st;
        st.language = language;
        CliPrompts prompts;
        QtPump pump;
        Context ctx{st, prompts, pump, root};
        Env env{ctx, out, err};
        const int rc = c.run(env, args);
        out.flush();
        return rc;
    }
    err << "meridan-cli: unknown command " << name << "\n";
    PrintHelp(err);
    return kUsage;
}
