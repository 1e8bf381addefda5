#include "platform/posix/lock_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <QString>
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/posix/small_file.h"

namespace velnor::posix {
namespace {

// Rounds of looking again when the lock file changes while it is looked at.
constexpr int kRounds = 50;

constexpr int32_t kMaxPid = 1 << 22;

std::string systemReason(int error) {
    return std::strerror(error);
}

// The sentences join paths and the system's words, both in the locale's encoding.
Problem problem(ProblemKind kind, const std::string& sentence) {
    return {kind, QString::fromLocal8Bit(sentence).toStdU16String()};
}

// `what` failed with `error`: a lock folder or file that this user may not touch is a matter of
// permission, anything else is not judged.
Problem systemProblem(const std::string& what, int error) {
    const bool refused = error == EACCES || error == EPERM;
    return problem(refused ? ProblemKind::Permission : ProblemKind::Other,
                   what + ": " + systemReason(error));
}

bool processAlive(pid_t pid) {
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

void pauseBriefly() {
    const timespec interval{0, 1'000'000};
    ::nanosleep(&interval, nullptr);
}

// The lock file as found, opened without following links and without waiting.
struct Found {
    enum { Gone, Changed, Refused, Held, Stale } state;
    Problem problem{};  // Refused, Held: why the lock cannot be taken
    int fd = -1;        // Stale: the open file, for the caller to lock and close
};

std::string refusal(const std::string& path, const char* what) {
    return "the lock file " + path + " is " + what +
           ", not a regular file; remove it if no program uses the port";
}

Found inspect(const std::string& path) {
    struct stat named {};
    if (::lstat(path.c_str(), &named) != 0) {
        const int error = errno;
        if (error == ENOENT) return {Found::Gone};
        return {Found::Refused, systemProblem("cannot look at the lock file " + path, error)};
    }
    if (!S_ISREG(named.st_mode))
        return {Found::Refused,
                problem(ProblemKind::Other, refusal(path, fileKind(named.st_mode)))};
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT || error == ELOOP) return {Found::Changed};
        return {Found::Refused, systemProblem("cannot read the lock file " + path, error)};
    }
    Descriptor file(fd);
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || opened.st_dev != named.st_dev || opened.st_ino != named.st_ino)
        return {Found::Changed};
    char content[64];
    const ssize_t length = ::pread(fd, content, sizeof content, 0);
    // 0: no holder named (a holder's id is positive).
    const pid_t holder =
        length > 0 ? lockFileHolder(std::string_view(content, size_t(length))).value_or(0) : 0;
    if (holder > 0 && processAlive(holder)) {
        return {Found::Held,
                problem(ProblemKind::Busy, "busy, held by process " + std::to_string(holder) +
                                               " (lock file " + path + ")")};
    }
    return {Found::Stale, {}, ::dup(fd)};
}

// The lock file's content written in full under a temporary name in its folder; removed with the
// object unless it has been moved into place.
class TemporaryLock {
  public:
    explicit TemporaryLock(const std::string& path) {
        std::string name = path.substr(0, path.rfind('/') + 1) + "LTMP.XXXXXX";
        const int fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (fd < 0) {
            error_ = errno;
            return;
        }
        Descriptor file(fd);
        path_ = std::move(name);
        char pid[16];
        const int length = std::snprintf(pid, sizeof pid, "%10d\n", int(::getpid()));
        struct stat written {};
        if (::fchmod(fd, 0644) != 0 || ::write(fd, pid, size_t(length)) != length ||
            ::fstat(fd, &written) != 0) {
            error_ = errno;
            return;
        }
        device_ = written.st_dev;
        inode_ = written.st_ino;
    }
    ~TemporaryLock() {
        if (!path_.empty()) ::unlink(path_.c_str());
    }
    TemporaryLock(const TemporaryLock&) = delete;
    TemporaryLock& operator=(const TemporaryLock&) = delete;

    int error() const { return error_; }
    const std::string& path() const { return path_; }
    dev_t device() const { return device_; }
    ino_t inode() const { return inode_; }

  private:
    std::string path_;
    int error_ = 0;
    dev_t device_ = 0;
    ino_t inode_ = 0;
};

}  // namespace

std::optional<pid_t> lockFileHolder(std::string_view content) {
    const size_t first = content.find_first_not_of(' ');
    size_t end = content.size();
    if (end > 0 && content[end - 1] == '\n') --end;
    while (end > 0 && content[end - 1] == ' ') --end;
    if (first != std::string_view::npos && first < end) {
        const std::string_view digits = content.substr(first, end - first);
        if (digits.size() <= 10 &&
            std::ranges::all_of(digits, [](char c) { return c >= '0' && c <= '9'; })) {
            const long long pid = std::stoll(std::string(digits));
            if (pid > 0 && pid <= INT32_MAX) return pid_t(pid);
            return std::nullopt;
        }
    }
    // Process ids stay below 2^22 (the kernel's limit), so a binary one never reads as text.
    if (content.size() == sizeof(int32_t)) {
        int32_t pid = 0;
        std::memcpy(&pid, content.data(), sizeof pid);
        if (pid > 0 && pid <= kMaxPid) return pid_t(pid);
    }
    return std::nullopt;
}

LockFile::LockFile(LockFile&& other) noexcept
    : path_(std::exchange(other.path_, {})), device_(other.device_), inode_(other.inode_) {}

LockFile::~LockFile() {
    if (path_.empty()) return;
    // Another program may have replaced a lock file it took for stale; that one stays.
    const int fd = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return;
    Descriptor file(fd);
    struct stat found {};
    char content[64];
    const ssize_t length = ::pread(fd, content, sizeof content, 0);
    if (::fstat(fd, &found) == 0 && found.st_dev == device_ && found.st_ino == inode_ &&
        length > 0 && lockFileHolder(std::string_view(content, size_t(length))) == ::getpid())
        ::unlink(path_.c_str());
}

Result<LockFile> takeLockFile(const std::string& path) {
    const std::string creating = "cannot create the lock file " + path;
    const TemporaryLock written(path);
    if (written.error() != 0) return std::unexpected(systemProblem(creating, written.error()));
    for (int round = 0; round < kRounds; ++round) {
        if (::link(written.path().c_str(), path.c_str()) == 0)
            return LockFile(path, written.device(), written.inode());
        if (const int error = errno; error != EEXIST)
            return std::unexpected(systemProblem(creating, error));
        Found found = inspect(path);
        switch (found.state) {
            case Found::Gone:
            case Found::Changed:
                continue;
            case Found::Refused:
            case Found::Held:
                return std::unexpected(std::move(found.problem));
            case Found::Stale:
                break;
        }
        // Whoever locks the stale file first replaces it; the others find the new one next round.
        Descriptor stale(found.fd);
        struct stat locked {
        }, named{};
        if (::flock(stale.get(), LOCK_EX | LOCK_NB) != 0) {
            pauseBriefly();
            continue;
        }
        if (::fstat(stale.get(), &locked) != 0 || ::lstat(path.c_str(), &named) != 0 ||
            locked.st_dev != named.st_dev || locked.st_ino != named.st_ino)
            continue;
        if (::rename(written.path().c_str(), path.c_str()) == 0)
            return LockFile(path, written.device(), written.inode());
        const int error = errno;
        return std::unexpected(systemProblem("cannot replace the stale lock file " + path, error));
    }
    return std::unexpected(
        problem(ProblemKind::Busy, "busy, the lock file " + path + " keeps changing"));
}

}  // namespace velnor::posix
