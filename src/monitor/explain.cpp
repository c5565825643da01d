// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/explain.h"

#include "core/bytes.h"
#include "core/context.h"
#include "core/texts.h"
#include "monitor/diagnosis.h"
#include "slave/gsd_catalogue.h"
#include "slave/gsd_device.h"
#include "slave/record.h"

#include <QDir>
#include <optional>
#include <set>

namespace meridan {

namespace {

// Station status byte 1.
constexpr uint8_t kNonExistent = 0x01, kNotReady = 0x02, kCfgFault = 0x04, kNotSupported = 0x10,
                  kInvalidResponse = 0x20, kPrmFault = 0x40, kMasterLock = 0x80;
constexpr uint8_t kFaults = 0xF7; // every bit but Ext. Diagnose
// Station status byte 3.
constexpr uint8_t kExtOverflow = 0x80;
// DP-V1 status type of a device-related block that carries two bits per module.
constexpr uint8_t kModuleStatus = 0x82;

QString Hex(std::span<const uint8_t> bytes)
{
    QString s;
    for (uint8_t b : bytes)
        s += HexByteText(b);
    return s.trimmed();
}

// One identifier of the configuration, with the device file's module it
// belongs to.
struct Identifier {
    QString bytes;
    QString name;
    QString io;
};

struct ExtBlock {
    enum class Kind { Device, Identifier, Channel, Unknown, Truncated };
    Kind kind;
    std::span<const uint8_t> bytes; // header included
};

// The blocks of an extended diagnosis: the header's two top bits give the
// kind, its low six bits the length of a device- or identifier-related block
// (header included); a channel block is always three bytes.
std::vector<ExtBlock> SplitBlocks(std::span<const uint8_t> ext)
{
    std::vector<ExtBlock> out;
    std::size_t i = 0;
    while (i < ext.size()) {
        const uint8_t h = ext[i];
        const int top = h >> 6;
        std::size_t len = top == 2 ? 3 : std::size_t(h & 0x3F);
        ExtBlock::Kind kind = top == 0 ? ExtBlock::Kind::Device : top == 1 ? ExtBlock::Kind::Identifier : ExtBlock::Kind::Channel;
        if (top == 3 || len == 0) {
            kind = ExtBlock::Kind::Unknown;
            len = ext.size() - i;
        } else if (i + len > ext.size()) {
            kind = ExtBlock::Kind::Truncated;
            len = ext.size() - i;
        }
        out.push_back({kind, ext.subspan(i, len)});
        i += len;
    }
    return out;
}

class Explainer {
public:
    Explainer(const Context &ctx, int station, std::span<const uint8_t> diag) : ctx_(ctx), station_(station), diag_(diag)
    {
        try {
            if (ctx.st.image.hasSlave(station)) {
                rec_ = &ctx.st.image.slot(station);
                device_ = StationDevice(ctx, station);
                identifiers();
            }
        } catch (const RangeError &) {
            rec_ = nullptr; // a damaged record: explained as if there were none
        }
    }

    QStringList run()
    {
        const uint8_t s1 = diag_[0];
        if (s1 & kNonExistent) {
            nonExistent();
            return out_;
        }
        if (!rec_)
            say(tr("Station %1 has no slave record in this configuration.", "Station %1 hat keinen Slave-Datensatz in dieser Konfiguration.")
                    .arg(station_));
        if (s1 & kPrmFault)
            prmFault();
        if (s1 & kCfgFault)
            cfgFault();
        if (s1 & kMasterLock)
            say(tr("Master Lock: the station is parameterised by another master (address %1).",
                   "Master Lock: die Station ist von einem anderen Master (Adresse %1) parametriert.")
                    .arg(diag_[3]));
        if ((s1 & kNotReady) && !(s1 & (kPrmFault | kCfgFault)))
            say(tr("Station not ready: the station is starting up or waits for its parameters.",
                   "Station not ready: die Station läuft an oder wartet auf ihre Parameter."));
        if (s1 & kNotSupported)
            say(tr("Not supported: the station does not support a function the master asked for (Sync, Freeze).",
                   "Not supported: die Station kann eine vom Master verlangte Funktion (Sync, Freeze) nicht."));
        if (s1 & kInvalidResponse)
            say(tr("Invalid Slave Response: the master could not use the station's answer.",
                   "Invalid Slave Response: der Master konnte die Antwort der Station nicht verwenden."));
        if (!(s1 & kFaults))
            say(tr("Station %1 exchanges data: no fault.", "Station %1 tauscht Daten aus: kein Fehler.").arg(station_));
        if (diag_.size() > 6)
            extended(diag_.subspan(6));
        if (diag_[2] & kExtOverflow)
            say(tr("The station had more diagnosis than fits: the rest is cut off.",
                   "Die Station hatte mehr Diagnose als hineinpasst: der Rest fehlt."));
        return out_;
    }

private:
    QString tr(const char *en, const char *de) const { return ctx_.tr(QString::fromUtf8(en), QString::fromUtf8(de)); }
    void say(const QString &line) { out_ << line; }

