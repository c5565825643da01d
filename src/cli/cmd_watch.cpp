// SPDX-License-Identifier: GPL-3.0-or-later
// meridan-cli watch: the bus event log without a window. It connects
// (downloading nothing), lets the status poll run and prints each event as
// it comes, until --duration ends or SIGINT/SIGTERM; then the counts per
// station. A board lost meanwhile is connected again every two seconds.
#include "cli/options.h"
#include "cli/session.h"
#include "events/bus_watch.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <limits>
#include <sys/socket.h>
#include <unistd.h>

namespace meridan::cli {

namespace {

constexpr uint32_t kMostSeconds = 366u * 24 * 3600;
constexpr int kReconnectMs = 2000;
// A master answers a job at once; a serial line at 9600 baud takes about a
// second to carry the reply that reads the master record back.
constexpr int kAliveWaitMs = 5000;
// The --out file stays below this; the older part moves to FILE.1.
constexpr qint64 kOutLimit = qint64(32) << 20;

int gSignalFd[2] = {-1, -1};

void OnSignal(int)
{
    const char c = 1;
    [[maybe_unused]] const auto n = ::write(gSignalFd[1], &c, 1);
}

// SIGINT and SIGTERM end the watch from the event loop, cleanly.
class SignalEnd {
public:
    explicit SignalEnd(QEventLoop &loop)
    {
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, gSignalFd) != 0)
            return;
        notifier_ = std::make_unique<QSocketNotifier>(gSignalFd[0], QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, &loop, [&loop] {
            char c;
            [[maybe_unused]] const auto n = ::read(gSignalFd[0], &c, 1);
            loop.quit();
        });
        struct sigaction sa {};
        sa.sa_handler = OnSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        sigaction(SIGINT, &sa, &oldInt_);
        sigaction(SIGTERM, &sa, &oldTerm_);
    }
    ~SignalEnd()
    {
        if (!notifier_)
            return;
        sigaction(SIGINT, &oldInt_, nullptr);
        sigaction(SIGTERM, &oldTerm_, nullptr);
        notifier_.reset();
        ::close(gSignalFd[0]);
        ::close(gSignalFd[1]);
    }

private:
    std::unique_ptr<QSocketNotifier> notifier_;
    struct sigaction oldInt_ {};
    struct sigaction oldTerm_ {};
};

// The events appended to a file, kept bounded over days: past the limit the
// file becomes FILE.1 (replacing the one before) and a new one begins.
class OutFile {
public:
    QString open(const QString &path)
    {
        path_ = path;
        file_.setFileName(path);
        if (QFileInfo(path).isDir())
            return QStringLiteral("is a folder");
        if (!file_.open(QIODevice::WriteOnly | QIODevice::Append))
            return file_.errorString();
        return {};
    }
    bool isOpen() const { return file_.isOpen(); }
    // Empty when the line is in the file.
    QString write(const QByteArray &line)
    {
        if (file_.size() + line.size() > kOutLimit) {
            file_.close();
            QFile::remove(path_ + QStringLiteral(".1"));
            if (!QFile::rename(path_, path_ + QStringLiteral(".1")))
                return QStringLiteral("cannot move it to %1.1").arg(path_);
            if (!file_.open(QIODevice::WriteOnly | QIODevice::Append))
                return file_.errorString();
        }
        if (file_.write(line) != line.size() || !file_.flush())
            return file_.errorString();
        return {};
    }

private:
    QFile file_;
    QString path_;
};

} // namespace

