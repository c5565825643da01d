// SPDX-License-Identifier: GPL-3.0-or-later
// The EEPROM commands: upload (read a board's configuration back), burn and
// erase.
#include "busops/eeprom.h"
#include "cli/session.h"
#include "config/configfile.h"

#include <QFileInfo>

namespace meridan::cli {

namespace {

// A burn on the job way downloads first; the byte-wise way writes and reads
// back up to 25,000 bytes at 9600 baud.
constexpr qint64 kBurnMs = 15 * 60 * 1000;
constexpr qint64 kReadMs = 10 * 60 * 1000;

QJsonObject Records(const BusOutcome &out)
{
    QJsonObject o;
    if (out.loaded >= 0)
        o[QStringLiteral("slaves_loaded")] = out.loaded;
    if (out.mode)
        o[QStringLiteral("mode")] = iface::BusModeText(*out.mode);
    return o;
}

} // namespace

int CmdUpload(Invocation &inv)
{
    // The walk over the stations goes as fast as the master answers, unless
    // it is to be paced by the status poll as in the window.
    inv.ctx.st.fastDownload = !inv.isSet(QStringLiteral("tick"));
    const QString out = inv.ctx.root.mapPath(inv.args[0]);
    if (QFileInfo(out).isDir())
        return inv.finish(Outcome::Fail(Failure::BadInput, inv.args[0] + QStringLiteral(" is a folder")));
    Session bus(inv);
    BusOutcome result = bus.connect();
    if (result) {
        bus.deadline(kReadMs);
        inv.console.progress(true);
        Eeprom ee(inv.ctx, bus.ops);
        result = ee.Upload_Click(); // nothing valid arrived: no file written
        inv.console.progress(false);
    }
    if (result) {
        if (SaveConfigFile(inv.ctx, out)) {
            result.written << out;
            if (!inv.json)
                inv.out << "wrote " << out << Qt::endl;
        } else {
            const int loaded = result.loaded;
            result = Outcome::Fail(Failure::Refused, inv.ctx.st.melde1);
            result.loaded = loaded;
        }
    }
    return inv.finish(result, Records(result));
}

int CmdBurn(Invocation &inv)
{
    if (const auto bad = LoadConfiguration(inv, inv.args[0]))
        return inv.finish(*bad);
    Session bus(inv);
    BusOutcome result = bus.connect();
    if (result) {
        const qint64 deadline = bus.deadline(kBurnMs);
        inv.console.progress(true);
        Eeprom ee(inv.ctx, bus.ops);
        result = ee.StoreConfiguration(deadline);
        inv.console.progress(false);
    }
    if (result && !inv.json)
        inv.out << "burnt " << inv.args[0] << Qt::endl;
    return inv.finish(result, Records(result));
}

int CmdErase(Invocation &inv)
{
    Session bus(inv);
    BusOutcome result = bus.connect();
    if (result) {
        Eeprom ee(inv.ctx, bus.ops);
        result = ee.EE_Erase_Click();
    }
    if (result && !inv.json)
        inv.out << "erased" << Qt::endl;
    return inv.finish(result);
}

} // namespace meridan::cli
