// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's part of the bus event log: the log runs from the start,
// whether or not its window is open, and the Log menu opens the window.
#include "app/main_window.h"

#include "busops/commissioning.h"
#include "events/bus_watch.h"
#include "events/event_list.h"
#include "events/events_window.h"

#include <QAction>
#include <QMenuBar>

namespace meridan {

void MainWindow::BuildEventLog()
{
    events_ = std::make_unique<EventList>();
    busWatch_ = std::make_unique<BusWatch>(ctx_, comm_);
    busWatch_->onEvent = [this](const BusEvent &e) {
        events_->add(e);
        if (eventsWindow_)
            eventsWindow_->Added();
    };
    logMenu_ = menuBar()->addMenu(QString());
    logMenu_->setObjectName(QStringLiteral("LogMenu"));
    eventLog_ = logMenu_->addAction(QString());
    eventLog_->setObjectName(QStringLiteral("EventLog"));
    eventLog_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    connect(eventLog_, &QAction::triggered, this, &MainWindow::EventLog_Click);
}

void MainWindow::EventLogTexts()
{
    logMenu_->setTitle(ctx_.tr(QStringLiteral("&Log"), QStringLiteral("&Protokoll")));
    eventLog_->setText(ctx_.tr(QStringLiteral("&Bus event log…"), QString::fromUtf8("&Bus-Ereignisprotokoll…")));
    if (eventsWindow_)
        eventsWindow_->SetLanguageTexts();
}

EventsWindow *MainWindow::eventsWindow() const
{
    return eventsWindow_.data();
}

void MainWindow::EventLog_Click()
{
    if (!eventsWindow_) {
        eventsWindow_ = new EventsWindow(ctx_, *events_, *busWatch_, this);
        PlaceOverMain(eventsWindow_);
    }
    eventsWindow_->show();
    eventsWindow_->raise();
    eventsWindow_->activateWindow();
}

} // namespace meridan
