// SPDX-License-Identifier: GPL-3.0-or-later
// print: the configuration printout as text or PDF.
#include "cli/commands.h"
#include "config/configfile.h"
#include "core/runtimedir.h"
#include "report/printout.h"
#include "report/render.h"

#include <QGuiApplication>
#include <QJsonArray>

namespace meridan::cli {

std::unique_ptr<QCoreApplication> MakeApplication(int &argc, char **argv)
{
    // Drawing a PDF needs fonts, and fonts need a QGuiApplication. The tool
    // never opens a window, so it draws on the offscreen platform and runs
    // without a display (over ssh, in a build job).
    bool print = false;
    bool pdf = false;
    for (int i = 1; i < argc; ++i) {
        const QByteArray a(argv[i]);
        if (a == "--")
            break;
        print = print || a == "print";
        pdf = pdf || a == "--pdf" || a.startsWith("--pdf=");
    }
    if (print && pdf) {
        // From cron or sudo the runtime folder is unset or not ours: Qt
        // would warn about it on stderr.
        UsePrivateRuntimeDir();
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return std::make_unique<QGuiApplication>(argc, argv);
    }
    return std::make_unique<QCoreApplication>(argc, argv);
}

int CmdPrint(Invocation &inv)
{
    if (const auto lang = inv.value(QStringLiteral("lang")))
        inv.ctx.st.language = lang->toLower() == QLatin1String("de") ? kGerman : kEnglish;
    const auto pdf = inv.value(QStringLiteral("pdf"));
    if (pdf && pdf->isEmpty())
        return inv.usage(QStringLiteral("--pdf needs a file name"));
    if (const auto bad = LoadConfiguration(inv, inv.args[0]))
        return inv.finish(*bad);
    const Printout printout = BuildPrintout(inv.ctx, QDateTime::currentDateTime());
    QJsonObject facts{{QStringLiteral("pages"), int(printout.pages.size())}};
    if (!pdf) {
        if (!inv.json) {
            inv.out << PrintoutText(printout);
            return kOk;
        }
        QJsonArray pages;
        for (const QStringList &p : printout.pages)
            pages.append(QJsonArray::fromStringList(p));
        facts[QStringLiteral("pages")] = pages;
        return inv.finish({}, facts);
    }
    const PrintOutcome written = WritePdf(printout, *pdf);
    Outcome out;
    if (written.kind != PrintOutcome::Kind::Done)
        out = Outcome::Fail(Failure::Refused, QStringLiteral("%1 not written: %2").arg(*pdf, written.detail));
    else
        out.written << *pdf;
    return inv.finish(out, facts);
}

} // namespace meridan::cli
