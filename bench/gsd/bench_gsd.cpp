// SPDX-License-Identifier: GPL-3.0-or-later
// bench_gsd [--rounds N] [--peer DIR] [FILE|FOLDER...]
//
// Parses every GSD file given (default: the shared device files) N times and
// prints the median processor time per file, the largest file's time, and the median
// over the files; then the whole read of the slave editor (tables and a new
// record), lines of 40,000 values, the catalogue of a folder cold and warm,
// and the process's peak memory.
//
// With --peer DIR (a folder holding the pyprofibus package) the same files
// are parsed by pyprofibus's GSD parser in the same run, passes of ours and
// theirs taking turns, and the speed ratios are printed: on the largest file
// and at the median. The peer is a speed reference only; without it (or
// without python3) that part is skipped.
#include "core/context.h"
#include "slave/gsd.h"
#include "slave/gsd_catalogue.h"
#include "slave/record.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <map>
#include <ctime>
#include <sys/resource.h>

using namespace meridan;

namespace {

constexpr int kPasses = 2; // ours and the peer's, taking turns

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

// The processor time of this thread: a machine busy with other work
// stretches what the clock on the wall shows, for ours and the peer's alike
// but not alike for a run of 20 us and one of 100 ms.
double CpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

template <typename Run>
double TimeMs(int rounds, const Run &run)
{
    std::vector<double> t;
    t.reserve(std::size_t(rounds));
    for (int r = 0; r < rounds; ++r) {
        const double start = CpuMs();
        run();
        t.push_back(CpuMs() - start);
    }
    return Median(t);
}

QStringList GsdFilesOf(const QStringList &args)
{
    QStringList files;
    for (const QString &a : args) {
        const QFileInfo fi(a);
        if (fi.isDir()) {
            for (const QFileInfo &f : QDir(a).entryInfoList(QDir::Files, QDir::Name | QDir::IgnoreCase))
                if (IsGsdFileName(f.fileName()))
                    files << f.filePath();
        } else if (fi.isFile()) {
            files << fi.filePath();
        }
    }
    return files;
}

// One pass of the peer: its median per file, in ms; empty when it did not run.
std::map<QString, double> PeerPass(const QString &peer, int rounds, const QStringList &files)
{
    QProcess p;
    p.start(QStringLiteral("python3"), QStringList{QStringLiteral(MERIDAN_PEER_DRIVER), peer, QString::number(rounds)} + files);
    std::map<QString, double> out;
    if (!p.waitForStarted(10000) || !p.waitForFinished(30 * 60 * 1000) || p.exitCode() != 0) {
        std::fprintf(stderr, "bench_gsd: the peer did not run: %s\n", p.readAllStandardError().constData());
        return out;
    }
    for (const QByteArray &line : p.readAllStandardOutput().split('\n')) {
        const int tab = line.indexOf('\t');
        if (tab > 0)
            out[QString::fromLocal8Bit(line.mid(tab + 1))] = line.left(tab).toDouble();
    }
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    int rounds = 200;
    QString peer;
    for (int i = 0; i + 1 < args.size();) {
        if (args[i] == QLatin1String("--rounds")) {
            rounds = std::max(1, args[i + 1].toInt());
        } else if (args[i] == QLatin1String("--peer")) {
            peer = args[i + 1];
        } else {
            ++i;
            continue;
        }
        args.remove(i, 2);
    }
    if (args.isEmpty())
        args << QStringLiteral(MERIDAN_SHARED_GSD_DIR);
    const QStringList files = GsdFilesOf(args);
    if (files.isEmpty()) {
        std::fprintf(stderr, "usage: bench_gsd [--rounds N] [--peer DIR] [FILE|FOLDER...]: no GSD files in %s\n",
                     qPrintable(args.join(QLatin1Char(' '))));
        return 2;
    }
    std::vector<QByteArray> bytes;
    for (const QString &f : files)
        bytes.push_back(ReadGsdBytes(f).value_or(QByteArray()));
    const long rssBefore = PeakRssKb();

    // Ours and the peer's in turns, so that a busy machine weighs on both;
    // each file's time is the best of its passes' medians.
    const bool withPeer = !peer.isEmpty();
    const int peerRounds = std::max(1, rounds / 40); // the peer is far slower
    std::vector<double> ours(std::size_t(files.size()), 1e99), theirs(std::size_t(files.size()), 1e99);
    for (int pass = 0; pass < (withPeer ? kPasses : 1); ++pass) {
        for (std::size_t i = 0; i < bytes.size(); ++i)
            ours[i] = std::min(ours[i], TimeMs(rounds, [&] { (void)ParseGsd(bytes[i]); }));
        if (!withPeer)
            continue;
        const std::map<QString, double> t = PeerPass(peer, peerRounds, files);
        for (std::size_t i = 0; i < bytes.size(); ++i)
            if (const auto it = t.find(files[int(i)]); it != t.end())
                theirs[i] = std::min(theirs[i], it->second);
    }
    const bool peerRan = withPeer && std::all_of(theirs.begin(), theirs.end(), [](double v) { return v < 1e99; });

    std::printf("%-32s %9s %12s%s\n", "file", "bytes", "ParseGsd ms", peerRan ? "   peer ms    ratio" : "");
    std::size_t largest = 0;
    std::vector<double> ratios;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i].size() > bytes[largest].size())
            largest = i;
        std::printf("%-32s %9lld %12.4f", qPrintable(QFileInfo(files[int(i)]).fileName()), qlonglong(bytes[i].size()), ours[i]);
        if (peerRan) {
            ratios.push_back(theirs[i] / ours[i]);
            std::printf(" %10.3f %8.0f", theirs[i], ratios.back());
        }
        std::printf("\n");
    }
    std::printf("\nfiles: %lld, rounds: %d (peer: %d), passes: %d\n", qlonglong(files.size()), rounds, peerRounds,
                withPeer ? kPasses : 1);
    std::printf("largest file: %s (%lld bytes): %.4f ms\n", qPrintable(QFileInfo(files[int(largest)]).fileName()),
                qlonglong(bytes[largest].size()), ours[largest]);
    std::printf("median over the files: %.4f ms\n", Median(ours));
    if (peerRan) {
        std::printf("peer, largest file: %.3f ms: %.0f times faster (aim >= 150)\n", theirs[largest], theirs[largest] / ours[largest]);
        std::printf("peer, median over the files: %.3f ms: %.0f times faster (aim >= 500)\n", Median(theirs),
                    Median(theirs) / Median(ours));
        std::printf("median of the files' ratios: %.0f, lowest ratio: %.0f\n", Median(ratios),
                    *std::min_element(ratios.begin(), ratios.end()));
    } else if (withPeer) {
        std::printf("peer: did not run (see above)\n");
    }

    // The slave editor's whole read: tables and a new record.
    QTemporaryDir tmp;
    const Root root(tmp.path());
    State st;
    CliPrompts ui;
    ui.quiet = true;
    VirtualPump pump; // the one-second display pauses cost nothing here
    Context ctx{st, ui, pump, root};
    const auto fresh = [&] {
        st.currentStation = 12;
        NewSlaveRecord(st);
    };
    const double loadLargest = TimeMs(rounds, [&] {
        fresh();
        LoadGsdBytes(ctx, bytes[largest], QStringLiteral("BENCH.GSD"));
    });
    std::printf("\neditor read of the largest file (tables and record): %.4f ms\n", loadLargest);

    // Lines of 40,000 values: each value is read once, whatever its place.
    QByteArray values;
    for (int i = 0; i < 40000; ++i)
        values += (i ? "," : "") + QByteArray::number(i % 200 + 1);
    const QByteArray moduleFile = "#Profibus_DP\nIdent_Number = 0x4711\nModule = \"Big\" " + values + "\nEndModule\n";
    const QByteArray typeFile = "#Profibus_DP\nIdent_Number = 0x4711\nExtUserPrmData = 1 \"Big\"\nUnsigned8 1 " + values + "\n";
    std::printf("40,000-value Module line: %.3f ms; data-type line: %.3f ms (median of 50)\n",
                TimeMs(50, [&] { (void)ParseGsd(moduleFile); }), TimeMs(50, [&] { (void)ParseGsd(typeFile); }));

    // The catalogue: every file read (no index), then only the index and the listing.
    const QString dir = QFileInfo(files[0]).path();
    const QString index = tmp.filePath(QStringLiteral("catalogue.json"));
    std::size_t listed = 0;
    const double coldMs = TimeMs(10, [&] {
        QFile::remove(index);
        listed = GsdCatalogue::Load(dir, index).entries().size();
    });
    const double warmMs = TimeMs(50, [&] { (void)GsdCatalogue::Load(dir, index); });
    std::printf("catalogue of %s (%zu device files): cold %.3f ms, warm %.3f ms\n", qPrintable(dir), listed, coldMs, warmMs);
    std::printf("peak RSS: %ld KiB (%ld KiB before the first parse)\n", PeakRssKb(), rssBefore);
    return 0;
}
