// SPDX-License-Identifier: GPL-3.0-or-later
#include "dpram.h"

#include "files.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace meridan::sim {

void DpRam::fill(std::uint8_t v)
{
    // The whole window at once: power-up clears it, and a byte-wise loop
    // through the accessors costs more than everything else a reset does.
    std::memset(const_cast<std::uint8_t *>(data()), v, size());
}

std::unique_ptr<MappedDpRam> MappedDpRam::create(const std::string &path, std::uint32_t size,
                                                 std::string *error)
{
    auto fail = [&](const char *what) -> std::unique_ptr<MappedDpRam> {
        if (error)
            *error = path + ": " + what + ": " + std::strerror(errno);
        return nullptr;
    };
    // Never through a link, never another user's file: a link planted where the
    // DP-RAM belongs would otherwise turn its target into zeros.
    std::string err;
    int fd = openOwnFile(path, nullptr, &err);
    // Another simulator's board lives in this file: it stays untouched. The
    // lock is held for as long as the board keeps the file open.
    if (fd >= 0 && !lockOwnFile(fd, path, &err)) {
        ::close(fd);
        fd = -1;
    }
    if (fd < 0) {
        if (error)
            *error = err;
        return nullptr;
    }
    // Sized in place, never cut to zero first: a host that still maps the file from an
    // earlier run must not fault on it. Power-up clears the contents.
    if (::ftruncate(fd, size) != 0) {
        ::close(fd);
        return fail("cannot size");
    }
    void *p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (p == MAP_FAILED) {
        auto r = fail("cannot map");
        ::close(fd);
        return r;
    }
    std::memset(p, 0, size);
    return std::unique_ptr<MappedDpRam>(
        new MappedDpRam(path, static_cast<std::uint8_t *>(p), size, fd));
}

MappedDpRam::~MappedDpRam()
{
    ::munmap(base_, size_);
    ::close(fd_);
}

} // namespace meridan::sim
