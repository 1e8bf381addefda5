// A second program holding a serial port, as a terminal program holds one: TIOCEXCL on the device
// and the customary lock file with its PID. Usage: port_holder DEVICE LOCK-FILE. Prints "held"
// once it holds the port, and lets go when its standard input closes.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>

int main(int argc, char* argv[]) {
    if (argc != 3) return 2;
    const int port = open(argv[1], O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (port < 0 || ioctl(port, TIOCEXCL) != 0) return 1;
    // Where the lock folder is not writable, TIOCEXCL alone keeps others out.
    const int lock = open(argv[2], O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (lock >= 0) {
        dprintf(lock, "%10d\n", static_cast<int>(getpid()));
        close(lock);
    }
    std::puts("held");
    std::fflush(stdout);
    char c;
    while (read(STDIN_FILENO, &c, 1) > 0) {
    }
    if (lock >= 0) unlink(argv[2]);
    close(port);
    return 0;
}
