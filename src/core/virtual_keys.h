#pragma once

#include <span>
#include <string>
#include <string_view>

namespace velnor {

// A virtual-key code that stands for a key of the keyboard, and the SendKeys brace names of that
// key: upper case, separated by spaces ("" for none).
struct VirtualKey {
    int code;
    std::u16string_view braceNames;
};

// Every virtual-key code of the key name table (mouse buttons aside), the keys the SendKeys brace
// names stand for (the other keys below among them), and nothing else; each once, in ascending
// order: the keys an input backend is asked to press.
std::span<const VirtualKey> virtualKeys();

// A key beyond the key name table that a line can hold (its "Other key" choice) and SendKeys types
// by its brace name: F17 to F24, the media keys, the browser's back and forward.
struct OtherKey {
    int code;
    std::u16string_view braceName;  // as written in braces and in the line's argument: "F17"
    std::u16string_view caption;    // as the menu shows it: "Play/Pause"
};

// In ascending order of code.
std::span<const OtherKey> otherKeys();
// The entry of a brace name, case-insensitive, or null.
const OtherKey* otherKeyByName(std::u16string_view name);
// The entry of a virtual-key code, or null.
const OtherKey* otherKeyOf(int code);

// The virtual-key code of a SendKeys brace name, case-insensitive ("bs", "PgUp", "volume_up"), or
// 0.
int virtualKeyOfBraceName(std::u16string_view name);

// How the event log names the key of a virtual-key code: its key name, else its first brace name
// in braces, with the code ("{F17} (virtual-key code 128)"); the code alone for neither.
std::u16string keyLogName(int code);

}  // namespace velnor
