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
#include <optional>

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
            {QStringLiteral("ident"), e.header.ident},
            {QStringLiteral("skip"), e.skip}};
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
    e.skip = o.value(QStringLiteral("skip")).toString();
    return e;
}

std::optional<QByteArray> ReadHead(const QString &path, QString &why)
{
    QFile f(path);
    if (!OpenRegularFile(f, &why))
        return std::nullopt;
    QByteArray bytes = f.read(kMaxGsdFileSize);
    if (f.error() != QFileDevice::NoError) {
        why = f.errorString();
        return std::nullopt;
    }
    return bytes;
}

// Why a file that is no device file was left out, from what it holds.
QString NotGsdReason(qint64 size, const QByteArray &head)
{
    if (size == 0)
        return QStringLiteral("empty");
    if (head.contains('\0'))
        return QStringLiteral("binary, not a GSD file");
    return QStringLiteral("no GSD head (#Profibus_DP or Ident_Number)");
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

    // The index holds the folders catalogued last, each by its path, and
    // their order of use.
    QJsonObject folders;
    QStringList recent;
    {
        QFile f(indexFile);
        if (OpenRegularFile(f)) {
            const QJsonObject root = QJsonDocument::fromJson(f.readAll()).object();
            if (root.value(QStringLiteral("format")).toInt() == kIndexFormat) {
                folders = root.value(QStringLiteral("folders")).toObject();
                for (const QJsonValue &v : root.value(QStringLiteral("recent")).toArray())
                    recent << v.toString();
            }
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
    // FIFOs, devices and links to nothing are listed too, to be named.
    for (const QFileInfo &fi : folder.entryInfoList(QDir::Files | QDir::System)) {
        if (!IsGsdFileName(fi.fileName()))
            continue;
        if (!fi.exists()) {
            cat.skipped_.push_back({fi.fileName(), QStringLiteral("a link to nothing")});
            continue;
        }
        if (!fi.isFile()) {
            cat.skipped_.push_back({fi.fileName(), QStringLiteral("not a regular file")});
            continue;
        }
        const qint64 modified = fi.lastModified().toMSecsSinceEpoch();
        const auto it = known.find(fi.fileName());
        GsdCatalogueEntry e;
        if (it != known.end() && it->second.size == fi.size() && it->second.modified == modified) {
            e = std::move(it->second);
        } else {
            // A file that cannot be read now may be readable next time: it
            // is named, not remembered.
            QString why;
            const std::optional<QByteArray> head = ReadHead(fi.filePath(), why);
            if (!head) {
                cat.skipped_.push_back({fi.fileName(), QStringLiteral("cannot be read: ") + why});
                continue;
            }
            e.file = fi.fileName();
            e.size = fi.size();
            e.modified = modified;
            e.header = ReadGsdHeader(*head);
            if (!e.header.isGsd)
                e.skip = NotGsdReason(e.size, *head);
            ++cat.filesRead_;
            changed = true;
        }
        e.path = fi.filePath();
        all.push_back(std::move(e));
    }
    changed = changed || all.size() != std::size_t(recorded.size());

    // The order of use, this folder first; folders that are gone and the
    // least recently used beyond the bound leave the index.
    QStringList order{cat.dir_};
    for (const QString &path : recent + folders.keys())
        if (!order.contains(path) && folders.contains(path))
            order << path;
    QStringList keep;
    for (const QString &path : order)
        if (keep.size() < kIndexFolders && (path == cat.dir_ || QFileInfo(path).isDir()))
            keep << path;
    for (const QString &path : folders.keys()) {
        if (!keep.contains(path)) {
            folders.remove(path);
            changed = true;
        }
    }
    if (all.empty())
        keep.removeAll(cat.dir_);
    if (!recent.isEmpty() || !keep.isEmpty())
        changed = changed || recent != keep;

    std::sort(all.begin(), all.end(), [](const GsdCatalogueEntry &a, const GsdCatalogueEntry &b) { return NameLess(a.file, b.file); });
    if (changed) {
        QJsonArray list;
        for (const GsdCatalogueEntry &e : all)
            list.append(ToJson(e));
        if (all.empty())
            folders.remove(cat.dir_);
        else
            folders.insert(cat.dir_, list);
        const QJsonObject root{{QStringLiteral("format"), kIndexFormat},
                               {QStringLiteral("folders"), folders},
                               {QStringLiteral("recent"), QJsonArray::fromStringList(keep)}};
        QDir().mkpath(QFileInfo(indexFile).path());
        cat.indexError_ = WriteWholeFile(indexFile, QJsonDocument(root).toJson(QJsonDocument::Compact));
        if (!cat.indexError_.isEmpty())
            qCWarning(lcCatalogue) << "index not written:" << indexFile << cat.indexError_;
    }
    for (GsdCatalogueEntry &e : all) {
        if (e.header.isGsd)
            cat.entries_.push_back(std::move(e));
        else
            cat.skipped_.push_back({e.file, e.skip.isEmpty() ? NotGsdReason(e.size, QByteArray()) : e.skip});
    }
    std::sort(cat.skipped_.begin(), cat.skipped_.end(),
              [](const GsdSkipped &a, const GsdSkipped &b) { return NameLess(a.file, b.file); });
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
