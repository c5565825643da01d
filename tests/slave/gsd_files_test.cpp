// SPDX-License-Identifier: GPL-3.0-or-later
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

namespace {

struct RealFile : Fixture {
    bool present = false;
    GsdOutcome res;
    explicit RealFile(const char *name)
    {
        const QString path = SharedGsdDir() + QLatin1Char('/') + QLatin1String(name);
        present = QFileInfo::exists(path);
        st.currentStation = 12;
        NewSlaveRecord(st);
        if (present)
            res = LoadGsdFile(ctx, path, QLatin1String(name));
    }
    std::vector<int> userPrm() const
    {
        std::vector<int> v;
        for (int i = 0; i < SlaveLayout::of(st.record).u; ++i)
            v.push_back(st.record[33 + i]);
        return v;
    }
};

} // namespace

// These files put the device's parameter lines after their last module.
TEST(GsdRealFiles, deviceParametersAfterTheModules_reachTheRecord)
{
    struct Case {
        const char *file;
        std::vector<int> prm;
        int deviceRefs;
    } cases[] = {
        {"SIEM8007.GSD", {0, 0, 0, 0, 0}, 0},
        {"SI1180fd.gse", {0x80, 0x00, 0x08}, 0},
        {"sew_movidrive_pb_slave.gsd", {0, 0, 0, 6, 0x81, 0, 0, 1, 1}, 1},
    };
    for (const Case &c : cases) {
        RealFile f(c.file);
        if (!f.present)
            GTEST_SKIP() << "no " << c.file;
        SCOPED_TRACE(c.file);
        EXPECT_TRUE(f.res.ok()) << f.res.status.toStdString();
        EXPECT_EQ(f.userPrm(), c.prm);
        EXPECT_EQ(f.st.gsd.prmRefCount(0), c.deviceRefs);
        EXPECT_EQ(f.st.gsd.prmConst(f.st.gsd.moduleCount, 0), 0); // nothing filed under the last module
    }
}

TEST(GsdRealFiles, unsigned32Limits_keepTheirValue)
{
    RealFile f("siemens_et200s_im151.gsd");
    if (!f.present)
        GTEST_SKIP();
    const GsdExtPrm *p = f.st.gsd.extPrm(99); // "Upper count limit": Unsigned32 2147483647 2-2147483647
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->defaultValue, 2147483647);
    EXPECT_EQ(p->min, 2);
    EXPECT_EQ(p->max, 2147483647);
}
