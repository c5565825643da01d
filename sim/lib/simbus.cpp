// SPDX-License-Identifier: GPL-3.0-or-later
#include "simbus.h"

#include <algorithm>
#include <cctype>
#include <sstream>

namespace meridan::sim {

namespace {

std::string trim(const std::string &s)
{
    std::size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos)
        return {};
    std::size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

std::optional<unsigned long> parseHex(std::string s, unsigned long max)
{
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X'))
        s = s.substr(2);
    if (s.empty() || s.size() > 8)
        return std::nullopt;
    unsigned long v = 0;
    for (char c : s) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return std::nullopt;
        v = v * 16 + static_cast<unsigned long>(std::isdigit(static_cast<unsigned char>(c))
                                                    ? c - '0'
                                                    : std::tolower(c) - 'a' + 10);
    }
    if (v > max)
        return std::nullopt;
    return v;
}

std::optional<Bytes> parseHexList(const std::string &s, std::size_t maxCount)
{
    Bytes out;
    std::stringstream ss(s);
    std::string item;
    while (std::getline(ss, item, ',')) {
        auto v = parseHex(trim(item), 0xFF);
        if (!v)
            return std::nullopt;
        out.push_back(static_cast<std::uint8_t>(*v));
    }
    if (out.size() > maxCount)
        return std::nullopt;
    return out;
}

} // namespace

std::optional<SimBus> SimBus::parse(const std::string &text, std::string *error)
{
    SimBus bus;
    std::stringstream in(text);
    std::string line;
    int lineNo = 0;
    auto fail = [&](const std::string &msg) -> std::optional<SimBus> {
        if (error)
            *error = std::to_string(lineNo) + ": " + msg;
        return std::nullopt;
    };
    while (std::getline(in, line)) {
        ++lineNo;
        if (auto hash = line.find('#'); hash != std::string::npos)
            line.erase(hash);
        std::stringstream fields(line);
        std::string stationText;
        if (!(fields >> stationText))
            continue;
        BusSlave s;
        if (stationText.size() > 3 ||
            stationText.find_first_not_of("0123456789") != std::string::npos)
            return fail("station must be a number 1..125: '" + stationText + "'");
        s.station = std::stoi(stationText);
        if (s.station < 1 || s.station > 125)
            return fail("station must be a number 1..125: '" + stationText + "'");
        if (bus.slaves.count(s.station))
            return fail("station " + stationText + " is given twice");
        bool haveIdent = false, haveCfg = false;
        std::string field;
        while (fields >> field) {
            auto eq = field.find('=');
            if (eq == std::string::npos)
                return fail("expected key=value: '" + field + "'");
            std::string key = field.substr(0, eq), value = field.substr(eq + 1);
            if (key == "ident") {
                auto v = parseHex(value, 0xFFFF);
                if (!v)
                    return fail("ident must be 1..4 hex digits: '" + value + "'");
                s.ident = static_cast<std::uint16_t>(*v);
                haveIdent = true;
            } else if (key == "cfg") {
                auto v = parseHexList(value, 64);
                if (!v || v->empty())
                    return fail("cfg must be 1..64 hex bytes separated by ',': '" + value + "'");
                s.cfg = *v;
                haveCfg = true;
            } else if (key == "diag") {
                auto v = parseHexList(value, 32);
                if (!v)
                    return fail("diag must be 0..32 hex bytes separated by ',': '" + value + "'");
                s.extDiag = *v;
            } else if (key == "input") {
                if (value == "count") {
                    s.pattern = InputPattern::Count;
                } else if (value == "walk") {
                    s.pattern = InputPattern::Walk;
                } else if (value == "loop") {
                    s.pattern = InputPattern::Loop;
                } else if (value.rfind("const:", 0) == 0) {
                    auto v = parseHexList(value.substr(6), 64);
                    if (!v || v->empty())
                        return fail("const: needs hex bytes separated by ',': '" + value + "'");
                    s.pattern = InputPattern::Const;
                    s.constBytes = *v;
                } else {
                    return fail("input must be count, walk, loop or const:..: '" + value + "'");
                }
            } else if (key == "report") {
                if (value != "modules")
                    return fail("report must be modules: '" + value + "'");
                s.reportModules = true;
            } else {
                return fail("unknown key '" + key + "'");
            }
        }
        if (!haveIdent || !haveCfg)
            return fail("station " + stationText + " needs ident= and cfg=");
        bus.slaves.emplace(s.station, std::move(s));
    }
    return bus;
}

const char *SimBus::demoText()
{
    return "# The demo bus (docs/simulated-bus.md)\n"
           "12  ident=4711  cfg=31         input=count\n"
           "20  ident=C0DE  cfg=11,13      input=walk\n"
           "30  ident=4224  cfg=10,20      diag=02,01,42,02,81,80,21 input=count\n"
           "40  ident=4225  cfg=10         input=const:5A\n"
           "50  ident=5A50  cfg=20,10,C0,40,40  input=loop\n";
}

SimBus SimBus::demo()
{
    return *parse(demoText(), nullptr);
}

