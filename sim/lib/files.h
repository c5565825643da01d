// SPDX-License-Identifier: GPL-3.0-or-later
// The files the simulator reads and writes, often in folders other users share (the
// root folder, /tmp): nothing is written through a symbolic link, what it creates is
// owner-only, a whole-file write replaces the file completely or not at all, and a
// FIFO or device named where a file belongs is refused instead of blocking.
#pragma once

#include <optional>
#include <string>

namespace meridan::sim {

// Opens `path` for reading and writing: creates it (mode 0600, exclusively) when
// missing, else opens the existing file, which must be a regular file of this user
// and not a symbolic link. -1 with `error` set otherwise. `created` says which.
int openOwnFile(const std::string &path, bool *created, std::string *error);

// Writes `bytes` to a new file beside `path` and renames it over `path` once every
// byte is on the disk. `exclusive`: only when `path` does not exist yet. False with
// `error` set, `path` unchanged.
bool writeWholeFile(const std::string &path, const std::string &bytes, bool exclusive,
                    std::string *error);

// At most `most` bytes of the regular file `path`.
std::optional<std::string> readRegularFile(const std::string &path, std::size_t most,
                                           std::string *error);

// Refuses a symbolic link at `path` (an empty result: none there, or a plain file).
std::string refuseLink(const std::string &path);

// Takes the exclusive lock of `fd` without waiting. False with `error` set when
// another process holds it: another simulator serves what the file stands for.
bool lockOwnFile(int fd, const std::string &path, std::string *error);

// A lock file at `path` (owner-only, never through a link), locked and holding
// this process's id for as long as the returned descriptor stays open. -1 with
// `error` set, naming the process that holds it when another one does.
int takeLockFile(const std::string &path, std::string *error);

// Creates the folder `path` and its missing parents, owner-only (0700) whatever
// the umask; folders that exist already are left as they are.
bool makeOwnDirs(const std::string &path, std::string *error);

} // namespace meridan::sim
