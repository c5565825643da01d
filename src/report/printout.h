// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The configuration printout as lines of text: the master page with the bus
// parameters, then one page per configured slave with its GSD identification,
// parameter and configuration bytes, I/O offsets and module list. The labels
// are fixed-width texts with dot leaders, so a fixed-pitch font lines the
// values up in one column. Renderers (paint devices, the CLI's text output)
// only lay these lines out; every character is decided here.
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace meridan {

struct Context;
struct GsdFile;
class Record;

struct Printout {
    // Page 0 is the master page, then one page per slave in station order;
    // the last page ends with an empty line and "-End-". A renderer may
    // split a page that does not fit its paper, never join two.
    std::vector<QStringList> pages;
};

// Builds the printout of the configuration in ctx.st.image, in the language
// in force, dated `now` in the default locale's short form. Works on copies
// of the records: the record buffer and the current station stay as they
// are. GSD files are only read.
Printout BuildPrintout(const Context &ctx, const QDateTime &now);

// The lines of one slave page for the record `rec` of `station`.
QStringList SlavePageLines(const Context &ctx, int station, const Record &rec);

// The device texts and module names of a GSD file as the slave page prints
// them: one line per identification key in file order, and the module texts
// numbered from 1.
struct GsdKeyLines {
    QStringList lines;
    QStringList modules; // modules[m - 1] is the text of Module m
};
GsdKeyLines KeyLinesOf(const GsdFile &file);
GsdKeyLines ReadGsdKeyLines(const QByteArray &bytes);

// The outcome of handing a printout to a printer or a file.
struct PrintOutcome {
    enum class Kind { Done, Cancelled, Failed };
    Kind kind = Kind::Done;
    QString detail; // the file written, or why it failed
};

// The File menu's Print as an operation: says "Printing Configuration" in the
// status line and lets the window repaint, builds the printout, hands it to
// `output` and reports in the status line whether it was printed, cancelled
// or failed.
PrintOutcome PrintConfiguration(Context &ctx, const std::function<PrintOutcome(const Printout &)> &output,
                                const QDateTime &now = QDateTime::currentDateTime());

// The name a printed or exported document gets: the configuration file's
// base name, "Meridan" when there is none.
QString DocumentName(const Context &ctx);

// The printout as plain text: lines ended by "\n", a form feed between pages.
QString PrintoutText(const Printout &printout);

} // namespace meridan
