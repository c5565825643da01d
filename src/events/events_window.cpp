// SPDX-License-Identifier: GPL-3.0-or-later
#include "events/events_window.h"

#include "core/context.h"

#include <QBrush>
#include <QComboBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace meridan {

namespace {
enum Column { ColTime, ColStation, ColKind, ColEvent, ColCount };

template <typename W>
W *Named(W *w, const char *name)
{
    w->setObjectName(QString::fromLatin1(name));
    return w;
}
} // namespace

// ---- The model ------------------------------------------------------------

EventModel::EventModel(const Context &ctx, const EventList &list, const QTimeZone &zone, QObject *parent)
    : QAbstractTableModel(parent), ctx_(ctx), list_(list), zone_(zone)
{
    for (qint64 seq = list_.first(); seq < list_.end(); ++seq)
        if (filter_.accepts(list_.bySeq(seq)))
            rows_.push_back(seq);
}

int EventModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(rows_.size());
}

int EventModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColCount;
}

QVariant EventModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= int(rows_.size()))
        return {};
    const qint64 seq = rows_[std::size_t(index.row())];
    if (seq < list_.first() || seq >= list_.end())
        return {};
    const BusEvent &e = list_.bySeq(seq);
    const int16_t lang = ctx_.st.language;
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        switch (index.column()) {
        case ColTime: return EventTimeText(e.timeMs, zone_);
        case ColStation: return e.station >= 0 ? QString::number(e.station) : QStringLiteral("-");
        case ColKind: return KindName(KindOf(e.what), lang);
        default: return EventText(e, lang);
        }
    }
    if (role == Qt::TextAlignmentRole && index.column() == ColStation)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    if (role == Qt::ForegroundRole) {
        // What a person hunting an intermittent fault looks for first.
        if ((e.what == EventWhat::Left && e.dropOut) || e.what == EventWhat::Lost)
            return QBrush(Qt::red);
        if (KindOf(e.what) == EventKind::Diagnosis && e.what != EventWhat::DiagCleared)
            return QBrush(QColor(0xB0, 0x60, 0x00));
    }
    return {};
}

QVariant EventModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    const int16_t lang = ctx_.st.language;
    switch (section) {
    case ColTime: return Tr(lang, QStringLiteral("Time"), QStringLiteral("Zeit"));
    case ColStation: return QStringLiteral("Station");
    case ColKind: return Tr(lang, QStringLiteral("Kind"), QStringLiteral("Art"));
    default: return Tr(lang, QStringLiteral("Event"), QStringLiteral("Ereignis"));
    }
}

void EventModel::setFilter(const EventFilter &filter)
{
    beginResetModel();
    filter_ = filter;
    rows_.clear();
    for (qint64 seq = list_.first(); seq < list_.end(); ++seq)
        if (filter_.accepts(list_.bySeq(seq)))
            rows_.push_back(seq);
    endResetModel();
}

void EventModel::Added()
{
    std::size_t gone = 0;
    while (gone < rows_.size() && rows_[gone] < list_.first())
        ++gone;
    if (gone > 0) {
        beginRemoveRows({}, 0, int(gone) - 1);
        rows_.erase(rows_.begin(), rows_.begin() + long(gone));
        endRemoveRows();
    }
    const qint64 seq = list_.end() - 1;
    if (list_.size() == 0 || (!rows_.empty() && rows_.back() >= seq) || !filter_.accepts(list_.bySeq(seq)))
        return;
    beginInsertRows({}, int(rows_.size()), int(rows_.size()));
    rows_.push_back(seq);
    endInsertRows();
}

void EventModel::Retranslate()
{
    if (!rows_.empty())
        Q_EMIT dataChanged(index(0, 0), index(int(rows_.size()) - 1, ColCount - 1));
    Q_EMIT headerDataChanged(Qt::Horizontal, 0, ColCount - 1);
}

// ---- The window -----------------------------------------------------------

