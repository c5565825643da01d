// SPDX-License-Identifier: GPL-3.0-or-later
#include "slave/gsd_catalogue.h"
#include "core/readfile.h"

#include "core/context.h"
#include "core/savefile.h"
#include "core/texts.h"
#include "slave/gsd.h"
#include "slave/gsd_file.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <algorithm>
#include <map>

Q_LOGGING_CATEGORY(lcCatalogue, "meridan.slave.catalogue", QtWarningMsg)

namespace meridan {

namespace {

constexpr int kIndexFormat = 1;

bool NameLess(const QString &a, const QString &b)
{
    const int c = a.compare(b, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a < b;
}

QJsonObject ToJson(const GsdCatalogueEntry &e)
{
    return {{QStringLiteral("file"), e.file},
            {QStringLiteral("size"), e.size},
            {QStringLiteral("modified"), e.modified},
            {QStringLiteral("gsd"), e.header.isGsd},
            {QStringLiteral("vendor"), e.header.vendor},
            {QStringLiteral("model"), e.header.model},
            {QStringLiteral("revision"), e.header.revision},
            {QStringLiteral("ident"), e.header.ident}};
}

GsdCatalogueEntry FromJson(const QJsonObject &o)
{
    GsdCatalogueEntry e;
    e.file = o.value(QStringLiteral("file")).toString();
    e.size = o.value(QStringLiteral("size")).toInteger(-1);
    e.modified = o.value(QStringLiteral("modified")).toInteger(-1);
    e.header.isGsd = o.value(QStringLiteral("gsd")).toBool();
    e.header.vendor = o.value(QStringLiteral("vendor")).toString();
    e.header.model = o.value(QStringLiteral("model")).toString();
    e.header.revision = o.value(QStringLiteral("revision")).toString();
    e.header.ident = o.value(QStringLiteral("ident")).toInt(-1);
    return e;
}

} // namespace

GsdHeader HeaderOf(const GsdParse &parse)
{
    GsdHeader h;
    h.isGsd = !(parse.error && parse.error->kind == GsdParseError::Kind::NotGsd);
    if (!h.isGsd)
        return h;
    // The first of each head key counts.
    bool vendor = false, model = false, revision = false;
    const GsdFile &f = parse.file;
    for (const GsdIdLine &l : f.idLines) {
        if (l.key == GsdIdLine::Key::VendorName && !vendor) {
            h.vendor = GsdQuotedText(f.text(l.value));
            vendor = true;
        } else if (l.key == GsdIdLine::Key::ModelName && !model) {
            h.model = GsdQuotedText(f.text(l.value));
            model = true;
        } else if (l.key == GsdIdLine::Key::Revision && !revision) {
            h.revision = GsdQuotedText(f.text(l.value));
            revision = true;
        }
    }
    h.ident = parse.file.ident;
    return h;
}

GsdHeader ReadGsdHeader(const QByteArray &bytes)
{
    return HeaderOf(ParseGsd(bytes));
}

bool IsGsdFileName(QStringView name)
{
    if (name.size() < 5)
        return false;
    const QStringView ext = name.right(4);
    return ext.left(3).compare(QLatin1String(".gs"), Qt::CaseInsensitive) == 0 && ext[3].isLetter() && ext[3].unicode() < 128;
}

GsdCatalogue GsdCatalogue::Load(const QString &dir, const QString &indexFile)
{
    GsdCatalogue cat;
    const QDir folder(dir);
    cat.dir_ = folder.absolutePath();

    // The index holds every folder catalogued so far, each by its path.
    QJsonObject folders;
    {
        QFile f(indexFile);
        if (OpenRegularFile(f)) {
            const QJsonObject root = QJsonDocument::fromJson(f.readAll()).object();
            if (root.value(QStringLiteral("format")).toInt() == kIndexFormat)
                folders = root.value(QStringLiteral("folders")).toObject();
        }
    }
    std::map<QString, GsdCatalogueEntry> known;
    const QJsonArray recorded = folders.value(cat.dir_).toArray();
    for (const QJsonValue &v : recorded) {
        GsdCatalogueEntry e = FromJson(v.toObject());
        known.emplace(e.file, std::move(e));
    }

    std::vector<GsdCatalogueEntry> all;
    bool changed = false;
    for (const QFileInfo &fi : folder.entryInfoList(QDir::Files | QDir::Readable)) {
        if (!IsGsdFileName(fi.fileName()))
            continue;
        const qint64 modified = fi.lastModified().toMSecsSinceEpoch();
        const auto it = known.find(fi.fileName());
        GsdCatalogueEntry e;
        if (it != known.end() && it->second.size == fi.size() && it->second.modified == modified) {
            e = std::move(it->second);
        } else {
            e.file = fi.fileName();
            e.size = fi.size();
            e.modified = modified;
            e.header = ReadGsdHeader(ReadGsdBytes(fi.filePath()).value_or(QByteArray()));
            ++cat.filesRead_;
            changed = true;
        }
        e.path = fi.filePath();
        all.push_back(std::move(e));
    }
    changed = changed || all.size() != std::size_t(recorded.size());

    std::sort(all.begin(), all.end(), [](const GsdCatalogueEntry &a, const GsdCatalogueEntry &b) { return NameLess(a.file, b.file); });
    if (changed) {
        QJsonArray list;
        for (const GsdCatalogueEntry &e : all)
            list.append(ToJson(e));
        if (all.empty())
            folders.remove(cat.dir_);
        else
            folders.insert(cat.dir_, list);
        const QJsonObject root{{QStringLiteral("format"), kIndexFormat}, {QStringLiteral("folders"), folders}};
        QDir().mkpath(QFileInfo(indexFile).path());
        cat.indexError_ = WriteWholeFile(indexFile, QJsonDocument(root).toJson(QJsonDocument::Compact));
        if (!cat.indexError_.isEmpty())
            qCWarning(lcCatalogue) << "index not written:" << indexFile << cat.indexError_;
    }
    for (GsdCatalogueEntry &e : all) {
        if (e.header.isGsd)
            cat.entries_.push_back(std::move(e));
    }
    return cat;
}

std::vector<const GsdCatalogueEntry *> GsdCatalogue::withIdent(int ident) const
{
    std::vector<const GsdCatalogueEntry *> out;
    for (const GsdCatalogueEntry &e : entries_) {
        if (e.header.ident == ident)
            out.push_back(&e);
    }
    return out;
}

std::vector<const GsdCatalogueEntry *> GsdCatalogue::matching(QStringView filter) const
{
    const QList<QStringView> words = filter.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    std::vector<const GsdCatalogueEntry *> out;
    for (const GsdCatalogueEntry &e : entries_) {
        const QString ident = e.header.ident < 0 ? QString() : HexUpper(unsigned(e.header.ident), 4);
        const bool all = std::all_of(words.begin(), words.end(), [&](QStringView w) {
            return e.header.vendor.contains(w, Qt::CaseInsensitive) || e.header.model.contains(w, Qt::CaseInsensitive)
                || ident.contains(w, Qt::CaseInsensitive) || e.file.contains(w, Qt::CaseInsensitive);
        });
        if (all)
            out.push_back(&e);
    }
    return out;
}

QString CatalogueIndexFile(const Root &root)
{
    return root.setupDir() + QStringLiteral("/gsd-catalogue.json");
}

int GsdExtensionRank(QStringView name, int16_t language)
{
    const QChar kind = name.isEmpty() ? QChar() : name.back().toLower();
    if (kind == QLatin1Char('d'))
        return 0;
    return kind == (IsGerman(language) ? QLatin1Char('g') : QLatin1Char('e')) ? 1 : 2;
}

QString FindDeviceFile(const Context &ctx, const QString &code, int ident)
{
    if (ident <= 0 || code.isEmpty())
        return {};
    const int16_t language = ctx.st.language;
    const auto better = [language](const QString &a, const QString &b) {
        const int ra = GsdExtensionRank(a, language), rb = GsdExtensionRank(b, language);
        return ra != rb ? ra < rb : NameLess(a, b);
    };

    // The name the station's code and ident give, with any extension.
    const QString base = code + HexUpper(unsigned(ident), 4);
    const QStringList folders = GsdSearchFolders(ctx);
    for (int i = 0; i < folders.size(); ++i) {
        QString best;
        for (const QFileInfo &fi : QDir(folders[i]).entryInfoList(QDir::Files | QDir::Readable)) {
            const QString name = fi.fileName();
            if (!IsGsdFileName(name) || name.size() != base.size() + 4 || !name.startsWith(base, Qt::CaseInsensitive))
                continue;
            if (i == 0 && fi.size() <= kMinGsdSize)
                continue;
            if (best.isEmpty() || better(name, QFileInfo(best).fileName()))
                best = fi.filePath();
        }
        if (!best.isEmpty())
            return best;
    }

    // Any file of the catalogue that describes this device.
    const GsdCatalogue cat = GsdCatalogue::Load(ctx.root.gsdDir(), CatalogueIndexFile(ctx.root));
    const GsdCatalogueEntry *best = nullptr;
    for (const GsdCatalogueEntry *e : cat.withIdent(ident)) {
        const bool coded = e->file.startsWith(code, Qt::CaseInsensitive);
        const bool bestCoded = best && best->file.startsWith(code, Qt::CaseInsensitive);
        if (!best || (coded && !bestCoded) || (coded == bestCoded && better(e->file, best->file)))
            best = e;
    }
    return best ? best->path : QString();
}

} // namespace meridan
