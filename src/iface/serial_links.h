// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Links over a serial line to the master's monitor. Every DP-RAM byte is one
// command on the line. A monitor up to firmware 5.2 has nothing else: jobs and
// messages go through the DP-RAM mailboxes byte by byte (SerialLink). Newer
// firmware takes jobs as "D" frames and sends messages and the live list as
// NAK frames when asked (FrameLink).
#include "iface/link.h"
#include "iface/serial_line.h"

#include <memory>

namespace meridan::iface {

class SerialLink : public Link {
public:
    SerialLink(LinkEnv &env, LinkTraits traits, DpramMap map, std::unique_ptr<SerialLine> line);

    uint8_t getByte(uint32_t address) override { return line_->read(uint16_t(address)); }
    void setByte(uint32_t address, uint8_t value) override { line_->write(uint16_t(address), value); }
    void quietWait(int ms) override { line_->quietWait(ms); }
    // A line whose port closed underneath (the peer hung up, the adapter went
    // away) is lost as surely as one that stopped answering.
    // So is one that gave an answer that cannot be the answer.
    bool lost() const override { return line_->timedOut || line_->lineFaulted || !line_->isOpen(); }
    QString faultText() const override { return line_->fault; }
    void close(bool goodbye) override;
    int transferMs(int n) const override;
    uint8_t eepromRead(uint16_t address) override { return line_->eepromRead(address); }
    void eepromWrite(uint16_t address, uint8_t value) override { line_->eepromWrite(address, value); }

    SerialLine &line() { return *line_; }

protected:
    std::unique_ptr<SerialLine> line_;
};

constexpr int kRequestRounds = 200; // polls before a frame request is repeated
constexpr int kLiveMissLimit = 3;   // unanswered live-list requests before the line counts as lost

class FrameLink : public SerialLink {
public:
    using SerialLink::SerialLink;

    bool putJob(const Record &job) override;
    bool getMessage() override;
    void restartLiveList() override { line_->liveRequestCounter = 0; }
    uint8_t listByte(int list, int index) override;
    bool orderLiveList(int index) override;
    int transferMs(int n) const override;

protected:
    void newRound(int index) override;
};

} // namespace meridan::iface
