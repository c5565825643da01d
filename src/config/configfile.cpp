// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/configfile.h"

#include "core/context.h"
#include "config/listline.h"
#include "core/readfile.h"
#include "core/savefile.h"
#include "core/texts.h"
#include "config/image.h"
#include "core/bytes.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcConfigFile, "meridan.config.file", QtWarningMsg)

namespace meridan {

namespace {

const QString kFileTitleEn = QStringLiteral("DP-Configurator");
const QString kFileTitleDe = QStringLiteral("DP-Konfigurator");

FileDialogSpec ConfigDialog(const Context &ctx)
{
    FileDialogSpec spec;
    spec.title = QStringLiteral("Profibus Setup");
    spec.filter = QStringLiteral("Configdata (*.dp1)|*.dp1|all (*.*)|*.*");
    spec.defaultSuffix = QStringLiteral("dp1");
    spec.initialDir = ctx.root.setupDir();
    spec.fileName = ctx.st.configFileName;
    return spec;
}

// Reads exactly `n` bytes unless the file ends first; returns what was read.
QByteArray ReadUpTo(QIODevice &f, qint64 n)
{
    return n > 0 ? f.read(n) : QByteArray();
}

void CopyInto(Record &a, Record &b, int from, const QByteArray &bytes)
{
    for (int i = 0; i < bytes.size(); ++i) {
        a[from + i] = uint8_t(bytes[i]);
        b[from + i] = uint8_t(bytes[i]);
    }
}

enum class ReadEnd { Done, NoMaster, Error };

// The part shared by Load and the start-up reader: the master record, then
// the slave records. `count` receives the number of slave records read;
// `damage` (when given) what was wrong with the file, empty when nothing was.
ReadEnd ReadRecords(Context &ctx, QIODevice &f, const QString &missingMasterEn, int &count, QString *damage = nullptr)
{
    State &st = ctx.st;
    count = 0;
    const auto damaged = [&](const QString &what) {
        if (damage)
            *damage = what;
    };
    ReadUpTo(f, 8); // header: any values are accepted
    const QByteArray master = ReadUpTo(f, 256);
    for (int i = 0; i < master.size(); ++i)
        st.image.at(0, i) = uint8_t(master[i]);
    if (!st.image.hasMaster()) {
        damaged(QStringLiteral("no master record"));
        ctx.ui.message(ctx.tr(missingMasterEn, QStringLiteral("Master Parametersatz fehlt !")),
                       ctx.tr(kFileTitleEn, kFileTitleDe));
        return ReadEnd::NoMaster;
    }
    if (master.size() < 256)
        damaged(QStringLiteral("the master record is cut short (%1 of 256 bytes)").arg(master.size()));
    while (!f.atEnd()) {
        const qint64 at = f.pos();
        const QByteArray head = ReadUpTo(f, 8);
        if (head.isEmpty())
            break;
        if (uint8_t(head[0]) != kSlaveMarker)
            continue; // unknown data is skipped in steps of 8 bytes
        ++count;
        const int s = head.size() > 3 ? uint8_t(head[3]) : 0;
        // Station 0 is the master's slot: a record claiming it would destroy
        // the master record, so it ends the load like a station above 125.
        if (s < 1 || s >= kSlots) {
            qCInfo(lcConfigFile) << "record with station" << s << "ends the load";
            damaged(QStringLiteral("the record at byte %1 names station %2, not 1..125").arg(at).arg(s));
            return ReadEnd::Error;
        }
        Record &slot = st.image.slot(s);
        const Record before = slot;
        // The record buffer holds only what the file gives: a record the
        // file cuts short must not be completed from an earlier edit.
        st.record = slot;
        CopyInto(slot, st.record, 0, head);
        const QByteArray len = ReadUpTo(f, 2);
        CopyInto(slot, st.record, 8, len);
        const int hi = st.record.bytes[8];
        const int l = be16(st.record.span(), 8);
        const auto cutShort = [&](qint64 have) {
            damaged(QStringLiteral("the record of station %1 at byte %2 is cut short (%3 bytes)").arg(s).arg(at).arg(have));
        };
        if (len.size() < 2) {
            cutShort(head.size() + len.size());
            BuildListLine(st); // the file ended inside the record: keep what is there
            return ReadEnd::Done;
        }
        if (hi > 127 || l > 511) {
            // The damaged record does not stay half-stored in the image.
            slot = before;
            qCInfo(lcConfigFile) << "record at station" << s << "has bad length" << l;
            damaged(QStringLiteral("the record of station %1 at byte %2 has length %3, above 511").arg(s).arg(at).arg(l));
            return ReadEnd::Error;
        }
        if (l >= 10) {
            const QByteArray rest = ReadUpTo(f, l - 9);
            CopyInto(slot, st.record, 10, rest);
            if (rest.size() < l - 9)
                cutShort(10 + rest.size());
        }
        BuildListLine(st);
    }
    return ReadEnd::Done;
}

} // namespace

int LoadConfigFile(Context &ctx, const QString &path, QString *damage)
{
    State &st = ctx.st;
    ClearImage(st.image);
    ResetListLines(st);
    int count = 0;
    ReadEnd end = ReadEnd::Error;
    QFile f(ResolveNoCase(ctx.root.mapPath(path)));
    const QFileInfo info(f.fileName());
    QString why;
    if (info.exists() && info.isDir()) {
        why = QStringLiteral("is a folder");
    } else if (!info.exists()) {
        // A path that names no file reads as an empty file: no master record.
        ctx.ui.message(ctx.tr(QStringLiteral("Missing Master record!"), QStringLiteral("Master Parametersatz fehlt !")),
                       ctx.tr(kFileTitleEn, kFileTitleDe));
        why = QStringLiteral("no such file");
        end = ReadEnd::NoMaster;
    } else if (OpenRegularFile(f, &why)) {
        return LoadConfigDevice(ctx, f, damage);
    }
    if (damage)
        *damage = why;
    ctx.ui.listChanged();
    return end == ReadEnd::Done ? count : -1;
}

int LoadConfigDevice(Context &ctx, QIODevice &in, QString *damage)
{
    State &st = ctx.st;
    ClearImage(st.image);
    ResetListLines(st);
    int count = 0;
    ReadEnd end = ReadEnd::Error;
    if (damage)
        damage->clear();
    try {
        end = ReadRecords(ctx, in, QStringLiteral("Missing Master record!"), count, damage);
    } catch (const std::exception &e) {
        qCInfo(lcConfigFile) << "load ended:" << e.what();
        if (damage)
            *damage = QString::fromLocal8Bit(e.what());
        end = ReadEnd::Error;
    }
    ctx.ui.listChanged();
    if (end != ReadEnd::Done)
        return -1;
    ctx.status(NumText(count)
               + ctx.tr(QStringLiteral(" Slave records loaded"), QStringLiteral(" Slaveparametersätze geladen")));
    return count;
}

bool SaveConfigFile(Context &ctx, const QString &path)
{
    State &st = ctx.st;
    const QString target = ctx.root.mapPath(path);
    int count = 0;
    QString why;
    if (QFileInfo(target).isDir()) {
        why = ctx.tr(QStringLiteral("is a folder"), QStringLiteral("ist ein Ordner"));
    } else {
        QByteArray out(8, '\0');
        out[0] = 0x10;
        try {
            if (!st.image.hasMaster()) {
                ctx.ui.message(ctx.tr(QStringLiteral("missing Master record !"), QStringLiteral("Master Parametersatz fehlt !")),
                               ctx.tr(kFileTitleEn, kFileTitleDe));
            } else {
                const Record &m = st.image.slot(0);
                out.append(reinterpret_cast<const char *>(m.bytes.data()), 256);
                for (int s = kListFirst; s <= kListLast; ++s) {
                    if (!st.image.hasSlave(s))
                        continue;
                    Record &r = st.image.slot(s);
                    r[6] = 0;
                    const int l = int16_t(be16(r.span(), 8));
                    if (l > 244)
                        r[7] = 244;
                    if (l < 0 || l >= kSlotSize)
                        throw RangeError("record length beyond the slot");
                    out.append(reinterpret_cast<const char *>(r.bytes.data()), l + 1);
                    ++count;
                }
            }
            why = WriteWholeFile(target, out);
        } catch (const std::exception &e) {
            why = ctx.tr(QStringLiteral("a slave record is damaged"), QStringLiteral("ein Slaveparametersatz ist beschädigt"));
        }
    }
    if (!why.isEmpty()) {
        ctx.status(ctx.tr(QStringLiteral("Not saved, file unchanged: "), QStringLiteral("Nicht gespeichert, Datei unverändert: "))
                   + target + QStringLiteral(" (") + why + QLatin1Char(')'));
        return false;
    }
    ctx.status(NumText(count)
               + ctx.tr(QStringLiteral(" Slave records writen"), QStringLiteral(" Slaveparametersätze geschrieben")));
    return true;
}

bool AutoLoad(Context &ctx, const QString &path)
{
    State &st = ctx.st;
    QString used = path.isEmpty() ? ctx.root.path(QStringLiteral("setup/AutoLoad.dp1")) : ctx.root.mapPath(path);
    st.configFileName = used;
    ClearImage(st.image);
    const QString found = ResolveNoCase(used);
    QFile f(found);
    if (!OpenRegularFile(f))
        return false;
    st.configFileName = found;
    int count = 0;
    try {
        ReadRecords(ctx, f, QStringLiteral("missing Master record !"), count);
    } catch (const std::exception &e) {
        qCInfo(lcConfigFile) << "start-up file ended:" << e.what();
    }
    return true;
}

void Neufile(Context &ctx)
{
    ClearImage(ctx.st.image);
    ResetListLines(ctx.st);
    ctx.ui.listChanged();
}

namespace {

// The first bytes of a file are those of a configuration file.
bool IsConfigHead(const QByteArray &head)
{
    // Written files start 0x10 and seven zeros; the reader has always taken
    // any header, so a master record right after it is enough.
    return head.startsWith(QByteArray::fromRawData("\x10\0\0\0\0\0\0\0", 8))
        || (head.size() > 8 && uint8_t(head[8]) == kMasterMarker);
}

} // namespace

bool Laden(Context &ctx)
{
    const auto chosen = ctx.ui.openFile(ConfigDialog(ctx));
    if (!chosen)
        return false;
    const QString title = ctx.tr(kFileTitleEn, kFileTitleDe);
    // The configuration in memory is given up only for a file that holds one.
    QString why;
    const std::optional<QByteArray> head = ReadRegularFile(ResolveNoCase(ctx.root.mapPath(*chosen)), 9, &why);
    if (!head || !IsConfigHead(*head)) {
        ctx.ui.message(*chosen + QLatin1Char('\n')
                           + (head ? ctx.tr(QStringLiteral("not a configuration file"), QStringLiteral("keine Konfigurationsdatei")) : why),
                       title, Icon::Warning);
        return false;
    }
    ctx.st.configFileName = *chosen;
    QString damage;
    LoadConfigFile(ctx, *chosen, &damage);
    if (damage.isEmpty() || !ctx.st.image.hasMaster())
        return true; // nothing wrong, or the missing master record was said
    int kept = 0;
    for (int s = 1; s < kSlots; ++s)
        kept += ctx.st.image.hasSlave(s) ? 1 : 0;
    ctx.ui.message(ctx.tr(QStringLiteral("The file is damaged: %1.\nKept: the master record and %2 slave records.").arg(damage).arg(kept),
                          QString::fromUtf8("Die Datei ist beschädigt: %1.\nBehalten: der Masterparametersatz und %2 Slaveparametersätze.")
                              .arg(damage)
                              .arg(kept)),
                   title, Icon::Warning);
    return true;
}

bool Save(Context &ctx)
{
    const auto chosen = ctx.ui.saveFile(ConfigDialog(ctx));
    if (!chosen)
        return false;
    ctx.st.configFileName = *chosen;
    return SaveConfigFile(ctx, *chosen);
}

} // namespace meridan
