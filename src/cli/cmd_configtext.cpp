// SPDX-License-Identifier: GPL-3.0-or-later
// The configuration as text: export, import, and diff (two configurations,
// or a configuration and the one a board holds).
#include "busops/eeprom.h"
#include "cli/options.h"
#include "cli/session.h"
#include "config/configdiff.h"
#include "config/configtext.h"
#include "config/image.h"
#include "core/readfile.h"
#include "core/savefile.h"
#include "slave/gsd_names.h"

#include <QFileInfo>
#include <QJsonDocument>

namespace meridan::cli {

namespace {

// A configuration or its text is small; anything far larger is neither.
constexpr qint64 kMaxInput = 4 * 1024 * 1024;
constexpr qint64 kReadMs = 10 * 60 * 1000;

struct Input {
    QString path;
    QByteArray bytes;
};

std::optional<Input> ReadInput(Invocation &inv, const QString &arg, Outcome &failed)
{
    const QString path = ResolveNoCase(inv.ctx.root.mapPath(arg));
    QString why;
    const std::optional<QByteArray> bytes = ReadRegularFile(path, kMaxInput + 1, &why);
    if (!bytes) {
        failed = Outcome::Fail(Failure::BadInput, QStringLiteral("cannot read %1: %2").arg(arg, why));
        return std::nullopt;
    }
    if (bytes->size() > kMaxInput) {
        failed = Outcome::Fail(Failure::BadInput, QStringLiteral("%1 is larger than %2 bytes: no configuration").arg(arg).arg(kMaxInput));
        return std::nullopt;
    }
    return Input{path, *bytes};
}

// A .dp1 file or an exported text, whichever the bytes are.
std::optional<Dp1File> ReadEither(Invocation &inv, const QString &arg, Outcome &failed)
{
    const std::optional<Input> in = ReadInput(inv, arg, failed);
    if (!in)
        return std::nullopt;
    QString why;
    std::optional<Dp1File> file = LooksLikeConfigText(in->bytes) ? ReadConfigText(in->bytes, inv.ctx.st.language, &why)
                                                                 : ParseDp1(in->bytes, &why);
    if (!file)
        failed = Outcome::Fail(Failure::BadInput, QStringLiteral("%1: %2").arg(arg, why));
    return file;
}

// Device files are looked up in ROOT/GSD and beside the configuration.
NameLookup Names(Invocation &inv, DeviceNameLookup &lookup, const QString &configPath)
{
    inv.ctx.st.configFileName = configPath;
    return [&lookup](const QString &code, int ident) { return lookup(code, ident); };
}

} // namespace

int CmdExport(Invocation &inv)
{
    Outcome failed;
    const std::optional<Input> in = ReadInput(inv, inv.args[0], failed);
    if (!in)
        return inv.finish(failed);
    DeviceNameLookup lookup(inv.ctx);
    QString why;
    const QByteArray text = ExportConfigText(in->bytes, Names(inv, lookup, in->path), inv.ctx.st.language, &why);
    if (text.isEmpty())
        return inv.finish(Outcome::Fail(Failure::BadInput, QStringLiteral("%1: %2").arg(inv.args[0], why)));
    const auto out = inv.value(QStringLiteral("out"));
    if (!out) {
        if (inv.json)
            return inv.finish({}, {{QStringLiteral("text"), QJsonDocument::fromJson(text).object()}});
        inv.out << QString::fromUtf8(text);
        inv.out.flush();
        return kOk;
    }
    const QString target = inv.ctx.root.mapPath(*out);
    if (const QString bad = WriteWholeFile(target, text); !bad.isEmpty())
        return inv.finish(Outcome::Fail(Failure::Refused, QStringLiteral("%1 not written: %2").arg(target, bad)));
    Outcome done;
    done.written << target;
    if (!inv.json)
        inv.out << "wrote " << target << Qt::endl;
    return inv.finish(done);
}

int CmdImport(Invocation &inv)
{
    Outcome failed;
    const std::optional<Input> in = ReadInput(inv, inv.args[0], failed);
    if (!in)
        return inv.finish(failed);
    QString why;
    QStringList notes;
    const std::optional<Dp1File> file = ReadConfigText(in->bytes, inv.ctx.st.language, &why, &notes);
    if (!file)
        return inv.finish(Outcome::Fail(Failure::BadInput, QStringLiteral("%1: %2; nothing written").arg(inv.args[0], why)));
    for (const QString &n : notes)
        inv.note(n);
    const QString target = inv.ctx.root.mapPath(inv.args[1]);
    if (const QString bad = WriteWholeFile(target, Dp1Bytes(*file)); !bad.isEmpty())
        return inv.finish(Outcome::Fail(Failure::Refused, QStringLiteral("%1 not written: %2").arg(target, bad)));
    int slaves = 0;
    for (const Dp1Item &item : file->items)
        slaves += item.station > 0 ? 1 : 0;
    Outcome done;
    done.written << target;
    if (!inv.json)
        inv.out << "wrote " << target << " (" << slaves << " slave records)" << Qt::endl;
    return inv.finish(done, {{QStringLiteral("slaves"), slaves}});
}

int CmdDiff(Invocation &inv)
{
    const bool board = inv.isSet(QStringLiteral("hw"));
    if (board && inv.args.size() != 1)
        return inv.usage(QStringLiteral("with --hw, name one FILE"));
    if (!board && inv.args.size() != 2)
        return inv.usage(QStringLiteral("name two configurations A B, or --hw HW and one FILE"));
    if (!board && inv.isSet(QStringLiteral("timeout")))
        return inv.usage(QStringLiteral("--timeout goes with --hw"));
    Outcome failed;
    const std::optional<Dp1File> a = ReadEither(inv, inv.args[0], failed);
    if (!a)
        return inv.finish(failed);
    DeviceNameLookup lookup(inv.ctx);
    const NameLookup names = Names(inv, lookup, ResolveNoCase(inv.ctx.root.mapPath(inv.args[0])));
    const int16_t lang = inv.ctx.st.language;
    std::vector<ConfigChange> changes;
    if (!board) {
        const std::optional<Dp1File> b = ReadEither(inv, inv.args[1], failed);
        if (!b)
            return inv.finish(failed);
        changes = CompareConfigs(*a, *b, names, lang);
    } else {
        QString why;
        const auto hw = iface::ParseHwName(inv.line.value(QStringLiteral("hw")), &why);
        if (!hw)
            return inv.usage(why);
        inv.hw = *hw;
        if (const auto t = inv.value(QStringLiteral("timeout"))) {
            const auto s = ParseNumber(*t, 1, 24 * 3600);
            if (!s)
                return inv.usage(RangeText(QStringLiteral("--timeout"), 1, 24 * 3600, *t));
            inv.timeoutSeconds = int(*s);
        }
        // The walk over the stations goes as fast as the master answers.
        inv.ctx.st.fastDownload = true;
        Session bus(inv);
        BusOutcome result = bus.connect();
        const auto held = std::make_unique<ConfigImage>();
        if (result) {
            bus.deadline(kReadMs);
            inv.console.progress(true);
            Eeprom ee(inv.ctx, bus.ops);
            result = ee.ReadAside(*held);
            inv.console.progress(false);
        }
        if (!result)
            return inv.finish(result);
        const auto mine = std::make_unique<ConfigImage>();
        Dp1IntoImage(*a, *mine);
        changes = CompareWithBoard(*mine, *held, names, lang);
    }
    const bool equal = changes.empty();
    if (inv.json) {
        inv.printJson({{QStringLiteral("outcome"), FailureWord(equal ? Failure::None : Failure::Refused)},
                       {QStringLiteral("equal"), equal},
                       {QStringLiteral("changes"), ChangesJson(changes)}});
    } else {
        for (const QString &line : ChangeLines(changes, lang))
            inv.out << line << '\n';
        inv.out.flush();
    }
    return equal ? kOk : kFailed;
}

} // namespace meridan::cli
