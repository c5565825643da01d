// SPDX-License-Identifier: GPL-3.0-or-later
#include "eeprom.h"

#include "files.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace meridan::sim {

Eeprom::Eeprom() : bytes_(Size, 0xFF) {}

std::optional<Eeprom> Eeprom::open(const std::string &path, std::string *error)
{
    Eeprom e;
    e.path_ = path;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        std::string err;
        int fd = openOwnFile(path, nullptr, &err);
        if (fd < 0) {
            if (error)
                *error = err;
            return std::nullopt;
        }
        if (::fstat(fd, &st) != 0 || st.st_size != static_cast<off_t>(Size)) {
            ::close(fd);
            if (error)
                *error = path + ": not an EEPROM image (must be exactly 32768 bytes)";
            return std::nullopt;
        }
        ssize_t got = ::pread(fd, e.bytes_.data(), Size, 0);
        ::close(fd);
        if (got != static_cast<ssize_t>(Size)) {
            if (error)
                *error = path + ": cannot read";
            return std::nullopt;
        }
        return e;
    }
    if (!e.persist(0, Size)) {
        if (error)
            *error = path + ": cannot create: " + std::strerror(errno);
        return std::nullopt;
    }
    return e;
}

bool Eeprom::persist(std::uint32_t from, std::uint32_t len)
{
    if (path_.empty())
        return true;
    int fd = openOwnFile(path_, nullptr, nullptr);
    if (fd < 0)
        return false;
    ssize_t put = ::pwrite(fd, bytes_.data() + from, len, from);
    bool ok = put == static_cast<ssize_t>(len);
    ok = (::close(fd) == 0) && ok;
    return ok;
}

bool Eeprom::write(std::uint32_t addr, std::uint8_t v)
{
    if (addr >= Size)
        return false;
    if (auto w = weak_.find(addr); w != weak_.end() && w->second > 0) {
        --w->second;
        ++weakWrites;
        v = static_cast<std::uint8_t>(~v);
    }
    bytes_[addr] = v;
    return persist(addr, 1);
}

bool Eeprom::erase()
{
    std::fill(bytes_.begin(), bytes_.end(), 0xFF);
    ++erases;
    return persist(0, Size);
}

bool Eeprom::writePages(const std::vector<std::pair<int, Bytes>> &pages)
{
    std::fill(bytes_.begin(), bytes_.end(), 0xFF);
    for (const auto &[s, content] : pages) {
        if (s < 0 || s >= Pages)
            continue;
        auto *p = bytes_.data() + s * PageSize;
        std::fill(p, p + PageSize, 0);
        std::memcpy(p, content.data(), std::min<std::size_t>(content.size(), PageSize));
    }
    ++burns;
    return persist(0, Size);
}

Bytes Eeprom::page(int s) const
{
    if (s < 0 || s >= Pages)
        return {};
    auto it = bytes_.begin() + s * PageSize;
    return Bytes(it, it + PageSize);
}

Eeprom::Config Eeprom::config() const
{
    Config c;
    Bytes p0 = page(0);
    if (p0[0] != '$' || p0[7] + 8u > PageSize)
        return c;
    c.master.assign(p0.begin(), p0.begin() + 8 + p0[7]);
    for (int s = 1; s <= 125; ++s) {
        Bytes p = page(s);
        if (p[0] != '%' || p[3] != s || p[7] + 8u > PageSize)
            continue;
        c.slaves.emplace_back(s, Bytes(p.begin(), p.begin() + 8 + p[7]));
    }
    return c;
}

} // namespace meridan::sim
