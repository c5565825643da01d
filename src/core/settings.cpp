// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/settings.h"

#include "core/readfile.h"

#include "core/context.h"
#include "core/numbers.h"
#include "core/savefile.h"
#include "core/texts.h"

#include <QFile>
#include <QLoggingCategory>
#include <cmath>
#include <optional>

Q_LOGGING_CATEGORY(lcSettings, "meridan.app.settings", QtWarningMsg)

namespace meridan {

namespace {

// A settings file is two short lines; anything much bigger is not ours and is
// read only as far as this.
constexpr qint64 kMaxSettingsBytes = 64 * 1024;

} // namespace

namespace {

// The value line after the line holding `section`; nullopt when there is none.
std::optional<QByteArray> SectionValue(const QByteArray &text, const char *section)
{
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (!lines[i].contains(section))
            continue;
        if (i + 1 >= lines.size())
            return std::nullopt; // the file ends where the value should be
        QByteArray value = lines[i + 1];
        if (value.endsWith('\r'))
            value.chop(1);
        return value;
    }
    return std::nullopt;
}

} // namespace

bool ParseFastDownload(const QByteArray &text)
{
    const auto value = SectionValue(text, "[FASTDOWNLOAD]");
    return value && ValNumber(QLatin1StringView(*value)) != 0;
}

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
        const double v = std::nearbyint(ValNumber(QLatin1StringView(value))); // a half goes to the even neighbour
        if (v < -32768 || v > 32767)
            return false;
        flag = int16_t(v);
        return true;
    }
    return false;
}

void ReadSettings(Context &ctx)
{
    const auto read = ReadRegularFile(ctx.root.settingsFile(), kMaxSettingsBytes);
    if (!read)
        return;
    const QByteArray &text = *read;
    int16_t flag = ctx.st.language;
    if (ParseLanguage(text, flag))
        ctx.st.language = flag;
    else
        qCDebug(lcSettings) << "no language in" << ctx.root.settingsFile();
    ctx.st.fastDownload = ParseFastDownload(text);
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
    const auto read = ReadRegularFile(ctx.root.settingsFile(), kMaxSettingsBytes);
    return read ? ParseVarTool(*read) : QString();
}

void WriteSettings(Context &ctx)
{
    QByteArray text = QByteArrayLiteral("[LANGUAGE]\r\n") + NumText(ctx.st.language).toLatin1() + "\r\n";
    if (ctx.st.fastDownload)
        text += QByteArrayLiteral("[FASTDOWNLOAD]\r\n") + NumText(1).toLatin1() + "\r\n";
    // Other sections stay as they are: everything but the ones written above
    // and their values.
    if (const auto old = ReadRegularFile(ctx.root.settingsFile(), kMaxSettingsBytes)) {
        const QList<QByteArray> lines = old->split('\n');
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (lines[i].contains("[LANGUAGE]") || lines[i].contains("[FASTDOWNLOAD]")) {
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

void ChooseFastDownload(Context &ctx, bool on)
{
    if (ctx.st.fastDownload == on)
        return;
    ctx.st.fastDownload = on;
    WriteSettings(ctx);
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
