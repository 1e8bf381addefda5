// velnor-guardian: started by the XTest backend with the display name and a window of the
// backend's connection as its arguments, it waits on its own X connection until the program that
// started it has ended and the server has closed that connection, then releases every key and
// button the program still held and undoes its temporary keymap entries (see held_state.h).
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/x11/held_state.h"

namespace {

// The program may have ended already: no SIGPIPE for that.
void answer(char ready) {
    [[maybe_unused]] const auto sent = ::send(velnor::kGuardianSocketFd, &ready, 1, MSG_NOSIGNAL);
}

// An X server that goes away ends the guardian too, without a word.
int quietEnd(Display*) {
    ::_exit(0);
}

bool refused = false;

// Asks for the window's destruction; false when it is gone already (the connection has closed).
bool watch(Display* display, Window window) {
    const auto previous = XSetErrorHandler([](Display*, XErrorEvent*) {
        refused = true;
        return 0;
    });
    XSelectInput(display, window, StructureNotifyMask);
    XSync(display, False);
    XSetErrorHandler(previous);
    return !refused;
}

// The server destroys the window as it closes the program's connection, after it has handled
// every request the program sent. A connection that outlives the program (held by a process it
// handed it to) is not waited for beyond a while without events.
void awaitDestruction(Display* display, Window window) {
    XEvent event;
    pollfd connection = {ConnectionNumber(display), POLLIN, 0};
    while (!XCheckTypedWindowEvent(display, window, DestroyNotify, &event))
        if (::poll(&connection, 1, 2000) != 1) return;
}

}  // namespace

int main(int argc, char* argv[]) {
    // Started in a session of its own, out of reach of signals meant for the program's terminal.
    XSetIOErrorHandler(quietEnd);
    void* shared = ::mmap(nullptr, sizeof(velnor::HeldState), PROT_READ, MAP_SHARED,
                          velnor::kGuardianStateFd, 0);
    Display* display = argc == 3 ? XOpenDisplay(argv[1]) : nullptr;
    int event, error, major, minor;
    if (shared == MAP_FAILED || !display ||
        !XTestQueryExtension(display, &event, &error, &major, &minor)) {
        answer('n');
        return 1;
    }
    XTestGrabControl(display, True);
    const Window program = std::strtoul(argv[2], nullptr, 0);
    const bool connected = watch(display, program);
    answer('y');

    char byte;
    while (::read(velnor::kGuardianSocketFd, &byte, 1) > 0 || errno == EINTR) errno = 0;
    if (connected) awaitDestruction(display, program);

    const auto& held = *static_cast<const velnor::HeldState*>(shared);
    for (unsigned code = 0; code < 256; ++code)
        if (held.keys[code]) XTestFakeKeyEvent(display, code, False, CurrentTime);
    for (unsigned button = 0; button < 8; ++button)
        if (held.buttons[button]) XTestFakeButtonEvent(display, button, False, CurrentTime);
    int minKeycode = 0, maxKeycode = 0;
    XDisplayKeycodes(display, &minKeycode, &maxKeycode);
    for (int code = minKeycode; code <= maxKeycode; ++code) {
        const uint32_t ours[] = {held.bound[code], held.replaced[code]};
        if (ours[0] == 0 && ours[1] == 0) continue;
        // Only an entry that still holds one of our symbols; another client may have taken the
        // keycode.
        int perKeycode = 0;
        KeySym* now = XGetKeyboardMapping(display, KeyCode(code), 1, &perKeycode);
        if (now && perKeycode > 0 && now[0] != NoSymbol &&
            (now[0] == ours[0] || now[0] == ours[1])) {
            KeySym none[2] = {NoSymbol, NoSymbol};
            XChangeKeyboardMapping(display, code, 2, none, 1);
        }
        if (now) XFree(now);
    }
    XSync(display, False);
    XCloseDisplay(display);
    return 0;
}
