// SPDX-License-Identifier: GPL-3.0-or-later
#include "slave/gsd_catalogue.h"
#include "support/fixture.h"

#include <QDateTime>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <sys/stat.h>
#include <unistd.h>

using namespace meridan;
using namespace meridan::test;

namespace {

QByteArray Device(const char *vendor, const char *model, int ident, const char *revision = "V1")
{
    return QStringLiteral("#Profibus_DP\r\nVendor_Name = \"%1\"\r\nModel_Name = \"%2\"\r\nRevision = \"%3\"\r\n"
                          "Ident_Number = 0x%4\r\nModule = \"M\" 0x10\r\nVendor_Name = \"not the head\"\r\n")
        .arg(QLatin1String(vendor), QLatin1String(model), QLatin1String(revision))
        .arg(ident, 4, 16, QLatin1Char('0'))
        .toLatin1();
}

struct Catalogue : Fixture {
    QString dir = file(QStringLiteral("devices"));
    QString index = CatalogueIndexFile(root);
    Catalogue() { QDir().mkpath(dir); }
    void put(const QString &name, const QByteArray &bytes) const { write(QStringLiteral("devices/") + name, bytes); }
    GsdCatalogue load() const { return GsdCatalogue::Load(dir, index); }
    static QStringList files(const GsdCatalogue &c)
    {
        QStringList out;
        for (const GsdCatalogueEntry &e : c.entries())
            out << e.file;
        return out;
    }
};

} // namespace

TEST(GsdCatalogue, folderWithMixedExtensionsAndCases_listsEveryDeviceFileOnce)
{
    Catalogue c;
    c.put(QStringLiteral("b_valve.GSE"), Device("Acme", "Valve", 0x80A0));
    c.put(QStringLiteral("a_drive.gsd"), Device("Motors Ltd", "Drive 5", 0x0959, "2.00"));
    c.put(QStringLiteral("C_IO.Gsg"), Device("Acme", "Block IO", 0x4711));
    c.put(QStringLiteral("d_io.gsi"), Device("Acme", "Block IO", 0x4711));
    c.put(QStringLiteral("readme.gsd"), "Put the device files here.\n");
    for (const char *other : {"notes.txt", "e.gs", "f.gsdx"})
        c.put(QLatin1String(other), Device("X", "Y", 1));
    const GsdCatalogue cat = c.load();
    EXPECT_EQ(Catalogue::files(cat), (QStringList{"a_drive.gsd", "b_valve.GSE", "C_IO.Gsg", "d_io.gsi"}));
    EXPECT_EQ(cat.filesRead(), 5); // the README too: read once, remembered as no device file
    const GsdHeader &drive = cat.entries()[0].header;
    EXPECT_EQ(drive.vendor, QStringLiteral("Motors Ltd"));
    EXPECT_EQ(drive.model, QStringLiteral("Drive 5"));
    EXPECT_EQ(drive.revision, QStringLiteral("2.00"));
    EXPECT_EQ(drive.ident, 0x0959);
    EXPECT_EQ(cat.entries()[1].header.vendor, QStringLiteral("Acme")); // the head, not a later line
    EXPECT_EQ(cat.withIdent(0x4711).size(), 2u);
    EXPECT_EQ(cat.matching(QStringLiteral("acme 80a")).size(), 1u); // every word, in any field
    EXPECT_EQ(cat.matching(QStringLiteral("drive.GSD")).size(), 1u);

    const GsdCatalogue again = c.load(); // from the index: nothing read
    EXPECT_EQ(again.filesRead(), 0);
    EXPECT_EQ(again.entries()[0].header.model, QStringLiteral("Drive 5"));
}

