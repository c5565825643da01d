// SPDX-License-Identifier: GPL-3.0-or-later
#include "io/io_view.h"

#include "core/context.h"
#include "core/texts.h"

namespace meridan::io {

namespace {

QString ModuleTitle(const Context &ctx, const IoModuleRow &m)
{
    QString kind;
    const bool in = m.id.inputBytes > 0, out = m.id.outputBytes > 0;
    if (in && out)
        kind = ctx.tr(QStringLiteral("inputs and outputs"), QString::fromUtf8("Ein- und Ausgänge"));
    else if (in)
        kind = ctx.tr(QStringLiteral("inputs"), QStringLiteral("Eingänge"));
    else if (out)
        kind = ctx.tr(QStringLiteral("outputs"), QString::fromUtf8("Ausgänge"));
    else
        kind = ctx.tr(QStringLiteral("no data"), QStringLiteral("keine Daten"));
    return QStringLiteral("%1  %2").arg(m.number).arg(m.name.isEmpty() ? kind : m.name + QStringLiteral(" (") + kind + QLatin1Char(')'));
}

} // namespace

IoView MakeIoView(const Context &ctx, const IoTest &test, int intervalMs)
{
    const IoStation &s = test.station();
    const IoTest::Values &v = test.values();
    IoView view;
    view.caption = ctx.tr(QStringLiteral("I/O test  Station %1"), QStringLiteral("E/A-Test  Station %1")).arg(s.station);
    view.stale = v.stale;
    view.live = v.valid && !v.stale;
    view.anyForced = test.anyForced();
    const bool operate = view.live && v.mode == iface::BusMode::Operate;

    if (!s.usable())
        view.status = ctx.tr(QStringLiteral("Station %1 cannot be tested: %2"), QStringLiteral("Station %1 ist nicht testbar: %2")).arg(s.station).arg(s.problem);
    else if (!test.boardConnected())
        view.status = ctx.tr(QStringLiteral("no board connected: choose one in the Hardware menu"),
                             QString::fromUtf8("keine Karte verbunden: eine im Menü Hardware wählen"));
    else if (v.stale)
        view.status = ctx.tr(QStringLiteral("stale: the last read failed, the values are those read before"),
                             QStringLiteral("veraltet: das letzte Lesen schlug fehl, die Werte sind die vorher gelesenen"));
    else if (!v.valid)
        view.status = ctx.tr(QStringLiteral("not read yet"), QStringLiteral("noch nicht gelesen"));
    else {
        QStringList parts;
        parts << (v.mode ? iface::BusModeText(*v.mode) : ctx.tr(QStringLiteral("no known mode"), QStringLiteral("keine bekannte Betriebsart")));
        parts << (v.exchange ? ctx.tr(QStringLiteral("in data exchange"), QStringLiteral("im Datenaustausch"))
                             : ctx.tr(QStringLiteral("not in data exchange: the inputs do not change"),
                                      QString::fromUtf8("nicht im Datenaustausch: die Eingänge ändern sich nicht")));
        parts << ctx.tr(QStringLiteral("read every %1 ms"), QStringLiteral("gelesen alle %1 ms")).arg(intervalMs);
        if (!operate)
            parts << ctx.tr(QStringLiteral("outputs are forced only in Operate"), QString::fromUtf8("Ausgänge nur in Operate setzbar"));
        view.status = parts.join(QStringLiteral(" \u00B7 "));
    }
    if (test.restorePending())
        view.status += QLatin1Char('\n')
            + ctx.tr(QStringLiteral("Forced outputs go back once the bus is in Operate again."),
                     QString::fromUtf8("Gesetzte Ausgänge werden zurückgesetzt, sobald der Bus wieder in Operate ist."));

    for (const IoModuleRow &m : s.modules) {
        IoModuleView mv;
        mv.title = ModuleTitle(ctx, m);
        for (const IoChannel &c : m.channels) {
            IoChannelView cv;
            cv.channel = &c;
            cv.name = c.name();
            cv.caption = c.variable.isEmpty() ? c.shortName() : c.variable;
            cv.tip = c.name() + (c.variable.isEmpty() ? QString() : QStringLiteral("  ") + c.variable)
                + ctx.tr(QStringLiteral("\nDP-RAM %1"), QStringLiteral("\nDP-RAM %1")).arg(HexUpper(c.address, 4))
                + (c.word ? QString() : ctx.tr(QStringLiteral(", bit %1"), QStringLiteral(", Bit %1")).arg(c.bit));
            cv.value = test.value(c);
            cv.lit = !c.word && cv.value == 1;
            cv.forced = test.forced(c);
            if (c.word && cv.value)
                cv.valueText = ValueText(c, *cv.value);
            cv.editable = c.output() && operate && s.usable() && !test.restorePending();
            mv.channels.push_back(cv);
        }
        view.modules.push_back(mv);
    }
    return view;
}

} // namespace meridan::io
