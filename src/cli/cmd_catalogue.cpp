// SPDX-License-Identifier: GPL-3.0-or-later
// meridan-cli catalogue [--json] [DIR]: the device files of a folder (default
// ROOT/GSD) with vendor, model, ident number and revision, as a table or JSON.
#include "cli/commands.h"
#include "core/texts.h"
#include "slave/gsd_catalogue.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace meridan::cli {

int CmdCatalogue(Env &env, const QStringList &argsIn)
{
    QStringList args = argsIn;
    const bool json = args.removeAll(QStringLiteral("--json")) > 0;
    if (args.size() > 1 || (!args.isEmpty() && args.first().startsWith(QLatin1String("--")))) {
        env.err << "usage: meridan-cli catalogue [--json] [DIR]" << Qt::endl;
        return kUsage;
    }
    const QString dir = args.isEmpty() ? env.ctx.root.gsdDir() : ResolveNoCase(env.ctx.root.mapPath(args.first()));
    if (!QFileInfo(dir).isDir()) {
        env.err << "meridan-cli: no folder " << (args.isEmpty() ? dir : args.first()) << Qt::endl;
        return kUsage;
    }
    const GsdCatalogue cat = GsdCatalogue::Load(dir, CatalogueIndexFile(env.ctx.root));
    if (!cat.indexError().isEmpty())
        env.err << "meridan-cli: the catalogue index was not written: " << cat.indexError() << Qt::endl;
    const auto ident = [](const GsdCatalogueEntry &e) { return e.header.ident < 0 ? QString() : HexUpper(unsigned(e.header.ident), 4); };

    if (json) {
        QJsonArray list;
        for (const GsdCatalogueEntry &e : cat.entries())
            list.append(QJsonObject{{QStringLiteral("file"), e.file},
                                    {QStringLiteral("ident"), ident(e)},
                                    {QStringLiteral("vendor"), e.header.vendor},
                                    {QStringLiteral("model"), e.header.model},
                                    {QStringLiteral("revision"), e.header.revision}});
        env.out << QJsonDocument(QJsonObject{{QStringLiteral("folder"), cat.dir()}, {QStringLiteral("files"), list}})
                       .toJson(QJsonDocument::Indented);
        return kOk;
    }
    // Columns as wide as their widest entry.
    const QStringList heads{QStringLiteral("IDENT"), QStringLiteral("VENDOR"), QStringLiteral("MODEL"),
                            QStringLiteral("REVISION"), QStringLiteral("FILE")};
    std::vector<QStringList> rows{heads};
    for (const GsdCatalogueEntry &e : cat.entries())
        rows.push_back({ident(e), e.header.vendor.simplified(), e.header.model.simplified(), e.header.revision.simplified(), e.file});
    std::vector<int> width(std::size_t(heads.size()), 0);
    for (const QStringList &r : rows)
        for (int c = 0; c < r.size(); ++c)
            width[std::size_t(c)] = std::max(width[std::size_t(c)], int(r[c].size()));
    for (const QStringList &r : rows) {
        QString line;
        for (int c = 0; c < r.size(); ++c)
            line += c + 1 < r.size() ? r[c].leftJustified(width[std::size_t(c)] + 2) : r[c];
        env.out << line << '\n';
    }
    return kOk;
}

} // namespace meridan::cli