TEST(GsdCatalogue, changedFile_isReadAgain_deletedFile_isDropped_anUnwritableIndexLosesNothing)
{
    Catalogue c;
    c.put(QStringLiteral("a.gsd"), Device("Acme", "Valve", 0x80A0));
    c.put(QStringLiteral("b.gsd"), Device("Acme", "Pump", 0x80A1));
    c.load();
    // Same size, new time: a vendor name of the same length.
    c.put(QStringLiteral("a.gsd"), Device("Abcd", "Valve", 0x80A0));
    QFile a(c.dir + QStringLiteral("/a.gsd"));
    ASSERT_TRUE(a.open(QIODevice::ReadWrite));
    ASSERT_TRUE(a.setFileTime(QDateTime::currentDateTime().addSecs(60), QFileDevice::FileModificationTime));
    a.close();
    ASSERT_TRUE(QFile::remove(c.dir + QStringLiteral("/b.gsd")));
    const GsdCatalogue cat = c.load();
    EXPECT_EQ(cat.filesRead(), 1);
    EXPECT_EQ(Catalogue::files(cat), QStringList{QStringLiteral("a.gsd")});
    EXPECT_EQ(cat.entries()[0].header.vendor, QStringLiteral("Abcd"));
    EXPECT_EQ(Catalogue::files(c.load()), QStringList{QStringLiteral("a.gsd")});

    // Other folders keep their part of the index.
    c.write(QStringLiteral("GSD/x.gsd"), Device("Other", "X", 1));
    EXPECT_EQ(GsdCatalogue::Load(c.root.gsdDir(), c.index).filesRead(), 1);
    EXPECT_EQ(c.load().filesRead(), 0);
    EXPECT_EQ(GsdCatalogue::Load(c.root.gsdDir(), c.index).filesRead(), 0);

    // An index that cannot be written leaves the catalogue whole.
    c.write(QStringLiteral("blocker"), "a file where the index folder should be");
    const GsdCatalogue unindexed = GsdCatalogue::Load(c.dir, c.file(QStringLiteral("blocker/index.json")));
    EXPECT_FALSE(unindexed.indexError().isEmpty());
    EXPECT_EQ(Catalogue::files(unindexed), QStringList{QStringLiteral("a.gsd")});
}

TEST(GsdDeviceFile, codeAndIdentWithAnyExtension_thenTheCatalogueByIdent)
{
    Fixture f;
    const auto find = [&f](const char *code, int ident) { return QFileInfo(FindDeviceFile(f.ctx, QLatin1String(code), ident)).fileName(); };
    f.write(QStringLiteral("GSD/ABCD80A0.gse"), Device("Acme", "Valve", 0x80A0));
    EXPECT_EQ(find("abcd", 0x80A0), QStringLiteral("ABCD80A0.gse"));
    f.write(QStringLiteral("GSD/abcd80a0.GSG"), Device("Acme", "Ventil", 0x80A0));
    EXPECT_EQ(find("ABCD", 0x80A0), QStringLiteral("ABCD80A0.gse"));
    f.st.language = kGerman;
    EXPECT_EQ(find("ABCD", 0x80A0), QStringLiteral("abcd80a0.GSG"));
    f.write(QStringLiteral("GSD/Abcd80A0.gsd"), Device("Acme", "Valve", 0x80A0));
    EXPECT_EQ(find("ABCD", 0x80A0), QStringLiteral("Abcd80A0.gsd"));

    // A stub of 10 bytes in ROOT/GSD does not count; the chosen folder is searched next.
    QDir().mkpath(f.file(QStringLiteral("chosen")));
    f.st.configFileName = f.file(QStringLiteral("chosen/AutoLoad.dp1"));
    f.write(QStringLiteral("GSD/WXYZ0001.gsd"), "0123456789");
    f.write(QStringLiteral("chosen/wxyz0001.gsf"), Device("Acme", "Sensor", 1));
    EXPECT_EQ(find("WXYZ", 1), QStringLiteral("wxyz0001.gsf"));

    // Any name in ROOT/GSD, by ident; a name starting with the code first.
    f.write(QStringLiteral("GSD/sensor_v2.gsd"), Device("Acme", "Sensor", 0x0C5E));
    EXPECT_EQ(find("SENS", 0x0C5E), QStringLiteral("sensor_v2.gsd"));
    f.write(QStringLiteral("GSD/alpha.gsd"), Device("Acme", "Sensor", 0x0C5E));
    EXPECT_EQ(find("sens", 0x0C5E), QStringLiteral("sensor_v2.gsd"));
    EXPECT_EQ(find("zzzz", 0x0C5E), QStringLiteral("alpha.gsd"));
    EXPECT_EQ(find("SENS", 0x0C5F), QString());
    EXPECT_EQ(find("----", 0), QString()); // a record without a device
}

