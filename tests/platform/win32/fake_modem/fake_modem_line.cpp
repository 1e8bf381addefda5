// Sets up a fake modem line for the Windows tests: a pseudo-terminal whose terminal end `link`
// (a COM port of the Wine prefix) points to, and a zeroed state file naming it for the preloaded
// driver. Holds the pseudo-terminal open until its standard input ends. Built for the build
// machine, not for Windows.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "fake_modem_state.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s STATE-FILE LINK\n", argv[0]);
        return 2;
    }
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) return 1;
    const char* terminal = ::ptsname(master);
    struct stat status {};
    if (!terminal || ::stat(terminal, &status) != 0) return 1;
    velnor::fake_modem::State state{};
    state.device = status.st_rdev;
    state.outputs = velnor::fake_modem::kDtr | velnor::fake_modem::kRts;  // up after the open
    const int file = ::open(argv[1], O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (file < 0 || ::write(file, &state, sizeof(state)) != sizeof(state)) return 1;
    ::close(file);
    ::unlink(argv[2]);
    if (::symlink(terminal, argv[2]) != 0) return 1;
    std::printf("%s\n", terminal);
    std::fflush(stdout);
    char byte;
    while (::read(STDIN_FILENO, &byte, 1) > 0) {
    }
    return 0;
}
