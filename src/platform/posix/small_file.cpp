#include "platform/posix/small_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <system_error>

namespace velnor::posix {
namespace {

namespace fs = std::filesystem;

// Links deeper than this are a loop, as the kernel judges them.
constexpr int kMaxLinks = 40;

// The coarsest clock of a file system that Linux keeps times on (FAT's).
constexpr int64_t kClockTick = 2'000'000'000;

// Attempts at a temporary name before giving up: names left by a process that ended mid-write,
// whose process id this one now has.
constexpr int kNameAttempts = 100;

Unread refused(const char* kind) {
    return {.reason = std::string("it is ") + kind + ", not a regular file"};
}

Unread failed(int error) {
    return {.missing = error == ENOENT, .reason = std::strerror(error)};
}

// Line breaks and tabs are all the control characters a text file of settings holds.
bool isText(std::string_view content) {
    return std::ranges::none_of(content, [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return (byte < 0x20 && c != '\n' && c != '\r' && c != '\t') || byte == 0x7f;
    });
}

// The file `path` names once every symbolic link at its end is followed.
std::expected<fs::path, std::string> linkTarget(fs::path path) {
    for (int links = 0; links < kMaxLinks; ++links) {
        std::error_code error;
        if (!fs::is_symlink(fs::symlink_status(path, error))) return path;
        const fs::path target = fs::read_symlink(path, error);
        if (error) return std::unexpected(error.message());
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    return std::unexpected(std::strerror(ELOOP));
}

// Writes all of `content`; 0, or the system's error.
int writeAll(int fd, std::string_view content) {
    while (!content.empty()) {
        const ssize_t written = ::write(fd, content.data(), content.size());
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) return errno;
        content.remove_prefix(static_cast<size_t>(written));
    }
    return 0;
}

}  // namespace

Descriptor::~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
}

const char* fileKind(mode_t mode) {
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISLNK(mode)) return "a symbolic link";
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

FileVersion fileVersion(const fs::path& path) {
    struct stat found {};
    if (::stat(path.c_str(), &found) != 0) return {.error = errno};
    const auto nanoseconds = [](const timespec& time) {
        return int64_t{time.tv_sec} * 1'000'000'000 + time.tv_nsec;
    };
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const int64_t latest = std::max(nanoseconds(found.st_mtim), nanoseconds(found.st_ctim));
    return {.device = found.st_dev,
            .inode = found.st_ino,
            .size = found.st_size,
            .modified = nanoseconds(found.st_mtim),
            .changed = nanoseconds(found.st_ctim),
            .settled = nanoseconds(now) - latest > kClockTick};
}

std::expected<std::string, Unread> readSmallFile(const fs::path& path, size_t maxSize) {
    const Unread tooLarge{.reason = "it is larger than " + std::to_string(maxSize / 1024) + " KiB"};
    // Looked at before it is opened: opening a device can act on it (a serial port raises DTR).
    struct stat found {};
    if (::stat(path.c_str(), &found) != 0) return std::unexpected(failed(errno));
    if (!S_ISREG(found.st_mode)) return std::unexpected(refused(fileKind(found.st_mode)));
    if (static_cast<size_t>(found.st_size) > maxSize) return std::unexpected(tooLarge);
    // Whatever took its place since is not waited for either.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return std::unexpected(failed(errno));
    const Descriptor file(fd);
    struct stat opened {};
    if (::fstat(fd, &opened) != 0) return std::unexpected(failed(errno));
    if (!S_ISREG(opened.st_mode)) return std::unexpected(refused(fileKind(opened.st_mode)));
    // One byte more than allowed tells a file that grew since, or a size that the system does
    // not know in advance (as under /proc).
    std::string content(maxSize + 1, '\0');
    size_t length = 0;
    while (length < content.size()) {
        const ssize_t got = ::read(fd, content.data() + length, content.size() - length);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return std::unexpected(failed(errno));
        if (got == 0) break;
        length += static_cast<size_t>(got);
    }
    if (length > maxSize) return std::unexpected(tooLarge);
    content.resize(length);
    if (!isText(content)) return std::unexpected(Unread{.reason = "it is not a text file"});
    return content;
}

std::expected<void, std::string> replaceFile(const fs::path& path, std::string_view content) {
    const auto target = linkTarget(path);
    if (!target) return std::unexpected(target.error());
    struct stat existing {};
    const bool exists = ::stat(target->c_str(), &existing) == 0;
    if (!exists && errno != ENOENT) return std::unexpected(std::strerror(errno));
    if (exists && !S_ISREG(existing.st_mode))
        return std::unexpected(refused(fileKind(existing.st_mode)).reason);
    std::error_code ignored;  // a folder that cannot be made fails the open below
    fs::create_directories(target->parent_path(), ignored);

    static std::atomic<unsigned> serial = 0;
    fs::path temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < kNameAttempts; ++attempt) {
        temporary =
            target->parent_path() / ("." + target->filename().string() + "." +
                                     std::to_string(::getpid()) + "-" + std::to_string(serial++));
        // Created as any new file is, so the umask applies.
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return std::unexpected(std::strerror(errno));
    }
    if (fd < 0) return std::unexpected(std::strerror(EEXIST));
    const Descriptor file(fd);
    int error = 0;
    if (exists && ::fchmod(fd, existing.st_mode & 07777) != 0) error = errno;
    if (!error) error = writeAll(fd, content);
    // On the disk before it takes the old file's place: a crash leaves one or the other whole.
    if (!error && ::fsync(fd) != 0) error = errno;
    if (!error && ::rename(temporary.c_str(), target->c_str()) != 0) error = errno;
    if (!error) return {};
    ::unlink(temporary.c_str());
    return std::unexpected(std::strerror(error));
}

}  // namespace velnor::posix