    QString identText(int ident) const { return HexUpper(unsigned(ident), 4); }

    QString moduleName(int k) const
    {
        const QString n = k < int(ids_.size()) ? ids_[std::size_t(k)].name : QString();
        return tr("module %1", "Modul %1").arg(k + 1) + (n.isEmpty() ? QString() : QStringLiteral(" \"%1\"").arg(n));
    }

    QString ioText(const CfgIdentifier &g) const
    {
        const auto part = [this](int bytes, bool words, const char *en, const char *de) {
            const int n = words ? bytes / 2 : bytes;
            const QString unit = words ? (n == 1 ? tr("word", "Wort") : tr("words", "Worte"))
                                       : (n == 1 ? tr("byte", "Byte") : tr("bytes", "Byte"));
            return QStringLiteral("%1 %2 %3").arg(n).arg(unit, tr(en, de));
        };
        QStringList parts;
        if (g.inputBytes && g.outputBytes && g.inputBytes == g.outputBytes && g.inputWords == g.outputWords)
            parts << part(g.inputBytes, g.inputWords, "input/output", "Ein-/Ausgang");
        else {
            if (g.inputBytes)
                parts << part(g.inputBytes, g.inputWords, "input", "Eingang");
            if (g.outputBytes)
                parts << part(g.outputBytes, g.outputWords, "output", "Ausgang");
        }
        return parts.isEmpty() ? tr("no data", "keine Daten") : parts.join(QStringLiteral(", "));
    }

    // The configured identifiers, each named after the device file's module
    // it belongs to: the record's module list says which module came first,
    // else a module whose bytes stand at that place.
    void identifiers()
    {
        const SlaveLayout l = SlaveLayout::of(*rec_);
        const int start = l.cfgStart();
        const int count = qBound(0, l.c, kSlotSize - start);
        std::vector<uint8_t> cfg(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i)
            cfg[std::size_t(i)] = (*rec_)[start + i];
        cfgCount_ = count;
        const std::vector<CfgIdentifier> ids = SplitIdentifiers(cfg.data(), count);
        const std::vector<int> list = ModuleList(*rec_);
        const auto matches = [&](const GsdDeviceModule &m, int at) {
            return !m.cfg.empty() && at + int(m.cfg.size()) <= count && std::equal(m.cfg.begin(), m.cfg.end(), cfg.begin() + at);
        };
        std::vector<QString> names(static_cast<std::size_t>(count));
        std::size_t k = 0;
        for (int at = 0; at < count;) {
            const GsdDeviceModule *found = nullptr;
            if (device_) {
                if (k < list.size() && list[k] >= 1 && list[k] <= int(device_->modules.size())
                    && matches(device_->modules[std::size_t(list[k] - 1)], at))
                    found = &device_->modules[std::size_t(list[k] - 1)];
                for (const GsdDeviceModule &m : device_->modules)
                    if (!found && matches(m, at))
                        found = &m;
            }
            ++k;
            if (!found) {
                const auto it = std::find_if(ids.begin(), ids.end(), [at](const CfgIdentifier &g) { return g.first == at; });
                at += it == ids.end() ? 1 : it->size;
                continue;
            }
            for (std::size_t i = 0; i < found->cfg.size(); ++i)
                names[std::size_t(at) + i] = found->name;
            at += int(found->cfg.size());
        }
        for (const CfgIdentifier &g : ids)
            ids_.push_back({Hex(std::span(cfg).subspan(std::size_t(g.first), std::size_t(g.size))), names[std::size_t(g.first)], ioText(g)});
    }

