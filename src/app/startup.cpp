#include "app/startup.h"

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

QString StartupFilePath(const Context &ctx, const QString &folderArgument)
{
    if (folderArgument.isEmpty())
        return {};
    static const QString kFile = QStringLiteral("unpacked\\autoload.dp1");
    const QString joined = folderArgument + kFile;
    if (folderArgument.endsWith(QLatin1Char('\\')) || folderArgument.endsWith(QLatin1Char('/')))
        return joined;
    // Without a trailing separator the text is a prefix; only a folder that
    // exists, with no file at the joined name, is taken as a folder.
    if (QFileInfo::exists(ResolveNoCase(ctx.root.mapPath(joined))))
        return joined;
    if (QFileInfo(ResolveNoCase(ctx.root.mapPath(folderArgument))).isDir())
        return folderArgument + QLatin1Char('/') + kFile;
    return joined;
}

bool StartupConfig(Context &ctx, const QString &folderArgument)
{
    State &st = ctx.st;
    ClearImage(st.image);
    st.interfaceKind = 0;
    ResetListLines(st);
    st.projectFolder = folderArgument; // where the IEC export writes
    const bool found = AutoLoad(ctx, StartupFilePath(ctx, folderArgument));
    if (!found)
        ctx.status(NoAutoloadText());
    return found;
}

} // namespace meridan
