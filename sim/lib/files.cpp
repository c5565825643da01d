// SPDX-License-Identifier: GPL-3.0-or-later
#include "files.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace meridan::sim {

namespace {
std::string why(const std::string &path, const char *what)
{
    return path + ": " + what + ": " + std::strerror(errno);
}

bool writeAll(int fd, const std::string &bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}
} // namespace

std::string refuseLink(const std::string &path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
        return path + ": is a symbolic link; refused";
    return {};
}

int openOwnFile(const std::string &path, bool *created, std::string *error)
{
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (created)
        *created = fd >= 0;
    if (fd >= 0)
        return fd;
    if (errno != EEXIST) {
        if (error)
            *error = why(path, "cannot create");
        return -1;
    }
    // O_NONBLOCK: a FIFO planted here must not stall the open.
    fd = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (error)
            *error = errno == ELOOP ? path + ": is a symbolic link; refused" : why(path, "cannot open");
        return -1;
    }
    struct stat st {};
    const char *refusal = nullptr;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        refusal = "not a regular file; refused";
    else if (st.st_uid != ::geteuid())
        refusal = "belongs to another user; refused";
    if (refusal) {
        ::close(fd);
        if (error)
            *error = path + ": " + refusal;
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    ::fchmod(fd, st.st_mode & 0600);
    return fd;
}

bool writeWholeFile(const std::string &path, const std::string &bytes, bool exclusive,
                    std::string *error)
{
    std::string temp = path + ".XXXXXX";
    std::vector<char> name(temp.begin(), temp.end());
    name.push_back('\0');
    int fd = ::mkostemp(name.data(), O_CLOEXEC); // 0600, created exclusively
    if (fd < 0) {
        if (error)
            *error = why(path, "cannot create a temporary file");
        return false;
    }
    temp = name.data();
    bool ok = writeAll(fd, bytes) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    const char *what = "cannot write";
    if (ok) {
        // rename() replaces a link at `path` rather than writing through it;
        // link() fails when anything is there already.
        ok = exclusive ? ::link(temp.c_str(), path.c_str()) == 0 : ::rename(temp.c_str(), path.c_str()) == 0;
        what = exclusive ? "cannot create" : "cannot replace";
    }
    if (!ok && error)
        *error = why(path, what);
    if (!ok || exclusive)
        ::unlink(temp.c_str());
    return ok;
}

std::optional<std::string> readRegularFile(const std::string &path, std::size_t most,
                                           std::string *error)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (error)
            *error = why(path, "cannot open");
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        if (error)
            *error = path + ": not a regular file";
        return std::nullopt;
    }
    std::string out;
    char buf[65536];
    while (out.size() < most) {
        ssize_t n = ::read(fd, buf, std::min(sizeof buf, most - out.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            if (error)
                *error = why(path, "cannot read");
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return out;
}

} // namespace meridan::sim
