// SPDX-License-Identifier: GPL-3.0-or-later
#include "netprotocol.h"

#include "dp1.h"

#include <cstdio>

namespace meridan::sim {

namespace {
std::uint32_t be32(const std::uint8_t *p)
{
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}
void put32(Bytes &b, std::uint32_t v)
{
    for (int s = 24; s >= 0; s -= 8)
        b.push_back(static_cast<std::uint8_t>(v >> s));
}
} // namespace

NetProtocol::NetProtocol(Firmware &fw, DpRam &ram, std::string boardName, std::uint8_t variant,
                         std::int64_t connectedAt)
    : fw_(fw), ram_(ram), mailbox_(ram, fw.map()), name_(std::move(boardName)), variant_(variant),
      lastSeen_(connectedAt)
{
}

Bytes NetProtocol::frame(std::uint8_t type, const Bytes &payload)
{
    Bytes f;
    f.reserve(5 + payload.size());
    put32(f, static_cast<std::uint32_t>(payload.size() + 1));
    f.push_back(type);
    f.insert(f.end(), payload.begin(), payload.end());
    return f;
}

Bytes NetProtocol::errorFrame(std::uint8_t request, std::uint8_t code, const std::string &text)
{
    Bytes p{request, code};
    p.insert(p.end(), text.begin(), text.end());
    return frame(0xFF, p);
}

void NetProtocol::error(Output &out, std::uint8_t request, std::uint8_t code,
                        const std::string &text)
{
    ++errors_;
    if (log) {
        char buf[48];
        std::snprintf(buf, sizeof buf, "tcp: error %02X for request %02X: ", code, request);
        log(buf + text);
    }
    Bytes f = errorFrame(request, code, text);
    out.bytes.insert(out.bytes.end(), f.begin(), f.end());
}

NetProtocol::Output NetProtocol::feed(const std::uint8_t *data, std::size_t len, std::int64_t now)
{
    Output out;
    if (closed_)
        return out;
    lastSeen_ = now;
    buf_.insert(buf_.end(), data, data + len);
    std::size_t pos = 0;
    while (!closed_ && buf_.size() - pos >= 4) {
        std::uint32_t L = be32(buf_.data() + pos);
        if (L == 0) {
            error(out, 0, Empty, "empty frame");
            pos += 4;
            continue;
        }
        if (L > MaxBody) {
            error(out, 0, TooLong, "frame too long");
            closed_ = true;
            out.close = true;
            break;
        }
        if (buf_.size() - pos < 4 + static_cast<std::size_t>(L))
            break;
        std::uint8_t type = buf_[pos + 4];
        Bytes payload(buf_.begin() + static_cast<long>(pos + 5),
                      buf_.begin() + static_cast<long>(pos + 4 + L));
        pos += 4 + L;
        ++requests_;
        handle(type, payload, now, out);
    }
    buf_.erase(buf_.begin(), buf_.begin() + static_cast<long>(pos));
    if (closed_)
        buf_.clear();
    partialSince_ = buf_.empty() ? -1 : (partialSince_ < 0 ? now : partialSince_);
    return out;
}

NetProtocol::Output NetProtocol::tick(std::int64_t now)
{
    Output out;
    if (!closed_ && partialSince_ >= 0 && now - partialSince_ > PartialTimeoutMs) {
        if (log)
            log("tcp: frame incomplete for 10 s, closing the connection");
        closed_ = true;
        out.close = true;
        buf_.clear();
    } else if (!closed_ && now - lastSeen_ > IdleTimeoutMs) {
        error(out, 0, Idle, "idle time-out: no request for 20 s");
        closed_ = true;
        out.close = true;
        buf_.clear();
    }
    return out;
}

void NetProtocol::handle(std::uint8_t type, const Bytes &p, std::int64_t now, Output &out)
{
    auto reply = [&](const Bytes &payload) {
        Bytes f = frame(static_cast<std::uint8_t>(type | 0x80), payload);
        out.bytes.insert(out.bytes.end(), f.begin(), f.end());
    };
    auto needSize = [&](bool ok) {
        if (!ok)
            error(out, type, BadLength, "payload length wrong for this request");
        return ok;
    };
    fw_.poll(now);
    switch (type) {
    case 0x01: { // HELLO
        if (!needSize(p.size() >= 2 && p.size() <= 66))
            return;
        if ((p[0] << 8 | p[1]) != Version)
            return error(out, type, BadVersion, "protocol version not supported");
        Bytes r{0x00, 0x01, variant_, fw_.version()};
        put32(r, ram_.size());
        put32(r, MaxBody);
        r.insert(r.end(), name_.begin(), name_.end());
        return reply(r);
    }
    case 0x02: { // GET_BYTE
        if (!needSize(p.size() == 4))
            return;
        std::uint32_t a = be32(p.data());
        if (a >= ram_.size())
            return error(out, type, BadAddress, "address outside the DP-RAM");
        return reply({ram_.get(a)});
    }
    case 0x03: { // SET_BYTE
        if (!needSize(p.size() == 5))
            return;
        std::uint32_t a = be32(p.data());
        if (a >= ram_.size())
            return error(out, type, BadAddress, "address outside the DP-RAM");
        ram_.set(a, p[4]);
        fw_.poll(now);
        return reply({});
    }
    case 0x04: { // GET_BLOCK
        if (!needSize(p.size() == 6))
            return;
        std::uint32_t a = be32(p.data());
        std::uint32_t count = static_cast<std::uint32_t>(p[4] << 8 | p[5]);
        if (count == 0)
            return error(out, type, BadLength, "block of 0 bytes");
        if (a >= ram_.size() || count > ram_.size() - a)
            return error(out, type, BadAddress, "block outside the DP-RAM");
        Bytes r(count);
        for (std::uint32_t i = 0; i < count; ++i)
            r[i] = ram_.get(a + i);
        return reply(r);
    }
    case 0x05: { // PUT_COMMAND
        if (!needSize(p.size() >= 8))
            return;
        if (p.size() != 8u + p[7])
            return error(out, type, BadJob, "job length disagrees with its byte 7");
        bool taken = fw_.running() && mailbox_.putJob(p);
        fw_.poll(now);
        return reply({static_cast<std::uint8_t>(taken ? 1 : 0)});
    }
    case 0x06: { // GET_MELDE
        if (!needSize(p.size() == 2))
            return;
        std::size_t most = static_cast<std::size_t>(p[0] << 8 | p[1]);
        auto m = mailbox_.getMessage();
        if (!m)
            return reply({0});
        if (m->size() > 8 + most) {
            m->resize(8 + most);
            (*m)[7] = static_cast<std::uint8_t>(most);
        }
        fw_.poll(now); // the next queued message goes into the area
        Bytes r{1};
        r.insert(r.end(), m->begin(), m->end());
        return reply(r);
    }
    case 0x07: { // BURN
        BurnResult b = burnConfigFile(fw_.eeprom(), p);
        if (log)
            log(b.status ? "tcp: burn refused: " + b.text
                         : "tcp: burnt a configuration with " + std::to_string(b.slaves) +
                               " slave record(s)");
        return reply({b.status, b.code, b.slaves});
    }
    case 0x08: { // READ_CONF
        if (!needSize(p.empty()))
            return;
        auto f = configFileFromEeprom(fw_.eeprom());
        if (!f)
            return reply({0});
        Bytes r{1};
        r.insert(r.end(), f->begin(), f->end());
        return reply(r);
    }
    case 0x09: // SET_TIMEOUT
        if (!needSize(p.size() == 4))
            return;
        timeoutMs_ = be32(p.data());
        return reply({});
    case 0x0A: // BYE
        if (!needSize(p.empty()))
            return;
        reply({});
        closed_ = true;
        out.close = true;
        return;
    default:
        return error(out, type, UnknownType, "unknown request type");
    }
}

} // namespace meridan::sim
