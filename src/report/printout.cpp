// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/printout.h"

#include "core/readfile.h"

#include "core/bytes.h"
#include "core/context.h"
#include "slave/gsd.h"
#include "slave/record.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>

namespace meridan {

namespace {

// A device description is a few hundred kilobytes at most; a file far larger
// is not one and is not read into memory.
constexpr qint64 kMaxGsdBytes = 16 * 1024 * 1024;

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

GsdKeyLines ReadGsdKeyLines(const QByteArray &bytes)
{
    struct Key {
        QLatin1StringView name;
        const char *label; // nullptr: a module, not printed
    };
    static const Key kKeys[] = {
        {QLatin1StringView("Vendor_Name"), "   Vendor Name ............... : "},
        {QLatin1StringView("Hardware_Release"), "   Hardware Release .......... : "},
        {QLatin1StringView("Software_Release"), "   Software Release .......... : "},
        {QLatin1StringView("Model_Name"), "   Model Name ................ : "},
        {QLatin1StringView("Ident_Number"), "   Ident Number .............. : "},
        {QLatin1StringView("Module"), nullptr},
    };
    GsdKeyLines out;
    GsdLineReader reader(bytes);
    QString line;
    while (reader.GetLine(line)) {
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq < 0)
            continue;
        const QString key = line.left(eq).trimmed();
        if (key.isEmpty())
            continue;
        // Keywords are case-insensitive, as the GSD reader takes them.
        const Key *k = nullptr;
        for (const Key &c : kKeys) {
            if (key.compare(c.name, Qt::CaseInsensitive) == 0)
                k = &c;
        }
        if (!k)
            continue;
        QString value = line.mid(eq + 1).trimmed();
        if (!k->label) {
            if (out.modules.size() < kMaxGsdModules) {
                if (value.startsWith(QLatin1Char('"')))
                    value.remove(0, 1);
                out.modules << ModuleName(value);
            }
            continue;
        }
        const bool ident = k->name == QLatin1String("Ident_Number");
        out.lines << QString::fromLatin1(k->label) + (ident ? IdentText(value) : TextValue(value));
    }
    return out;
}

QString FindRecordGsdFile(const Context &ctx, const QString &baseName)
{
    // A code from a damaged record must not lead the look-up out of the folders.
    for (const QChar c : baseName) {
        if (c.unicode() < 0x20 || c == QLatin1Char('/') || c == QLatin1Char('\\'))
            return {};
    }
    for (const char *ext : {".GSD", ".GSE", ".GSF", ".GSG"}) {
        const QString found = FindGsdFile(ctx, baseName + QLatin1String(ext));
        if (!found.isEmpty())
            return found;
    }
    return {};
}

namespace {

GsdKeyLines KeyLinesOf(const QString &path)
{
    QFile file(path);
    if (path.isEmpty() || !OpenRegularFile(file))
        return {};
    QByteArray bytes;
    while (bytes.size() <= kMaxGsdBytes) {
        const QByteArray piece = file.read(64 * 1024);
        if (piece.isEmpty())
            break;
        bytes += piece;
    }
    if (bytes.size() > kMaxGsdBytes)
        return {};
    return ReadGsdKeyLines(bytes);
}

} // namespace

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
        const QString base = Chars(rec, ud, 4) + HexUpper(be16(rec.span(), 30), 4);
        const QString found = FindRecordGsdFile(ctx, base);
        l << ctx.tr(QStringLiteral("   GSD-File .................. : "), QStringLiteral("   GSD-Datei ................. : "))
                + (found.isEmpty() ? ctx.root.gsdDir() + QLatin1Char('/') + base + QStringLiteral(".GSD") : found);
        const GsdKeyLines gsd = KeyLinesOf(found);
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
        const std::vector<int> modules = ModuleList(rec);
        for (std::size_t k = 0; k < modules.size(); ++k) {
            const int m = modules[k];
            const QString text = m >= 1 && m <= int(gsd.modules.size()) ? gsd.modules[m - 1] : QString();
            l << kModuleIndent + QString::number(k + 1) + QStringLiteral(" --> ") + text;
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
