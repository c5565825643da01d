// SPDX-License-Identifier: GPL-3.0-or-later
#include "faults.h"

#include <charconv>

namespace meridan::sim {

namespace {
constexpr std::int64_t MaxPeriodMs = 24LL * 3600 * 1000;

std::optional<std::int64_t> number(const std::string &s)
{
    std::int64_t v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size() || s.empty())
        return std::nullopt;
    return v;
}
} // namespace

std::optional<Flap> parseFlap(const std::string &text, Flap::Kind kind, std::string *error)
{
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (std::size_t at; (at = text.find(':', from)) != std::string::npos; from = at + 1)
        parts.push_back(text.substr(from, at - from));
    parts.push_back(text.substr(from));
    const char *active = kind == Flap::Kind::DropOut ? "DOWN_MS" : "ON_MS";
    auto fail = [&] {
        if (error)
            *error = std::string("wants STATION:") + active + ":EVERY_MS, station 1..125, 0 < " + active +
                     " < EVERY_MS <= 86400000";
        return std::nullopt;
    };
    if (parts.size() != 3)
        return fail();
    auto s = number(parts[0]), a = number(parts[1]), e = number(parts[2]);
    if (!s || !a || !e || *s < 1 || *s > 125 || *a < 1 || *a >= *e || *e > MaxPeriodMs)
        return fail();
    return Flap{kind, static_cast<int>(*s), *a, *e};
}

bool flapActive(const Flap &f, std::int64_t sinceMs)
{
    if (sinceMs < 0 || f.everyMs <= 0)
        return false;
    return sinceMs % f.everyMs >= f.everyMs - f.activeMs;
}

std::vector<std::uint8_t> flapDiagnosis()
{
    return {0x80, 0x40, 0x26};
}

} // namespace meridan::sim
