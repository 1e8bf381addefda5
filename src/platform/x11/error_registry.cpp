#include "platform/x11/error_registry.h"

#include <algorithm>
#include <vector>

namespace velnor::x11 {
namespace {

std::vector<Display*> ownDisplays;
XErrorHandler previousErrorHandler = nullptr;
XIOErrorHandler previousIOErrorHandler = nullptr;

bool own(Display* display) {
    return std::ranges::find(ownDisplays, display) != ownDisplays.end();
}

int ignoreOwnErrors(Display* display, XErrorEvent* error) {
    if (own(display)) return 0;
    return previousErrorHandler ? previousErrorHandler(display, error) : 0;
}

int surviveOwnBrokenConnections(Display* display) {
    if (own(display)) return 0;
    return previousIOErrorHandler ? previousIOErrorHandler(display) : 0;
}

}  // namespace

void adoptDisplay(Display* display) {
    if (ownDisplays.empty()) {
        previousErrorHandler = XSetErrorHandler(ignoreOwnErrors);
        previousIOErrorHandler = XSetIOErrorHandler(surviveOwnBrokenConnections);
    }
    ownDisplays.push_back(display);
}

void releaseDisplay(Display* display) {
    std::erase(ownDisplays, display);
    if (ownDisplays.empty()) {
        XSetErrorHandler(previousErrorHandler);
        XSetIOErrorHandler(previousIOErrorHandler);
    }
}

}  // namespace velnor::x11
