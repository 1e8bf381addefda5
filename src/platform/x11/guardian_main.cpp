// velnor-guardian: started by the XTest backend with a window of the backend's connection as its
// argument and a connection of its own to the same X server, it waits until the program that
// started it has ended and the server has closed that connection, then releases every key and
// button the program still held and undoes its temporary keymap entries (see held_state.h).
//
// It waits as long as the program runs, so it links no X library: it speaks the few requests it
// needs itself, on the C library alone (built statically against musl where that is found).
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/x11/held_state.h"

namespace {

using velnor::kGuardianDisplayFd;

// Core protocol and XTest numbers.
constexpr uint8_t kChangeWindowAttributes = 2, kGetInputFocus = 43, kQueryExtension = 98,
                  kChangeKeyboardMapping = 100, kGetKeyboardMapping = 101;
constexpr uint8_t kXTestFakeInput = 2, kXTestGrabControl = 3;
constexpr uint8_t kError = 0, kReply = 1, kKeyRelease = 3, kButtonRelease = 5, kDestroyNotify = 17;
constexpr uint32_t kEventMaskValue = 1u << 11, kStructureNotifyMask = 1u << 17;

struct QueryExtension {
    uint8_t opcode = kQueryExtension, unused = 0;
    uint16_t length = 4, nameLength = 5, unused2 = 0;
    char name[8] = "XTEST";
};
struct GrabControl {
    uint8_t opcode = 0, minor = kXTestGrabControl;
    uint16_t length = 2;
    uint8_t impervious = 1, unused[3] = {};
};
struct SelectStructureNotify {
    uint8_t opcode = kChangeWindowAttributes, unused = 0;
    uint16_t length = 4;
    uint32_t window = 0, valueMask = kEventMaskValue, eventMask = kStructureNotifyMask;
};
struct GetInputFocus {
    uint8_t opcode = kGetInputFocus, unused = 0;
    uint16_t length = 1;
};
// At no time, on no root window, from the XTest device.
struct FakeInput {
    uint8_t opcode = 0, minor = kXTestFakeInput;
    uint16_t length = 9;
    uint8_t type = 0, detail = 0, unused[30] = {};
};
struct GetKeyboardMapping {
    uint8_t opcode = kGetKeyboardMapping, unused = 0;
    uint16_t length = 2;
    uint8_t first = 0, count = 1;
    uint16_t unused2 = 0;
};
// NoSymbol on both levels of one keycode.
struct UnbindKeycode {
    uint8_t opcode = kChangeKeyboardMapping, count = 1;
    uint16_t length = 4;
    uint8_t first = 0, perKeycode = 2;
    uint16_t unused = 0;
    uint32_t keysyms[2] = {};
};

template <typename Word>
Word wordAt(const uint8_t* bytes) {
    Word word;
    memcpy(&word, bytes, sizeof word);
    return word;
}

bool ready = false;  // the program has been told that the guardian can act

// The program may have ended already: no SIGPIPE for that.
void answer(char word) {
    [[maybe_unused]] const auto sent = ::send(velnor::kGuardianSocketFd, &word, 1, MSG_NOSIGNAL);
}

// Until the guardian has said that it can act, anything that fails means that it cannot; an X
// server that goes away later ends it too, without a word.
[[noreturn]] void giveUp() {
    if (!ready) answer('n');
    ::_exit(ready ? 0 : 1);
}

// The connection the program made for the guardian: requests in the client's byte order, which its
// setup chose, numbered from 1 on; what comes back in units of 32 bytes.
class Connection {
  public:
    // A reply's first 32 bytes, then the first 4 of what follows them (0 when nothing does).
    using Reply = uint8_t[36];

    explicit Connection(uint32_t watched) : watched_(watched) {}

    // Returns the request's number.
    template <typename Request>
    uint16_t send(const Request& request) {
        static_assert(sizeof request % 4 == 0);
        const auto* bytes = reinterpret_cast<const char*>(&request);
        for (size_t left = sizeof request; left > 0;) {
            const ssize_t sent = ::send(kGuardianDisplayFd, bytes, left, MSG_NOSIGNAL);
            if (sent < 0 && errno == EINTR) continue;
            if (sent <= 0) giveUp();
            bytes += sent;
            left -= size_t(sent);
        }
        return ++sent_;
    }

    // Waits for the reply to request `number`; false when it drew an error instead.
    bool await(uint16_t number, Reply& reply) {
        for (;;) {
            const uint8_t type = receive(reply);
            const uint16_t answering = wordAt<uint16_t>(reply + 2);
            if (type == kError) failed_ = answering;
            if ((type == kError || type == kReply) && answering == number) return type == kReply;
        }
    }

