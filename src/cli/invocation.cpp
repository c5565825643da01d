// SPDX-License-Identifier: GPL-3.0-or-later
// What every command does around its one operation: say what went wrong,
// print the outcome, read the configuration and the project folder.
#include "cli/commands.h"
#include "config/configfile.h"
#include "core/texts.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

namespace meridan::cli {

int ExitCode(const Outcome &outcome)
{
    switch (outcome.failure) {
    case Failure::None: return kOk;
    case Failure::NeedsConfirmation: return kNeedsYes;
    case Failure::BadInput: return kUsage;
    default: return kFailed;
    }
}

int Invocation::usage(const QString &why) const
{
    err << "meridan-cli " << cmd.name << ": " << why << "\nusage: meridan-cli " << cmd.name << (cmd.board ? " --hw HW" : "")
        << (cmd.args.isEmpty() ? QString() : QStringLiteral(" ") + cmd.args) << " (meridan-cli " << cmd.name << " --help)" << Qt::endl;
    return kUsage;
}

void Invocation::error(const QString &text) const
{
    console.error(text);
}

void Invocation::note(const QString &text) const
{
    if (!console.quiet) {
        err << "meridan-cli " << cmd.name << ": note: " << text << '\n';
        err.flush();
    }
}

void Invocation::printJson(const QJsonObject &o) const
{
    out << QJsonDocument(o).toJson(QJsonDocument::Indented);
    out.flush();
}

int Invocation::finish(const Outcome &outcome, QJsonObject facts) const
{
    if (json) {
        QJsonObject o{{QStringLiteral("outcome"), FailureWord(outcome.failure)}};
        if (!outcome.done())
            o[QStringLiteral("error")] = outcome.why;
        if (outcome.failure == Failure::BoardError && outcome.boardCode != 0)
            o[QStringLiteral("board_code")] = outcome.boardCode;
        if (!outcome.written.isEmpty())
            o[QStringLiteral("written")] = QJsonArray::fromStringList(outcome.written);
        for (auto it = facts.begin(); it != facts.end(); ++it)
            o[it.key()] = it.value();
        printJson(o);
    }
    if (!outcome.done()) {
        console.error(outcome.why.isEmpty() ? FailureWord(outcome.failure) : outcome.why);
        if (outcome.failure == Failure::NeedsConfirmation)
            console.error(QStringLiteral("give --yes to go ahead"));
    }
    return ExitCode(outcome);
}

std::optional<Outcome> LoadConfiguration(Invocation &inv, const QString &arg)
{
    const QString path = ResolveNoCase(inv.ctx.root.mapPath(arg));
    const QFileInfo info(path);
    if (!info.isFile() || !info.isReadable())
        return Outcome::Fail(Failure::BadInput, QStringLiteral("cannot read ") + arg);
    if (LoadConfigFile(inv.ctx, info.filePath()) < 0)
        return Outcome::Fail(Failure::BadInput, arg + QStringLiteral(" holds no usable configuration"));
    inv.ctx.st.configFileName = info.filePath();
    return std::nullopt;
}

std::optional<Outcome> TakeProject(Invocation &inv)
{
    const auto dir = inv.value(QStringLiteral("project"));
    if (!dir)
        return std::nullopt;
    const QString path = inv.ctx.root.mapPath(*dir);
    if (dir->isEmpty() || !QFileInfo(path).isDir())
        return Outcome::Fail(Failure::BadInput, QStringLiteral("--project %1 is not an existing folder").arg(*dir));
    inv.ctx.st.projectFolder = *dir;
    return std::nullopt;
}

} // namespace meridan::cli
