// SPDX-License-Identifier: GPL-3.0-or-later
// completion bash|zsh: a shell completion script made from the command
// table, so that it names every command, option and hardware name there is.
#include "cli/commands.h"

namespace meridan::cli {

namespace {

QStringList HardwareNames()
{
    QStringList names{QStringLiteral("none")};
    for (const iface::HwItem &item : iface::HardwareItems())
        if (!item.cliName.isEmpty() && !names.contains(item.cliName))
            names << item.cliName;
    return names;
}

QStringList Spellings(const OptionSpec &o)
{
    QStringList s;
    for (const QString &n : o.names)
        s << (n.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + n;
    return s;
}

std::vector<OptionSpec> CommandOptions(const Command &c)
{
    std::vector<OptionSpec> all;
    if (c.board) {
        all.push_back({{QStringLiteral("hw")}, Value::Hardware, QStringLiteral("HW"), QStringLiteral("the board"), {}});
        all.push_back({{QStringLiteral("timeout")}, Value::Number, QStringLiteral("SECONDS"), QStringLiteral("bound the whole command"), {}});
    }
    all.insert(all.end(), c.options.begin(), c.options.end());
    return all;
}

// What bash offers for a value of this kind.
QString BashValues(Value v, const QStringList &choices)
{
    switch (v) {
    case Value::File: return QStringLiteral("COMPREPLY=($(compgen -f -- \"$cur\"))");
    case Value::Folder: return QStringLiteral("COMPREPLY=($(compgen -d -- \"$cur\"))");
    case Value::Hardware: return QStringLiteral("COMPREPLY=($(compgen -W \"$hw\" -- \"$cur\"))");
    case Value::Choice: return QStringLiteral("COMPREPLY=($(compgen -W \"%1\" -- \"$cur\"))").arg(choices.join(QLatin1Char(' ')));
    default: return QStringLiteral("COMPREPLY=()");
    }
}

QString Bash()
{
    QString s;
    QTextStream t(&s);
    QStringList commands;
    for (const Command &c : Commands())
        commands << c.name;
    QStringList globals;
    for (const OptionSpec &o : GlobalOptions())
        globals << Spellings(o);
    t << "# bash completion for meridan-cli, made by 'meridan-cli completion bash'\n"
      << "_meridan_cli()\n{\n"
      << "    local cur=\"${COMP_WORDS[COMP_CWORD]}\" prev=\"${COMP_WORDS[COMP_CWORD-1]}\"\n"
      << "    local hw=\"" << HardwareNames().join(QLatin1Char(' ')) << "\"\n"
      << "    local globals=\"" << globals.join(QLatin1Char(' ')) << "\"\n"
      << "    local cmd=\"\" i\n"
      << "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
      << "        case \"${COMP_WORDS[i]}\" in\n"
      << "        --root) ((i++)) ;;\n"
      << "        -*) ;;\n"
      << "        *) cmd=\"${COMP_WORDS[i]}\"; break ;;\n"
      << "        esac\n"
      << "    done\n"
      << "    case \"$prev\" in\n"
      << "    --root) " << BashValues(Value::Folder, {}) << "; return ;;\n";
    // Every option that takes a value, by what the value is.
    QStringList seen{QStringLiteral("--root")};
    for (const Command &c : Commands())
        for (const OptionSpec &o : CommandOptions(c))
            for (const QString &sp : Spellings(o))
                if (o.value != Value::None && !seen.contains(sp)) {
                    seen << sp;
                    t << "    " << sp << ") " << BashValues(o.value, o.choices) << "; return ;;\n";
                }
    t << "    esac\n"
      << "    if [[ -z $cmd ]]; then\n"
      << "        COMPREPLY=($(compgen -W \"" << commands.join(QLatin1Char(' ')) << " $globals\" -- \"$cur\"))\n"
      << "        return\n"
      << "    fi\n"
      << "    local opts=\"\"\n"
      << "    case \"$cmd\" in\n";
    for (const Command &c : Commands()) {
        QStringList opts;
        for (const OptionSpec &o : CommandOptions(c))
            opts << Spellings(o);
        t << "    " << c.name << ")\n"
          << "        opts=\"" << opts.join(QLatin1Char(' ')) << "\"\n"
          << "        if [[ $cur != -* ]]; then " << BashValues(c.argValue, c.argChoices) << "; return; fi ;;\n";
    }
    t << "    esac\n"
      << "    COMPREPLY=($(compgen -W \"$opts $globals\" -- \"$cur\"))\n"
      << "}\n"
      << "complete -F _meridan_cli meridan-cli\n";
    return s;
}

// zsh's _arguments wants brackets and colons in texts escaped.
QString ZshText(QString text)
{
    return text.replace(QLatin1Char('\''), QString()).replace(QLatin1Char('['), QLatin1Char('(')).replace(QLatin1Char(']'), QLatin1Char(')'))
        .replace(QLatin1Char(':'), QStringLiteral(" -"));
}

QString ZshAction(Value v, const QStringList &choices)
{
    switch (v) {
    case Value::File: return QStringLiteral("_files");
    case Value::Folder: return QStringLiteral("_files -/");
    case Value::Hardware: return QStringLiteral("($hw)");
    case Value::Choice: return QStringLiteral("(%1)").arg(choices.join(QLatin1Char(' ')));
    default: return QStringLiteral(" ");
    }
}

QString ZshSpecs(const std::vector<OptionSpec> &options)
{
    QStringList specs;
    for (const OptionSpec &o : options) {
        const QStringList sp = Spellings(o);
        const QString names = sp.size() > 1 ? QStringLiteral("(%1)'{%2}'").arg(sp.join(QLatin1Char(' ')), sp.join(QLatin1Char(','))) : sp.first();
        QString spec = names + QLatin1Char('[') + ZshText(o.help) + QLatin1Char(']');
        if (o.value != Value::None)
            spec += QLatin1Char(':') + ZshText(o.valueName) + QLatin1Char(':') + ZshAction(o.value, o.choices);
        specs << QLatin1Char('\'') + spec + QLatin1Char('\'');
    }
    return specs.join(QLatin1Char(' '));
}

QString Zsh()
{
    QString s;
    QTextStream t(&s);
    t << "#compdef meridan-cli\n"
      << "# zsh completion for meridan-cli, made by 'meridan-cli completion zsh'\n"
      << "_meridan_cli() {\n"
      << "    local -a commands hw globals\n"
      << "    hw=(" << HardwareNames().join(QLatin1Char(' ')) << ")\n"
      << "    globals=(" << ZshSpecs(GlobalOptions()) << ")\n"
      << "    commands=(\n";
    for (const Command &c : Commands())
        t << "        '" << c.name << ':' << ZshText(c.summary) << "'\n";
    t << "    )\n"
      << "    local curcontext=\"$curcontext\" state line\n"
      << "    _arguments -C $globals '1:command:->command' '*::argument:->argument'\n"
      << "    case $state in\n"
      << "    command) _describe -t commands command commands ;;\n"
      << "    argument)\n"
      << "        case $line[1] in\n";
    for (const Command &c : Commands()) {
        QString rest;
        if (c.argValue != Value::None && c.maxArgs != 0)
            rest = QStringLiteral(" '*:") + ZshText(c.args) + QLatin1Char(':') + ZshAction(c.argValue, c.argChoices) + QLatin1Char('\'');
        t << "        " << c.name << ") _arguments $globals " << ZshSpecs(CommandOptions(c)) << rest << " ;;\n";
    }
    t << "        esac ;;\n"
      << "    esac\n"
      << "}\n"
      << "_meridan_cli \"$@\"\n";
    return s;
}

} // namespace

int CmdCompletion(Invocation &inv)
{
    inv.out << (inv.args[0].toLower() == QLatin1String("zsh") ? Zsh() : Bash());
    inv.out.flush();
    return kOk;
}

} // namespace meridan::cli