    void prmFault()
    {
        if (!rec_)
            return; // without a record there is nothing to compare: said above
        const int answered = be16(diag_, 4);
        const int expected = be16(rec_->span(), 30);
        if (answered != expected) {
            say(tr("Prm Fault: station %1 answers with ident %2, the configuration expects %3.",
                   "Prm Fault: Station %1 antwortet mit Ident %2, die Konfiguration erwartet %3.")
                    .arg(station_)
                    .arg(identText(answered), identText(expected)));
            const GsdCatalogue cat = GsdCatalogue::Load(ctx_.root.gsdDir(), CatalogueIndexFile(ctx_.root));
            const auto known = cat.withIdent(answered);
            for (const GsdCatalogueEntry *e : known)
                say(tr("The GSD catalogue knows ident %1: %2, %3, file %4.", "Der GSD-Katalog kennt Ident %1: %2, %3, Datei %4.")
                        .arg(identText(answered), e->header.vendor, e->header.model, e->file));
            if (!known.empty())
                say(tr("Configure the station from that file (slave editor, button GSD), or set the address switch of the "
                       "device you meant to %1.",
                       "Konfigurieren Sie die Station aus dieser Datei (Slave-Editor, Schaltfläche GSD) oder stellen Sie den "
                       "Adressschalter des gemeinten Geräts auf %1.")
                        .arg(station_));
            else
                say(tr("No GSD file in %1 has ident %2: copy the device's GSD file there and configure the station from it.",
                       "Keine GSD-Datei in %1 hat Ident %2: kopieren Sie die GSD-Datei des Geräts dorthin und konfigurieren "
                       "Sie die Station daraus.")
                        .arg(QDir::toNativeSeparators(ctx_.root.gsdDir()), identText(answered)));
            return;
        }
        const int u = qBound(0, int((*rec_)[25]) - 9, kMaxUserPrm);
        const QString prm = u ? Hex(rec_->span().subspan(33, std::size_t(u))) : tr("none", "keine");
        say(tr("Prm Fault: station %1 (ident %2) refuses its parameters: the user parameter bytes (%3) do not suit the "
               "device; compare them in the slave editor with its GSD file%4.",
               "Prm Fault: Station %1 (Ident %2) lehnt ihre Parameter ab: die User-Parameterbytes (%3) passen nicht zum "
               "Gerät; vergleichen Sie sie im Slave-Editor mit seiner GSD-Datei%4.")
                .arg(station_)
                .arg(identText(answered), prm, device_ ? QLatin1Char(' ') + device_->file : QString()));
    }

    // What the station says of each module: the identifier-related bits and
    // a DP-V1 module status block, when its extended diagnosis carries them.
    std::map<int, QString> reported() const
    {
        std::map<int, QString> out;
        if (diag_.size() <= 6)
            return out;
        for (const ExtBlock &b : SplitBlocks(diag_.subspan(6))) {
            if (b.kind == ExtBlock::Kind::Identifier) {
                for (std::size_t i = 1; i < b.bytes.size(); ++i)
                    for (int bit = 0; bit < 8; ++bit)
                        if ((b.bytes[i] >> bit) & 1)
                            out.try_emplace(int(i - 1) * 8 + bit, tr("fault", "Fehler"));
            } else if (b.kind == ExtBlock::Kind::Device) {
                for (const auto &[k, status] : moduleStatus(b.bytes))
                    out[k] = status;
            }
        }
        return out;
    }

