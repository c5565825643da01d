// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/commands.h"
#include "config/configfile.h"
#include "report/printout.h"
#include "report/render.h"

#include <QFileInfo>
#include <QGuiApplication>

namespace meridan::cli {

std::unique_ptr<QCoreApplication> MakeApplication(int &argc, char **argv)
{
    // Drawing a PDF needs fonts, and fonts need a QGuiApplication. The tool
    // never opens a window, so it draws on the offscreen platform and runs
    // without a display (over ssh, in a build job).
    QByteArray command;
    bool pdf = false;
    for (int i = 1; i < argc; ++i) {
        const QByteArray a(argv[i]);
        if (command.isEmpty()) {
            if (a == "--root")
                ++i;
            else if (!a.startsWith("--"))
                command = a;
        } else if (a == "--pdf" || a.startsWith("--pdf=")) {
            pdf = true;
        }
    }
    if (command == "print" && pdf) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return std::make_unique<QGuiApplication>(argc, argv);
    }
    return std::make_unique<QCoreApplication>(argc, argv);
}

int CmdPrint(Env &env, const QStringList &args)
{
    const Command cmd{"print", "FILE.dp1 [--pdf OUT.pdf] [--lang de|en]", "", nullptr};
    QString file, pdf;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        QString value;
        const auto option = [&](const char *name) {
            const QString n = QString::fromLatin1(name);
            if (a == n && i + 1 < args.size()) {
                value = args[++i];
                return true;
            }
            if (a.startsWith(n + QLatin1Char('='))) {
                value = a.mid(n.size() + 1);
                return true;
            }
            return false;
        };
        if (option("--pdf")) {
            pdf = value;
        } else if (option("--lang")) {
            if (value != QLatin1String("de") && value != QLatin1String("en"))
                return UsageError(env, cmd, QStringLiteral("--lang takes de or en, not ") + value);
            env.ctx.st.language = value == QLatin1String("de") ? kGerman : kEnglish;
        } else if (a.startsWith(QLatin1String("--")) || !file.isEmpty()) {
            return UsageError(env, cmd, QStringLiteral("unexpected ") + a);
        } else {
            file = a;
        }
    }
    if (file.isEmpty())
        return UsageError(env, cmd, QStringLiteral("no configuration file"));
    if (args.contains(QLatin1String("--pdf")) && pdf.isEmpty())
        return UsageError(env, cmd, QStringLiteral("--pdf needs a file name"));

    const QFileInfo info(ResolveNoCase(env.ctx.root.mapPath(file)));
    if (!info.isFile() || !info.isReadable()) {
        env.err << "meridan-cli: cannot read " << file << Qt::endl;
        return kUsage;
    }
    if (LoadConfigFile(env.ctx, info.filePath()) < 0) {
        env.err << "meridan-cli: " << file << " is not a complete configuration" << Qt::endl;
        return kUsage;
    }
    env.ctx.st.configFileName = info.filePath();
    if (pdf.isEmpty()) {
        env.out << PrintoutText(BuildPrintout(env.ctx, QDateTime::currentDateTime()));
        return kOk;
    }
    const PrintOutcome out = WritePdf(BuildPrintout(env.ctx, QDateTime::currentDateTime()), pdf);
    if (out.kind != PrintOutcome::Kind::Done) {
        env.err << "meridan-cli: " << pdf << " not written: " << out.detail << Qt::endl;
        return kFailed;
    }
    return kOk;
}

} // namespace meridan::cli
