#include "iface/hwname.h"

#include "core/context.h"
#include "iface/connect.h"

namespace meridan::iface {

std::optional<HwChoice> ParseHwName(const QString &name, QString *error)
{
    auto bad = [&](const QString &why) -> std::optional<HwChoice> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    const QString n = name.trimmed();
    const int colon = n.indexOf(QLatin1Char(':'));
    const QString head = (colon < 0 ? n : n.left(colon)).toLower();
    const QString tail = colon < 0 ? QString() : n.mid(colon + 1);
    HwChoice c;

    if (head == QLatin1String("none") && colon < 0)
        return c;
    if (head == QLatin1String("tessel") && colon < 0) {
        c.kind = HwChoice::Kind::Tessel;
        return c;
    }
    if (head == QLatin1String("corvet-dpram") && colon < 0) {
        c.kind = HwChoice::Kind::CorvetDpram;
        return c;
    }
    if (head == QLatin1String("vme")) {
        bool ok = false;
        const int slot = tail.toInt(&ok);
        if (!ok || slot < 1 || slot > 15)
            return bad(QStringLiteral("a VME slot is 1..15: vme:N"));
        c.kind = HwChoice::Kind::Vme;
        c.vmeSlot = slot;
        return c;
    }
    const struct {
        const char *name;
        BoardModel model;
    } serial[] = {{"ravelin", BoardModel::Ravelin}, {"dromon", BoardModel::Dromon}, {"corvet", BoardModel::Corvet}};
    for (const auto &s : serial) {
        if (head != QLatin1String(s.name))
            continue;
        const QString p = tail.toLower();
        if (p != QLatin1String("com1") && p != QLatin1String("com2"))
            return bad(QStringLiteral("%1 needs a port: %1:com1 or %1:com2").arg(QLatin1String(s.name)));
        c.kind = HwChoice::Kind::Serial;
        c.model = s.model;
        c.port = p == QLatin1String("com1") ? 1 : 2;
        return c;
    }
    const struct {
        const char *name;
        BoardModel model;
        int variant;
    } tcp[] = {{"ravelin-tcp", BoardModel::Ravelin, 0}, {"dromon-tcp", BoardModel::Dromon, 0}, {"ketch-tcp", BoardModel::Ravelin, 1}};
    for (const auto &t : tcp) {
        if (head != QLatin1String(t.name))
            continue;
        if (colon >= 0 && tail.trimmed().isEmpty())
            return bad(QStringLiteral("an empty target name: write %1 or %1:TARGET").arg(QLatin1String(t.name)));
        c.kind = HwChoice::Kind::Network;
        c.model = t.model;
        c.variant = t.variant;
        c.target = tail.trimmed();
        return c;
    }
    return bad(QStringLiteral("unknown hardware name \"%1\"").arg(name));
}

QString HwNameHelp()
{
    return QStringLiteral(
        "  none                  no hardware\n"
        "  tessel                Tessel/DPX card (DP-RAM)\n"
        "  vme:N                 board in VME slot N, 1..15 (DP-RAM)\n"
        "  corvet-dpram          Corvet board (DP-RAM)\n"
        "  ravelin:com1|com2     Ravelin on a serial line, 9600 baud\n"
        "  dromon:com1|com2      Dromon on a serial line, 19200 baud\n"
        "  corvet:com1|com2      Corvet on a serial line, 19200 baud\n"
        "  ravelin-tcp[:TARGET]  Ravelin over TCP/IP (default target OS9Target)\n"
        "  dromon-tcp[:TARGET]   Dromon over TCP/IP\n"
        "  ketch-tcp[:TARGET]    Ketch over TCP/IP\n"
        "  TARGET is a name from ROOT/driver/zelpci.cfg [network], or host[:port].\n");
}

std::optional<HwChoice> TakeHwOption(QStringList &args, QString *error)
{
    QString name;
    bool given = false;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--hw") && i + 1 < args.size()) {
            name = args[i + 1];
            args.remove(i, 2);
            given = true;
            break;
        }
        if (args[i].startsWith(QLatin1String("--hw="))) {
            name = args[i].mid(5);
            args.removeAt(i);
            given = true;
            break;
        }
    }
    if (!given) {
        if (error)
            *error = QStringLiteral("--hw HW is required");
        return std::nullopt;
    }
    return ParseHwName(name, error);
}

std::optional<uint32_t> ParseNumberArg(const QString &text, uint32_t max)
{
    const QString t = text.trimmed();
    bool ok = false;
    const uint32_t v = t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? t.mid(2).toUInt(&ok, 16)
                                                                               : t.toUInt(&ok, 10);
    if (!ok || v > max)
        return std::nullopt;
    return v;
}

bool ConnectHw(Context &ctx, const HwChoice &c)
{
    switch (c.kind) {
    case HwChoice::Kind::None:
        Disconnect(ctx, true);
        return true;
    case HwChoice::Kind::Tessel:
        return ConnectTessel(ctx, 0);
    case HwChoice::Kind::Vme:
        return ConnectTessel(ctx, c.vmeSlot);
    case HwChoice::Kind::CorvetDpram:
        return ConnectCorvetDpram(ctx);
    case HwChoice::Kind::Serial:
        return ConnectSerial(ctx, c.port, c.model);
    case HwChoice::Kind::Network:
        return ConnectNetwork(ctx, c.variant, c.model, c.target);
    }
    return false;
}

} // namespace meridan::iface
