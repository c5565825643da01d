#include "core/settings.h"

#include "core/context.h"
#include "core/savefile.h"
#include "core/texts.h"

#include <QFile>
#include <QLoggingCategory>
#include <cmath>

Q_LOGGING_CATEGORY(lcSettings, "meridan.app.settings", QtWarningMsg)

namespace meridan {

namespace {

// A settings file is two short lines; anything much bigger is not ours and is
// read only as far as this.
constexpr qint64 kMaxSettingsBytes = 64 * 1024;

// The number at the start of `line` as a person would read it: leading blanks
// skipped, an optional sign, digits and an optional fraction; reading stops at
// the first character that does not belong to the number. No digits read as 0.
double LeadingNumber(const QByteArray &line)
{
    int i = 0;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
        ++i;
    QByteArray num;
    if (i < line.size() && (line[i] == '-' || line[i] == '+'))
        num += line[i++];
    bool digits = false;
    while (i < line.size() && line[i] >= '0' && line[i] <= '9') {
        num += line[i++];
        digits = true;
    }
    if (i < line.size() && line[i] == '.') {
        num += line[i++];
        while (i < line.size() && line[i] >= '0' && line[i] <= '9') {
            num += line[i++];
            digits = true;
        }
    }
    return digits ? num.toDouble() : 0.0;
}

} // namespace

bool ParseLanguage(const QByteArray &text, int16_t &flag)
{
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (!lines[i].contains("[LANGUAGE]"))
            continue;
        if (i + 1 >= lines.size())
            return false; // the file ends where the value should be
        QByteArray value = lines[i + 1];
        if (value.endsWith('\r'))
            value.chop(1);
        const double v = std::nearbyint(LeadingNumber(value)); // a half goes to the even neighbour
        if (v < -32768 || v > 32767)
            return false;
        flag = int16_t(v);
        return true;
    }
    return false;
}

void ReadSettings(Context &ctx)
{
    QFile f(ctx.root.settingsFile());
    if (!f.open(QIODevice::ReadOnly))
        return;
    const QByteArray text = f.read(kMaxSettingsBytes);
    int16_t flag = ctx.st.language;
    if (ParseLanguage(text, flag))
        ctx.st.language = flag;
    else
        qCDebug(lcSettings) << "no language in" << f.fileName();
}

QString ParseVarTool(const QByteArray &text)
{
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype i = 0; i + 1 < lines.size(); ++i)
        if (lines[i].trimmed() == "[VARTOOL]")
            return QString::fromLocal8Bit(lines[i + 1].trimmed());
    return {};
}

QString ReadVarTool(const Context &ctx)
{
    QFile f(ctx.root.settingsFile());
    return f.open(QIODevice::ReadOnly) ? ParseVarTool(f.read(kMaxSettingsBytes)) : QString();
}

void WriteSettings(Context &ctx)
{
    QByteArray text = QByteArrayLiteral("[LANGUAGE]\r\n") + NumText(ctx.st.language).toLatin1() + "\r\n";
    // Other sections stay as they are: everything but the language and its value.
    QFile old(ctx.root.settingsFile());
    if (old.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> lines = old.read(kMaxSettingsBytes).split('\n');
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (lines[i].contains("[LANGUAGE]")) {
                ++i;
                continue;
            }
            if (i + 1 < lines.size() || !lines[i].isEmpty())
                text += lines[i] + '\n';
        }
    }
    const QString why = WriteWholeFile(ctx.root.settingsFile(), text);
    if (!why.isEmpty())
        qCWarning(lcSettings) << "settings not written:" << ctx.root.settingsFile() << why;
}

bool ChooseLanguage(Context &ctx, int16_t flag)
{
    if (ctx.st.language == flag)
        return false;
    ctx.st.language = flag;
    WriteSettings(ctx);
    return true;
}

} // namespace meridan