    // Module index -> status text of a module status block (two bits a
    // module, the first module in the low bits of the first status byte);
    // modules that are right are left out.
    std::map<int, QString> moduleStatus(std::span<const uint8_t> block) const
    {
        std::map<int, QString> out;
        if (block.size() < 5 || block[1] != kModuleStatus)
            return out;
        for (std::size_t i = 4; i < block.size(); ++i)
            for (int k = 0; k < 4; ++k) {
                const int v = (block[i] >> (2 * k)) & 3;
                if (v == 1)
                    out[int(i - 4) * 4 + k] = tr("module error", "Modulfehler");
                else if (v == 2)
                    out[int(i - 4) * 4 + k] = tr("wrong module", "falsches Modul");
                else if (v == 3)
                    out[int(i - 4) * 4 + k] = tr("no module", "kein Modul");
            }
        return out;
    }

    void cfgFault()
    {
        if (!rec_)
            return say(tr("Cfg Fault: the station does not accept the identifier bytes it was sent.",
                          "Cfg Fault: die Station nimmt die gesendeten Kennungsbytes nicht an."));
        if (cfgCount_ == 0)
            return say(tr("Cfg Fault: the configuration sends no identifier bytes to station %1: choose its modules in the slave editor.",
                          "Cfg Fault: die Konfiguration sendet Station %1 keine Kennungsbytes: wählen Sie ihre Module im Slave-Editor.")
                           .arg(station_));
        say(tr("Cfg Fault: station %1 does not accept the identifier bytes the configuration sends:",
               "Cfg Fault: Station %1 nimmt die Kennungsbytes der Konfiguration nicht an:")
                .arg(station_));
        const std::map<int, QString> rep = reported();
        const int shown = std::max(int(ids_.size()), rep.empty() ? 0 : rep.rbegin()->first + 1);
        for (int k = 0; k < shown; ++k) {
            QString line = QStringLiteral("  ") + tr("module %1", "Modul %1").arg(k + 1) + QStringLiteral(": ");
            if (k < int(ids_.size())) {
                const Identifier &id = ids_[std::size_t(k)];
                line += id.bytes + (id.name.isEmpty() ? QString() : QStringLiteral(" \"%1\"").arg(id.name)) + QStringLiteral(", ") + id.io;
            } else {
                line += tr("not configured", "nicht konfiguriert");
            }
            if (!rep.empty()) {
                const auto it = rep.find(k);
                line += QStringLiteral("; ") + tr("station reports: %1", "Station meldet: %1").arg(it == rep.end() ? QStringLiteral("OK") : it->second);
            }
            say(line);
        }
        if (!rep.empty())
            return;
        QStringList names;
        for (const Identifier &id : ids_)
            names << (id.name.isEmpty() ? id.bytes : id.name);
        say(tr("The station does not say which module differs: the module list or the order of the modules differs from "
               "the device. Configured: %1.",
               "Die Station sagt nicht, welches Modul abweicht: die Modulliste oder die Reihenfolge der Module weicht vom "
               "Gerät ab. Konfiguriert: %1.")
                .arg(names.join(QStringLiteral(", "))));
    }

    void nonExistent()
    {
        const int code = ctx_.st.image.hasMaster() ? ctx_.st.image.at(0, 11) : -1;
        const QString rate = code < 0 ? tr("the configured baud rate", "der eingestellten Baudrate") : RateText(code);
        say(tr("Station Non existent: nothing answers at address %1 at %2.", "Station Non existent: unter Adresse %1 antwortet nichts bei %2.")
                .arg(station_)
                .arg(rate));
        say(tr("Check: the device's address switch is set to %1; the device has power; the bus cable reaches it and is "
               "terminated at both ends of the segment, and nowhere else.",
               "Prüfen Sie: der Adressschalter des Geräts steht auf %1; das Gerät hat Spannung; das Buskabel erreicht es und "
               "ist an beiden Enden des Segments abgeschlossen, und nur dort.")
                .arg(station_));
        if (!device_) {
            say(tr("No GSD file found for the station: its baud rates are not known.",
                   "Keine GSD-Datei für die Station gefunden: ihre Baudraten sind nicht bekannt."));
            return;
        }
        QStringList rates;
        for (const QString &k : device_->supportedRates())
            rates << RateKeyText(k);
        const QString all = rates.isEmpty() ? tr("none", "keine") : rates.join(QStringLiteral(", "));
        if (code >= 0 && !device_->supports(code))
            say(tr("Its GSD file %1 does not list %2: the device cannot answer at this rate (it supports %3).",
                   "Ihre GSD-Datei %1 nennt %2 nicht: das Gerät kann bei dieser Baudrate nicht antworten (es kann %3).")
                    .arg(device_->file, rate, all));
        else
            say(tr("Its GSD file %1 supports %2.", "Ihre GSD-Datei %1 unterstützt %2.").arg(device_->file, all));
    }

