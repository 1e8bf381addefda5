#include "support/session_bus.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

namespace velnor::test {
DbusDaemon::DbusDaemon() {
    int out[2];
    if (pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        execlp("dbus-daemon", "dbus-daemon", "--session", "--nofork", "--print-address=1", nullptr);
        _exit(127);
    }
    close(out[1]);
    if (pid_ < 0) return;
    FILE* stream = fdopen(out[0], "r");
    char line[512];
    if (stream && fgets(line, sizeof line, stream))
        address_ = QString::fromLocal8Bit(line).trimmed();
    // The daemon writes nothing more; its end of the pipe may close with it.
    if (stream) fclose(stream);
}

DbusDaemon::~DbusDaemon() {
    if (pid_ <= 0) return;
    kill(pid_, SIGCONT);
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
}

const QString& sessionBusAddress() {
    static const DbusDaemon daemon;
    return daemon.address();
}

}  // namespace velnor::test
