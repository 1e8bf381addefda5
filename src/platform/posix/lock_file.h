#pragma once

// The customary UUCP lock files of serial ports (/run/lock/LCK..ttyS0), handled as the serial
// tools that users trust handle them: nothing here ever blocks on what it finds in the lock folder,
// which anyone may write to.

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

#include "core/problem.h"

namespace velnor::posix {

// The process a lock file's content names: decimal digits with spaces and a line feed around them
// (as most tools write it), or a 4-byte process id in the machine's byte order (as some older
// tools still write it). Nothing for any other content.
std::optional<pid_t> lockFileHolder(std::string_view content);

// A lock file this process holds. Destroying it removes the file, but only while it is still the
// file this process created and still names this process.
class LockFile {
  public:
    LockFile() = default;  // holds nothing
    LockFile(LockFile&& other) noexcept;
    LockFile& operator=(LockFile&&) = delete;
    ~LockFile();

  private:
    friend Result<LockFile> takeLockFile(const std::string& path);
    LockFile(std::string path, dev_t device, ino_t inode)
        : path_(std::move(path)), device_(device), inode_(inode) {}

    std::string path_;
    dev_t device_ = 0;
    ino_t inode_ = 0;
};

// Takes the lock file at `path` for this process. The file is written in full under a temporary
// name in the same folder and linked into place, so no other process ever sees it half written;
// a lock file whose process is gone is replaced in one step (rename) by whichever process locks it
// first (flock), so of several processes that find it stale at the same moment, exactly one
// takes it. Fails with a sentence when the port is busy (a live process holds the lock: Busy) or
// when the lock file cannot be judged: not a regular file (a FIFO, a symbolic link, a directory, a
// device), unreadable (Permission where the system says so), or the folder refuses the file.
// Never waits for anything found there.
Result<LockFile> takeLockFile(const std::string& path);

}  // namespace velnor::posix