    void extended(std::span<const uint8_t> ext)
    {
        say(tr("Extended diagnosis:", "Erweiterte Diagnose:"));
        for (const ExtBlock &b : SplitBlocks(ext)) {
            switch (b.kind) {
            case ExtBlock::Kind::Device:
                deviceBlock(b.bytes);
                break;
            case ExtBlock::Kind::Identifier: {
                QStringList faulty;
                for (std::size_t i = 1; i < b.bytes.size(); ++i)
                    for (int bit = 0; bit < 8; ++bit)
                        if ((b.bytes[i] >> bit) & 1)
                            faulty << moduleName(int(i - 1) * 8 + bit);
                say(QStringLiteral("  ") + tr("identifier-related (%1): ", "kennungsbezogen (%1): ").arg(Hex(b.bytes))
                    + (faulty.isEmpty() ? tr("no module reports a fault", "kein Modul meldet einen Fehler")
                                        : tr("fault in %1", "Fehler in %1").arg(faulty.join(QStringLiteral(", ")))));
                break;
            }
            case ExtBlock::Kind::Channel:
                channelBlock(b.bytes);
                break;
            case ExtBlock::Kind::Unknown:
                say(QStringLiteral("  ") + tr("unknown block header %1, not decoded: %2", "unbekannter Blockkopf %1, nicht entschlüsselt: %2")
                                               .arg(Hex(b.bytes.first(1)), Hex(b.bytes)));
                break;
            case ExtBlock::Kind::Truncated:
                say(QStringLiteral("  ") + tr("block %1 announces %2 bytes, only %3 follow: %4", "Block %1 kündigt %2 Byte an, es folgen nur %3: %4")
                                               .arg(Hex(b.bytes.first(1)))
                                               .arg((b.bytes[0] >> 6) == 2 ? 3 : b.bytes[0] & 0x3F)
                                               .arg(b.bytes.size())
                                               .arg(Hex(b.bytes)));
                break;
            }
        }
    }

    // A device-related block: a module status when it is one, then every set
    // bit the device file names, the areas it gives values for, and the bits
    // it does not name.
    void deviceBlock(std::span<const uint8_t> b)
    {
        say(QStringLiteral("  ") + tr("device-related (%1)", "gerätebezogen (%1)").arg(Hex(b)) + QLatin1Char(':'));
        const std::span<const uint8_t> bits = b.subspan(1);
        const auto bitSet = [&](int n) { return n / 8 < int(bits.size()) && ((bits[std::size_t(n / 8)] >> (n % 8)) & 1); };
        const std::map<int, QString> status = moduleStatus(b);
        for (const auto &[k, text] : status)
            say(QStringLiteral("    ") + moduleName(k) + QStringLiteral(": ") + text);
        std::set<int> named; // bits an area's value text covers
        if (device_)
            for (const GsdDiagArea &a : device_->unitDiagAreas) {
                int64_t v = 0;
                for (int n = a.last; n >= a.first; --n)
                    v = v * 2 + (bitSet(n) ? 1 : 0);
                const auto it = a.values.find(v);
                if (v == 0 || it == a.values.end())
                    continue;
                say(QStringLiteral("    ") + tr("bits %1-%2 = %3: %4", "Bits %1-%2 = %3: %4").arg(a.first).arg(a.last).arg(v).arg(it->second));
                for (int n = a.first; n <= a.last; ++n)
                    named.insert(n);
            }
        QStringList unnamed;
        for (int n = 0; n < int(bits.size()) * 8; ++n) {
            if (!bitSet(n) || named.count(n))
                continue;
            const auto it = device_ ? device_->unitDiagBits.find(n) : std::map<int, QString>::const_iterator();
            if (device_ && it != device_->unitDiagBits.end())
                say(QStringLiteral("    ") + tr("bit %1: %2", "Bit %1: %2").arg(n).arg(it->second));
            else
                unnamed << QString::number(n);
        }
        if (!unnamed.isEmpty() && status.empty())
            say(QStringLiteral("    ") + (device_ ? tr("bits without a text in the GSD file: %1", "Bits ohne Text in der GSD-Datei: %1")
                                                  : tr("bits set (no GSD file for their texts): %1", "gesetzte Bits (keine GSD-Datei für ihre Texte): %1"))
                                             .arg(unnamed.join(QStringLiteral(", "))));
    }

