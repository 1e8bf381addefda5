#include "platform/x11/guardian.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QString>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <utility>

#include "platform/posix/program_folder.h"

extern char** environ;

namespace velnor::x11 {
namespace {

std::u16string atRisk(const QString& problem) {
    return QStringLiteral("XTest: %1; keys held when Velnor is killed may stay down")
        .arg(problem)
        .toStdU16String();
}

// The socket of a new connection to `display`, above the guardian's descriptors, or -1: libxcb
// reads every form of display name and finds its authorization, and it sends nothing after the
// setup, so the guardian's first request is number 1. xcb_disconnect would shut the socket down
// for the guardian too: /dev/null takes its place under the connection's descriptor number first
// (atomically, so no other thread gets that number meanwhile), and is what it fails to shut down
// and closes.
int connectionTo(const char* display) {
    xcb_connection_t* connection = xcb_connect(display, nullptr);
    int socket = -1;
    if (!xcb_connection_has_error(connection)) {
        const int fd = xcb_get_file_descriptor(connection);
        const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
        socket = ::fcntl(fd, F_DUPFD_CLOEXEC, 10);
        if (socket >= 0 && (null < 0 || ::dup3(null, fd, O_CLOEXEC) < 0)) {
            ::close(socket);  // shut down with the connection below
            socket = -1;
        }
        if (null >= 0) ::close(null);
    }
    xcb_disconnect(connection);
    return socket;
}

}  // namespace

Guardian::Guardian(const char* displayName, unsigned long window) : display_(displayName) {
    int memory = ::memfd_create("velnor-held", MFD_CLOEXEC);
    int sockets[2] = {-1, -1};
    if (memory < 0 || ::ftruncate(memory, sizeof(HeldState)) != 0 ||
        ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0) {
        problem_ = atRisk(QStringLiteral("no shared memory or socket for velnor-guardian (%1)")
                              .arg(std::strerror(errno)));
    } else if (void* shared = ::mmap(nullptr, sizeof(HeldState), PROT_READ | PROT_WRITE, MAP_SHARED,
                                     memory, 0);
               shared == MAP_FAILED) {
        problem_ = atRisk(
            QStringLiteral("no shared memory for velnor-guardian (%1)").arg(std::strerror(errno)));
    } else {
        state_ = static_cast<HeldState*>(shared);
        shared_ = true;
        socket_ = std::exchange(sockets[0], -1);
        const int itsMemory = std::exchange(memory, -1), itsSocket = std::exchange(sockets[1], -1);
        try {
            starter_ =
                std::thread(&Guardian::start, this, std::to_string(window), itsMemory, itsSocket);
        } catch (const std::system_error&) {
            start(std::to_string(window), itsMemory, itsSocket);  // no thread to spare: here
        }
    }
    for (const int fd : {memory, sockets[0], sockets[1]})
        if (fd >= 0) ::close(fd);
    if (!state_) state_ = new HeldState{};
}

Guardian::~Guardian() {
    started();
    if (socket_ >= 0) ::close(socket_);
    if (shared_)
        ::munmap(state_, sizeof(HeldState));
    else
        delete state_;
}

void Guardian::started() {
    if (starter_.joinable()) starter_.join();
}

std::optional<std::u16string> Guardian::confirm() {
    if (confirmed_) return std::nullopt;
    started();
    if (problem_) {
        confirmed_ = true;
        return std::exchange(problem_, std::nullopt);
    }
    pollfd answer = {socket_, POLLIN, 0};
    if (::poll(&answer, 1, 0) != 1) return std::nullopt;
    char ready = 0;
    confirmed_ = true;
    if (::read(socket_, &ready, 1) == 1 && ready == 'y') return std::nullopt;
    return atRisk(QStringLiteral("%1 cannot act on the X display \"%2\"")
                      .arg(QString::fromStdString(program_), QString::fromLocal8Bit(display_)));
}

// Takes `memory` and `socket`, the guardian's ends, and closes them once it has them.
void Guardian::start(const std::string& windowId, int memory, int socket) {
    const std::optional<std::string> program =
        posix::besideProgram({"velnor-guardian", "../libexec/velnor/velnor-guardian"}, X_OK);
    const int displayFd = program ? connectionTo(display_.c_str()) : -1;
    if (displayFd < 0) {
        problem_ = atRisk(
            program
                ? QStringLiteral("no connection to the X display \"%1\" for velnor-guardian")
                      .arg(QString::fromLocal8Bit(display_))
                : QStringLiteral(
                      "velnor-guardian was not found beside the program or in ../libexec/velnor"));
        ::close(memory);
        ::close(socket);
        return;
    }
    // Above the descriptors the guardian gets, so that moving them cannot clash.
    const int memoryFd = ::fcntl(memory, F_DUPFD_CLOEXEC, 10);
    const int socketFd = ::fcntl(socket, F_DUPFD_CLOEXEC, 10);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, memoryFd, kGuardianStateFd);
    posix_spawn_file_actions_adddup2(&actions, socketFd, kGuardianSocketFd);
    posix_spawn_file_actions_adddup2(&actions, displayFd, kGuardianDisplayFd);
    posix_spawn_file_actions_addclosefrom_np(&actions, kGuardianDisplayFd + 1);
    char* argv[] = {const_cast<char*>("velnor-guardian"), const_cast<char*>(windowId.c_str()),
                    nullptr};
    // In a session of its own, so that signals meant for our terminal leave it alone. It is not
    // waited for: once we have ended, init collects it.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, program->c_str(), &actions, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    for (const int fd : {memory, socket, memoryFd, socketFd, displayFd}) ::close(fd);
    program_ = *program;
    if (spawned != 0)
        problem_ = atRisk(QStringLiteral("%1 cannot start (%2)")
                              .arg(QString::fromStdString(program_), std::strerror(spawned)));
}

}  // namespace velnor::x11
