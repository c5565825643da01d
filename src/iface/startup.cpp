#include "iface/startup.h"

#include "core/context.h"
#include "core/texts.h"
#include "iface/board.h"
#include "iface/dpram.h"
#include "iface/logging.h"

namespace meridan::iface {

namespace {

QString FirmwareImage(const Context &ctx, const QString &name)
{
    const QString found = FindFileNoCase(ctx.root.downloadDir(), name);
    return found.isEmpty() ? ctx.root.downloadDir() + QLatin1Char('/') + name : found;
}

void ShowLoadError(Context &ctx, const QString &cpu, int32_t code)
{
    ctx.ui.message(ctx.tr(QStringLiteral("Error while loading %1:").arg(cpu),
                          QStringLiteral("Fehler beim Laden %1:").arg(cpu))
                       + NumText(code),
                   QStringLiteral("Loader:"), Icon::Critical);
}

} // namespace

bool StartUp(Context &ctx)
{
    Board *b = BoardOf(ctx);
    const DpramMap map = b ? b->map : MapFor(MapVariant::Tessel);

    // Stopping the master sends a Tessel card into its boot loader.
    SetByte(ctx, map.startByte, 1);
    PauseWithEvents(ctx, 300);

    if (b && ctx.st.interfaceKind == 1 && b->corvetFlag == 0 && map.loadRequest >= 0) {
        if (b->driver.PCI_GetByte(uint32_t(map.loadRequest)) == 1) {
            const int32_t r = b->driver.PCI_LoadCPU40(FirmwareImage(ctx, QStringLiteral("OS9PCI.lo")));
            if (r != 0)
                ShowLoadError(ctx, QStringLiteral("040"), r);
        }
        const int32_t r = b->driver.PCI_LoadCPU331(FirmwareImage(ctx, QStringLiteral("DPM1.lo")));
        if (r != 0)
            ShowLoadError(ctx, QStringLiteral("331"), r);
    }

    bool ready = false;
    int errors = 0;
    for (int round = 0; round < kReadyRounds; ++round) {
        if (GetByte(ctx, map.startByte) == kReady) {
            ready = true;
            break;
        }
        if (b && b->serialTimeout && ++errors > kReadyErrorLimit)
            break;
        ctx.pump.processEvents();
        ctx.pump.sleepMs(kReadyRoundMs);
    }
    if (!ready)
        ctx.ui.message(QStringLiteral("Profibus Init Timeout"), QStringLiteral("DPM1:"), Icon::Critical);

    return GetByte(ctx, map.startByte) != 0;
}

} // namespace meridan::iface
