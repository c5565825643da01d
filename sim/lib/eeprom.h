// SPDX-License-Identifier: GPL-3.0-or-later
// The board's non-volatile configuration store: 128 pages of 256 bytes, one file.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace meridan::sim {

using Bytes = std::vector<std::uint8_t>;

class Eeprom {
public:
    static constexpr std::uint32_t Size = 0x8000;
    static constexpr std::uint32_t PageSize = 256;
    static constexpr int Pages = Size / PageSize;

    // Memory only (tests).
    Eeprom();
    // Backed by a file; created 0xFF-filled when missing. A file of another size is
    // refused rather than silently cut or padded.
    static std::optional<Eeprom> open(const std::string &path, std::string *error);

    std::uint8_t read(std::uint32_t addr) const { return addr < Size ? bytes_[addr] : 0xFF; }
    // One byte from the serial monitor's "P" command (a weak cell may not take it).
    bool write(std::uint32_t addr, std::uint8_t v);
    // A weak cell: its next `count` byte writes store the value inverted, so
    // it reads back wrong until a write takes.
    void makeWeak(std::uint32_t addr, int count) { weak_[addr] = count; }
    bool erase();
    // Erases, then writes each page (index = page number); the whole image in one go.
    bool writePages(const std::vector<std::pair<int, Bytes>> &pages);
    Bytes page(int s) const;
    const std::string &path() const { return path_; }

    // What a start from the EEPROM finds: the master record and the slave records, each
    // bytes 0 .. byte7 + 7 of its page. Empty master when page 0 holds none.
    struct Config {
        Bytes master;
        std::vector<std::pair<int, Bytes>> slaves;
    };
    Config config() const;

    int burns = 0;
    int erases = 0;
    int weakWrites = 0; // writes a weak cell did not take

private:
    bool persist(std::uint32_t from, std::uint32_t len);
    std::string path_;
    Bytes bytes_;
    std::map<std::uint32_t, int> weak_;
};

} // namespace meridan::sim
