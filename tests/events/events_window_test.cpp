// SPDX-License-Identifier: GPL-3.0-or-later
// The event log window opened from the main window: it shows what the log
// saw with the counts per station, filters, follows the newest unless
// scrolled up, and speaks both languages.
#include "events/events_window.h"
#include "fake_link.h"
#include "window_support.h"

#include <QComboBox>
#include <QLabel>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTableView>
#include <QTableWidget>

using namespace meridan;
using namespace meridan::test;

namespace {

struct Board {
    FakeBoard board;
};

struct LogWindow : Board, WindowBench<VirtualPump> {
    LogWindow() : WindowBench(board.opener())
    {
        makeWindow();
        w->Form_Load();
        board.ram[0x3FF6] = 3;
        board.onJob = [this](const std::vector<uint8_t> &j) {
            if (j[0] == 0x21) // every station answers "not there"
                board.replies.push_back({0xE1, 0, 0, j[3], 0, 0, 0, 6, 0x01, 0, 0, 0xFF, 0, 0});
        };
        conn.ConnectItem(*iface::ParseHwName(QStringLiteral("tessel")));
        panel.timerEnabled = false; // ticked by hand
        panel.load = true;
    }
    void ticks(int n)
    {
        for (int i = 0; i < n; ++i) {
            pump.sleepMs(100);
            comm.Timer1_Timer();
        }
    }
    EventsWindow *log() const { return w->eventsWindow(); }
    QTableView *table() const { return log()->findChild<QTableView *>(QStringLiteral("EventTable")); }
    QString cell(int row, int column) const { return table()->model()->index(row, column).data().toString(); }
    // The counts table: station -> "drop-outs/diagnosis changes".
    std::map<int, QString> counts() const
    {
        auto *table = log()->findChild<QTableWidget *>(QStringLiteral("StationCounts"));
        std::map<int, QString> out;
        for (int r = 0; r < table->rowCount(); ++r)
            out[table->item(r, 0)->text().toInt()] = table->item(r, 1)->text() + '/' + table->item(r, 2)->text();
        return out;
    }
};

} // namespace

TEST(EventsWindow, showsEachDropOutWithItsTimeAndTheCounts_filtersAndFollows)
{
    LogWindow f;
    f.board.run[12] = f.board.run[20] = true;
    f.ticks(16); // events before the window opens are kept
    f.trigger("EventLog");
    ASSERT_NE(f.log(), nullptr);
    f.log()->resize(900, 200);
    f.log()->show();
    for (int i = 0; i < 3; ++i) {
        f.board.run[12] = false;
        f.board.diag[12] = true;
        f.ticks(3);
        f.board.run[12] = true;
        f.board.diag[12] = false;
        f.ticks(3);
    }
    // Each drop-out with its diagnosis coming and going.
    EXPECT_EQ(f.counts(), (std::map<int, QString>{{12, "3/6"}, {20, "0/0"}}));

    auto *station = f.log()->findChild<QComboBox *>(QStringLiteral("StationFilter"));
    auto *kind = f.log()->findChild<QComboBox *>(QStringLiteral("KindFilter"));
    station->setCurrentIndex(station->findData(12));
    kind->setCurrentIndex(kind->findText(QStringLiteral("data exchange")));
    const QAbstractItemModel *m = f.table()->model();
    ASSERT_EQ(m->rowCount(), 7); // in, then out and back three times
    EXPECT_EQ(f.cell(1, 3), "dropped out of data exchange (drop-out 1)");
    EXPECT_TRUE(QRegularExpression("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}$").match(f.cell(1, 0)).hasMatch()) << f.cell(1, 0).toStdString();
    EXPECT_EQ(f.cell(6, 3), "back in data exchange after 0.300 s");

    // Scrolled up, the list stays where the user put it; at the bottom it follows.
    station->setCurrentIndex(0);
    kind->setCurrentIndex(0);
    QScrollBar *bar = f.table()->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    bar->setValue(0);
    f.board.run[20] = false;
    f.ticks(3);
    EXPECT_EQ(bar->value(), 0);
    bar->setValue(bar->maximum());
    f.board.run[20] = true;
    f.ticks(3);
    EXPECT_EQ(bar->value(), bar->maximum());

    // German, at once.
    f.w->sp_deutsch_Click();
    EXPECT_EQ(f.log()->windowTitle(), QString::fromUtf8("Bus-Ereignisprotokoll"));
    EXPECT_EQ(m->headerData(0, Qt::Horizontal).toString(), "Zeit");
    EXPECT_EQ(f.cell(m->rowCount() - 1, 3), "wieder im Datenaustausch nach 0.300 s");
}

TEST(EventsWindow, exportCsv_writesWhatTheFilterShows)
{
    LogWindow f;
    f.board.run[12] = true;
    f.ticks(16);
    f.trigger("EventLog");
    auto *kind = f.log()->findChild<QComboBox *>(QStringLiteral("KindFilter"));
    kind->setCurrentIndex(kind->findText(QStringLiteral("data exchange")));
    const QString path = f.tmp.filePath(QStringLiteral("events.csv"));
    f.ui.files.push_back(path);
    f.click(QStringLiteral("ExportCsv"));
    QFile csv(path);
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = csv.readAll().split('\n');
    ASSERT_EQ(lines.size(), 3); // header, station 12 in data exchange, end
    EXPECT_TRUE(lines[1].endsWith(",12,exchange,entered,in data exchange\r"));
    EXPECT_EQ(f.st.melde1, path + " written");
}