    // Once the server has handled every request so far.
    void sync() {
        Reply reply;
        await(send(GetInputFocus{}), reply);
    }

    // Asks for the window's destruction; false when it is gone already (the connection has
    // closed).
    bool watch() {
        const uint16_t selected = send(SelectStructureNotify{.window = watched_});
        sync();
        return failed_ != selected;
    }

    // The server destroys the window as it closes the program's connection, after it has handled
    // every request the program sent. A connection that outlives the program (held by a process
    // it handed it to) is not waited for beyond a while without events.
    void awaitDestruction() {
        pollfd connection = {kGuardianDisplayFd, POLLIN, 0};
        Reply unit;
        while (!destroyed_) {
            if (::poll(&connection, 1, 2000) != 1) return;
            receive(unit);
        }
    }

  private:
    static void readAll(void* into, size_t size) {
        auto* bytes = static_cast<char*>(into);
        while (size > 0) {
            const ssize_t got = ::read(kGuardianDisplayFd, bytes, size);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) giveUp();
            bytes += got;
            size -= size_t(got);
        }
    }

    // One reply, error or event; returns its type.
    uint8_t receive(Reply& unit) {
        readAll(unit, 32);
        const uint8_t type = unit[0] & 0x7f;  // an event another client sent has 0x80 added
        if (type == kReply) {
            uint32_t more = wordAt<uint32_t>(unit + 4) * 4;
            memset(unit + 32, 0, 4);
            if (more > 0) {
                readAll(unit + 32, 4);
                more -= 4;
            }
            for (char skipped[256]; more > 0;) {
                const size_t part = more < sizeof skipped ? more : sizeof skipped;
                readAll(skipped, part);
                more -= uint32_t(part);
            }
        } else if (type == kDestroyNotify && wordAt<uint32_t>(unit + 8) == watched_) {
            destroyed_ = true;
        }
        return type;
    }

    uint32_t watched_;
    uint16_t sent_ = 0;
    uint16_t failed_ = 0;  // the last request that drew an error
    bool destroyed_ = false;
};

}  // namespace

int main(int argc, char* argv[]) {
    // Started in a session of its own, out of reach of signals meant for the program's terminal.
    void* shared = ::mmap(nullptr, sizeof(velnor::HeldState), PROT_READ, MAP_SHARED,
                          velnor::kGuardianStateFd, 0);
    // libxcb left the socket non-blocking.
    const int flags = ::fcntl(kGuardianDisplayFd, F_GETFL);
    if (shared == MAP_FAILED || argc != 2 || flags < 0 ||
        ::fcntl(kGuardianDisplayFd, F_SETFL, flags & ~O_NONBLOCK) != 0)
        giveUp();
    Connection display(uint32_t(strtoul(argv[1], nullptr, 0)));
    Connection::Reply reply;
    if (!display.await(display.send(QueryExtension{}), reply) || !reply[8]) giveUp();
    const uint8_t xtest = reply[9];
    display.send(GrabControl{.opcode = xtest});
    const bool connected = display.watch();
    ready = true;
    answer('y');

    char byte;
    while (::read(velnor::kGuardianSocketFd, &byte, 1) > 0 || errno == EINTR) errno = 0;
    if (connected) display.awaitDestruction();

    const auto& held = *static_cast<const velnor::HeldState*>(shared);
    for (unsigned code = 0; code < 256; ++code)
        if (held.keys[code])
            display.send(FakeInput{.opcode = xtest, .type = kKeyRelease, .detail = uint8_t(code)});
    for (unsigned button = 0; button < 8; ++button)
        if (held.buttons[button])
            display.send(
                FakeInput{.opcode = xtest, .type = kButtonRelease, .detail = uint8_t(button)});
    // Only keycodes the server has are ever marked.
    for (unsigned code = 0; code < 256; ++code) {
        const uint32_t ours[] = {held.bound[code], held.replaced[code]};
        if (ours[0] == 0 && ours[1] == 0) continue;
        // Only an entry that still holds one of our symbols; another client may have taken the
        // keycode.
        const bool answered =
            display.await(display.send(GetKeyboardMapping{.first = uint8_t(code)}), reply);
        const uint32_t now = answered && reply[1] > 0 ? wordAt<uint32_t>(reply + 32) : 0;
        if (now != 0 && (now == ours[0] || now == ours[1]))
            display.send(UnbindKeycode{.first = uint8_t(code)});
    }
    display.sync();
    return 0;
}
