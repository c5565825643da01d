// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's shared state: plain data, owned by one object that main()
// (or a test) creates and passes by reference. No globals.
#include "core/gsd_tables.h"
#include "core/image.h"
#include "core/slave_work.h"
#include "core/texts.h"

#include <QString>
#include <array>
#include <cstdint>

namespace meridan {

constexpr int kListFirst = 10; // the station list shows stations 10..99
constexpr int kListLast = 99;
constexpr int kListCount = kListLast - kListFirst + 1;

struct State {
    ConfigImage image;
    Record record;                 // the record buffer
    int currentStation = 0;        // 0..125
    std::array<QString, 125> listLines; // index = station - 1
    std::array<uint8_t, 512> mbuf{};    // message buffer: master messages and block reads
    int16_t language = kGerman;    // German until the settings file says otherwise
    // "Run" sends the next job as soon as the board has answered, instead of
    // one job per status tick (the Option menu; kept in the settings file).
    bool fastDownload = false;
    QString melde1;                // the main window's status line
    QString configFileName;        // the configuration file last read or written
    int listPosition = 0;          // remembered station list index (station - 10)
    SlaveWork slave;               // U, C, D, offsets, lengths and buffers beside a slave record
    GsdTables gsd;                 // the tables of the last GSD file read
    // The soft-PLC project folder, as the start-up argument (or the CLI's
    // --project) gave it; empty: the root folder.
    QString projectFolder;

};

} // namespace meridan
