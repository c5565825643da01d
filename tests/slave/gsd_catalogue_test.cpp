// SPDX-License-Identifier: GPL-3.0-or-later
#include "slave/gsd_catalogue.h"
#include "support/fixture.h"

#include <QDateTime>
#include <QDir>

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
