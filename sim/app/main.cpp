// SPDX-License-Identifier: GPL-3.0-or-later
// meridan-boardsim: simulated master boards on a DP-RAM file, a pseudo-terminal or TCP.
#include "board.h"
#include "files.h"
#include "images.h"
#include "zelcfg.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

using namespace meridan::sim;

namespace {

int gSignalFd[2] = {-1, -1};

void onSignal(int)
{
    char c = 1;
    [[maybe_unused]] auto n = ::write(gSignalFd[1], &c, 1);
}

// Messages quote what the files held: control characters are shown as \xNN
// and a long quote is cut, so a file cannot flood or steer the terminal.
int fail(const QString &text)
{
    constexpr int Most = 300;
    QString shown;
    for (QChar c : text.left(Most)) {
        const char16_t u = c.unicode();
        shown += u < 0x20 || u == 0x7F || (u >= 0x80 && u < 0xA0)
                     ? QStringLiteral("\\x") + QString::number(u, 16).rightJustified(2, QLatin1Char('0')).toUpper()
                     : QString(c);
    }
    if (text.size() > Most)
        shown += QStringLiteral("... (%1 characters in all)").arg(text.size());
    std::fprintf(stderr, "meridan-boardsim: %s\n", qPrintable(shown));
    return 2;
}

// A bus file or zelpci.cfg: a regular file (a FIFO would block the start for
// good), and no more than any such file can sensibly hold.
std::optional<std::string> readFile(const QString &path, QString *error)
{
    std::string err;
    auto text = readRegularFile(QFile::encodeName(path).toStdString(), 1 << 20, &err);
    if (!text)
        *error = QString::fromLocal8Bit(err.c_str());
    return text;
}

// "3075" or "0xC03", then ":COUNT" (1..1000, default 1).
std::optional<std::pair<std::uint32_t, int>> parseFlaky(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    bool ok = false;
    const uint addr = parts[0].trimmed().toUInt(&ok, 0);
    if (!ok || addr >= Eeprom::Size || parts.size() > 2)
        return std::nullopt;
    int count = 1;
    if (parts.size() == 2) {
        count = parts[1].trimmed().toInt(&ok);
        if (!ok || count < 1 || count > 1000)
            return std::nullopt;
    }
    return std::make_pair(static_cast<std::uint32_t>(addr), count);
}

std::optional<std::uint8_t> parseVersion(const QString &text)
{
    // "5.3" -> 0x53
    QStringList parts = text.split(QLatin1Char('.'));
    bool ok1 = false, ok2 = false;
    if (parts.size() != 2)
        return std::nullopt;
    int major = parts[0].toInt(&ok1), minor = parts[1].toInt(&ok2);
    if (!ok1 || !ok2 || major < 0 || major > 15 || minor < 0 || minor > 15)
        return std::nullopt;
    return static_cast<std::uint8_t>(major << 4 | minor);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("meridan-boardsim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(MERIDAN_SIM_VERSION));

    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Simulated PROFIBUS-DP master boards, reached through a DP-RAM file, a "
        "pseudo-terminal or TCP. The options, the bus file and the state snapshot are "
        "described in boardsim.md, the wire contracts in driver-protocol.md, boot-protocol.md "
        "and zelpci-cfg.md (the docs folder of the sources, or the package's documentation)."));
    p.addHelpOption();
    // -v is --verbose here, so --version comes without its usual short form.
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Displays version information."));
    const QCommandLineOption root(QStringLiteral("root"), QStringLiteral("Root folder."), QStringLiteral("DIR"));
    const QCommandLineOption demo(QStringLiteral("demo"), QStringLiteral("Start the demo set of boards named by ROOT/driver/zelpci.cfg."));
    const QCommandLineOption board(QStringLiteral("board"), QStringLiteral("Single board: tessel, vme, corvet, ravelin, dromon, corvet-serial, net0, ketch."), QStringLiteral("KIND"));
    const QCommandLineOption name(QStringLiteral("name"), QStringLiteral("Board name (network HELLO, logs)."), QStringLiteral("NAME"));
    const QCommandLineOption dpram(QStringLiteral("dpram"), QStringLiteral("DP-RAM file (tessel, vme, corvet)."), QStringLiteral("PATH"));
    const QCommandLineOption serial(QStringLiteral("serial"), QStringLiteral("Symlink to create for the pty (serial boards)."), QStringLiteral("PATH"));
    const QCommandLineOption tcp(QStringLiteral("tcp"), QStringLiteral("TCP [HOST:]PORT (network boards); 0 = any free port."), QStringLiteral("PORT"));
    const QCommandLineOption bus(QStringLiteral("bus"), QStringLiteral("Simulated bus file (default: the demo bus)."), QStringLiteral("FILE"));
    const QCommandLineOption eeprom(QStringLiteral("eeprom"), QStringLiteral("EEPROM file (default: none, memory only)."), QStringLiteral("FILE"));
    const QCommandLineOption flaky(QStringLiteral("eeprom-flaky"),
                                   QStringLiteral("EEPROM byte ADDR does not take its next COUNT serial writes (default 1): it reads back wrong until one takes. Repeatable."),
                                   QStringLiteral("ADDR[:COUNT]"));
    const QCommandLineOption flap(QStringLiteral("flap"),
                                  QStringLiteral("Station drops out of the data exchange for DOWN_MS at the end of every EVERY_MS while the bus runs. Repeatable."),
                                  QStringLiteral("STATION:DOWN_MS:EVERY_MS"));
    const QCommandLineOption flapDiag(QStringLiteral("flap-diag"),
                                      QStringLiteral("Station shows extended diagnosis for ON_MS at the end of every EVERY_MS while the bus runs. Repeatable."),
                                      QStringLiteral("STATION:ON_MS:EVERY_MS"));
    const QCommandLineOption firmware(QStringLiteral("firmware"), QStringLiteral("Firmware version, e.g. 5.2 or 5.3."), QStringLiteral("X.Y"));
    const QCommandLineOption state(QStringLiteral("state"), QStringLiteral("Write a JSON snapshot here whenever something changes."), QStringLiteral("FILE"));
    const QCommandLineOption noPace(QStringLiteral("no-pace"), QStringLiteral("Do not pace serial output to the line speed."));
    const QCommandLineOption terminal(QStringLiteral("terminal"), QStringLiteral("Serial monitor starts in mode O (echo)."));
    const QCommandLineOption images(QStringLiteral("write-images"), QStringLiteral("Write the sample firmware images into DIR and exit."), QStringLiteral("DIR"));
    const QCommandLineOption verbose(QStringList{QStringLiteral("v"), QStringLiteral("verbose")}, QStringLiteral("Log every job and message."));
    p.addOptions({version, root, demo, board, name, dpram, serial, tcp, bus, eeprom, flaky, flap, flapDiag, firmware, state, noPace, terminal, images, verbose});
    p.process(app);
    if (p.isSet(version))
        p.showVersion();

