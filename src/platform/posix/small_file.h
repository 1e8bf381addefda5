#pragma once

// Small files that something else may stand in the place of (a lock file in a folder anyone writes
// to, the user's settings that a dotfile manager links elsewhere): read without ever waiting for
// what is found there, and replaced in one step, so that no reader sees half a file and a failed
// write leaves the old one whole.

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <string>
#include <string_view>

namespace velnor::posix {

// Closes a descriptor when it goes.
class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor();
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

// What a file of `mode` is, for a sentence: "a FIFO", "a directory", "a device", ...
const char* fileKind(mode_t mode);

// Which version of a file is at a path: another inode, size, modification or change time is
// another version. What cannot be looked at has only the system's error (ENOENT: nothing there).
struct FileVersion {
    int error = 0;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    int64_t modified = 0;  // nanoseconds
    int64_t changed = 0;
    // Unchanged for long enough that a change now would show in its times: the file system's
    // clock moves in ticks (up to 2 s), and a change within the tick of the last one keeps them.
    bool settled = false;
    bool operator==(const FileVersion&) const = default;
};
FileVersion fileVersion(const std::filesystem::path& path);

// Why a file was not read.
struct Unread {
    bool missing = false;  // there is nothing at its path
    std::string reason{};  // the end of a sentence: "it is a FIFO, not a regular file"
};

// The content of the regular file at `path` (a symbolic link is followed), at most `maxSize`
// bytes of text: anything else is refused with the reason. A FIFO, device or socket is never
// opened, so nothing is waited for and no device is touched.
std::expected<std::string, Unread> readSmallFile(const std::filesystem::path& path, size_t maxSize);

// Replaces the file at `path` with `content`: written in full under a name unique to this process
// in the same folder, flushed to the disk, then renamed into place. A symbolic link at `path` is
// followed, so its target is replaced and the link stays; the file keeps its permissions (a new
// one gets the umask's). Fails with the reason, the system's words, leaving the old file as it
// was; a target that exists and is not a regular file is refused.
std::expected<void, std::string> replaceFile(const std::filesystem::path& path,
                                             std::string_view content);

}  // namespace velnor::posix
