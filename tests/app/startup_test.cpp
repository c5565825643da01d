// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/startup.h"
#include "config/configfile.h"
#include "config/listline.h"
#include "demo_config.h"
#include "support/fixture.h"

#include <QDir>

using namespace meridan;
using namespace meridan::test;

namespace {

// Writes a configuration with a master and the slaves at `stations` to `path`.
void WriteConfig(const Root &root, const QString &path, std::initializer_list<int> stations)
{
    Fixture w;
    PutDemoMaster(w.st, 6);
    for (int s : stations)
        PutDemoSlave(w.st, s, uint16_t(0x1000 + s), "TEST", "station");
    QDir().mkpath(QFileInfo(path).absolutePath());
    ASSERT_TRUE(SaveConfigFile(w.ctx, path));
}

} // namespace

TEST(Startup, startupFilePath_acceptsWindowsAndPosixFolders)
{
    Fixture f;
    const QString existing = f.file(QStringLiteral("proj"));
    QDir().mkpath(existing);
    EXPECT_EQ(StartupFilePath(f.ctx, {}), QString());
    EXPECT_EQ(StartupFilePath(f.ctx, QStringLiteral("C:\\proj\\")), QStringLiteral("C:\\proj\\unpacked\\autoload.dp1"));
    EXPECT_EQ(StartupFilePath(f.ctx, existing + QLatin1Char('/')), existing + QStringLiteral("/unpacked\\autoload.dp1"));
    // A folder written without its separator still names the folder...
    EXPECT_EQ(StartupFilePath(f.ctx, existing), existing + QStringLiteral("/unpacked\\autoload.dp1"));
    // ...while any other text is a prefix, joined unchanged.
    EXPECT_EQ(StartupFilePath(f.ctx, QStringLiteral("C:\\proj")), QStringLiteral("C:\\projunpacked\\autoload.dp1"));
}

TEST(Startup, windowsStyleArgument_isFoundBelowTheRootWhateverTheCase)
{
    Fixture f;
    WriteConfig(f.root, f.root.path(QStringLiteral("proj/UNPACKED/AutoLoad.dp1")), {20});
    EXPECT_TRUE(StartupConfig(f.ctx, QStringLiteral("C:\\ZEL\\proj\\")));
    EXPECT_TRUE(f.st.image.hasSlave(20));
    EXPECT_EQ(f.st.projectFolder, QStringLiteral("C:\\ZEL\\proj\\")); // the IEC export's project
    EXPECT_EQ(f.st.melde1, QString()); // a start-up file found says nothing
}

TEST(Startup, noStartupFileOrAMissingConfigFile_saysWhichInTheLanguageAndLeavesAnEmptyImage)
{
    Fixture f;
    f.st.image.at(0, 0) = kMasterMarker;
    f.st.listLines[14] = QStringLiteral("stale");
    EXPECT_FALSE(StartupConfig(f.ctx, f.file(QStringLiteral("nowhere/"))));
    EXPECT_FALSE(f.st.image.hasMaster());
    EXPECT_EQ(f.st.listLines[14], QStringLiteral(" 15. "));
    EXPECT_EQ(f.st.melde1, QStringLiteral("No Autoload-File found"));
    // A configuration file named that is not there: neither is the default one read.
    WriteConfig(f.root, f.root.path(QStringLiteral("setup/AutoLoad.dp1")), {33});
    const QString missing = f.file(QStringLiteral("gone.dp1"));
    EXPECT_FALSE(StartupConfig(f.ctx, missing));
    EXPECT_FALSE(f.st.image.hasMaster());
    EXPECT_EQ(f.st.melde1, QStringLiteral("File not found: ") + missing);
    f.st.language = kGerman;
    EXPECT_FALSE(StartupConfig(f.ctx, missing));
    EXPECT_EQ(f.st.melde1, QStringLiteral("Datei nicht gefunden: ") + missing);
    EXPECT_TRUE(f.ui.shown.empty());
}

TEST(Startup, configFileArgument_isTheStartupFileWhileFoldersKeepTheirMeaning)
{
    Fixture f;
    const QString file = f.file(QStringLiteral("line2.dp1"));
    WriteConfig(f.root, file, {});
    EXPECT_EQ(StartupFilePath(f.ctx, file), file);
    // Named as the desktop passes it, or relative to the folder the program started in.
    const QString cwd = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(f.tmp.path()));
    EXPECT_EQ(StartupFilePath(f.ctx, QStringLiteral("line2.dp1")), file);
    EXPECT_EQ(StartupFilePath(f.ctx, QStringLiteral("new.DP1")), f.file(QStringLiteral("new.DP1")));
    QDir::setCurrent(cwd);
    // A folder whose name ends in .dp1 is still a project folder.
    const QString folder = f.file(QStringLiteral("plant.dp1"));
    QDir().mkpath(folder);
    EXPECT_EQ(StartupFilePath(f.ctx, folder), folder + QStringLiteral("/unpacked\\autoload.dp1"));
    EXPECT_EQ(StartupFilePath(f.ctx, QStringLiteral("C:\\proj.dp1\\")), QStringLiteral("C:\\proj.dp1\\unpacked\\autoload.dp1"));
}
