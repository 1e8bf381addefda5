#pragma once

// What the XTest backend holds in the X server at this moment, in memory it shares with its
// guardian process (velnor-guardian): the X server keeps XTest keys and buttons down after their
// client is gone, so the guardian lets go of them when the program ends in any way, even one
// that runs no code of the program (SIGKILL, a crash, the X server closing its connection).
//
// The guardian acts only once the server has closed the program's connection, which it does after
// handling every request the program sent: then the server holds what the marks say. The backend
// marks a key held before it presses it and clears the mark after it releases it, so the marks
// always cover what the server holds. It marks a keycode's new symbol, with the symbol that one
// replaces, before it asks the server for the binding: a request still in the program's buffer
// when it died never reaches the server, which then holds the replaced symbol. The backend stores
// each mark whole (std::atomic_ref); the guardian reads them only after the program has ended.
//
// Plain members and C headers: the guardian is built on the C library alone.

#include <stdint.h>

namespace velnor {

struct HeldState {
    uint8_t keys[256];       // keycode -> held
    uint8_t buttons[8];      // button number -> held
    uint32_t bound[256];     // keycode -> keysym bound to it for the moment, or 0
    uint32_t replaced[256];  // keycode -> keysym that binding replaced, or 0
};

// The guardian's file descriptors: the shared HeldState, the socket whose end-of-file tells it
// that the program has ended (it writes "y" on it once it can act, "n" if it cannot), and its own
// connection to the program's X server, made by the program.
inline constexpr int kGuardianStateFd = 3;
inline constexpr int kGuardianSocketFd = 0;
inline constexpr int kGuardianDisplayFd = 4;

}  // namespace velnor
