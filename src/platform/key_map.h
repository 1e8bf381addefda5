#pragma once

#include <QStringView>
#include <cstdint>
#include <span>
#include <string_view>

namespace velnor {

// One key as the three worlds name it: the virtual-key code the program speaks, the X keysym the
// XTest backend presses, and the Linux input event code (KEY_*) the uinput backend writes.
struct KeyMapEntry {
    int virtualKey;
    uint32_t keysym;
    uint16_t evdevCode;  // 0: Linux keyboards have no such key
    // The SendKeys brace names of the key, upper case, separated by spaces ("" for none).
    std::string_view braceNames;
};

// Every virtual-key code of the key name table (mouse buttons aside), the keys the SendKeys
// brace names stand for, and nothing else. No code appears twice.
std::span<const KeyMapEntry> keyMap();

// The entry of a virtual-key code, or null when the code names no key.
const KeyMapEntry* findKey(int virtualKey);

// The virtual-key code of a SendKeys brace name, case-insensitive ("bs", "PgUp"), or 0.
int virtualKeyOfBraceName(QStringView name);

}  // namespace velnor
