#include "iface/connect.h"

#include "core/context.h"
#include "iface/board.h"
#include "iface/dpram.h"
#include "iface/logging.h"
#include "iface/serial.h"
#include "iface/zelpci_cfg.h"

namespace meridan::iface {

namespace {

const QString kDefaultTarget = QStringLiteral("OS9Target");

// The busy cursor for the length of one connection attempt.
struct Busy {
    Context &ctx;
    explicit Busy(Context &c) : ctx(c) { ctx.ui.setBusy(true); }
    ~Busy() { ctx.ui.setBusy(false); }
};

void BeginAttempt(Board &b)
{
    b.serialTimeout = false;
    b.frameMode = false;
}

// What UnlockCommands gives back to the EEPROM menu at the end of an attempt.
void EndAttempt(Board &b)
{
    b.view.eepromMenuEnabled = b.view.eepromMenuState != 0;
}

QString LibraryVersionText(const Board &b)
{
    const uint32_t v = b.driver.PCI_GetDllVersion();
    return QStringLiteral("Zel Dll V%1.%2").arg(v / 256).arg(v % 256);
}

// Version and bus state over the DP-RAM (kinds 1 and 4).
void ReadVersionAndState(Context &ctx, Board &b)
{
    const uint8_t v = b.map.versionByte >= 0 ? GetByte(ctx, uint32_t(b.map.versionByte)) : 0;
    b.versionText = VersionText(v);
    b.firmwareVersion = LeadingNumber(b.versionText.toLatin1());
    if (b.firmwareVersion < 5.0) {
        if (ctx.st.interfaceKind == 1)
            b.versionText = QStringLiteral("(Unknown)");
        return;
    }
    const QString state = BusStateText(GetByte(ctx, b.map.busState));
    if (!state.isEmpty())
        b.view.betriebsart = state;
}

void Fail(Context &ctx, Board &b, const QString &text)
{
    ctx.st.interfaceKind = 0;
    ctx.status(text);
    b.view.hwText.clear();
    b.view.betriebsart.clear();
    b.view.load = false;
    b.view.run = false;
}

} // namespace

QString VersionText(uint8_t v)
{
    return QStringLiteral("%1.%2").arg(v / 16).arg(v % 16);
}

QString BusStateText(uint8_t state)
{
    static const char *const names[] = {"Offline", "Stop", "Clear", "Operate"};
    return state < 4 ? QString::fromLatin1(names[state]) : QString();
}

void Disconnect(Context &ctx, bool noHardwareItem)
{
    Board *b = BoardOf(ctx);
    ctx.status(QString());
    if (b) {
        b->view.hwText.clear();
        b->view.betriebsart.clear();
        b->view.load = false;
        b->view.run = false;
        b->view.eepromMenuEnabled = false;
        b->view.eraseEnabled = false;
        b->view.eepromMenuState = 0;
        b->view.timerEnabled = false;
        const uint8_t kind = ctx.st.interfaceKind;
        if ((kind == 2 || kind == 3) && b->serial->isOpen()) {
            // A Dromon's or Corvet's monitor forgets its frame requests on "Q".
            if (b->boardVariant)
                SerialSend(ctx, QByteArrayLiteral("Q\r"));
            b->serial->close();
        } else if (kind == 4) {
            b->driver.PCI_DeInitEx(b->networkHandle);
        } else if (kind == 1) {
            b->driver.unmap();
        }
        if (noHardwareItem) {
            b->boardVariant = false;
            b->corvetFlag = 0;
        }
    }
    ctx.st.interfaceKind = 0;
}

bool ConnectTessel(Context &ctx, int vmeSlot)
{
    Board *b = BoardOf(ctx);
    if (!b)
        return false;
    Busy busy(ctx);
    // The item says which board this is: not a Corvet, whatever came before.
    b->vmeFlag = vmeSlot > 0 ? -1 : 0;
    b->corvetFlag = 0;
    Disconnect(ctx);
    BeginAttempt(*b);
    const QString noHardware = ctx.tr(QStringLiteral("no hardware !"), QStringLiteral("keine Hardware !"));
    const int32_t mapped = b->vmeFlag ? b->driver.PCI_VmeInit(1, vmeSlot) : b->driver.PCI_Init();
    if (mapped == 0) {
        Fail(ctx, *b, noHardware);
        EndAttempt(*b);
        return false;
    }
    ctx.status(LibraryVersionText(*b));
    b->map = MapFor(MapVariant::Tessel);
    const uint32_t sig = uint32_t(b->map.signature);
    if (b->driver.PCI_GetByte(sig) != 'Z' || b->driver.PCI_GetByte(sig + 1) != 'E'
        || b->driver.PCI_GetByte(sig + 2) != 'L') {
        b->driver.unmap();
        Fail(ctx, *b, noHardware);
        EndAttempt(*b);
        return false;
    }
    ctx.st.interfaceKind = 1;
    ReadVersionAndState(ctx, *b);
    b->view.hwText = b->versionText;
    b->view.timerEnabled = true;
    b->view.timerInterval = 100;
    ctx.status(ctx.tr(QStringLiteral("Tessel/DPX found DPM-Firmwareversion V"),
                      QStringLiteral("Tessel/DPX erkannt DPM-Firmwareversion V"))
               + b->versionText);
    EndAttempt(*b);
    return true;
}

bool ConnectCorvetDpram(Context &ctx)
{
    Board *b = BoardOf(ctx);
    if (!b)
        return false;
    Busy busy(ctx);
    b->corvetFlag = -1;
    Disconnect(ctx);
    BeginAttempt(*b);
    const QString noHardware = ctx.tr(QStringLiteral("no hardware !"), QStringLiteral("keine Hardware !"));
    if (b->driver.PCI_MapPciDevice(0x905010B5, 0x15A45, 0x2000) == 0) {
        Fail(ctx, *b, noHardware);
        EndAttempt(*b);
        return false;
    }
    ctx.status(LibraryVersionText(*b));
    b->map = MapFor(MapVariant::Corvet);
    if (b->driver.PCI_GetByte(b->map.startByte) != kReady) {
        b->driver.unmap();
        Fail(ctx, *b, noHardware);
        EndAttempt(*b);
        return false;
    }
    ctx.st.interfaceKind = 1;
    b->view.eepromMenuState = -1;
    ReadVersionAndState(ctx, *b);
    b->view.hwText = b->versionText;
    b->view.load = true;
    b->view.run = true;
    b->view.timerEnabled = true;
    b->view.timerInterval = 100;
    ctx.status(ctx.tr(QStringLiteral("Corvet found DPM-Firmwareversion V"),
                      QStringLiteral("Corvet erkannt DPM-Firmwareversion V"))
               + b->versionText);
    EndAttempt(*b);
    return true;
}

bool ConnectSerial(Context &ctx, int port, BoardModel model)
{
    Board *b = BoardOf(ctx);
    if (!b || (port != 1 && port != 2))
        return false;
    Busy busy(ctx);
    b->boardVariant = model != BoardModel::Ravelin;
    b->corvetFlag = model == BoardModel::Corvet ? -1 : 0;
    b->model = model;

    const uint8_t kind = ctx.st.interfaceKind;
    if (b->serial->isOpen() || kind == 2 || kind == 3) {
        b->serial->close();
        b->view.eepromMenuEnabled = false;
        b->view.eepromMenuState = 0;
    } else if (kind == 4) {
        b->driver.PCI_DeInitEx(b->networkHandle);
    }
    ctx.st.interfaceKind = 0;
    BeginAttempt(*b);

    b->serialPortNumber = port;
    b->map = MapFor(MapVariant::Serial, model);
    const int baud = b->boardVariant ? 19200 : 9600;
    if (model == BoardModel::Ravelin)
        b->view.eraseEnabled = true;
    const QString comName = QStringLiteral("Com%1").arg(port);
    const QString device = DriverConfig::load(ctx.root).serialDevice(port);
    if (device.isEmpty() || !b->serial->open(device, baud)) {
        qCDebug(lcSerial) << "cannot open" << device << b->serial->errorText();
        ctx.status(QStringLiteral("Can´t open ") + comName);
        b->view.eepromMenuEnabled = false;
        b->view.eepromMenuState = 0;
        EndAttempt(*b);
        return false;
    }

    b->view.eepromMenuState = -1;
    ctx.st.interfaceKind = uint8_t(port + 1);
    b->view.eepromMenuEnabled = true;
    if (b->boardVariant)
        SerialModeCheck(ctx);

    const bool com1 = port == 1;
    auto noMaster = [&](const QString &text) {
        Fail(ctx, *b, text);
        b->serial->close();
        EndAttempt(*b);
        return false;
    };
    if (SerRead(ctx, b->map.startByte) != kReady)
        return noMaster(com1 ? ctx.tr(QStringLiteral("No Ravelin/Dromon on COM1"), QStringLiteral("Keine Ravelin/Dromon an COM1"))
                             : ctx.tr(QStringLiteral("No Ravelin on COM2"), QStringLiteral("Keine Ravelin an COM2")));

    b->serial->discardInput();
    SerialSend(ctx, QByteArrayLiteral("V"));
    if (!SerialWaitForBytes(ctx, 3, kVersionReplyMs))
        return noMaster(ctx.tr(QStringLiteral("No firmware version from %1: no answer to \"V\" within 2 s").arg(comName.toUpper()),
                               QStringLiteral("Keine Firmwareversion von %1: keine Antwort auf \"V\" in 2 s").arg(comName.toUpper())));
    const QByteArray text = ReadString(ctx);
    b->versionText = QString::fromLatin1(text);
    b->firmwareVersion = LeadingNumber(text);
    if (b->firmwareVersion > 5.2) {
        b->frameMode = true;
        b->msgRequestCounter = 0;
        b->liveRequestCounter = 0;
        const QString state = BusStateText(SerRead(ctx, b->map.busState));
        if (!state.isEmpty())
            b->view.betriebsart = state;
    }
    ctx.status((com1 ? ctx.tr(QStringLiteral("Ravelin/Dromon on COM1 firmware version "),
                              QStringLiteral("Ravelin/Dromon an COM1 Firmware Version "))
                     : ctx.tr(QStringLiteral("Ravelin on COM2 firmware version "),
                              QStringLiteral("Ravelin an COM2 Firmware Version ")))
               + b->versionText);
    b->view.hwText = b->versionText;
    b->view.load = true;
    b->view.run = true;
    b->view.timerEnabled = true;
    b->view.timerInterval = 250;
    EndAttempt(*b);
    return true;
}

bool ConnectNetwork(Context &ctx, int variant, BoardModel model, const QString &target)
{
    Board *b = BoardOf(ctx);
    if (!b)
        return false;
    Busy busy(ctx);
    b->boardVariant = model == BoardModel::Dromon;
    b->corvetFlag = 0;
    b->model = model;
    Disconnect(ctx);
    BeginAttempt(*b);
    b->targetName = target.isEmpty() ? kDefaultTarget : target;

    b->networkHandle = b->driver.PCI_InitEx(b->targetName);
    if (b->networkHandle != kInitExOk) {
        ctx.status(QStringLiteral("Can´t open OS9Target"));
        b->view.eepromMenuEnabled = false;
        b->view.eepromMenuState = 0;
        EndAttempt(*b);
        return false;
    }
    b->view.eepromMenuState = -1;
    b->view.eepromMenuEnabled = true;
    ctx.status(LibraryVersionText(*b));
    ctx.pump.sleepMs(200);
    if (b->driver.PCI_GetDllVersion() < 131) {
        ctx.status(QStringLiteral("Need ZELPCI.DLL Version > 2.02"));
        b->view.eepromMenuEnabled = false;
        b->view.eepromMenuState = 0;
        ctx.st.interfaceKind = 0;
        b->driver.PCI_DeInitEx(b->networkHandle);
        EndAttempt(*b);
        return false;
    }
    if (b->boardVariant)
        b->driver.PCI_SetTimeOut(200, b->networkHandle);
    b->map = MapFor(variant == 1 ? MapVariant::Network1 : MapVariant::Network0, model);
    ctx.st.interfaceKind = 4;
    if (GetByte(ctx, b->map.startByte) != kReady) {
        b->driver.PCI_DeInitEx(b->networkHandle);
        Fail(ctx, *b, ctx.tr(QStringLiteral("Ravelin/Ketch/Dromon not found"), QStringLiteral("Kein Ravelin/Ketch/Dromon gefunden")));
        b->serialTimeout = false;
        EndAttempt(*b);
        return false;
    }
    ReadVersionAndState(ctx, *b);
    b->view.hwText = b->versionText;
    b->view.load = true;
    b->view.run = true;
    b->view.timerEnabled = true;
    b->view.timerInterval = 400;
    ctx.status(ctx.tr(QStringLiteral("Ravelin/Ketch/Dromon on TCP/IP DPM-firmware V"),
                      QStringLiteral("Ravelin/Ketch/Dromon an TCP/IP DPM-Firmware V"))
               + b->versionText);
    EndAttempt(*b);
    return true;
}

} // namespace meridan::iface
