// SPDX-License-Identifier: GPL-3.0-or-later
#include "slave/gsd.h"

#include "core/context.h"
#include "core/readfile.h"
#include "slave/prm_type.h"
#include "slave/record.h"

#include <QFileInfo>
#include <QLoggingCategory>
#include <algorithm>
#include <span>
#include <unordered_map>

Q_LOGGING_CATEGORY(lcGsd, "meridan.slave.gsd", QtWarningMsg) // debug: why a read stopped

namespace meridan {

namespace {

void Pause(Context &ctx)
{
    // The text must be visible: let the window repaint before and after.
    ctx.pump.processEvents();
    ctx.pump.sleepMs(1000);
    ctx.pump.processEvents();
}

// Each referenced field at its default, where the block has room for it. A
// type the parameter editor cannot write is left as the constants give it.
void WriteDefaults(std::vector<uint8_t> &block, std::span<const GsdPrmRef> refs, const GsdTables &t)
{
    for (const GsdPrmRef &r : refs) {
        if (const GsdExtPrm *d = t.extPrm(r.number))
            WriteField(block, ParseFieldType(d->type), r.offset, d->defaultValue);
    }
}

} // namespace

bool FillGsdTables(GsdTables &t, const GsdFile &f)
{
    t.clear();
    t.vendor = f.text(f.vendor);
    t.model = f.text(f.model);
    t.hardwareRelease = f.text(f.hardwareRelease);
    t.softwareRelease = f.text(f.softwareRelease);
    t.modular = f.modular;
    t.maxModule = f.maxModule;
    t.maxUserPrmDataLen = f.maxUserPrmDataLen;
    const auto block = [](GsdModule &m, const GsdBlock &b) {
        m.prmLen = b.prmLen;
        m.prmConst.assign(b.prmConst.begin(), b.prmConst.end());
        m.refs.assign(b.refs.begin(), b.refs.end());
    };
    block(t.moduleAt(0), f.device);
    const int count = std::min(int(f.modules.size()), kMaxRecordModules);
    for (int m = 1; m <= count; ++m) {
        const GsdFileModule &fm = f.modules[std::size_t(m - 1)];
        GsdModule &tm = t.moduleAt(m);
        tm.line = f.text(fm.line);
        block(tm, fm.prm);
    }
    const bool all = int(f.modules.size()) <= kMaxRecordModules;
    t.moduleCount = all ? count : count + 1; // the one that did not fit counts, as a read stopped there
    // A file repeats its texts ("off", "on", type words): each is decoded
    // once and shared.
    std::unordered_map<std::string_view, QString> seen; // the texts of list entries, which all read alike
    const auto shared = [&f, &seen](const GsdSpan &s) -> const QString & {
        const std::string_view bytes = f.bytes(s);
        auto it = seen.find(bytes);
        if (it == seen.end())
            it = seen.emplace(bytes, f.text(s)).first;
        return it->second;
    };
    for (const auto &[n, d] : f.definitions) {
        GsdExtPrm &p = t.extPrmAt(n);
        // The parameter editor shows names in a column of fixed width.
        p.name = f.text(d.name).left(kExtPrmNameLen).leftJustified(kExtPrmNameLen, QLatin1Char(' '));
        p.type = f.text(d.type);
        p.defaultValue = d.defaultValue;
        p.min = d.min;
        p.max = d.max;
        p.list.assign(d.list.begin(), d.list.end());
        p.textRef = d.textRef;
    }
    for (const auto &[n, list] : f.textLists) {
        std::vector<GsdText> &entries = t.textListAt(n);
        entries.reserve(list.entries.size());
        for (const GsdTextEntry &e : list.entries)
            entries.push_back({e.value, shared(e.text)});
    }
    return all;
}

std::vector<uint8_t> DevicePrmBytes(const GsdFile &f)
{
    const int len = std::min(f.device.prmLen, kMaxUserPrm);
    std::vector<uint8_t> bytes(std::size_t(len), 0);
    if (f.hasUserPrmData)
        std::copy_n(f.userPrmData.begin(), std::min(len, int(f.userPrmData.size())), bytes.begin());
    for (const GsdConstLine &c : f.device.consts) {
        for (int i = c.from; i < std::min(c.to, len); ++i)
            bytes[std::size_t(i)] = f.device.prmConst[std::size_t(i)];
    }
    for (const GsdPrmRef &r : f.device.refs) {
        if (const GsdDefinition *d = f.definitions.get(r.number))
            WriteField(bytes, d->field, r.offset, d->defaultValue);
    }
    return bytes;
}

std::vector<uint8_t> ModulePrmBytes(const GsdTables &t, int m)
{
    std::vector<uint8_t> bytes(std::size_t(std::max(0, t.modulePrmLen(m))));
    for (int i = 0; i < int(bytes.size()); ++i)
        bytes[std::size_t(i)] = t.prmConst(m, i);
    if (const GsdModule *mod = t.module(m))
        WriteDefaults(bytes, mod->refs, t);
    return bytes;
}

QStringList GsdSearchFolders(const Context &ctx)
{
    const QString cfg = ctx.root.mapPath(ctx.st.configFileName);
    return {ctx.root.gsdDir(), cfg.isEmpty() ? QStringLiteral(".") : QFileInfo(cfg).path()};
}

QString FindGsdFile(const Context &ctx, const QString &fileName)
{
    const QStringList folders = GsdSearchFolders(ctx);
    const QString inRoot = FindFileNoCase(folders[0], fileName);
    if (!inRoot.isEmpty() && QFileInfo(inRoot).isFile() && QFileInfo(inRoot).size() > kMinGsdSize)
        return inRoot;
    const QString there = FindFileNoCase(folders[1], fileName);
    return !there.isEmpty() && QFileInfo(there).isFile() ? there : QString();
}

GsdOutcome LoadGSD(Context &ctx, const QString &fileName, const GsdStatus &meldung)
{
    return LoadGsdFile(ctx, FindGsdFile(ctx, fileName), fileName, meldung);
}

namespace {

class Loader {
public:
    Loader(Context &ctx, const QString &fileName, const GsdStatus &meldung, GsdOutcome &out)
        : ctx_(ctx), st_(ctx.st), fileName_(fileName), meldung_(meldung), out_(out)
    {
    }

