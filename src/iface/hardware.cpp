// SPDX-License-Identifier: GPL-3.0-or-later
#include "iface/hardware.h"

#include "core/numbers.h"
#include "core/paths.h"
#include "core/pump.h"
#include "core/texts.h"
#include "iface/dpram_link.h"
#include "iface/logging.h"
#include "iface/network_link.h"
#include "iface/serial_links.h"
#include "iface/zelpci_cfg.h"

namespace meridan::iface {

namespace {

using Kind = HwChoice::Kind;

HwChoice Choice(Kind kind, BoardModel model = BoardModel::Ravelin, int port = 0, int variant = 0)
{
    HwChoice c;
    c.kind = kind;
    c.model = model;
    c.port = port;
    c.variant = variant;
    return c;
}

std::vector<HwItem> MakeItems()
{
    const auto L = [](const char *s) { return QString::fromUtf8(s); };
    std::vector<HwItem> items = {
        {L("noHW"), nullptr, L("no Hardware"), L("keine"), L("none"), Choice(Kind::None)},
        {L("Tessel"), nullptr, L("Tessel/DPX"), {}, L("tessel"), Choice(Kind::Tessel)},
        {L("CorvetCom1"), "Corvet", L("Corvet on COM1"), L("Corvet an COM1"), L("corvet:com1"), Choice(Kind::Serial, BoardModel::Corvet, 1)},
        {L("CorvetCom2"), "Corvet", L("Corvet on COM2"), L("Corvet an COM2"), L("corvet:com2"), Choice(Kind::Serial, BoardModel::Corvet, 2)},
        {L("CorvetDPR"), "Corvet", L("DP-Ram"), {}, L("corvet-dpram"), Choice(Kind::CorvetDpram, BoardModel::Corvet)},
        {L("RavelinCom1"), "Ravelin", L("Ravelin on COM1"), L("Ravelin an COM1"), L("ravelin:com1"), Choice(Kind::Serial, BoardModel::Ravelin, 1)},
        {L("RavelinCom2"), "Ravelin", L("Ravelin on COM2"), L("Ravelin an COM2"), L("ravelin:com2"), Choice(Kind::Serial, BoardModel::Ravelin, 2)},
        {L("RavelinTCP"), "Ravelin", L("TCP/IP"), {}, L("ravelin-tcp"), Choice(Kind::Network, BoardModel::Ravelin, 0, 0)},
        {L("DromonCom1"), "Dromon", L("Dromon on COM1"), L("Dromon an COM1"), L("dromon:com1"), Choice(Kind::Serial, BoardModel::Dromon, 1)},
        {L("DromonCom2"), "Dromon", L("Dromon on COM2"), L("Dromon an COM2"), L("dromon:com2"), Choice(Kind::Serial, BoardModel::Dromon, 2)},
        {L("DromonTCP"), "Dromon", L("TCP/IP"), {}, L("dromon-tcp"), Choice(Kind::Network, BoardModel::Dromon, 0, 0)},
        {L("KetchTCP"), "Ketch", L("TCP/IP"), {}, L("ketch-tcp"), Choice(Kind::Network, BoardModel::Ravelin, 0, 1)},
    };
    for (int slot = 1; slot <= 15; ++slot) {
        HwChoice c = Choice(Kind::Vme);
        c.vmeSlot = slot;
        items.push_back({QStringLiteral("VMESLOT") + QString::number(slot, 16).toUpper(), "KetchDPR",
                         QStringLiteral("Slot %1").arg(slot), {}, QStringLiteral("vme:%1").arg(slot), c});
    }
    return items;
}

const QString kDefaultTarget = QStringLiteral("OS9Target");

QString LibraryVersionText(const DriverLibrary &d)
{
    const uint32_t v = d.PCI_GetDllVersion();
    return QStringLiteral("Zel Dll V%1.%2").arg(v / 256).arg(v % 256);
}

// Version and bus state over the DP-RAM (the direct and network links).
// Below firmware 5.0 there is no bus-state byte; a directly mapped board then
// shows "(Unknown)" for its version.
void ReadVersionAndState(Link &link, bool unknownBelow5, OpenResult &r)
{
    const DpramMap &map = link.map();
    const uint8_t v = map.versionByte >= 0 ? link.getByte(uint32_t(map.versionByte)) : 0;
    link.versionText = VersionText(v);
    link.firmwareVersion = ValNumber(link.versionText);
    if (link.firmwareVersion < 5.0) {
        if (unknownBelow5)
            link.versionText = QStringLiteral("(Unknown)");
        return;
    }
    r.mode = BusModeOfState(link.getByte(map.busState));
}

OpenResult OpenDpram(const HwChoice &c, LinkEnv &env, int16_t language, const std::function<void(const QString &)> &progress)
{
    OpenResult r;
    const bool corvet = c.kind == Kind::CorvetDpram;
    const QString noHardware = Tr(language, QStringLiteral("no hardware !"), QStringLiteral("keine Hardware !"));
    auto driver = std::make_unique<DriverLibrary>(env.root, env.pump);
    driver->deadline = &env.deadlineMs;
    const int32_t mapped = corvet ? driver->PCI_MapPciDevice(0x905010B5, 0x15A45, 0x2000)
        : c.kind == Kind::Vme     ? driver->PCI_VmeInit(1, c.vmeSlot)
                                  : driver->PCI_Init();
    r.status = noHardware;
    if (mapped == 0)
        return r;
    progress(LibraryVersionText(*driver));
    const DpramMap map = MapOf(c);
    if (corvet) {
        // The Corvet shows itself by its running firmware.
        if (driver->PCI_GetByte(map.startByte) != kReady)
            return r;
    } else {
        // The Tessel card's signature "ZEL".
        const uint32_t sig = uint32_t(map.signature);
        if (driver->PCI_GetByte(sig) != 'Z' || driver->PCI_GetByte(sig + 1) != 'E' || driver->PCI_GetByte(sig + 2) != 'L')
            return r;
    }
    auto link = std::make_unique<DpramLink>(env, TraitsFor(c), map, std::move(driver), !corvet);
    ReadVersionAndState(*link, true, r);
    r.eepromMenu = corvet;
    r.status = (corvet ? Tr(language, QStringLiteral("Corvet found DPM-Firmwareversion V"), QStringLiteral("Corvet erkannt DPM-Firmwareversion V"))
                       : Tr(language, QStringLiteral("Tessel/DPX found DPM-Firmwareversion V"),
                            QStringLiteral("Tessel/DPX erkannt DPM-Firmwareversion V")))
        + link->versionText;
    r.link = std::move(link);
    return r;
}

OpenResult OpenSerial(const HwChoice &c, LinkEnv &env, int16_t language)
{
    OpenResult r;
    const bool com1 = c.port == 1;
    const bool variant = c.model != BoardModel::Ravelin;
    if (!variant)
        r.eraseItem = true;
    const QString comName = QStringLiteral("Com%1").arg(c.port);
    const DpramMap map = MapOf(c);
    auto line = std::make_unique<SerialLine>(env.makeSerialIo ? env.makeSerialIo() : std::make_unique<QtSerialIo>(), env.pump, env.mbuf);
    line->onTimeout = env.onCommandTimeout;
    line->deadline = &env.deadlineMs;
    const QString device = DriverConfig::load(env.root).serialDevice(c.port);
    if (device.isEmpty() || !line->open(device, variant ? 19200 : 9600)) {
        qCDebug(lcSerial) << "cannot open" << device << line->errorText();
        r.status = QStringLiteral("Can´t open ") + comName;
        return r;
    }
    // The line is open: the EEPROM menu stays usable whether or not a master answers.
    r.eepromMenu = true;
    // The mode check of a Dromon or Corvet brings the line in step by
    // itself; a Ravelin's gets an empty command.
    if (variant)
        line->modeCheck();
    else
        line->resync();
    const auto noMaster = [&](const QString &text) {
        line->close();
        r.status = text;
        return std::move(r);
    };
    if (line->read(map.startByte) != kReady)
        return noMaster(com1 ? Tr(language, QStringLiteral("No Ravelin/Dromon on COM1"), QStringLiteral("Keine Ravelin/Dromon an COM1"))
                             : Tr(language, QStringLiteral("No Ravelin on COM2"), QStringLiteral("Keine Ravelin an COM2")));
    line->discardInput();
    line->send(QByteArrayLiteral("V"));
    if (!line->waitForBytes(3, kVersionReplyMs))
        return noMaster(Tr(language, QStringLiteral("No firmware version from %1: no answer to \"V\" within 2 s").arg(comName.toUpper()),
                           QStringLiteral("Keine Firmwareversion von %1: keine Antwort auf \"V\" in 2 s").arg(comName.toUpper())));
    const QByteArray text = line->readString();
    const double version = ValNumber(QLatin1StringView(text));
    const bool frames = version > 5.2;
    if (frames) {
        line->msgRequestCounter = 0;
        line->liveRequestCounter = 0;
        r.mode = BusModeOfState(line->read(map.busState));
    }

    std::unique_ptr<SerialLink> link = frames ? std::make_unique<FrameLink>(env, TraitsFor(c), map, std::move(line))
                                              : std::make_unique<SerialLink>(env, TraitsFor(c), map, std::move(line));
    // The version as the monitor sent it, but never more than a short, plain text.
    link->versionText = EchoText(QString::fromLatin1(text), 16);
    link->firmwareVersion = version;
    link->boardVariant = variant;
    r.status = (com1 ? Tr(language, QStringLiteral("Ravelin/Dromon on COM1 firmware version "),
                          QStringLiteral("Ravelin/Dromon an COM1 Firmware Version "))
                     : Tr(language, QStringLiteral("Ravelin on COM2 firmware version "),
                          QStringLiteral("Ravelin an COM2 Firmware Version ")))
        + link->versionText;
    r.link = std::move(link);
    return r;
}

OpenResult OpenNetwork(const HwChoice &c, LinkEnv &env, int16_t language, const std::function<void(const QString &)> &progress)
{
    OpenResult r;
    const bool variant = c.model == BoardModel::Dromon;
    const QString target = c.target.isEmpty() ? kDefaultTarget : c.target;
    auto driver = std::make_unique<DriverLibrary>(env.root, env.pump);
    const int32_t handle = driver->PCI_InitEx(target);
    // The original texts, with the target the user gave and what went wrong.
    const auto why = [&] { return QStringLiteral(" (") + driver->failure() + QLatin1Char(')'); };
    if (handle != kInitExOk) {
        r.status = QStringLiteral("Can´t open OS9Target") + why();
        return r;
    }
    progress(LibraryVersionText(*driver));
    env.pump.sleepMs(200);
    if (driver->PCI_GetDllVersion() < 131) {
        driver->PCI_DeInitEx(handle);
        r.status = QStringLiteral("Need ZELPCI.DLL Version > 2.02");
        return r;
    }
    // Connected: the EEPROM menu stays usable whether or not a master answers.
    r.eepromMenu = true;
    if (variant)
        driver->PCI_SetTimeOut(200, handle);
    auto link = std::make_unique<NetworkLink>(env, TraitsFor(c), MapOf(c), std::move(driver), handle);
    link->boardVariant = variant;
    const uint8_t start = link->getByte(link->map().startByte);
    if (start != kReady) {
        const QString failure = link->lost() ? link->faultText()
                                             : QStringLiteral("%1: the start byte reads %2, not 52 (\"R\")")
                                                   .arg(link->driver().endpoint(), HexUpper(start, 2));
        link->close(false);
        r.status = Tr(language, QStringLiteral("Ravelin/Ketch/Dromon not found"), QStringLiteral("Kein Ravelin/Ketch/Dromon gefunden"))
            + QStringLiteral(" (") + failure + QLatin1Char(')');
        return r;
    }
    ReadVersionAndState(*link, false, r);
    r.status = Tr(language, QStringLiteral("Ravelin/Ketch/Dromon on TCP/IP DPM-firmware V"),
                  QStringLiteral("Ravelin/Ketch/Dromon an TCP/IP DPM-Firmware V"))
        + link->versionText;
    r.link = std::move(link);
    return r;
}

} // namespace

LinkTraits TraitsFor(const HwChoice &c)
{
    LinkTraits t;
    t.eepromStartText = QStringLiteral("Start Ravelin from EEPROM");
    switch (c.kind) {
    case Kind::None: break;
    case Kind::Tessel:
    case Kind::Vme:
    case Kind::CorvetDpram: {
        const bool corvet = c.kind == Kind::CorvetDpram;
        t.kind = InterfaceKind::Dpram;
        t.displayName = corvet ? QStringLiteral("Corvet") : QStringLiteral("Tessel/DPX");
        t.lostText = QStringLiteral("Communicationtimeout from Tessel");
        t.pollMs = 100;
        t.runsAtConnect = corvet;
        t.liveProcessData = true;
        t.store = corvet ? ConfigStore::Job : ConfigStore::None;
        break;
    }
    case Kind::Serial:
        t.kind = c.port == 1 ? InterfaceKind::Com1 : InterfaceKind::Com2;
        t.displayName = c.port == 1 ? QStringLiteral("Ravelin COM1") : QStringLiteral("Ravelin COM2");
        t.lostText = QStringLiteral("Communicationtimeout from Ravelin/Dromon");
        t.pollMs = 250;
        t.lossClosesEeprom = true;
        t.store = c.model == BoardModel::Ravelin ? ConfigStore::EepromBytes : ConfigStore::Job;
        break;
    case Kind::Network:
        t.kind = InterfaceKind::Network;
        t.displayName = QStringLiteral("TCP/IP");
        t.lostText = QStringLiteral("Communicationtimeout from TCP Port");
        t.pollMs = 400;
        t.liveProcessData = true;
        t.store = c.model == BoardModel::Dromon ? ConfigStore::Job : ConfigStore::NetworkFile;
        t.eepromStartText = QStringLiteral("Start from local Configurationfile");
        break;
    }
    return t;
}

DpramMap MapOf(const HwChoice &c)
{
    switch (c.kind) {
    case Kind::CorvetDpram: return MapFor(MapVariant::Corvet);
    case Kind::Serial: return MapFor(MapVariant::Serial, c.model);
    case Kind::Network: return MapFor(c.variant == 1 ? MapVariant::Network1 : MapVariant::Network0, c.model);
    default: return MapFor(MapVariant::Tessel);
    }
}

bool AsksForTarget(const HwChoice &c)
{
    return c.kind == Kind::Network;
}

bool LocksCommands(const HwChoice &c)
{
    return c.kind != Kind::Tessel && c.kind != Kind::Vme;
}

bool GoodbyeBefore(const HwChoice &next)
{
    return next.kind != Kind::Serial;
}

bool SameBoard(const HwChoice &a, const HwChoice &b)
{
    return a.kind == b.kind && a.vmeSlot == b.vmeSlot && a.port == b.port && a.model == b.model && a.variant == b.variant;
}

const std::vector<HwMenu> &HardwareMenus()
{
    static const std::vector<HwMenu> menus = {
        {"Corvet", "Corvet-PCI", nullptr}, {"Ravelin", "Ravelin", nullptr}, {"Dromon", "Dromon", nullptr},
        {"Ketch", "Ketch", nullptr},       {"KetchDPR", "DP-Ram", "Ketch"},
    };
    return menus;
}

const std::vector<HwItem> &HardwareItems()
{
    static const std::vector<HwItem> items = MakeItems();
    return items;
}

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
    for (const HwItem &item : HardwareItems()) {
        if (AsksForTarget(item.choice)) {
            if (head != item.cliName)
                continue;
            if (colon >= 0 && tail.trimmed().isEmpty())
                return bad(QStringLiteral("an empty target name: write %1 or %1:TARGET").arg(item.cliName));
            HwChoice c = item.choice;
            c.target = tail.trimmed();
            return c;
        }
        if (n.toLower() == item.cliName)
            return item.choice;
    }
    if (head == QLatin1String("vme"))
        return bad(QStringLiteral("a VME slot is 1..15: vme:N"));
    for (const char *serial : {"ravelin", "dromon", "corvet"}) {
        if (head == QLatin1String(serial))
            return bad(QStringLiteral("%1 needs a port: %1:com1 or %1:com2").arg(QLatin1String(serial)));
    }
    return bad(QStringLiteral("unknown hardware name \"%1\"").arg(name));
}

OpenResult OpenLink(const HwChoice &choice, LinkEnv &env, int16_t language, const std::function<void(const QString &)> &progress)
{
    switch (choice.kind) {
    case Kind::Tessel:
    case Kind::Vme:
    case Kind::CorvetDpram: return OpenDpram(choice, env, language, progress);
    case Kind::Serial: return OpenSerial(choice, env, language);
    case Kind::Network: return OpenNetwork(choice, env, language, progress);
    case Kind::None: break;
    }
    return {};
}

} // namespace meridan::iface
