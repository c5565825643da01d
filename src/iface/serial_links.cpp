// SPDX-License-Identifier: GPL-3.0-or-later
#include "iface/serial_links.h"

namespace meridan::iface {

SerialLink::SerialLink(LinkEnv &env, LinkTraits traits, DpramMap map, std::unique_ptr<SerialLine> line)
    : Link(env, std::move(traits), map), line_(std::move(line))
{
}

namespace {
// Milliseconds for `chars` characters of 10 bits at `baud` (9600 without one).
int LineMs(int chars, int baud)
{
    return int(qint64(chars) * 10000 / (baud > 0 ? baud : 9600)) + 1;
}
} // namespace

int SerialLink::transferMs(int n) const
{
    // Each mailbox byte is a command of about ten characters with a short
    // reply: the job's n + 8 bytes and two toggle reads, then for a reply
    // without data two toggle reads, nine message bytes and the acknowledge.
    return LineMs((n + 22) * 13, line_->baud());
}

int FrameLink::transferMs(int n) const
{
    // The job frame, the message request and the reply frame.
    return LineMs(n + 4 + 4 + 5 + 4, line_->baud());
}

void SerialLink::close(bool goodbye)
{
    if (!line_->isOpen())
        return;
    // A Dromon's or Corvet's monitor forgets its frame requests on "Q".
    if (goodbye && boardVariant)
        line_->send(QByteArrayLiteral("Q\r"));
    line_->close();
}

bool FrameLink::putJob(const Record &job)
{
    line_->sendJob(job);
    return true;
}

bool FrameLink::getMessage()
{
    // The monitor sends a message only when asked; the request is repeated
    // when it went unanswered for a while.
    if (line_->msgRequestCounter == 0) {
        line_->orderMessage(0);
        line_->msgRequestCounter = kRequestRounds;
    } else {
        --line_->msgRequestCounter;
    }
    return line_->receiveMessage();
}

uint8_t FrameLink::listByte(int list, int index)
{
    // The lists have 17 bytes; stations beyond 135 have none.
    const auto &l = list == 0 ? line_->runList : line_->diaList;
    return index < int(l.size()) ? l[std::size_t(index)] : 0;
}

bool FrameLink::orderLiveList(int index)
{
    line_->orderLiveList(uint8_t(index));
    return true;
}

void FrameLink::newRound(int index)
{
    // Ask for a fresh live list, and count the rounds whose request went
    // unanswered.
    if (line_->liveRequestCounter == 0) {
        line_->orderLiveList(uint8_t(index));
        line_->liveRequestCounter = kRequestRounds;
    } else if (--line_->liveRequestCounter == 0) {
        if (++line_->liveMissCounter > kLiveMissLimit)
            line_->timedOut = true;
    }
}

} // namespace meridan::iface
