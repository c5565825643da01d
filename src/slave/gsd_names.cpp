// SPDX-License-Identifier: GPL-3.0-or-later
#include "slave/gsd_names.h"

#include "core/context.h"
#include "core/gsd_tables.h"
#include "core/readfile.h"
#include "slave/gsd.h"
#include "slave/gsd_catalogue.h"
#include "slave/record.h"

#include <QFileInfo>

namespace meridan {

namespace {

std::vector<PrmFieldName> FieldsOf(const GsdTables &t, int module)
{
    std::vector<PrmFieldName> out;
    for (int k = 0; k < t.prmRefCount(module); ++k) {
        const GsdExtPrm *d = t.extPrm(t.prmRefNumber(module, k));
        if (!d)
            continue;
        PrmFieldName f;
        f.name = d->name.trimmed();
        f.type = d->type;
        f.offset = t.prmRefOffset(module, k);
        f.min = d->min;
        f.max = d->max;
        f.values = d->list; // a list; a range has none
        if (d->textRef != 0)
            for (int e = 0; e <= t.prmTextLast(d->textRef); ++e)
                f.texts.emplace_back(t.prmTextValue(d->textRef, e), t.prmTextString(d->textRef, e));
        out.push_back(std::move(f));
    }
    return out;
}

} // namespace

DeviceNames NamesFromTables(const GsdTables &t, const QString &file)
{
    DeviceNames n;
    n.file = file;
    n.vendor = t.vendor.trimmed();
    n.model = t.model.trimmed();
    n.prmLen = t.modulePrmLen(0);
    n.fields = FieldsOf(t, 0);
    for (int m = 1; m <= t.moduleCount && m <= kMaxGsdModules; ++m) {
        const QString line = t.moduleLine(m);
        if (line.isEmpty())
            continue;
        ModuleNames mod;
        mod.name = ModuleName(line).trimmed();
        try {
            mod.cfg = ModuleConfigBytes(line);
        } catch (const std::exception &) {
            continue; // a module whose bytes do not read names nothing
        }
        mod.prmLen = t.modulePrmLen(m);
        mod.fields = FieldsOf(t, m);
        n.modules.emplace(m, std::move(mod));
    }
    return n;
}

DeviceNameLookup::DeviceNameLookup(const Context &ctx) : ctx_(ctx) {}
DeviceNameLookup::~DeviceNameLookup() = default;

const DeviceNames *DeviceNameLookup::operator()(const QString &gsdCode, int ident)
{
    const auto key = std::make_pair(gsdCode, ident);
    if (const auto it = found_.find(key); it != found_.end())
        return it->second.get();
    std::unique_ptr<DeviceNames> names;
    const QString path = FindDeviceFile(ctx_, gsdCode, ident);
    const std::optional<QByteArray> bytes = path.isEmpty() ? std::nullopt : ReadRegularFile(path, kMaxGsdFileSize);
    if (bytes && LooksLikeGsd(*bytes)) {
        // The reader fills tables and a record buffer: both are a scratch
        // state's, so nothing of the program's own changes.
        auto scratch = std::make_unique<State>();
        CliPrompts quiet;
        quiet.quiet = true;
        VirtualPump pump;
        Context aside{*scratch, quiet, pump, ctx_.root};
        scratch->language = ctx_.st.language;
        scratch->currentStation = 1;
        NewSlaveRecord(*scratch);
        const QString file = QFileInfo(path).fileName();
        const GsdOutcome read = LoadGsdBytes(aside, *bytes, file);
        if (read.kind == GsdOutcome::Kind::Done || read.kind == GsdOutcome::Kind::Stopped)
            names = std::make_unique<DeviceNames>(NamesFromTables(scratch->gsd, file));
    }
    return found_.emplace(key, std::move(names)).first->second.get();
}

} // namespace meridan
