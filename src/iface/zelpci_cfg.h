// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// driver/zelpci.cfg: which file, device or socket stands for each board.
// DP-RAM boards map to files, COM1/COM2 to serial device paths, network
// target names to host:port. Entries the file leaves out keep the defaults
// that meridan-boardsim's demo creates, so a demo needs no editing.
#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <optional>

namespace meridan {
class Root;
}

namespace meridan::iface {

struct Endpoint {
    QString host;
    quint16 port = 0;
};

class DriverConfig {
public:
    // The demo's default file, byte for byte.
    static const char *const kDefaultText;
    // Default TCP port for a target given as a bare host name.
    static constexpr quint16 kDefaultPort = 17301;

    // Reads ROOT/driver/zelpci.cfg over the defaults; a missing file leaves
    // the defaults. Lines it cannot read are skipped with a warning.
    static DriverConfig load(const Root &root);
    // Parses `text` over the defaults; relative paths are resolved in `rootDir`.
    static DriverConfig parse(const QByteArray &text, const QString &rootDir);

    // The DP-RAM file of "Tessel", "VME1".."VME15" or "Corvet"; empty when none.
    QString dpramFile(const QString &key) const;
    // The device path of "COM1" or "COM2"; empty when none.
    QString serialDevice(int port) const;
    // A target name resolved through the [network] section, else taken as
    // "host" or "host:port". nullopt for an empty or malformed name.
    std::optional<Endpoint> resolveTarget(const QString &target) const;
    // The names of the [network] section, as the file spells them, in the
    // order they first appear (the defaults first).
    QStringList networkTargets() const { return networkNames_; }

    // Lines that were skipped, with their line numbers.
    QStringList warnings;

private:
    void apply(const QByteArray &text, const QString &rootDir, bool collectWarnings);
    QMap<QString, QString> dpram_;   // lower-case key -> path
    QMap<QString, QString> serial_;  // "com1"/"com2" -> path
    QMap<QString, QString> network_; // lower-case target -> "host:port"
    QStringList networkNames_;
};

// "host:port" or "host" (default port); an IPv6 literal as "[::1]:17302",
// "[::1]" or "::1"; nullopt when the port is not 1..65535.
std::optional<Endpoint> ParseEndpoint(const QString &text, quint16 defaultPort);
// "host:port", with an IPv6 literal in brackets.
QString EndpointText(const Endpoint &e);

} // namespace meridan::iface
