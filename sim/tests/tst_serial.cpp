// SPDX-License-Identifier: GPL-3.0-or-later
// The serial monitor: commands and frames on byte vectors, and pacing in virtual time.
#include "hosthelpers.h"
#include "pacer.h"
#include "serialmonitor.h"
#include "transcript.h"

#include <gtest/gtest.h>

using namespace meridan::sim;
using namespace meridan::sim::test;

namespace {

Bytes text(const std::string &s)
{
    return Bytes(s.begin(), s.end());
}

std::string str(const Bytes &b)
{
    return std::string(b.begin(), b.end());
}

struct SerialRig : Rig {
    explicit SerialRig(BoardKind kind = BoardKind::Dromon)
        : Rig(kind), monitor(fw, ram, {defaultVersion(kind) > 0x52, false, 500})
    {
    }
    std::string cmd(const std::string &s) { return str(monitor.feed(text(s), now)); }
    Bytes frame(const Bytes &b) { return monitor.feed(b, now); }
    SerialMonitor monitor;
};

Bytes jobFrame(const Bytes &job)
{
    Bytes f{'D', job[0], job[3], job[7]};
    f.insert(f.end(), job.begin() + 8, job.begin() + 8 + job[7]);
    return f;
}

const Bytes MessageRequest{'D', 0x00, 0x00, 0x00};

} // namespace

TEST(SerialMonitor, session_answeredByteForByteAsWrittenDown)
{
    SerialRig r;
    const std::vector<Step> steps = readTranscript("serial_session.txt");
    ASSERT_GT(steps.size(), 30u);
    for (const Step &step : steps)
        EXPECT_EQ(r.frame(step.send), step.expect) << "serial_session.txt:" << step.line;
    EXPECT_EQ(r.eeprom.read(0), 0x24);
    EXPECT_GE(r.monitor.junk(), 5);
    const int jobs = r.fw.counts().jobs;

    // A frame that stalls is dropped after half a second; the line recovers.
    r.frame({'D', 0x25, 0x03, 0x05, 0x01});
    r.now += 600;
    EXPECT_TRUE(r.monitor.tick(r.now).empty());
    EXPECT_EQ(r.cmd("V"), "5.3");
    EXPECT_EQ(r.fw.counts().jobs, jobs);

    SerialRig ravelin(BoardKind::Ravelin);
    EXPECT_EQ(ravelin.cmd("V"), "5.2");
    EXPECT_EQ(ravelin.cmd("D"), "?") << "firmware 5.2 has no frames";
}

// A host whose bytes come slowly (a loaded machine, a slow line) is not cut
// off while they keep coming: the frame is given up only when its bytes stop.
TEST(SerialFrames, frameWhoseBytesKeepComing_isTakenHoweverLongItTakes)
{
    SerialRig r;
    const int jobs = r.fw.counts().jobs;
    r.frame(jobFrame(jobOf(job::SetMode, 0x00)));
    for (std::uint8_t b : jobFrame(recordJob(masterRecord()))) {
        r.frame({b});
        r.now += 400;
        r.monitor.tick(r.now);
        r.fw.poll(r.now);
    }
    EXPECT_EQ(r.fw.counts().jobs, jobs + 2);
    EXPECT_EQ(r.fw.masterRecord(), recordJob(masterRecord()));
}

TEST(SerialFrames, downloadByFramesWithAutoClear_endsWithAModeReportFrame)
{
    SerialRig r;
    std::vector<Bytes> replies;
    auto run = [&](const Bytes &job) {
        r.frame(jobFrame(job));
        replies.push_back(r.frame(MessageRequest));
    };
    run(jobOf(job::SetMode, 0x00));
    run(recordJob(masterRecord(0x80)));
    for (const auto &s : demoSlaves())
        run(recordJob(s));
    run(jobOf(job::SetMode, 0x80));
    run(jobOf(job::SetMode, 0xC0));
    EXPECT_EQ(replies[2], (Bytes{0x15, 0xE5, 0, 12, 0}));
    EXPECT_EQ(replies.back(), (Bytes{0x15, 0xE7, 0, 0xC0, 0}));
    EXPECT_EQ(r.frame(MessageRequest), (Bytes{0x15, 0xA8, 0x80, 0x02, 0x00}));
}

TEST(Pacing, lineSpeed_allowsTenBitTimesPerByteAndSavesUpNoUnboundedBurst)
{
    LinePacer slow(9600);
    slow.restart(0);
    EXPECT_EQ(slow.allowance(0, 100), 1u);
    slow.spent(1);
    EXPECT_EQ(slow.allowance(10'000'000, 100), 9u); // 10 ms at 960 bytes/s
    slow.spent(9);
    // A quiet minute saves up one line buffer's worth, not 57600 bytes.
    slow.spent(slow.allowance(60'000'000'000, 10));
    EXPECT_EQ(slow.allowance(60'000'000'000, 1000), 64u);
    LinePacer fast(19200);
    fast.restart(0);
    fast.spent(fast.allowance(0, 500));
    EXPECT_EQ(fast.allowance(100'000'000, 500), 192u);
    LinePacer none(0);
    EXPECT_EQ(none.allowance(0, 500), 500u);
}
