// velnor-guardian: started by the XTest backend with the display name as its argument, it waits
// on its own X connection until the program that started it has ended, then releases every key
// and button that program still held and undoes its temporary keymap entries (see held_state.h).
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

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

}  // namespace

int main(int argc, char* argv[]) {
    // Started in a session of its own, out of reach of signals meant for the program's terminal.
    XSetIOErrorHandler(quietEnd);
    void* shared = ::mmap(nullptr, sizeof(velnor::HeldState), PROT_READ, MAP_SHARED,
                          velnor::kGuardianStateFd, 0);
    Display* display = argc == 2 ? XOpenDisplay(argv[1]) : nullptr;
    int event, error, major, minor;
    if (shared == MAP_FAILED || !display ||
        !XTestQueryExtension(display, &event, &error, &major, &minor)) {
        answer('n');
        return 1;
    }
    XTestGrabControl(display, True);
    answer('y');

    char byte;
    while (::read(velnor::kGuardianSocketFd, &byte, 1) > 0 || errno == EINTR) errno = 0;

    const auto& held = *static_cast<const velnor::HeldState*>(shared);
    for (unsigned code = 0; code < 256; ++code)
        if (held.keys[code]) XTestFakeKeyEvent(display, code, False, CurrentTime);
    for (unsigned button = 0; button < 8; ++button)
        if (held.buttons[button]) XTestFakeButtonEvent(display, button, False, CurrentTime);
    int minKeycode = 0, maxKeycode = 0;
    XDisplayKeycodes(display, &minKeycode, &maxKeycode);
    for (int code = minKeycode; code <= maxKeycode; ++code) {
        const uint32_t keysym = held.bound[code];
        if (keysym == 0) continue;
        // Only an entry that still holds our symbol; another client may have taken the keycode.
        int perKeycode = 0;
        KeySym* now = XGetKeyboardMapping(display, KeyCode(code), 1, &perKeycode);
        if (now && perKeycode > 0 && now[0] == keysym) {
            KeySym none[2] = {NoSymbol, NoSymbol};
            XChangeKeyboardMapping(display, code, 2, none, 1);
        }
        if (now) XFree(now);
    }
    XSync(display, False);
    XCloseDisplay(display);
    return 0;
}