    void show(const QString &text)
    {
        out_.status = text;
        if (meldung_)
            meldung_(text);
    }

    // Every read starts from empty tables and writes the record's GSD code,
    // the first four characters of the file name.
    bool start()
    {
        ClearGsdTables(st_.gsd);
        try {
            RecomputeLengths(st_);
            const int code = 43 + st_.slave.u + st_.slave.c;
            for (int i = 0; i < 4 && i < fileName_.size(); ++i) {
                const char16_t u = fileName_[i].unicode();
                st_.record[code + i] = uint8_t(u < 256 ? u : '?');
            }
        } catch (const std::exception &) {
            out_.kind = GsdOutcome::Kind::Stopped;
            show(QStringLiteral("Error in GSD-File: the record is damaged"));
            return false;
        }
        return true;
    }

    void read(const QByteArray &bytes)
    {
        if (bytes.size() > kMaxGsdFileSize) {
            if (!start())
                return;
            out_.kind = GsdOutcome::Kind::Stopped;
            show(QStringLiteral("Error in GSD-File: file too large"));
            Pause(ctx_);
            st_.slave.gsdLoaded = true;
            return;
        }
        const GsdParse parse = ParseGsd(bytes);
        if (parse.error && parse.error->kind == GsdParseError::Kind::NotGsd) {
            // A file that is no device description leaves the record and
            // the tables as they were.
            out_.kind = GsdOutcome::Kind::NotGsd;
            show(QStringLiteral("Error in GSD-File: not a GSD file"));
            Pause(ctx_);
            return;
        }
        if (!start())
            return;
        const GsdFile &f = parse.file;
        // The device's bytes go only into a record that has no device yet.
        // The editor reads a stored record's file again each time it opens
        // it; that read must not replace the user's parameters or identifier
        // bytes, nor drop the module blocks behind the device's own bytes.
        const bool fresh = !st_.slave.gsdLoaded && st_.record[30] == 0 && st_.record[31] == 0;
        const bool allModules = FillGsdTables(st_.gsd, f);
        if (!f.revisionLine.empty()) {
            show(f.text(f.revisionLine));
            Pause(ctx_); // the revision line stays readable for a moment
        }
        QString status = f.text(f.lastLine);
        try {
            if (f.ident >= 0) {
                st_.record[30] = uint8_t(f.ident >> 8);
                st_.record[31] = uint8_t(f.ident & 0xFF);
            }
            if (fresh && f.device.prmLen > 0) {
                const std::vector<uint8_t> prm = DevicePrmBytes(f);
                RemoveUserPrm(st_);
                for (std::size_t i = 0; i < prm.size(); ++i)
                    st_.slave.prm[int(i)] = prm[i];
                st_.slave.u = int(prm.size());
                InsertUserPrm(st_);
            }
            if (f.modular == 0 && f.modules.size() > 1) {
                // A device with several modules is modular, whatever it says.
                status = QStringLiteral("Error in GSD-File: multiple modules");
                show(status);
                Pause(ctx_);
                st_.gsd.modular = 1;
            } else if (f.modular == 0 && f.modules.size() == 1 && fresh) {
                const GsdFileModule &m = f.modules.front();
                if (!m.cfgError.isEmpty())
                    return fault(m.at, m.cfgError);
                int cfgByteCount = 0;
                AddConfig(ctx_, f.text(m.line), cfgByteCount, [this, &status](const QString &t) {
                    status = t;
                    show(t);
                });
            }
        } catch (const std::exception &e) {
            // A record index out of range: the record is damaged.
            return fault(f.lines, QString::fromUtf8(e.what()));
        }
        if (parse.error) {
            const GsdParseError &e = *parse.error;
            if (e.kind == GsdParseError::Kind::Limit) {
                limit(e.line, e.reason);
                return;
            }
            return fault(e.line, e.reason);
        }
        if (!allModules) {
            limit(f.modules[std::size_t(kMaxRecordModules)].at, QStringLiteral("too many modules"));
            return;
        }
        show(status);
        st_.slave.gsdLoaded = true;
    }

private:
    // The device's limits the user is told about; after them the record
    // counts as loaded.
    void limit(int line, const QString &reason)
    {
        out_.kind = GsdOutcome::Kind::Stopped;
        out_.line = line;
        show(QStringLiteral("Error in GSD-File: ") + reason);
        Pause(ctx_);
        st_.slave.gsdLoaded = true;
    }

