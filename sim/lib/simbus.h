// SPDX-License-Identifier: GPL-3.0-or-later
// The DP slaves that exist on the simulated segment, and what a slave record asks of them.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace meridan::sim {

using Bytes = std::vector<std::uint8_t>;

// Count, walk and const make the inputs up; loop mirrors the outputs the
// slave received at its previous update.
enum class InputPattern { Count, Walk, Const, Loop };

struct BusSlave {
    int station = 0;
    std::uint16_t ident = 0;
    Bytes cfg;
    Bytes extDiag;
    InputPattern pattern = InputPattern::Count;
    Bytes constBytes;
    // On a Cfg Fault the slave says which modules do not match (report=modules).
    bool reportModules = false;
};

struct SimBus {
    std::map<int, BusSlave> slaves;

    // Parses the bus file text. On error returns nullopt and sets "LINE: message"
    // (the caller prefixes the file name).
    static std::optional<SimBus> parse(const std::string &text, std::string *error);
    static SimBus demo();
    static const char *demoText();

    const BusSlave *find(int station) const
    {
        auto it = slaves.find(station);
        return it == slaves.end() ? nullptr : &it->second;
    }
};

struct IoLengths {
    int input = 0;
    int output = 0;
};

// Input and output byte counts of a list of DP identifier bytes (compact and special
// format).
IoLengths decodeIoLengths(const Bytes &cfg);

// The extended diagnosis of a slave whose identifier bytes `own` differ from the
// `configured` ones: an identifier-related block with a bit per module that differs
// and a DP-V1 module status block (status type 0x82, two bits a module: 2 wrong
// module, 3 no module). A module is one identifier, counted from 0.
Bytes moduleReport(const Bytes &configured, const Bytes &own);

// The parts of a slave record the master needs on the bus. Every offset is checked
// against the record as received, so a short or inconsistent record never reads past it.
struct SlaveView {
    std::uint16_t ident = 0;
    Bytes cfg;
    std::uint16_t inputOffset = 0;
    std::uint16_t outputOffset = 0;
    bool watchdog = false;
    bool complete = false; // Add_Tab was inside the received bytes
};
SlaveView viewSlave(const Bytes &record);

// Fills `out` with this update's input bytes; `received` are the outputs the
// slave got (a looped slave's inputs repeat them, zeros beyond).
void inputBytes(const BusSlave &slave, std::uint32_t tick, int length, const Bytes &received, Bytes &out);

} // namespace meridan::sim
