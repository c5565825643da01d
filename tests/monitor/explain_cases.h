// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The explainer's expected output, kept in golden/explain.txt: each case is a
// line "== [*][de ]STATION: DIAGNOSIS BYTES" followed by the lines expected.
// A "*" marks the cases the simulated bus of the end-to-end test produces.
#include <QFile>
#include <QRegularExpression>
#include <QStringList>
#include <vector>

namespace meridan::test {

struct ExplainCase {
    int station = 0;
    bool onBus = false;
    bool german = false;
    QByteArray diag;
    QStringList lines;
};

inline std::vector<ExplainCase> ExplainCases()
{
    std::vector<ExplainCase> out;
    QFile f(QStringLiteral(MERIDAN_SOURCE_DIR "/tests/monitor/golden/explain.txt"));
    if (!f.open(QIODevice::ReadOnly))
        return out;
    const QRegularExpression head(QStringLiteral("^== (\\*)?(de )?(\\d+): ([0-9A-F ]+)$"));
    for (const QString &line : QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const auto m = head.match(line);
        if (m.hasMatch())
            out.push_back({m.captured(3).toInt(), m.hasCaptured(1), m.hasCaptured(2), QByteArray::fromHex(m.captured(4).toLatin1()), {}});
        else if (!out.empty())
            out.back().lines << line;
    }
    return out;
}

} // namespace meridan::test
