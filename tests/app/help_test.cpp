// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/help.h"
#include "support/fixture.h"

#include <QRegularExpression>

using namespace meridan;
using namespace meridan::test;

TEST(Help, pages_existInBothLanguagesAndEveryLinkLeadsToAPage)
{
    const QStringList pages = BuiltInHelpPages();
    QStringList de, en;
    for (const QString &p : pages)
        (p.startsWith(QLatin1String("de/")) ? de : en) << p.mid(3);
    EXPECT_TRUE(de.contains(QStringLiteral("index.html")));
    EXPECT_EQ(de, en);
    const QRegularExpression href(QStringLiteral("href=\"([^\"#:]+)\""));
    for (const QString &p : pages) {
        QFile f(QStringLiteral(":/help/") + p);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << qPrintable(p);
        const QString html = QString::fromUtf8(f.readAll());
        for (auto it = href.globalMatch(html); it.hasNext();) {
            const QString target = p.left(3) + it.next().captured(1);
            EXPECT_TRUE(pages.contains(target)) << qPrintable(p) << " links to " << qPrintable(target);
        }
    }
}

TEST(Help, install_copiesMissingPagesAndKeepsEditedOnes)
{
    Fixture f;
    const int all = int(BuiltInHelpPages().size());
    EXPECT_EQ(InstallHelp(f.root), all);
    const QString index = f.root.helpDir() + QStringLiteral("/en/index.html");
    ASSERT_TRUE(WriteFile(index, "local notes")); // the copy is writable for its owner
    QFile::remove(f.root.helpDir() + QStringLiteral("/de/master.html"));
    EXPECT_EQ(InstallHelp(f.root), 1);
    QFile kept(index);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("local notes"));
    f.st.language = kGerman;
    EXPECT_EQ(HelpIndexPath(f.ctx), f.root.helpDir() + QStringLiteral("/de/index.html"));
}
