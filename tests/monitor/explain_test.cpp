// SPDX-License-Identifier: GPL-3.0-or-later
// The diagnosis explainer on the demo configuration, with small device files
// in the root folder: every case of golden/explain.txt, then the path from a
// diagnosis message into the diagnosis window's view.
#include "config/demo.h"
#include "explain_cases.h"
#include "monitor/diagnosis.h"
#include "monitor/explain.h"
#include "support/fixture.h"
#include "support/test_gsd.h"

using namespace meridan;
using namespace meridan::test;

TEST(Explain, everyGoldenCase_givesItsLines)
{
    Fixture f;
    InstallTestGsd(f.root);
    BuildDemoConfiguration(f.ctx);
    const auto cases = ExplainCases();
    ASSERT_GE(cases.size(), 10u);
    for (const ExplainCase &c : cases) {
        SCOPED_TRACE(c.station);
        f.st.language = c.german ? kGerman : kEnglish;
        QStringList got = ExplainDiagnosis(f.ctx, c.station, std::span(reinterpret_cast<const uint8_t *>(c.diag.constData()), std::size_t(c.diag.size())));
        got.replaceInStrings(QDir::toNativeSeparators(f.root.dir()), QStringLiteral("ROOT"));
        EXPECT_EQ(got.join('\n').toStdString(), c.lines.join('\n').toStdString());
    }
}

TEST(Explain, messageInTheBuffer_reachesTheViewAndIsBlankedWithoutABoard)
{
    Fixture f;
    InstallTestGsd(f.root);
    BuildDemoConfiguration(f.ctx);
    f.st.currentStation = 12; // the message names its own station
    const uint8_t msg[] = {0xE1, 0, 0, 40, 0, 0, 0, 6, 0x40, 0x05, 0x00, 0xFF, 0x42, 0x25};
    std::copy(std::begin(msg), std::end(msg), f.st.mbuf.begin());
    DiagView v;
    UpdateDiagView(f.ctx, v, true);
    ASSERT_EQ(v.explanation.size(), 3);
    EXPECT_EQ(v.explanation[1], "The GSD catalogue knows ident 4225: Meridan Demo, Simulated input 4225, file SIM4225.gsd.");
    EXPECT_EQ(v.identNr, "4225");
    UpdateDiagView(f.ctx, v, false);
    EXPECT_TRUE(v.explanation.isEmpty());
    f.st.mbuf[7] = 5; // too short to say anything
    EXPECT_TRUE(ExplainDiagnosisMessage(f.ctx).isEmpty());
}
