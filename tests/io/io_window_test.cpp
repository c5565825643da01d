// SPDX-License-Identifier: GPL-3.0-or-later
// The I/O test window through its widgets, on a scripted board: inputs light
// up, a click or Space forces an output bit, Return forces a word, and
// "Release all" and closing give the outputs back. The station list's context
// menu opens it.
#include "fake_link.h"
#include "io/io_window.h"
#include "io_support.h"
#include "window_support.h"

#include <QCheckBox>
#include <QLabel>
#include <QMenu>

using namespace meridan;
using namespace meridan::test;

namespace {

constexpr uint32_t kQX1 = 0x2803;
constexpr uint32_t kQW3 = 0x2804;

struct Bench : BoardBench<Commissioning> {
    std::unique_ptr<IoWindow> w;
    explicit Bench(int16_t language = kEnglish)
    {
        st.language = language;
        plug("tessel");
        board.ram[0x3FF6] = 3; // Operate
        board.run[50] = true;
        w = std::make_unique<IoWindow>(ctx, ops, StoreSlave(ctx, 50, kLoopCfg, 10, 3));
        w->show();
    }
    template <typename T>
    T *child(const char *name) const
    {
        T *c = w->findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    QCheckBox *bit(const char *name) const { return child<QCheckBox>(name); }
    bool read() const
    {
        return WaitFor([this] { return bit("IX2.0")->isEnabled(); });
    }
};

} // namespace

TEST(IoWindow, inputsLightUp_andAClickOrSpaceForcesAnOutputBit)
{
    Bench b;
    b.board.ram[0x200A] = 0x08;
    ASSERT_TRUE(b.read());
    ASSERT_TRUE(WaitFor([&] { return b.bit("IX2.3")->isChecked(); }));
    EXPECT_TRUE(b.bit("IX2.3")->property("lit").toBool());
    EXPECT_FALSE(b.bit("IX2.2")->property("lit").toBool());
    EXPECT_TRUE(b.child<QLabel>("IoStatus")->text().startsWith("Operate")) << b.child<QLabel>("IoStatus")->text().toStdString();
    EXPECT_EQ(b.w->windowTitle(), "I/O test  Station 50");

    QTest::mouseClick(b.bit("QX1.3"), Qt::LeftButton);
    EXPECT_EQ(b.board.ram[kQX1], 0x08);
    EXPECT_TRUE(b.bit("QX1.3")->isChecked());
    EXPECT_TRUE(b.bit("QX1.3")->property("forced").toBool());
    EXPECT_EQ(b.ui.shown.size(), 1u); // "outputs drive the machine", once

    b.bit("QX1.5")->setFocus();
    QTest::keyClick(b.bit("QX1.5"), Qt::Key_Space);
    EXPECT_EQ(b.board.ram[kQX1], 0x28);
    QTest::keyClick(b.bit("QX1.5"), Qt::Key_Space);
    EXPECT_EQ(b.board.ram[kQX1], 0x08);
    EXPECT_EQ(b.ui.shown.size(), 1u);

    // Inputs cannot be clicked: they are what the slave reports.
    QTest::mouseClick(b.bit("IX2.0"), Qt::LeftButton);
    EXPECT_FALSE(b.bit("IX2.0")->isChecked());
}

TEST(IoWindow, aWordTypedAndReturn_isForced_releaseAllAndClosingGiveTheOutputsBack)
{
    Bench b;
    b.board.ram[kQW3] = 0x12, b.board.ram[kQW3 + 1] = 0x34;
    ASSERT_TRUE(b.read());
    auto *word = b.child<QLineEdit>("QW3.0");
    EXPECT_EQ(word->text(), "0x1234 4660");
    EXPECT_FALSE(b.child<QPushButton>("ReleaseAll")->isEnabled());
    word->setFocus();
    word->selectAll();
    QTest::keyClicks(word, "500");
    QTest::keyClick(word, Qt::Key_Return);
    EXPECT_EQ(b.board.ram[kQW3], 0x01);
    EXPECT_EQ(b.board.ram[kQW3 + 1], 0xF4);
    EXPECT_TRUE(word->property("forced").toBool());

    QTest::mouseClick(b.child<QPushButton>("ReleaseAll"), Qt::LeftButton);
    EXPECT_EQ(b.board.ram[kQW3], 0x12);
    EXPECT_EQ(b.board.ram[kQW3 + 1], 0x34);
    EXPECT_FALSE(b.child<QPushButton>("ReleaseAll")->isEnabled());

    QTest::mouseClick(b.bit("QX1.0"), Qt::LeftButton);
    EXPECT_EQ(b.board.ram[kQX1], 0x01);
    QTest::mouseClick(b.child<QPushButton>("CloseIo"), Qt::LeftButton);
    EXPECT_FALSE(b.w->isVisible());
    EXPECT_EQ(b.board.ram[kQX1], 0x00);
}

TEST(IoWindow, outsideOperate_theOutputsCannotBeForced_andAFailedReadGreysTheValues)
{
    Bench b(kGerman);
    b.board.ram[0x3FF6] = 2; // Clear
    b.board.ram[0x200A] = 0x01;
    ASSERT_TRUE(b.read());
    EXPECT_EQ(b.w->windowTitle(), "E/A-Test  Station 50");
    EXPECT_EQ(b.bit("QX1.0")->focusPolicy(), Qt::NoFocus);
    QTest::mouseClick(b.bit("QX1.0"), Qt::LeftButton);
    EXPECT_TRUE(b.board.writes.empty());
    EXPECT_FALSE(b.bit("QX1.0")->isChecked());
    EXPECT_TRUE(b.child<QLabel>("IoMessage")->text().contains("nicht in Operate")) << b.child<QLabel>("IoMessage")->text().toStdString();

    b.board.timeout = true;
    ASSERT_TRUE(WaitFor([&] { return b.bit("IX2.0")->property("stale").toBool(); }));
    EXPECT_TRUE(b.bit("IX2.0")->isChecked()); // the last value, not a zero
    EXPECT_TRUE(b.child<QLabel>("IoStatus")->text().startsWith("veraltet"));
}

TEST(IoWindow, theStationListsContextMenu_opensTheIoTestOfAConfiguredStation)
{
    FakeBoard board;
    WindowBench<QtPump> f(board.opener());
    f.makeWindow();
    StoreSlave(f.ctx, 50, kLoopCfg, 10, 3);
    f.w->UpdateListe();
    f.w->show();
    f.conn.ConnectItem(*iface::ParseHwName(QStringLiteral("tessel")));
    f.list()->scrollToItem(f.list()->item(40));
    QTest::mouseClick(f.list()->viewport(), Qt::RightButton, {}, f.list()->visualItemRect(f.list()->item(40)).center());
    QMenu *menu = f.w->stationMenu();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(f.list()->currentRow(), 40);
    auto *io = menu->findChild<QAction *>(QStringLiteral("StationIoTest"));
    ASSERT_NE(io, nullptr);
    EXPECT_TRUE(io->isEnabled());
    io->trigger();
    menu->hide();
    ASSERT_NE(f.w->ioWindow(), nullptr);
    EXPECT_EQ(f.w->ioWindow()->station(), 50);
    EXPECT_TRUE(f.w->ioWindow()->isVisible());

    // A station without a record has nothing to test.
    QTest::mouseClick(f.list()->viewport(), Qt::RightButton, {}, f.list()->visualItemRect(f.list()->item(41)).center());
    EXPECT_FALSE(io->isEnabled());
    menu->hide();
}
