// SPDX-License-Identifier: GPL-3.0-or-later
#include "files.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
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

bool lockOwnFile(int fd, const std::string &path, std::string *error)
{
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        if (error)
            *error = errno == EWOULDBLOCK ? path + ": in use by another meridan-boardsim; left alone"
                                          : why(path, "cannot lock");
        return false;
    }
    return true;
}

int takeLockFile(const std::string &path, std::string *error)
{
    int fd = openOwnFile(path, nullptr, error);
    if (fd < 0)
        return -1;
    if (!lockOwnFile(fd, path, error)) {
        const bool held = errno == EWOULDBLOCK;
        // The holder wrote its process id into the file.
        char pid[32] = {};
        const ssize_t n = ::pread(fd, pid, sizeof pid - 1, 0);
        std::string holder(pid, n > 0 ? static_cast<std::size_t>(n) : 0u);
        holder.erase(std::remove_if(holder.begin(), holder.end(), [](char c) { return c < '0' || c > '9'; }),
                     holder.end());
        if (error && !holder.empty() && held)
            *error = path + ": in use by meridan-boardsim (process " + holder + "); left alone";
        ::close(fd);
        return -1;
    }
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, pid.data(), pid.size(), 0) != static_cast<ssize_t>(pid.size())) {
        // The lock holds without the note; only the message would lack the id.
    }
    return fd;
}

bool makeOwnDirs(const std::string &path, std::string *error)
{
    std::string sofar;
    std::size_t pos = 0;
    while (pos <= path.size()) {
        std::size_t next = path.find('/', pos);
        if (next == std::string::npos)
            next = path.size();
        sofar = path.substr(0, next);
        pos = next + 1;
        if (sofar.empty())
            continue;
        if (::mkdir(sofar.c_str(), 0700) == 0) {
            // mkdir honours the umask by taking bits away only; 0700 stays.
            continue;
        }
        if (errno != EEXIST) {
            if (error)
                *error = why(sofar, "cannot create the folder");
            return false;
        }
        struct stat st {};
        if (::stat(sofar.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            if (error)
                *error = sofar + ": not a folder";
            return false;
        }
    }
    return true;
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
