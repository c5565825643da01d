// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/printout.h"

#include "core/readfile.h"

#include "core/bytes.h"
#include "core/context.h"
#include "slave/gsd_catalogue.h"
#include "slave/gsd_file.h"
#include "slave/record.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>

namespace meridan {

namespace {

const QString kDashes = QString(42, QLatin1Char('-'));
const QString kWrapIndent = QString(34, QLatin1Char(' '));
const QString kModuleIndent = QString(11, QLatin1Char(' '));
constexpr int kBytesPerLine = 8;

// A number printed as a number: the sign position, the digits, one blank.
QString Num(long long v)
{
    return NumText(v) + QLatin1Char(' ');
}

// Record bytes as printed text: Latin-1, control bytes shown as blanks.
QString Chars(const Record &rec, int from, int count)
{
    QString s;
    for (int i = 0; i < count; ++i) {
        const uint8_t b = rec[from + i];
        s += b < 0x20 ? QLatin1Char(' ') : QChar(b);
    }
    return s;
}

QString Title(const Context &ctx)
{
    return ctx.tr(QStringLiteral("ZEL Meridan - PROFIBUS-DP Configuration :"),
                  QStringLiteral("ZEL Meridan - PROFIBUS-DP Konfiguration :"));
}

QString StationLabel(const Context &ctx)
{
    return ctx.tr(QStringLiteral("   Stationaddress ............ :"), QStringLiteral("   Stationsadresse ........... :"));
}

// The baud-rate text and the bit time in ms, as the bus parameter editor
// shows them (single precision, so the ms values agree with the editor's).
// A code the editor does not know prints as a number and with 0 ms.
struct Baud {
    QString text;
    float bitTime = 0.0f;
};

Baud BaudOf(int code)
{
    if (const BaudInfo *b = BaudFor(code))
        return {QString::fromLatin1(b->shown), float(1.0 / b->kbits)};
    return {NumText(code), 0.0f};
}

QString Ms(double tbits, float bitTime)
{
    return Fixed3(double(float(tbits) * bitTime)) + QStringLiteral(" ms");
}

QStringList MasterPage(const Context &ctx, const QDateTime &now)
{
    // The master record is bytes 0..255 of slot 0; the rest of the slot is
    // not part of it.
    Record m;
    std::copy_n(ctx.st.image.slot(0).bytes.begin(), 256, m.bytes.begin());
    const auto b = m.span();
    const Baud baud = BaudOf(m[11]);
    const int tsl = be16(b, 12);
    const uint32_t ttr = be32(b, 20);
    const QLocale loc;

    QStringList l;
    l << QStringLiteral("  ") << QStringLiteral("  ") << QStringLiteral("  ");
    l << Title(ctx) << kDashes;
    l << QStringLiteral("File : ") + ctx.st.configFileName;
    l << QStringLiteral("Date : ") + loc.toString(now, QLocale::ShortFormat);
    l << kDashes << QString();
    l << ctx.tr(QStringLiteral("Master and Busparameter"), QStringLiteral("Master und Busparameter"));
    l << QString() << QStringLiteral(" Busparameter:");
    l << StationLabel(ctx) + NumText(m[10]);
    l << QStringLiteral("   Baudrate .................. :") + baud.text;
    l << QStringLiteral("   TSL ....................... :") + Num(tsl) + QStringLiteral("TBit");
    l << QStringLiteral("   TSL ....................... : ") + Ms(tsl, baud.bitTime);
    l << QStringLiteral("   minT ...................... :") + WordText(m[14], m[15]) + QStringLiteral(" TBit");
    l << QStringLiteral("   maxT ...................... :") + WordText(m[16], m[17]) + QStringLiteral(" TBit");
    l << QStringLiteral("   Tqui ...................... :") + Num(int(m[18]) - 1) + QStringLiteral(" TBit");
    l << QStringLiteral("   Tset ...................... :") + NumText(m[19]) + QStringLiteral(" TBit");
    l << QStringLiteral("   TRT ....................... : ") + Ms(double(ttr), baud.bitTime);
    l << QStringLiteral("   Gap ....................... :") + NumText(m[24]);
    l << QStringLiteral("   HSA ....................... :") + NumText(m[25]);
    l << QStringLiteral("   MRL ....................... :") + NumText(m[26]);
    l << QString() << QStringLiteral(" DP-Parameter:");
    l << QStringLiteral("   MinS ...................... :") + NumTextReal(be16(b, 28) / 10.0) + QStringLiteral(" ms");
    l << QStringLiteral("   Poll ...................... :") + WordText(m[30], m[31]) + QStringLiteral(" ms");
    l << QStringLiteral("   DCT ....................... :") + NumText(be16(b, 32) * 10LL) + QStringLiteral(" ms");
    l << QString() << QStringLiteral(" Options:");
    const bool autoClear = m[27] & 0x80;
    l << QStringLiteral("   AutoClear.................. : ")
            + (autoClear ? ctx.tr(QStringLiteral("on"), QStringLiteral("an")) : ctx.tr(QStringLiteral("off"), QStringLiteral("aus")));
    return l;
}

// A byte list after its label: eight bytes to a line, continuation lines
// indented under the first byte. `counter` carries over from one list to the
// next on the same page.
void ByteList(QStringList &l, QString line, const Record &rec, int from, int count, int &counter)
{
    for (int i = 0; i < count; ++i) {
        line += HexByteText(rec[from + i]);
        if (++counter == kBytesPerLine) {
            l << line;
            line = kWrapIndent;
            counter = 0;
        }
    }
    l << line;
}

// The text of a quoted value is what lies between its quotes; an unquoted
// value is kept whole but for a stray closing quote.
QString TextValue(const QString &value)
{
    if (value.startsWith(QLatin1Char('"'))) {
        const int close = value.indexOf(QLatin1Char('"'), 1);
        return close < 0 ? value.mid(1) : value.mid(1, close - 1);
    }
    return value.endsWith(QLatin1Char('"')) ? value.chopped(1) : value;
}

// The ident number as four hex digits: a "0x" value as written, a decimal
// one converted.
QString IdentText(const QString &value)
{
    if (!value.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        int error = 0;
        qint64 v = -1;
        try {
            v = GetParameterValue(value, 1, error);
        } catch (const GsdError &) {
            error = 1;
        }
        if (!error && v >= 0 && v <= 0xFFFF)
            return HexUpper(quint64(v), 4);
    }
    return value.mid(2, 4);
}

} // namespace

GsdKeyLines KeyLinesOf(const GsdFile &file)
{
    GsdKeyLines out;
    for (const GsdIdLine &l : file.idLines) {
        switch (l.key) {
        case GsdIdLine::Key::VendorName:
            out.lines << QStringLiteral("   Vendor Name ............... : ") + TextValue(file.text(l.value));
            break;
        case GsdIdLine::Key::HardwareRelease:
            out.lines << QStringLiteral("   Hardware Release .......... : ") + TextValue(file.text(l.value));
            break;
        case GsdIdLine::Key::SoftwareRelease:
            out.lines << QStringLiteral("   Software Release .......... : ") + TextValue(file.text(l.value));
            break;
        case GsdIdLine::Key::ModelName:
            out.lines << QStringLiteral("   Model Name ................ : ") + TextValue(file.text(l.value));
            break;
        case GsdIdLine::Key::IdentNumber:
            out.lines << QStringLiteral("   Ident Number .............. : ") + IdentText(file.text(l.value));
            break;
        case GsdIdLine::Key::Revision:
            break;
        }
    }
    for (const GsdFileModule &m : file.modules)
        out.modules << file.moduleName(m);
    return out;
}

GsdKeyLines ReadGsdKeyLines(const QByteArray &bytes)
{
    return KeyLinesOf(ParseGsd(bytes).file);
}

QStringList SlavePageLines(const Context &ctx, int station, const Record &rec)
{
    QStringList l;
    l << Title(ctx) << kDashes << QString();
    l << ctx.tr(QStringLiteral("Slave Record"), QStringLiteral("Slave Parametersatz")) << QString();
    l << StationLabel(ctx) + Num(station);
    // A record whose lengths point outside it ends its page with a note
    // instead of stopping the printout.
    try {
        const SlaveLayout lay = SlaveLayout::of(rec);
        const int ud = lay.userData();
        const int ident = be16(rec.span(), 30);
        const QString code = Chars(rec, ud, 4);
        const QString base = code + HexUpper(unsigned(ident), 4);
        // The file the slave editor and the bus check find for this record.
        const QString found = FindDeviceFile(ctx, code, ident);
        l << ctx.tr(QStringLiteral("   GSD-File .................. : "), QStringLiteral("   GSD-Datei ................. : "))
                + (found.isEmpty() ? ctx.root.gsdDir() + QLatin1Char('/') + base + QStringLiteral(".GSD") : found);
        const std::optional<QByteArray> bytes = ReadGsdBytes(found);
        const GsdKeyLines gsd = bytes ? ReadGsdKeyLines(*bytes) : GsdKeyLines{};
        l << gsd.lines << QString();
        l << ctx.tr(QStringLiteral("   User Name ................. : "), QStringLiteral("   Anwender Bezeichnung ...... : "))
                + Chars(rec, ud + 5, 20);
        l << QString();
        l << QStringLiteral("   Watchdog Time.............. : ") + NumText(int(rec[27]) * 10 * rec[28]) + QStringLiteral(" ms");
        l << QStringLiteral("   minTsdr ................... : ") + NumText(rec[29]) + QStringLiteral(" TBit");
        l << QStringLiteral("   Group ..................... : ") + NumText(rec[32]);
        l << QString();
        l << ctx.tr(QStringLiteral("   Parameter Length .......... : "), QStringLiteral("   Parameter Länge ........... : ")) + Num(lay.u);
        int counter = 0;
        ByteList(l, QStringLiteral("   Parameter ................. :  "), rec, 33, lay.u, counter);
        l << QString();
        const IoLengths io = DecodeIoLengths(rec);
        l << QStringLiteral("   Input Data Offest ......... : ") + HexUpper(unsigned(io.inputOffset));
        l << ctx.tr(QStringLiteral("   Input Data Length ......... : "), QStringLiteral("   Input Data Länge .......... : "))
                + Num(io.inputLength);
        l << QStringLiteral("   Output Data Offest ........ : ") + HexUpper(unsigned(io.outputOffset));
        l << ctx.tr(QStringLiteral("   Output Data Length ........ : "), QStringLiteral("   Output Data Länge ......... : "))
                + Num(io.outputLength);
        l << QString();
        l << ctx.tr(QStringLiteral("   Config Length ............. : "), QStringLiteral("   Config Länge .............. : ")) + Num(lay.c);
        ByteList(l, QStringLiteral("   Config Code ............... :  "), rec, lay.cfgStart(), lay.c, counter);
        l << QStringLiteral("   Module :");
        // All 64 bytes of the module list, each module numbered by its place:
        // an empty byte between two modules does not end the list.
        for (const ModuleEntry &e : ModuleEntries(rec)) {
            const int m = e.number;
            const QString text = m >= 1 && m <= int(gsd.modules.size()) ? gsd.modules[m - 1] : QString();
            l << kModuleIndent + QString::number(e.listByte) + QStringLiteral(" --> ") + text;
        }
        l << QString();
        // The record's own length: header and Slave_Para_Len bytes.
        l << ctx.tr(QStringLiteral("   Length of Slave Record     : "), QStringLiteral("   Gesamtlänge Slavedatensatz : "))
                + NumText(be16(rec.span(), 8) + 8);
    } catch (const std::exception &) {
        l << ctx.tr(QStringLiteral("   Error: the record is damaged"), QStringLiteral("   Fehler: der Datensatz ist beschädigt"));
    }
    return l;
}

Printout BuildPrintout(const Context &ctx, const QDateTime &now)
{
    Printout p;
    p.pages.push_back(MasterPage(ctx, now));
    for (int station = kListFirst; station <= kListLast; ++station) {
        if (ctx.st.image.hasSlave(station))
            p.pages.push_back(SlavePageLines(ctx, station, ctx.st.image.slot(station)));
    }
    // Records the download never sends: it walks stations 2..100.
    for (int station = 1; station < kSlots; ++station) {
        if (ctx.st.image.hasSlave(station) && !IsDownloaded(station))
            p.pages.back() << ctx.tr(QStringLiteral("   Station %1 is never downloaded: %2"), QStringLiteral("   Station %1 wird nie geladen: %2"))
                                  .arg(station)
                                  .arg(NeverDownloadedWhy(ctx, station));
    }
    p.pages.back() << QString() << QStringLiteral("-End-");
    return p;
}

PrintOutcome PrintConfiguration(Context &ctx, const std::function<PrintOutcome(const Printout &)> &output,
                                const QDateTime &now)
{
    ctx.status(QStringLiteral("Printing Configuration"));
    ctx.pump.processEvents();
    PrintOutcome out = output(BuildPrintout(ctx, now));
    QString text;
    switch (out.kind) {
    case PrintOutcome::Kind::Done:
        text = QStringLiteral("Printing O.K.");
        break;
    case PrintOutcome::Kind::Cancelled:
        text = ctx.tr(QStringLiteral("Printing cancelled"), QStringLiteral("Drucken abgebrochen"));
        break;
    case PrintOutcome::Kind::Failed:
        text = ctx.tr(QStringLiteral("Printing failed"), QStringLiteral("Drucken fehlgeschlagen"));
        break;
    }
    ctx.status(out.detail.isEmpty() ? text : text + QStringLiteral(": ") + out.detail);
    return out;
}

QString DocumentName(const Context &ctx)
{
    const QString config = ctx.root.mapPath(ctx.st.configFileName);
    return config.isEmpty() ? QStringLiteral("Meridan") : QFileInfo(config).completeBaseName();
}

QString PrintoutText(const Printout &printout)
{
    QString s;
    for (std::size_t i = 0; i < printout.pages.size(); ++i) {
        if (i > 0)
            s += QLatin1Char('\f');
        for (const QString &line : printout.pages[i])
            s += line + QLatin1Char('\n');
    }
    return s;
}

} // namespace meridan