IoLengths decodeIoLengths(const Bytes &cfg)
{
    IoLengths io;
    std::size_t i = 0;
    while (i < cfg.size()) {
        std::uint8_t b = cfg[i++];
        if (b & 0x30) {
            int len = ((b & 0x0F) + 1) * ((b & 0x40) ? 2 : 1);
            if (b & 0x10)
                io.input += len;
            if (b & 0x20)
                io.output += len;
            continue;
        }
        auto lengthByte = [&](int &target) {
            if (i < cfg.size()) {
                std::uint8_t lb = cfg[i++];
                target += ((lb & 0x3F) + 1) * ((lb & 0x40) ? 2 : 1);
            }
        };
        // Special format: the output length byte comes before the input length byte.
        if (b & 0x80)
            lengthByte(io.output);
        if (b & 0x40)
            lengthByte(io.input);
        i += b & 0x0F; // manufacturer-specific bytes
    }
    return io;
}

namespace {
// The identifiers of a list of identifier bytes: a compact byte alone, a special
// one with its length and manufacturer bytes.
std::vector<Bytes> splitIdentifiers(const Bytes &cfg)
{
    std::vector<Bytes> out;
    for (std::size_t i = 0; i < cfg.size();) {
        std::uint8_t b = cfg[i];
        std::size_t n = 1;
        if (!(b & 0x30))
            n += ((b & 0x80) ? 1 : 0) + ((b & 0x40) ? 1 : 0) + (b & 0x0F);
        n = std::min(n, cfg.size() - i);
        out.emplace_back(cfg.begin() + static_cast<long>(i), cfg.begin() + static_cast<long>(i + n));
        i += n;
    }
    return out;
}
} // namespace

Bytes moduleReport(const Bytes &configured, const Bytes &own)
{
    std::vector<Bytes> conf = splitIdentifiers(configured), dev = splitIdentifiers(own);
    std::size_t n = std::min<std::size_t>(std::max(conf.size(), dev.size()), 64);
    Bytes bits((n + 7) / 8), status((n + 3) / 4);
    for (std::size_t i = 0; i < n; ++i) {
        int v = i >= dev.size() ? 3 : (i >= conf.size() || conf[i] != dev[i]) ? 2 : 0;
        if (!v)
            continue;
        bits[i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
        status[i / 4] |= static_cast<std::uint8_t>(v << (2 * (i % 4)));
    }
    Bytes out{static_cast<std::uint8_t>(0x40 | (1 + bits.size()))};
    out.insert(out.end(), bits.begin(), bits.end());
    out.insert(out.end(), {static_cast<std::uint8_t>(4 + status.size()), 0x82, 0x00, 0x00});
    out.insert(out.end(), status.begin(), status.end());
    return out;
}

SlaveView viewSlave(const Bytes &r)
{
    SlaveView v;
    auto at = [&](std::size_t k) -> std::uint8_t { return k < r.size() ? r[k] : 0; };
    auto be16 = [&](std::size_t k) { return static_cast<std::uint16_t>(at(k) << 8 | at(k + 1)); };
    v.ident = be16(30);
    v.watchdog = (at(26) & 0x08) != 0;
    std::size_t prmLen = be16(24);
    if (prmLen < 9)
        return v;
    std::size_t cfgPos = 24 + prmLen; // Cfg_Data_Len
    if (cfgPos + 2 > r.size())
        return v;
    std::size_t cfgLen = be16(cfgPos);
    if (cfgLen < 2 || cfgPos + cfgLen > r.size())
        return v;
    v.cfg.assign(r.begin() + static_cast<long>(cfgPos + 2),
                 r.begin() + static_cast<long>(cfgPos + cfgLen));
    std::size_t tab = cfgPos + cfgLen; // Add_Tab_Len, input offset, output offset
    if (tab + 6 > r.size() || be16(tab) < 6)
        return v;
    v.inputOffset = be16(tab + 2);
    v.outputOffset = be16(tab + 4);
    v.complete = true;
    return v;
}

void inputBytes(const BusSlave &slave, std::uint32_t tick, int length, const Bytes &received, Bytes &out)
{
    out.assign(static_cast<std::size_t>(std::max(length, 0)), 0);
    for (int k = 0; k < length; ++k) {
        switch (slave.pattern) {
        case InputPattern::Count:
            out[k] = static_cast<std::uint8_t>(tick + static_cast<std::uint32_t>(k));
            break;
        case InputPattern::Walk: {
            std::uint32_t bit = tick % static_cast<std::uint32_t>(length * 8);
            out[k] = (bit / 8 == static_cast<std::uint32_t>(k)) ? static_cast<std::uint8_t>(1u << (bit % 8)) : 0;
            break;
        }
        case InputPattern::Const:
            out[k] = slave.constBytes[static_cast<std::size_t>(k) % slave.constBytes.size()];
            break;
        case InputPattern::Loop:
            out[k] = static_cast<std::size_t>(k) < received.size() ? received[static_cast<std::size_t>(k)] : 0;
            break;
        }
    }
}

} // namespace meridan::sim
