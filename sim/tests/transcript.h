// SPDX-License-Identifier: GPL-3.0-or-later
// A host session written down as in docs/driver-protocol.md: "-> bytes" is what the host
// sends, "<- bytes" what the board answers to it (on the same line or the next one; a step
// without "<-" expects nothing back). Bytes are hex pairs and "quoted text" with \r and \n;
// "#" outside quotes starts a comment.
#pragma once

#include <QFile>

#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

namespace meridan::sim::test {

struct Step {
    std::vector<std::uint8_t> send, expect;
    int line = 0;
};

inline std::vector<std::uint8_t> parseBytes(const std::string &s)
{
    std::vector<std::uint8_t> out;
    bool quoted = false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c == '"') {
            quoted = !quoted;
        } else if (quoted) {
            if (c == '\\' && i + 1 < s.size())
                c = s[++i] == 'r' ? '\r' : s[i] == 'n' ? '\n' : s[i];
            out.push_back(static_cast<std::uint8_t>(c));
        } else if (std::isxdigit(static_cast<unsigned char>(c)) && i + 1 < s.size()) {
            out.push_back(static_cast<std::uint8_t>(std::stoi(s.substr(i++, 2), nullptr, 16)));
        }
    }
    return out;
}

// The steps of sim/tests/golden/NAME; none when the file cannot be read.
inline std::vector<Step> readTranscript(const char *name)
{
    QFile f(QStringLiteral(MERIDAN_SIM_TESTS_DIR "/golden/") + QLatin1String(name));
    std::vector<Step> steps;
    if (!f.open(QIODevice::ReadOnly))
        return steps;
    for (int no = 1; !f.atEnd(); ++no) {
        std::string line = f.readLine().toStdString();
        bool quoted = false;
        for (std::size_t i = 0; i < line.size(); ++i) {
            quoted ^= line[i] == '"';
            if (line[i] == '#' && !quoted)
                line.resize(i);
        }
        const auto to = line.find("->"), from = line.find("<-");
        if (to != std::string::npos)
            steps.push_back({parseBytes(line.substr(to + 2, from == std::string::npos ? from : from - to - 2)), {}, no});
        if (from != std::string::npos && !steps.empty())
            steps.back().expect = parseBytes(line.substr(from + 2));
    }
    return steps;
}

} // namespace meridan::sim::test
