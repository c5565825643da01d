// SPDX-License-Identifier: GPL-3.0-or-later
#include "serialmonitor.h"

#include <cctype>
#include <cstdio>

namespace meridan::sim {

namespace {

std::optional<unsigned> hexNumber(const std::string &s, std::size_t maxDigits)
{
    if (s.empty() || s.size() > maxDigits)
        return std::nullopt;
    unsigned v = 0;
    for (char c : s) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return std::nullopt;
        v = v * 16 + static_cast<unsigned>(std::isdigit(static_cast<unsigned char>(c))
                                               ? c - '0'
                                               : std::toupper(static_cast<unsigned char>(c)) - 'A' + 10);
    }
    return v;
}

void append(Bytes &out, const std::string &s)
{
    out.insert(out.end(), s.begin(), s.end());
}

std::string hex2(std::uint8_t v)
{
    char buf[3];
    std::snprintf(buf, sizeof buf, "%02X", v);
    return buf;
}

} // namespace

SerialMonitor::SerialMonitor(Firmware &fw, DpRam &ram, Options options)
    : fw_(fw), ram_(ram), mailbox_(ram, fw.map()), opt_(options), terminal_(options.terminalMode)
{
}

void SerialMonitor::note(const std::string &s)
{
    if (log)
        log(s);
}

Bytes SerialMonitor::feed(const std::uint8_t *data, std::size_t len, std::int64_t now)
{
    Bytes out;
    for (std::size_t i = 0; i < len; ++i)
        handleByte(data[i], now, out);
    Bytes more = tick(now);
    out.insert(out.end(), more.begin(), more.end());
    return out;
}

Bytes SerialMonitor::tick(std::int64_t now)
{
    Bytes out;
    if ((state_ == State::FrameHead || state_ == State::FrameData) &&
        now - frameLast_ > opt_.frameTimeoutMs) {
        note("serial: frame incomplete, no byte for " + std::to_string(opt_.frameTimeoutMs) +
             " ms, dropped");
        ++junk_;
        state_ = State::Idle;
    }
    handOverJobs(now);
    sendArmedMessage(now, out);
    return out;
}

void SerialMonitor::handleByte(std::uint8_t b, std::int64_t now, Bytes &out)
{
    bool frameByte = state_ == State::FrameHead || state_ == State::FrameData;
    if (terminal_ && !frameByte) {
        if (b == '\r')
            append(out, "\r\n");
        else
            out.push_back(b);
    }
    switch (state_) {
    case State::Idle:
        switch (b) {
        case 'V': {
            ++commands_;
            std::uint8_t v = fw_.version();
            append(out, std::to_string(v >> 4) + "." + std::to_string(v & 15));
            return;
        }
        case 'D':
            if (!opt_.frames) {
                ++junk_;
                out.push_back('?');
                return;
            }
            state_ = State::FrameHead;
            frame_.clear();
            frameNeed_ = 3;
            frameLast_ = now;
            return;
        case '\r':
        case '\n':
        case ' ':
        case 0x00:
        case 0xFF:
            return;
        default:
            state_ = State::Line;
            line_.assign(1, static_cast<char>(b));
            return;
        }
    case State::Line:
        if (b == '\r') {
            state_ = State::Idle;
            handleLine(now, out);
        } else if (b != '\n') {
            if (line_.size() >= MaxLine) {
                ++junk_;
                out.push_back('?');
                state_ = State::Discard;
            } else {
                line_.push_back(static_cast<char>(b));
            }
        }
        return;
    case State::Discard:
        if (b == '\r')
            state_ = State::Idle;
        return;
    case State::FrameHead:
        // The host's pace decides: a frame is given up only when its bytes
        // stop coming, however long the whole frame takes.
        frameLast_ = now;
        frame_.push_back(b);
        if (frame_.size() < 3)
            return;
        if (frame_[0] == 0 || frame_[2] == 0) {
            state_ = State::Idle;
            handleFrame(now, out);
        } else {
            state_ = State::FrameData;
            frameNeed_ = frame_[2];
        }
        return;
    case State::FrameData:
        frameLast_ = now;
        frame_.push_back(b);
        if (frame_.size() == 3 + frameNeed_) {
            state_ = State::Idle;
            handleFrame(now, out);
        }
        return;
    }
}