    void channelBlock(std::span<const uint8_t> b)
    {
        static const char *const kErrors[10][2] = {
            {"", ""}, {"short circuit", "Kurzschluss"}, {"undervoltage", "Unterspannung"}, {"overvoltage", "Überspannung"},
            {"overload", "Überlast"}, {"overtemperature", "Übertemperatur"}, {"line break", "Leitungsbruch"},
            {"upper limit value exceeded", "oberer Grenzwert überschritten"},
            {"lower limit value exceeded", "unterer Grenzwert unterschritten"}, {"error", "Fehler"},
        };
        static const char *const kTypes[8][2] = {{"", ""},          {"bit", "Bit"},       {"2 bits", "2 Bit"}, {"4 bits", "4 Bit"},
                                                 {"byte", "Byte"}, {"word", "Wort"}, {"2 words", "2 Worte"}, {"", ""}};
        static const char *const kDirections[4][2] = {
            {"channel %1", "Kanal %1"}, {"input channel %1", "Eingangskanal %1"}, {"output channel %1", "Ausgangskanal %1"},
            {"input/output channel %1", "Ein-/Ausgangskanal %1"}};
        const int error = b[2] & 0x1F, type = b[2] >> 5, dir = b[1] >> 6;
        QString what;
        if (error >= 1 && error <= 9)
            what = tr(kErrors[error][0], kErrors[error][1]);
        else if (error >= 16 && device_ && device_->channelDiag.count(error))
            what = device_->channelDiag.at(error);
        else if (error >= 16)
            what = tr("manufacturer-specific error %1", "herstellerspezifischer Fehler %1").arg(error);
        else
            what = tr("reserved error type %1", "reservierter Fehlertyp %1").arg(error);
        QString line = QStringLiteral("  ") + tr("channel (%1): ", "Kanal (%1): ").arg(Hex(b)) + moduleName(b[0] & 0x3F) + QStringLiteral(", ")
            + tr(kDirections[dir][0], kDirections[dir][1]).arg(b[1] & 0x3F);
        if (*kTypes[type][0])
            line += QStringLiteral(", ") + tr(kTypes[type][0], kTypes[type][1]);
        say(line + QStringLiteral(": ") + what);
    }

    const Context &ctx_;
    int station_;
    std::span<const uint8_t> diag_;
    const Record *rec_ = nullptr;
    std::optional<GsdDevice> device_;
    std::vector<Identifier> ids_;
    int cfgCount_ = 0;
    QStringList out_;
};

} // namespace

QStringList ExplainDiagnosis(const Context &ctx, int station, std::span<const uint8_t> diag)
{
    if (diag.size() < 6 || station < 0 || station >= kSlots)
        return {};
    return Explainer(ctx, station, diag).run();
}

QStringList ExplainDiagnosisMessage(const Context &ctx)
{
    const auto &m = ctx.st.mbuf;
    const int station = m[3] >= 1 && m[3] <= 125 ? m[3] : ctx.st.currentStation;
    const std::size_t n = std::min<std::size_t>(m[7], m.size() - 8);
    return ExplainDiagnosis(ctx, station, std::span(m).subspan(8, n));
}

void UpdateDiagView(const Context &ctx, DiagView &view, bool connected)
{
    UpdateDiagView(ctx.st, view, connected);
    view.caption = DiagCaption(ctx.st.language, ctx.st.currentStation);
    view.explanation = connected ? ExplainDiagnosisMessage(ctx) : QStringList();
}

} // namespace meridan
