// SPDX-License-Identifier: GPL-3.0-or-later
#include "dp1.h"

#include <algorithm>

namespace meridan::sim {

namespace {
constexpr std::size_t HeaderSize = 8;
constexpr std::size_t MasterSize = 256;
constexpr unsigned MaxPageRecordL = Eeprom::PageSize - 8; // bytes 0..L+7 fit a page
} // namespace

BurnResult burnConfigFile(Eeprom &eeprom, const Bytes &f)
{
    BurnResult r;
    auto fail = [&](std::uint8_t code, std::string text) {
        r.status = 1;
        r.code = code;
        r.slaves = 0;
        r.text = std::move(text);
        return r;
    };
    if (f.size() < HeaderSize + MasterSize || f[HeaderSize] != '$')
        return fail(1, "not a configuration file (no master record)");
    std::vector<std::pair<int, Bytes>> pages;
    pages.emplace_back(0, Bytes(f.begin() + HeaderSize, f.begin() + HeaderSize + MasterSize));
    std::size_t pos = HeaderSize + MasterSize;
    int count = 0;
    while (pos + 8 <= f.size()) {
        if (f[pos] != '%') {
            pos += 8; // unknown data is skipped in steps of 8 bytes, as the reader does
            continue;
        }
        int station = f[pos + 3];
        if (station < 1 || station > 125)
            return fail(2, "slave record with station " + std::to_string(station));
        if (pos + 10 > f.size())
            return fail(2, "slave record " + std::to_string(station) + " is cut short");
        unsigned L = static_cast<unsigned>(f[pos + 8]) << 8 | f[pos + 9];
        if (L < 10 || L > 511 || pos + L + 1 > f.size())
            return fail(2, "slave record " + std::to_string(station) + " has a bad length");
        if (L > MaxPageRecordL)
            return fail(3, "slave record " + std::to_string(station) + " does not fit a page");
        Bytes page(f.begin() + static_cast<long>(pos), f.begin() + static_cast<long>(pos + L + 1));
        page[7] = static_cast<std::uint8_t>(std::min(L, 244u));
        pages.emplace_back(station, std::move(page));
        ++count;
        pos += L + 1;
    }
    if (!eeprom.writePages(pages))
        return fail(4, "EEPROM file write failed");
    r.slaves = static_cast<std::uint8_t>(count);
    return r;
}

std::optional<Bytes> configFileFromEeprom(const Eeprom &eeprom)
{
    Bytes p0 = eeprom.page(0);
    if (p0[0] != '$')
        return std::nullopt;
    Bytes f{0x10, 0, 0, 0, 0, 0, 0, 0};
    f.insert(f.end(), p0.begin(), p0.end());
    for (int s = 1; s <= 125; ++s) {
        Bytes p = eeprom.page(s);
        unsigned L = static_cast<unsigned>(p[8]) << 8 | p[9];
        if (p[0] != '%' || p[3] != s || L < 10 || L > MaxPageRecordL)
            continue;
        f.insert(f.end(), p.begin(), p.begin() + L + 1);
    }
    return f;
}

} // namespace meridan::sim