    // A line that cannot be read: the read ends there and what came before
    // it stays.
    void fault(int line, const QString &reason)
    {
        out_.kind = GsdOutcome::Kind::Stopped;
        out_.line = line;
        const QString text = QStringLiteral("Error in GSD-File: line %1: %2").arg(line).arg(reason);
        qCDebug(lcGsd) << out_.path << text;
        show(text);
        Pause(ctx_);
    }

    Context &ctx_;
    State &st_;
    const QString &fileName_;
    const GsdStatus &meldung_;
    GsdOutcome &out_;
};

} // namespace

GsdOutcome LoadGsdFile(Context &ctx, const QString &path, const QString &fileName, const GsdStatus &meldung)
{
    GsdOutcome out;
    out.path = path;
    Loader loader(ctx, fileName, meldung, out);
    const std::optional<QByteArray> bytes = path.isEmpty() ? std::nullopt : ReadRegularFile(path, kMaxGsdFileSize + 1);
    if (!bytes) {
        if (loader.start()) {
            ctx.st.slave.gsdLoaded = true;
            out.kind = GsdOutcome::Kind::NotFound;
        }
        return out;
    }
    loader.read(*bytes);
    return out;
}

GsdOutcome LoadGsdBytes(Context &ctx, const QByteArray &bytes, const QString &fileName, const GsdStatus &meldung)
{
    GsdOutcome out;
    Loader(ctx, fileName, meldung, out).read(bytes);
    return out;
}

bool AddConfig(Context &ctx, const QString &moduleLine, int &cfgByteCount, const GsdStatus &meldung)
{
    State &st = ctx.st;
    // A line whose bytes cannot be read leaves the record as it is.
    const std::vector<uint8_t> bytes = ModuleConfigBytes(moduleLine);
    RemoveCfg(st);
    // The count is checked before each item, the one that finds the list's
    // end included: at most 63 identifier bytes come from module lines.
    for (std::size_t k = 0; k <= bytes.size(); ++k) {
        if (cfgByteCount >= kMaxCfg) {
            const QString text = ctx.tr(QStringLiteral("Error: too much Config data !"),
                                        QStringLiteral("Fehler: Config-Data zu lang !"));
            if (meldung)
                meldung(text);
            Pause(ctx);
            return false;
        }
        if (k == bytes.size())
            break;
        st.slave.cfg[cfgByteCount++] = bytes[k];
    }
    st.slave.c = cfgByteCount;
    return InsertCfg(ctx) == 0;
}

void ClearGsdTables(GsdTables &tables)
{
    tables.clear();
}

} // namespace meridan