int CmdWatch(Invocation &inv)
{
    qint64 endMs = -1;
    if (const auto d = inv.value(QStringLiteral("duration"))) {
        const auto s = ParseNumber(*d, 1, kMostSeconds);
        if (!s)
            return inv.usage(RangeText(QStringLiteral("--duration"), 1, kMostSeconds, *d));
        endMs = qint64(*s) * 1000;
    }
    // --timeout bounds the whole command: here it ends the watch like --duration.
    if (inv.timeoutSeconds > 0)
        endMs = endMs < 0 ? qint64(inv.timeoutSeconds) * 1000 : std::min(endMs, qint64(inv.timeoutSeconds) * 1000);
    OutFile file;
    const auto outPath = inv.value(QStringLiteral("out"));
    if (outPath) {
        if (outPath->isEmpty())
            return inv.usage(QStringLiteral("--out needs a file name"));
        if (const QString why = file.open(*outPath); !why.isEmpty())
            return inv.finish(Outcome::Fail(Failure::Refused, QStringLiteral("%1 not written: %2").arg(*outPath, why)));
    }

    Session bus(inv);
    // The watch's end is its own; the links keep their usual budgets.
    bus.conn.env().deadlineMs = 0;
    BusWatch watch(inv.ctx, bus.ops);
    // A board that died behind a mapped DP-RAM is only known by its silence.
    watch.probeMaster = true;
    const int16_t lang = inv.ctx.st.language;
    // -v: the message line's texts are events like the others, on stdout.
    const bool withLines = inv.console.verbose;
    inv.console.verbose = false;
    QEventLoop loop;
    QString writeError;
    int printed = 0;
    const auto emitLine = [&](const QByteArray &line) {
        inv.out << QString::fromUtf8(line) << '\n';
        inv.out.flush();
        if (file.isOpen() && writeError.isEmpty()) {
            writeError = file.write(line + '\n');
            if (!writeError.isEmpty())
                loop.quit();
        }
    };
    watch.onEvent = [&](const BusEvent &e) {
        if (e.what == EventWhat::Line && !withLines)
            return;
        ++printed;
        emitLine(inv.json ? QJsonDocument(EventJson(e, lang, watch.zone)).toJson(QJsonDocument::Compact)
                          : EventLine(e, lang, watch.zone).toUtf8());
    };

    const BusOutcome connected = bus.connect();
    if (!connected)
        return inv.finish(connected);
    const QString noAnswer = inv.ctx.tr(QStringLiteral("no answer from the master"), QStringLiteral("keine Antwort vom Master"));
    if (!bus.conn.MasterAnswers(kAliveWaitMs))
        return inv.finish(Outcome::Fail(bus.conn.link().lost() ? Failure::LineFault : Failure::NoAnswer, noAnswer));
    watch.onMasterSilent = [&] {
        // Given up after the tick that found out.
        QTimer::singleShot(0, &loop, [&] { bus.conn.NoHardwareItem(); });
    };

    QElapsedTimer ran;
    ran.start();
    SignalEnd stopOnSignal(loop);
    QTimer end;
    end.setSingleShot(true);
    end.setTimerType(Qt::PreciseTimer); // a coarse timer may end 5 % early
    QObject::connect(&end, &QTimer::timeout, &loop, &QEventLoop::quit);
    if (endMs >= 0)
        end.start(int(std::min<qint64>(endMs, std::numeric_limits<int>::max())));
    // A day is longer than a QTimer counts in one go.
    QTimer longEnd;
    if (endMs > std::numeric_limits<int>::max()) {
        longEnd.setInterval(60000);
        QObject::connect(&longEnd, &QTimer::timeout, &loop, [&] {
            if (ran.elapsed() >= endMs)
                loop.quit();
        });
        longEnd.start();
        end.stop();
    }
    QTimer retry;
    retry.setInterval(kReconnectMs);
    QObject::connect(&retry, &QTimer::timeout, &loop, [&] {
        if (!watch.linkDown())
            return;
        if (bus.conn.connected())
            bus.conn.NoHardwareItem();
        // Back only with a master that answers, not a DP-RAM left behind.
        if (bus.connect() && !bus.conn.MasterAnswers(kAliveWaitMs))
            bus.conn.NoHardwareItem();
    });
    retry.start();
    if (writeError.isEmpty())
        loop.exec();
    const qint64 ranMs = ran.elapsed();

    Outcome result;
    if (!writeError.isEmpty())
        result = Outcome::Fail(Failure::Refused, QStringLiteral("%1 not written: %2").arg(*outPath, writeError));
    else if (watch.linkDown())
        result = Outcome::Fail(Failure::LineFault,
                               inv.ctx.tr(QStringLiteral("the board was lost and did not come back: "),
                                          QStringLiteral("die Karte ging verloren und kam nicht wieder: "))
                                   + watch.lostReason());
    QJsonArray stations;
    QStringList table;
    table << inv.ctx.tr(QStringLiteral("%1 events in %2 s"), QStringLiteral("%1 Ereignisse in %2 s")).arg(printed).arg(SecondsText(ranMs))
          << inv.ctx.tr(QStringLiteral("station  drop-outs  diagnosis changes  out of data exchange"),
                        QString::fromUtf8("Station  Ausfälle  Diagnoseänderungen  außerhalb des Datenaustauschs"));
    for (const auto &[station, x] : watch.stations()) {
        const qint64 out = watch.outOfExchangeMs(station);
        stations.append(QJsonObject{{QStringLiteral("station"), station},
                                    {QStringLiteral("drop_outs"), x.dropOuts},
                                    {QStringLiteral("diagnosis_changes"), x.diagnosisChanges},
                                    {QStringLiteral("out_of_exchange_ms"), out}});
        table << QStringLiteral("%1  %2  %3  %4 s")
                     .arg(station, 7)
                     .arg(x.dropOuts, 9)
                     .arg(x.diagnosisChanges, 17)
                     .arg(SecondsText(out), 18);
    }
    if (inv.json) {
        QJsonObject summary{{QStringLiteral("outcome"), FailureWord(result.failure)},
                            {QStringLiteral("events"), printed},
                            {QStringLiteral("duration_ms"), ranMs},
                            {QStringLiteral("stations"), stations}};
        if (!result.done())
            summary[QStringLiteral("error")] = result.why;
        if (file.isOpen() && writeError.isEmpty())
            summary[QStringLiteral("written")] = QJsonArray{*outPath};
        emitLine(QJsonDocument(summary).toJson(QJsonDocument::Compact));
        // The summary was the last line of the stream: no second document.
        inv.json = false;
    } else {
        emitLine(table.join(QLatin1Char('\n')).toUtf8());
    }
    return inv.finish(result);
}

} // namespace meridan::cli
