// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The GSD catalogue: vendor, model, ident number and revision of every device
// file in a folder, so that a file can be found by what it describes rather
// than by its name. Each file is read once; an index file keeps what was read
// and a file is read again only when its size or time changes.
#include <QByteArray>
#include <QString>
#include <QStringView>
#include <cstdint>
#include <vector>

namespace meridan {

struct Context;
class Root;

struct GsdParse;

// What a GSD file says about itself in its head lines.
struct GsdHeader {
    bool isGsd = false; // "#Profibus_DP" or Ident_Number seen
    QString vendor, model, revision;
    int ident = -1;     // -1: no readable Ident_Number
};
GsdHeader HeaderOf(const GsdParse &parse);
GsdHeader ReadGsdHeader(const QByteArray &bytes);

// Device files end in ".gs" and one more letter, the language: .gsd (any),
// .gse, .gsg, .gsf, .gsi, .gsp, .gss, ... in any case.
bool IsGsdFileName(QStringView name);

struct GsdCatalogueEntry {
    QString file; // name within the folder
    QString path;
    GsdHeader header;
    qint64 size = 0;
    qint64 modified = 0; // ms since the epoch
    QString skip;        // why a file that is no device file was left out
};

// A file with a device-file name that is not in the catalogue, and why.
struct GsdSkipped {
    QString file;   // name within the folder
    QString reason; // "empty", "cannot be read: Permission denied", ...
};

class GsdCatalogue {
public:
    // The catalogue of `dir`, brought up to date against `indexFile`: files
    // whose size and time are those recorded are not read again, new and
    // changed files are read, deleted ones dropped. The index is rewritten
    // only when something changed. It keeps the folders used last, at most
    // kIndexFolders of them; folders that are gone are dropped from it.
    static constexpr int kIndexFolders = 16;
    static GsdCatalogue Load(const QString &dir, const QString &indexFile);

    const QString &dir() const { return dir_; }
    // The device files, by name in any case; files that are no GSD file
    // are left out.
    const std::vector<GsdCatalogueEntry> &entries() const { return entries_; }
    // The files with a device-file name that were left out, by name, each
    // with the reason: unreadable, empty, binary, no GSD head, not a regular
    // file (a FIFO, a device), a link to nothing.
    const std::vector<GsdSkipped> &skipped() const { return skipped_; }
    std::vector<const GsdCatalogueEntry *> withIdent(int ident) const;
    // Entries whose vendor, model, ident (four hex digits) or file name
    // contain every word of `filter`, in any case.
    std::vector<const GsdCatalogueEntry *> matching(QStringView filter) const;
    int filesRead() const { return filesRead_; } // not taken from the index this time
    const QString &indexError() const { return indexError_; } // why the index was not written

private:
    QString dir_;
    std::vector<GsdCatalogueEntry> entries_;
    std::vector<GsdSkipped> skipped_;
    int filesRead_ = 0;
    QString indexError_;
};

// The index of every folder catalogued from this root folder.
QString CatalogueIndexFile(const Root &root);

// Orders device files for a language: ".gsd" first, then the language's own
// (".gsg" German, ".gse" English), then the others.
int GsdExtensionRank(QStringView name, int16_t language);

// A stored station's device file from its GSD code and ident number: the
// name code + ident (four hex digits) with any GSD extension in ROOT/GSD or
// the configuration file's folder, in any case; else a file of the catalogue
// of ROOT/GSD with that ident, one whose name starts with the code first.
// Empty when there is none.
QString FindDeviceFile(const Context &ctx, const QString &code, int ident);

} // namespace meridan
