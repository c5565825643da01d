// SPDX-License-Identifier: GPL-3.0-or-later
#include "iface/zelpci_cfg.h"

#include "core/paths.h"
#include "core/readfile.h"
#include "core/texts.h"
#include "iface/logging.h"

#include <QDir>

namespace meridan::iface {

const char *const DriverConfig::kDefaultText = "[dpram]\n"
                                               "Tessel=driver/tessel.dpram\n"
                                               "VME1=driver/vme1.dpram\n"
                                               "Corvet=driver/corvet.dpram\n"
                                               "[serial]\n"
                                               "COM1=driver/com1\n"
                                               "COM2=driver/com2\n"
                                               "[network]\n"
                                               "OS9Target=127.0.0.1:17301\n"
                                               "Ketch=127.0.0.1:17302\n";

namespace {

QString ResolvePath(const QString &value, const QString &rootDir)
{
    const QString p = NormalizeSeparators(value);
    if (p.isEmpty())
        return {};
    if (QDir::isAbsolutePath(p))
        return QDir::cleanPath(p);
    return QDir::cleanPath(rootDir + QLatin1Char('/') + p);
}

} // namespace

DriverConfig DriverConfig::load(const Root &root)
{
    DriverConfig cfg = parse({}, root.dir());
    const QString file = FindFileNoCase(root.driverDir(), QStringLiteral("zelpci.cfg"));
    if (file.isEmpty())
        return cfg;
    // A configuration file is a few hundred bytes; anything far larger is not one.
    QString why;
    const auto text = ReadRegularFile(file, 1 << 20, &why);
    if (!text) {
        cfg.warnings << QStringLiteral("cannot be read: %1").arg(why);
        qCWarning(lcDriver).noquote() << file << cfg.warnings.last();
        return cfg;
    }
    cfg.apply(*text, root.dir(), true);
    for (const QString &w : cfg.warnings)
        qCWarning(lcDriver).noquote() << file << w;
    return cfg;
}

DriverConfig DriverConfig::parse(const QByteArray &text, const QString &rootDir)
{
    DriverConfig cfg;
    cfg.apply(kDefaultText, rootDir, false);
    cfg.apply(text, rootDir, true);
    return cfg;
}

void DriverConfig::apply(const QByteArray &text, const QString &rootDir, bool collectWarnings)
{
    QString section;
    const QList<QByteArray> lines = text.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = QString::fromUtf8(lines[i]).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            section = line.mid(1, line.size() - 2).trimmed().toLower();
            continue;
        }
        const int eq = line.indexOf(QLatin1Char('='));
        const QString key = eq > 0 ? line.left(eq).trimmed().toLower() : QString();
        if (key.isEmpty()) {
            if (collectWarnings)
                warnings << QStringLiteral("line %1: not a section or key=value: %2").arg(i + 1).arg(EchoText(line));
            continue;
        }
        const QString value = line.mid(eq + 1).trimmed();
        if (section == QLatin1String("dpram"))
            dpram_[key] = ResolvePath(value, rootDir);
        else if (section == QLatin1String("serial"))
            serial_[key] = ResolvePath(value, rootDir);
        else if (section == QLatin1String("network")) {
            if (!network_.contains(key))
                networkNames_ << line.left(eq).trimmed();
            network_[key] = value;
        }
    }
}

QString DriverConfig::dpramFile(const QString &key) const
{
    return dpram_.value(key.toLower());
}

QString DriverConfig::serialDevice(int port) const
{
    return serial_.value(QStringLiteral("com%1").arg(port));
}

std::optional<Endpoint> ParseEndpoint(const QString &text, quint16 defaultPort)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    QString host = t;
    QString port;
    if (t.startsWith(QLatin1Char('['))) {
        // An IPv6 literal in brackets, "[::1]:17302" or "[::1]".
        const int close = t.indexOf(QLatin1Char(']'));
        if (close < 0)
            return std::nullopt;
        host = t.mid(1, close - 1).trimmed();
        const QString rest = t.mid(close + 1).trimmed();
        if (!rest.isEmpty() && !rest.startsWith(QLatin1Char(':')))
            return std::nullopt;
        if (!rest.isEmpty())
            port = rest.mid(1);
        if (host.isEmpty() || host.contains(QLatin1Char('[')) || host.contains(QLatin1Char(']')))
            return std::nullopt;
        if (rest.isEmpty())
            return Endpoint{host, defaultPort};
    } else if (t.count(QLatin1Char(':')) > 1) {
        // An IPv6 literal without brackets has no port.
        return Endpoint{t, defaultPort};
    } else {
        const int colon = t.lastIndexOf(QLatin1Char(':'));
        if (colon < 0)
            return Endpoint{t, defaultPort};
        host = t.left(colon).trimmed();
        port = t.mid(colon + 1);
    }
    bool ok = false;
    const uint number = port.trimmed().toUInt(&ok);
    if (host.isEmpty() || !ok || number == 0 || number > 65535)
        return std::nullopt;
    return Endpoint{host, quint16(number)};
}

QString EndpointText(const Endpoint &e)
{
    return (e.host.contains(QLatin1Char(':')) ? QLatin1Char('[') + e.host + QLatin1Char(']') : e.host)
        + QLatin1Char(':') + QString::number(e.port);
}

std::optional<Endpoint> DriverConfig::resolveTarget(const QString &target) const
{
    const QString name = target.trimmed();
    const auto it = network_.constFind(name.toLower());
    if (it != network_.constEnd())
        return ParseEndpoint(*it, kDefaultPort);
    return ParseEndpoint(name, kDefaultPort);
}

} // namespace meridan::iface
