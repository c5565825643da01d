// SPDX-License-Identifier: GPL-3.0-or-later
#include "zelcfg.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
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
std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}
} // namespace

const char *ZelCfg::defaultText()
{
    return "[dpram]\n"
           "Tessel=driver/tessel.dpram\n"
           "VME1=driver/vme1.dpram\n"
           "Corvet=driver/corvet.dpram\n"
           "[serial]\n"
           "COM1=driver/com1\n"
           "COM2=driver/com2\n"
           "[network]\n"
           "OS9Target=127.0.0.1:17301\n"
           "Ketch=127.0.0.1:17302\n";
}

std::optional<ZelCfg> ZelCfg::parse(const std::string &text, std::string *error)
{
    ZelCfg cfg;
    std::stringstream in(text);
    std::string line, section;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        std::string t = trim(line);
        if (t.empty() || t[0] == '#')
            continue;
        if (t.front() == '[' && t.back() == ']') {
            section = lower(trim(t.substr(1, t.size() - 2)));
            continue;
        }
        auto eq = t.find('=');
        if (eq == std::string::npos || trim(t.substr(0, eq)).empty()) {
            if (error)
                *error = std::to_string(lineNo) + ": expected key=value or [section]";
            return std::nullopt;
        }
        std::string key = trim(t.substr(0, eq)), value = trim(t.substr(eq + 1));
        if (section == "dpram")
            cfg.dpram[lower(key)] = value;
        else if (section == "serial")
            cfg.serial[lower(key)] = value;
        else if (section == "network") {
            cfg.network[lower(key)] = value;
            cfg.networkNames[lower(key)] = key;
        }
    }
    return cfg;
}

std::string ZelCfg::resolve(const std::string &root, const std::string &value)
{
    std::string v = value;
    std::replace(v.begin(), v.end(), '\\', '/');
    std::filesystem::path p(v);
    if (p.is_absolute())
        return p.lexically_normal().string();
    return (std::filesystem::path(root) / p).lexically_normal().string();
}

std::optional<std::pair<std::string, int>> ZelCfg::hostPort(const std::string &value)
{
    auto colon = value.rfind(':');
    if (colon == std::string::npos || colon == 0)
        return std::nullopt;
    std::string host = value.substr(0, colon), port = value.substr(colon + 1);
    if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    int p = std::stoi(port);
    if (p > 65535)
        return std::nullopt;
    return std::make_pair(host, p);
}

} // namespace meridan::sim
