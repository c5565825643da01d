// SPDX-License-Identifier: GPL-3.0-or-later
// DP-RAM as the firmware sees it: a window of bytes shared with the host.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace meridan::sim {

class DpRam {
public:
    virtual ~DpRam() = default;
    virtual std::uint32_t size() const = 0;
    // Out-of-range reads yield 0 and writes are dropped: the firmware never trusts an
    // address it computed from host data.
    std::uint8_t get(std::uint32_t addr) const { return addr < size() ? data()[addr] : 0; }
    void set(std::uint32_t addr, std::uint8_t v)
    {
        if (addr < size())
            data()[addr] = v;
    }
    std::uint16_t get16(std::uint32_t addr) const
    {
        return static_cast<std::uint16_t>((get(addr) << 8) | get(addr + 1));
    }
    void set16(std::uint32_t addr, std::uint16_t v)
    {
        set(addr, static_cast<std::uint8_t>(v >> 8));
        set(addr + 1, static_cast<std::uint8_t>(v & 0xFF));
    }
    void fill(std::uint8_t v);

protected:
    // volatile: the host process writes the same memory behind our back.
    virtual volatile std::uint8_t *data() const = 0;
};

// Plain memory: serial and network boards, and the tests.
class VectorDpRam final : public DpRam {
public:
    explicit VectorDpRam(std::uint32_t size) : bytes_(size, 0) {}
    std::uint32_t size() const override { return static_cast<std::uint32_t>(bytes_.size()); }

protected:
    volatile std::uint8_t *data() const override
    {
        return const_cast<std::uint8_t *>(bytes_.data());
    }

private:
    std::vector<std::uint8_t> bytes_;
};

// A plain file mapped MAP_SHARED; the host maps the same file.
class MappedDpRam final : public DpRam {
public:
    // Creates the file (owner-only), or takes the existing one of this user (never a
    // symbolic link, never one another simulator holds), sizes it to `size` zero
    // bytes and maps it.
    static std::unique_ptr<MappedDpRam> create(const std::string &path, std::uint32_t size,
                                               std::string *error);
    ~MappedDpRam() override;
    MappedDpRam(const MappedDpRam &) = delete;
    MappedDpRam &operator=(const MappedDpRam &) = delete;
    std::uint32_t size() const override { return size_; }
    const std::string &path() const { return path_; }

protected:
    volatile std::uint8_t *data() const override { return base_; }

private:
    MappedDpRam(std::string path, std::uint8_t *base, std::uint32_t size, int fd)
        : path_(std::move(path)), base_(base), size_(size), fd_(fd)
    {
    }
    std::string path_;
    std::uint8_t *base_;
    std::uint32_t size_;
    int fd_; // open while mapped: it holds the file's lock
};

} // namespace meridan::sim
