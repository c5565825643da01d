// SPDX-License-Identifier: GPL-3.0-or-later
#include "iface/netproto.h"

#include "core/bytes.h"

#include <span>

namespace meridan::iface::net {

namespace {
std::span<const uint8_t> Bytes(const QByteArray &b)
{
    return {reinterpret_cast<const uint8_t *>(b.constData()), std::size_t(b.size())};
}
} // namespace

QByteArray Encode(uint8_t type, const QByteArray &payload)
{
    QByteArray f(5, '\0');
    std::span<uint8_t> head(reinterpret_cast<uint8_t *>(f.data()), 5);
    putBe32(head, 0, uint32_t(payload.size() + 1));
    head[4] = type;
    f += payload;
    return f;
}

Take TakeFrame(QByteArray &buffer, Frame &frame)
{
    if (buffer.size() < 4)
        return Take::NeedMore;
    const uint32_t len = be32(Bytes(buffer), 0);
    if (len == 0 || len > kMaxFrame)
        return Take::Malformed;
    if (uint32_t(buffer.size()) - 4 < len)
        return Take::NeedMore;
    frame.type = uint8_t(buffer[4]);
    frame.payload = buffer.mid(5, qsizetype(len) - 1);
    buffer.remove(0, qsizetype(len) + 4);
    return Take::Frame;
}

std::optional<HelloReply> ParseHello(const QByteArray &payload)
{
    if (payload.size() < 12)
        return std::nullopt;
    const auto b = Bytes(payload);
    HelloReply h;
    h.version = be16(b, 0);
    h.mapVariant = b[2];
    h.firmware = b[3];
    h.dpramSize = be32(b, 4);
    h.maxFrame = be32(b, 8);
    h.boardName = payload.mid(12);
    return h;
}

} // namespace meridan::iface::net
