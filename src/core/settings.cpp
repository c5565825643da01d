#include "core/settings.h"

#include "core/readfile.h"

#include "core/context.h"
#include "core/numbers.h"
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
}

void WriteSettings(Context &ctx)
{
    const QByteArray text = QByteArrayLiteral("[LANGUAGE]\r\n") + NumText(ctx.st.language).toLatin1() + "\r\n";
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
