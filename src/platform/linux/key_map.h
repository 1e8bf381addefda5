#pragma once

#include <cstdint>
#include <span>

#include "core/input_sink.h"

namespace velnor {

// One key as the three worlds name it: the virtual-key code the program speaks, the X keysym the
// XTest backend presses, and the Linux input event code (KEY_*) the uinput backend writes.
struct KeyMapEntry {
    int virtualKey;
    uint32_t keysym;
    uint16_t evdevCode;  // 0: Linux keyboards have no such key
};

// Every code of virtualKeys() (core/virtual_keys.h), each once, and nothing else.
std::span<const KeyMapEntry> keyMap();

// The entry of a virtual-key code, or null when the code names no key.
const KeyMapEntry* findKey(int virtualKey);

// A mouse button as X numbers it (XTest) and as Linux names it (BTN_*: uinput, the desktop's
// portal).
struct ButtonMapEntry {
    MouseButton button;
    unsigned xButton;
    uint16_t evdevCode;
};

const ButtonMapEntry& findButton(MouseButton button);

// The X keysym that types `character` (a new line is Return), or 0 (NoSymbol) where there is none.
uint32_t characterKeysym(char32_t character);

}  // namespace velnor
