// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the window tests share: prompts wired to the main window the way
// main() wires the real ones, and a bounded wait on the event loop.
#include "app/main_window.h"
#include "busops/commissioning.h"
#include "support/fixture.h"
#include "support/scripted_prompts.h"

#include <QAction>
#include <QApplication>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace meridan::test {

struct WindowPrompts : ScriptedPrompts {
    MainWindow *window = nullptr;
    void statusChanged(const QString &text) override
    {
        ScriptedPrompts::statusChanged(text);
        if (window)
            window->ShowStatus();
    }
    void listChanged() override
    {
        ScriptedPrompts::listChanged();
        if (window)
            window->UpdateListe();
    }
};

// What main() builds around the main window: the live status, the connection
// to the board (none until a Hardware item is chosen) and the bus commands.
struct BusStack {
    Panel panel;
    Connection conn;
    Commissioning comm;
    explicit BusStack(Context &ctx, LinkOpener opener = iface::OpenLink) : conn(ctx, panel, std::move(opener)), comm(ctx, conn) {}
};

// The main window in a root of its own (English unless told otherwise), with
// what main() builds around it; `opener` stands for the boards.
template <typename PumpT>
struct WindowBench {
    QTemporaryDir tmp;
    Root root{tmp.path()};
    State st;
    WindowPrompts ui;
    PumpT pump;
    Context ctx{st, ui, pump, root};
    Panel panel;
    Connection conn;
    Commissioning comm{ctx, conn};
    std::unique_ptr<MainWindow> w;

    explicit WindowBench(LinkOpener opener = iface::OpenLink, bool english = true) : conn(ctx, panel, std::move(opener))
    {
        root.ensureLayout();
        if (english)
            writeSettings("[LANGUAGE]\r\n 1\r\n");
    }
    ~WindowBench()
    {
        ui.window = nullptr;
        w.reset();
    }
    void writeSettings(const QByteArray &text) const { WriteFile(root.settingsFile(), text); }
    void makeWindow()
    {
        w = std::make_unique<MainWindow>(ctx, comm);
        ui.window = w.get();
        w->endProgram = [] {};
    }
    template <typename T>
    T *child(const QString &name) const
    {
        T *c = w->findChild<T *>(name);
        EXPECT_NE(c, nullptr) << name.toStdString();
        return c;
    }
    QString text(const QString &field) const { return child<QLineEdit>(field)->text(); }
    void trigger(const QString &item) const { child<QAction>(item)->trigger(); }
    void click(const QString &button) const { QTest::mouseClick(child<QPushButton>(button), Qt::LeftButton); }
    QListWidget *list() const { return child<QListWidget>(QStringLiteral("List1")); }
};

// Lets the event loop run until `done`, at most `ms` milliseconds.
template <typename Pred>
bool WaitFor(Pred done, int ms = 10000)
{
    const QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired())
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

} // namespace meridan::test