void SerialMonitor::handleLine(std::int64_t now, Bytes &out)
{
    ++commands_;
    char c = line_[0];
    std::string rest = line_.substr(1);
    auto bad = [&] {
        ++junk_;
        note("serial: not a command: '" + line_ + "'");
        out.push_back('?');
    };
    auto addrValue = [&](unsigned limit) -> std::optional<std::pair<unsigned, std::uint8_t>> {
        auto comma = rest.find(',');
        if (comma == std::string::npos)
            return std::nullopt;
        auto a = hexNumber(rest.substr(0, comma), 4);
        auto v = hexNumber(rest.substr(comma + 1), 2);
        if (!a || !v || *a >= limit)
            return std::nullopt;
        return std::make_pair(*a, static_cast<std::uint8_t>(*v));
    };
    switch (c) {
    case '!':
        if (!rest.empty())
            return bad();
        // In mode O the echo already gave "!" CR LF.
        append(out, terminal_ ? "O" : "!\r\nP");
        return;
    case 'Q':
        if (!rest.empty())
            return bad();
        armed_ = false;
        pendingJobs_.clear();
        note("serial: host quit");
        return;
    case 'P':
        if (rest.empty()) {
            terminal_ = !terminal_;
            note(std::string("serial: monitor mode ") + modeLetter());
            return;
        } else if (auto av = addrValue(Eeprom::Size)) {
            fw_.eeprom().write(av->first, av->second);
            out.push_back('P');
            return;
        }
        return bad();
    case 'R':
        if (auto a = hexNumber(rest, 4); a && *a < ram_.size()) {
            fw_.poll(now);
            append(out, "R" + hex2(ram_.get(*a)));
            return;
        }
        return bad();
    case 'W':
        if (auto av = addrValue(ram_.size())) {
            ram_.set(av->first, av->second);
            fw_.poll(now);
            out.push_back('W');
            return;
        }
        return bad();
    case 'L':
        if (auto a = hexNumber(rest, 4); a && *a < Eeprom::Size) {
            append(out, "L" + hex2(fw_.eeprom().read(*a)));
            return;
        }
        return bad();
    default:
        return bad();
    }
}

void SerialMonitor::handleFrame(std::int64_t now, Bytes &out)
{
    std::uint8_t code = frame_[0], b3 = frame_[1], n = frame_[2];
    if (code == 0) {
        if (b3 == 0) {
            armed_ = true;
        } else if (b3 == 1) {
            liveList(n, out);
        } else {
            ++junk_;
            note("serial: unknown request frame");
        }
        return;
    }
    Bytes job(8 + n, 0);
    job[0] = code;
    job[3] = b3;
    job[7] = n;
    std::copy(frame_.begin() + 3, frame_.end(), job.begin() + 8);
    if (pendingJobs_.size() >= MaxPendingJobs) {
        note("serial: too many jobs waiting, the oldest is dropped");
        pendingJobs_.pop_front();
    }
    pendingJobs_.push_back(std::move(job));
    handOverJobs(now);
}

void SerialMonitor::handOverJobs(std::int64_t now)
{
    fw_.poll(now);
    while (!pendingJobs_.empty() && fw_.running() && mailbox_.putJob(pendingJobs_.front())) {
        pendingJobs_.pop_front();
        fw_.poll(now);
    }
}

void SerialMonitor::sendArmedMessage(std::int64_t now, Bytes &out)
{
    if (!armed_)
        return;
    auto m = mailbox_.getMessage();
    if (!m)
        return;
    armed_ = false;
    const Bytes &b = *m;
    out.push_back(Nak);
    out.push_back(b[0]);
    if (b[0] == msg::ModeReport) {
        // The host reads bytes 3, 5 and 7 of a mode report; no data follow.
        out.push_back(b[3]);
        out.push_back(b[5]);
        out.push_back(0);
    } else {
        out.push_back(b[2]);
        out.push_back(b[3]);
        out.push_back(b[7]);
        out.insert(out.end(), b.begin() + 8, b.end());
    }
    fw_.poll(now);
}

void SerialMonitor::liveList(std::uint8_t i, Bytes &out)
{
    auto list = [&](std::uint32_t offset, unsigned k) -> std::uint8_t {
        return k < 16 ? ram_.get(fw_.map().stationLists + offset + k) : 0;
    };
    out.insert(out.end(), {Nak, 0x00, 0x01, i, 0x04, list(0, i), list(0, i + 1u), list(0x10, i),
                           list(0x10, i + 1u)});
}

} // namespace meridan::sim
