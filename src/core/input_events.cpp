#include "core/input_events.h"

#include "core/input_sink.h"

namespace velnor::InputEvents {
namespace {

struct MouseFlag {
    int16_t flag;
    MouseButton button;
    bool down;
};

// The mouse-event flags of the Windows input record, in bit order.
constexpr MouseFlag kMouseFlags[] = {
    {2, MouseButton::Left, true},    {4, MouseButton::Left, false},
    {8, MouseButton::Right, true},   {16, MouseButton::Right, false},
    {32, MouseButton::Middle, true}, {64, MouseButton::Middle, false},
};

// The mouse-event flags KeyDown (or, with `down` false, KeyUp) sends for a mouse code, or 0.
int16_t mouseFlagsOf(int16_t code, bool down) {
    switch (code) {
        case 1:
            return down ? 2 : 4;
        case 2:
            return down ? 8 : 16;
        case 4:
            return down ? 32 : 64;
        default:
            return 0;
    }
}

void keyEvent(InputSink& sink, int16_t code, bool down) {
    if (const int16_t flags = mouseFlagsOf(code, down))
        MouseButtonEvent(sink, flags);
    else
        sink.key(code, down);
}

}  // namespace

void KeyDown(InputSink& sink, int16_t code) {
    keyEvent(sink, code, true);
}

void KeyUp(InputSink& sink, int16_t code) {
    keyEvent(sink, code, false);
}

void MouseButtonEvent(InputSink& sink, int16_t flags) {
    for (const auto& mouseFlag : kMouseFlags) {
        if (flags & mouseFlag.flag) sink.mouseButton(mouseFlag.button, mouseFlag.down);
    }
}

}  // namespace velnor::InputEvents