// Files with a device-file name that are not in the catalogue are named, each
// with the reason, so that a user looking for a device knows where it went.
TEST(GsdCatalogue, filesLeftOut_areNamedWithTheReason)
{
    Catalogue c;
    c.put(QStringLiteral("good.gsd"), Device("Acme", "Valve", 0x80A0));
    c.put(QStringLiteral("empty.gsd"), QByteArray());
    c.put(QStringLiteral("image.gsd"), QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
    c.put(QStringLiteral("readme.gsd"), "Put the device files here.\n");
    c.put(QStringLiteral("closed.gsd"), Device("Acme", "Pump", 0x80A1));
    QFile::setPermissions(c.dir + QStringLiteral("/closed.gsd"), QFileDevice::Permissions());
    ASSERT_EQ(::mkfifo(QFile::encodeName(c.dir + QStringLiteral("/pipe.gsd")).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(c.dir + QStringLiteral("/gone.gsd.orig"), c.dir + QStringLiteral("/gone.gsd")));
    QDir().mkpath(c.dir + QStringLiteral("/folder.gsd")); // not a file at all: not named
    const bool root = ::geteuid() == 0; // root reads a file without permissions

    for (int pass = 0; pass < 2; ++pass) { // read, then from the index
        const GsdCatalogue cat = c.load();
        QStringList skipped;
        for (const GsdSkipped &s : cat.skipped())
            skipped << s.file + QStringLiteral(": ") + s.reason;
        QStringList expected{"empty.gsd: empty", "gone.gsd: a link to nothing", "image.gsd: binary, not a GSD file",
                             "pipe.gsd: not a regular file", "readme.gsd: no GSD head (#Profibus_DP or Ident_Number)"};
        if (!root)
            expected.prepend("closed.gsd: cannot be read: Permission denied");
        EXPECT_EQ(skipped, expected) << pass;
        EXPECT_EQ(Catalogue::files(cat), root ? QStringList({"closed.gsd", "good.gsd"}) : QStringList{"good.gsd"}) << pass;
    }
}

// The index keeps the folders used last and forgets those that are gone.
TEST(GsdCatalogue, index_forgetsFoldersThatAreGone_andKeepsTheLastUsedOnly)
{
    Catalogue c;
    QStringList folders;
    for (int i = 0; i < GsdCatalogue::kIndexFolders + 3; ++i) {
        const QString name = QStringLiteral("lib%1").arg(i);
        QDir().mkpath(c.file(name));
        c.write(name + QStringLiteral("/a.gsd"), Device("Acme", "Valve", 0x100 + i));
        folders << QDir(c.file(name)).absolutePath();
        GsdCatalogue::Load(folders.back(), c.index);
    }
    const auto indexed = [&c] {
        QFile f(c.index);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return QJsonDocument::fromJson(f.readAll()).object().value(QStringLiteral("folders")).toObject().keys().join(' ');
    };
    // The three used first have made room for the later ones.
    QStringList last = folders.mid(3);
    last.sort();
    EXPECT_EQ(indexed(), last.join(' '));
    // Using one again keeps it; a folder that is gone leaves with the next load.
    EXPECT_EQ(GsdCatalogue::Load(folders[3], c.index).filesRead(), 0);
    QDir(folders[4]).removeRecursively();
    GsdCatalogue::Load(folders[5], c.index);
    last.removeAll(folders[4]);
    EXPECT_EQ(indexed(), last.join(' '));
    EXPECT_EQ(GsdCatalogue::Load(folders[3], c.index).filesRead(), 0);
}
