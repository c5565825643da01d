#pragma once
// What the window tests share: prompts wired to the main window the way
// main() wires the real ones, and a bounded wait on the event loop.
#include "app/main_window.h"
#include "busops/commissioning.h"
#include "support/scripted_prompts.h"

#include <QApplication>
#include <QDeadlineTimer>

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
