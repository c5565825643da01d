// SPDX-License-Identifier: GPL-3.0-or-later
#include "slave/slave_editor.h"

#include "busops/run_budget.h"
#include "core/readfile.h"

#include "core/context.h"
#include "core/bytes.h"
#include "config/listline.h"
#include "config/numentry.h"
#include "core/texts.h"
#include "core/numbers.h"
#include "iface/link.h"
#include "slave/gsd.h"
#include "slave/gsd_catalogue.h"
#include "slave/gsd_check.h"
#include "slave/record.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <algorithm>

Q_LOGGING_CATEGORY(lcSlaveEditor, "meridan.slave.editor", QtWarningMsg)

namespace meridan {

namespace {

constexpr int kNameLen = 20;

// A decimal number the way a typed field is read: no digits read as 0; a
// value far beyond any field's range is held at a billion.
long long LeadingNumber(QStringView s)
{
    return static_cast<long long>(std::clamp(ValNumber(s), -1e9, 1e9)); // a fraction is cut off
}

// A device file was read (perhaps only up to an error): the record has its device.
bool DeviceRead(const GsdOutcome &out)
{
    return out.kind == GsdOutcome::Kind::Done || out.kind == GsdOutcome::Kind::Stopped;
}

uint8_t Latin1Byte(QChar c)
{
    return c.unicode() < 256 ? uint8_t(c.unicode()) : uint8_t('?');
}

} // namespace

std::vector<uint8_t> ParseByteGrid(const QString &text)
{
    std::vector<uint8_t> bytes;
    for (qsizetype i = 1; 3 * i <= text.size() + 1; ++i) {
        int v = 0;
        // A pair counts as far as its characters are hexadecimal digits.
        for (qsizetype j = 3 * (i - 1); j < 3 * (i - 1) + 2 && j < text.size(); ++j) {
            const int d = HexDigit(text[j]);
            if (d < 0)
                break;
            v = v * 16 + d;
        }
        bytes.push_back(uint8_t(v));
    }
    return bytes;
}

bool ByteGridValid(const QString &text)
{
    for (qsizetype i = 1; 3 * i <= text.size() + 1; ++i) {
        for (qsizetype j = 3 * (i - 1); j < 3 * (i - 1) + 2 && j < text.size(); ++j) {
            if (HexDigit(text[j]) < 0 && text[j] != QLatin1Char(' '))
                return false;
        }
    }
    return true;
}

SlaveEditor::SlaveEditor(Context &ctx) : ctx_(ctx) {}

void SlaveEditor::SetMeldung(const QString &text)
{
    meldung_ = text;
    if (onMeldung)
        onMeldung(text);
}

void SlaveEditor::WarnLongRecord()
{
    // A job carries 244 bytes of a record after its header: a longer one
    // reaches the master cut, which the download refuses when that would
    // cost the master parameters or identifier bytes.
    const int length = be16(ctx_.st.record.span(), 8);
    if (length <= kMaxJobData)
        return;
    const bool masterPartCut = SlaveLayout::of(ctx_.st.record).userData() > 8 + kMaxJobData;
    SetMeldung(masterPartCut
                   ? ctx_.tr(QStringLiteral("The record is %1 bytes, a job carries 244: its parameters or identifier bytes would be cut, "
                                            "the download refuses it !").arg(length),
                             QStringLiteral("Der Parametersatz hat %1 Bytes, ein Auftrag trägt 244: Parameter oder Kennungsbytes würden "
                                            "abgeschnitten, der Download lehnt ihn ab !").arg(length))
                   : ctx_.tr(QStringLiteral("The record is %1 bytes, a job carries 244: the master gets it without its name and module list").arg(length),
                             QStringLiteral("Der Parametersatz hat %1 Bytes, ein Auftrag trägt 244: der Master erhält ihn ohne Namen und Modulliste")
                                 .arg(length)));
}

void SlaveEditor::PauseOneSecond()
{
    // The text must be visible before the pause and stay for it.
    ctx_.pump.processEvents();
    ctx_.pump.sleepMs(1000);
    ctx_.pump.processEvents();
}

void SlaveEditor::GetSlave()
{
    if (!reload_)
        return;
    State &st = ctx_.st;
    st.record = st.image.slot(st.currentStation);
    st.record[3] = uint8_t(st.currentStation);
    if (st.record[0] != kSlaveMarker)
        NewSlaveRecord(st);
}

void SlaveEditor::BuffersFromRecord()
{
    State &st = ctx_.st;
    RecomputeLengths(st);
    const SlaveLayout l = SlaveLayout::of(st.record);
    for (int i = 0; i < std::min(l.u, kMaxUserPrm); ++i)
        st.slave.prm[i] = st.record[33 + i];
    for (int i = 0; i < std::min(l.c, kMaxCfg); ++i)
        st.slave.cfg[i] = st.record[l.cfgStart() + i];
    const IoLengths io = DecodeIoLengths(st.record);
    st.slave.inputOffset = io.inputOffset;
    st.slave.outputOffset = io.outputOffset;
}

void SlaveEditor::Form_Activate()
{
    State &st = ctx_.st;
    if (st.currentStation < kListFirst || st.currentStation > kListLast)
        st.currentStation = kListFirst;
    GetSlave();
    savedLine_ = st.listLines[std::size_t(st.currentStation - 1)];
    try {
        BuffersFromRecord();
        if (onRecordReady)
            onRecordReady();
        // The record's own device file, so that its module names and
        // parameter definitions are there again.
        const SlaveLayout l = SlaveLayout::of(st.record);
        QString code;
        for (int i = 0; i < 4; ++i)
            code += QChar(st.record[l.userData() + i]);
        const int ident = be16(st.record.span(), 30);
        gsdFile_ = code + HexUpper(unsigned(ident), 4) + QStringLiteral(".GSD");
        cleared_ = false;
        // The file may carry any GSD extension or another name; the name
        // handed on keeps the record's own GSD code.
        const QString found = FindDeviceFile(ctx_, code, ident);
        const GsdStatus meldung = [this](const QString &t) { SetMeldung(t); };
        const GsdOutcome out = found.isEmpty() ? LoadGSD(ctx_, gsdFile_, meldung) : LoadGsdFile(ctx_, found, gsdFile_, meldung);
        deviceFile_ = DeviceRead(out) ? out.path : QString();
    } catch (const std::exception &e) {
        qCWarning(lcSlaveEditor) << "record of station" << st.currentStation << "is damaged:" << e.what();
        SetMeldung(ctx_.tr(QStringLiteral("Error: the record is damaged"),
                           QStringLiteral("Fehler: der Datensatz ist beschädigt")));
    }
    reload_ = false;
}

SlaveView SlaveEditor::DisplaySlave() const
{
    SlaveView v;
    const State &st = ctx_.st;
    const Record &rec = st.record;
    const GsdTables &gsd = st.gsd;
    if (!cleared_) {
        v.vendor = gsd.vendor;
        v.model = gsd.model;
        v.hw = gsd.hardwareRelease;
        v.sw = gsd.softwareRelease;
        v.modulEnabled = gsd.modular == 1;
        v.modulText = gsd.modular == 1 || gsd.moduleCount < 1 ? QStringLiteral("Module") : ModuleName(gsd.moduleLine(1));
    } else {
        v.modulText = QStringLiteral("Module");
    }
    v.station = QString::number(rec.bytes[3]);
    v.ident = HexUpper(be16(rec.span(), 30));
    v.watchdog = QString::number(int(rec.bytes[27]) * rec.bytes[28] * 10);
    v.minTsdr = QString::number(rec.bytes[29]);
    v.group = QString::number(rec.bytes[32]);
    try {
        const SlaveLayout l = SlaveLayout::of(rec);
        for (int i = 0; i < l.c; ++i)
            v.cfg += HexByteText(rec[l.cfgStart() + i]);
        const IoLengths io = DecodeIoLengths(rec);
        v.recordLength = QString::number(43 + 20 + 4 + 64 + l.u + l.c);
        for (int i = 0; i < kNameLen; ++i)
            v.name += QChar(rec[l.userData() + 5 + i]);
        // The record pads the name with blanks; the field shows only the name,
        // so that typing extends it (Text2_LostFocus pads it again).
        while (v.name.endsWith(QLatin1Char(' ')))
            v.name.chop(1);
        for (int i = 0; i < l.u; ++i)
            v.prm += HexByteText(rec[33 + i]);
        v.inAdr = HexUpper(unsigned(io.inputOffset));
        v.inLn = QString::number(io.inputLength);
        v.outAdr = HexUpper(unsigned(io.outputOffset));
        v.outLn = QString::number(io.outputLength);
        // The live process data, where the master's DP-RAM can be read:
        // inputs from the input image, outputs from the output image.
        if (iface::Link *link = board ? board() : nullptr; link && link->traits().liveProcessData) {
            const uint32_t in = iface::InputImage(link->map());
            const uint32_t out = iface::OutputImage(link->map());
            for (int i = 0; i < io.inputLength && io.inputOffset + i < iface::kInputImageSize; ++i)
                v.in += HexByteText(link->getByte(in + uint32_t(io.inputOffset + i)));
            for (int i = 0; i < io.outputLength && io.outputOffset + i < iface::kOutputImageSize; ++i)
                v.out += HexByteText(link->getByte(out + uint32_t(io.outputOffset + i)));
        }
        v.moduleEntries = ModuleEntries(rec);
        for (const ModuleEntry &e : v.moduleEntries)
            v.modules << ModuleName(gsd.moduleLine(e.number));
    } catch (const std::exception &e) {
        qCWarning(lcSlaveEditor) << "record cannot be shown completely:" << e.what();
    }
    return v;
}

void SlaveEditor::F2_SA_Change(const QString &text)
{
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    if (ok && n >= 1 && n <= 99)
        ctx_.st.currentStation = n;
}

QString SlaveEditor::Text2_LostFocus(const QString &text)
{
    State &st = ctx_.st;
    const QString name = text.isEmpty() ? QStringLiteral("-") : text.left(kNameLen);
    try {
        const SlaveLayout l = SlaveLayout::of(st.record);
        for (int i = 0; i < kNameLen; ++i)
            st.record[l.userData() + 5 + i] = i < name.size() ? Latin1Byte(name[i]) : uint8_t(' ');
        BuildListLine(st);
    } catch (const std::exception &e) {
        qCWarning(lcSlaveEditor) << "name not stored:" << e.what();
    }
    return name;
}

void SlaveEditor::F2_ID_LostFocus(const QString &text)
{
    const std::optional<int32_t> id = CheckHexEntry(ctx_, text.trimmed(), QStringLiteral("0"), QStringLiteral("65535"));
    if (!id)
        return;
    putBe16(ctx_.st.record.span(), 30, uint16_t(*id));
    BuildListLine(ctx_.st);
}

bool SlaveEditor::GridEntry(const QString &text)
{
    if (ByteGridValid(text))
        return true;
    EntryMessage(ctx_, EntryProblem::WrongInput, HexRangeTitle(ctx_, 0, 0xFF));
    return false;
}

void SlaveEditor::F2_Prm_LostFocus(const QString &text)
{
    State &st = ctx_.st;
    if (!GridEntry(text))
        return;
    std::vector<uint8_t> bytes = ParseByteGrid(text);
    const bool tooMany = int(bytes.size()) > kMaxUserPrm;
    if (tooMany) {
        SetMeldung(ctx_.tr(QStringLiteral("too much parameter !"), QStringLiteral("Parameterlänge zu groß !")));
        bytes.resize(kMaxUserPrm);
    }
    try {
        RemoveUserPrm(st);
        for (std::size_t i = 0; i < bytes.size(); ++i)
            st.slave.prm[int(i)] = bytes[i];
        st.slave.u = int(bytes.size());
        InsertUserPrm(st);
        if (!tooMany) // that message says more
            WarnLongRecord();
    } catch (const std::exception &e) {
        qCWarning(lcSlaveEditor) << "parameters not stored:" << e.what();
    }
}

void SlaveEditor::F2_cfg_LostFocus(const QString &text)
{
    State &st = ctx_.st;
    if (!GridEntry(text))
        return;
    std::vector<uint8_t> bytes = ParseByteGrid(text);
    if (int(bytes.size()) > kMaxCfg)
        bytes.resize(kMaxCfg);
    try {
        RemoveCfg(st);
        for (std::size_t i = 0; i < bytes.size(); ++i)
            st.slave.cfg[int(i)] = bytes[i];
        st.slave.c = int(bytes.size());
        InsertCfg(ctx_);
        WarnLongRecord();
    } catch (const std::exception &e) {
        qCWarning(lcSlaveEditor) << "identifier bytes not stored:" << e.what();
    }
}

void SlaveEditor::F2_InAdr_LostFocus(const QString &text)
{
    const std::optional<int32_t> entry = CheckHexEntry(ctx_, text.trimmed(), QStringLiteral("0"), QStringLiteral("4096"));
    if (!entry)
        return;
    const int32_t v = *entry;
    try {
        const SlaveLayout l = SlaveLayout::of(ctx_.st.record);
        WriteWord(ctx_.st.record, l.addTab(), v);
        ctx_.st.slave.inputOffset = v;
    } catch (const std::exception &e) {
        qCWarning(lcSlaveEditor) << "input offset not stored:" << e.what();
    }
}

void SlaveEditor::F2_OutAdr_LostFocus(const QString &text)
{
    const std::optional<int32_t> entry = CheckHexEntry(ctx_, text.trimmed(), QStringLiteral("0"), QStringLiteral("4096"));
    if (!entry)
        return;
    const int32_t v = *entry;
    try {
        const SlaveLayout l = SlaveLayout::of(ctx_.st.record);
        WriteWord(ctx_.st.record, l.addTab() + 2, v);
        ctx_.st.slave.outputOffset = v;
    } catch (const std::exception &e) {
        qCWarning(lcSlaveEditor) << "output offset not stored:" << e.what();
    }
}

void SlaveEditor::Watchdog_LostFocus(const QString &text)
{
    Record &rec = ctx_.st.record;
    // Text that is no number is refused: read as 0 it would switch the watchdog off.
    const std::optional<int32_t> entry = CheckRangeEntry(ctx_, text, 0, 12750, 1.0);
    if (!entry)
        return;
    const int32_t ms = *entry;
    if (ms < 50) {
        rec[27] = 0;
        rec[28] = 0;
        rec[26] = uint8_t(rec[26] & ~0x08);
    } else {
        rec[27] = uint8_t(ms / 50);
        rec[28] = 5;
        rec[26] = uint8_t(rec[26] | 0x08);
    }
}

void SlaveEditor::minTsdr_Change(const QString &text)
{
    ctx_.st.record[29] = uint8_t(std::clamp<long long>(LeadingNumber(text), 11, 255));
}

void SlaveEditor::Group_Change(const QString &text)
{
    ctx_.st.record[32] = uint8_t(std::clamp<long long>(LeadingNumber(text), 1, 255));
}

std::vector<std::pair<QString, int>> SlaveEditor::Modul_DropDown() const
{
    std::vector<std::pair<QString, int>> out;
    const GsdTables &gsd = ctx_.st.gsd;
    for (int m = 1; m <= std::min(gsd.moduleCount, kMaxGsdModules); ++m)
        out.emplace_back(ModuleName(gsd.moduleLine(m)), m);
    return out;
}

bool SlaveEditor::Modul_Click(int m)
{
    State &st = ctx_.st;
    const GsdTables &gsd = st.gsd;
    if (m < 1 || m > std::min(gsd.moduleCount, kMaxGsdModules))
        return false;
    const auto refuse = [this](const QString &en, const QString &de) {
        SetMeldung(ctx_.tr(en, de));
        PauseOneSecond();
        return false;
    };
    try {
        // What the device takes, before anything is changed: a slave
        // refuses a configuration beyond its limits.
        const qint64 modules = qint64(ModuleEntries(st.record).size());
        if (gsd.maxModule >= 0 && modules >= gsd.maxModule)
            return refuse(QStringLiteral("Error: the device takes at most %1 modules (Max_Module), module not added !").arg(gsd.maxModule),
                          QStringLiteral("Fehler: das Gerät nimmt höchstens %1 Module (Max_Module), Modul nicht eingefügt !").arg(gsd.maxModule));
        // The module list must have room: a module whose number is not in
        // the list would leave its bytes unexplained.
        Record probe = st.record;
        if (!AppendModule(probe, m))
            return refuse(QStringLiteral("Error: the module list is full, module not added !"),
                          QStringLiteral("Fehler: Modulliste voll, Modul nicht eingefügt !"));
        // The module's constants with each of its fields at its default.
        const std::vector<uint8_t> prm = ModulePrmBytes(gsd, m);
        RecomputeLengths(st);
        const qint64 total = st.slave.u + qint64(prm.size());
        if (gsd.maxUserPrmDataLen >= 0 && total > gsd.maxUserPrmDataLen)
            return refuse(QStringLiteral("Error: the parameters would be %1 bytes, the device takes at most %2 (Max_User_Prm_Data_Len), "
                                         "module not added !").arg(total).arg(gsd.maxUserPrmDataLen),
                          QStringLiteral("Fehler: die Parameter wären %1 Bytes lang, das Gerät nimmt höchstens %2 (Max_User_Prm_Data_Len), "
                                         "Modul nicht eingefügt !").arg(total).arg(gsd.maxUserPrmDataLen));
        int cfgByteCount = st.slave.c;
        for (int i = 0; i < st.slave.c; ++i)
            st.slave.cfg[i] = st.record[35 + st.slave.u + i];
        AddConfig(ctx_, gsd.moduleLine(m), cfgByteCount, [this](const QString &t) { SetMeldung(t); });

        // The parameter bytes as the record holds them now, with whatever the
        // extended parameter editor wrote, then the module's.
        RecomputeLengths(st);
        const int u = st.slave.u;
        for (int i = 0; i < u; ++i)
            st.slave.prm[i] = st.record[33 + i];
        int add = int(prm.size());
        if (u + add > kMaxUserPrm) {
            SetMeldung(ctx_.tr(QStringLiteral("too much parameter !"), QStringLiteral("Parameterlänge zu groß !")));
            add = kMaxUserPrm - u;
        }
        RemoveUserPrm(st);
        for (int i = 0; i < add; ++i)
            st.slave.prm[u + i] = prm[std::size_t(i)];
        st.slave.u = u + add;
        InsertUserPrm(st);
        AppendModule(st.record, m);
        WarnLongRecord();
        return true;
    } catch (const std::exception &e) {
        SetMeldung(QStringLiteral("Error: %1").arg(QString::fromUtf8(e.what())));
        return false;
    }
}

ExtSelection SlaveEditor::ModList_Click(int index) const
{
    const std::vector<ModuleEntry> entries = ModuleEntries(ctx_.st.record);
    if (index < 0 || index >= int(entries.size()))
        return {};
    ExtSelection sel;
    sel.position = index + 1;
    sel.number = entries[std::size_t(index)].number;
    sel.offset = ModuleParamOffset(ctx_.st.gsd, ctx_.st.record, sel.position);
    return sel;
}

bool SlaveEditor::RebuildCfg(const std::vector<int> &modules)
{
    int cfgByteCount = 0;
    RemoveCfg(ctx_.st);
    for (int number : modules)
        if (!AddConfig(ctx_, ctx_.st.gsd.moduleLine(number), cfgByteCount, [this](const QString &t) { SetMeldung(t); }))
            return false;
    return true;
}

bool SlaveEditor::ModList_Delete(int index)
{
    State &st = ctx_.st;
    try {
        const std::vector<ModuleEntry> entries = ModuleEntries(st.record);
        if (index < 0 || index >= int(entries.size()))
            return false;
        std::vector<int> rest;
        for (int i = 0; i < int(entries.size()); ++i) {
            if (i == index)
                continue;
            // The identifier bytes are rebuilt from the module lines: without
            // them every other module would lose its bytes.
            if (st.gsd.moduleLine(entries[std::size_t(i)].number).isEmpty()) {
                SetMeldung(ctx_.tr(QStringLiteral("Error: GSD file not loaded, module not removed !"),
                                   QStringLiteral("Fehler: GSD-Datei nicht geladen, Modul nicht entfernt !")));
                return false;
            }
            rest.push_back(entries[std::size_t(i)].number);
        }
        // Take the entry out of the list, both bytes of a number above 254,
        // and close the gap so that the list stays one run of modules.
        const int first = SlaveLayout::of(st.record).userData() + kModuleListAt;
        const ModuleEntry &gone = entries[std::size_t(index)];
        const int width = gone.number > 254 ? 2 : 1;
        const int at = gone.listByte - 1;
        for (int p = at; p < kModuleListLen; ++p)
            st.record[first + p] = p + width < kModuleListLen ? st.record[first + p + width] : 0;
        RebuildCfg(rest);
        return true;
    } catch (const std::exception &e) {
        SetMeldung(QStringLiteral("Error: %1").arg(QString::fromLocal8Bit(e.what())));
        return false;
    }
}

void SlaveEditor::GSD_Click(const QString &identText, const QString &nameText)
{
    State &st = ctx_.st;
    // A station with its device file read has its device; one whose file
    // was not found may be given one.
    const bool forStation = identText != QLatin1String("0");
    if (forStation && !deviceFile_.isEmpty()) {
        ctx_.ui.message(QStringLiteral("GSD-File allready loaded!"), QStringLiteral("ERROR MERIDAN"), Icon::Warning);
        return;
    }
    FileDialogSpec spec;
    spec.title = QStringLiteral("Load GSD File");
    spec.filter = QStringLiteral("GSD (*.gsd)|*.gsd|GSE (*.gse)|*.gse|GSF (*.gsf)|*.gsf|GSG (*.gsg)|*.gsg|All (*.*)|*.*");
    spec.initialDir = ctx_.root.gsdDir();
    const std::optional<QString> chosen = chooseGsdFile ? chooseGsdFile(spec) : ctx_.ui.openFile(spec);
    if (!chosen || chosen->isEmpty())
        return;
    // The file chosen is read where it is; the configuration's own file name
    // stays: a device file says nothing about where the configuration goes.
    const QString path = NormalizeSeparators(*chosen);
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    gsdFile_ = slash < 0 ? path : path.mid(slash + 1);
    if (forStation) {
        LoadForStation(path, identText);
        return;
    }
    try {
        RecomputeLengths(st);
        const int list = SlaveLayout::of(st.record).userData() + kModuleListAt;
        for (int i = 0; i < kModuleListLen; ++i)
            st.record[list + i] = 0;
        // The guard above means the record has no device yet: its defaults
        // belong in it, even when an earlier look for a file found none.
        st.slave.gsdLoaded = false;
        cleared_ = false;
        const GsdOutcome out = LoadGsdFile(ctx_, path, gsdFile_, [this](const QString &t) { SetMeldung(t); });
        if (DeviceRead(out))
            deviceFile_ = out.path;
        if (out.kind == GsdOutcome::Kind::Stopped || out.kind == GsdOutcome::Kind::NotGsd)
            return;
        Text2_LostFocus(nameText);
        BuildListLine(st);
        ShowGsdCheck(out.path);
    } catch (const std::exception &e) {
        qCWarning(lcSlaveEditor) << "GSD load ended:" << e.what();
    }
}

void SlaveEditor::LoadForStation(const QString &path, const QString &identText)
{
    const GsdHeader head = ReadGsdHeader(ReadGsdBytes(path).value_or(QByteArray()));
    const int ident = be16(ctx_.st.record.span(), 30);
    if (head.isGsd && head.ident != ident) {
        const QString theirs = head.ident < 0 ? QStringLiteral("----") : HexUpper(unsigned(head.ident), 4);
        ctx_.ui.message(ctx_.tr(QStringLiteral("The GSD file describes ident %1, the station has %2.").arg(theirs, identText),
                                QStringLiteral("Die GSD-Datei beschreibt Ident %1, die Station hat %2.").arg(theirs, identText)),
                        QStringLiteral("ERROR MERIDAN"), Icon::Warning);
        return;
    }
    // The record keeps its parameters, identifier bytes and modules (its
    // ident is set); it takes the file's GSD code so that it is found again.
    cleared_ = false;
    const GsdOutcome out = LoadGsdFile(ctx_, path, gsdFile_, [this](const QString &t) { SetMeldung(t); });
    if (DeviceRead(out))
        deviceFile_ = out.path;
    if (out.kind != GsdOutcome::Kind::Done)
        return;
    BuildListLine(ctx_.st);
    ShowGsdCheck(out.path);
}

void SlaveEditor::ShowGsdCheck(const QString &path)
{
    const std::optional<GsdCheck> check = CheckGsdFile(path);
    if (!check)
        return;
    const int errors = check->count(GsdFinding::Level::Error);
    const int warnings = check->count(GsdFinding::Level::Warning);
    const QString name = QFileInfo(path).fileName();
    SetMeldung(ctx_.tr(QStringLiteral("GSD check of %1: %2 %3, %4 %5")
                           .arg(name)
                           .arg(errors)
                           .arg(errors == 1 ? QStringLiteral("error") : QStringLiteral("errors"))
                           .arg(warnings)
                           .arg(warnings == 1 ? QStringLiteral("warning") : QStringLiteral("warnings")),
                       QStringLiteral("GSD-Prüfung von %1: %2 Fehler, %3 %4")
                           .arg(name)
                           .arg(errors)
                           .arg(warnings)
                           .arg(warnings == 1 ? QStringLiteral("Warnung") : QStringLiteral("Warnungen"))));
}

void SlaveEditor::Neu_Click(const QString &stationText)
{
    State &st = ctx_.st;
    bool ok = false;
    const int n = stationText.trimmed().toInt(&ok);
    if (ok && n >= 1 && n <= 99)
        st.currentStation = n;
    cleared_ = true;
    deviceFile_.clear();
    st.slave.u = st.slave.c = st.slave.d = 0;
    st.slave.inputOffset = st.slave.outputOffset = 0;
    NewSlaveRecord(st);
}

void SlaveEditor::F2_Disp_Click() { GetSlave(); }

void SlaveEditor::F2_AutoAddr_Click()
{
    State &st = ctx_.st;
    const int s = st.currentStation;
    if (s < 10 || s > 41) {
        SetMeldung(ctx_.tr(QStringLiteral("Auto addressing only for stations 10 to 41 !"),
                           QStringLiteral("Nur für Stationen 10 bis 41 möglich !")));
        return;
    }
    // 64 bytes a station in each image. Outputs have an image of their own
    // 0x800 above the inputs, so the output offset counts from 0 and the
    // outputs land where the single area of old had them, 2048 bytes above.
    st.slave.inputOffset = (s - 10) * 64;
    st.slave.outputOffset = (s - 10) * 64;
    try {
        const SlaveLayout l = SlaveLayout::of(st.record);
        WriteWord(st.record, l.addTab(), st.slave.inputOffset);
        WriteWord(st.record, l.addTab() + 2, st.slave.outputOffset);
    } catch (const std::exception &e) {
        qCWarning(lcSlaveEditor) << "offsets not stored:" << e.what();
    }
}

void SlaveEditor::CopyCom_Click()
{
    State &st = ctx_.st;
    const std::optional<QString> answer =
        ctx_.ui.input(QStringLiteral("Enter Station to copy to"), QStringLiteral("StationCopy"));
    if (!answer || answer->isEmpty())
        return;
    const QStringList items = answer->split(QLatin1Char(','));
    for (const QString &item : items) {
        const long long n = LeadingNumber(item);
        // Only 1..125 have a slot; every other number is named to the user.
        if (n < 1 || n > kSlots - 1) {
            ctx_.ui.message(QStringLiteral("Unproper Stationadr:") + QString::number(n), QStringLiteral("Station Error"));
            continue;
        }
        try {
            st.record[3] = uint8_t(n);
            StoreRecord(st, int(n));
            BuildListLine(st);
            st.record[3] = uint8_t(st.currentStation);
        } catch (const std::exception &e) {
            qCWarning(lcSlaveEditor) << "copy to" << n << "failed:" << e.what();
        }
        if (!IsDownloaded(int(n)))
            SetMeldung(ctx_.tr(QStringLiteral("Station %1 is never downloaded: %2 !"), QStringLiteral("Station %1 wird nie geladen: %2 !"))
                           .arg(n)
                           .arg(NeverDownloadedWhy(ctx_, int(n))));
    }
}

void SlaveEditor::F2_Exit_Click(const QString &stationText)
{
    State &st = ctx_.st;
    F2_SA_Change(stationText);
    const int station = st.currentStation;
    // A record stored at another station than it was opened for carries that
    // station's address; the station it came from keeps its old line.
    const int from = st.record[3];
    if (from != station) {
        if (from >= 1 && from <= 125)
            st.listLines[std::size_t(from - 1)] = savedLine_;
        st.record[3] = uint8_t(station);
    }
    StoreRecord(st, station);
    BuildListLine(st);
    reload_ = true;
}

void SlaveEditor::Cancel_Click()
{
    State &st = ctx_.st;
    const int station = st.record[3];
    if (station >= 1 && station <= 125)
        st.listLines[std::size_t(station - 1)] = savedLine_;
    reload_ = true;
}

} // namespace meridan