    if (p.isSet(verbose))
        QLoggingCategory::setFilterRules(QStringLiteral("meridan.sim*.debug=true"));

    if (p.isSet(images)) {
        std::string err;
        if (!writeSampleImages(p.value(images).toStdString(), false, &err))
            return fail(QString::fromStdString(err));
        return 0;
    }

    SimBus simBus = SimBus::demo();
    if (p.isSet(bus)) {
        QString err;
        auto text = readFile(p.value(bus), &err);
        if (!text)
            return fail(err);
        std::string perr;
        auto parsed = SimBus::parse(*text, &perr);
        if (!parsed)
            return fail(p.value(bus) + QLatin1Char(':') + QString::fromStdString(perr));
        simBus = *parsed;
    }

    std::vector<std::pair<std::uint32_t, int>> weakCells;
    for (const QString &v : p.values(flaky)) {
        auto cell = parseFlaky(v);
        if (!cell)
            return fail(QStringLiteral("--eeprom-flaky wants ADDR[:COUNT], ADDR below 0x8000, COUNT 1..1000: '%1'").arg(v));
        weakCells.push_back(*cell);
    }

    std::vector<Flap> flaps;
    for (const auto &[option, kind] : {std::pair{&flap, Flap::Kind::DropOut}, std::pair{&flapDiag, Flap::Kind::Diagnosis}}) {
        for (const QString &v : p.values(*option)) {
            std::string why;
            auto f = parseFlap(v.toStdString(), kind, &why);
            if (!f)
                return fail(QStringLiteral("--%1 %2: '%3'").arg(option->names().first(), QString::fromStdString(why), v));
            flaps.push_back(*f);
        }
    }

