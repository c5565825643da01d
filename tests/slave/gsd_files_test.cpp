// The real device files of the shared folder: each one loads, and its ident
// number and module count are those the file states.
#include "core/context.h"
#include "slave/gsd.h"
#include "slave/record.h"
#include "support/fixture.h"

#include <QDir>
#include <QRegularExpression>

using namespace meridan;
using namespace meridan::test;

namespace {

QStringList GsdFiles()
{
    return QDir(SharedGsdDir()).entryList({QStringLiteral("*.gs?")}, QDir::Files, QDir::Name | QDir::IgnoreCase);
}

// What the file says, found independently of the reader: the Ident_Number
// line and the number of Module lines (comments excluded).
struct Stated {
    int ident = -1;
    int modules = 0;
};

Stated ReadStated(const QString &path)
{
    QFile f(path);
    Stated s;
    if (!f.open(QIODevice::ReadOnly))
        return s;
    static const QRegularExpression identRe(QStringLiteral("^\\s*Ident_Number\\s*=\\s*(0x[0-9a-f]+|\\d+)"),
                                            QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression moduleRe(QStringLiteral("^\\s*Module\\s*="), QRegularExpression::CaseInsensitiveOption);
    for (const QByteArray &raw : f.readAll().split('\n')) {
        const QString line = QString::fromLatin1(raw);
        const auto m = identRe.match(line);
        if (m.hasMatch() && s.ident < 0)
            s.ident = int(m.captured(1).toUInt(nullptr, 0));
        if (moduleRe.match(line).hasMatch())
            ++s.modules;
    }
    return s;
}

} // namespace

TEST(GsdRealFiles, everyFile_loadsWithItsIdentAndModuleCount)
{
    const QStringList files = GsdFiles();
    if (files.isEmpty())
        GTEST_SKIP() << "no GSD files in " << SharedGsdDir().toStdString();
    for (const QString &name : files) {
        SCOPED_TRACE(name.toStdString());
        Fixture f;
        f.st.currentStation = 12;
        NewSlaveRecord(f.st);
        const QString path = SharedGsdDir() + QLatin1Char('/') + name;
        const GsdOutcome res = LoadGsdFile(f.ctx, path, name);
        EXPECT_TRUE(res.ok()) << res.status.toStdString();
        const Stated stated = ReadStated(path);
        EXPECT_EQ((f.st.record[30] << 8) | f.st.record[31], stated.ident);
        EXPECT_EQ(f.st.gsd.moduleCount, stated.modules);
        EXPECT_FALSE(f.st.gsd.vendor.isEmpty());
        EXPECT_LE(8 + ReadWord(f.st.record, 8), 511);
        // A compact device carries its module's identifier bytes.
        if (f.st.gsd.modular == 0 && stated.modules == 1) {
            EXPECT_GT(SlaveLayout::of(f.st.record).c, 0);
        }
    }
}
