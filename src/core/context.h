// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a core operation needs to run: the shared state and the seams to the
// outside. main(), the CLI and every test build their own.
#include "core/paths.h"
#include "core/prompts.h"
#include "core/pump.h"
#include "core/state.h"

#include <functional>

namespace meridan {

struct Context {
    State &st;
    Prompts &ui;
    Pump &pump;
    const Root &root;

    QString tr(const QString &english, const QString &german) const
    {
        return Tr(st.language, english, german);
    }
    // Whoever keeps a log of the status line (the bus event log) hears each
    // text here.
    std::function<void(const QString &)> statusLog = {};

    // Sets the main window's status line.
    void status(const QString &text)
    {
        st.melde1 = text;
        ui.statusChanged(text);
        if (statusLog)
            statusLog(text);
    }
};

} // namespace meridan