EventsWindow::EventsWindow(Context &ctx, EventList &list, const BusWatch &watch, QWidget *parent)
    : QWidget(parent, Qt::Window), ctx_(ctx), list_(list), watch_(watch)
{
    setObjectName(QStringLiteral("BusEvents"));
    model_ = new EventModel(ctx_, list_, watch_.zone, this);

    stationLabel_ = new QLabel(this);
    stationFilter_ = Named(new QComboBox(this), "StationFilter");
    kindLabel_ = new QLabel(this);
    kindFilter_ = Named(new QComboBox(this), "KindFilter");
    stationLabel_->setBuddy(stationFilter_);
    kindLabel_->setBuddy(kindFilter_);
    droppedNote_ = Named(new QLabel(this), "DroppedNote");
    droppedNote_->setWordWrap(true);
    droppedNote_->hide();

    table_ = Named(new QTableView(this), "EventTable");
    table_->setModel(model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 4);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setWordWrap(false);
    table_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    table_->setColumnWidth(ColTime, table_->fontMetrics().horizontalAdvance(QStringLiteral("0000-00-00 00:00:00.000  ")));
    table_->setColumnWidth(ColStation, table_->fontMetrics().horizontalAdvance(QStringLiteral("Station  ")));
    table_->setColumnWidth(ColKind, table_->fontMetrics().horizontalAdvance(QStringLiteral("Datenaustausch  ")));

    countsLabel_ = new QLabel(this);
    counts_ = Named(new QTableWidget(0, 4, this), "StationCounts");
    counts_->verticalHeader()->hide();
    counts_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    counts_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    countsLabel_->setBuddy(counts_);

    export_ = Named(new QPushButton(this), "ExportCsv");
    close_ = Named(new QPushButton(this), "CloseLog");

    auto *filters = new QHBoxLayout;
    filters->addWidget(stationLabel_);
    filters->addWidget(stationFilter_);
    filters->addSpacing(12);
    filters->addWidget(kindLabel_);
    filters->addWidget(kindFilter_);
    filters->addStretch(1);

    auto *right = new QWidget(this);
    auto *rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->addWidget(countsLabel_);
    rightLayout->addWidget(counts_, 1);
    auto *split = new QSplitter(Qt::Horizontal, this);
    auto *left = new QWidget(this);
    auto *leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(droppedNote_);
    leftLayout->addWidget(table_, 1);
    split->addWidget(left);
    split->addWidget(right);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(export_);
    buttons->addWidget(close_);

    auto *outer = new QVBoxLayout(this);
    outer->addLayout(filters);
    outer->addWidget(split, 1);
    outer->addLayout(buttons);

    connect(stationFilter_, &QComboBox::currentIndexChanged, this, &EventsWindow::FilterChanged);
    connect(kindFilter_, &QComboBox::currentIndexChanged, this, &EventsWindow::FilterChanged);
    connect(export_, &QPushButton::clicked, this, &EventsWindow::ExportCsv_Click);
    connect(close_, &QPushButton::clicked, this, &QWidget::close);
    // A drop-out under way keeps counting its time.
    countsTimer_ = new QTimer(this);
    countsTimer_->setInterval(1000);
    connect(countsTimer_, &QTimer::timeout, this, [this] {
        if (isVisible())
            ShowCounts();
    });
    countsTimer_->start();

    SetLanguageTexts();
    ShowCounts();
    resize(980, 520);
    table_->scrollToBottom();
}