    std::vector<BoardConfig> configs;
    int rootLock = -1; // held (open) for the whole run
    if (p.isSet(demo)) {
        if (!p.isSet(root))
            return fail(QStringLiteral("--demo needs --root DIR"));
        QString rootDir = QDir(p.value(root)).absolutePath();
        // One simulator per root: a second one would take over the first one's
        // DP-RAM files and serial links. The lock is taken before anything in
        // the root is touched, and held until the end.
        std::string derr;
        if (!makeOwnDirs(QFile::encodeName(rootDir + QStringLiteral("/driver")).toStdString(), &derr))
            return fail(QString::fromLocal8Bit(derr.c_str()));
        rootLock = takeLockFile(QFile::encodeName(rootDir + QStringLiteral("/driver/boardsim.lock")).toStdString(), &derr);
        if (rootLock < 0)
            return fail(QString::fromLocal8Bit(derr.c_str()));
        if (!makeOwnDirs(QFile::encodeName(rootDir + QStringLiteral("/download")).toStdString(), &derr))
            return fail(QString::fromLocal8Bit(derr.c_str()));
        QString cfgPath = rootDir + QStringLiteral("/driver/zelpci.cfg");
        if (!QFileInfo(cfgPath).exists() && !QFileInfo(cfgPath).isSymLink()) {
            std::string err;
            if (!writeWholeFile(QFile::encodeName(cfgPath).toStdString(), ZelCfg::defaultText(), true, &err))
                return fail(QString::fromLocal8Bit(err.c_str()));
        }
        QString err;
        auto text = readFile(cfgPath, &err);
        if (!text)
            return fail(err);
        std::string perr;
        auto zc = ZelCfg::parse(*text, &perr);
        if (!zc)
            return fail(cfgPath + QLatin1Char(':') + QString::fromStdString(perr));
        std::string ierr;
        if (!writeSampleImages((rootDir + QStringLiteral("/download")).toStdString(), true, &ierr))
            return fail(QString::fromStdString(ierr));

        auto path = [&](const std::string &v) {
            return QString::fromStdString(ZelCfg::resolve(rootDir.toStdString(), v));
        };
        auto eepromFor = [&](const QString &n) {
            return rootDir + QStringLiteral("/driver/") + n.toLower() + QStringLiteral(".eeprom");
        };
        struct DemoBoard {
            const char *name;
            BoardKind kind;
            const char *section;
            const char *key;
        };
        const DemoBoard demoBoards[] = {
            {"Tessel", BoardKind::Tessel, "dpram", "tessel"},
            {"Corvet", BoardKind::CorvetDpram, "dpram", "corvet"},
            {"Ravelin", BoardKind::Ravelin, "serial", "com1"},
            {"Dromon", BoardKind::Dromon, "serial", "com2"},
            {"OS9Target", BoardKind::Net0, "network", "os9target"},
            {"Ketch", BoardKind::Ketch, "network", "ketch"},
        };
        for (const auto &d : demoBoards) {
            const auto &section = std::string(d.section) == "dpram"    ? zc->dpram
                                  : std::string(d.section) == "serial" ? zc->serial
                                                                       : zc->network;
            auto it = section.find(d.key);
            if (it == section.end()) {
                std::fprintf(stderr, "meridan-boardsim: zelpci.cfg names no %s; %s not started\n",
                             d.key, d.name);
                continue;
            }
            BoardConfig c;
            c.name = QString::fromLatin1(d.name);
            c.kind = d.kind;
            c.version = defaultVersion(d.kind);
            c.bus = simBus;
            c.pace = !p.isSet(noPace);
            c.terminalMode = p.isSet(terminal);
            c.eepromPath = eepromFor(c.name);
            c.weakCells = weakCells;
            c.flaps = flaps;
            if (isDpramFile(d.kind)) {
                c.dpramPath = path(it->second);
            } else if (isSerial(d.kind)) {
                c.serialPath = path(it->second);
            } else {
                auto hp = ZelCfg::hostPort(it->second);
                if (!hp)
                    return fail(cfgPath + QStringLiteral(": bad host:port '") +
                                QString::fromStdString(it->second) + QLatin1Char('\''));
                c.tcpHost = QString::fromStdString(hp->first);
                c.tcpPort = hp->second;
                c.name = QString::fromStdString(zc->networkNames.at(d.key));
            }
            configs.push_back(c);
        }
    } else if (p.isSet(board)) {
        auto kind = kindFromName(p.value(board).toStdString());
        if (!kind)
            return fail(QStringLiteral("unknown board kind '%1'").arg(p.value(board)));
        BoardConfig c;
        c.kind = *kind;
        c.name = p.isSet(name) ? p.value(name) : QString::fromStdString(kindName(*kind));
        c.version = defaultVersion(*kind);
        if (p.isSet(firmware)) {
            auto v = parseVersion(p.value(firmware));
            if (!v)
                return fail(QStringLiteral("--firmware wants a version like 5.3"));
            c.version = *v;
        }
        c.bus = simBus;
        c.pace = !p.isSet(noPace);
        c.terminalMode = p.isSet(terminal);
        c.eepromPath = p.value(eeprom);
        c.weakCells = weakCells;
        c.flaps = flaps;
        if (isDpramFile(*kind)) {
            if (!p.isSet(dpram))
                return fail(QStringLiteral("--board %1 needs --dpram PATH").arg(p.value(board)));
            c.dpramPath = QDir(p.value(dpram)).absolutePath();
        } else if (isSerial(*kind)) {
            if (!p.isSet(serial))
                return fail(QStringLiteral("--board %1 needs --serial PATH").arg(p.value(board)));
            c.serialPath = QDir(p.value(serial)).absolutePath();
            // The link is replaced when it exists: only if no other simulator
            // serves it.
            std::string lerr;
            rootLock = takeLockFile(QFile::encodeName(c.serialPath + QStringLiteral(".lock")).toStdString(), &lerr);
            if (rootLock < 0)
                return fail(QString::fromLocal8Bit(lerr.c_str()));
        } else {
            if (!p.isSet(tcp))
                return fail(QStringLiteral("--board %1 needs --tcp PORT").arg(p.value(board)));
            QString v = p.value(tcp);
            auto hp = ZelCfg::hostPort(v.contains(QLatin1Char(':')) ? v.toStdString()
                                                                   : "127.0.0.1:" + v.toStdString());
            if (!hp)
                return fail(QStringLiteral("--tcp wants [HOST:]PORT"));
            c.tcpHost = QString::fromStdString(hp->first);
            c.tcpPort = hp->second;
        }
        configs.push_back(c);
    } else {
        return fail(QStringLiteral("give --demo --root DIR, or --board KIND with its connection (see --help)"));
    }

    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, gSignalFd) != 0)
        return fail(QStringLiteral("socketpair failed"));
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    // A host that vanishes mid-write must never take the board down with it.
    ::signal(SIGPIPE, SIG_IGN);
    QSocketNotifier sigNotifier(gSignalFd[0], QSocketNotifier::Read);
    QObject::connect(&sigNotifier, &QSocketNotifier::activated, &app, [&] {
        char c;
        [[maybe_unused]] auto n = ::read(gSignalFd[0], &c, 1);
        QCoreApplication::quit();
    });

    // The network boards first: a TCP port that is taken ends the start
    // before any file or link is made.
    std::vector<std::unique_ptr<Board>> boards(configs.size());
    for (bool network : {true, false}) {
        for (std::size_t i = 0; i < configs.size(); ++i) {
            if (isNetwork(configs[i].kind) != network)
                continue;
            auto b = std::make_unique<Board>(configs[i]);
            QString err;
            if (!b->start(&err)) {
                boards.clear(); // removes what the boards already created
                return fail(configs[i].name + QStringLiteral(": ") + err);
            }
            boards[i] = std::move(b);
        }
    }

    QString statePath = p.isSet(state) ? QDir(p.value(state)).absolutePath() : QString();
    if (!statePath.isEmpty()) {
        const std::string refusal = refuseLink(QFile::encodeName(statePath).toStdString());
        if (!refusal.empty()) {
            boards.clear();
            return fail(QString::fromLocal8Bit(refusal.c_str()));
        }
    }
    QTimer stateTimer;
    stateTimer.setSingleShot(true);
    stateTimer.setInterval(20);
    // The snapshot is replaced whole or not at all: a reader never sees half of
    // one, also when the disk is full. A failure is told once, not per change.
    bool stateFailed = false;
    auto writeState = [&] {
        QJsonArray arr;
        for (const auto &b : boards)
            arr.append(b->snapshot());
        QJsonObject top;
        top[QStringLiteral("boards")] = arr;
        std::string err;
        const bool ok = writeWholeFile(QFile::encodeName(statePath).toStdString(),
                                       QJsonDocument(top).toJson().toStdString(), false, &err);
        if (!ok && !stateFailed)
            std::fprintf(stderr, "meridan-boardsim: state not written: %s\n", err.c_str());
        stateFailed = !ok;
    };
    if (!statePath.isEmpty()) {
        QObject::connect(&stateTimer, &QTimer::timeout, writeState);
        for (const auto &b : boards)
            QObject::connect(b.get(), &Board::changed, &stateTimer, [&] {
                if (!stateTimer.isActive())
                    stateTimer.start();
            });
        writeState();
    }

    for (const auto &b : boards) {
        std::printf("board %s %s %s\n", qPrintable(b->config().name),
                    kindName(b->config().kind).c_str(), qPrintable(b->endpoint()));
        if (!p.isSet(demo) && isNetwork(b->config().kind))
            std::printf("tcp-port %u\n", b->tcpPort());
    }
    std::printf("ready\n");
    std::fflush(stdout);

    int rc = app.exec();
    boards.clear();
    if (!statePath.isEmpty())
        QFile::remove(statePath);
    if (p.isSet(serial) && !p.isSet(demo))
        QFile::remove(QDir(p.value(serial)).absolutePath() + QStringLiteral(".lock"));
    if (rootLock >= 0)
        ::close(rootLock);
    return rc;
}
