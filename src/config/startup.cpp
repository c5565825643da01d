// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/startup.h"

#include "core/context.h"
#include "config/configfile.h"
#include "config/listline.h"
#include "config/image.h"

#include <QFileInfo>

namespace meridan {

QString NoAutoloadText()
{
    return QStringLiteral("No Autoload-File found");
}

namespace {

bool EndsWithSeparator(const QString &text)
{
    return text.endsWith(QLatin1Char('\\')) || text.endsWith(QLatin1Char('/'));
}

} // namespace

bool NamesConfigFile(const Context &ctx, const QString &argument)
{
    if (argument.isEmpty() || EndsWithSeparator(argument))
        return false;
    const QFileInfo named(ResolveNoCase(ctx.root.mapPath(argument)));
    if (named.isDir())
        return false;
    return named.isFile() || argument.endsWith(QLatin1String(".dp1"), Qt::CaseInsensitive);
}

QString StartupFilePath(const Context &ctx, const QString &argument)
{
    if (argument.isEmpty())
        return {};
    // A desktop opening a configuration passes the file itself; a relative
    // name stays tied to the folder the program was started in.
    if (NamesConfigFile(ctx, argument))
        return QFileInfo(ctx.root.mapPath(argument)).absoluteFilePath();
    static const QString kFile = QStringLiteral("unpacked\\autoload.dp1");
    const QString joined = argument + kFile;
    if (EndsWithSeparator(argument))
        return joined;
    // Without a trailing separator the text is a prefix; only a folder that
    // exists, with no file at the joined name, is taken as a folder.
    if (QFileInfo::exists(ResolveNoCase(ctx.root.mapPath(joined))))
        return joined;
    if (QFileInfo(ResolveNoCase(ctx.root.mapPath(argument))).isDir())
        return argument + QLatin1Char('/') + kFile;
    return joined;
}

bool StartupConfig(Context &ctx, const QString &argument)
{
    State &st = ctx.st;
    ClearImage(st.image);
    ResetListLines(st);
    // A project folder is also where the IEC export writes; a configuration
    // file named instead leaves the root folder for that.
    st.projectFolder = NamesConfigFile(ctx, argument) ? QString() : argument;
    const QString path = StartupFilePath(ctx, argument);
    const bool found = AutoLoad(ctx, path);
    if (found)
        return true;
    if (NamesConfigFile(ctx, argument))
        ctx.status(ctx.tr(QStringLiteral("File not found: "), QStringLiteral("Datei nicht gefunden: ")) + path);
    else
        ctx.status(NoAutoloadText());
    return false;
}

} // namespace meridan
