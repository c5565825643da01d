// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/savefile.h"
#include "core/settings.h"
#include "support/fixture.h"

#include <csignal>
#include <sys/resource.h>

using namespace meridan;
using namespace meridan::test;

TEST(Settings, chooseEnglish_writesTwoCrLfLinesAndNextStartIsEnglish_theActiveLanguageWritesNothing)
{
    Fixture f;
    f.st.language = kGerman;
    EXPECT_FALSE(ChooseLanguage(f.ctx, kGerman));
    EXPECT_FALSE(QFile::exists(f.root.settingsFile()));
    EXPECT_TRUE(ChooseLanguage(f.ctx, kEnglish));
    EXPECT_EQ(ReadFile(f.root.settingsFile()), QByteArray("[LANGUAGE]\r\n 1\r\n"));

    Fixture next;
    QFile::copy(f.root.settingsFile(), next.root.settingsFile());
    next.st.language = kGerman;
    ReadSettings(next.ctx);
    EXPECT_EQ(next.st.language, kEnglish);

    EXPECT_TRUE(ChooseLanguage(f.ctx, kGerman));
    EXPECT_EQ(ReadFile(f.root.settingsFile()), QByteArray("[LANGUAGE]\r\n 49\r\n"));
}

TEST(Settings, unwritableFile_changesLanguageForThisRunOnly)
{
    Fixture f;
    f.st.language = kGerman;
    QDir().mkpath(f.root.settingsFile()); // a folder where the file should be
    EXPECT_TRUE(ChooseLanguage(f.ctx, kEnglish));
    EXPECT_EQ(f.st.language, kEnglish);
    EXPECT_TRUE(QFileInfo(f.root.settingsFile()).isDir());
}

TEST(Settings, parseLanguage_readsTheNumberAfterTheHeaderLikeAPerson)
{
    struct Case {
        const char *text;
        bool found;
        int flag;
    };
    const Case cases[] = {
        {"[LANGUAGE]\r\n 49\r\n", true, 49},
        {"[LANGUAGE]\r\n 2\r\n", true, 2},           // only 49 is German
        {"junk\n# [LANGUAGE] here\n   1\n", true, 1},  // header anywhere in the line, blanks skipped
        {"[LANGUAGE]\n49abc\n", true, 49},            // reading stops at the first non-digit
        {"[LANGUAGE]\nabc\n", true, 0},               // no number reads as 0: English
        {"[LANGUAGE]\n48.5\n", true, 48},             // a half goes to the even neighbour
        {"[LANGUAGE]\n-3\n", true, -3},
        {"[language]\n49\n", false, 0},               // the header is case-sensitive
        {"[LANGUAGE]", false, 0},                     // the value line is missing
        {"[LANGUAGE]\n99999\n", false, 0},            // does not fit the flag
        {"", false, 0},
    };
    for (const Case &c : cases) {
        int16_t flag = 7;
        EXPECT_EQ(ParseLanguage(c.text, flag), c.found) << c.text;
        EXPECT_EQ(flag, c.found ? c.flag : 7) << c.text;
    }
}

TEST(Settings, fastDownload_isKeptBesideTheLanguageAndReadBack)
{
    Fixture f;
    f.st.language = kEnglish;
    ChooseFastDownload(f.ctx, true);
    EXPECT_EQ(ReadFile(f.root.settingsFile()), QByteArray("[LANGUAGE]\r\n 1\r\n[FASTDOWNLOAD]\r\n 1\r\n"));
    Fixture next;
    QFile::copy(f.root.settingsFile(), next.root.settingsFile());
    ReadSettings(next.ctx);
    EXPECT_TRUE(next.st.fastDownload);
    EXPECT_EQ(next.st.language, kEnglish);
    ChooseFastDownload(f.ctx, false);
    EXPECT_EQ(ReadFile(f.root.settingsFile()), QByteArray("[LANGUAGE]\r\n 1\r\n"));
}

TEST(Settings, varToolSection_isReadAndSurvivesALanguageChange)
{
    Fixture f;
    f.write(QStringLiteral("meridan.cfg"), "[LANGUAGE]\r\n 49\r\n[VARTOOL]\r\n/opt/mwt/pack --quiet\r\n");
    EXPECT_EQ(ReadVarTool(f.ctx), QStringLiteral("/opt/mwt/pack --quiet"));
    f.st.language = kGerman;
    EXPECT_TRUE(ChooseLanguage(f.ctx, kEnglish));
    EXPECT_EQ(ReadFile(f.root.settingsFile()), QByteArray("[LANGUAGE]\r\n 1\r\n[VARTOOL]\r\n/opt/mwt/pack --quiet\r\n"));
    ReadSettings(f.ctx);
    EXPECT_EQ(f.st.language, kEnglish);
    EXPECT_EQ(ParseVarTool("[LANGUAGE]\r\n 1\r\n"), QString()); // none by default
}

// A write that fails part-way (here a file-size limit, as a full disk would)
// reports the failure and leaves the old file whole, whatever writes through it.
TEST(WholeFile, aWriteCutShort_failsAndKeepsTheOldFile)
{
    Fixture f;
    const QString path = f.file("keep.bin");
    ASSERT_TRUE(WriteWholeFile(path, "old contents").isEmpty());
    struct rlimit was {};
    ::getrlimit(RLIMIT_FSIZE, &was);
    const auto oldSignal = ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = was;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const QString why = WriteWholeFile(path, QByteArray(8 * 1024, 'x'));
    ::setrlimit(RLIMIT_FSIZE, &was);
    ::signal(SIGXFSZ, oldSignal);
    EXPECT_FALSE(why.isEmpty());
    EXPECT_EQ(ReadFile(path), QByteArray("old contents"));
    EXPECT_EQ(QDir(f.tmp.path()).entryList({"keep.bin*"}, QDir::Files), QStringList{"keep.bin"});
}
