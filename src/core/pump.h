// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The seam for waiting: "let window events through" and "sleep n ms". Every
// wait, retry budget and pause goes through it, so tests can run long time-out
// paths in virtual time while the GUI stays responsive in real time.
#include <QtGlobal>
#include <functional>

namespace meridan {

class Pump {
public:
    virtual ~Pump() = default;
    virtual void processEvents() = 0;
    virtual void sleepMs(int ms) = 0;
    // Milliseconds on this pump's clock (monotonic).
    virtual qint64 nowMs() const = 0;
};

// Real time: dispatches the Qt event loop while it waits.
class QtPump : public Pump {
public:
    void processEvents() override;
    void sleepMs(int ms) override;
    qint64 nowMs() const override;
};

// Virtual time for tests: sleeping advances the clock at once; an optional
// hook runs on every processEvents and sleep so a scripted peer can act.
class VirtualPump : public Pump {
public:
    void processEvents() override;
    void sleepMs(int ms) override;
    qint64 nowMs() const override { return now_; }
    std::function<void()> onPump;
    qint64 sleptMs = 0;

private:
    qint64 now_ = 0;
};

} // namespace meridan
