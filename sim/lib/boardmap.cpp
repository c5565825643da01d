// SPDX-License-Identifier: GPL-3.0-or-later
#include "boardmap.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace meridan::sim {

BoardMap mapFor(BoardKind kind)
{
    BoardMap m;
    switch (kind) {
    case BoardKind::Tessel:
    case BoardKind::Vme:
        m = {0x4000, 0x2000, 0x0400, 0x3000, 0x3FF0, 0x3FF8, 0x3025, 0x3125, {0x3FF6}, 0x1953,
             true, true};
        break;
    case BoardKind::CorvetDpram:
        m = {0x2000, 0x0000, 0x1FFF, 0x1000, 0x1FF0, 0x1FF8, 0x1025, 0x1125, {0x1FF6}, 0x1953,
             false, false};
        break;
    case BoardKind::Ravelin:
        m = {0x4000, 0x1000, 0x0400, 0x2000, 0x3000, 0x3008, 0x2025, 0x2125, {0x3006},
             std::nullopt, false, false};
        break;
    case BoardKind::Dromon:
        m = {0x4000, 0x1000, 0x0400, 0x2000, 0x3000, 0x3008, 0x2025, 0x2125, {0x2FF6},
             std::nullopt, false, false};
        break;
    case BoardKind::CorvetSerial:
        m = {0x4000, 0x1000, 0x1FFF, 0x2000, 0x3000, 0x3008, 0x2025, 0x2125, {0x1FF6},
             std::nullopt, false, false};
        break;
    case BoardKind::Net0:
        // Ravelin-TCP hosts read the bus state at 0x3006, Dromon-TCP hosts at 0x2FF6.
        m = {0x4000, 0x1000, 0x0400, 0x2000, 0x3000, 0x3008, 0x2025, 0x2125, {0x3006, 0x2FF6},
             0x0717, false, false};
        break;
    case BoardKind::Ketch:
        m = {0x4000, 0x2000, 0x0400, 0x3000, 0x3FF0, 0x3FF8, 0x3025, 0x3125, {0x3FF6}, 0x1953,
             false, false};
        break;
    }
    return m;
}

bool isSerial(BoardKind k)
{
    return k == BoardKind::Ravelin || k == BoardKind::Dromon || k == BoardKind::CorvetSerial;
}

bool isNetwork(BoardKind k)
{
    return k == BoardKind::Net0 || k == BoardKind::Ketch;
}

bool isDpramFile(BoardKind k)
{
    return k == BoardKind::Tessel || k == BoardKind::Vme || k == BoardKind::CorvetDpram;
}

int baudFor(BoardKind k)
{
    return k == BoardKind::Ravelin ? 9600 : 19200;
}

std::uint8_t defaultVersion(BoardKind k)
{
    return k == BoardKind::Ravelin ? 0x52 : 0x53;
}

namespace {
struct KindName {
    BoardKind kind;
    const char *name;
};
constexpr std::array<KindName, 8> kNames{{
    {BoardKind::Tessel, "tessel"},
    {BoardKind::Vme, "vme"},
    {BoardKind::CorvetDpram, "corvet"},
    {BoardKind::Ravelin, "ravelin"},
    {BoardKind::Dromon, "dromon"},
    {BoardKind::CorvetSerial, "corvet-serial"},
    {BoardKind::Net0, "net0"},
    {BoardKind::Ketch, "ketch"},
}};
} // namespace

std::string kindName(BoardKind kind)
{
    for (const auto &k : kNames)
        if (k.kind == kind)
            return k.name;
    return "?";
}

std::optional<BoardKind> kindFromName(const std::string &name)
{
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const auto &k : kNames)
        if (lower == k.name)
            return k.kind;
    return std::nullopt;
}

} // namespace meridan::sim
