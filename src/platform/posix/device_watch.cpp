#include "platform/posix/device_watch.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <filesystem>

namespace velnor::posix {

DeviceReturnWatch::DeviceReturnWatch(std::string path, std::function<void()> back)
    : path_(std::move(path)), back_(std::move(back)) {
    inotify_ = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (inotify_ < 0) return;
    if (::pipe2(stop_, O_CLOEXEC) != 0) {
        ::close(inotify_);
        inotify_ = -1;
        return;
    }
    thread_ = std::thread([this] { run(); });
}

DeviceReturnWatch::~DeviceReturnWatch() {
    if (thread_.joinable()) {
        (void)!::write(stop_[1], "x", 1);
        thread_.join();
    }
    for (const int fd : {inotify_, stop_[0], stop_[1]})
        if (fd >= 0) ::close(fd);
}

bool DeviceReturnWatch::present() const {
    return ::access(path_.c_str(), R_OK | W_OK) == 0;
}

void DeviceReturnWatch::run() {
    namespace fs = std::filesystem;
    int watch = -1;
    for (;;) {
        // Watches the deepest folder of the path that exists; everything that can bring the path
        // closer (a folder or link created or moved in, a node given its permissions) wakes us.
        if (watch >= 0) ::inotify_rm_watch(inotify_, watch);
        fs::path folder = fs::path(path_).parent_path();
        std::error_code error;
        while (folder.has_relative_path() && !fs::is_directory(folder, error))
            folder = folder.parent_path();
        watch = ::inotify_add_watch(inotify_, folder.c_str(),
                                    IN_CREATE | IN_MOVED_TO | IN_ATTRIB | IN_DELETE_SELF);
        // Looked at after the watch is in place, so a return in between is not missed.
        if (present()) {
            back_();
            return;
        }
        pollfd fds[] = {{inotify_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) continue;
        if (fds[1].revents) return;
        char events[4096];
        while (::read(inotify_, events, sizeof events) > 0) {
        }
    }
}

}  // namespace velnor::posix
