// SPDX-License-Identifier: GPL-3.0-or-later
// ROOT/driver/zelpci.cfg (docs/zelpci-cfg.md).
#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace meridan::sim {

struct ZelCfg {
    // Keys lower-cased; values as written.
    std::map<std::string, std::string> dpram, serial, network;
    // Original spelling of the network target names, for the HELLO board name.
    std::map<std::string, std::string> networkNames;

    static const char *defaultText();
    // Strict: a line that is neither comment, section nor key=value is an error.
    static std::optional<ZelCfg> parse(const std::string &text, std::string *error);

    // A path of the file made absolute against the root folder; "\" becomes "/".
    static std::string resolve(const std::string &root, const std::string &value);
    // "host:port"; nullopt when malformed.
    static std::optional<std::pair<std::string, int>> hostPort(const std::string &value);
};

} // namespace meridan::sim
