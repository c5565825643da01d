// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/help.h"

#include "core/context.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcHelp, "meridan.app.help", QtWarningMsg)

static void InitHelpResources()
{
    Q_INIT_RESOURCE(help);
}

namespace meridan {

namespace {
const QString kResourceDir = QStringLiteral(":/help");
}

QStringList BuiltInHelpPages()
{
    InitHelpResources();
    QStringList pages;
    QDirIterator it(kResourceDir, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        pages << it.next().mid(kResourceDir.size() + 1);
    pages.sort();
    return pages;
}

int InstallHelp(const Root &root)
{
    int copied = 0;
    for (const QString &page : BuiltInHelpPages()) {
        const QString target = root.helpDir() + QLatin1Char('/') + page;
        if (QFileInfo::exists(target))
            continue;
        QDir().mkpath(QFileInfo(target).absolutePath());
        if (QFile::copy(kResourceDir + QLatin1Char('/') + page, target)) {
            // Resource files come out read-only; the user may edit the copy.
            QFile::setPermissions(target, QFile::permissions(target) | QFileDevice::WriteOwner);
            ++copied;
        } else {
            qCWarning(lcHelp) << "help page not installed:" << target;
        }
    }
    return copied;
}

QString HelpIndexPath(const Context &ctx)
{
    return ctx.root.helpDir() + ctx.tr(QStringLiteral("/en/index.html"), QStringLiteral("/de/index.html"));
}

} // namespace meridan
