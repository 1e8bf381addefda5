#pragma once

#include <X11/Xlib.h>

namespace velnor::x11 {

// Xlib's default handlers end the process on a protocol error and when a connection breaks; an
// event the server refuses, or an X server that goes away, must not end Velnor. While a display is
// adopted, its errors are ignored and a broken connection returns to Xlib, which goes on to the
// connection's own exit handler (XSetIOErrorExitHandler) rather than exiting. Errors on the other
// connections of the process go to the handlers installed before the first adoption, which are put
// back when the last adopted display is released.
//
// The registry does not own the displays: release one after XCloseDisplay, so that errors while
// closing are still ignored. Not thread-safe: Xlib's handlers are per process, so adopt and release
// on the one thread that opens the displays.
void adoptDisplay(Display* display);
void releaseDisplay(Display* display);

}  // namespace velnor::x11
