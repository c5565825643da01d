#include "dpram.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace meridan::sim {

void DpRam::fill(std::uint8_t v)
{
    for (std::uint32_t a = 0; a < size(); ++a)
        data()[a] = v;
}

std::unique_ptr<MappedDpRam> MappedDpRam::create(const std::string &path, std::uint32_t size,
                                                 std::string *error)
{
    auto fail = [&](const char *what) -> std::unique_ptr<MappedDpRam> {
        if (error)
            *error = path + ": " + what + ": " + std::strerror(errno);
        return nullptr;
    };
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return fail("cannot open");
    // Truncate to zero first so a stale image from an earlier run never shows through.
    if (::ftruncate(fd, 0) != 0 || ::ftruncate(fd, size) != 0) {
        ::close(fd);
        return fail("cannot size");
    }
    void *p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ::close(fd);
    if (p == MAP_FAILED)
        return fail("cannot map");
    return std::unique_ptr<MappedDpRam>(
        new MappedDpRam(path, static_cast<std::uint8_t *>(p), size));
}

MappedDpRam::~MappedDpRam()
{
    ::munmap(base_, size_);
}

} // namespace meridan::sim
