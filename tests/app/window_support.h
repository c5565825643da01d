#pragma once
// What the window tests share: prompts wired to the main window the way
// main() wires the real ones, and a bounded wait on the event loop.
#include "app/main_window.h"
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
