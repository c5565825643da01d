// SPDX-License-Identifier: GPL-3.0-or-later
// bench_gsd [DIR] [ROUNDS]: loads every GSD file of DIR (default: the shared
// device files) ROUNDS times into a fresh slave record and prints the median
// time per file, the time for the largest file and the process's peak memory;
// then the time for lines of 40,000 values, and for the catalogue of DIR
// built from cold (no index) and refreshed warm (index up to date).
#include "core/context.h"
#include "slave/gsd.h"
#include "slave/gsd_catalogue.h"
#include "slave/record.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

using namespace meridan;

namespace {

long PeakRssKb()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// What the tables hold, counted from their contents (strings at two bytes a
// character plus the containers' own entries).
std::size_t TableBytes(const GsdTables &t)
{
    std::size_t n = sizeof(GsdTables);
    for (int m = 0; m <= t.moduleCount && m <= kMaxGsdModules; ++m) {
        if (const GsdModule *mod = t.module(m))
            n += sizeof(GsdModule) + std::size_t(mod->line.capacity()) * 2 + mod->prmConst.capacity()
                + mod->refs.capacity() * sizeof(GsdPrmRef);
    }
    for (const auto &[k, list] : t.textLists()) {
        n += 64 + list.capacity() * sizeof(GsdText);
        for (const GsdText &x : list)
            n += std::size_t(x.text.capacity()) * 2;
    }
    for (const auto &[k, p] : t.extPrms())
        n += 64 + sizeof(GsdExtPrm) + std::size_t(p.name.capacity() + p.type.capacity()) * 2
            + p.list.capacity() * sizeof(int64_t);
    return n;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(MERIDAN_SHARED_GSD_DIR);
    const int rounds = argc > 2 ? std::max(1, atoi(argv[2])) : 200;
    const QFileInfoList files = QDir(dir).entryInfoList({QStringLiteral("*.gs?")}, QDir::Files, QDir::Name | QDir::IgnoreCase);
    if (files.isEmpty()) {
        std::fprintf(stderr, "bench_gsd: no GSD files in %s\n", qPrintable(dir));
        return 2;
    }

    QTemporaryDir tmp;
    const Root root(tmp.path());
    State st;
    CliPrompts ui;
    ui.quiet = true;
    VirtualPump pump; // the one-second display pauses cost nothing here
    Context ctx{st, ui, pump, root};
    const long rssBefore = PeakRssKb();

    std::vector<double> medians;
    double largestMs = 0;
    qint64 largestSize = 0;
    QString largestName;
    std::size_t maxTables = 0;
    std::printf("%-30s %9s %12s %12s\n", "file", "bytes", "median ms", "tables KiB");
    for (const QFileInfo &fi : files) {
        std::vector<double> times;
        times.reserve(std::size_t(rounds));
        for (int r = 0; r < rounds; ++r) {
            st.currentStation = 12;
            NewSlaveRecord(st);
            QElapsedTimer t;
            t.start();
            LoadGsdFile(ctx, fi.filePath(), fi.fileName());
            times.push_back(double(t.nsecsElapsed()) / 1e6);
        }
        const double med = Median(times);
        const std::size_t tables = TableBytes(st.gsd);
        maxTables = std::max(maxTables, tables);
        medians.push_back(med);
        std::printf("%-30s %9lld %12.4f %12.1f\n", qPrintable(fi.fileName()), fi.size(), med, double(tables) / 1024);
        if (fi.size() > largestSize) {
            largestSize = fi.size();
            largestMs = med;
            largestName = fi.fileName();
        }
    }
    const long rssAfter = PeakRssKb();

    // Lines of 40,000 values: each value is read once, whatever its place.
    QByteArray values;
    for (int i = 0; i < 40000; ++i)
        values += (i ? "," : "") + QByteArray::number(i % 200 + 1);
    const QByteArray moduleFile = "#Profibus_DP\nIdent_Number = 0x4711\nModule = \"Big\" " + values + "\n";
    const QByteArray typeFile = "#Profibus_DP\nExtUserPrmData = 1 \"Big\"\nUnsigned8 1 " + values + "\n";
    const QString moduleLine = QStringLiteral("Big\" ") + QString::fromLatin1(values);
    const auto timeIt = [&](int n, const auto &run) {
        std::vector<double> t;
        for (int r = 0; r < n; ++r) {
            QElapsedTimer e;
            e.start();
            run();
            t.push_back(double(e.nsecsElapsed()) / 1e6);
        }
        return Median(t);
    };
    const auto fresh = [&] {
        st.currentStation = 12;
        NewSlaveRecord(st);
    };
    const double moduleMs = timeIt(50, [&] { fresh(); LoadGsdBytes(ctx, moduleFile, QStringLiteral("BIG.GSD")); });
    const double bytesMs = timeIt(50, [&] { (void)ModuleConfigBytes(moduleLine); });
    const double typeMs = timeIt(50, [&] { fresh(); LoadGsdBytes(ctx, typeFile, QStringLiteral("BIG.GSD")); });

    // The catalogue: every file read (no index), then only the index and the folder's listing.
    const QString index = tmp.filePath(QStringLiteral("catalogue.json"));
    std::size_t listed = 0;
    const double coldMs = timeIt(20, [&] {
        QFile::remove(index);
        listed = GsdCatalogue::Load(dir, index).entries().size();
    });
    const double warmMs = timeIt(rounds, [&] { (void)GsdCatalogue::Load(dir, index); });

    std::printf("\nfiles: %lld, rounds each: %d\n", qlonglong(files.size()), rounds);
    std::printf("median over the files' medians: %.4f ms\n", Median(medians));
    std::printf("largest file: %s (%lld bytes): %.4f ms\n", qPrintable(largestName), largestSize, largestMs);
    std::printf("largest tables (counted): %.1f KiB\n", double(maxTables) / 1024);
    std::printf("peak RSS: %ld KiB (%ld KiB before the first read, +%ld KiB while reading)\n", rssAfter, rssBefore,
                rssAfter - rssBefore);
    std::printf("\n40,000-value lines (median of 50):\n");
    std::printf("  file with a 40,000-value Module line: %.3f ms (aim < 10 ms)\n", moduleMs);
    std::printf("  ModuleConfigBytes of that line:       %.3f ms\n", bytesMs);
    std::printf("  file with a 40,000-value data-type line: %.3f ms\n", typeMs);
    std::printf("\ncatalogue of %s (%zu device files):\n", qPrintable(dir), listed);
    std::printf("  cold, every file read (median of 20): %.3f ms (aim < 100 ms)\n", coldMs);
    std::printf("  warm, from the index (median of %d):  %.3f ms (aim < 5 ms)\n", rounds, warmMs);
    return 0;
}
