// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the I/O test window shows, made from the test's state in the
// program's language: one row per module, a channel per bit or word.
#include "io/io_test.h"

#include <QString>
#include <optional>
#include <vector>

namespace meridan::io {

struct IoChannelView {
    const IoChannel *channel = nullptr;
    QString name;       // "QX1.3": the widget's object name
    QString caption;    // "QX3", or the attached variable
    QString tip;        // the full name, the variable and the DP-RAM address
    QString valueText;  // a word's "0x01F4 500"; empty before the first read
    std::optional<int> value;
    bool lit = false;      // a bit that is 1
    bool forced = false;
    bool editable = false; // an output the person may force now
};

struct IoModuleView {
    QString title; // "1  1 Byte Output"
    std::vector<IoChannelView> channels;
};

struct IoView {
    QString caption;  // window title
    QString status;   // mode, data exchange, pace; or why nothing is live
    bool stale = false;    // the values shown are the last good ones
    bool live = false;     // the values come from the board
    bool anyForced = false;
    std::vector<IoModuleView> modules;
};

IoView MakeIoView(const Context &ctx, const IoTest &test, int intervalMs);

} // namespace meridan::io
