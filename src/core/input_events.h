#pragma once

#include <cstdint>

namespace velnor {

class InputSink;

// Single synthetic events for virtual-key codes. Each call injects exactly one event through
// `sink`, at once.
namespace InputEvents {

// Presses the key of `code`; the codes 1, 2 and 4 press the left, right and middle mouse button
// where the pointer is.
void KeyDown(InputSink& sink, int16_t code);
// Releases what KeyDown(code) presses.
void KeyUp(InputSink& sink, int16_t code);
// One mouse-button event from mouse-event flags: 2/4 left down/up, 8/16 right, 32/64 middle.
// Other bits are ignored.
void MouseButtonEvent(InputSink& sink, int16_t flags);

}  // namespace InputEvents
}  // namespace velnor
