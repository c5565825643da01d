// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The bus event log window: the events with their time, newest at the
// bottom (the list follows them unless the user scrolled up), filtered by
// station and kind; the counts per station beside them; "Export CSV". It
// shows an EventList and the BusWatch's counts; the main window owns both
// and feeds the list.
#include "events/bus_watch.h"
#include "events/event_list.h"

#include <QAbstractTableModel>
#include <QWidget>
#include <deque>
#include <set>

class QComboBox;
class QLabel;
class QPushButton;
class QTableView;
class QTableWidget;
class QTimer;

namespace meridan {

// The rows the filter lets through, by sequence number in the list.
class EventModel : public QAbstractTableModel {
    Q_OBJECT
public:
    EventModel(const Context &ctx, const EventList &list, const QTimeZone &zone, QObject *parent = nullptr);
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void setFilter(const EventFilter &filter);
    const EventFilter &filter() const { return filter_; }
    // The list dropped its oldest and took in its newest event.
    void Added();
    // The language changed.
    void Retranslate();

private:
    const Context &ctx_;
    const EventList &list_;
    const QTimeZone &zone_;
    EventFilter filter_;
    std::deque<qint64> rows_;
};

class EventsWindow : public QWidget {
    Q_OBJECT
public:
    EventsWindow(Context &ctx, EventList &list, const BusWatch &watch, QWidget *parent = nullptr);

    // Captions and the filters' choices in the language in force.
    void SetLanguageTexts();
    // A new event is in the list (called by whoever feeds it).
    void Added();
    // The counts per station, as they stand now.
    void ShowCounts();
    void ExportCsv_Click();
    EventModel &model() { return *model_; }

private:
    void FilterChanged();
    void FillStationFilter();

    Context &ctx_;
    EventList &list_;
    const BusWatch &watch_;
    EventModel *model_ = nullptr;
    QLabel *stationLabel_ = nullptr;
    QComboBox *stationFilter_ = nullptr;
    QLabel *kindLabel_ = nullptr;
    QComboBox *kindFilter_ = nullptr;
    QLabel *droppedNote_ = nullptr;
    QTableView *table_ = nullptr;
    QLabel *countsLabel_ = nullptr;
    QTableWidget *counts_ = nullptr;
    QPushButton *export_ = nullptr;
    QPushButton *close_ = nullptr;
    QTimer *countsTimer_ = nullptr;
    std::set<int> stations_; // stations in the filter's choices
};

} // namespace meridan