void EventsWindow::SetLanguageTexts()
{
    const auto T = [this](const char *en, const char *de) { return ctx_.tr(QString::fromUtf8(en), QString::fromUtf8(de)); };
    setWindowTitle(T("Bus event log", "Bus-Ereignisprotokoll"));
    stationLabel_->setText(T("&Station:", "&Station:"));
    kindLabel_->setText(T("&Kind:", "&Art:"));
    countsLabel_->setText(T("&Counts per station", "&Zählung je Station"));
    export_->setText(T("&Export CSV...", "CSV &exportieren..."));
    export_->setToolTip(T("Writes the events shown as a CSV file", "Schreibt die gezeigten Ereignisse als CSV-Datei"));
    close_->setText(T("Cl&ose", "Schl&ießen"));
    counts_->setHorizontalHeaderLabels({QStringLiteral("Station"), T("Drop-\nouts", "Aus-\nfälle"), T("Diagnosis\nchanges", "Diagnose-\nänderungen"),
                                        T("Out of data\nexchange", "Außerhalb des\nDatenaustauschs")});
    {
        const QSignalBlocker block(kindFilter_);
        const int at = kindFilter_->currentIndex();
        kindFilter_->clear();
        kindFilter_->addItem(T("every kind", "jede Art"), -1);
        for (EventKind k : {EventKind::Exchange, EventKind::Diagnosis, EventKind::Mode, EventKind::Message, EventKind::Link, EventKind::Line})
            kindFilter_->addItem(KindName(k, ctx_.st.language), int(k));
        kindFilter_->setCurrentIndex(std::max(at, 0));
    }
    FillStationFilter();
    model_->Retranslate();
    if (list_.dropped() > 0)
        droppedNote_->setText(list_.DroppedText(ctx_.st.language, watch_.zone));
}

void EventsWindow::FillStationFilter()
{
    const QSignalBlocker block(stationFilter_);
    const QVariant chosen = stationFilter_->currentData();
    stationFilter_->clear();
    stationFilter_->addItem(ctx_.tr(QStringLiteral("every station"), QStringLiteral("jede Station")), EventFilter::kAnyStation);
    stationFilter_->addItem(ctx_.tr(QStringLiteral("bus (no station)"), QStringLiteral("Bus (keine Station)")), -1);
    for (int s : stations_)
        stationFilter_->addItem(QString::number(s), s);
    const int at = chosen.isValid() ? stationFilter_->findData(chosen) : 0;
    stationFilter_->setCurrentIndex(std::max(at, 0));
}

void EventsWindow::FilterChanged()
{
    EventFilter f;
    f.station = stationFilter_->currentData().toInt();
    if (const int k = kindFilter_->currentData().toInt(); k >= 0)
        f.kind = EventKind(k);
    model_->setFilter(f);
    table_->scrollToBottom();
}

void EventsWindow::Added()
{
    QScrollBar *bar = table_->verticalScrollBar();
    // Following the newest unless the user scrolled away from them.
    const bool follow = bar->value() >= bar->maximum();
    model_->Added();
    if (list_.size() > 0) {
        const int s = list_.bySeq(list_.end() - 1).station;
        if (s >= 0 && stations_.insert(s).second)
            FillStationFilter();
    }
    if (list_.dropped() > 0) {
        droppedNote_->setText(list_.DroppedText(ctx_.st.language, watch_.zone));
        droppedNote_->show();
    }
    if (follow)
        table_->scrollToBottom();
    ShowCounts();
}

void EventsWindow::ShowCounts()
{
    const auto &stations = watch_.stations();
    counts_->setRowCount(int(stations.size()));
    int row = 0;
    const auto cell = [&](int column, const QString &text) {
        QTableWidgetItem *item = counts_->item(row, column);
        if (!item) {
            item = new QTableWidgetItem;
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            counts_->setItem(row, column, item);
        }
        if (item->text() != text)
            item->setText(text);
    };
    for (const auto &[station, x] : stations) {
        cell(0, QString::number(station));
        cell(1, QString::number(x.dropOuts));
        cell(2, QString::number(x.diagnosisChanges));
        cell(3, SecondsText(watch_.outOfExchangeMs(station)) + QStringLiteral(" s"));
        ++row;
    }
    // Every column in sight.
    const int wide = counts_->horizontalHeader()->length() + counts_->verticalScrollBar()->sizeHint().width() + 2 * counts_->frameWidth();
    if (counts_->minimumWidth() < wide)
        counts_->setMinimumWidth(wide);
}

void EventsWindow::ExportCsv_Click()
{
    ExportEventsCsv(ctx_, list_, model_->filter(), watch_.zone);
}

} // namespace meridan
